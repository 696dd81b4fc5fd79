// The updater test's browser: writes the command line it was started with to
// pelorin_browser_url.txt in the temporary folder, for the test to read.
#include <windows.h>

#include <cstdio>
#include <string>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    char dir[MAX_PATH];
    GetTempPathA(MAX_PATH, dir);
    const std::string path = std::string(dir) + "pelorin_browser_url.txt";
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) return 1;
    std::fputs(GetCommandLineA(), f);
    std::fclose(f);
    return 0;
}
