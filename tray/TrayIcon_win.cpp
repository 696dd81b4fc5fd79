#include "tray/TrayIcon_win.h"

#include <commctrl.h>
#include <shlwapi.h>

#include <cstring>

#include "base/Dispatcher.h"
#include "ui/Forms_win.h"
#include "ui/SystemFunction_win.h"

namespace {
// Only Windows XP-era record fields: the 488-byte form every shell since 2000 accepts.
const DWORD RecordSize = 488;
// The first icon is number 1, as a shell that lost it would guess.
UINT NextIdentity = 1;

UINT RegisterTaskbarCreated() {
    // Shells older than the 4.71 common controls never send it.
    auto getVersion = SystemFunction<HRESULT(CALLBACK*)(DLLVERSIONINFO*)>("comctl32.dll", "DllGetVersion");
    DLLVERSIONINFO dvi = {};
    dvi.cbSize = sizeof(dvi);
    if (!getVersion || FAILED(getVersion(&dvi))) return 0;
    if (dvi.dwMajorVersion < 4 || (dvi.dwMajorVersion == 4 && dvi.dwMinorVersion <= 70)) return 0;
    return RegisterWindowMessageA("TaskbarCreated");
}

TShiftState KeyShift() {
    TShiftState s = 0;
    if (GetKeyState(VK_SHIFT) < 0) s |= ssShift;
    if (GetKeyState(VK_MENU) < 0) s |= ssAlt;
    if (GetKeyState(VK_CONTROL) < 0) s |= ssCtrl;
    return s;
}
}  // namespace

UINT TTrayIcon::TaskbarCreatedMessage() {
    static const UINT message = RegisterTaskbarCreated();
    return message;
}

TTrayIcon::TTrayIcon(TComponent* AOwner)
    : TComponent(AOwner), FWindow([this](UINT Msg, WPARAM WParam, LPARAM LParam, LRESULT& Result) {
          return HandleMessage(Msg, WParam, LParam, Result);
      }) {
    TaskbarCreatedMessage();
    UINT id = NextIdentity++;
    FIcon.OnChange = [this](TObject*) { ModifyIcon(); };
    FData.cbSize = RecordSize;
    FData.hWnd = FWindow.Handle();
    FData.uID = id;
    FData.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    FData.uCallbackMessage = WM_TRAYNOTIFY;
    FCycleTimer = std::make_unique<TSimpleTimer>([this](TSimpleTimer*) { CycleTick(); }, this);
    FClickTimer = std::make_unique<TSimpleTimer>([this](TSimpleTimer*) { ClickTick(); }, this);
    FExitTimer = std::make_unique<TSimpleTimer>([this](TSimpleTimer*) { EnterExitTick(); }, this);
    HookWindows();
}

void TTrayIcon::HookWindows() {
    try {
        if (Application && Application->Handle())
            FAppHook.Attach(Application->Handle(), [this](UINT Msg, WPARAM WParam, LPARAM, LRESULT&) {
                if (Msg == WM_SIZE && WParam == SIZE_MINIMIZED && MinimizeToTray) {
                    DoMinimizeToTray();
                } else if (Msg == WM_WINDOWPOSCHANGED && FStartupPending && Application &&
                           Application->MainForm) {
                    // Only a multiple-document frame is shown by the application itself; our
                    // forms are not, so there is nothing to ask here.
                    FStartupPending = false;
                }
                return false;
            });
        if (HWND form = OwnerWindow())
            FFormHook.Attach(form, [form](UINT Msg, WPARAM WParam, LPARAM LParam, LRESULT&) {
                if (Msg == WM_SHOWWINDOW && WParam && LParam == 0) {
                    if (Application) SetForegroundWindow(Application->Handle());
                    SetForegroundWindow(form);
                }
                return false;
            });
    } catch (const std::exception&) {
        // The icon works without them: the form just does not minimise to the tray.
    }
}

TTrayIcon::~TTrayIcon() {
    BeginDestroy();
    HideIcon();
    FCycleTimer.reset();
    FClickTimer.reset();
    FExitTimer.reset();
    FIcon.OnChange = nullptr;
    FAppHook.Detach();
    FFormHook.Detach();
}

bool TTrayIcon::HandleMessage(UINT Msg, WPARAM WParam, LPARAM LParam, LRESULT& Result) {
    if (Msg == WM_TRAYNOTIFY && WParam == FData.uID) {
        HandleCallback(static_cast<UINT>(LParam));
        Result = 0;
        return true;
    }
    // The shell restarted without our icons: every visible one goes back, so each icon
    // hears the broadcast.
    if (Msg != 0 && Msg == TaskbarCreatedMessage() && FIconVisible) ShowIcon();
    return false;
}

HWND TTrayIcon::OwnerWindow() const {
    auto* owner = dynamic_cast<TWinControl*>(Owner());
    return owner ? owner->Handle() : nullptr;
}

