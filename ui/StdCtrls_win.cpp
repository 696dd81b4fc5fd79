#include "ui/StdCtrls_win.h"

#include <commctrl.h>

#include "base/StrUtils.h"
#include "ui/ScopedHandles_win.h"

// ---------------------------------------------------------------------------------------

TLabel::TLabel(TComponent* AOwner, TWinControl* AParent, int Left, int Top, const std::string& Caption,
               int Width, int Height)
    : TWinControl(AOwner, AParent) {
    CreateControl("STATIC", WS_VISIBLE | SS_LEFT | SS_NOTIFY | SS_NOPREFIX, 0, Caption, Left, Top,
                  Width > 0 ? Width : 10, Height > 0 ? Height : 13);
    if (Width <= 0 || Height <= 0) AutoSize();
}

void TLabel::AutoSize() {
    std::string text = Caption();
    RECT r = {0, 0, 0, 0};
    {
        TWindowDC dc(FHandle);
        TSelectObject font(dc.Get(), FFont ? ShownFont() : GetStockObject(DEFAULT_GUI_FONT));
        DrawTextA(dc.Get(), text.empty() ? " " : text.c_str(), -1, &r, DT_CALCRECT | DT_NOPREFIX);
    }
    // A little slack: the control and DrawText may round the last glyph differently.
    SetBounds(FLeft, FTop, Unscaled(r.right - r.left) + 2, Unscaled(r.bottom - r.top));
}

void TLabel::AutoHeight() {
    std::string text = Caption();
    RECT r = {0, 0, Scaled(FWidth), 0};
    {
        TWindowDC dc(FHandle);
        TSelectObject font(dc.Get(), FFont ? ShownFont() : GetStockObject(DEFAULT_GUI_FONT));
        DrawTextA(dc.Get(), text.empty() ? " " : text.c_str(), -1, &r,
                  DT_CALCRECT | DT_NOPREFIX | DT_WORDBREAK | DT_EDITCONTROL);
    }
    SetBounds(FLeft, FTop, FWidth, Unscaled(r.bottom - r.top));
}

void TLabel::SetLinkStyle(HFONT UnderlinedFont) {
    FLink = true;
    SetFont(UnderlinedFont);
    AutoSize();
}

void TLabel::DoCommand(WORD Code) {
    if (Code == STN_CLICKED) Raise(OnClick, this);
}

HBRUSH TLabel::DoCtlColor(HDC DC) {
    SetBkMode(DC, TRANSPARENT);
    if (FLink) SetTextColor(DC, IsWindowEnabled(FHandle) ? RGB(0, 0, 255) : GetSysColor(COLOR_GRAYTEXT));
    return GetSysColorBrush(COLOR_BTNFACE);
}

// ---------------------------------------------------------------------------------------

TEdit::TEdit(TComponent* AOwner, TWinControl* AParent, int Left, int Top, int Width, int Height)
    : TWinControl(AOwner, AParent) {
    CreateControl("EDIT", WS_VISIBLE | WS_TABSTOP | ES_AUTOHSCROLL, WS_EX_CLIENTEDGE, "", Left, Top, Width,
                  Height);
}

void TEdit::SetPasswordChar(char C) {
    LONG style = GetWindowLongA(FHandle, GWL_STYLE);
    SetWindowLongA(FHandle, GWL_STYLE, C ? (style | ES_PASSWORD) : (style & ~ES_PASSWORD));
    SendMessageA(FHandle, EM_SETPASSWORDCHAR, static_cast<WPARAM>(static_cast<unsigned char>(C)), 0);
    InvalidateRect(FHandle, nullptr, TRUE);
}

char TEdit::PasswordChar() const {
    return static_cast<char>(SendMessageA(FHandle, EM_GETPASSWORDCHAR, 0, 0));
}

void TEdit::DoCommand(WORD Code) {
    if (Code == EN_CHANGE) Raise(OnChange, this);
}

// ---------------------------------------------------------------------------------------

TButton::TButton(TComponent* AOwner, TWinControl* AParent, int Left, int Top, int Width, int Height,
                 const std::string& Caption, bool Default, int Id)
    : TWinControl(AOwner, AParent) {
    if (Id) Tag = Id;
    CreateControl("BUTTON", WS_VISIBLE | WS_TABSTOP | (Default ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON), 0,
                  Caption, Left, Top, Width, Height);
}

void TButton::Click() {
    if (ModalResult != mrNone)
        if (auto* form = dynamic_cast<TForm*>(FromHandle(GetAncestor(FHandle, GA_ROOT))))
            form->ModalResult = ModalResult;
    Raise(OnClick, this);
}

void TButton::DoCommand(WORD Code) {
    if (Code == BN_CLICKED) Click();
}

// ---------------------------------------------------------------------------------------

