#include "ui/Window_win.h"

#include <mutex>
#include <set>

#include "base/Dispatcher.h"
#include "base/Exception.h"

namespace {
// The object's pointer lives in the class's extra bytes, which nobody else touches.
const int ObjectSlot = 0;

TWindow* BoundObject(HWND Wnd) { return reinterpret_cast<TWindow*>(GetWindowLongPtrA(Wnd, ObjectSlot)); }
}  // namespace

void TWindow::Register(const TWindowClass& Class) {
    // Sockets make their windows on their own threads.
    static std::mutex lock;
    static std::set<std::string> done;
    std::lock_guard<std::mutex> hold(lock);
    if (done.count(Class.Name)) return;
    WNDCLASSA wc = {};
    wc.style = Class.Style;
    wc.lpfnWndProc = Proc;
    wc.cbWndExtra = sizeof(TWindow*);
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.hIcon = Class.Icon;
    wc.hCursor = Class.Cursor;
    wc.hbrBackground = Class.Background;
    wc.lpszClassName = Class.Name;
    if (!RegisterClassA(&wc) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS)
        throw Exception("Unable to register the window class " + std::string(Class.Name));
    done.insert(Class.Name);
}

TWindow::~TWindow() { DestroyHandle(); }

void TWindow::CreateHandle(const TWindowClass& Class, DWORD ExStyle, const std::string& Text, DWORD Style,
                           int X, int Y, int Width, int Height, HWND Parent, HMENU Menu) {
    Register(Class);
    // WM_NCCREATE binds the window and sets FHandle before CreateWindowEx returns.
    HWND wnd = CreateWindowExA(ExStyle, Class.Name, Text.c_str(), Style, X, Y, Width, Height, Parent, Menu,
                               GetModuleHandleA(nullptr), this);
    if (!wnd) throw Exception("Unable to create a window of class " + std::string(Class.Name));
}

void TWindow::DestroyHandle() {
    if (!FHandle) return;
    HWND wnd = FHandle;
    FHandle = nullptr;
    // Only a window of our classes is bound; a system control's extra bytes are its own.
    const bool ours = GetClassLongPtrA(wnd, GCLP_WNDPROC) == reinterpret_cast<ULONG_PTR>(&Proc);
    if (ours && BoundObject(wnd) == this) SetWindowLongPtrA(wnd, ObjectSlot, 0);
    if (IsWindow(wnd)) DestroyWindow(wnd);
}

LRESULT TWindow::WndProc(UINT Msg, WPARAM WParam, LPARAM LParam) { return DefaultProc(Msg, WParam, LParam); }

LRESULT TWindow::DefaultProc(UINT Msg, WPARAM WParam, LPARAM LParam) {
    return DefWindowProcA(FHandle, Msg, WParam, LParam);
}

LRESULT CALLBACK TWindow::Proc(HWND Wnd, UINT Msg, WPARAM WParam, LPARAM LParam) {
    if (Msg == WM_NCCREATE) {
        auto* cs = reinterpret_cast<CREATESTRUCTA*>(LParam);
        if (auto* created = static_cast<TWindow*>(cs->lpCreateParams)) {
            SetWindowLongPtrA(Wnd, ObjectSlot, reinterpret_cast<LONG_PTR>(created));
            created->FHandle = Wnd;
        }
    }
    TWindow* self = BoundObject(Wnd);
    if (!self) return DefWindowProcA(Wnd, Msg, WParam, LParam);
    if (Msg == WM_NCDESTROY) SetWindowLongPtrA(Wnd, ObjectSlot, 0);
    LRESULT result = 0;
    Guarded([&] { result = self->WndProc(Msg, WParam, LParam); });
    // The window is gone, whoever destroyed it (an owner takes its owned windows along).
    if (Msg == WM_NCDESTROY && self->FHandle == Wnd) self->FHandle = nullptr;
    return result;
}
