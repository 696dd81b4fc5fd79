#include "ui/Forms_win.h"

#include <commctrl.h>

#include "base/Dispatcher.h"
#include "base/Exception.h"
#include "ui/Graphics_win.h"
#include "ui/MessagePump_win.h"
#include "ui/ScopedHandles_win.h"
#include "ui/WindowDispatcher_win.h"

#include <algorithm>
#include <vector>

TApplication* Application = nullptr;

// Older SDK headers lack the per-monitor messages.
#ifndef WM_DPICHANGED
#define WM_DPICHANGED 0x02E0
#endif
#ifndef WM_GETDPISCALEDSIZE
#define WM_GETDPISCALEDSIZE 0x02E4
#endif

namespace {
// Finds the object of any control's window, ours or of a system class.
const char* const ObjectProp = "PelorinObject";
int NextControlId = 1000;

const TWindowClass& ContainerClass() {
    static const TWindowClass c = {"PelorinWindow", CS_DBLCLKS, LoadCursorA(nullptr, IDC_ARROW),
                                   reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1),
                                   LoadIconA(GetModuleHandleA(nullptr), "MAINICON")};
    return c;
}

const TWindowClass& AppClass() {
    static const TWindowClass c = {"PelorinApplication", 0, LoadCursorA(nullptr, IDC_ARROW), nullptr,
                                   LoadIconA(GetModuleHandleA(nullptr), "MAINICON")};
    return c;
}

BOOL CALLBACK NotifyDpiChanged(HWND Wnd, LPARAM) {
    if (TWinControl* control = TWinControl::FromHandle(Wnd)) control->DpiChanged();
    return TRUE;
}
}  // namespace

int ScalePixels(int Logical) { return ScaleToDpi(Logical, SystemDpi()); }

int UnscalePixels(int Physical) { return UnscaleFromDpi(Physical, SystemDpi()); }

std::string ExeFileName() {
    std::vector<char> buf(MAX_PATH);
    for (;;) {
        DWORD n = GetModuleFileNameA(nullptr, buf.data(), static_cast<DWORD>(buf.size()));
        if (n == 0) return std::string();
        if (n < buf.size()) return std::string(buf.data(), n);
        if (buf.size() >= 32768) return std::string(buf.data(), n);
        buf.resize(buf.size() * 2);
    }
}