TButtonControl::TButtonControl(TComponent* AOwner, TWinControl* AParent, DWORD Style, int Left, int Top,
                               int Width, int Height, const std::string& Caption)
    : TWinControl(AOwner, AParent) {
    CreateControl("BUTTON", WS_VISIBLE | WS_TABSTOP | Style, 0, Caption, Left, Top, Width, Height);
}

bool TButtonControl::Checked() const { return SendMessageA(FHandle, BM_GETCHECK, 0, 0) == BST_CHECKED; }

void TButtonControl::SetCheck(bool Value) {
    SendMessageA(FHandle, BM_SETCHECK, Value ? BST_CHECKED : BST_UNCHECKED, 0);
}

void TButtonControl::DoCommand(WORD Code) {
    if (Code == BN_CLICKED) Raise(OnClick, this);
}

TCheckBox::TCheckBox(TComponent* AOwner, TWinControl* AParent, int Left, int Top, int Width, int Height,
                     const std::string& Caption)
    : TButtonControl(AOwner, AParent, BS_AUTOCHECKBOX, Left, Top, Width, Height, Caption) {}

// Plain radio buttons: the group is kept by SetChecked, not by the window order.
TRadioButton::TRadioButton(TComponent* AOwner, TWinControl* AParent, int Left, int Top, int Width, int Height,
                           const std::string& Caption)
    : TButtonControl(AOwner, AParent, BS_RADIOBUTTON, Left, Top, Width, Height, Caption) {}

void TRadioButton::SetChecked(bool Value) {
    SetCheck(Value);
    if (!Value || !Owner()) return;
    for (int i = 0; i < Owner()->ComponentCount(); ++i) {
        auto* other = dynamic_cast<TRadioButton*>(Owner()->Components(i));
        if (other && other != this && other->Parent() == Parent()) other->SetCheck(false);
    }
}

void TRadioButton::DoCommand(WORD Code) {
    if (Code == BN_CLICKED) SetChecked(true);
    TButtonControl::DoCommand(Code);
}

// ---------------------------------------------------------------------------------------

TComboBox::TComboBox(TComponent* AOwner, TWinControl* AParent, int Left, int Top, int Width, int Height)
    : TWinControl(AOwner, AParent) {
    CreateControl("COMBOBOX", WS_VISIBLE | WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST, 0, "", Left, Top,
                  Width, Height);
}

int TComboBox::AddItem(const std::string& Text) {
    return static_cast<int>(SendMessageA(FHandle, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Text.c_str())));
}

void TComboBox::Clear() { SendMessageA(FHandle, CB_RESETCONTENT, 0, 0); }

int TComboBox::Count() const { return static_cast<int>(SendMessageA(FHandle, CB_GETCOUNT, 0, 0)); }

std::string TComboBox::Items(int Index) const {
    LRESULT len = SendMessageA(FHandle, CB_GETLBTEXTLEN, Index, 0);
    if (len == CB_ERR) return std::string();
    std::string s(static_cast<size_t>(len) + 1, '\0');
    SendMessageA(FHandle, CB_GETLBTEXT, Index, reinterpret_cast<LPARAM>(&s[0]));
    s.resize(static_cast<size_t>(len));
    return s;
}

int TComboBox::ItemIndex() const { return static_cast<int>(SendMessageA(FHandle, CB_GETCURSEL, 0, 0)); }

void TComboBox::SetItemIndex(int Index) { SendMessageA(FHandle, CB_SETCURSEL, Index, 0); }

void TComboBox::DoCommand(WORD Code) {
    if (Code == CBN_SELCHANGE) Raise(OnChange, this);
}

// ---------------------------------------------------------------------------------------

TGroupBox::TGroupBox(TComponent* AOwner, TWinControl* AParent, int Left, int Top, int Width, int Height,
                     const std::string& Caption)
    : TWinControl(AOwner, AParent) {
    // Clipped by its siblings: the frame must not paint over a check box on its edge.
    CreateControl("BUTTON", WS_VISIBLE | WS_CLIPSIBLINGS | BS_GROUPBOX, 0, Caption, Left, Top, Width, Height);
}

THost TGroupBox::ClientHost() const {
    THost host = FParent ? FParent->ClientHost() : THost{};
    host.DX += FLeft;
    host.DY += FTop;
    return host;
}

