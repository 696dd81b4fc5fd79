#include "http/Url.h"

#include <cmath>

#include "base/StrUtils.h"

namespace {

// The folder of a path: up to and including its last "/", or "/" when it has none.
std::string DirOf(const std::string& Path) {
    const size_t slash = Path.rfind('/');
    return slash == std::string::npos ? "/" : Path.substr(0, slash + 1);
}

// One folder level up: "/a/b/" gives "/a/", and the top stays "/".
std::string ParentDir(const std::string& Dir) {
    std::string d = Dir;
    if (!d.empty() && d.back() == '/') d.pop_back();
    const size_t slash = d.rfind('/');
    return slash == std::string::npos ? "/" : d.substr(0, slash + 1);
}

bool IsSchemeChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.';
}

bool StartsNoCase(const std::string& S, const char* Prefix) {
    const std::string p(Prefix);
    return S.size() >= p.size() && SameText(S.substr(0, p.size()), p);
}

void SplitAuthority(const std::string& Auth, TUrlParts& P) {
    const size_t colon = Auth.rfind(':'), at = Auth.rfind('@');
    if (colon == std::string::npos && at == std::string::npos) {
        P.Host = Auth;
        return;
    }
    const size_t hostFrom = at == std::string::npos ? 0 : at + 1;
    if (colon != std::string::npos && (at == std::string::npos || colon > at)) {
        P.Port = Auth.substr(colon + 1);
        P.Host = Auth.substr(hostFrom, colon - hostFrom);
        if (at == std::string::npos) return;
    } else {
        P.Host = Auth.substr(hostFrom);
    }
    const std::string userInfo = Auth.substr(0, at);
    const size_t split = userInfo.find(':');
    if (split == std::string::npos) {
        P.User = userInfo;
    } else {
        P.User = userInfo.substr(0, split);
        P.Pass = userInfo.substr(split + 1);
    }
}

}  // namespace

void ParseURL(const std::string& Url, TUrlParts& P) {
    const std::string base = P.Path;
    P = TUrlParts();
    if (Url.empty()) return;

    if (Url.compare(0, 2, "./") == 0) {
        P.Path = DirOf(base) + Url.substr(2);
        return;
    }
    if (Url.compare(0, 3, "../") == 0) {
        std::string dir = DirOf(base);
        size_t at = 0;
        while (Url.compare(at, 3, "../") == 0) {
            dir = ParentDir(dir);
            at += 3;
        }
        P.Path = dir + Url.substr(at);
        return;
    }

    std::string rest;
    bool haveRest = false;
    const size_t sep = Url.find("://");
    if (sep != std::string::npos) {
        const std::string prefix = LowerCase(Url.substr(0, sep));
        bool plain = true;
        for (char c : prefix)
            plain = plain && IsSchemeChar(c);
        if (plain) {
            P.Proto = prefix;
            rest = Url.substr(sep + 3);
            haveRest = true;
        } else {
            P.Proto = "http";
        }
    }
    if (!haveRest) {
        if (Url[0] == '/') {
            P.Proto = "http";
            if (Url.size() < 2 || Url[1] != '/') {
                P.Path = Url;
                return;
            }
            // "//host/path": a network path without a scheme.
            rest = Url.substr(2);
        } else if (StartsNoCase(Url, "http:") && sep == std::string::npos) {
            P.Proto = "http";
            if (Url.size() >= 7 && Url[6] != '/') {
                P.Path = Url.substr(5);
                return;
            }
            rest = Url.size() >= 7 ? Url.substr(6) : std::string();
        } else if (StartsNoCase(Url, "mailto:")) {
            P.Proto = "mailto";
            rest = Url.substr(Url.find(':') + 1);
        } else {
            rest = Url;
        }
    }

    size_t pathAt = rest.find('/');
    const size_t query = rest.find('?');
    if (query != std::string::npos && (pathAt == std::string::npos || query < pathAt)) pathAt = query;
    if (pathAt != std::string::npos) P.Path = rest.substr(pathAt);
    SplitAuthority(rest.substr(0, pathAt), P);
}

TUrlParts ParseURL(const std::string& Url, const std::string& BasePath) {
    TUrlParts p;
    p.Path = BasePath;
    ParseURL(Url, p);
    return p;
}

std::string DocNameOf(const std::string& Path) {
    std::string s = Path.substr(0, Path.find('?'));
    if (s.empty() || s.back() == '/') return "document.htm";
    s = s.substr(s.rfind('/') + 1).substr(0, 255);
    return s.substr(0, s.find('?'));
}

std::string UrlBase(const std::string& Uri) {
    const std::string head = Uri.substr(0, Uri.find('?'));
    const size_t cut = head.find_last_of("/:");
    return cut == std::string::npos ? std::string() : Uri.substr(0, cut + 1);
}

std::string RFC1123Date(double DateTime) {
    static const char kDays[] = "MonTueWedThuFriSatSun";
    static const char kMonths[] = "JanFebMarAprMayJunJulAugSepOctNovDec";
    const double dayPart = std::floor(DateTime);
    long long days = static_cast<long long>(dayPart);
    long long secs = std::llround((DateTime - dayPart) * 86400.0);
    if (secs >= 86400) {
        secs -= 86400;
        ++days;
    }
    // 30 December 1899 was a Saturday; civil dates counted in eras from 1 March 0000.
    const int weekday = static_cast<int>(((days + 5) % 7 + 7) % 7);  // 0 = Monday
    const long long z = days + 693899;
    const long long era = (z >= 0 ? z : z - 146096) / 146097;
    const long long doe = z - era * 146097;
    const long long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const long long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const long long mp = (5 * doy + 2) / 153;
    const int day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    const int month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    const long long year = yoe + era * 400 + (month <= 2 ? 1 : 0);
    return std::string(kDays + weekday * 3, 3) + ", " +
           Format("%2.2d %s %4.4d %2.2d:%2.2d:%2.2d", day, std::string(kMonths + (month - 1) * 3, 3).c_str(),
                  static_cast<int>(year), static_cast<int>(secs / 3600), static_cast<int>(secs / 60 % 60),
                  static_cast<int>(secs % 60));
}
