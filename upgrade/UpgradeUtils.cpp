#include "upgrade/UpgradeUtils.h"

#include <algorithm>
#include <climits>
#include <cmath>

#include "base/StrUtils.h"

TInfoText::TInfoText(const std::string& Text) : FText(Text), FLower(LowerCase(Text)) {}

size_t TInfoText::ValueStart(const std::string& Key) const {
    const std::string pattern = "#" + LowerCase(Key) + "=";
    const size_t at = FLower.find(pattern);
    return at == std::string::npos ? at : at + pattern.size();
}

std::string TInfoText::Value(const std::string& Key) const {
    const size_t start = ValueStart(Key);
    if (start == std::string::npos) return "";
    size_t end = start;
    while (end < FText.size() && static_cast<unsigned char>(FText[end]) >= 32)
        ++end;
    return FText.substr(start, end - start);
}

std::string TInfoText::Message() const {
    const size_t start = ValueStart("message");
    if (start == std::string::npos || start >= FText.size() || FText[start] != '{') return Value("message");
    const size_t close = FText.find('}', start + 1);
    return FText.substr(start + 1, close == std::string::npos ? std::string::npos : close - start - 1);
}

namespace {
// The text before the next "." ("0" once none is left), taken off Rest with its ".".
std::string NextVersionPart(std::string& Rest) {
    const size_t dot = Rest.find('.');
    if (dot == std::string::npos) return "0";
    std::string part = Rest.substr(0, dot);
    Rest.erase(0, dot + 1);
    return part;
}

// A byte-wise comparison of C strings whose byte difference is read back as a signed 8-bit
// value, so a difference of 128 or more counts the other way round.
int CStringOrder(const std::string& A, const std::string& B) {
    const unsigned char* a = reinterpret_cast<const unsigned char*>(A.c_str());
    const unsigned char* b = reinterpret_cast<const unsigned char*>(B.c_str());
    while (*a != 0 && *a == *b) {
        ++a;
        ++b;
    }
    return static_cast<int8_t>(static_cast<uint8_t>(*a - *b));
}

bool IsLeapYear(int Y) { return (Y % 4 == 0 && Y % 100 != 0) || Y % 400 == 0; }

bool Earlier(const TVersionDate& A, const TVersionDate& B) {
    if (A.Year != B.Year) return A.Year < B.Year;
    if (A.Month != B.Month) return A.Month < B.Month;
    return A.Day < B.Day;
}
}  // namespace

// Four parts each; a part that is no integer (or is -1) hands the decision to the
// comparison of the whole strings.
bool IsNewerNumber(const std::string& A, const std::string& B) {
    std::string restA = A + ".", restB = B + ".";
    for (int i = 0; i < 4; ++i) {
        const int a = StrToIntDef(NextVersionPart(restA), -1);
        const int b = StrToIntDef(NextVersionPart(restB), -1);
        if (a == -1 || b == -1) return CStringOrder(A, B) > 0;
        if (a != b) return a > b;
    }
    return false;
}

bool ParseVersionDate(const std::string& S, TVersionDate& Date) {
    const size_t first = S.find('/');
    if (first == std::string::npos) return false;
    const size_t second = S.find('/', first + 1);
    if (second == std::string::npos) return false;
    TVersionDate d;
    if (!TryStrToInt(S.substr(0, first), d.Month) ||
        !TryStrToInt(S.substr(first + 1, second - first - 1), d.Day) ||
        !TryStrToInt(S.substr(second + 1), d.Year))
        return false;
    static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (d.Year < 1 || d.Year > 9999 || d.Month < 1 || d.Month > 12 || d.Day < 1) return false;
    if (d.Day > kDays[d.Month - 1] + (d.Month == 2 && IsLeapYear(d.Year) ? 1 : 0)) return false;
    Date = d;
    return true;
}

std::string FormatVersionDate(const TVersionDate& Date) {
    return Format("%.2d/%.2d/%.4d", Date.Month, Date.Day, Date.Year);
}

bool IsNewerDate(const std::string& InfoDate, const std::string& VersionDate, const TVersionDate& Today) {
    TVersionDate info = Today, version = Today;
    ParseVersionDate(InfoDate, info);
    ParseVersionDate(VersionDate, version);
    return Earlier(version, info);
}

// Rounding is to nearest with ties to even (the default floating-point mode). A body longer
// than announced, or of unknown length, must not show more than 100 % or a negative time left.
TProgressFigures ProgressFigures(int64_t Bytes, int64_t Total, uint32_t StartTick, uint32_t NowTick) {
    TProgressFigures f{};
    // Unsigned difference: right across the counter's wrap after 49.7 days.
    f.ElapsedTime = static_cast<int>((NowTick - StartTick) / 1000);
    if (Total > 0 && Bytes > 0) {
        const double percent = std::nearbyint(static_cast<double>(Bytes) * 100 / static_cast<double>(Total));
        f.PercentsDone = static_cast<uint8_t>(percent > 100 ? 100 : percent);
        const double whole =
            std::nearbyint(static_cast<double>(Total) / static_cast<double>(Bytes) * f.ElapsedTime);
        const double left = whole - f.ElapsedTime;
        f.EstimatedTimeLeft = left <= 0 ? 0 : left >= INT_MAX ? INT_MAX : static_cast<int>(left);
    }
    f.TransferRate = static_cast<float>(static_cast<double>(Bytes) / 1024);
    if (f.ElapsedTime != 0) f.TransferRate /= static_cast<float>(f.ElapsedTime);
    return f;
}

bool HexToBytes(const std::string& Hex, std::string& Bytes) {
    if (Hex.size() % 2 != 0) return false;
    auto digit = [](char c) {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        return -1;
    };
    std::string out;
    for (size_t i = 0; i < Hex.size(); i += 2) {
        const int hi = digit(Hex[i]), lo = digit(Hex[i + 1]);
        if (hi < 0 || lo < 0) return false;
        out += static_cast<char>(hi * 16 + lo);
    }
    Bytes = out;
    return true;
}

std::string BrowserProgram(const std::string& Command) {
    const std::string line = Trim(Command);
    if (!line.empty() && line[0] == '"') {
        const size_t close = line.find('"', 1);
        return line.substr(1, close == std::string::npos ? std::string::npos : close - 1);
    }
    const std::string upper = UpperCase(line);
    const size_t rundll = upper.find("RUNDLL");
    if (rundll != std::string::npos && upper.find(".DLL") != std::string::npos)
        return line.substr(0, line.find(' ', rundll));
    size_t cut = std::string::npos;
    for (const char* separator : {" -", " /", " \\", ",", " %"})
        cut = std::min(cut, line.find(separator));
    return Trim(line.substr(0, cut));
}

std::string UpgradeQuestionText(const std::string& Pattern, const std::string& Title,
                                const std::string& Message) {
    std::string out;
    int argument = 0;
    for (size_t i = 0; i < Pattern.size(); ++i) {
        if (Pattern[i] != '%' || i + 1 == Pattern.size()) {
            out += Pattern[i];
        } else if (Pattern[i + 1] == '%') {
            out += '%';
            ++i;
        } else if (Pattern[i + 1] == 's' && argument < 2) {
            ++i;
            if (argument++ == 0) {
                out += Title;
            } else if (!Message.empty()) {
                out += "\n" + Message + "\n";
            } else if (i + 1 < Pattern.size() && Pattern[i + 1] == '\n') {
                ++i;
            }
        } else {
            out += Pattern[i];
        }
    }
    return out;
}
