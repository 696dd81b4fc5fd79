#pragma once
// Where the files of an update land, how far along the whole update is, which file the size
// test may skip. No platform calls.
#include <cstdint>
#include <string>

#include "upgrade/agent/AgentPlan.h"

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
