#include "upgrade/UpdateHTTP_win.h"

#include <wininet.h>

#include <algorithm>
#include <mutex>
#include <vector>

#include "base/Exception.h"
#include "base/StrUtils.h"

namespace {
// A handler that keeps answering "try again" would otherwise send forever.
const int MaxAuthAttempts = 16;
const DWORD QueryBufferSize = 4096;
}  // namespace

// One transfer: its settings, copied at Start, and its results. The worker writes the
// results; the GUI thread reads them only inside a hand-over, while the worker waits.
struct TUpdateRun {
    std::shared_ptr<TUpdateRunGate> Gate = std::make_shared<TUpdateRunGate>();
    TObject* Sender = nullptr;

    std::string URL, FileName, User, Password, HeaderText, AcceptTypes, UserAgent, Referer, PostData;
    TUpdateHTTPProxy Proxy;
    TUpdateHTTPTimeouts Timeouts;
    bool Post = false, Ranged = false, UseCache = true, UseCookies = true, Offline = false, Hide = false;
    int BufferSize = 4096;
    bool WantHeaders = false, WantProgress = false, WantPassword = false, WantProxyAuth = false;
    // The two events that run on the worker thread.
    TUpdateHTTP::TStatusChangedEvent OnStatusChanged;
    TUpdateHTTP::TRedirectedEvent OnRedirected;

    int Status = -1;
    std::string ContentType, RawHeaders, ContentLanguage, ContentEncoding, Location;
    double Date = 0, LastModified = 0, Expires = 0;
    int64_t ContentLength = 0, BytesRead = 0;
    bool Continue = true, Success = false, IsFile = false, HasTarget = false;
    DWORD StartTick = 0;
    std::unique_ptr<TMemoryStream> Memory;  // the body, when it is not in a file
    HANDLE Target = INVALID_HANDLE_VALUE;   // the target file (worker only)
    HANDLE Local = INVALID_HANDLE_VALUE;    // a "file" URL's file (worker only)

    // The WinINet handles, closed by the worker when it ends or by Abort on the GUI thread
    // (which is how a blocked call is cut short); hence the lock.
    HINTERNET Handle(HINTERNET TUpdateRun::*Which) {
        std::lock_guard<std::mutex> hold(FLock);
        return this->*Which;
    }
    // Keeps H, or closes it at once when the run's handles are already closed.
    HINTERNET Keep(HINTERNET TUpdateRun::*Which, HINTERNET H) {
        std::lock_guard<std::mutex> hold(FLock);
        if (H != nullptr && FClosed) {
            InternetCloseHandle(H);
            H = nullptr;
        }
        this->*Which = H;
        return H;
    }
    void CloseInternet() {
        std::lock_guard<std::mutex> hold(FLock);
        FClosed = true;
        for (HINTERNET TUpdateRun::*h :
             {&TUpdateRun::Request, &TUpdateRun::Connection, &TUpdateRun::Session}) {
            if (this->*h != nullptr) InternetCloseHandle(this->*h);
            this->*h = nullptr;
        }
    }
    HINTERNET Session = nullptr, Connection = nullptr, Request = nullptr;

private:
    std::mutex FLock;
    bool FClosed = false;
};

