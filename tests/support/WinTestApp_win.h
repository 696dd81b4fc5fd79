#pragma once
// What the Win32 test programs share: one application object for the whole program (with
// it the dispatcher, the reporter and the dialog keys), a bounded wait, and fresh paths in
// the temporary folder.
#include <windows.h>

#include <functional>
#include <string>

#include "ui/Forms_win.h"
#include "ui/MessagePump_win.h"

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

// Handles messages for Ms milliseconds, or until Done says so.
inline void PumpUntil(int Ms, const std::function<bool()>& Done) {
    WaitHandlingMessages(Done, static_cast<DWORD>(Ms));
}

inline void Pump(int Ms) { SleepHandlingMessages(static_cast<DWORD>(Ms)); }

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
