#include "treecombo/TreeComboBox_win.h"

#include <algorithm>

#include "base/Dispatcher.h"

namespace {
const int ButtonWidth = 15;
const int ButtonHeight = 17;

const TWindowClass& ButtonClass() {
    static const TWindowClass c = {"PelorinDropTreeButton", 0, LoadCursorA(nullptr, IDC_ARROW)};
    return c;
}

const TWindowClass& DropClass() {
    static const TWindowClass c = {"PelorinDropTree", CS_DBLCLKS, LoadCursorA(nullptr, IDC_ARROW),
                                   reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1)};
    return c;
}

// The height of a character of Font on the screen.
int CharHeight(HFONT Font) {
    TWindowDC screen(nullptr);
    TSelectObject select(screen.Get(), Font);
    TEXTMETRICA tm = {};
    GetTextMetricsA(screen.Get(), &tm);
    return tm.tmHeight;
}

bool HasBorder(HWND Wnd) {
    return (GetWindowLongA(Wnd, GWL_EXSTYLE) & WS_EX_CLIENTEDGE) ||
           (GetWindowLongA(Wnd, GWL_STYLE) & WS_BORDER);
}

// Sets a flag for a scope, and clears it whatever leaves the scope.
struct TFlag {
    TFlag(bool& Flag, bool Value) : FFlag(Flag) { FFlag = Value; }
    ~TFlag() { FFlag = false; }
    bool& FFlag;
};
}  // namespace

// ---------------------------------------------------------------------------------------

TDropTreeButton::TDropTreeButton(HWND Parent) {
    FGlyph.Reset(static_cast<HBITMAP>(LoadImageA(GetModuleHandleA(nullptr), "DROPTREE_ARROW_DOWN",
                                                 IMAGE_BITMAP, 0, 0, LR_LOADMAP3DCOLORS)));
    CreateHandle(ButtonClass(), 0, "", WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS, 0, 0,
                 ScalePixels(ButtonWidth), ScalePixels(ButtonHeight), Parent, nullptr);
}

void TDropTreeButton::SetFlat(bool Value) {
    FFlat = Value;
    InvalidateRect(FHandle, nullptr, TRUE);
}

void TDropTreeButton::SetColor(COLORREF Value) {
    FColor = Value;
    InvalidateRect(FHandle, nullptr, TRUE);
}

void TDropTreeButton::SetDown(bool Value) {
    if (Value == FDown) return;
    FDown = Value;
    InvalidateRect(FHandle, nullptr, FALSE);
}

void TDropTreeButton::Paint(HDC DC) {
    RECT r;
    GetClientRect(FHandle, &r);
    UINT state = DFCS_BUTTONPUSH | (FDown ? DFCS_PUSHED : 0) | (FFlat ? DFCS_FLAT : 0);
    DrawFrameControl(DC, &r, DFC_BUTTON, state);
    BITMAP bm = {};
    if (FGlyph && GetObjectA(FGlyph.Get(), sizeof(bm), &bm)) {
        // Centred, and moved by a pixel while pressed, as the face sinks.
        int shift = FDown ? 1 : 0;
        int x = (r.right - bm.bmWidth) / 2 + shift, y = (r.bottom - bm.bmHeight) / 2 + shift;
        TMemoryDC mem(DC);
        TSelectObject glyph(mem.Get(), FGlyph.Get());
        BitBlt(DC, x, y, bm.bmWidth, bm.bmHeight, mem.Get(), 0, 0, SRCCOPY);
    }
    if (FColor != clNone) {
        TGdiObject<HBRUSH> brush(CreateSolidBrush(FColor));
        FillRect(DC, &r, brush.Get());
    }
}

LRESULT TDropTreeButton::WndProc(UINT Msg, WPARAM WParam, LPARAM LParam) {
    switch (Msg) {
    case WM_PAINT: {
        TPaintDC dc(FHandle);
        Paint(dc.Get());
        return 0;
    }
    case WM_ERASEBKGND:
        return 1;
    case WM_LBUTTONDOWN:
        Raise(OnMouseClick, this);
        SetCapture(FHandle);
        FTracking = true;
        SetDown(true);
        return 0;
    case WM_MOUSEMOVE:
        if (FTracking) {
            RECT r;
            GetClientRect(FHandle, &r);
            POINT p = {static_cast<short>(LOWORD(LParam)), static_cast<short>(HIWORD(LParam))};
            SetDown(PtInRect(&r, p) != FALSE);
        }
        return 0;
    case WM_LBUTTONUP:
        if (FTracking) {
            const bool click = FDown;
            FTracking = false;
            SetDown(false);
            ReleaseCapture();
            if (click) {
                if (FocusControl && FocusControl->Handle() && GetFocus() != FocusControl->Handle() &&
                    IsWindowVisible(FocusControl->Handle()) && IsWindowEnabled(FocusControl->Handle()))
                    SetFocus(FocusControl->Handle());
                Raise(OnClick, this);
            }
        }
        return 0;
    case WM_CAPTURECHANGED:
        FTracking = false;
        SetDown(false);
        return 0;
    }
    return DefaultProc(Msg, WParam, LParam);
}

