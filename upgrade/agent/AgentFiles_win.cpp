#include "upgrade/agent/AgentFiles_win.h"

#include <windows.h>

bool TWinAgentFiles::Exists(const std::string& Path) {
    return GetFileAttributesA(Path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool TWinAgentFiles::CanOpenForWriting(const std::string& Path) {
    // A running program's image, or a file someone holds without sharing writes, refuses this.
    HANDLE h = CreateFileA(Path.c_str(), GENERIC_WRITE, FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    CloseHandle(h);
    return true;
}

std::vector<std::string> TWinAgentFiles::UpdateFiles(const std::string& Folder) {
    std::vector<std::string> names;
    WIN32_FIND_DATAA found;
    HANDLE h = FindFirstFileA((Folder + "*.uTMP").c_str(), &found);
    if (h == INVALID_HANDLE_VALUE) return names;
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.push_back(found.cFileName);
    } while (FindNextFileA(h, &found));
    FindClose(h);
    return names;
}

bool TWinAgentFiles::Move(const std::string& From, const std::string& To) {
    return MoveFileExA(From.c_str(), To.c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
}

bool TWinAgentFiles::Delete(const std::string& Path) {
    SetFileAttributesA(Path.c_str(), FILE_ATTRIBUTE_NORMAL);
    return DeleteFileA(Path.c_str()) != 0;
}

void TWinAgentFiles::SetAttributes(const std::string& Path, bool Hidden) {
    SetFileAttributesA(Path.c_str(), FILE_ATTRIBUTE_ARCHIVE | (Hidden ? FILE_ATTRIBUTE_HIDDEN : 0));
}

bool TWinAgentFiles::Start(const std::string& CommandLine) {
    std::string line = CommandLine;  // CreateProcessA may write into its command line
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESHOWWINDOW;
    si.wShowWindow = SW_SHOWNORMAL;
    PROCESS_INFORMATION pi = {};
    if (!CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
        return false;
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return true;
}

void TWinAgentFiles::Sleep(int Milliseconds) { ::Sleep(static_cast<DWORD>(Milliseconds)); }
