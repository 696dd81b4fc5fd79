#include "upgrade/UpdaterQuestion_win.h"

#include <algorithm>

#include "ui/Graphics_win.h"
#include "ui/ScopedHandles_win.h"
#include "upgrade/UpdaterMessage_win.h"
#include "upgrade/UpgradeUtils.h"

namespace {
// Layout pixels: the client area's width, the frame's extra width, the label's place and
// the button row beneath it.
const int kClientWidth = 318, kFrameExtra = 6;
const int kLabelLeft = 45, kLabelTop = 5, kLabelRightGap = 11;
const int kPanelHeight = 45;

// The dialog's 32 x 32 picture: the system's question icon (shared, never freed).
class TQuestionIcon : public TWinControl {
public:
    TQuestionIcon(TComponent* AOwner, TWinControl* AParent) : TWinControl(AOwner, AParent) {
        CreateControl("STATIC", WS_VISIBLE | SS_ICON, 0, "", 7, 5, 32, 32);
        SendMessageA(FHandle, STM_SETICON, reinterpret_cast<WPARAM>(LoadIconA(nullptr, IDI_QUESTION)), 0);
    }
};

// The height of Text wrapped at Width layout pixels in Font.
int WrappedHeight(HWND Wnd, HFONT Font, const std::string& Text, int Width) {
    RECT r = {0, 0, ScalePixels(Width), 0};
    TWindowDC dc(Wnd);
    TSelectObject font(dc.Get(), Font ? Font : GetStockObject(DEFAULT_GUI_FONT));
    DrawTextA(dc.Get(), Text.empty() ? " " : Text.c_str(), -1, &r, DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX);
    return UnscalePixels(r.bottom - r.top);
}
}  // namespace

TUpdaterMessageForm::TUpdaterMessageForm(TComponent* AOwner, const std::string& Title,
                                         const std::string& UpgradeMsg)
    : TForm(AOwner) {
    SetFont(GetFont("Tahoma", 8));
    SetCaption(UpdaterMessage(umWizardCaption));
    // A question, not a window to minimise: a dialog's frame with only the close box.
    SetWindowLongA(Handle(), GWL_STYLE,
                   GetWindowLongA(Handle(), GWL_STYLE) & ~(WS_MINIMIZEBOX | WS_MAXIMIZEBOX));
    new TQuestionIcon(this, this);
    const int labelWidth = kClientWidth + kFrameExtra - kLabelLeft - kLabelRightGap;
    const std::string text = UpgradeQuestionText(UpdaterMessage(umNewerVersion), Title, UpgradeMsg);
    const int labelHeight = std::max(WrappedHeight(Handle(), Font(), text, labelWidth), 32);
    Label1 = new TLabel(this, this, kLabelLeft, kLabelTop, "", labelWidth, labelHeight);
    Label1->SetCaption(text);
    // The button row sits under the text, however long the message.
    const int clientHeight = kLabelTop + labelHeight + kPanelHeight;
    const int row = clientHeight - kPanelHeight + 13;
    YesBtn = new TButton(this, this, 78, row, 75, 23, UpdaterMessage(umYes), true, IDOK);
    YesBtn->ModalResult = IDYES;
    LaterBtn = new TButton(this, this, 167, row, 75, 23, UpdaterMessage(umLater), false, IDCANCEL);
    LaterBtn->ModalResult = IDNO;
    SetClientSizeCentered(kClientWidth, clientHeight);
    StayOnTop();
}

bool TUpdaterMessageForm::Ask() { return ShowModal() == IDYES; }

void TUpdaterMessageForm::StayOnTop() {
    SetWindowPos(Handle(), HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

LRESULT TUpdaterMessageForm::WndProc(UINT Msg, WPARAM WParam, LPARAM LParam) {
    // Asked while the program sits in the tray: another program's window must not hide it.
    if (Msg == WM_SHOWWINDOW && WParam) StayOnTop();
    return TForm::WndProc(Msg, WParam, LParam);
}