// ---------------------------------------------------------------------------------------

TDropTreeForm::TDropTreeForm(TTreeComboBox* Combo, HWND OwnerWindow)
    : TWinControl(Combo, nullptr), FCombo(Combo) {
    CreateHandle(DropClass(), WS_EX_TOPMOST | WS_EX_TOOLWINDOW, "", WS_POPUP | WS_CLIPCHILDREN, 0, 0, 200,
                 100, OwnerWindow, nullptr);
    FTree = new TTreeView(this, this);
}

TDropTreeForm::~TDropTreeForm() { BeginDestroy(); }

void TDropTreeForm::SetDpi(int Dpi) {
    if (Dpi == FDpi) return;
    FDpi = Dpi;
    if (FTree->Font()) FTree->SetFont(FTree->Font());
}

LRESULT TDropTreeForm::WndProc(UINT Msg, WPARAM WParam, LPARAM LParam) {
    switch (Msg) {
    case WM_SIZE:
        if (FTree) MoveWindow(FTree->Handle(), 0, 0, LOWORD(LParam), HIWORD(LParam), TRUE);
        return 0;
    case WM_ACTIVATE:
        if (LOWORD(WParam) == WA_INACTIVE) FCombo->CloseUp(true);
        break;
    case WM_SHOWWINDOW:
        if (!WParam) FCombo->CloseUp(true);
        break;
    case WM_CLOSE:
        // Closing only hides it: the window lives as long as the combo.
        FCombo->CloseUp(true);
        return 0;
    }
    return TWinControl::WndProc(Msg, WParam, LParam);
}

// ---------------------------------------------------------------------------------------

TTreeComboBox::TTreeComboBox(TComponent* AOwner, TWinControl* AParent, int Left, int Top, int Width,
                             int Height)
    : TWinControl(AOwner, AParent), DropWidth(Width) {
    CreateControl("EDIT", WS_VISIBLE | WS_TABSTOP | ES_AUTOHSCROLL | ES_MULTILINE | WS_CLIPCHILDREN,
                  WS_EX_CLIENTEDGE, "", Left, Top, Width, Height);
    FButton = std::make_unique<TDropTreeButton>(FHandle);
    FButton->FocusControl = this;
    // The button has given the edit the focus, where it could.
    FButton->OnClick = [this](TObject*) { DropDown(); };
    FDropForm = new TDropTreeForm(this, GetAncestor(FHandle, GA_ROOT));
    TTreeView* tree = FDropForm->Tree();
    tree->OnChanging = [this](TTreeNode*) { return !FRefuseSelection; };
    tree->OnChange = [this](TTreeNode* Node) {
        // The edit follows the tree while the user looks for a node.
        if (FDropped && Node) SetText(Node->Text());
    };
    tree->OnKeyDown = [this](WORD Key) {
        if (Key == VK_RETURN) {
            CloseUp(false);
            return true;
        }
        if (Key == VK_ESCAPE || Key == VK_F4) {
            CloseUp(true);
            return true;
        }
        return false;
    };
    // Enter, Escape and the control characters would only make the tree beep.
    tree->OnKeyPress = [](char Key) { return static_cast<unsigned char>(Key) <= 27; };
    tree->OnDblClick = [this](TObject*) {
        if (SelectMode == smDblClick) CloseUp(false);
    };
    tree->OnMouseDown = [this](UINT, int X, int Y) {
        if (SelectMode == smSingleClick && Items().Selected() && Tree()->GetNodeAt(X, Y)) CloseUp(false);
    };
    FHook.Attach(FHandle, [this](UINT Msg, WPARAM WParam, LPARAM LParam, LRESULT& Result) {
        return HandleEditMessage(Msg, WParam, LParam, Result);
    });
    Layout();
}

TTreeComboBox::~TTreeComboBox() {
    // Nobody hears of a window closed by the combo's own end.
    OnDropUp = nullptr;
    OnDropDown = nullptr;
    OnChange = nullptr;
    FDropped = false;
    BeginDestroy();
    FDropForm = nullptr;
    FButton.reset();
    DestroyControl();
}

int TTreeComboBox::Selection() const { return FDropForm->Tree()->Items().Selection(); }

void TTreeComboBox::SetSelection(int Index) { Items().SetSelection(Index); }

void TTreeComboBox::SetCollapseOnDrop(bool Value) {
    FCollapseOnDrop = Value;
    if (Value) FExpandOnDrop = false;
}

void TTreeComboBox::SetExpandOnDrop(bool Value) {
    FExpandOnDrop = Value;
    if (Value) FCollapseOnDrop = false;
}

void TTreeComboBox::SetEditorEnabled(bool Value) {
    FEditorEnabled = Value;
    SendMessageA(FHandle, EM_SETREADONLY, Value ? FALSE : TRUE, 0);
}

