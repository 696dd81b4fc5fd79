#pragma once
// The upgrade agent's logic without the platform: reading its command line, planning which
// downloaded file replaces which, and carrying the plan out through TAgentFiles so that a
// failed step is undone and the user always keeps a program that starts.
#include <string>
#include <vector>

// What the program asked for: restart Exe with Param once the new files are in place.
struct TAgentCommand {
    std::string Exe;             // the program's full path
    std::string Folder;          // Exe's folder, with its trailing separator
    std::string Param;           // the restart parameter, e.g. "/afterupgrade"
    bool ExternalSetup = false;  // mode digit "1": the first new .exe is a setup program
};

// Args is the command line after the agent's own name, either `"EXE" +PARAMd` or the older
// unquoted `EXE +PARAMd` (d the mode digit). False when it names no usable program path.
bool ParseAgentCommand(const std::string& Args, TAgentCommand& Command);

// The arguments the program gives the agent: `"EXE" +PARAMd`, the form ParseAgentCommand reads.
std::string AgentArguments(const std::string& Exe, const std::string& Param, bool ExternalSetup);

// The suffix of a downloaded file until the agent puts it in place.
constexpr char UpdateFileSuffix[] = ".uTMP";

// The last segment of Path ("\" or "/"); false for an empty, "." or ".." name.
bool FileNameOf(const std::string& Path, std::string& Name);

// A program path and its parameter as one command line, the path quoted.
std::string QuotedCommandLine(const std::string& Exe, const std::string& Param);

struct TAgentMove {
    std::string From;  // Folder + NAME.uTMP
    std::string To;    // Folder + NAME
    bool Setup;        // the setup program, hidden while it waits to run
};

struct TAgentPlan {
    std::vector<TAgentMove> Moves;
    std::string Run;           // started once every move is done
    std::string SetupProgram;  // external setup: deleted once it has finished; else empty
    std::string AfterSetup;    // external setup: the program started again after that
};

// UpdateFiles are the names found in the program's folder ending in ".uTMP"; others, and any
// whose target name would be unusable, are left alone. Moves follow the names in case-blind
// order, as Windows lists them.
TAgentPlan MakeAgentPlan(const TAgentCommand& Command, std::vector<std::string> UpdateFiles);

// The backup kept of a target until the new program has started.
std::string BackupName(const std::string& Target);

// What the agent does to the world; Win32 for real, an in-memory fake in tests.
class TAgentFiles {
public:
    virtual ~TAgentFiles() = default;
    virtual bool Exists(const std::string& Path) = 0;
    // True once nobody holds Path open against writers, i.e. the program has exited.
    virtual bool CanOpenForWriting(const std::string& Path) = 0;
    // Names (not paths) in Folder that end in ".uTMP".
    virtual std::vector<std::string> UpdateFiles(const std::string& Folder) = 0;
    virtual bool Move(const std::string& From, const std::string& To) = 0;  // replaces To
    virtual bool Delete(const std::string& Path) = 0;
    virtual void SetAttributes(const std::string& Path, bool Hidden) = 0;  // archive, +hidden
    virtual bool Start(const std::string& CommandLine) = 0;
    virtual void Sleep(int Milliseconds) = 0;
};

// How long the agent waits for a file to be released, and how often it looks.
struct TAgentWaits {
    int PollMs = 100;
    int ProgramExitMs = 2 * 60 * 1000;  // the program closes itself right after starting us
    int SetupMs = 60 * 60 * 1000;       // a setup program waits for a person
};
// Tests shorten both bounds through this environment variable, in milliseconds. Only a
// positive number smaller than the bound counts, so it can never make the agent wait longer.
extern const char* const kAgentWaitVariable;
TAgentWaits AgentWaits(const char* VariableValue);

enum TAgentOutcome {
    aoDone = 0,
    aoProgramStillRunning = 1,  // gave up waiting; nothing was touched
    aoBadCommandLine = 2,
    aoMoveFailed = 3,        // rolled back; the old program was started
    aoStartFailed = 4,       // the new program did not start: rolled back, the old one started
    aoSetupNotFinished = 5,  // the setup ran but never released its file; the program was not restarted
};

// Waits for the program to exit, puts the new files in place and restarts it.
TAgentOutcome RunAgent(const std::string& Args, TAgentFiles& Files, const TAgentWaits& Waits);
