#include "upgrade/UpdateHTTP.h"


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

namespace {

// Days from 1899-12-30 to the given civil date (proleptic Gregorian).
long long DaysSince1899(int Y, int M, int D) {
    Y -= M <= 2;
    const long long era = (Y >= 0 ? Y : Y - 399) / 400;
    const int yoe = static_cast<int>(Y - era * 400);
    const int doy = (153 * (M + (M > 2 ? -3 : 9)) + 2) / 5 + D - 1;
    const int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468 + 25569;  // 25569: 1899-12-30 to 1970-01-01
}

int MonthOf(const std::string& Token) {
    static const char* const months[] = {"JAN", "FEB", "MAR", "APR", "MAY", "JUN",
                                         "JUL", "AUG", "SEP", "OCT", "NOV", "DEC"};
    for (int i = 0; i < 12; ++i)
        if (SameText(Token, months[i])) return i + 1;
    return 0;
}

bool IsDigits(const std::string& S, size_t Max) {
    if (S.empty() || S.size() > Max) return false;
    for (char c : S)
        if (c < '0' || c > '9') return false;
    return true;
}

// Takes the token up to Sep or a blank off the front of Rest, and the separators after it.
std::string NextToken(std::string& Rest, char Sep) {
    size_t end = 0;
    while (end < Rest.size() && Rest[end] != Sep && Rest[end] != ' ')
        ++end;
    std::string token = Rest.substr(0, end);
    while (end < Rest.size() && (Rest[end] == Sep || Rest[end] == ' '))
        ++end;
    Rest.erase(0, end);
    return token;
}

}  // namespace

double UpdateHTTPDate(const std::string& Text) {
    std::string rest = Trim(Text);
    static const char* const days[] = {"SUN", "MON", "TUE", "WED", "THU", "FRI", "SAT"};
    for (const char* d : days)
        if (rest.size() >= 3 && SameText(rest.substr(0, 3), d)) {
            const size_t blank = rest.find(' ');
            rest = blank == std::string::npos ? std::string() : TrimLeft(rest.substr(blank));
            break;
        }
    const size_t dash = rest.find('-'), blank = rest.find(' ');
    const char sep =
        dash != std::string::npos && dash >= 1 && (blank == std::string::npos || dash < blank) ? '-' : ' ';
    std::string first = NextToken(rest, sep), second = NextToken(rest, sep);
    int month = MonthOf(first);
    std::string dayText = second;
    if (month == 0) {
        month = MonthOf(second);
        dayText = first;
    }
    int day = IsDigits(dayText, 2) ? std::stoi(dayText) : 1;
    std::string yearText = NextToken(rest, sep);
    if (!IsDigits(yearText, 4)) {
        // asctime: the year comes last, after the time.
        rest = Trim(yearText + " " + rest);
        const size_t last = rest.find_last_of(' ');
        yearText = last == std::string::npos ? rest : rest.substr(last + 1);
        rest = last == std::string::npos ? std::string() : Trim(rest.substr(0, last));
        if (!IsDigits(yearText, 4)) return 0;
    }
    int year = std::stoi(yearText);
    if (year < 80)
        year += 2000;
    else if (year < 100)
        year += 1900;
    static const int monthDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month == 0 || day < 1 || day > monthDays[month - 1]) return 0;
    double value = static_cast<double>(DaysSince1899(year, month, day));
    if (rest.find(':') != std::string::npos) {
        std::string time = NextToken(rest, ' ');
        int parts[3] = {0, 0, 0};
        for (int i = 0; i < 3 && !time.empty(); ++i) {
            const size_t colon = time.find(':');
            const std::string part = time.substr(0, colon);
            if (!IsDigits(part, 2)) return 0;
            parts[i] = std::stoi(part);
            time = colon == std::string::npos ? std::string() : time.substr(colon + 1);
        }
        if (parts[0] > 23 || parts[1] > 59 || parts[2] > 60) return 0;
        value += (parts[0] * 3600 + parts[1] * 60 + parts[2]) / 86400.0;
    }
    rest = Trim(rest);
    if (rest.size() > 4) {
        const std::string zone = rest.substr(0, 5);
        int minutes = 0;
        if ((zone[0] == '+' || zone[0] == '-') && IsDigits(zone.substr(1), 4))
            minutes = std::stoi(zone.substr(1, 2)) * 60 + std::stoi(zone.substr(3, 2));
        if (zone[0] == '-') minutes = -minutes;
        value -= minutes / 1440.0;
    }
    return value;
}
