// The settings file side of the options form: defaults, key order, number formats,
// clamping, password scrambling and the failures the save must survive.
#include <gtest/gtest.h>

#include "app/Settings.h"

namespace {
const std::string S = "Settings";

TEST(SettingsRead, MissingFileGivesTheFirstStartDefaults) {
    TMemIniFile ini;
    TSettings s = ReadSettings(ini);
    EXPECT_TRUE(s.LastAdditions);
    EXPECT_FALSE(s.Top10);
    EXPECT_EQ(s.ID, "00");
    EXPECT_EQ(s.Refresh, 30);
    EXPECT_EQ(s.Duration, 20);
    EXPECT_EQ(s.ProxyPort, "8080");
    EXPECT_EQ(s.ProxyServer, "");
    EXPECT_EQ(s.ProxyName, "");
    EXPECT_EQ(s.ProxyPass, "");
    EXPECT_FALSE(s.ProxyUse);
    EXPECT_FALSE(s.ProxyAuth);
    EXPECT_FALSE(s.OnlyNewItems);
}

TEST(SettingsRead, BooleansAreIntegersAndGarbageReadsAsTheDefault) {
    TMemIniFile ini;
    ini.WriteString(S, "LastAdditions", "0");
    ini.WriteString(S, "Top10", "7");
    ini.WriteString(S, "ProxyUse", "yes");    // not a number: default 0
    ini.WriteString(S, "ProxyAuth", "0x10");  // hexadecimal, not zero
    TSettings s = ReadSettings(ini);
    EXPECT_FALSE(s.LastAdditions);
    EXPECT_TRUE(s.Top10);
    EXPECT_FALSE(s.ProxyUse);
    EXPECT_TRUE(s.ProxyAuth);

    TMemIniFile junk;
    junk.WriteString(S, "LastAdditions", "true");
    junk.WriteString(S, "Top10", "");
    TSettings d = ReadSettings(junk);
    EXPECT_TRUE(d.LastAdditions);
    EXPECT_FALSE(d.Top10);
}

TEST(SettingsRead, IntegersAcceptHexadecimalAndAreClampedIntoTheSpinRanges) {
    TMemIniFile ini;
    ini.WriteString(S, "Refresh", "0X3C");
    ini.WriteString(S, "Duration", "0x1e");
    EXPECT_EQ(ReadSettings(ini).Refresh, 60);
    EXPECT_EQ(ReadSettings(ini).Duration, 30);

    ini.WriteString(S, "Refresh", "5");
    ini.WriteString(S, "Duration", "9999");
    EXPECT_EQ(ReadSettings(ini).Refresh, 30);
    EXPECT_EQ(ReadSettings(ini).Duration, 5120);

    ini.WriteString(S, "Refresh", "-40000000000");  // overflows: the default
    ini.WriteString(S, "Duration", "12abc");
    EXPECT_EQ(ReadSettings(ini).Refresh, 30);
    EXPECT_EQ(ReadSettings(ini).Duration, 20);
}

TEST(SettingsWrite, KeysAreWrittenInTheFilesOrder) {
    TMemIniFile ini;
    TSettings s;
    WriteSettings(ini, s);
    std::vector<std::string> expected = {
        "Settings/LastAdditions", "Settings/Top10",    "Settings/ID",        "Settings/ProxyServer",
        "Settings/Refresh",       "Settings/Duration", "Settings/ProxyPort", "Settings/ProxyName",
        "Settings/ProxyPass",     "Settings/ProxyUse", "Settings/ProxyAuth", "Settings/OnlyNewItems"};
    EXPECT_EQ(ini.WriteLog, expected);
    EXPECT_EQ(ini.ReadString(S, "LastAdditions", ""), "1");
    EXPECT_EQ(ini.ReadString(S, "Top10", ""), "0");
    EXPECT_EQ(ini.ReadString(S, "ProxyUse", ""), "0");
}

TEST(SettingsWrite, WhatIsWrittenReadsBackTheSame) {
    TMemIniFile ini;
    TSettings s;
    s.LastAdditions = false;
    s.Top10 = true;
    s.ID = "C3";
    s.ProxyServer = "proxy.lan";
    s.Refresh = 45;
    s.Duration = 5120;
    s.ProxyPort = "3128";
    s.ProxyName = "anna";
    s.ProxyPass = "s3cr\xE9t pass";
    s.ProxyUse = true;
    s.ProxyAuth = true;
    s.OnlyNewItems = true;
    WriteSettings(ini, s);
    TSettings r = ReadSettings(ini);
    EXPECT_EQ(r.LastAdditions, s.LastAdditions);
    EXPECT_EQ(r.Top10, s.Top10);
    EXPECT_EQ(r.ID, s.ID);
    EXPECT_EQ(r.ProxyServer, s.ProxyServer);
    EXPECT_EQ(r.Refresh, s.Refresh);
    EXPECT_EQ(r.Duration, s.Duration);
    EXPECT_EQ(r.ProxyPort, s.ProxyPort);
    EXPECT_EQ(r.ProxyName, s.ProxyName);
    EXPECT_EQ(r.ProxyPass, s.ProxyPass);
    EXPECT_EQ(r.ProxyUse, s.ProxyUse);
    EXPECT_EQ(r.ProxyAuth, s.ProxyAuth);
    EXPECT_EQ(r.OnlyNewItems, s.OnlyNewItems);
}

TEST(SettingsWrite, NoCategorySelectedKeepsTheSavedID) {
    TMemIniFile ini;
    ini.WriteString(S, "ID", "42");
    ini.WriteLog.clear();
    TSettings s;
    s.HasID = false;
    s.ID = "";
    WriteSettings(ini, s);
    EXPECT_EQ(ini.ReadString(S, "ID", ""), "42");
    for (const std::string& k : ini.WriteLog)
        EXPECT_NE(k, "Settings/ID");
}

TEST(SettingsWrite, AFailedWriteStopsWithTheFilesNameInTheMessage) {
    TMemIniFile ini("C:\\Pelorin\\settings.ini");
    ini.ReadOnly = true;
    try {
        WriteSettings(ini, TSettings());
        FAIL() << "the save reported success";
    } catch (const EIniFileException& e) {
        EXPECT_STREQ(e.what(), "Unable to write to C:\\Pelorin\\settings.ini");
    }
}

TEST(SettingsWrite, AValueTheFileCannotHoldIsRefusedNamingTheFieldAndItsCharacters) {
    struct Case {
        std::string TSettings::*Field;
        std::string Value;
        const char* Named;               // a word of the field's name in the message
        std::vector<const char*> Codes;  // the characters it names
    };
    const Case cases[] = {
        {&TSettings::ProxyServer, "proxy\r\nlan", "server", {"0x0D", "0x0A"}},
        {&TSettings::ProxyPort, "80\n", "port", {"0x0A"}},
        {&TSettings::ProxyName, "an\rna", "name", {"0x0D"}},
        {&TSettings::ID, std::string("C1") + '\0', "category", {"0x00"}},
        // Scrambled, 0xFF becomes a zero byte, 0xF2 and 0xF5 a line break.
        {&TSettings::ProxyPass, "a\xFF", "password", {"0xFF"}},
        {&TSettings::ProxyPass, "\xF2x\xF5\xF2", "password", {"0xF2", "0xF5"}},
    };
    for (const Case& c : cases) {
        TMemIniFile ini;
        TSettings s;
        s.*c.Field = c.Value;
        try {
            WriteSettings(ini, s);
            ADD_FAILURE() << c.Named << ": the save reported success";
        } catch (const Exception& e) {
            std::string m = e.what();
            EXPECT_NE(m.find(c.Named), std::string::npos) << m;
            for (const char* code : c.Codes)
                EXPECT_NE(m.find(code), std::string::npos) << m;
        }
        EXPECT_TRUE(ini.WriteLog.empty()) << c.Named << ": keys were written before the refusal";
    }
}

TEST(PasswordScrambling, EachByteIsComplementedAndTheOperationIsItsOwnInverse) {
    EXPECT_EQ(ScramblePassword("abc"), "\x9E\x9D\x9C");
    EXPECT_EQ(ScramblePassword(""), "");
    std::string all;
    for (int i = 0; i < 256; ++i)
        all += static_cast<char>(i);
    std::string once = ScramblePassword(all);
    EXPECT_EQ(once.size(), all.size());
    EXPECT_EQ(static_cast<unsigned char>(once[0]), 255);
    EXPECT_EQ(ScramblePassword(once), all);
}

TEST(PasswordScrambling, StoredFormIsQuotedOnlyWhenTheFileWouldTrimOrUnquoteIt) {
    EXPECT_EQ(PasswordToIni("abc"), "\x9E\x9D\x9C");
    // 0xDF scrambles to a blank, 0xDD to a double quote, 0xD8 to a single quote.
    EXPECT_EQ(PasswordToIni("\xDF"
                            "a"),
              "\" \x9E\"");
    EXPECT_EQ(PasswordToIni("a\xDF"), "\"\x9E \"");
    EXPECT_EQ(PasswordToIni("\xDD"
                            "a\xDD"),
              "\"\"\x9E\"\"");
    EXPECT_EQ(PasswordToIni("\xD8"), "\"'\"");
    EXPECT_EQ(PasswordToIni("\xDD"
                            "a\xD8"),
              "\"\x9E'");  // different quotes stay as they are
    EXPECT_EQ(PasswordToIni(""), "");
}

TEST(SettingsWrite, TheProxyUserNameIsQuotedWhenTheFileWouldTrimOrUnquoteIt) {
    EXPECT_EQ(QuoteForIni("anna"), "anna");
    EXPECT_EQ(QuoteForIni(" anna"), "\" anna\"");
    EXPECT_EQ(QuoteForIni("anna\t"), "\"anna\t\"");
    EXPECT_EQ(QuoteForIni("'anna'"), "\"'anna'\"");
    EXPECT_EQ(QuoteForIni("\"anna"), "\"anna");
    EXPECT_EQ(QuoteForIni(""), "");
    TMemIniFile ini;
    TSettings s;
    s.ProxyName = "anna ";
    WriteSettings(ini, s);
    EXPECT_EQ(ini.ReadString(S, "ProxyName", ""), "\"anna \"");
}

TEST(RunValue, IsThePathQuotedOnlyWhenItHoldsABlank) {
    EXPECT_EQ(RunCommandLine("C:\\Pelorin\\Pelorin.exe"), "C:\\Pelorin\\Pelorin.exe");
    EXPECT_EQ(RunCommandLine("C:\\Program Files\\Pelorin\\Pelorin.exe"),
              "\"C:\\Program Files\\Pelorin\\Pelorin.exe\"");
}

TEST(TimerIntervals, ComeFromTheClampedSpinValues) {
    EXPECT_EQ(PopupIntervalMs(20), 20000u);
    EXPECT_EQ(PopupIntervalMs(1), 5000u);
    EXPECT_EQ(RefreshIntervalMs(30), 1800000u);
    EXPECT_EQ(RefreshIntervalMs(1000), 60000000u);
    EXPECT_EQ(RefreshIntervalMs(5000), 60000000u);
}
}  // namespace
