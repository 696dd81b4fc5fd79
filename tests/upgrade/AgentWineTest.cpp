// The upgrade agent under Wine, written out of the resource the program carries, working on
// a folder whose path has a blank: a stand-in program (built as "old" and "new") is replaced
// and restarted with its parameter, a held file makes the agent roll back, a program that
// never exits makes it give up, and a setup program runs before the program returns.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/TestFiles.h"
#include "upgrade/agent/AgentPlan.h"

namespace {

bool WriteFile(const std::string& Path, const std::string& Bytes) {
    std::ofstream out(Path, std::ios::binary | std::ios::trunc);
    out << Bytes;
    return static_cast<bool>(out);
}

std::string ModuleFolder() {
    char path[MAX_PATH];
    const DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
    const std::string s(path, n);
    return s.substr(0, s.find_last_of('\\') + 1);
}

std::string TempFolder() {
    char dir[MAX_PATH];
    GetTempPathA(MAX_PATH, dir);
    return dir;
}

// An open handle, closed when the test is done with it.
struct Held {
    explicit Held(HANDLE H) : h(H) {}
    ~Held() {
        if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
    }
    HANDLE h;
};

class AgentWineTest : public ::testing::Test {
protected:
    void SetUp() override {
        const std::string tag = std::to_string(GetCurrentProcessId());
        agent = TempFolder() + "pelorin_agent_" + tag + ".exe";
        HRSRC res = FindResourceA(nullptr, "UPDAGENT", "UPDAGENT");
        ASSERT_NE(res, nullptr) << "the agent is not among the resources";
        const char* bytes = static_cast<const char*>(LockResource(LoadResource(nullptr, res)));
        ASSERT_TRUE(WriteFile(agent, std::string(bytes, SizeofResource(nullptr, res))));
        dir = TempFolder() + "pelorin agent " + tag + "\\";
        exe = dir + "Fake Program.exe";
        ASSERT_TRUE(CreateDirectoryA(dir.c_str(), nullptr));
    }
    void TearDown() override {
        Empty();
        RemoveDirectoryA(dir.c_str());
        DeleteFileA(agent.c_str());
        SetEnvironmentVariableA(kAgentWaitVariable, nullptr);
    }

