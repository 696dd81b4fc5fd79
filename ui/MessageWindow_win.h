#pragma once
// The program's one hidden window: timer ticks, the tray icons' callbacks and the shell's
// broadcasts, the popup menus' commands and the dispatcher's posted work all arrive here.
// It is made on the GUI thread for its first user and destroyed with its last; every user
// holds a TSharedWindow. It refuses to close and answers the session's end itself, so it
// lives exactly as long as its users.
#include <windows.h>

#include <functional>

class TSharedWindow {
public:
    // Offered the window's messages, users in the order they came, until one returns true
    // with the message's result in Result.
    using THandler = std::function<bool(UINT Msg, WPARAM WParam, LPARAM LParam, LRESULT& Result)>;

    // Makes the window for the first user. Only on the thread that owns the window (it
    // throws elsewhere), since only that thread receives its messages.
    explicit TSharedWindow(THandler Handler = nullptr);
    ~TSharedWindow();
    TSharedWindow(const TSharedWindow&) = delete;
    TSharedWindow& operator=(const TSharedWindow&) = delete;

    HWND Handle() const;
    // The window while it has users, else null.
    static HWND Current();

    // A timer identifier that no other user holds, until given back.
    UINT_PTR NewTimerId();
    void FreeTimerId(UINT_PTR Id);

private:
    friend class TMessageWindow;
    THandler FHandler;
};

// A timer whose ticks arrive at the shared window.
class TWindowTimer {
public:
    explicit TWindowTimer(std::function<void()> OnTick);
    ~TWindowTimer();
    TWindowTimer(const TWindowTimer&) = delete;
    TWindowTimer& operator=(const TWindowTimer&) = delete;

    // Arms the timer; one that runs starts counting again. False when the system refuses.
    bool Start(unsigned Interval);
    void Stop();
    bool Running() const { return FRunning; }

private:
    std::function<void()> FOnTick;
    TSharedWindow FWindow;
    UINT_PTR FId;
    bool FRunning = false;
};
