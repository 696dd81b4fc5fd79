#include "app/verslab.h"

#include <algorithm>
#include <cctype>
#include <vector>

#include "base/StrUtils.h"

namespace {

struct TResourceNames {
    const char* Key;
    const char* Prefix;
};

// In the order of TVersionResources.
const TResourceNames ResourceNames[] = {
    {"CompanyName", "Company Name:"},
    {"FileDescription", "File Description:"},
    {"FileVersion", "File Version:"},
    {"InternalName", "Internal Name:"},
    {"LegalCopyright", "Legal Copyright:"},
    {"OriginalFilename", "Original Filename:"},
    {"ProductName", "Product Name:"},
    {"ProductVersion", "Product Version:"},
    {"Comments", "Comments:"},
    {"Flags", "Flags:"},
    {"FileVersion", "v"},
    {"DateTime", "File Date/Time:"},
    {"Filesize", "File Size:"},
};

const TResourceNames& NamesOf(TVersionResources Resource) {
    int i = static_cast<int>(Resource);
    const int count = static_cast<int>(sizeof(ResourceNames) / sizeof(ResourceNames[0]));
    // An out-of-range value (a cast from a stored number) reads as the default item.
    return i >= 0 && i < count ? ResourceNames[i] : ResourceNames[vrFileVersion];
}

}  // namespace

std::string VersionResourceKeyOf(TVersionResources Resource) { return NamesOf(Resource).Key; }
std::string InfoPrefixOf(TVersionResources Resource) { return NamesOf(Resource).Prefix; }

std::string FileFlagsText(uint32_t Flags) {
    static const char* const Words[] = {"Debug Build",   "Pre-Release Build", "Patched Build",
                                        "Private Build", "InfoInferred",      "Special Build"};
    std::string text;
    for (int bit = 0; bit < 6; ++bit)
        if (Flags & (1u << bit)) text += std::string(text.empty() ? "" : ", ") + Words[bit];
    return text;
}

std::string ShortVersionText(const std::string& Version) {
    size_t dot = Version.find('.');
    std::string major = Version.substr(0, dot);
    std::string rest = dot == std::string::npos ? std::string() : Version.substr(dot + 1);
    std::string minor = rest.substr(0, rest.find('.'));
    return Format("%d.%.2d", StrToIntDef(major, 0), StrToIntDef(minor, 0));
}

std::string LangCharsetText(uint16_t Language, uint16_t CodePage) {
    return Format("%04x%04x", static_cast<unsigned>(Language), static_cast<unsigned>(CodePage));
}

std::string WithInfoPrefix(const std::string& Prefix, const std::string& Text) { return Prefix + " " + Text; }

// ---------------------------------------------------------------------------------------

namespace {

bool IsQuote(char C) { return C == '"' || C == '\''; }

// Copies a quoted text from Picture[i] (the opening quote) to Out without its quotes; an
// unclosed quote runs to the end.
void CopyQuoted(const std::string& Picture, size_t& i, std::string& Out) {
    char quote = Picture[i++];
    while (i < Picture.size() && Picture[i] != quote)
        Out += Picture[i++];
    if (i < Picture.size()) ++i;
}

// The section of a number picture for a value, and whether the value's sign is shown.
std::string NumberSection(const std::string& Picture, long long Value, bool& ShowMinus) {
    std::vector<std::string> sections(1);
    for (size_t i = 0; i < Picture.size();) {
        if (IsQuote(Picture[i])) {
            size_t start = i;
            std::string ignored;
            CopyQuoted(Picture, i, ignored);
            sections.back() += Picture.substr(start, i - start);
        } else if (Picture[i] == ';') {
            sections.emplace_back();
            ++i;
        } else {
            sections.back() += Picture[i++];
        }
    }
    ShowMinus = false;
    if (Value < 0 && sections.size() > 1 && !sections[1].empty()) return sections[1];
    if (Value == 0 && sections.size() > 2 && !sections[2].empty()) return sections[2];
    ShowMinus = Value < 0;
    return sections[0];
}

}  // namespace

