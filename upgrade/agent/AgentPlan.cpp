#include "upgrade/agent/AgentPlan.h"

#include <algorithm>

#include "base/StrUtils.h"

const char* const kAgentWaitVariable = "PELORIN_AGENT_TEST_WAIT_MS";

namespace {

const char kBackupSuffix[] = ".uBAK";

// True once Path is gone or nobody holds it against writers; false when Bound ran out first.
bool WaitForRelease(TAgentFiles& Files, const std::string& Path, int BoundMs, int PollMs) {
    for (int waited = 0;; waited += PollMs) {
        if (!Files.Exists(Path) || Files.CanOpenForWriting(Path)) return true;
        if (waited >= BoundMs) return false;
        Files.Sleep(PollMs);
    }
}

// Puts the new file in place with the old one kept aside; on failure nothing has changed.
bool Install(TAgentFiles& Files, const TAgentMove& Move, bool& Backup) {
    Backup = Files.Exists(Move.To);
    if (Backup) {
        Files.SetAttributes(Move.To, false);  // a read-only target cannot be moved aside
        if (!Files.Move(Move.To, BackupName(Move.To))) return false;
    }
    if (Files.Move(Move.From, Move.To)) {
        Files.SetAttributes(Move.To, Move.Setup);
        return true;
    }
    if (Backup) Files.Move(BackupName(Move.To), Move.To);
    return false;
}

// Undoes the installed moves, last first: each new file goes back to its ".uTMP" name, so
// the folder is as the program left it, and the old file returns.
void RollBack(TAgentFiles& Files, const std::vector<TAgentMove>& Moves, const std::vector<bool>& Backups) {
    for (size_t i = Backups.size(); i-- > 0;) {
        Files.Move(Moves[i].To, Moves[i].From);
        if (Backups[i]) Files.Move(BackupName(Moves[i].To), Moves[i].To);
    }
}

}  // namespace

bool FileNameOf(const std::string& Path, std::string& Name) {
    const size_t slash = Path.find_last_of("\\/");
    Name = slash == std::string::npos ? Path : Path.substr(slash + 1);
    return !Name.empty() && Name != "." && Name != "..";
}

bool ParseAgentCommand(const std::string& Args, TAgentCommand& Command) {
    const std::string line = Trim(Args);
    std::string exe, rest;
    if (!line.empty() && line[0] == '"') {
        const size_t close = line.find('"', 1);
        if (close == std::string::npos) return false;
        exe = line.substr(1, close - 1);
        rest = TrimLeft(line.substr(close + 1));
        if (rest.empty() || rest[0] != '+') return false;
        rest.erase(0, 1);
    } else {
        // Older callers do not quote, so the path may hold blanks and even "+": the parameter
        // starts after the last " +".
        const size_t plus = line.rfind(" +");
        if (plus == std::string::npos) return false;
        exe = TrimRight(line.substr(0, plus));
        rest = line.substr(plus + 2);
    }
    if (rest.empty() || (rest.back() != '0' && rest.back() != '1')) return false;
    std::string name;
    if (!FileNameOf(exe, name) || exe.size() == name.size()) return false;
    Command.Exe = exe;
    Command.Folder = exe.substr(0, exe.size() - name.size());
    Command.Param = Trim(rest.substr(0, rest.size() - 1));
    Command.ExternalSetup = rest.back() == '1';
    return true;
}

std::string QuotedCommandLine(const std::string& Exe, const std::string& Param) {
    return "\"" + Exe + "\"" + (Param.empty() ? "" : " " + Param);
}

std::string AgentArguments(const std::string& Exe, const std::string& Param, bool ExternalSetup) {
    return "\"" + Exe + "\" +" + Param + (ExternalSetup ? "1" : "0");
}

std::string BackupName(const std::string& Target) { return Target + kBackupSuffix; }

TAgentPlan MakeAgentPlan(const TAgentCommand& Command, std::vector<std::string> UpdateFiles) {
    std::stable_sort(UpdateFiles.begin(), UpdateFiles.end(),
                     [](const std::string& A, const std::string& B) { return CompareText(A, B) < 0; });
    std::string exeName;
    FileNameOf(Command.Exe, exeName);
    const bool exeIsNew = std::any_of(UpdateFiles.begin(), UpdateFiles.end(), [&](const std::string& Name) {
        return SameText(Name, exeName + UpdateFileSuffix);
    });

    TAgentPlan plan;
    plan.Run = QuotedCommandLine(Command.Exe, Command.Param);
    for (const std::string& file : UpdateFiles) {
        std::string name, target;
        if (!FileNameOf(file, name) || name != file || !EndsWithText(name, UpdateFileSuffix)) continue;
        if (!FileNameOf(name.substr(0, name.size() - (sizeof UpdateFileSuffix - 1)), target)) continue;
        // Never move one of our own work files over another.
        if (EndsWithText(target, UpdateFileSuffix) || EndsWithText(target, kBackupSuffix)) continue;
        // The first new program other than ours is the setup to run; with our own
        // executable among the new files there is none, and ours is never deleted.
        const bool setup =
            Command.ExternalSetup && !exeIsNew && plan.SetupProgram.empty() && EndsWithText(target, ".exe");
        if (setup) {
            plan.SetupProgram = Command.Folder + target;
            plan.Run = QuotedCommandLine(plan.SetupProgram, Command.Param);
            plan.AfterSetup = QuotedCommandLine(Command.Exe, Command.Param);
        }
        plan.Moves.push_back({Command.Folder + name, Command.Folder + target, setup});
    }
    return plan;
}

TAgentWaits AgentWaits(const char* VariableValue) {
    TAgentWaits waits;
    int ms = 0;
    if (VariableValue != nullptr && TryStrToInt(VariableValue, ms) && ms > 0) {
        waits.ProgramExitMs = std::min(ms, waits.ProgramExitMs);
        waits.SetupMs = std::min(ms, waits.SetupMs);
    }
    return waits;
}

TAgentOutcome RunAgent(const std::string& Args, TAgentFiles& Files, const TAgentWaits& Waits) {
    TAgentCommand command;
    if (!ParseAgentCommand(Args, command)) return aoBadCommandLine;
    if (!WaitForRelease(Files, command.Exe, Waits.ProgramExitMs, Waits.PollMs)) return aoProgramStillRunning;

    const TAgentPlan plan = MakeAgentPlan(command, Files.UpdateFiles(command.Folder));
    const std::string oldProgram = QuotedCommandLine(command.Exe, command.Param);
    std::vector<bool> backups;
    for (const TAgentMove& move : plan.Moves) {
        bool backup = false;
        if (!Install(Files, move, backup)) {
            RollBack(Files, plan.Moves, backups);
            Files.Start(oldProgram);
            return aoMoveFailed;
        }
        backups.push_back(backup);
    }
    if (!Files.Start(plan.Run)) {
        RollBack(Files, plan.Moves, backups);
        Files.Start(oldProgram);
        return aoStartFailed;
    }
    for (size_t i = 0; i < backups.size(); ++i)
        if (backups[i]) Files.Delete(BackupName(plan.Moves[i].To));

    if (plan.SetupProgram.empty()) return aoDone;
    if (!WaitForRelease(Files, plan.SetupProgram, Waits.SetupMs, Waits.PollMs)) return aoSetupNotFinished;
    Files.Delete(plan.SetupProgram);
    return Files.Start(plan.AfterSetup) ? aoDone : aoStartFailed;
}