void TGroupBox::SendToBack() {
    SetWindowPos(FHandle, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

// ---------------------------------------------------------------------------------------

TBevel::TBevel(TComponent* AOwner, TWinControl* AParent, int Left, int Top, int Width, int Height,
               TBevelShape Shape)
    : TWinControl(AOwner, AParent) {
    CreateControl("STATIC", WS_VISIBLE | (Shape == bsTopLine ? SS_ETCHEDHORZ : SS_ETCHEDFRAME), 0, "", Left,
                  Top, Width, Height);
}

// ---------------------------------------------------------------------------------------

TProgressBar::TProgressBar(TComponent* AOwner, TWinControl* AParent, int Left, int Top, int Width, int Height,
                           int Max)
    : TWinControl(AOwner, AParent) {
    CreateControl(PROGRESS_CLASSA, WS_VISIBLE, 0, "", Left, Top, Width, Height);
    SendMessageA(FHandle, PBM_SETRANGE32, 0, Max);
}

int TProgressBar::Position() const { return static_cast<int>(SendMessageA(FHandle, PBM_GETPOS, 0, 0)); }

void TProgressBar::SetPosition(int Value) {
    SendMessageA(FHandle, PBM_SETPOS, static_cast<WPARAM>(Value), 0);
}

// ---------------------------------------------------------------------------------------

TSpinEdit::TSpinEdit(TComponent* AOwner, TWinControl* AParent, int Left, int Top, int Width, int Height,
                     TSpinRange Range, int Value)
    : TWinControl(AOwner, AParent), FRange(Range) {
    CreateControl("EDIT", WS_VISIBLE | WS_TABSTOP | ES_AUTOHSCROLL, WS_EX_CLIENTEDGE, "", Left, Top, Width,
                  Height);
    THost host = FParent ? FParent->ClientHost() : THost{};
    FUpDown = CreateWindowExA(
        0, UPDOWN_CLASSA, "",
        WS_CHILD | WS_VISIBLE | UDS_ALIGNRIGHT | UDS_ARROWKEYS | UDS_SETBUDDYINT | UDS_NOTHOUSANDS, 0, 0, 0,
        0, host.Window, nullptr, GetModuleHandleA(nullptr), nullptr);
    SendMessageA(FUpDown, UDM_SETBUDDY, reinterpret_cast<WPARAM>(FHandle), 0);
    SendMessageA(FUpDown, UDM_SETRANGE32, static_cast<WPARAM>(Range.MinValue),
                 static_cast<LPARAM>(Range.MaxValue));
    RECT r = {};
    GetWindowRect(FUpDown, &r);
    FUpDownWidth = Unscaled(r.right - r.left);
    SetValue(Value);
}

void TSpinEdit::DpiChanged() {
    TWinControl::DpiChanged();
    if (!FUpDown) return;
    // Attached again, the buttons take their new width out of the box's right end.
    SetWindowPos(FUpDown, nullptr, 0, 0, Scaled(FUpDownWidth), Scaled(FHeight),
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    SendMessageA(FUpDown, UDM_SETBUDDY, reinterpret_cast<WPARAM>(FHandle), 0);
}

TSpinEdit::~TSpinEdit() {
    if (FUpDown && IsWindow(FUpDown)) DestroyWindow(FUpDown);
}

int TSpinEdit::Value() const { return FRange.ValueFromText(Caption()); }

void TSpinEdit::SetValue(int Value) {
    int v = FRange.Clamp(Value);
    SendMessageA(FUpDown, UDM_SETPOS32, 0, v);
    SetCaption(IntToStr(v));
}

void TSpinEdit::SetEnabled(bool Value) {
    TWinControl::SetEnabled(Value);
    EnableWindow(FUpDown, Value);
}

void TSpinEdit::DoCommand(WORD Code) {
    // Leaving the box puts what was typed back into the range.
    if (Code == EN_KILLFOCUS) {
        std::string shown = Caption();
        int v = Value();
        if (shown != IntToStr(v)) SetValue(v);
    }
}

// ---------------------------------------------------------------------------------------

TPageControl::TPageControl(TComponent* AOwner, TWinControl* AParent, int Left, int Top, int Width, int Height)
    : TWinControl(AOwner, AParent) {
    CreateControl(WC_TABCONTROLA, WS_VISIBLE | WS_TABSTOP | WS_CLIPCHILDREN | WS_CLIPSIBLINGS,
                  WS_EX_CONTROLPARENT, "", Left, Top, Width, Height);
}

RECT TPageControl::PageRect() const {
    RECT r = {0, 0, Scaled(FWidth), Scaled(FHeight)};
    TabCtrl_AdjustRect(FHandle, FALSE, &r);
    // Back to layout pixels, staying inside the display area.
    RECT out = {Unscaled(r.left), Unscaled(r.top), r.right * BaseDpi / Dpi(), r.bottom * BaseDpi / Dpi()};
    return out;
}

void TPageControl::AddPage(TTabSheet* Page, const std::string& Caption) {
    TCITEMA item = {};
    item.mask = TCIF_TEXT;
    item.pszText = const_cast<char*>(Caption.c_str());
    SendMessageA(FHandle, TCM_INSERTITEMA, FPages.size(), reinterpret_cast<LPARAM>(&item));
    FPages.push_back(Page);
}

int TPageControl::ActivePageIndex() const {
    return static_cast<int>(SendMessageA(FHandle, TCM_GETCURSEL, 0, 0));
}

void TPageControl::SetActivePageIndex(int Index) {
    if (Index < 0 || Index >= PageCount()) return;
    SendMessageA(FHandle, TCM_SETCURSEL, Index, 0);
    ShowActive();
}

TTabSheet* TPageControl::ActivePage() const {
    int i = ActivePageIndex();
    return (i >= 0 && i < PageCount()) ? FPages[i] : nullptr;
}

void TPageControl::SetActivePage(TTabSheet* Page) {
    for (int i = 0; i < PageCount(); ++i)
        if (FPages[i] == Page) SetActivePageIndex(i);
}

void TPageControl::ShowActive() {
    int active = ActivePageIndex();
    RECT r = PageRect();
    for (int i = 0; i < PageCount(); ++i) {
        if (i == active) {
            FPages[i]->SetBounds(r.left, r.top, r.right - r.left, r.bottom - r.top);
            SetWindowPos(FPages[i]->Handle(), HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
        }
        FPages[i]->SetVisible(i == active);
    }
}

bool TPageControl::DoNotify(NMHDR* Header, LRESULT& Result) {
    if (Header->code == static_cast<UINT>(TCN_SELCHANGE)) {
        ShowActive();
        Result = 0;
        return true;
    }
    return false;
}

bool TPageControl::DoDialogKey(WPARAM Key, bool Shift) {
    int n = PageCount();
    if (Key != VK_TAB || n < 2 || !IsWindowEnabled(FHandle)) return false;
    int active = ActivePageIndex();
    SetActivePageIndex(((active < 0 ? 0 : active) + (Shift ? n - 1 : 1)) % n);
    // The focus must not stay in a page that is now hidden.
    HWND focus = GetFocus();
    if (focus && IsChild(FHandle, focus) && !IsWindowVisible(focus)) SetFocus(FHandle);
    return true;
}

TTabSheet::TTabSheet(TComponent* AOwner, TPageControl* APageControl, const std::string& Caption)
    : TWinControl(AOwner, APageControl), FPageControl(APageControl) {
    RECT r = APageControl->PageRect();
    CreateContainer(APageControl->Handle(), WS_CHILD | WS_CLIPSIBLINGS, WS_EX_CONTROLPARENT, Caption, r.left,
                    r.top, r.right - r.left, r.bottom - r.top);
    APageControl->AddPage(this, Caption);
    if (APageControl->PageCount() == 1) APageControl->SetActivePageIndex(0);
}

// ---------------------------------------------------------------------------------------

TImage::TImage(TComponent* AOwner, TWinControl* AParent, int Left, int Top, int Width, int Height)
    : TWinControl(AOwner, AParent) {
    CreateControl("STATIC", WS_VISIBLE | SS_BITMAP | SS_CENTERIMAGE, 0, "", Left, Top, Width, Height);
}

TImage::~TImage() {
    BeginDestroy();
    // The control shows the bitmap until its window is gone.
    DestroyControl();
}

void TImage::SetBitmap(HBITMAP Bitmap) {
    TGdiObject<HBITMAP> old(FBitmap.Release());
    FBitmap.Reset(Bitmap);
    ShowBitmap();
}

void TImage::DpiChanged() {
    TWinControl::DpiChanged();
    ShowBitmap();
}

void TImage::ShowBitmap() {
    // The old pictures stay until the control has let go of them.
    TGdiObject<HBITMAP> old(FShown.Release());
    HBITMAP shown = FBitmap.Get();
    BITMAP bm{};
    if (shown && GetObjectA(shown, sizeof(bm), &bm) && bm.bmWidth == FWidth && bm.bmHeight == FHeight &&
        Scaled(FWidth) != FWidth) {
        TWindowDC screen(nullptr);
        TMemoryDC from(screen.Get()), to(screen.Get());
        FShown.Reset(CreateCompatibleBitmap(screen.Get(), Scaled(FWidth), Scaled(FHeight)));
        if (FShown) {
            TSelectObject source(from.Get(), FBitmap.Get()), target(to.Get(), FShown.Get());
            SetStretchBltMode(to.Get(), HALFTONE);
            SetBrushOrgEx(to.Get(), 0, 0, nullptr);
            StretchBlt(to.Get(), 0, 0, Scaled(FWidth), Scaled(FHeight), from.Get(), 0, 0, bm.bmWidth,
                       bm.bmHeight, SRCCOPY);
            shown = FShown.Get();
        }
    }
    SendMessageA(FHandle, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(shown));
    // SS_BITMAP resizes the control to the picture; keep the designed box.
    SetBounds(FLeft, FTop, FWidth, FHeight);
}
