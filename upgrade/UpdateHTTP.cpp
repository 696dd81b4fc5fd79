#include "upgrade/UpdateHTTP.h"

#include <cmath>

#include "base/StrUtils.h"

std::string UpdateURL(const std::string& URL) {
    return URL.find("://") == std::string::npos ? "http://" + URL : URL;
}

bool IsFileScheme(const std::string& Scheme) { return SameText(Scheme, "file"); }

std::string FileURLPath(const std::string& Path) {
    std::string p = Path;
    // "/C:/x" is how a drive letter reads in a URL's path.
    if (p.size() >= 3 && (p[0] == '/' || p[0] == '\\') && p[2] == ':') p.erase(0, 1);
    for (char& c : p)
        if (c == '/') c = '\\';
    return p;
}

std::string UpdateRequestHeaders(const TStringList& Headers, const TUpdateHTTPRange& Range) {
    std::string text;
    for (const std::string& line : Headers.Lines())
        text += line + "\r\n";
    if (Range.StartRange != 0 || Range.EndRange != 0) {
        text += "RANGE: bytes=" + IntToStr(Range.StartRange) + "-";
        if (Range.EndRange != 0) text += IntToStr(Range.EndRange);
        text += "\r\n";
    }
    return text;
}

bool UpdateIsPost(TUpdateRequestMethod Method, bool HasData) {
    return Method == rmPost || (Method == rmAutomatic && HasData);
}

std::string UpdateRealm(const std::string& WWWAuthenticate) {
    const size_t at = WWWAuthenticate.find("=\"");
    if (at == std::string::npos) return WWWAuthenticate;
    std::string realm = WWWAuthenticate.substr(at + 2);
    if (!realm.empty()) realm.pop_back();
    return realm;
}

TUpdateProgress UpdateProgress(int64_t Bytes, int64_t Total, uint32_t ElapsedMs) {
    TUpdateProgress p;
    p.ElapsedTime = static_cast<int>(ElapsedMs / 1000);
    if (Total > 0) {
        // Ties to even, and never past 100 when a server sends more than it announced.
        const double pct = std::nearbyint(static_cast<double>(Bytes) * 100.0 / static_cast<double>(Total));
        p.PercentsDone = static_cast<uint8_t>(pct < 0 ? 0 : pct > 100 ? 100 : pct);
    }
    if (Bytes > 0)
        p.EstimatedTimeLeft = static_cast<int>(std::nearbyint(static_cast<double>(Total) /
                                                              static_cast<double>(Bytes) * p.ElapsedTime)) -
                              p.ElapsedTime;
    p.TransferRate = static_cast<float>(Bytes) / 1024.0f;
    if (p.ElapsedTime != 0) p.TransferRate /= static_cast<float>(p.ElapsedTime);
    return p;
}

std::string UpdateStatusText(int Code) {
    static const struct {
        int Code;
        const char* Text;
    } texts[] = {{10, "Resolving name"},     {11, "Name resolved"},          {20, "Connecting to server"},
                 {21, "Connected"},          {30, "Sending Request"},        {31, "Request sent"},
                 {40, "Receiving response"}, {41, "Response received"},      {42, "CTL Response received"},
                 {43, "Prefetch"},           {50, "Closing connection"},     {51, "Connection closed"},
                 {60, "Handle created"},     {70, "Handle closing"},         {100, "Request complete"},
                 {110, "Redirect"},          {120, "Intermediate response"}, {200, "State change"}};
    for (const auto& t : texts)
        if (t.Code == Code) return t.Text;
    return "Unknown status";
}

namespace {
const int PriorityValues[] = {-15, -2, -1, 0, 1, 2, 15};
}

int ThreadPriorityValue(TThreadPriority Priority) {
    return Priority >= tpIdle && Priority <= tpTimeCritical ? PriorityValues[Priority] : 0;
}

TThreadPriority ThreadPriorityOf(int Value) {
    for (int i = tpIdle; i <= tpTimeCritical; ++i)
        if (PriorityValues[i] == Value) return static_cast<TThreadPriority>(i);
    return tpNormal;
}