namespace {

void CALLBACK StatusCallback(HINTERNET, DWORD_PTR Context, DWORD Status, LPVOID Info, DWORD InfoLength) {
    auto* run = reinterpret_cast<TUpdateRun*>(Context);
    if (run == nullptr || run->Gate->Stopped()) return;
    try {
        if (run->OnStatusChanged)
            run->OnStatusChanged(run->Sender, static_cast<int>(Status),
                                 UpdateStatusText(static_cast<int>(Status)));
        if (Status == INTERNET_STATUS_REDIRECT && run->OnRedirected && Info != nullptr && InfoLength > 0) {
            const char* url = static_cast<const char*>(Info);
            run->OnRedirected(run->Sender, std::string(url, std::find(url, url + InfoLength - 1, '\0')));
        }
    } catch (...) {
        // Nobody on this thread to tell; the transfer goes on.
    }
}

// A header's text, or false when the response has none.
bool QueryHeader(HINTERNET Request, DWORD Info, std::string& Text) {
    std::vector<char> buf(QueryBufferSize);
    DWORD len = QueryBufferSize, index = 0;
    if (Request == nullptr || !HttpQueryInfoA(Request, Info, buf.data(), &len, &index)) return false;
    Text.assign(buf.data(), std::min<DWORD>(len, QueryBufferSize));
    return true;
}

void SetStringOption(HINTERNET Request, DWORD Option, const std::string& Value) {
    InternetSetOptionA(Request, Option, const_cast<char*>(Value.c_str()),
                       static_cast<DWORD>(Value.size() + 1));
}

// A date header as a local date-time, 0 when absent or unreadable.
double QueryDate(HINTERNET Request, DWORD Info) {
    std::string text;
    if (!QueryHeader(Request, Info, text)) return 0;
    const double utc = UpdateHTTPDate(text);
    if (utc == 0) return 0;
    TIME_ZONE_INFORMATION zone = {};
    const DWORD mode = GetTimeZoneInformation(&zone);
    const LONG bias = zone.Bias + (mode == TIME_ZONE_ID_DAYLIGHT ? zone.DaylightBias : zone.StandardBias);
    return utc - bias / 1440.0;
}

// 206 answers a range request, and is then as good as 200.
bool GoodStatus(const TUpdateRun& Run) { return Run.Status == 200 || (Run.Ranged && Run.Status == 206); }

}  // namespace

TUpdateHTTP::TUpdateHTTP(TComponent* AOwner) : TLoginComponent(AOwner) {}

TUpdateHTTP::~TUpdateHTTP() {
    BeginDestroy();
    Abort();
}

bool TUpdateHTTP::Start() {
    if (FBusy) return false;
    auto run = std::make_shared<TUpdateRun>();
    TUpdateRun& r = *run;
    r.Sender = this;
    r.URL = UpdateURL(URL);
    r.FileName = FileName;
    r.User = HTTPUsername;
    r.Password = HTTPPassword;
    r.HeaderText = UpdateRequestHeaders(Headers, Range);
    r.Ranged = Range.StartRange != 0 || Range.EndRange != 0;
    r.AcceptTypes = AcceptTypes;
    r.UserAgent = UserAgent;
    r.Referer = Referer;
    r.PostData = PostData;
    r.Post = UpdateIsPost(RequestMethod, !PostData.empty());
    r.Proxy = Proxy;
    r.Timeouts = Timeouts;
    r.UseCache = UseCache;
    r.UseCookies = UseCookies;
    r.Offline = OfflineMode;
    r.Hide = HideFileName;
    r.BufferSize = std::max(1, TransferBufferSize);
    r.WantHeaders = static_cast<bool>(OnHeaderInfo);
    r.WantProgress = static_cast<bool>(OnDownloadProgress);
    r.WantPassword = static_cast<bool>(OnHTTPPasswordRequest);
    r.WantProxyAuth = static_cast<bool>(OnProxyAuthenticationRequest);
    r.OnStatusChanged = OnStatusChanged;
    r.OnRedirected = OnRedirected;
    FThread.Run([this, run] { Work(run); });
    FRun = run;
    FBusy = true;
    return true;
}

void TUpdateHTTP::Abort() {
    std::shared_ptr<TUpdateRun> run = std::move(FRun);
    FRun.reset();
    if (run) {
        run->Gate->Stop();
        // Closing the handles cuts a blocked read short, but the library may first read on
        // to the end of the body (as long as a server keeps sending): that wait belongs to a
        // thread of its own, not to the GUI.
        try {
            FThread.Run([run] { run->CloseInternet(); });
        } catch (const Exception&) {
            run->CloseInternet();
        }
    }
    const bool wasBusy = FBusy;
    FBusy = false;
    if (wasBusy && !Destroying()) Raise(OnTransferAborted, this);
}

int TUpdateHTTP::StatusCode() const { return FRun ? FRun->Status : -1; }
std::string TUpdateHTTP::ContentType() const { return FRun ? FRun->ContentType : std::string(); }
int64_t TUpdateHTTP::ContentLength() const { return FRun ? FRun->ContentLength : 0; }
int64_t TUpdateHTTP::BytesRead() const { return FRun ? FRun->BytesRead : 0; }
std::string TUpdateHTTP::RawHeaders() const { return FRun ? FRun->RawHeaders : std::string(); }