int TTreeComboBox::MinHeight() const {
    HFONT font = reinterpret_cast<HFONT>(SendMessageA(FHandle, WM_GETFONT, 0, 0));
    if (!font) font = static_cast<HFONT>(GetStockObject(SYSTEM_FONT));
    int own = CharHeight(font);
    int system = CharHeight(static_cast<HFONT>(GetStockObject(SYSTEM_FONT)));
    return own + std::min(system, own) / 4;
}

void TTreeComboBox::Layout() {
    if (!FHandle || !FButton) return;
    RECT wr, cr;
    GetWindowRect(FHandle, &wr);
    GetClientRect(FHandle, &cr);
    const int width = wr.right - wr.left, height = wr.bottom - wr.top;
    const int minHeight = MinHeight();
    if (height < minHeight) {
        // The resize this causes lays the combo out again.
        SetWindowPos(FHandle, nullptr, 0, 0, width, minHeight, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        return;
    }
    const bool border = HasBorder(FHandle);
    const int d = border ? 5 : 2;
    const int bw = Scaled(ButtonWidth);
    MoveWindow(FButton->Handle(), width - bw - d, 0, bw, std::max(0, height - d), TRUE);
    const int inset = border ? 1 : 2;
    RECT text = {inset, inset, cr.right - bw - 3, cr.bottom + 1};
    SendMessageA(FHandle, EM_SETRECTNP, 0, reinterpret_cast<LPARAM>(&text));
}

void TTreeComboBox::DropDown() {
    if (FDropped) return;
    FSavedText = Text();
    HWND drop = FDropForm->Handle();
    POINT p = {0, 0};
    ClientToScreen(FHandle, &p);
    RECT wr;
    GetWindowRect(FHandle, &wr);
    FDropForm->SetDpi(Dpi());
    const int w = Scaled(DropWidth), h = Scaled(DropHeight), editHeight = wr.bottom - wr.top;
    bool below = DropPosition == dpDown;
    // Below only when the whole window fits under the edit.
    if (DropPosition == dpAuto) below = p.y + editHeight + h <= GetSystemMetrics(SM_CYSCREEN);
    // A window wider than the room right of the edit (a large scale, an edit near the edge)
    // moves left to stay on its monitor.
    MONITORINFO mi{};
    mi.cbSize = sizeof(mi);
    int x = p.x;
    if (GetMonitorInfoA(MonitorFromWindow(FHandle, MONITOR_DEFAULTTONEAREST), &mi))
        x = std::max<int>(mi.rcWork.left, std::min<int>(p.x, mi.rcWork.right - w));
    SetWindowPos(drop, HWND_TOPMOST, x, below ? p.y + editHeight : p.y - h, w, h, SWP_NOACTIVATE);

    if (FCollapseOnDrop) Items().FullCollapse();
    if (FExpandOnDrop) Items().FullExpand();
    TTreeNode* match = Items().FindPrefix(Text(), AutoOpen);
    if (match) {
        if (AutoOpen) match->MakeVisible();
        Items().SetSelected(match);
    }
    // Without a match the selection stays as it was: the tree taking the focus must not
    // select a node either.
    TFlag refuse(FRefuseSelection, !match);
    bool accept = true;
    Raise(OnDropDown, this, accept);
    if (!accept) return;
    if (TTreeNode* selected = Items().Selected()) SetText(selected->Text());
    FDropped = true;
    ShowWindow(drop, SW_SHOW);
    SetFocus(Tree()->Handle());
}

void TTreeComboBox::CloseUp(bool Canceled) {
    if (!FDropped) return;
    FDropped = false;
    ShowWindow(FDropForm->Handle(), SW_HIDE);
    if (Canceled)
        SetText(FSavedText);
    else if (TTreeNode* selected = Items().Selected())
        SetText(selected->Text());
    Raise(OnDropUp, this, Canceled);
}

bool TTreeComboBox::HandleEditMessage(UINT Msg, WPARAM WParam, LPARAM LParam, LRESULT& Result) {
    switch (Msg) {
    case WM_KEYDOWN:
        if (WParam == VK_DOWN) {
            DropDown();
            return true;
        }
        if (WParam == VK_F4) {
            if (FDropped)
                CloseUp(false);
            else
                DropDown();
            return true;
        }
        break;
    case WM_CHAR:
        // One line: a line break typed in would hide the text above the edit's top.
        if (WParam == '\r') return true;
        break;
    case WM_GETDLGCODE:
        FHook.Default(Msg, WParam, LParam);
        Result = DLGC_WANTARROWS;
        return true;
    case WM_NCPAINT:
        // A themed edit paints its frame over the whole window, the button included.
        Result = FHook.Default(Msg, WParam, LParam);
        RedrawWindow(FButton->Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
        return true;
    case WM_SIZE:
    case WM_SETFONT:
        // The edit resets its text rectangle on both.
        Result = FHook.Default(Msg, WParam, LParam);
        Layout();
        return true;
    }
    return false;
}

void TTreeComboBox::DoCommand(WORD Code) {
    if (Code == EN_CHANGE) Raise(OnChange, this);
}
