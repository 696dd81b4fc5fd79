// The settings through the real profile functions: what the file trims, unquotes or cuts
// must not change a proxy user name or password on its way to the file and back.
#include <gtest/gtest.h>

#include <windows.h>

#include "app/Settings.h"
#include "ui/IniFiles_win.h"

#include "tests/support/WinTestApp_win.h"

namespace {

TEST(SettingsFile, AwkwardNamesAndPasswordsComeBackAsTyped) {
    // Texts as the file would hold them: quotes and blanks at the ends, comment and section
    // marks, the separator, characters the file trims.
    const char* const stored[] = {"\"quoted\"", "'single'", "\"",       "'",       "\"'",         "\"\"",
                                  " lead",      "trail ",   "\tboth\t", " ",       ";semi",       "semi;",
                                  "a;b",        "[sect]",   "=",        "k=v",     "\" blank \"", "\x1A",
                                  "x\xA0",      "\xA0x",    "\\",       "\"a\"b\""};
    std::string path = wintest::FreshTempPath("pelorin_settings_file.ini");
    TIniFile ini(path);
    for (const std::string text : stored) {
        // The name is stored as typed, the password scrambled: each meets the text in the file
        // once, and the password also as typed.
        for (const std::string& pass : {ScramblePassword(text), text}) {
            TSettings s;
            s.ProxyName = text;
            s.ProxyPass = pass;
            WriteSettings(ini, s);
            TSettings r = ReadSettings(ini);
            EXPECT_EQ(r.ProxyName, text);
            EXPECT_EQ(r.ProxyPass, pass) << "stored as " << text;
        }
    }
    DeleteFileA(path.c_str());
}

}  // namespace
