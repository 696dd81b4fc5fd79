#pragma once
// One way to bind a C++ object to a window of our own: the object rides in as the creation
// parameter and is bound at WM_NCCREATE, so it sees every message from then on, and every
// message goes through one guard, so no exception ever unwinds through user32 (what a
// handler throws goes to ReportException).
//
// A class with its own window class and messages derives from TWindow, overrides WndProc
// and calls CreateHandle with its TWindowClass, e.g.
//   const TWindowClass SocketClass = {"PelorinSocket"};
//   CreateHandle(SocketClass, 0, "", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr);
//   LRESULT WndProc(UINT Msg, WPARAM W, LPARAM L) override {
//       if (Msg == WM_USER + 1) { ...; return 0; }
//       return DefaultProc(Msg, W, L);
//   }
#include <windows.h>

#include <string>

// A window class of ours: registered with the one window procedure on first use, from
// whichever thread comes first.
struct TWindowClass {
    const char* Name;
    UINT Style = 0;
    HCURSOR Cursor = nullptr;
    HBRUSH Background = nullptr;
    HICON Icon = nullptr;
};

class TWindow {
public:
    TWindow() = default;
    // Destroys a window still there, unbound first: the object is half gone by then.
    virtual ~TWindow();
    TWindow(const TWindow&) = delete;
    TWindow& operator=(const TWindow&) = delete;

    HWND Handle() const { return FHandle; }

protected:
    // Makes a window of Class bound to this object; throws when the system refuses.
    void CreateHandle(const TWindowClass& Class, DWORD ExStyle, const std::string& Text, DWORD Style, int X,
                      int Y, int Width, int Height, HWND Parent, HMENU Menu);
    // Destroys the window (or forgets a window of a foreign class); its last messages go
    // to the default procedure.
    void DestroyHandle();
    // The bound window's messages; the default passes them to DefWindowProc. After
    // WM_NCDESTROY, whoever destroyed the window, Handle() is null.
    virtual LRESULT WndProc(UINT Msg, WPARAM WParam, LPARAM LParam);
    LRESULT DefaultProc(UINT Msg, WPARAM WParam, LPARAM LParam);

    // Also set by subclasses that wrap a window of a system class (which is never bound).
    HWND FHandle = nullptr;

private:
    static LRESULT CALLBACK Proc(HWND Wnd, UINT Msg, WPARAM WParam, LPARAM LParam);
    static void Register(const TWindowClass& Class);
};