    // Names in the folder, sorted.
    std::vector<std::string> Names() {
        std::vector<std::string> names;
        WIN32_FIND_DATAA found;
        HANDLE h = FindFirstFileA((dir + "*").c_str(), &found);
        if (h == INVALID_HANDLE_VALUE) return names;
        do {
            const std::string name = found.cFileName;
            if (name != "." && name != "..") names.push_back(name);
        } while (FindNextFileA(h, &found));
        FindClose(h);
        std::sort(names.begin(), names.end());
        return names;
    }
    // A stand-in that has just written its line may still be running, holding its file.
    void Empty() {
        for (int i = 0; i < 50 && !Names().empty(); ++i) {
            for (const std::string& name : Names()) {
                SetFileAttributesA((dir + name).c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileA((dir + name).c_str());
            }
            if (!Names().empty()) Sleep(100);
        }
    }
    void PutFake(const char* Version, const std::string& Name) {
        ASSERT_TRUE(CopyFileA((ModuleFolder() + "agent_fake_" + Version + ".exe").c_str(),
                              (dir + Name).c_str(), FALSE));
    }
    std::string Fake(const char* Version) {
        return ReadWholeFile(ModuleFolder() + "agent_fake_" + Version + ".exe");
    }

    // Starts a command line; the process handle, or null.
    static HANDLE Launch(std::string Line, DWORD* Id = nullptr) {
        STARTUPINFOA si = {};
        si.cb = sizeof si;
        PROCESS_INFORMATION pi = {};
        if (!CreateProcessA(nullptr, &Line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
            ADD_FAILURE() << "could not start " << Line << ": " << GetLastError();
            return nullptr;
        }
        CloseHandle(pi.hThread);
        if (Id != nullptr) *Id = pi.dwProcessId;
        return pi.hProcess;
    }

    // Runs the agent with Args and returns its exit code.
    DWORD Agent(const std::string& Args) {
        HANDLE process = Launch("\"" + agent + "\" " + Args);
        if (process == nullptr) return 99;
        DWORD code = 98;
        if (WaitForSingleObject(process, 60000) == WAIT_OBJECT_0) {
            GetExitCodeProcess(process, &code);
        } else {
            ADD_FAILURE() << "the agent did not finish";
            TerminateProcess(process, 97);
        }
        CloseHandle(process);
        return code;
    }

    // The stand-ins' "version|command line" lines, once Count of them have been written.
    std::vector<std::string> Starts(size_t Count) {
        std::vector<std::string> lines;
        for (int i = 0; i < 200; ++i) {
            lines.clear();
            std::istringstream in(ReadWholeFile(dir + "started.txt"));
            for (std::string l; std::getline(in, l);)
                lines.push_back(l);
            if (lines.size() >= Count) break;
            Sleep(50);
        }
        return lines;
    }

    std::string agent, dir, exe;
};

TEST_F(AgentWineTest, ReplacesAndRestartsWithQuotedOrOlderCommandLines) {
    for (const std::string& args : {AgentArguments(exe, "/afterupgrade", false), exe + " +/afterupgrade0"}) {
        Empty();
        PutFake("old", "Fake Program.exe");
        PutFake("new", "Fake Program.exe.uTMP");
        ASSERT_TRUE(WriteFile(dir + "readme.txt", "old"));
        ASSERT_TRUE(WriteFile(dir + "readme.txt.uTMP", "new"));
        // As the download engine leaves them.
        SetFileAttributesA((exe + ".uTMP").c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_TEMPORARY);

        EXPECT_EQ(Agent(args), DWORD(aoDone)) << args;
        EXPECT_EQ(Starts(1), std::vector<std::string>{"new|\"" + exe + "\" /afterupgrade"}) << args;
        EXPECT_EQ(Names(), (std::vector<std::string>{"Fake Program.exe", "readme.txt", "started.txt"}))
            << args;
        EXPECT_EQ(ReadWholeFile(dir + "readme.txt"), "new");
        EXPECT_EQ(GetFileAttributesA(exe.c_str()), DWORD(FILE_ATTRIBUTE_ARCHIVE));
    }
}

TEST_F(AgentWineTest, WaitsForTheRunningProgramToExit) {
    PutFake("old", "Fake Program.exe");
    PutFake("new", "Fake Program.exe.uTMP");
    HANDLE running = Launch("\"" + exe + "\" /linger");
    ASSERT_NE(running, nullptr);
    ASSERT_EQ(Starts(1).size(), 1u);
    EXPECT_EQ(Agent("\"" + exe + "\" +/afterupgrade0"), DWORD(aoDone));
    EXPECT_EQ(WaitForSingleObject(running, 0), WAIT_OBJECT_0) << "replaced while it still ran";
    CloseHandle(running);
    EXPECT_EQ(Starts(2),
              (std::vector<std::string>{"old|\"" + exe + "\" /linger", "new|\"" + exe + "\" /afterupgrade"}));
}

TEST_F(AgentWineTest, AHeldFileRollsBackAndTheOldProgramStarts) {
    PutFake("old", "Fake Program.exe");
    PutFake("new", "Fake Program.exe.uTMP");
    ASSERT_TRUE(WriteFile(dir + "zdata.bin", "old"));
    ASSERT_TRUE(WriteFile(dir + "zdata.bin.uTMP", "new"));
    const std::vector<std::string> before = Names();
    {
        // Sorted after the program, so the program has been replaced when this one fails.
        Held data(CreateFileA((dir + "zdata.bin").c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_NE(data.h, INVALID_HANDLE_VALUE);
        EXPECT_EQ(Agent("\"" + exe + "\" +/afterupgrade0"), DWORD(aoMoveFailed));
    }
    EXPECT_EQ(Starts(1), std::vector<std::string>{"old|\"" + exe + "\" /afterupgrade"});
    std::vector<std::string> after = before;
    after.push_back("started.txt");
    std::sort(after.begin(), after.end());
    EXPECT_EQ(Names(), after);
    EXPECT_EQ(ReadWholeFile(exe), Fake("old"));
    EXPECT_EQ(ReadWholeFile(exe + ".uTMP"), Fake("new"));
    EXPECT_EQ(ReadWholeFile(dir + "zdata.bin"), "old");
}

TEST_F(AgentWineTest, GivesUpWhileTheProgramKeepsItsFile) {
    PutFake("old", "Fake Program.exe");
    PutFake("new", "Fake Program.exe.uTMP");
    const std::vector<std::string> before = Names();
    ASSERT_TRUE(SetEnvironmentVariableA(kAgentWaitVariable, "300"));
    {
        Held running(
            CreateFileA(exe.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_NE(running.h, INVALID_HANDLE_VALUE);
        EXPECT_EQ(Agent("\"" + exe + "\" +/afterupgrade0"), DWORD(aoProgramStillRunning));
    }
    EXPECT_EQ(Names(), before);  // nothing moved, nothing started
}

TEST_F(AgentWineTest, ExternalSetupRunsFirstAndIsRemoved) {
    PutFake("old", "Fake Program.exe");
    PutFake("new", "setup.exe.uTMP");
    EXPECT_EQ(Agent("\"" + exe + "\" +/afterupgrade1"), DWORD(aoDone));
    EXPECT_EQ(Starts(2), (std::vector<std::string>{"new|\"" + dir + "setup.exe\" /afterupgrade",
                                                   "old|\"" + exe + "\" /afterupgrade"}));
    EXPECT_EQ(Names(), (std::vector<std::string>{"Fake Program.exe", "started.txt"}));
}

struct WindowSearch {
    DWORD process;
    HWND found;
};

BOOL CALLBACK FindProcessWindow(HWND W, LPARAM P) {
    auto* search = reinterpret_cast<WindowSearch*>(P);
    DWORD owner = 0;
    GetWindowThreadProcessId(W, &owner);
    if (owner != search->process || !IsWindowVisible(W)) return TRUE;
    search->found = W;
    return FALSE;
}

// A visible top-level window of the given process, or null.
HWND WindowOf(DWORD Process) {
    WindowSearch search = {Process, nullptr};
    EnumWindows(FindProcessWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

TEST_F(AgentWineTest, WithoutParametersItShowsABoxAndDoesNothing) {
    DWORD id = 0;
    HANDLE process = Launch("\"" + agent + "\"", &id);
    ASSERT_NE(process, nullptr);
    HWND box = nullptr;
    for (int i = 0; i < 200 && box == nullptr; ++i) {
        box = WindowOf(id);
        if (box == nullptr) Sleep(50);
    }
    EXPECT_NE(box, nullptr);
    if (box != nullptr) PostMessageA(box, WM_COMMAND, IDOK, 0);
    if (WaitForSingleObject(process, 20000) != WAIT_OBJECT_0) {
        ADD_FAILURE() << "the agent's box did not close";
        TerminateProcess(process, 1);
    }
    CloseHandle(process);
}

}  // namespace