std::string FormatNumber(const std::string& Picture, long long Value, const TFormatSettings& Settings) {
    bool minus = false;
    std::string section = NumberSection(Picture, Value, minus);

    // The integer part's placeholders, the first "0" among them, and the grouping.
    int placeholders = 0, firstZero = -1;
    bool grouped = false, point = false, fractionZeros = false;
    for (size_t i = 0; i < section.size(); ++i) {
        char c = section[i];
        if (IsQuote(c)) {
            std::string ignored;
            CopyQuoted(section, i, ignored);
            --i;
        } else if (point) {
            fractionZeros = fractionZeros || c == '0';
        } else if (c == '.') {
            point = true;
        } else if (c == ',') {
            grouped = true;
        } else if (c == '0' || c == '#') {
            if (c == '0' && firstZero < 0) firstZero = placeholders;
            ++placeholders;
        }
    }

    // The magnitude's digits, padded to the digits the picture always shows; through an
    // unsigned value so that the smallest number has a magnitude too.
    unsigned long long magnitude =
        Value < 0 ? 0ull - static_cast<unsigned long long>(Value) : static_cast<unsigned long long>(Value);
    std::string digits = std::to_string(magnitude);
    size_t least = firstZero < 0 ? 0 : static_cast<size_t>(placeholders - firstZero);
    if (magnitude == 0 && least == 0) digits.clear();
    if (digits.size() < least) digits.insert(0, least - digits.size(), '0');

    std::string out = minus ? "-" : "";
    auto emit = [&](size_t index) {
        out += digits[index];
        size_t after = digits.size() - 1 - index;
        if (grouped && after > 0 && after % 3 == 0) out += Settings.ThousandSeparator;
    };
    long long lead = static_cast<long long>(digits.size()) - placeholders;
    int placeholder = 0;
    bool fraction = false;
    for (size_t i = 0; i < section.size();) {
        char c = section[i];
        if (IsQuote(c)) {
            CopyQuoted(section, i, out);
            continue;
        }
        ++i;
        if (!fraction && (c == '0' || c == '#')) {
            // The digits beyond the picture's places go out at its first place.
            if (placeholder == 0)
                for (long long k = 0; k < lead; ++k)
                    emit(static_cast<size_t>(k));
            long long index = lead + placeholder++;
            if (index >= 0) emit(static_cast<size_t>(index));
        } else if (!fraction && c == ',') {
            // Grouping only: the separators come with the digits.
        } else if (!fraction && c == '.') {
            fraction = true;
            // A whole number has only zeros after the point: shown when a "0" asks for one.
            if (fractionZeros) out += Settings.DecimalSeparator;
        } else if (fraction && c == '0') {
            out += '0';
        } else if (fraction && (c == '#' || c == ',')) {
        } else {
            out += c;
        }
    }
    return out;
}

// ---------------------------------------------------------------------------------------

