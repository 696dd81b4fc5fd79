#include "ui/ControlHook_win.h"

#include <commctrl.h>

#include <utility>

#include "base/Dispatcher.h"
#include "base/Exception.h"

TControlHook::~TControlHook() { Detach(); }

void TControlHook::Attach(HWND Control, THandler Handler) {
    Detach();
    if (!SetWindowSubclass(Control, Proc, reinterpret_cast<UINT_PTR>(this),
                           reinterpret_cast<DWORD_PTR>(this)))
        throw Exception("Unable to hook a control's messages");
    FWnd = Control;
    FHandler = std::move(Handler);
}

void TControlHook::Detach() {
    if (!FWnd) return;
    RemoveWindowSubclass(FWnd, Proc, reinterpret_cast<UINT_PTR>(this));
    FWnd = nullptr;
}

LRESULT TControlHook::Default(UINT Msg, WPARAM WParam, LPARAM LParam) {
    return DefSubclassProc(FWnd, Msg, WParam, LParam);
}

LRESULT CALLBACK TControlHook::Proc(HWND Wnd, UINT Msg, WPARAM WParam, LPARAM LParam, UINT_PTR,
                                    DWORD_PTR Data) {
    auto* self = reinterpret_cast<TControlHook*>(Data);
    if (Msg == WM_NCDESTROY) {
        self->Detach();
        return DefSubclassProc(Wnd, Msg, WParam, LParam);
    }
    LRESULT result = 0;
    bool handled = false;
    // A handler that threw may have done part of the work: the control does not get the
    // message a second time.
    if (!Guarded([&] { handled = self->FHandler && self->FHandler(Msg, WParam, LParam, result); })) return 0;
    return handled ? result : DefSubclassProc(Wnd, Msg, WParam, LParam);
}