// Worker thread, from here to Complete: these touch only the run, and reach the component
// only through hand-overs, which do not run once the run was stopped (by Abort or by the
// component's destructor).
void TUpdateHTTP::Work(const std::shared_ptr<TUpdateRun>& Run) {
    TUpdateRun& r = *Run;
    try {
        Transfer(r);
    } catch (...) {
        // Out of memory for the body and the like: the run fails as a lost connection would.
        r.Success = false;
    }
    r.CloseInternet();
    if (r.Local != INVALID_HANDLE_VALUE) CloseHandle(r.Local);
    if (r.Target != INVALID_HANDLE_VALUE) {
        CloseHandle(r.Target);
        // A stopped run leaves its file: a new run may already be writing one of that name.
        if (!r.Success && r.Continue && !r.Gate->Stopped()) DeleteFileA(r.FileName.c_str());
    }
    r.Gate->HandOver([this, Run] { Complete(Run); });
}

void TUpdateHTTP::Transfer(TUpdateRun& r) {
    r.StartTick = GetTickCount();
    char scheme[33] = "", host[257] = "", user[129] = "", password[129] = "", path[2049] = "",
         extra[2049] = "";
    URL_COMPONENTSA url = {};
    url.dwStructSize = sizeof(url);
    url.lpszScheme = scheme;
    url.dwSchemeLength = sizeof(scheme);
    url.lpszHostName = host;
    url.dwHostNameLength = sizeof(host);
    url.lpszUserName = user;
    url.dwUserNameLength = sizeof(user);
    url.lpszPassword = password;
    url.dwPasswordLength = sizeof(password);
    url.lpszUrlPath = path;
    url.dwUrlPathLength = sizeof(path);
    url.lpszExtraInfo = extra;
    url.dwExtraInfoLength = sizeof(extra);
    if (!InternetCrackUrlA(r.URL.c_str(), 0, ICU_ESCAPE, &url)) return;
    const std::string userName = user[0] ? user : r.User;
    const std::string userPassword = password[0] ? password : r.Password;

    if (IsFileScheme(scheme)) {
        r.IsFile = true;
        r.Local = CreateFileA(FileURLPath(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        LARGE_INTEGER size = {};
        if (r.Local != INVALID_HANDLE_VALUE && GetFileSizeEx(r.Local, &size)) {
            r.Status = 200;
            r.ContentLength = size.QuadPart;
        } else {
            r.Status = 404;
        }
    } else {
        const DWORD access = r.Proxy.AccessType == atUseProxy ? INTERNET_OPEN_TYPE_PROXY
                             : r.Proxy.AccessType == atDirect ? INTERNET_OPEN_TYPE_DIRECT
                                                              : INTERNET_OPEN_TYPE_PRECONFIG;
        const std::string proxy = r.Proxy.ProxyServer + ":" + IntToStr(r.Proxy.ProxyPort);
        const bool useProxy = r.Proxy.AccessType == atUseProxy;
        HINTERNET session = r.Keep(
            &TUpdateRun::Session,
            InternetOpenA(r.UserAgent.c_str(), access, useProxy ? proxy.c_str() : nullptr,
                          useProxy && !r.Proxy.ProxyBypass.empty() ? r.Proxy.ProxyBypass.c_str() : nullptr,
                          r.Offline ? INTERNET_FLAG_OFFLINE : 0));
        if (session == nullptr) return;
        InternetSetStatusCallbackA(session, StatusCallback);
        const DWORD_PTR context = reinterpret_cast<DWORD_PTR>(&r);
        HINTERNET connection =
            r.Keep(&TUpdateRun::Connection,
                   InternetConnectA(session, host, url.nPort, userName.empty() ? nullptr : userName.c_str(),
                                    userPassword.empty() ? nullptr : userPassword.c_str(),
                                    INTERNET_SERVICE_HTTP, 0, context));
        if (connection == nullptr) return;
        DWORD flags = SameText(scheme, "https") ? INTERNET_FLAG_SECURE : 0;
        if (!r.UseCache)
            flags |= INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_PRAGMA_NOCACHE;
        if (!r.UseCookies) flags |= INTERNET_FLAG_NO_COOKIES;
        const std::string object = std::string(path) + extra;
        const char* accept[] = {r.AcceptTypes.c_str(), nullptr};
        HINTERNET request =
            r.Keep(&TUpdateRun::Request,
                   HttpOpenRequestA(connection, r.Post ? "POST" : "GET", object.c_str(), nullptr,
                                    r.Referer.empty() ? nullptr : r.Referer.c_str(), accept, flags, context));
        if (request == nullptr) return;
        const struct {
            DWORD Option;
            int Value;
        } timeouts[] = {{INTERNET_OPTION_CONNECT_TIMEOUT, r.Timeouts.ConnectTimeout},
                        {INTERNET_OPTION_RECEIVE_TIMEOUT, r.Timeouts.ReceiveTimeout},
                        {INTERNET_OPTION_SEND_TIMEOUT, r.Timeouts.SendTimeout}};
        for (const auto& t : timeouts) {
            DWORD value = static_cast<DWORD>(t.Value);
            if (value != 0) InternetSetOptionA(request, t.Option, &value, sizeof(value));
        }
        if (!r.HeaderText.empty() &&
            !HttpAddRequestHeadersA(request, r.HeaderText.c_str(), static_cast<DWORD>(r.HeaderText.size()),
                                    HTTP_ADDREQ_FLAG_ADD))
            return;
        static const char formType[] = "Content-Type: application/x-www-form-urlencoded";
        for (int attempt = 1;; ++attempt) {
            request = r.Handle(&TUpdateRun::Request);
            const BOOL sent = r.Post ? HttpSendRequestA(request, formType, sizeof(formType) - 1,
                                                        const_cast<char*>(r.PostData.data()),
                                                        static_cast<DWORD>(r.PostData.size()))
                                     : HttpSendRequestA(request, nullptr, 0, nullptr, 0);
            if (!sent) {
                r.Status = -1;
                return;
            }
            std::string status;
            r.Status =
                QueryHeader(request, HTTP_QUERY_STATUS_CODE, status) ? StrToIntDef(Trim(status), 0) : 0;
            if (attempt >= MaxAuthAttempts || !Authenticate(r)) break;
        }
    }
    ReadHeaders(r);
    if (r.Continue && !r.Gate->Stopped()) ReadBody(r);
}

// True when the request is to be sent again with the credentials just given.
bool TUpdateHTTP::Authenticate(TUpdateRun& r) {
    HINTERNET request = r.Handle(&TUpdateRun::Request);
    bool tryAgain = false;
    if (r.Status == 401 && r.WantPassword) {
        std::string realm;
        if (QueryHeader(request, HTTP_QUERY_WWW_AUTHENTICATE, realm)) realm = UpdateRealm(realm);
        std::string user, password;
        if (!r.Gate->HandOver([&] {
                Raise(OnHTTPPasswordRequest, this, realm, tryAgain);
                user = HTTPUsername;
                password = HTTPPassword;
            }))
            return false;
        request = r.Handle(&TUpdateRun::Request);
        SetStringOption(request, INTERNET_OPTION_USERNAME, user);
        SetStringOption(request, INTERNET_OPTION_PASSWORD, password);
    } else if (r.Status == 407 && r.WantProxyAuth) {
        std::string user, password;
        if (!r.Gate->HandOver([&] { Raise(OnProxyAuthenticationRequest, this, user, password, tryAgain); }))
            return false;
        request = r.Handle(&TUpdateRun::Request);
        SetStringOption(request, INTERNET_OPTION_PROXY_USERNAME, user);
        SetStringOption(request, INTERNET_OPTION_PROXY_PASSWORD, password);
    }
    return tryAgain;
}

void TUpdateHTTP::ReadHeaders(TUpdateRun& r) {
    HINTERNET request = r.IsFile ? nullptr : r.Handle(&TUpdateRun::Request);
    std::string text;
    if (QueryHeader(request, HTTP_QUERY_CONTENT_TYPE, text)) r.ContentType = text;
    if (QueryHeader(request, HTTP_QUERY_CONTENT_LENGTH, text)) {
        long long length = 0;
        r.ContentLength = std::sscanf(text.c_str(), "%lld", &length) == 1 && length > 0 ? length : 0;
    }
    if (!r.WantHeaders) return;
    QueryHeader(request, HTTP_QUERY_RAW_HEADERS_CRLF, r.RawHeaders);
    QueryHeader(request, HTTP_QUERY_CONTENT_LANGUAGE, r.ContentLanguage);
    QueryHeader(request, HTTP_QUERY_CONTENT_ENCODING, r.ContentEncoding);
    QueryHeader(request, HTTP_QUERY_LOCATION, r.Location);
    r.Date = QueryDate(request, HTTP_QUERY_DATE);
    r.LastModified = QueryDate(request, HTTP_QUERY_LAST_MODIFIED);
    r.Expires = QueryDate(request, HTTP_QUERY_EXPIRES);
    r.Gate->HandOver([this, &r] {
        Raise(OnHeaderInfo, this, r.Status, r.RawHeaders, r.ContentType, r.ContentLanguage, r.ContentEncoding,
              r.Location, r.ContentLength, r.Date, r.LastModified, r.Expires, r.Continue);
    });
}

void TUpdateHTTP::ReadBody(TUpdateRun& r) {
    // The body goes to the file only when the answer is the file asked for (also when no
    // length was announced); an error page stays in memory for OnHTTPError, and the target
    // file of a failed run is removed.
    const bool good = GoodStatus(r);
    if (!r.FileName.empty()) DeleteFileA(r.FileName.c_str());
    if (good && !r.FileName.empty()) {
        const DWORD attributes =
            r.Hide ? FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_TEMPORARY : FILE_ATTRIBUTE_NORMAL;
        // Deletable while written: a stopped run's worker may hold the file a while after
        // Abort, and whoever stopped it may want the file gone at once.
        r.Target = CreateFileA(r.FileName.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE,
                               nullptr, CREATE_ALWAYS, attributes, nullptr);
        if (r.Target == INVALID_HANDLE_VALUE) {
            r.Success = good;  // reported as an error with no body
            return;
        }
    } else {
        r.Memory = std::make_unique<TMemoryStream>();
    }
    r.HasTarget = true;
    std::vector<char> buf(static_cast<size_t>(r.BufferSize));
    for (;;) {
        DWORD got = 0;
        const BOOL ok = r.IsFile
                            ? ReadFile(r.Local, buf.data(), static_cast<DWORD>(buf.size()), &got, nullptr)
                            : InternetReadFile(r.Handle(&TUpdateRun::Request), buf.data(),
                                               static_cast<DWORD>(buf.size()), &got);
        if (!ok || got == 0 || r.Gate->Stopped()) break;
        if (r.Memory) {
            r.Memory->WriteBuffer(buf.data(), static_cast<int>(got));
        } else {
            DWORD written = 0;
            // A full disk ends the run short of its length: it fails as a lost connection.
            if (!WriteFile(r.Target, buf.data(), got, &written, nullptr) || written != got) break;
        }
        r.BytesRead += got;
        if (r.WantProgress)
            r.Gate->HandOver([this, &r] {
                const TProgressFigures progress =
                    ProgressFigures(r.BytesRead, r.ContentLength, r.StartTick, GetTickCount());
                Raise(OnDownloadProgress, this, r.ContentType, r.Memory.get(), progress, r.BytesRead,
                      r.ContentLength);
            });
    }
    r.Success = good && (r.ContentLength == 0 || r.BytesRead == r.ContentLength);
}

// GUI thread. A handler may abort, start again or free the component: once the run was
// stopped, nothing more of it is reported and the component is not touched.
void TUpdateHTTP::Complete(const std::shared_ptr<TUpdateRun>& Run) {
    TUpdateRun& r = *Run;
    auto stopped = [&r] { return r.Gate->Stopped(); };
    FBusy = false;
    if (r.Memory) r.Memory->SetPosition(0);
    if (!r.Continue) {
        Raise(OnSkipped, this);
    } else if (r.Success && r.HasTarget) {
        Raise(OnDone, this, r.ContentType, r.Memory.get(), r.BytesRead);
    } else {
        Raise(OnAnyError, this);
        if (stopped() || r.Success) {
            // Success without a body target: OnAnyError alone.
        } else if (r.Status == -1) {
            Raise(OnServerUnreachable, this);
        } else if (r.Status != 200) {
            Raise(OnHTTPError, this, r.Status, r.Memory.get());
        } else {
            Raise(OnConnectionLost, this, r.ContentType, r.Memory.get(), r.BytesRead, r.ContentLength);
        }
    }
    if (!stopped() && FRun == Run) FRun.reset();
}
