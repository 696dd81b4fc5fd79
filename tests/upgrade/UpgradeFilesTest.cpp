// Where update files land, the whole update's percentage, the size test and the agent's
// command line.
#include <gtest/gtest.h>

#include "upgrade/UpgradeFiles.h"

TEST(UpdateFileNameTest, LastPathSegmentOnly) {
    const std::pair<const char*, const char*> good[] = {
        {"http://dl.example/downloads/pelorin.exe", "pelorin.exe"},
        {"http://dl.example/a/b/Data.DLL?v=2#top", "Data.DLL"},
        {"http://dl.example/a\\b\\c.txt", "c.txt"},
        {"file:///C:/x/y.bin", "y.bin"},
        {"plain.exe", "plain.exe"},
    };
    for (const auto& c : good) {
        std::string name;
        EXPECT_TRUE(UpdateFileName(c.first, name)) << c.first;
        EXPECT_EQ(name, c.second);
    }
    for (const char* bad :
         {"http://dl.example/", "http://dl.example/a/.", "http://dl.example/a/..", "http://dl.example/a/..?x",
          "", "http://dl.example/c:x.exe", "http://dl.example/a\x01.exe"}) {
        std::string name = "kept";
        EXPECT_FALSE(UpdateFileName(bad, name)) << bad;
        EXPECT_EQ(name, "kept");
    }
}

TEST(UpdateFileNameTest, TargetBesideTheProgram) {
    EXPECT_EQ(UpdateTargetPath("C:\\Program Files\\Pelorin\\", "a.exe"),
              "C:\\Program Files\\Pelorin\\a.exe.uTMP");
    EXPECT_EQ(UpdateTargetPath("C:\\P", "a.exe"), "C:\\P\\a.exe.uTMP");
}

TEST(TotalPercentsTest, EachFileIsItsShare) {
    const struct {
        int index, count, percent, total;
    } cases[] = {
        {0, 1, 50, 50}, {0, 2, 100, 50}, {1, 2, 0, 50}, {1, 2, 99, 99}, {1, 8, 0, 12},  // 12.5 rounds to even
        {3, 8, 0, 38},                                                                  // 37.5 rounds to even
        {2, 3, 50, 83}, {0, 0, 50, 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(TotalPercentsDone(c.index, c.count, c.percent), c.total) << c.index << " of " << c.count;
}

TEST(SizeTestTest, SkipsOnlyAnOtherFileOfTheSameSize) {
    const struct {
        int files;
        int64_t length;
        const char* name;
        int64_t existing;
        bool downloads;
    } cases[] = {
        {2, 100, "data.dll", 100, false}, {2, 100, "data.dll", 99, true}, {2, 100, "data.dll", -1, true},
        {1, 100, "data.dll", 100, true},  {2, 0, "data.dll", 100, true},  {2, 100, "PELORIN.EXE", 100, true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(SizeTestDownloads(c.files, c.length, c.name, "pelorin.exe", c.existing), c.downloads)
            << c.files << " " << c.name << " " << c.existing;
}

TEST(AgentCommandLineTest, EveryPathIsQuoted) {
    EXPECT_EQ(AgentCommandLine("C:\\Temp\\Zodizize3.exe", "C:\\Program Files\\Pelorin\\Pelorin.exe",
                               RestartParameter("/afterupgrade", 0)),
              "\"C:\\Temp\\Zodizize3.exe\" \"C:\\Program Files\\Pelorin\\Pelorin.exe\" +/afterupgrade0");
    const std::pair<const char*, const char*> args[] = {{"a b", "\"a b\""},
                                                        {"C:\\dir\\", "\"C:\\dir\\\\\""},
                                                        {"say \"hi\"", "\"say \\\"hi\\\"\""},
                                                        {"", "\"\""}};
    for (const auto& a : args)
        EXPECT_EQ(QuoteArgument(a.first), a.second);
}
