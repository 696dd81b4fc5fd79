// The update's files on disk under Wine: the clean-up of ".uTMP" files, their times, and
// writing and starting the agent the program carries.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "tests/support/TestFiles.h"
#include "upgrade/UpgradeFiles.h"
#include "upgrade/UpgradeFiles_win.h"
#include "upgrade/agent/AgentFiles_win.h"

namespace {
void WriteFile(const std::string& Path, const std::string& Text, DWORD Attributes = FILE_ATTRIBUTE_NORMAL) {
    std::ofstream(Path, std::ios::binary) << Text;
    SetFileAttributesA(Path.c_str(), Attributes);
}

bool Exists(const std::string& Path) { return GetFileAttributesA(Path.c_str()) != INVALID_FILE_ATTRIBUTES; }

struct UpgradeFilesTest : ::testing::Test {
    void SetUp() override {
        char temp[MAX_PATH];
        GetTempPathA(MAX_PATH, temp);
        folder = std::string(temp) + "pelorin upgrade files\\";
        CreateDirectoryA(folder.c_str(), nullptr);
    }
    void TearDown() override {
        for (const char* name : {"a.exe.uTMP", "b.dll.uTMP", "keep.txt", "keep.uTMP.txt", "a.exe"}) {
            SetFileAttributesA((folder + name).c_str(), FILE_ATTRIBUTE_NORMAL);
            DeleteFileA((folder + name).c_str());
        }
        RemoveDirectoryA(folder.c_str());
    }
    std::string folder;
};
}  // namespace

TEST_F(UpgradeFilesTest, CleanUpTakesEveryUpdateFileAndNothingElse) {
    WriteFile(folder + "a.exe.uTMP", "new", FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_TEMPORARY);
    WriteFile(folder + "b.dll.uTMP", "new", FILE_ATTRIBUTE_READONLY);
    WriteFile(folder + "keep.txt", "mine");
    WriteFile(folder + "keep.uTMP.txt", "mine");
    EXPECT_EQ(DeleteUpdateFiles(folder), 2);
    EXPECT_FALSE(Exists(folder + "a.exe.uTMP"));
    EXPECT_FALSE(Exists(folder + "b.dll.uTMP"));
    EXPECT_TRUE(Exists(folder + "keep.txt"));
    EXPECT_TRUE(Exists(folder + "keep.uTMP.txt"));
    EXPECT_EQ(DeleteUpdateFiles(folder + "none\\"), 0);
}

TEST_F(UpgradeFilesTest, FileTimesTakeTheServersDate) {
    const std::string path = folder + "a.exe.uTMP";
    WriteFile(path, "new");
    const double when = 38566.5;  // 2005-08-02 12:00, local
    ASSERT_TRUE(SetUpdateFileTime(path, when));
    WIN32_FILE_ATTRIBUTE_DATA data;
    ASSERT_TRUE(GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data));
    for (const FILETIME& utc : {data.ftCreationTime, data.ftLastWriteTime}) {
        FILETIME local;
        SYSTEMTIME t;
        FileTimeToLocalFileTime(&utc, &local);
        FileTimeToSystemTime(&local, &t);
        EXPECT_EQ(t.wYear * 10000 + t.wMonth * 100 + t.wDay, 20050802);
        EXPECT_EQ(t.wHour, 12);
    }
    EXPECT_FALSE(SetUpdateFileTime(path, 0));
    EXPECT_FALSE(SetUpdateFileTime(folder + "none", when));
}

TEST_F(UpgradeFilesTest, AgentIsWrittenFromTheResourceAndStarted) {
    EXPECT_NE(AgentPath().find("Zodizize3.exe"), std::string::npos);
    const std::string agent = folder + "a.exe";
    ASSERT_TRUE(WriteAgent(agent));
    EXPECT_EQ(ReadWholeFile(agent), ReadWholeFile(EnvPath("PELORIN_UPGRADE_KEYS", "signed-sample.inf")));
    EXPECT_FALSE(WriteAgent(folder + "no such folder\\a.exe"));

    // A quoted program, whose output path has blanks, starts; a missing program does not.
    const std::string done = folder + "keep.txt";
    TWinAgentFiles files;
    EXPECT_TRUE(files.Start(
        QuotedCommandLine("C:\\windows\\system32\\cmd.exe", "/c echo started> \"" + done + "\"")));
    for (int i = 0; i < 100 && ReadWholeFile(done).find("started") == std::string::npos; ++i)
        Sleep(100);
    EXPECT_NE(ReadWholeFile(done).find("started"), std::string::npos);
    EXPECT_FALSE(files.Start(QuotedCommandLine(folder + "missing.exe", "")));
}
