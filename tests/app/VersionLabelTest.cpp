// The version label's text rules without a file: flags, short version, translation name and
// the size and date pictures.
#include <gtest/gtest.h>

#include "app/verslab.h"

namespace {

TEST(VersionLabelText, FlagsInBitOrderOnlyTheSixKnownBits) {
    const struct {
        uint32_t Flags;
        const char* Text;
    } cases[] = {
        {0, ""},
        {0x9, "Debug Build, Private Build"},
        {0x3F, "Debug Build, Pre-Release Build, Patched Build, Private Build, InfoInferred, Special Build"},
        {0x24, "Patched Build, Special Build"},
        {0xFFFFFFC0, ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FileFlagsText(c.Flags), c.Text) << c.Flags;
}

TEST(VersionLabelText, ShortVersionFromMajorAndMinor) {
    const struct {
        const char* Version;
        const char* Short;
    } cases[] = {
        {"1.2.3.4", "1.02"}, {"10.15.0.1", "10.15"}, {"2.123", "2.123"}, {"3", "3.00"},  {"", "0.00"},
        {"a.b.c", "0.00"},   {"4.x.1", "4.00"},      {"1..5", "1.00"},   {".9", "0.09"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ShortVersionText(c.Version), c.Short) << c.Version;
}

TEST(VersionLabelText, TranslationNameIsEightLowerCaseHexDigits) {
    EXPECT_EQ(LangCharsetText(0x0409, 0x04E4), "040904e4");
    EXPECT_EQ(LangCharsetText(0xFFFF, 0x0000), "ffff0000");
}

TEST(VersionLabelText, NumberPictures) {
    TFormatSettings german;
    german.ThousandSeparator = ".";
    german.DecimalSeparator = ",";
    const TFormatSettings english;
    const struct {
        const char* Picture;
        long long Value;
        const TFormatSettings* Settings;
        const char* Text;
    } cases[] = {
        {"#,#0\" Bytes\"", 0, &english, "0 Bytes"},
        {"#,#0\" Bytes\"", 999, &english, "999 Bytes"},
        {"#,#0\" Bytes\"", 1000, &english, "1,000 Bytes"},
        {"#,#0\" Bytes\"", 1234567, &german, "1.234.567 Bytes"},
        {"#,#0\" Bytes\"", 9223372036854775807LL, &english, "9,223,372,036,854,775,807 Bytes"},
        {"#,#0", -1234, &english, "-1,234"},
        {"0", -9223372036854775807LL - 1, &english, "-9223372036854775808"},
        {"000", 7, &english, "007"},
        {"#", 0, &english, ""},
        {"#.##", 5, &english, "5"},
        {"0.00", 5, &german, "5,00"},
        {"0-00", 12345, &english, "123-45"},
        {"'#'0", 3, &english, "#3"},
        {"0 \"open", 3, &english, "3 open"},
        {"0;(0);zero", -5, &english, "(5)"},
        {"0;(0);zero", 0, &english, "zero"},
        {"0;;", -5, &english, "-5"},
        {"size", 42, &english, "size"},
        {"", 42, &english, ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FormatNumber(c.Picture, c.Value, *c.Settings), c.Text) << c.Picture << " " << c.Value;
}

TEST(VersionLabelText, DateTimePictures) {
    TDateTimeFields morning;  // Thursday, 5 March 2026, 09:07:03.045
    morning.Year = 2026;
    morning.Month = 3;
    morning.Day = 5;
    morning.DayOfWeek = 4;
    morning.Hour = 9;
    morning.Minute = 7;
    morning.Second = 3;
    morning.Millisecond = 45;
    TDateTimeFields evening = morning;
    evening.Hour = 21;
    TDateTimeFields midnight = morning;
    midnight.Hour = midnight.Minute = midnight.Second = midnight.Millisecond = 0;

    TFormatSettings dotted;
    dotted.DateSeparator = ".";
    dotted.TimeSeparator = ".";
    // A locale whose short date names itself must not recurse for ever.
    TFormatSettings looping;
    looping.ShortDateFormat = "ddddd";
    const TFormatSettings english;
    const struct {
        const char* Picture;
        const TDateTimeFields* When;
        const TFormatSettings* Settings;
        const char* Text;
    } cases[] = {
        {"M/d/yyyy", &morning, &english, "3/5/2026"},
        {"MM/dd/yy", &morning, &english, "03/05/26"},
        {"M/d/yyyy", &morning, &dotted, "3.5.2026"},
        {"ddd, mmm d", &morning, &english, "Thu, Mar 5"},
        {"dddd d MMMM", &morning, &english, "Thursday 5 March"},
        {"h:mm:ss", &morning, &english, "9:07:03"},
        {"hh:nn", &evening, &english, "21:07"},
        {"h:mm am/pm", &evening, &english, "9:07 pm"},
        {"h:mm AM/PM", &morning, &english, "9:07 AM"},
        {"h a/p", &midnight, &english, "12 a"},
        {"hh ampm", &evening, &english, "09 PM"},
        {"s.z zzz", &morning, &english, "3.45 045"},
        {"\"day\" d 'of' m", &morning, &english, "day 5 of 3"},
        {"ddddd", &morning, &english, "3/5/2026"},
        {"dddddd", &morning, &english, "Thursday, March 5, 2026"},
        {"c", &midnight, &english, "3/5/2026"},
        {"c", &evening, &english, "3/5/2026 9:07:03 PM"},
        {"t", &morning, &english, "9:07 AM"},
        {"hh:mm", &morning, &dotted, "09.07"},
        {"ddddd", &morning, &looping, ""},
        {"x q", &morning, &english, "x q"},
        {"'open", &morning, &english, "open"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FormatDateTime(c.Picture, *c.When, *c.Settings), c.Text) << c.Picture;
}

}  // namespace
