#include "upgrade/UpgradeFiles_win.h"

#include <windows.h>

#include <cstring>
#include <vector>

#include "ui/Forms_win.h"
#include "ui/ScopedHandles_win.h"
#include "upgrade/UpgradeFiles.h"

int DeleteUpdateFiles(const std::string& Folder) {
    WIN32_FIND_DATAA found;
    const std::string pattern = Folder + "*" + UpdateFileSuffix;
    HANDLE find = FindFirstFileA(pattern.c_str(), &found);
    if (find == INVALID_HANDLE_VALUE) return 0;
    // The names first: deleting while the search is open may make it skip or repeat.
    std::vector<std::string> names;
    do {
        // "*.uTMP" also matches "x.uTMPfoo" through the short name; only the suffix counts.
        const std::string name = found.cFileName;
        const size_t n = strlen(UpdateFileSuffix);
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && name.size() > n &&
            _stricmp(name.c_str() + name.size() - n, UpdateFileSuffix) == 0)
            names.push_back(Folder + name);
    } while (FindNextFileA(find, &found));
    FindClose(find);
    int deleted = 0;
    for (const std::string& path : names) {
        SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        if (DeleteFileA(path.c_str())) ++deleted;
    }
    return deleted;
}

bool SetUpdateFileTime(const std::string& FileName, double LocalDateTime) {
    if (!(LocalDateTime > 0) || LocalDateTime > 2958465.0) return false;  // up to 9999-12-31
    // Days since 1899-12-30 to 100-ns ticks since 1601-01-01.
    const double ticks = (LocalDateTime + 109205.0) * 864000000000.0;
    ULARGE_INTEGER value;
    value.QuadPart = static_cast<ULONGLONG>(ticks + 0.5);
    FILETIME local{value.LowPart, value.HighPart}, utc;
    if (!LocalFileTimeToFileTime(&local, &utc)) return false;
    TKernelHandle file(CreateFileA(FileName.c_str(), FILE_WRITE_ATTRIBUTES,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                   FILE_ATTRIBUTE_NORMAL, nullptr));
    return file && SetFileTime(file.Get(), &utc, nullptr, &utc);
}

std::string AgentPath() {
    char temp[MAX_PATH + 1] = "";
    const DWORD n = GetTempPathA(MAX_PATH, temp);
    std::string folder = n > 0 && n <= MAX_PATH ? std::string(temp, n) : std::string();
    const DWORD attributes = folder.empty() ? INVALID_FILE_ATTRIBUTES : GetFileAttributesA(folder.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY))
        folder = ExeDirectory();
    if (!folder.empty() && folder.back() != '\\') folder += '\\';
    return folder + "Zodizize3.exe";
}

bool WriteAgent(const std::string& Path) {
    HRSRC info = FindResourceA(nullptr, "UPDAGENT", "UPDAGENT");
    HGLOBAL data = info ? LoadResource(nullptr, info) : nullptr;
    const void* bytes = data ? LockResource(data) : nullptr;
    const DWORD size = info ? SizeofResource(nullptr, info) : 0;
    if (bytes == nullptr || size == 0) return false;
    bool written = false;
    {
        TKernelHandle file(CreateFileA(Path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                       nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_TEMPORARY, nullptr));
        if (!file) return false;
        DWORD done = 0;
        written = WriteFile(file.Get(), bytes, size, &done, nullptr) && done == size;
    }
    // A cut agent would start as garbage or not at all: none is better.
    if (!written) DeleteFileA(Path.c_str());
    return written;
}

bool StartAgent(const std::string& CommandLine) {
    STARTUPINFOA start{};
    start.cb = sizeof start;
    start.dwFlags = STARTF_USESHOWWINDOW;
    start.wShowWindow = SW_SHOWNORMAL;
    PROCESS_INFORMATION process{};
    std::vector<char> line(CommandLine.begin(), CommandLine.end());
    line.push_back('\0');
    if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &start, &process))
        return false;
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return true;
}
