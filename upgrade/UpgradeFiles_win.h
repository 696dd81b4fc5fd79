#pragma once
// The update's files on disk: the downloaded ".uTMP" files beside the program, their times,
// and the upgrade agent that the program carries and starts to put them in place.
#include <string>

// Every "*.uTMP" file in Folder (with its trailing "\"), hidden ones included, deleted;
// the number deleted.
int DeleteUpdateFiles(const std::string& Folder);

// Sets the creation and last-write times of FileName to a local date-time (days since
// 1899-12-30); the last-access time stays. False when the file or the time is refused.
bool SetUpdateFileTime(const std::string& FileName, double LocalDateTime);

// Where the agent is written: the temporary folder (the program's folder when that is no
// folder) and the agent's file name.
std::string AgentPath();

// Writes the agent carried as the resource "UPDAGENT" (of type "UPDAGENT") of the running
// module to Path. False when there is no such resource or the file cannot be written; a
// half-written file is removed.
bool WriteAgent(const std::string& Path);

// Starts CommandLine (see AgentCommandLine) shown normally; false when it cannot start.
bool StartAgent(const std::string& CommandLine);
