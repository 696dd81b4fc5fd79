// The upgrade agent's logic natively: its command line in the quoted and the older unquoted
// form, the file plan, and a whole run against an in-memory folder where moves fail, files
// stay locked and programs refuse to start.
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <vector>

#include "upgrade/agent/AgentPlan.h"

namespace {

const std::string Dir = "C:\\Program Files\\Pelorin\\";
const std::string Exe = Dir + "Pelorin.exe";
const std::string Restart = "\"" + Exe + "\" /afterupgrade";

TEST(AgentCommand, QuotedAndUnquotedForms) {
    struct Case {
        std::string Args;
        bool Ok;
        std::string Exe, Folder, Param;
        bool External;
    };
    const Case cases[] = {
        {"\"" + Exe + "\" +/afterupgrade0", true, Exe, Dir, "/afterupgrade", false},
        {Exe + " +/afterupgrade0", true, Exe, Dir, "/afterupgrade", false},  // older callers
        {Exe + " +/afterupgrade1 ", true, Exe, Dir, "/afterupgrade", true},  // arguments joined
        {"C:\\My +Apps\\P.exe +/afterupgrade0", true, "C:\\My +Apps\\P.exe", "C:\\My +Apps\\",
         "/afterupgrade", false},
        {"  \"C:\\P\\P.exe\"   +1", true, "C:\\P\\P.exe", "C:\\P\\", "", true},
        {"", false, "", "", "", false},
        {Exe, false, "", "", "", false},
        {Exe + " +/afterupgrade", false, "", "", "", false},  // no mode digit
        {Exe + " +", false, "", "", "", false},
        {"\"" + Exe + " +/afterupgrade0", false, "", "", "", false},  // unclosed quote
        {"\"" + Exe + "\" /afterupgrade0", false, "", "", "", false},
        {"\"C:\\P\\\" +/afterupgrade0", false, "", "", "", false},  // no file name
        {"C:\\P\\.. +/afterupgrade0", false, "", "", "", false},
        {"C:\\P\\. +/afterupgrade0", false, "", "", "", false},
        {"Pelorin.exe +/afterupgrade0", false, "", "", "", false},  // no folder
    };
    for (const Case& c : cases) {
        TAgentCommand command;
        ASSERT_EQ(ParseAgentCommand(c.Args, command), c.Ok) << c.Args;
        if (!c.Ok) continue;
        EXPECT_EQ(command.Exe, c.Exe) << c.Args;
        EXPECT_EQ(command.Folder, c.Folder) << c.Args;
        EXPECT_EQ(command.Param, c.Param) << c.Args;
        EXPECT_EQ(command.ExternalSetup, c.External) << c.Args;
    }
}

TEST(AgentCommand, ReadsWhatTheProgramWrites) {
    for (bool external : {false, true}) {
        TAgentCommand command;
        ASSERT_TRUE(
            ParseAgentCommand(AgentArguments("C:\\My +Apps\\P.exe", "/afterupgrade", external), command));
        EXPECT_EQ(command.Exe, "C:\\My +Apps\\P.exe");
        EXPECT_EQ(command.Param, "/afterupgrade");
        EXPECT_EQ(command.ExternalSetup, external);
    }
}

// The moves as "FROM>TO", a setup program marked with "*", relative to Dir.
std::vector<std::string> Moves(const TAgentPlan& Plan) {
    std::vector<std::string> out;
    for (const TAgentMove& m : Plan.Moves)
        out.push_back(m.From.substr(Dir.size()) + ">" + m.To.substr(Dir.size()) + (m.Setup ? "*" : ""));
    return out;
}

TEST(AgentPlan, MovesSetupAndRestart) {
    struct Case {
        const char* What;
        bool External;
        std::vector<std::string> Found;
        std::vector<std::string> Moves;
        std::string Run, Setup, AfterSetup;
    };
    const Case cases[] = {
        {"self-upgrade, case-blind order",
         false,
         {"readme.txt.uTMP", "Pelorin.exe.uTMP", "b.dll.utmp", "notes.txt"},
         {"b.dll.utmp>b.dll", "Pelorin.exe.uTMP>Pelorin.exe", "readme.txt.uTMP>readme.txt"},
         Restart,
         "",
         ""},
        {"unusable names are left alone",
         false,
         {".uTMP", "..uTMP", "...uTMP", "a.uTMP.uTMP", "x.uBAK.uTMP", "sub\\evil.uTMP", "up/x.uTMP"},
         {},
         Restart,
         "",
         ""},
        {"external: the first other program is the setup",
         true,
         {"z.exe.uTMP", "b.dll.uTMP", "Setup.EXE.uTMP"},
         {"b.dll.uTMP>b.dll", "Setup.EXE.uTMP>Setup.EXE*", "z.exe.uTMP>z.exe"},
         "\"" + Dir + "Setup.EXE\" /afterupgrade",
         Dir + "Setup.EXE",
         Restart},
        {"external with our own program among the files: no setup",
         true,
         {"setup.exe.uTMP", "pelorin.EXE.uTMP"},
         {"pelorin.EXE.uTMP>pelorin.EXE", "setup.exe.uTMP>setup.exe"},
         Restart,
         "",
         ""},
        {"external without another program: no setup",
         true,
         {"data.bin.uTMP"},
         {"data.bin.uTMP>data.bin"},
         Restart,
         "",
         ""},
    };
    for (const Case& c : cases) {
        TAgentCommand command;
        ASSERT_TRUE(ParseAgentCommand("\"" + Exe + "\" +/afterupgrade" + (c.External ? "1" : "0"), command));
        const TAgentPlan plan = MakeAgentPlan(command, c.Found);
        EXPECT_EQ(Moves(plan), c.Moves) << c.What;
        EXPECT_EQ(plan.Run, c.Run) << c.What;
        EXPECT_EQ(plan.SetupProgram, c.Setup) << c.What;
        EXPECT_EQ(plan.AfterSetup, c.AfterSetup) << c.What;
    }
}

TEST(AgentWaits, OnlyShortenedByTheVariable) {
    const TAgentWaits standard;
    for (const char* value : {(const char*)nullptr, "", "0", "-5", "soon", "999999999"}) {
        const TAgentWaits waits = AgentWaits(value);
        EXPECT_EQ(waits.ProgramExitMs, standard.ProgramExitMs) << (value ? value : "unset");
        EXPECT_EQ(waits.SetupMs, standard.SetupMs) << (value ? value : "unset");
    }
    const TAgentWaits shortened = AgentWaits("500");
    EXPECT_EQ(shortened.ProgramExitMs, 500);
    EXPECT_EQ(shortened.SetupMs, 500);
}

// A folder in memory. Busy paths refuse writers for that many more looks; pinned paths are
// held open without sharing deletion, so they cannot be moved or replaced.
class FakeFiles : public TAgentFiles {
public:
    std::map<std::string, std::string> Files;
    std::map<std::string, int> Busy;
    std::set<std::string> Pinned, Hidden;
    int FailingStarts = 0;
    std::vector<std::string> Started;
    int Slept = 0;

