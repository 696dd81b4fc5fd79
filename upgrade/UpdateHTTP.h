#pragma once
// The download engine's settings and the rules that need no Windows: the URL's scheme, the
// extra request headers, the realm of a 401 and the status texts.
#include <cstdint>
#include <string>

#include "base/Component.h"
#include "base/Strings.h"

// A component carrying the credentials of a site.
class TLoginComponent : public TComponent {
public:
    using TComponent::TComponent;
    std::string HTTPUsername;
    std::string HTTPPassword;
};

enum TUpdateHTTPAccessType { atPreconfig, atDirect, atUseProxy };

struct TUpdateHTTPProxy {
    TUpdateHTTPAccessType AccessType = atPreconfig;
    int ProxyPort = 8080;
    std::string ProxyServer;
    std::string ProxyBypass = "127.0.0.1;";
};

struct TUpdateHTTPRange {
    int StartRange = 0;
    int EndRange = 0;
};

// Milliseconds; 0 keeps the library's default.
struct TUpdateHTTPTimeouts {
    int ConnectTimeout = 0;
    int ReceiveTimeout = 0;
    int SendTimeout = 0;
};

enum TUpdateRequestMethod { rmAutomatic = 0, rmGet = 1, rmPost = 2 };

// What one transfer reads (the credentials come from TLoginComponent); the worker takes its
// own copy when the run starts.
struct TUpdateHTTPSettings {
    std::string URL;
    std::string FileName;
    TUpdateHTTPProxy Proxy;
    TUpdateHTTPRange Range;
    TUpdateHTTPTimeouts Timeouts;
    TStringList Headers;
    std::string AcceptTypes = "text/html, */*";
    std::string UserAgent = "Pelorin Updater";
    std::string Referer;
    std::string PostData;
    TUpdateRequestMethod RequestMethod = rmAutomatic;
    int TransferBufferSize = 4096;
    bool UseCache = true;
    bool UseCookies = true;
    bool OfflineMode = false;
    bool HideFileName = false;
};

// The URL as fetched: "http://" goes in front of one without a scheme.
std::string UpdateURL(const std::string& URL);
// True for a "file" URL (read from the local disk), any case.
bool IsFileScheme(const std::string& Scheme);
// The local path of a "file" URL's path part: "/C:/x/y" or "C:\x\y" gives "C:\x\y".
std::string FileURLPath(const std::string& Path);
// The extra request header text: each line with CR LF, then the range when either end is
// set ("RANGE: bytes=100-" when only the start is).
std::string UpdateRequestHeaders(const TStringList& Headers, const TUpdateHTTPRange& Range);
// POST when the method says so, or when automatic and there is data to send.
bool UpdateIsPost(TUpdateRequestMethod Method, bool HasData);
// The realm of a WWW-Authenticate value: after the first `="`, without the last character.
std::string UpdateRealm(const std::string& WWWAuthenticate);

// The text of a status callback code ("Resolving name", ..., "Unknown status").
std::string UpdateStatusText(int Code);

// The worker's priority, as the seven levels of the Windows values -15, -2, -1, 0, 1, 2, 15.
enum TThreadPriority { tpIdle, tpLowest, tpLower, tpNormal, tpHigher, tpHighest, tpTimeCritical };
int ThreadPriorityValue(TThreadPriority Priority);
// An unknown value reads back as tpNormal.
TThreadPriority ThreadPriorityOf(int Value);

// A Date, Last-Modified or Expires header as a UTC date-time (days since 1899-12-30, the
// fraction the time of day): the RFC 1123, RFC 850 and asctime forms, with an optional
// "+hhmm" zone. 0 when the text is no date.
double UpdateHTTPDate(const std::string& Text);
