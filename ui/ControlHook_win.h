#pragma once
// A system control's messages, seen first by the object that made it: for a control of a
// system class (an edit, a tree view) that must take a key or a click its own way. The
// handler runs guarded, like the procedure of our own windows, so nothing it throws
// unwinds through user32.
#include <windows.h>

#include <functional>

class TControlHook {
public:
    // True when the handler took the message, with its answer in Result; otherwise the
    // control handles it as usual.
    using THandler = std::function<bool(UINT Msg, WPARAM WParam, LPARAM LParam, LRESULT& Result)>;

    TControlHook() = default;
    ~TControlHook();
    TControlHook(const TControlHook&) = delete;
    TControlHook& operator=(const TControlHook&) = delete;

    // Hooks Control until Detach or its destruction; throws when the system refuses.
    void Attach(HWND Control, THandler Handler);
    void Detach();
    // The control's own handling of the message being handled, for a handler that adds to
    // it; only from inside the handler.
    LRESULT Default(UINT Msg, WPARAM WParam, LPARAM LParam);

private:
    static LRESULT CALLBACK Proc(HWND Wnd, UINT Msg, WPARAM WParam, LPARAM LParam, UINT_PTR Id,
                                 DWORD_PTR Data);
    HWND FWnd = nullptr;
    THandler FHandler;
};
