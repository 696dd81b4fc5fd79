#pragma once
// A hidden window that hands its messages to a callback: the receiver for timers, menu
// commands and shell notifications. Messages the callback leaves alone go to DefWindowProc.
#include <windows.h>

#include <functional>

#include "base/Events.h"

class TMessageWindow : public TObject {
public:
    // Return true from the handler when the message was handled, with its result in Result.
    using THandler = std::function<bool(UINT Msg, WPARAM WParam, LPARAM LParam, LRESULT& Result)>;

    explicit TMessageWindow(THandler Handler);
    ~TMessageWindow() override;
    HWND Handle() const { return FHandle; }

private:
    static LRESULT CALLBACK WndProc(HWND Wnd, UINT Msg, WPARAM WParam, LPARAM LParam);
    THandler FHandler;
    HWND FHandle = nullptr;
};