std::string ExeDirectory() {
    std::string path = ExeFileName();
    size_t slash = path.find_last_of("\\/:");
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// ---------------------------------------------------------------------------------------

TWinControl::TWinControl(TComponent* AOwner, TWinControl* AParent) : TComponent(AOwner), FParent(AParent) {
    if (AParent) FFont = AParent->Font();
}

TWinControl::~TWinControl() {
    BeginDestroy();
    DestroyControl();
}

void TWinControl::DestroyControl() {
    if (FHandle) RemovePropA(FHandle, ObjectProp);
    DestroyHandle();
}

TWinControl* TWinControl::FromHandle(HWND Wnd) {
    if (!Wnd) return nullptr;
    return static_cast<TWinControl*>(GetPropA(Wnd, ObjectProp));
}

THost TWinControl::ClientHost() const { return THost{FHandle, 0, 0}; }

void TWinControl::CreateControl(const char* ClassName, DWORD Style, DWORD ExStyle, const std::string& Text,
                                int Left, int Top, int Width, int Height) {
    THost host = FParent ? FParent->ClientHost() : THost{};
    FLeft = Left;
    FTop = Top;
    FWidth = Width;
    FHeight = Height;
    int id = NextControlId++;
    if (Tag == IDOK || Tag == IDCANCEL) id = Tag;
    FHandle = CreateWindowExA(ExStyle, ClassName, Text.c_str(), Style | WS_CHILD, Scaled(Left + host.DX),
                              Scaled(Top + host.DY), Scaled(Width), Scaled(Height), host.Window,
                              reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleA(nullptr),
                              nullptr);
    if (!FHandle) throw Exception("Unable to create a window of class " + std::string(ClassName));
    SetPropA(FHandle, ObjectProp, this);
    if (FFont) SendMessageA(FHandle, WM_SETFONT, reinterpret_cast<WPARAM>(ShownFont()), FALSE);
}

void TWinControl::CreateContainer(HWND ParentWnd, DWORD Style, DWORD ExStyle, const std::string& Text,
                                  int Left, int Top, int Width, int Height) {
    FLeft = Left;
    FTop = Top;
    FWidth = Width;
    FHeight = Height;
    HMENU id = (Style & WS_CHILD) ? reinterpret_cast<HMENU>(static_cast<INT_PTR>(NextControlId++)) : nullptr;
    // Child containers follow the layout's pixels; a form's frame is placed by the system
    // and sized afterwards.
    bool child = (Style & WS_CHILD) != 0;
    CreateHandle(ContainerClass(), ExStyle, Text, Style, child ? Scaled(Left) : Left,
                 child ? Scaled(Top) : Top, child ? Scaled(Width) : Width, child ? Scaled(Height) : Height,
                 ParentWnd, id);
    if (FFont) SendMessageA(FHandle, WM_SETFONT, reinterpret_cast<WPARAM>(ShownFont()), FALSE);
}

LRESULT TWinControl::WndProc(UINT Msg, WPARAM WParam, LPARAM LParam) {
    switch (Msg) {
    case WM_NCCREATE:
        // Found by its children from their first notification on.
        SetPropA(FHandle, ObjectProp, this);
        break;
    case WM_COMMAND:
        if (TWinControl* child = FromHandle(reinterpret_cast<HWND>(LParam))) {
            child->DoCommand(HIWORD(WParam));
            return 0;
        }
        break;
    case WM_NOTIFY: {
        auto* hdr = reinterpret_cast<NMHDR*>(LParam);
        LRESULT result = 0;
        if (TWinControl* child = FromHandle(hdr->hwndFrom))
            if (child->DoNotify(hdr, result)) return result;
        break;
    }
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN:
        if (TWinControl* child = FromHandle(reinterpret_cast<HWND>(LParam)))
            if (HBRUSH brush = child->DoCtlColor(reinterpret_cast<HDC>(WParam)))
                return reinterpret_cast<LRESULT>(brush);
        break;
    case WM_SETCURSOR:
        if (TWinControl* child = FromHandle(reinterpret_cast<HWND>(WParam)))
            if (HCURSOR cursor = child->Cursor()) {
                SetCursor(cursor);
                return TRUE;
            }
        break;
    }
    return DefaultProc(Msg, WParam, LParam);
}

void TWinControl::SetBounds(int Left, int Top, int Width, int Height) {
    FLeft = Left;
    FTop = Top;
    FWidth = Width;
    FHeight = Height;
    if (!FHandle) return;
    THost host = FParent ? FParent->ClientHost() : THost{};
    SetWindowPos(FHandle, nullptr, Scaled(Left + host.DX), Scaled(Top + host.DY), Scaled(Width),
                 Scaled(Height), SWP_NOZORDER | SWP_NOACTIVATE);
}

void TWinControl::DpiChanged() {
    if (!FHandle || !FParent) return;
    SetBounds(FLeft, FTop, FWidth, FHeight);
    if (FFont) SendMessageA(FHandle, WM_SETFONT, reinterpret_cast<WPARAM>(ShownFont()), TRUE);
}

HFONT TWinControl::ShownFont() const { return FontForDpi(FFont, Dpi()); }

bool TWinControl::Visible() const { return FHandle && (GetWindowLongA(FHandle, GWL_STYLE) & WS_VISIBLE); }

void TWinControl::SetVisible(bool Value) {
    if (FHandle) ShowWindow(FHandle, Value ? SW_SHOW : SW_HIDE);
}

bool TWinControl::Enabled() const { return FHandle && IsWindowEnabled(FHandle); }

void TWinControl::SetEnabled(bool Value) {
    if (FHandle) EnableWindow(FHandle, Value);
}

std::string TWinControl::Caption() const {
    if (!FHandle) return std::string();
    int len = GetWindowTextLengthA(FHandle);
    std::string s(static_cast<size_t>(len) + 1, '\0');
    int n = GetWindowTextA(FHandle, &s[0], len + 1);
    s.resize(n > 0 ? static_cast<size_t>(n) : 0);
    return s;
}

void TWinControl::SetCaption(const std::string& Value) {
    if (FHandle) SetWindowTextA(FHandle, Value.c_str());
}

void TWinControl::SetFont(HFONT Font) {
    FFont = Font;
    if (FHandle) SendMessageA(FHandle, WM_SETFONT, reinterpret_cast<WPARAM>(ShownFont()), TRUE);
}

// ---------------------------------------------------------------------------------------

TForm::TForm(TComponent* AOwner) : TWinControl(AOwner, nullptr) {
    HWND owner = Application ? Application->Handle() : nullptr;
    CreateContainer(owner, WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN,
                    WS_EX_CONTROLPARENT | WS_EX_DLGMODALFRAME, "", CW_USEDEFAULT, CW_USEDEFAULT, 320, 240);
    // The monitor the system put the form on; later moves come as WM_DPICHANGED.
    FDpi = WindowDpi(FHandle);
    if (Application && !Application->MainForm) Application->MainForm = this;
}

TForm::~TForm() {
    BeginDestroy();
    if (Application && Application->MainForm == this) Application->MainForm = nullptr;
}

void TForm::SetVisible(bool Value) {
    if (Value == FVisible) {
        // Still make sure the window matches (it may have been hidden with its owner).
        if (Value && !IsWindowVisible(FHandle)) ShowWindow(FHandle, SW_SHOW);
        return;
    }
    bool isMain = Application && Application->MainForm == this;
    if (Value) {
        // The form's own show handler runs first, as the form is about to appear; if it
        // fails, the form stays hidden.
        Raise(OnShow, this);
        FVisible = true;
        if (isMain) Application->ShowTaskbarWindow(true);
        ShowWindow(FHandle, SW_SHOW);
    } else {
        FVisible = false;
        ShowWindow(FHandle, SW_HIDE);
    }
}

TWindowState TForm::WindowState() const {
    if (IsIconic(FHandle)) return wsMinimized;
    if (IsZoomed(FHandle)) return wsMaximized;
    return wsNormal;
}

void TForm::SetWindowState(TWindowState Value) {
    if (Value == WindowState()) return;
    if (Value == wsNormal) {
        if (IsIconic(FHandle) || IsZoomed(FHandle)) ShowWindow(FHandle, SW_RESTORE);
    } else {
        ShowWindow(FHandle, Value == wsMinimized ? SW_MINIMIZE : SW_MAXIMIZE);
    }
}

SIZE TForm::FrameSize(int Width, int Height, int Dpi) const {
    RECT r = {0, 0, ScaleToDpi(Width, Dpi), ScaleToDpi(Height, Dpi)};
    AdjustWindowRectForDpi(r, static_cast<DWORD>(GetWindowLongA(FHandle, GWL_STYLE)),
                           static_cast<DWORD>(GetWindowLongA(FHandle, GWL_EXSTYLE)), Dpi);
    return SIZE{r.right - r.left, r.bottom - r.top};
}

void TForm::ChangeDpi(int NewDpi, const RECT& Frame) {
    FDpi = UsableDpi(NewDpi);
    PlaceFrame(Frame.left, Frame.top, SIZE{Frame.right - Frame.left, Frame.bottom - Frame.top});
    if (FFont) SendMessageA(FHandle, WM_SETFONT, reinterpret_cast<WPARAM>(ShownFont()), FALSE);
    EnumChildWindows(FHandle, NotifyDpiChanged, 0);
    InvalidateRect(FHandle, nullptr, TRUE);
}

void TForm::PlaceFrame(int X, int Y, SIZE Size) {
    SetWindowPos(FHandle, nullptr, X, Y, Size.cx, Size.cy, SWP_NOZORDER | SWP_NOACTIVATE);
    FLeft = X;
    FTop = Y;
    FWidth = Size.cx;
    FHeight = Size.cy;
}

void TForm::SetClientSizeCentered(int Width, int Height) {
    FClientWidth = Width;
    FClientHeight = Height;
    SIZE size = FrameSize(Width, Height, Dpi());
    RECT work = {0, 0, 800, 600};
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
    PlaceFrame(work.left + (work.right - work.left - size.cx) / 2,
               work.top + (work.bottom - work.top - size.cy) / 2, size);
}

void TForm::SetClientSizeAt(int Left, int Top, int Width, int Height) {
    FClientWidth = Width;
    FClientHeight = Height;
    SIZE size = FrameSize(Width, Height, Dpi());
    // A position kept from a bigger or another screen must not leave the form out of reach;
    // the top left corner wins where the form is bigger than the work area.
    RECT frame = {Left, Top, Left + size.cx, Top + size.cy};
    MONITORINFO info = {};
    info.cbSize = sizeof(info);
    RECT work = {0, 0, 800, 600};
    if (GetMonitorInfoA(MonitorFromRect(&frame, MONITOR_DEFAULTTONEAREST), &info)) work = info.rcWork;
    PlaceFrame(std::max<int>(work.left, std::min<int>(Left, work.right - size.cx)),
               std::max<int>(work.top, std::min<int>(Top, work.bottom - size.cy)), size);
}

namespace {
// The windows a modal form turns off: the program's visible, enabled top-level windows and
// the form's owner (even hidden, so that nothing shows it meanwhile).
struct TDisabledWindows {
    HWND Modal;
    std::vector<HWND> Windows;
    void Disable(HWND Wnd) {
        if (!Wnd || Wnd == Modal || !IsWindowEnabled(Wnd)) return;
        Windows.push_back(Wnd);
        EnableWindow(Wnd, FALSE);
    }
};

BOOL CALLBACK DisableTaskWindow(HWND Wnd, LPARAM Param) {
    if (IsWindowVisible(Wnd)) reinterpret_cast<TDisabledWindows*>(Param)->Disable(Wnd);
    return TRUE;
}
}  // namespace

int TForm::ShowModal() {
    if (FModal || FVisible) throw Exception("Cannot make a visible window modal");
    ModalResult = mrNone;
    HWND wasActive = GetActiveWindow();
    auto* owner = dynamic_cast<TForm*>(Owner());
    TDisabledWindows disabled = {FHandle, {}};
    if (owner) disabled.Disable(owner->Handle());
    EnumThreadWindows(GetCurrentThreadId(), DisableTaskWindow, reinterpret_cast<LPARAM>(&disabled));
    // Re-enabled before the form hides, so that the system hands the activation back to one
    // of ours and not to another program's window.
    auto end = [&] {
        FModal = false;
        for (HWND w : disabled.Windows)
            if (IsWindow(w)) EnableWindow(w, TRUE);
        Hide();
        HWND back = owner && owner->Visible() ? owner->Handle() : wasActive;
        if (back && back != FHandle && IsWindow(back) && IsWindowVisible(back)) SetForegroundWindow(back);
    };
    FModal = true;
    try {
        Show();
        // The program may live in the tray with no window up: the form still comes to the
        // front, and its activation puts the focus in its first control.
        SetForegroundWindow(FHandle);
        if (WaitHandlingMessages([this] { return ModalResult != mrNone || !FVisible || !FHandle; },
                                 INFINITE) == wrQuit)
            ModalResult = mrCancel;
    } catch (...) {
        end();
        throw;
    }
    if (ModalResult == mrNone) ModalResult = mrCancel;
    end();
    return ModalResult;
}

LRESULT TForm::WndProc(UINT Msg, WPARAM WParam, LPARAM LParam) {
    bool isMain = Application && Application->MainForm == this;
    switch (Msg) {
    case WM_CLOSE:
        // Closing the main form ends the program; other forms just hide.
        if (isMain)
            Application->Terminate();
        else
            Hide();
        return 0;
    case WM_ACTIVATE:
        // Typing goes to a control, never to the bare form: the one last used, or the first.
        if (LOWORD(WParam) == WA_INACTIVE) {
            HWND focus = GetFocus();
            if (focus && IsChild(FHandle, focus)) FLastFocus = focus;
        } else if (!HIWORD(WParam) && RestoreFocus()) {
            return 0;
        }
        break;
    case WM_SETFOCUS:
        RestoreFocus();
        return 0;
    case WM_SYSCOMMAND:
        if ((WParam & 0xFFF0) == SC_MINIMIZE && isMain) {
            Application->Minimize();
            return 0;
        }
        break;
    case WM_GETDPISCALEDSIZE:
        // The frame the layout needs at the new DPI, which the system then suggests.
        if (FClientWidth > 0 && LParam) {
            *reinterpret_cast<SIZE*>(LParam) = FrameSize(FClientWidth, FClientHeight, LOWORD(WParam));
            return TRUE;
        }
        break;
    case WM_DPICHANGED:
        if (LParam) ChangeDpi(LOWORD(WParam), *reinterpret_cast<const RECT*>(LParam));
        return 0;
    }
    return TWinControl::WndProc(Msg, WParam, LParam);
}

bool TForm::RestoreFocus() {
    HWND target = FLastFocus;
    if (!target || !IsChild(FHandle, target) || !IsWindowVisible(target) || !IsWindowEnabled(target))
        target = GetNextDlgTabItem(FHandle, nullptr, FALSE);
    if (!target || target == FHandle) return false;
    SetFocus(target);
    return true;
}

namespace {
struct TDialogKey {
    WPARAM Key;
    bool Shift;
    bool Used;
};

BOOL CALLBACK OfferDialogKey(HWND Wnd, LPARAM Param) {
    auto* ask = reinterpret_cast<TDialogKey*>(Param);
    TWinControl* control = TWinControl::FromHandle(Wnd);
    if (control && IsWindowVisible(Wnd) && control->DoDialogKey(ask->Key, ask->Shift)) {
        ask->Used = true;
        return FALSE;
    }
    return TRUE;
}
}  // namespace

bool TForm::DialogKey(WPARAM Key, bool Shift) {
    TDialogKey ask = {Key, Shift, false};
    EnumChildWindows(FHandle, OfferDialogKey, reinterpret_cast<LPARAM>(&ask));
    return ask.Used;
}

// ---------------------------------------------------------------------------------------

// The dispatcher is installed here, before any form or component exists that could post,
// and on the thread that runs the message loop, which is where posted work must run; the
// reporter and the dialog keys likewise serve every message loop and wait from now on.
TApplication::TApplication() : FDispatcher(std::make_unique<TWindowDispatcher>()) {
    Application = this;
    SetDispatcher(FDispatcher.get());
    SetExceptionReporter([this](const std::exception& E) { HandleException(E); });
    SetMessageHook([this](MSG& Msg) { return DialogMessage(Msg); });
}

TApplication::~TApplication() {
    BeginDestroy();
    SetMessageHook(nullptr);
    SetExceptionReporter(nullptr);
    SetDispatcher(nullptr);
    FDispatcher.reset();
    DestroyHandle();
    if (Application == this) Application = nullptr;
}

void TApplication::Initialize() {
    if (FHandle) return;
    INITCOMMONCONTROLSEX icc = {sizeof(icc), ICC_WIN95_CLASSES | ICC_TAB_CLASSES | ICC_UPDOWN_CLASS};
    InitCommonControlsEx(&icc);
    // A zero-sized window in the middle of the screen: it only gives the program its
    // taskbar button and owns the forms, so that they have no buttons of their own.
    int x = GetSystemMetrics(SM_CXSCREEN) / 2, y = GetSystemMetrics(SM_CYSCREEN) / 2;
    CreateHandle(AppClass(), 0, FTitle, WS_POPUP | WS_CAPTION | WS_CLIPSIBLINGS | WS_SYSMENU | WS_MINIMIZEBOX,
                 x, y, 0, 0, nullptr, nullptr);
}

void TApplication::SetTitle(const std::string& Value) {
    FTitle = Value;
    if (FHandle) SetWindowTextA(FHandle, Value.c_str());
}

LRESULT TApplication::WndProc(UINT Msg, WPARAM WParam, LPARAM LParam) {
    switch (Msg) {
    case WM_CLOSE:
    case WM_ENDSESSION:
        if (Msg == WM_ENDSESSION && !WParam) break;
        Terminate();
        return 0;
    case WM_ACTIVATE:
        // The taskbar window has nothing to type into: hand the focus to the main form.
        if (LOWORD(WParam) != WA_INACTIVE && MainForm && MainForm->Visible() && !IsIconic(FHandle))
            SetFocus(MainForm->Handle());
        return 0;
    }
    return DefaultProc(Msg, WParam, LParam);
}

void TApplication::ShowTaskbarWindow(bool Visible) {
    if (!FHandle) return;
    if (Visible && !IsWindowVisible(FHandle))
        ShowWindow(FHandle, SW_SHOWNOACTIVATE);
    else if (!Visible && IsWindowVisible(FHandle))
        ShowWindow(FHandle, SW_HIDE);
}

bool TApplication::DialogMessage(MSG& Msg) {
    HWND active = GetActiveWindow();
    auto* form = active ? dynamic_cast<TForm*>(TWinControl::FromHandle(active)) : nullptr;
    if (!form) return false;
    if (Msg.message == WM_KEYDOWN && Msg.wParam == VK_TAB && GetKeyState(VK_CONTROL) < 0 &&
        form->DialogKey(VK_TAB, GetKeyState(VK_SHIFT) < 0))
        return true;
    return IsDialogMessageA(active, &Msg) != FALSE;
}

void TApplication::Run() {
    if (ShowMainForm && MainForm) Guarded([&] { MainForm->Show(); });
    MSG msg;
    while (!FTerminated) {
        BOOL r = GetMessageA(&msg, nullptr, 0, 0);
        if (r == 0 || r == -1) {
            FTerminated = true;
            break;
        }
        HandleMessage(msg);
    }
}

void TApplication::ProcessMessages() {
    if (!HandlePendingMessages()) FTerminated = true;
}

void TApplication::Terminate() {
    if (FTerminated) return;
    FTerminated = true;
    PostQuitMessage(0);
}

void TApplication::HandleException(const std::exception& E) {
    std::string msg = E.what();
    if (OnException) {
        OnException(msg);
        return;
    }
    HWND owner = GetActiveWindow();
    if (!owner) owner = FHandle;
    MessageBoxA(owner, msg.c_str(), FTitle.c_str(), MB_OK | MB_ICONERROR);
}

void TApplication::Minimize() {
    if (FHandle && !IsIconic(FHandle)) ShowWindow(FHandle, SW_MINIMIZE);
}

void TApplication::Restore() {
    if (FHandle && IsIconic(FHandle)) ShowWindow(FHandle, SW_RESTORE);
}
