#pragma once
// The window layer: one C++ object per window (our own classes bound through TWindow), and
// the application object with the message loop.
#include <windows.h>

#include <exception>
#include <memory>
#include <string>

#include "base/Component.h"
#include "ui/Dpi_win.h"
#include "ui/Window_win.h"

class TWindowDispatcher;

// Layouts are written in pixels of a 96-dpi screen; these convert them to the pixels of the
// system DPI and back (rounding up). A control scales by the DPI of its form instead
// (TWinControl::Scaled), which follows the form from monitor to monitor.
int ScalePixels(int Logical);
int UnscalePixels(int Physical);

// Where a control's window lives: the parent window and the offset of the control's
// coordinates inside it (group boxes only frame their controls, they do not parent them).
struct THost {
    HWND Window = nullptr;
    int DX = 0;
    int DY = 0;
};

class TWinControl : public TComponent, public TWindow {
public:
    TWinControl(TComponent* AOwner, TWinControl* AParent);
    ~TWinControl() override;

    TWinControl* Parent() const { return FParent; }

    void SetBounds(int Left, int Top, int Width, int Height);
    int Left() const { return FLeft; }
    int Top() const { return FTop; }
    int Width() const { return FWidth; }
    int Height() const { return FHeight; }

    virtual bool Visible() const;
    virtual void SetVisible(bool Value);
    bool Enabled() const;
    virtual void SetEnabled(bool Value);
    std::string Caption() const;
    void SetCaption(const std::string& Value);
    // The font is not owned by the control. A font of GetFont is shown in its size for the
    // control's DPI (ShownFont); others as they are.
    void SetFont(HFONT Font);
    HFONT Font() const { return FFont; }
    HFONT ShownFont() const;

    // The DPI the control is laid out for: its form's, which follows the monitor.
    int Dpi() const { return FParent ? FParent->Dpi() : FDpi; }
    // Layout pixels (96 DPI) to the control's screen pixels, and back rounding up.
    int Scaled(int Logical) const { return ScaleToDpi(Logical, Dpi()); }
    int Unscaled(int Physical) const { return UnscaleFromDpi(Physical, Dpi()); }
    // Lays the control out again for its form's new DPI: bounds and font.
    virtual void DpiChanged();

    // The window that children of this control are created in, with their offset.
    virtual THost ClientHost() const;

    // Finds the object of one of our windows, or null for a foreign window.
    static TWinControl* FromHandle(HWND Wnd);

    // Reflected notifications from the parent window; true when handled.
    virtual void DoCommand(WORD /*Code*/) {}
    virtual bool DoNotify(NMHDR* /*Header*/, LRESULT& /*Result*/) { return false; }
    virtual HBRUSH DoCtlColor(HDC /*DC*/) { return nullptr; }
    virtual HCURSOR Cursor() const { return nullptr; }
    // A key the form offers its visible controls before the dialog keys (Ctrl+Tab turns
    // the pages); true when the control used it.
    virtual bool DoDialogKey(WPARAM /*Key*/, bool /*Shift*/) { return false; }

protected:
    // Creates the window of a system control class inside the parent's host.
    void CreateControl(const char* ClassName, DWORD Style, DWORD ExStyle, const std::string& Text, int Left,
                       int Top, int Width, int Height);
    // Creates a window of our own class (forms and containers), bound to this control.
    void CreateContainer(HWND ParentWnd, DWORD Style, DWORD ExStyle, const std::string& Text, int Left,
                         int Top, int Width, int Height);
    // Our own windows' messages: reflects the children's notifications to them.
    LRESULT WndProc(UINT Msg, WPARAM WParam, LPARAM LParam) override;
    // Forgets the control's window and destroys it.
    void DestroyControl();

    TWinControl* FParent = nullptr;
    HFONT FFont = nullptr;
    int FLeft = 0, FTop = 0, FWidth = 0, FHeight = 0;
    // Only a control without a parent (a form) keeps its own.
    int FDpi = SystemDpi();
};

enum TWindowState { wsNormal, wsMinimized, wsMaximized };