    bool Exists(const std::string& Path) override { return Files.count(Path) > 0; }
    bool CanOpenForWriting(const std::string& Path) override {
        auto busy = Busy.find(Path);
        if (busy == Busy.end() || busy->second == 0) return true;
        if (busy->second > 0) --busy->second;  // negative: busy for ever
        return false;
    }
    std::vector<std::string> UpdateFiles(const std::string& Folder) override {
        std::vector<std::string> names;
        for (const auto& f : Files)
            if (f.first.compare(0, Folder.size(), Folder) == 0 && f.first.size() > 5 &&
                f.first.compare(f.first.size() - 5, 5, ".uTMP") == 0)
                names.push_back(f.first.substr(Folder.size()));
        return names;
    }
    bool Move(const std::string& From, const std::string& To) override {
        if (!Exists(From) || Pinned.count(From) || Pinned.count(To)) return false;
        Files[To] = Files[From];
        Files.erase(From);
        return true;
    }
    bool Delete(const std::string& Path) override { return !Pinned.count(Path) && Files.erase(Path) > 0; }
    void SetAttributes(const std::string& Path, bool H) override {
        if (H)
            Hidden.insert(Path);
        else
            Hidden.erase(Path);
    }
    bool Start(const std::string& CommandLine) override {
        if (FailingStarts > 0) return FailingStarts--, false;
        Started.push_back(CommandLine);
        return true;
    }
    void Sleep(int Ms) override { Slept += Ms; }
};

// Three files replaced by new ones, our program among them.
FakeFiles UpdateReady() {
    FakeFiles f;
    for (const char* name : {"a.dll", "b.dll", "Pelorin.exe"}) {
        f.Files[Dir + name] = "old";
        f.Files[Dir + name + ".uTMP"] = "new";
    }
    f.Files[Dir + "settings.ini"] = "mine";
    return f;
}

const std::string SelfUpgrade = "\"" + Exe + "\" +/afterupgrade0";
const TAgentWaits Quick = AgentWaits("1000");

TEST(AgentRun, ReplacesEverythingAndDropsTheBackups) {
    FakeFiles f = UpdateReady();
    f.Busy[Exe] = 3;  // the program is still closing
    EXPECT_EQ(RunAgent(SelfUpgrade, f, Quick), aoDone);
    const std::map<std::string, std::string> expected = {
        {Dir + "a.dll", "new"}, {Dir + "b.dll", "new"}, {Exe, "new"}, {Dir + "settings.ini", "mine"}};
    EXPECT_EQ(f.Files, expected);
    EXPECT_EQ(f.Started, std::vector<std::string>{Restart});
    EXPECT_EQ(f.Slept, 3 * Quick.PollMs);
}

TEST(AgentRun, AFailureLeavesTheFolderAsItWasAndStartsTheOldProgram) {
    struct Case {
        const char* What;
        std::string Pinned;
        int FailingStarts;
        TAgentOutcome Outcome;
    };
    const Case cases[] = {
        {"first target held", Dir + "a.dll", 0, aoMoveFailed},
        {"second target held", Dir + "b.dll", 0, aoMoveFailed},
        {"last target held", Exe, 0, aoMoveFailed},
        {"a new file held", Dir + "b.dll.uTMP", 0, aoMoveFailed},
        {"the new program does not start", "", 1, aoStartFailed},
    };
    for (const Case& c : cases) {
        FakeFiles f = UpdateReady();
        const auto before = f.Files;
        if (!c.Pinned.empty()) f.Pinned.insert(c.Pinned);
        f.FailingStarts = c.FailingStarts;
        EXPECT_EQ(RunAgent(SelfUpgrade, f, Quick), c.Outcome) << c.What;
        EXPECT_EQ(f.Files, before) << c.What;
        EXPECT_EQ(f.Started, std::vector<std::string>{Restart}) << c.What;
    }
}

TEST(AgentRun, GivesUpPolitelyWhileTheProgramRuns) {
    FakeFiles f = UpdateReady();
    const auto before = f.Files;
    f.Busy[Exe] = -1;
    EXPECT_EQ(RunAgent(SelfUpgrade, f, Quick), aoProgramStillRunning);
    EXPECT_EQ(f.Files, before);
    EXPECT_TRUE(f.Started.empty());
    EXPECT_EQ(f.Slept, Quick.ProgramExitMs);
}

TEST(AgentRun, ExternalSetupRunsThenIsDeletedThenTheProgramStarts) {
    FakeFiles f;
    f.Files[Exe] = "old";
    f.Files[Dir + "setup.exe.uTMP"] = "setup";
    f.Busy[Dir + "setup.exe"] = 2;
    EXPECT_EQ(RunAgent("\"" + Exe + "\" +/afterupgrade1", f, Quick), aoDone);
    EXPECT_EQ(f.Started, (std::vector<std::string>{"\"" + Dir + "setup.exe\" /afterupgrade", Restart}));
    EXPECT_EQ(f.Files, (std::map<std::string, std::string>{{Exe, "old"}}));
    EXPECT_EQ(f.Hidden, std::set<std::string>{Dir + "setup.exe"});

    // A setup that never finishes: the program is not started under its feet.
    f.Files[Dir + "setup.exe.uTMP"] = "setup";
    f.Started.clear();
    f.Busy[Dir + "setup.exe"] = -1;
    EXPECT_EQ(RunAgent("\"" + Exe + "\" +/afterupgrade1", f, Quick), aoSetupNotFinished);
    EXPECT_EQ(f.Started.size(), 1u);
}

TEST(AgentRun, ABadCommandLineTouchesNothing) {
    FakeFiles f = UpdateReady();
    const auto before = f.Files;
    EXPECT_EQ(RunAgent("\"" + Dir + "..\" +/afterupgrade0", f, Quick), aoBadCommandLine);
    EXPECT_EQ(f.Files, before);
    EXPECT_TRUE(f.Started.empty());
}

}  // namespace
