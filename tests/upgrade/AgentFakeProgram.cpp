// A stand-in for the program the agent replaces: it appends its version and the command line
// it was started with to started.txt beside itself, then exits; with "/linger" it stays a
// second, like a program that is slow to close.
#include <windows.h>

#include <cstdio>
#include <string>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    char path[MAX_PATH];
    const DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return 1;
    std::string log(path, n);
    log = log.substr(0, log.find_last_of('\\') + 1) + "started.txt";
    std::FILE* f = std::fopen(log.c_str(), "ab");
    if (f == nullptr) return 1;
    std::fprintf(f, "%s|%s\n", FAKE_VERSION, GetCommandLineA());
    if (std::fclose(f) != 0) return 1;
    if (std::string(GetCommandLineA()).find("/linger") != std::string::npos) Sleep(1000);
    return 0;
}
