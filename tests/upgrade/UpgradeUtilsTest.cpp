// The information file's key lookup, the byNumber and byDate comparisons and the progress
// figures.
#include <gtest/gtest.h>

#include <climits>

#include "upgrade/UpgradeUtils.h"

TEST(InfoTextTest, KeyLookup) {
    const struct {
        const char *text, *key, *value;
    } cases[] = {
        {"#version=1.2.0.0\r\n#url=http://A/x.exe\n", "url", "http://A/x.exe"},
        {"#URL=http://Host/File.EXE\r", "url", "http://Host/File.EXE"},  // any case, value kept
        {"#version=1.2\n", "VERSION", "1.2"},
        {"#date=01/02/2005\n#date=03/04/2006\n", "date", "01/02/2005"},  // the first wins
        {"#version= 1.2 \tafter tab", "version", " 1.2 "},               // not trimmed
        {"#method=2", "method", "2"},                                    // to the end of the text
        {"#url1=a\n", "url", ""},
        {"#urlx=a #url=b\n", "url", "b"},
        {"#title=caf\xe9 \xfc\x01rest", "title", "caf\xe9 \xfc"},  // bytes above 127 are text
        {"#version=\n#version=2", "version", ""},
        {"", "version", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(TInfoText(c.text).Value(c.key), c.value) << c.text;
}

TEST(InfoTextTest, Message) {
    const std::pair<const char*, const char*> cases[] = {
        {"#message={Line one\r\nLine Two}\n#method=0", "Line one\r\nLine Two"},
        {"#MESSAGE={}\n", ""},
        {"#message={a}b}", "a"},
        {"#message={unclosed\nrest", "unclosed\nrest"},
        {"#message=plain\ntext", "plain"},
        {"#message=", ""},
        {"#method=0\n", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(TInfoText(c.first).Message(), c.second) << c.first;
}

TEST(VersionCompareTest, ByNumber) {
    const struct {
        const char *a, *b;
        bool newer;
    } cases[] = {
        {"1.2", "1.2.0.0", false},    {"1.2.0.0", "1.2", false},
        {"1.10", "1.9", true},  // numeric parts, not text
        {"1.9", "1.10", false},       {"2", "1.9.9.9", true},
        {"1.2.3.5", "1.2.3.4", true}, {"1.2.3.4.9", "1.2.3.4", false},  // parts after the fourth are ignored
        {"1.2b", "1.2a", true},                                         // not numbers: the strings decide
        {"1.2a", "1.2b", false},      {"1..2", "1.0.2", false},         // an empty part is no number
        {"", "0.0.0.0", false},                                         // no version key
        {"1.0.0.0", "", true},        {"1.-1", "1.-2", false},          // -1 means "no number" too
        {"1.2\xe9", "1.2", false},  // a byte difference of 128 or more reads as negative
    };
    for (const auto& c : cases)
        EXPECT_EQ(IsNewerNumber(c.a, c.b), c.newer) << c.a << " against " << c.b;
}

TEST(VersionCompareTest, ByDate) {
    const TVersionDate today{2026, 12, 8};
    const struct {
        const char *info, *version;
        bool newer;
    } cases[] = {
        {"08/03/2005", "08/02/2005", true},
        {"08/02/2005", "08/02/2005", false},
        {"08/01/2005", "08/02/2005", false},
        {"01/01/2006", "12/31/2005", true},   // year first, whatever the text order
        {"02/29/2024", "02/28/2024", true},   // a leap day
        {"02/29/2025", "08/02/2005", true},   // no such day: today
        {"", "08/02/2005", true},             // no date key: today
        {"12/08/2026", "13/01/2020", false},  // no such month: today, which is not earlier
        {"12/31/2030", "garbage", true},
        {"01/01/2020", "12/08", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(IsNewerDate(c.info, c.version, today), c.newer) << c.info << " against " << c.version;
    TVersionDate d{};
    ASSERT_TRUE(ParseVersionDate(FormatVersionDate({2005, 8, 2}), d));
    EXPECT_EQ(FormatVersionDate(d), "08/02/2005");
}

TEST(ProgressTest, Figures) {
    const struct {
        int64_t bytes, total;
        uint32_t start, now;
        int percent, left, elapsed;
        float rate;
    } cases[] = {
        {512, 1024, 0, 2000, 50, 2, 2, 0.25f},
        {1, 200, 0, 999, 0, 0, 0, 1 / 1024.f},                // 0.5 % rounds to even; under a second
        {3, 200, 0, 999, 2, 0, 0, 3 / 1024.f},                // 1.5 % rounds to even
        {2048, 0, 5000, 9000, 0, 0, 4, 0.5f},                 // no length announced
        {3000, 1000, 0, 3000, 100, 0, 3, 3000 / 1024.f / 3},  // more than announced
        {1024, 4096, 0xFFFFF000u, 4000, 25, 24, 8, 0.125f},   // the tick counter wrapped
        {1, int64_t(1) << 40, 0, 1000000, 0, INT_MAX, 1000, 1 / 1024.f / 1000},
    };
    for (const auto& c : cases) {
        const TProgressFigures f = ProgressFigures(c.bytes, c.total, c.start, c.now);
        EXPECT_EQ(f.PercentsDone, c.percent) << c.bytes << " of " << c.total;
        EXPECT_EQ(f.EstimatedTimeLeft, c.left) << c.bytes << " of " << c.total;
        EXPECT_EQ(f.ElapsedTime, c.elapsed) << c.bytes << " of " << c.total;
        EXPECT_FLOAT_EQ(f.TransferRate, c.rate) << c.bytes << " of " << c.total;
    }
}

TEST(HexTest, ToBytes) {
    std::string bytes;
    EXPECT_TRUE(HexToBytes("00fFA1", bytes));
    EXPECT_EQ(bytes, std::string("\x00\xff\xa1", 3));
    for (const char* bad : {"abc", "0g", " 00", "0x"})
        EXPECT_FALSE(HexToBytes(bad, bytes)) << bad;
}

TEST(BrowserCommandTest, ProgramOfTheOpenCommand) {
    const std::pair<const char*, const char*> cases[] = {
        {"\"C:\\Program Files\\Web\\web.exe\" -nohome \"%1\"", "C:\\Program Files\\Web\\web.exe"},
        {"\"C:\\Unclosed\\web.exe -x", "C:\\Unclosed\\web.exe -x"},
        {"C:\\Web\\web.exe -nohome", "C:\\Web\\web.exe"},
        {"C:\\Web\\web.exe /url %1", "C:\\Web\\web.exe"},
        {"C:\\Web\\web.exe \\\\server", "C:\\Web\\web.exe"},
        {"C:\\Web\\web.exe,1", "C:\\Web\\web.exe"},
        {"C:\\Web\\web.exe %1", "C:\\Web\\web.exe"},
        {"C:\\My Web\\web.exe -a /b", "C:\\My Web\\web.exe"},  // the first separator wins
        {"rundll32.exe url.dll,FileProtocolHandler %1", "rundll32.exe"},
        {"C:\\Windows\\RunDll32.EXE C:\\x\\shdocvw.DLL,OpenURL %l", "C:\\Windows\\RunDll32.EXE"},
        {"  C:\\Web\\web.exe  ", "C:\\Web\\web.exe"},
        {"rundll32.exe", "rundll32.exe"},
        {"", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(BrowserProgram(c.first), c.second) << c.first;
}

TEST(QuestionTextTest, TitleAndMessageInTheirPlaces) {
    const struct {
        const char *pattern, *message, *text;
    } cases[] = {
        {"New %s.\n%s\nUpdate?", "Fixes", "New App.\n\nFixes\n\nUpdate?"},
        {"New %s.\n%s\nUpdate?", "", "New App.\nUpdate?"},  // no blank line for no message
        {"New %s.\n%s\nUpdate?", "two\nlines", "New App.\n\ntwo\nlines\n\nUpdate?"},
        {"%s %s", "100% %s", "App \n100% %s\n"},  // arguments are not patterns
        {"%s 50%% %d %s %s", "m", "App 50% %d \nm\n %s"},
        {"end %", "m", "end %"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(UpgradeQuestionText(c.pattern, "App", c.message), c.text) << c.pattern;
}