// What a modal form returns: the system's own dialog results, so that a button's id (IDOK,
// IDCANCEL, which Enter and Escape press) and its modal result are the same number.
enum TModalResult { mrNone = 0, mrOk = IDOK, mrCancel = IDCANCEL };

class TForm : public TWinControl {
public:
    // The first form created becomes the application's main form.
    explicit TForm(TComponent* AOwner);
    ~TForm() override;

    // The form's own visibility, kept apart from the window's: the system hides owned
    // windows while their owner is minimised, which is not the form being hidden.
    bool Visible() const override { return FVisible; }
    void SetVisible(bool Value) override;
    void Show() { SetVisible(true); }
    void Hide() { SetVisible(false); }
    TWindowState WindowState() const;
    void SetWindowState(TWindowState Value);
    // Sets the size of the client area and centres the form on the desktop's work area.
    void SetClientSizeCentered(int Width, int Height);
    // Sets the size of the client area and puts the frame at Left, Top on the screen, moved
    // onto the nearest work area where it would stick out of it.
    void SetClientSizeAt(int Left, int Top, int Width, int Height);

    // Shows the form with its owner and the program's other windows disabled, handles
    // messages until ModalResult is set (by a button's modal result) or the form is hidden
    // (the close box), then hides it, gives the activation back and returns the result
    // (mrCancel when none was set). A WM_QUIT ends it with mrCancel and stays queued for the
    // application's loop. Throws when the form is already showing.
    int ShowModal();
    // Setting it while the form is modal closes the form with that result.
    int ModalResult = mrNone;

    TNotifyEvent OnShow;

    // Offers the key to the form's visible controls; true when one used it.
    bool DialogKey(WPARAM Key, bool Shift);

protected:
    LRESULT WndProc(UINT Msg, WPARAM WParam, LPARAM LParam) override;

private:
    // Gives the keyboard focus back to the control that had it, or to the first one;
    // false when the form has no control to take it.
    bool RestoreFocus();
    // The frame's size for a client area of Width x Height layout pixels at Dpi.
    SIZE FrameSize(int Width, int Height, int Dpi) const;
    // Takes a new DPI: the controls and fonts scale to it and the frame takes Frame.
    void ChangeDpi(int NewDpi, const RECT& Frame);
    void PlaceFrame(int X, int Y, SIZE Size);
    bool FVisible = false;
    bool FModal = false;
    HWND FLastFocus = nullptr;
    // The client area in layout pixels, once a size was set.
    int FClientWidth = 0, FClientHeight = 0;
};

// The application object: made first, on the thread that runs the message loop, it
// installs the program's dispatcher, exception reporter and message handling for its
// lifetime.
class TApplication : public TComponent, public TWindow {
public:
    TApplication();
    ~TApplication() override;

    // Makes the hidden window that stands for the program in the taskbar (Handle()).
    void Initialize();
    const std::string& Title() const { return FTitle; }
    void SetTitle(const std::string& Value);

    TForm* MainForm = nullptr;
    bool ShowMainForm = true;

    // Shows the main form (unless told not to) and runs the message loop until Terminate.
    void Run();
    // Handles every message waiting in the queue, then returns.
    void ProcessMessages();
    void Terminate();
    bool Terminated() const { return FTerminated; }
    // The top-level handler, where ReportException goes: shows the error's message in a
    // message box titled with the application's title; the program goes on running.
    void HandleException(const std::exception& E);
    void Minimize();
    void Restore();

    // Shows or hides the taskbar window along with the main form.
    void ShowTaskbarWindow(bool Visible);

    // Set by tests to collect error messages instead of showing message boxes.
    std::function<void(const std::string&)> OnException;

protected:
    LRESULT WndProc(UINT Msg, WPARAM WParam, LPARAM LParam) override;

private:
    // The dialog keys of the active form, before any message is dispatched.
    bool DialogMessage(MSG& Msg);
    std::string FTitle;
    bool FTerminated = false;
    std::unique_ptr<TWindowDispatcher> FDispatcher;
};

extern TApplication* Application;

// The directory of the running executable with a trailing backslash, and its full path.
std::string ExeFileName();
std::string ExeDirectory();