void TTrayIcon::Loaded() {
    if (!FLoading) return;
    if (OwnerWindow()) {
        bool show = true;
        Raise(OnStartup, this, show);
        if (!show) {
            if (Application) Application->ShowMainForm = false;
            HideMainForm();
        }
    }
    FLoading = false;
    ModifyIcon();
    SetIconVisible(FIconVisible);
    SetCycleIcons(FCycleIcons);
    SetWantEnterExitEvents(FWantEnterExitEvents);
    if (FAdded) {
        NOTIFYICONDATAA data = FData;
        data.uVersion = BehaviourVersion == 1 ? 3 : 0;
        Shell_NotifyIconA(NIM_SETVERSION, &data);
    }
}

void TTrayIcon::FillRecord() {
    FData.hIcon = FIcon.Handle();
    std::memset(FData.szTip, 0, sizeof(FData.szTip));
    if (FShowHint) std::strncpy(FData.szTip, FHint.c_str(), MaxHintLength);
}

bool TTrayIcon::ShowIcon() {
    FIconVisible = true;
    if (FLoading) return false;
    FillRecord();
    // Counted as added even when the shell refuses: it may already hold the icon, and a
    // later delete is harmless either way.
    FAdded = true;
    return Shell_NotifyIconA(NIM_ADD, &FData) != FALSE;
}

bool TTrayIcon::HideIcon() {
    FIconVisible = false;
    if (FLoading || !FAdded) return false;
    FAdded = false;
    return Shell_NotifyIconA(NIM_DELETE, &FData) != FALSE;
}

bool TTrayIcon::ModifyIcon() {
    // An icon the shell does not hold has nothing to modify; the next add sends it all.
    if (FLoading || !FAdded) return false;
    FillRecord();
    return Shell_NotifyIconA(NIM_MODIFY, &FData) != FALSE;
}

void TTrayIcon::SetIcon(const TIcon& Value) {
    TNotifyEvent saved = FIcon.OnChange;
    FIcon.OnChange = nullptr;
    FIcon.Assign(Value);
    FIcon.OnChange = saved;
    ModifyIcon();
}

void TTrayIcon::SetIconVisible(bool Value) {
    if (Value)
        ShowIcon();
    else
        HideIcon();
}

void TTrayIcon::SetIconList(TImageList* Value) {
    if (FIconList) RemoveFreeNotification(FIconList);
    FIconList = Value;
    if (FIconList) FreeNotification(FIconList);
    SetIconIndex(0);
}

void TTrayIcon::SetIconIndex(int Value) {
    if (FIconList && FIconList->Count() > 0) {
        FIconIndex = Value < 0 ? 0 : Value;
        if (FIconIndex > FIconList->Count() - 1) FIconIndex = FIconList->Count() - 1;
        FIconList->GetIcon(FIconIndex, FIcon);
    } else {
        FIconIndex = 0;
    }
    ModifyIcon();
}

void TTrayIcon::SetCycleIcons(bool Value) {
    FCycleIcons = Value;
    if (FLoading) return;
    if (Value) {
        SetIconIndex(0);
        FCycleTimer->Start(FCycleInterval);
    } else {
        FCycleTimer->Stop();
    }
}

void TTrayIcon::SetCycleInterval(unsigned Value) {
    FCycleInterval = Value;
    SetCycleIcons(FCycleIcons);
}

void TTrayIcon::SetHint(const std::string& Value) {
    FHint = Value.substr(0, MaxHintLength);
    ModifyIcon();
}

void TTrayIcon::SetShowHint(bool Value) {
    FShowHint = Value;
    ModifyIcon();
}

void TTrayIcon::SetPopupMenu(TPopupMenu* Value) {
    if (FPopupMenu) RemoveFreeNotification(FPopupMenu);
    FPopupMenu = Value;
    if (FPopupMenu) FreeNotification(FPopupMenu);
}

void TTrayIcon::SetWantEnterExitEvents(bool Value) {
    FWantEnterExitEvents = Value;
    if (FLoading) return;
    if (Value)
        FExitTimer->Start(20);
    else
        FExitTimer->Stop();
}

void TTrayIcon::Notification(TComponent* AComponent, TOperation Operation) {
    TComponent::Notification(AComponent, Operation);
    if (Operation != opRemove) return;
    if (AComponent == FIconList) {
        FIconList = nullptr;
        FIconIndex = 0;
    }
    if (AComponent == FPopupMenu) FPopupMenu = nullptr;
}

void TTrayIcon::ShowMainForm() {
    if (!OwnerWindow() || !Application || !Application->MainForm) return;
    Application->Restore();
    TForm* form = Application->MainForm;
    if (form->WindowState() == wsMinimized) form->SetWindowState(wsNormal);
    form->SetVisible(true);
    SetForegroundWindow(Application->Handle());
}

void TTrayIcon::HideMainForm() {
    if (!OwnerWindow() || !Application || !Application->MainForm) return;
    Application->MainForm->SetVisible(false);
    Application->ShowTaskbarWindow(false);
}

