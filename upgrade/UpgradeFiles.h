#pragma once
// Where the files of an update land, how far along the whole update is, which file the size
// test may skip, and how the upgrade agent is started. No platform calls.
#include <cstdint>
#include <string>

// The suffix of a downloaded file until the upgrade agent puts it in place.
extern const char* const UpdateFileSuffix;  // ".uTMP"

// The file name of an update file: the last segment of the URL's path (query and fragment
// left out). False for a name that cannot be a file beside the program: empty, "." or "..",
// or holding a character Windows refuses in names.
bool UpdateFileName(const std::string& URL, std::string& Name);

// Folder (with or without its trailing "\") + Name + ".uTMP".
std::string UpdateTargetPath(const std::string& Folder, const std::string& Name);

// The whole update's percentage while file Index (from 0) of Count is PercentsDone along:
// round(Index * 100 / Count) + PercentsDone div Count, ties to even.
uint8_t TotalPercentsDone(int Index, int Count, int PercentsDone);

// The size test of "only if the size differs": whether a file of ContentLength bytes is to be
// downloaded when a file of ExistingSize bytes (-1: none) has its name. Only with more than
// one file, a known length and a name other than the program's own.
bool SizeTestDownloads(int FileCount, int64_t ContentLength, const std::string& TargetName,
                       const std::string& ProgramName, int64_t ExistingSize);

// The parameter the restarted program gets: RestartParams and the update method's digit.
std::string RestartParameter(const std::string& RestartParams, int MethodDigit);

// One argument of a command line, quoted so that blanks stay inside it.
std::string QuoteArgument(const std::string& Arg);

// The upgrade agent's command line: its own path, the program's, then " +" and the restart
// parameter, every path quoted.
std::string AgentCommandLine(const std::string& AgentPath, const std::string& ProgramPath,
                             const std::string& RestartParameter);
