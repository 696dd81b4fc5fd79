// The portable rules of the platform layer: profile-file typed reads and spin-edit ranges.
#include <gtest/gtest.h>

#include "ui/IniFiles.h"
#include "ui/SpinRange.h"

namespace {
TEST(SpinRange, ClampPullsValuesToTheNearestEnd) {
    TSpinRange r{30, 1000};
    EXPECT_EQ(r.Clamp(29), 30);
    EXPECT_EQ(r.Clamp(30), 30);
    EXPECT_EQ(r.Clamp(500), 500);
    EXPECT_EQ(r.Clamp(1000), 1000);
    EXPECT_EQ(r.Clamp(1001), 1000);
    EXPECT_EQ(r.Clamp(-2147483647 - 1), 30);
}

TEST(SpinRange, TextThatIsNotANumberReadsAsTheMinimum) {
    TSpinRange r{5, 5120};
    EXPECT_EQ(r.ValueFromText(""), 5);
    EXPECT_EQ(r.ValueFromText("abc"), 5);
    EXPECT_EQ(r.ValueFromText("12 min"), 5);
    EXPECT_EQ(r.ValueFromText(" 40 "), 40);
    EXPECT_EQ(r.ValueFromText("99999"), 5120);
    EXPECT_EQ(r.ValueFromText("0x20"), 32);
    EXPECT_EQ(r.ValueFromText("99999999999999"), 5);
}

TEST(MemIniFile, LookupsIgnoreCaseAndKeepTheFirstSpelling) {
    TMemIniFile ini;
    ini.WriteString("Settings", "ProxyPort", "8080");
    ini.WriteString("SETTINGS", "proxyport", "3128");
    EXPECT_EQ(ini.ReadString("settings", "PROXYPORT", ""), "3128");
    std::vector<std::string> keys;
    ini.ReadSection("Settings", keys);
    ASSERT_EQ(keys.size(), 1u);
    EXPECT_EQ(keys[0], "ProxyPort");
    std::vector<std::string> sections;
    ini.ReadSections(sections);
    EXPECT_EQ(sections, std::vector<std::string>{"Settings"});
}

TEST(MemIniFile, TypedReadsFollowTheFileConventions) {
    TMemIniFile ini;
    ini.WriteInteger("S", "A", -12);
    ini.WriteBool("S", "B", true);
    ini.WriteString("S", "C", "0x7FFFFFFF");
    ini.WriteString("S", "D", "ten");
    EXPECT_EQ(ini.ReadString("S", "A", ""), "-12");
    EXPECT_EQ(ini.ReadString("S", "B", ""), "1");
    EXPECT_EQ(ini.ReadInteger("S", "C", 0), 2147483647);
    EXPECT_EQ(ini.ReadInteger("S", "D", 9), 9);
    EXPECT_TRUE(ini.ReadBool("S", "D", true));
    EXPECT_FALSE(ini.ReadBool("S", "missing", false));
    EXPECT_TRUE(ini.ValueExists("S", "a"));
    EXPECT_FALSE(ini.ValueExists("T", "A"));
}

TEST(MemIniFile, ReadOnlyWritesFailWithTheFileName) {
    TMemIniFile ini("x.ini");
    ini.ReadOnly = true;
    EXPECT_THROW(ini.WriteString("S", "A", "1"), EIniFileException);
    EXPECT_FALSE(ini.ValueExists("S", "A"));
}
}  // namespace