namespace {

// Pictures inside pictures (ddddd, c, t) go this deep, so a locale's format that names
// itself cannot recurse for ever.
const int MaxFormatDepth = 2;

size_t RunLength(const std::string& Picture, size_t i) {
    size_t n = 1;
    char c = static_cast<char>(std::toupper(static_cast<unsigned char>(Picture[i])));
    while (i + n < Picture.size() && std::toupper(static_cast<unsigned char>(Picture[i + n])) == c)
        ++n;
    return n;
}

bool StartsWithNoCase(const std::string& S, size_t i, const char* Prefix) {
    for (size_t k = 0; Prefix[k]; ++k)
        if (i + k >= S.size() || std::toupper(static_cast<unsigned char>(S[i + k])) != Prefix[k])
            return false;
    return true;
}

bool HasAmPm(const std::string& Picture) {
    for (size_t i = 0; i < Picture.size(); ++i) {
        if (IsQuote(Picture[i])) {
            std::string ignored;
            CopyQuoted(Picture, i, ignored);
            --i;
        } else if (StartsWithNoCase(Picture, i, "AM/PM") || StartsWithNoCase(Picture, i, "A/P") ||
                   StartsWithNoCase(Picture, i, "AMPM")) {
            return true;
        }
    }
    return false;
}

std::string Number(int Value, bool TwoDigits) { return Format(TwoDigits ? "%02d" : "%d", Value); }

const std::string& Name(const std::string (&Names)[12], int Month) {
    return Names[Month >= 1 && Month <= 12 ? Month - 1 : 0];
}

const std::string& DayName(const std::string (&Names)[7], int Day) {
    return Names[Day >= 0 && Day <= 6 ? Day : 0];
}

void AppendDateTime(const std::string& Picture, const TDateTimeFields& When, const TFormatSettings& Settings,
                    int Depth, std::string& Out) {
    if (Depth > MaxFormatDepth) return;
    const bool twelveHour = HasAmPm(Picture);
    bool afterHour = false;
    for (size_t i = 0; i < Picture.size();) {
        if (IsQuote(Picture[i])) {
            CopyQuoted(Picture, i, Out);
            continue;
        }
        char c = static_cast<char>(std::toupper(static_cast<unsigned char>(Picture[i])));
        size_t n = RunLength(Picture, i);
        switch (c) {
        case 'Y':
            Out += n <= 2 ? Format("%02d", When.Year % 100) : Format("%04d", When.Year);
            break;
        case 'M':
            if (afterHour && n <= 2)
                Out += Number(When.Minute, n == 2);
            else if (n <= 2)
                Out += Number(When.Month, n == 2);
            else
                Out += Name(n == 3 ? Settings.ShortMonthNames : Settings.LongMonthNames, When.Month);
            break;
        case 'D':
            if (n <= 2)
                Out += Number(When.Day, n == 2);
            else if (n <= 4)
                Out += DayName(n == 3 ? Settings.ShortDayNames : Settings.LongDayNames, When.DayOfWeek);
            else
                AppendDateTime(n == 5 ? Settings.ShortDateFormat : Settings.LongDateFormat, When, Settings,
                               Depth + 1, Out);
            break;
        case 'H': {
            n = std::min<size_t>(n, 2);
            int h = When.Hour;
            if (twelveHour) h = h % 12 == 0 ? 12 : h % 12;
            Out += Number(h, n == 2);
            break;
        }
        case 'N':
            n = std::min<size_t>(n, 2);
            Out += Number(When.Minute, n == 2);
            break;
        case 'S':
            n = std::min<size_t>(n, 2);
            Out += Number(When.Second, n == 2);
            break;
        case 'Z':
            n = std::min<size_t>(n, 3);
            Out += Format(n == 1 ? "%d" : "%03d", When.Millisecond);
            break;
        case 'C':
            n = 1;
            AppendDateTime(Settings.ShortDateFormat, When, Settings, Depth + 1, Out);
            if (When.Hour || When.Minute || When.Second || When.Millisecond) {
                Out += ' ';
                AppendDateTime(Settings.LongTimeFormat, When, Settings, Depth + 1, Out);
            }
            break;
        case 'T':
            n = std::min<size_t>(n, 2);
            AppendDateTime(n == 1 ? Settings.ShortTimeFormat : Settings.LongTimeFormat, When, Settings,
                           Depth + 1, Out);
            break;
        case 'A': {
            bool pm = When.Hour >= 12;
            if (StartsWithNoCase(Picture, i, "AM/PM")) {
                // The letters of the half that applies, in the case the picture wrote them.
                Out += Picture.substr(pm ? i + 3 : i, 2);
                n = 5;
            } else if (StartsWithNoCase(Picture, i, "A/P")) {
                Out += Picture[pm ? i + 2 : i];
                n = 3;
            } else if (StartsWithNoCase(Picture, i, "AMPM")) {
                Out += pm ? Settings.TimePMString : Settings.TimeAMString;
                n = 4;
            } else {
                Out += Picture[i];
                n = 1;
            }
            break;
        }
        case '/':
            n = 1;
            Out += Settings.DateSeparator;
            break;
        case ':':
            n = 1;
            Out += Settings.TimeSeparator;
            break;
        default:
            n = 1;
            Out += Picture[i];
            break;
        }
        // Only letters end an hour: "h:mm" shows minutes.
        if (c >= 'A' && c <= 'Z') afterHour = c == 'H';
        i += n;
    }
}

}  // namespace

std::string FormatDateTime(const std::string& Picture, const TDateTimeFields& When,
                           const TFormatSettings& Settings) {
    std::string out;
    AppendDateTime(Picture, When, Settings, 0, out);
    return out;
}