void TTrayIcon::PopupAtCursor() {
    POINT p;
    if (!FPopupMenu || !FPopupMenu->AutoPopup || !GetCursorPos(&p)) return;
    if (Application) {
        SetForegroundWindow(Application->Handle());
        Application->ProcessMessages();
    }
    // The menu only closes on a click elsewhere when its owner window is in front.
    SetForegroundWindow(FPopupMenu->Window());
    FPopupMenu->PopupComponent = this;
    FPopupMenu->Popup(p.x, p.y);
    HWND owner = OwnerWindow();
    PostMessageA(owner ? owner : FPopupMenu->Window(), WM_NULL, 0, 0);
}

void TTrayIcon::HandleCallback(UINT Message) {
    POINT p = {0, 0};
    GetCursorPos(&p);
    TShiftState shift = KeyShift();
    bool mouse = (Message >= WM_MOUSEFIRST && Message <= WM_MOUSELAST) || Message == WM_CONTEXTMENU ||
                 Message == NIN_SELECT || Message == NIN_KEYSELECT;
    if (mouse && !Enabled) return;
    switch (Message) {
    case WM_MOUSEMOVE:
        if (FWantEnterExitEvents && FCursorOutside) {
            FCursorOutside = false;
            MouseEnter();
        }
        MouseMove(shift, p.x, p.y);
        FLastMove = p;
        break;
    case WM_LBUTTONDOWN:
        if (OnDblClick) FClickTimer->Start(GetDoubleClickTime());
        MouseDown(mbLeft, shift | ssLeft, p.x, p.y);
        FLeftDown = true;
        if (LeftPopup) PopupAtCursor();
        break;
    case WM_LBUTTONUP:
        if (FLeftDown) {
            FClickPending = true;
            if (!FClickTimer->Active()) {
                FClickPending = false;
                Click();
            }
        }
        FLeftDown = false;
        MouseUp(mbLeft, shift | ssLeft, p.x, p.y);
        break;
    case WM_LBUTTONDBLCLK:
        FClickPending = false;
        FDblClickSeen = true;
        DblClick();
        if (FPopupMenu && FPopupMenu->AutoPopup && !LeftPopup) FPopupMenu->ClickDefault();
        break;
    case WM_RBUTTONDOWN:
        MouseDown(mbRight, shift | ssRight, p.x, p.y);
        PopupAtCursor();
        break;
    case WM_RBUTTONUP:
        if (BehaviourVersion == 0) MouseUp(mbRight, shift | ssRight, p.x, p.y);
        break;
    case WM_MBUTTONDOWN:
        MouseDown(mbMiddle, shift | ssMiddle, p.x, p.y);
        break;
    case WM_MBUTTONUP:
        MouseUp(mbMiddle, shift | ssMiddle, p.x, p.y);
        break;
    case WM_CONTEXTMENU:
    case NIN_SELECT:
    case NIN_KEYSELECT:
        if (BehaviourVersion == 1) MouseUp(mbRight, shift | ssRight, p.x, p.y);
        break;
    case NIN_BALLOONHIDE:
        Raise(OnBalloonHintHide, this);
        break;
    case NIN_BALLOONTIMEOUT:
        Raise(OnBalloonHintTimeout, this);
        break;
    case NIN_BALLOONUSERCLICK:
        Raise(OnBalloonHintClick, this);
        break;
    }
}

void TTrayIcon::ClickTick() {
    FClickTimer->Stop();
    if (!FDblClickSeen && FClickPending) {
        FClickPending = false;
        Click();
    }
    FDblClickSeen = false;
}

// The image shown when the animation started has had its interval: every tick shows the
// next one, so the first frame lasts no longer than the others.
void TTrayIcon::CycleTick() {
    if (!FIconList || FIconList->Count() == 0) return;
    const int count = FIconList->Count();
    FIconIndex = FIconIndex + 1 >= count ? 0 : FIconIndex + 1;
    FIconList->GetIcon(FIconIndex, FIcon);
    DoCycle(FIconIndex + 1 >= count ? 0 : FIconIndex + 1);
}

void TTrayIcon::EnterExitTick() {
    if (FCursorOutside) return;
    POINT p;
    if (!GetCursorPos(&p)) return;
    if (p.x != FLastMove.x || p.y != FLastMove.y) {
        FCursorOutside = true;
        MouseExit();
    }
}

void TTrayIcon::Click() { Raise(OnClick, this); }
void TTrayIcon::DblClick() { Raise(OnDblClick, this); }
void TTrayIcon::DoCycle(int NextIndex) { Raise(OnCycle, this, NextIndex); }
void TTrayIcon::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
    Raise(OnMouseDown, this, Button, Shift, X, Y);
}
void TTrayIcon::MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) {
    Raise(OnMouseUp, this, Button, Shift, X, Y);
}
void TTrayIcon::MouseMove(TShiftState Shift, int X, int Y) { Raise(OnMouseMove, this, Shift, X, Y); }
void TTrayIcon::MouseEnter() { Raise(OnMouseEnter, this); }
void TTrayIcon::MouseExit() { Raise(OnMouseExit, this); }

void TTrayIcon::DoMinimizeToTray() {
    HideMainForm();
    ShowIcon();
}
