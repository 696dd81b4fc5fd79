#pragma once
// One icon in the notification area: shell notifications become component events, the
// popup menu opens at the cursor, the icon can cycle through an image list, and the main
// form is kept out of the taskbar while it is hidden. The shell's callbacks and its
// "TaskbarCreated" broadcast arrive at the shared hidden window.
#include <windows.h>
#include <shellapi.h>

#include <functional>
#include <memory>
#include <string>

#include "base/Component.h"
#include "tray/SimpleTimer_win.h"
#include "ui/ControlHook_win.h"
#include "ui/Graphics_win.h"
#include "ui/ImgList_win.h"
#include "ui/Menus_win.h"
#include "ui/MessageWindow_win.h"

enum TMouseButton { mbLeft, mbRight, mbMiddle };
// Keys held and the button of the event.
enum : unsigned { ssShift = 1, ssAlt = 2, ssCtrl = 4, ssLeft = 8, ssRight = 16, ssMiddle = 32 };
using TShiftState = unsigned;

using TMouseEvent =
    std::function<void(TObject* Sender, TMouseButton Button, TShiftState Shift, int X, int Y)>;
using TMouseMoveEvent = std::function<void(TObject* Sender, TShiftState Shift, int X, int Y)>;
using TCycleEvent = std::function<void(TObject* Sender, int NextIndex)>;
using TStartupEvent = std::function<void(TObject* Sender, bool& ShowMainForm)>;

// The shell's callback message for our icons.
const UINT WM_TRAYNOTIFY = 0x800;
// The longest tooltip the notification record holds.
const int MaxHintLength = 127;

class TTrayIcon : public TComponent {
public:
    explicit TTrayIcon(TComponent* AOwner);
    ~TTrayIcon() override;

    // Called once by the owner when it has created its components: takes the start-up
    // decision and puts the icon into the notification area when IconVisible. Until then
    // the properties are only stored.
    void Loaded();

    bool DesignPreview = false;
    TImageList* IconList() const { return FIconList; }
    void SetIconList(TImageList* Value);
    bool CycleIcons() const { return FCycleIcons; }
    void SetCycleIcons(bool Value);
    unsigned CycleInterval() const { return FCycleInterval; }
    void SetCycleInterval(unsigned Value);
    bool Enabled = true;
    const std::string& Hint() const { return FHint; }
    void SetHint(const std::string& Value);
    bool ShowHint() const { return FShowHint; }
    void SetShowHint(bool Value);
    // The picture shown; loading another image into it updates the shell's icon.
    TIcon& Icon() { return FIcon; }
    void SetIcon(const TIcon& Value);
    bool IconVisible() const { return FIconVisible; }
    void SetIconVisible(bool Value);
    int IconIndex() const { return FIconIndex; }
    void SetIconIndex(int Value);
    TPopupMenu* PopupMenu() const { return FPopupMenu; }
    void SetPopupMenu(TPopupMenu* Value);
    bool LeftPopup = false;
    bool WantEnterExitEvents() const { return FWantEnterExitEvents; }
    void SetWantEnterExitEvents(bool Value);
    bool MinimizeToTray = false;

    TNotifyEvent OnClick;
    TNotifyEvent OnDblClick;
    TMouseEvent OnMouseDown;
    TMouseEvent OnMouseUp;
    TMouseMoveEvent OnMouseMove;
    TNotifyEvent OnMouseEnter;
    TNotifyEvent OnMouseExit;
    TCycleEvent OnCycle;
    TNotifyEvent OnBalloonHintClick;
    TNotifyEvent OnBalloonHintHide;
    TNotifyEvent OnBalloonHintTimeout;
    TStartupEvent OnStartup;

    virtual bool ShowIcon();
    virtual bool HideIcon();
    virtual bool ModifyIcon();
    void ShowMainForm();
    void HideMainForm();
    void PopupAtCursor();

    // The identifier of this icon in the notification record (unique among the icons),
    // for tests that play the shell's part.
    UINT Identity() const { return FData.uID; }
    // The message the shell broadcasts when it restarts; 0 when not registered.
    static UINT TaskbarCreatedMessage();
    // The behaviour version sent to the shell: 0 keeps the first notification protocol.
    int BehaviourVersion = 0;

protected:
    virtual void Click();
    virtual void DblClick();
    virtual void DoCycle(int NextIndex);
    virtual void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y);
    virtual void MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y);
    virtual void MouseMove(TShiftState Shift, int X, int Y);
    virtual void MouseEnter();
    virtual void MouseExit();
    virtual void DoMinimizeToTray();
    void Notification(TComponent* AComponent, TOperation Operation) override;

private:
    bool HandleMessage(UINT Msg, WPARAM WParam, LPARAM LParam, LRESULT& Result);
    void HandleCallback(UINT Message);
    void FillRecord();
    void CycleTick();
    void ClickTick();
    void EnterExitTick();
    // Watches the application's window (minimising) and the form's (showing it brings the
    // program to the front); quietly nothing when the system refuses the hook.
    void HookWindows();
    HWND OwnerWindow() const;

    TSharedWindow FWindow;
    NOTIFYICONDATAA FData = {};
    TIcon FIcon;
    TImageList* FIconList = nullptr;
    TPopupMenu* FPopupMenu = nullptr;
    bool FCycleIcons = false;
    unsigned FCycleInterval = 0;
    std::string FHint;
    bool FShowHint = true;
    bool FIconVisible = false;
    int FIconIndex = 0;
    bool FWantEnterExitEvents = false;
    bool FLoading = true;
    bool FAdded = false;  // the shell holds the icon

    std::unique_ptr<TSimpleTimer> FCycleTimer, FClickTimer, FExitTimer;
    bool FLeftDown = false;
    bool FClickPending = false;
    bool FDblClickSeen = false;
    bool FCursorOutside = true;
    bool FStartupPending = true;
    POINT FLastMove = {0, 0};
    TControlHook FAppHook, FFormHook;
};
