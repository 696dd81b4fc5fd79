#pragma once
// The version label's text rules, apart from the file they describe: the key and prefix of
// each item, the build-flags words, the short version, and the formats of the file's size
// and date.
#include <cstdint>
#include <string>

enum TVersionResources {
    vrCompanyName,
    vrFileDescription,
    vrFileVersion,
    vrInternalName,
    vrLegalCopyright,
    vrOriginalFilename,
    vrProductName,
    vrProductVersion,
    vrComments,
    vrFlags,
    vrShortFileVersion,
    vrDateTime,
    vrFileSize
};

// The string key and the prefix that choosing an item sets.
std::string VersionResourceKeyOf(TVersionResources Resource);
std::string InfoPrefixOf(TVersionResources Resource);

// The set bits of a file-flags word as words ("Debug Build, Private Build"); empty when none.
std::string FileFlagsText(uint32_t Flags);
// Major and minor number of a version string, the minor with two digits: "1.2.3.4" gives
// "1.02"; a part that is not a number counts as 0.
std::string ShortVersionText(const std::string& Version);
// A translation's language and code page as the name of its string table: "040904e4".
std::string LangCharsetText(uint16_t Language, uint16_t CodePage);
// The prefix, a blank and the text.
std::string WithInfoPrefix(const std::string& Prefix, const std::string& Text);

// What the number and date formats take from the user's locale; English by default.
struct TFormatSettings {
    std::string ThousandSeparator = ",";
    std::string DecimalSeparator = ".";
    std::string DateSeparator = "/";
    std::string TimeSeparator = ":";
    std::string ShortDateFormat = "M/d/yyyy";
    std::string LongDateFormat = "dddd, MMMM d, yyyy";
    std::string ShortTimeFormat = "h:mm AMPM";
    std::string LongTimeFormat = "h:mm:ss AMPM";
    std::string TimeAMString = "AM";
    std::string TimePMString = "PM";
    std::string ShortMonthNames[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                       "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    std::string LongMonthNames[12] = {"January", "February", "March",     "April",   "May",      "June",
                                      "July",    "August",   "September", "October", "November", "December"};
    // Sunday first.
    std::string ShortDayNames[7] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    std::string LongDayNames[7] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                   "Thursday", "Friday", "Saturday"};
};

// A number by a picture: "0" a digit always shown, "#" a digit shown when significant, ","
// anywhere before the decimal point groups thousands, "." the decimal point, text in
// quotes or any other character as it is; up to three sections split by ";" for positive,
// negative and zero values.
std::string FormatNumber(const std::string& Format, long long Value, const TFormatSettings& Settings);

// A local date and time, broken into its fields.
struct TDateTimeFields {
    int Year = 0;
    int Month = 1;      // 1-12
    int Day = 1;        // 1-31
    int DayOfWeek = 0;  // 0 = Sunday
    int Hour = 0;
    int Minute = 0;
    int Second = 0;
    int Millisecond = 0;
};

// A date and time by a picture, letters in any case: d dd ddd dddd (day, its name), ddddd
// dddddd (short and long date), m mm mmm mmmm (month, its name; minutes right after an
// hour), yy yyyy, h hh, n nn, s ss, z zzz, am/pm a/p ampm (a 12-hour clock), c, t, tt,
// "/" and ":" (the locale's separators), text in quotes; any other character as it is.
std::string FormatDateTime(const std::string& Format, const TDateTimeFields& When,
                           const TFormatSettings& Settings);
