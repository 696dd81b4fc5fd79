#pragma once
// What the Win32 test programs share: one application object for the whole program, a
// bounded message pump, and fresh paths in the temporary folder.
#include <windows.h>

#include <string>

#include "ui/Forms_win.h"

namespace wintest {

inline TApplication& App() {
    static TApplication* app = [] {
        auto* a = new TApplication;
        a->Initialize();
        a->SetTitle("Pelorin");
        return a;
    }();
    return *app;
}

// Handles messages for about Ms milliseconds, or until Done says so.
template <typename F>
void PumpUntil(int Ms, F Done) {
    DWORD start = GetTickCount();
    while (!Done() && GetTickCount() - start < static_cast<DWORD>(Ms)) {
        App().ProcessMessages();
        Sleep(5);
    }
}

// A path in the temporary folder with nothing at it yet.
inline std::string FreshTempPath(const char* Name) {
    char dir[MAX_PATH];
    GetTempPathA(MAX_PATH, dir);
    std::string path = std::string(dir) + Name;
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileA(path.c_str());
    return path;
}

}  // namespace wintest
