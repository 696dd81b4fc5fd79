#include "ui/MessageWindow_win.h"

#include "base/Exception.h"
#include "ui/Forms_win.h"

namespace {
const char* const ClassName = "PelorinMessageWindow";
}

TMessageWindow::TMessageWindow(THandler Handler) : FHandler(std::move(Handler)) {
    static bool registered = false;
    if (!registered) {
        WNDCLASSA wc = {};
        wc.lpfnWndProc = WndProc;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.lpszClassName = ClassName;
        RegisterClassA(&wc);
        registered = true;
    }
    // A plain hidden top-level window rather than a message-only one: broadcasts such as
    // the shell's restart notice reach it, and it can own a popup menu.
    FHandle = CreateWindowExA(WS_EX_TOOLWINDOW, ClassName, "", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                              GetModuleHandleA(nullptr), nullptr);
    if (!FHandle) throw Exception("Unable to create a hidden window");
    SetWindowLongPtrA(FHandle, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

TMessageWindow::~TMessageWindow() {
    SetWindowLongPtrA(FHandle, GWLP_USERDATA, 0);
    DestroyWindow(FHandle);
}

LRESULT CALLBACK TMessageWindow::WndProc(HWND Wnd, UINT Msg, WPARAM WParam, LPARAM LParam) {
    auto* self = reinterpret_cast<TMessageWindow*>(GetWindowLongPtrA(Wnd, GWLP_USERDATA));
    if (self && self->FHandler) {
        LRESULT result = 0;
        bool handled = false;
        Guarded([&] { handled = self->FHandler(Msg, WParam, LParam, result); });
        if (handled) return result;
    }
    return DefWindowProcA(Wnd, Msg, WParam, LParam);
}
