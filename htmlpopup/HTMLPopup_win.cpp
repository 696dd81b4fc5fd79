#include "htmlpopup/HTMLPopup_win.h"

#include <shellapi.h>

#include <algorithm>

#include "ui/MessagePump_win.h"

namespace {

bool IsXPOrLater() {
    OSVERSIONINFOA vi{};
    vi.dwOSVersionInfoSize = sizeof(vi);
    if (!GetVersionExA(&vi)) return false;
    return vi.dwMajorVersion > 5 || (vi.dwMajorVersion == 5 && vi.dwMinorVersion >= 1);
}

const TWindowClass& PopupClass() {
    // Save the bits under the window; cast a shadow where the system can. No class cursor:
    // it is chosen per mouse position in WM_SETCURSOR.
    static const TWindowClass c = {"PelorinHTMLPopup",
                                   static_cast<UINT>(CS_SAVEBITS | (IsXPOrLater() ? CS_DROPSHADOW : 0))};
    return c;
}

HCURSOR LinkCursor() {
    HCURSOR c = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_HAND));
    return c ? c : LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
}

}  // namespace

// ---- Fonts ----

TGDIFontCache::~TGDIFontCache() { Clear(); }

void TGDIFontCache::Clear() { FEntries.clear(); }

TGDIFontCache::TEntry* TGDIFontCache::Get(HDC DC, const THTMLFont& AFont, int Ppi) {
    const int ppi = UsableDpi(Ppi);
    for (auto& e : FEntries)
        if (e->PixelsPerInch == ppi && e->Font.Size == AFont.Size && e->Font.Style == AFont.Style &&
            e->Font.Orientation == AFont.Orientation && e->Font.Name == AFont.Name)
            return e.get();
    auto e = std::make_unique<TEntry>();
    e->Font = AFont;
    e->Font.Color = 0;
    e->PixelsPerInch = ppi;
    LOGFONTA lf{};
    lf.lfHeight = FontHeightForDpi(AFont.Size, ppi);
    lf.lfEscapement = AFont.Orientation;
    lf.lfOrientation = AFont.Orientation;
    lf.lfWeight = (AFont.Style & fsBold) ? FW_BOLD : FW_NORMAL;
    lf.lfItalic = (AFont.Style & fsItalic) ? TRUE : FALSE;
    lf.lfUnderline = (AFont.Style & fsUnderline) ? TRUE : FALSE;
    lf.lfStrikeOut = (AFont.Style & fsStrikeOut) ? TRUE : FALSE;
    lf.lfCharSet = DEFAULT_CHARSET;
    lf.lfOutPrecision = OUT_DEFAULT_PRECIS;
    lf.lfClipPrecision = CLIP_DEFAULT_PRECIS;
    lf.lfQuality = DEFAULT_QUALITY;
    lf.lfPitchAndFamily = DEFAULT_PITCH;
    lstrcpynA(lf.lfFaceName, AFont.Name.c_str(), LF_FACESIZE);
    e->Handle.Reset(CreateFontIndirectA(&lf));
    {
        TSelectObject font(
            DC, e->Handle ? static_cast<HGDIOBJ>(e->Handle.Get()) : GetStockObject(DEFAULT_GUI_FONT));
        TEXTMETRICA tm{};
        GetTextMetricsA(DC, &tm);
        e->Height = tm.tmAscent + tm.tmDescent;
        // Default tab stops are eight average characters apart, as DrawText expands them.
        e->TabWidth = 8 * std::max<int>(1, tm.tmAveCharWidth);
        INT widths[256];
        if (GetCharWidth32A(DC, 0, 255, widths)) std::copy(widths, widths + 256, e->Widths);
    }
    FEntries.push_back(std::move(e));
    return FEntries.back().get();
}

// ---- Surface ----

TGDISurface::TGDISurface(HDC DC, TGDIFontCache& Fonts, int Dpi) : FDC(DC), FFonts(Fonts) {
    FPpiX = Dpi > 0 ? Dpi : GetDeviceCaps(DC, LOGPIXELSX);
    FPpiY = Dpi > 0 ? Dpi : GetDeviceCaps(DC, LOGPIXELSY);
    FOldBkMode = GetBkMode(DC);
    FOldTextColor = GetTextColor(DC);
    FOldBkColor = GetBkColor(DC);
    FOldFont = GetCurrentObject(DC, OBJ_FONT);
    FOldPen = GetCurrentObject(DC, OBJ_PEN);
}

// The pen is freed after the old one is back in the DC.
TGDISurface::~TGDISurface() {
    SelectObject(FDC, FOldFont);
    SelectObject(FDC, FOldPen);
    SetBkMode(FDC, FOldBkMode);
    SetTextColor(FDC, FOldTextColor);
    SetBkColor(FDC, FOldBkColor);
}

COLORREF TGDISurface::ColorRef(TColor AColor) {
    if (IsSystemColor(AColor)) return GetSysColor(static_cast<int>(AColor & 0xFF));
    return static_cast<COLORREF>(AColor & 0x00FFFFFF);
}

TColor TGDISurface::ResolveColor(TColor AColor) const { return ColorRef(AColor); }

void TGDISurface::SetFont(const THTMLFont& AFont) {
    const bool sameFace = FEntry && AFont.Size == FFont.Size && AFont.Style == FFont.Style &&
                          AFont.Orientation == FFont.Orientation && AFont.Name == FFont.Name;
    FFont = AFont;
    if (!sameFace) {
        FEntry = nullptr;
        FFontSelected = false;
    }
}

TGDIFontCache::TEntry* TGDISurface::Entry() {
    if (!FEntry) {
        if (FFonts.Full()) {
            // The fonts about to go may be selected in this DC.
            SelectObject(FDC, FOldFont);
            FFonts.Clear();
        }
        FEntry = FFonts.Get(FDC, FFont, FPpiY);
        FFontSelected = false;
    }
    return FEntry;
}

void TGDISurface::SelectCurrentFont() {
    TGDIFontCache::TEntry* e = Entry();
    if (!FFontSelected && e->Handle) {
        SelectObject(FDC, e->Handle.Get());
        FFontSelected = true;
    }
}

int TGDISurface::TextHeight(const std::string&) { return Entry()->Height; }

int TGDISurface::TextWidth(const std::string& S) {
    const TGDIFontCache::TEntry* e = Entry();
    int w = 0;
    for (size_t i = 0; i < S.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(S[i]);
        if (c == '&') {
            // "&&" shows one "&"; a lone "&" only marks the next character.
            if (i + 1 < S.size() && S[i + 1] == '&') {
                ++i;
                w += e->Widths['&'];
            }
            continue;
        }
        if (c == '\t') {
            w = (w / e->TabWidth + 1) * e->TabWidth;
            continue;
        }
        w += e->Widths[c];
    }
    return w;
}

void TGDISurface::DrawTextBox(const TRect& Box, const std::string& S) {
    if (Box.Right <= Box.Left || Box.Bottom <= Box.Top) return;
    SelectCurrentFont();
    SetTextColor(FDC, ColorRef(FFont.Color));
    if (FBackground == clNone) {
        SetBkMode(FDC, TRANSPARENT);
    } else {
        SetBkMode(FDC, OPAQUE);
        SetBkColor(FDC, ColorRef(FBackground));
    }
    RECT r{Box.Left, Box.Top, Box.Right, Box.Bottom};
    DrawTextA(FDC, S.c_str(), static_cast<int>(S.size()), &r, DT_SINGLELINE | DT_BOTTOM | DT_EXPANDTABS);
}

void TGDISurface::DrawChar(int X, int Y, char C) {
    SelectCurrentFont();
    SetTextColor(FDC, ColorRef(FFont.Color));
    SetBkMode(FDC, TRANSPARENT);
    TextOutA(FDC, X, Y, &C, 1);
}

void TGDISurface::FillRect(const TRect& R, TColor AColor) {
    if (AColor == clNone || R.Right <= R.Left || R.Bottom <= R.Top) return;
    RECT r{R.Left, R.Top, R.Right, R.Bottom};
    ::FillRect(FDC, &r, TGdiObject<HBRUSH>(CreateSolidBrush(ColorRef(AColor))).Get());
}

void TGDISurface::SetPenColor(TColor AColor) {
    if (FPen && AColor == FPenColor) return;
    FPenColor = AColor;
    TGdiObject<HPEN> pen(CreatePen(PS_SOLID, 1, ColorRef(AColor)));
    SelectObject(FDC, pen.Get());
    FPen = std::move(pen);  // the old pen, deselected now, is freed
}

void TGDISurface::MoveTo(int X, int Y) { MoveToEx(FDC, X, Y, nullptr); }

void TGDISurface::LineTo(int X, int Y) {
    if (!FPen) SetPenColor(FPenColor);
    ::LineTo(FDC, X, Y);
}

HIMAGELIST TGDISurface::SystemList(bool Large) {
    SHFILEINFOA fi{};
    return reinterpret_cast<HIMAGELIST>(SHGetFileInfoA(
        "C:\\", 0, &fi, sizeof(fi), SHGFI_SYSICONINDEX | (Large ? SHGFI_LARGEICON : SHGFI_SMALLICON)));
}

void TGDISurface::ShellIconSize(bool Large, int& Width, int& Height) {
    Width = Height = 0;
    HIMAGELIST list = SystemList(Large);
    int w = 0, h = 0;
    if (list && ImageList_GetIconSize(list, &w, &h)) {
        Width = w;
        Height = h;
    }
}

int TGDISurface::ShellIconIndex(bool Large, const std::string& Path) {
    SHFILEINFOA fi{};
    const UINT size = Large ? SHGFI_LARGEICON : SHGFI_SMALLICON;
    // An existing file or folder has its own icon; any other name gets its type's icon.
    if (GetFileAttributesA(Path.c_str()) != INVALID_FILE_ATTRIBUTES &&
        SHGetFileInfoA(Path.c_str(), 0, &fi, sizeof(fi), SHGFI_SYSICONINDEX | size))
        return fi.iIcon;
    if (SHGetFileInfoA(Path.c_str(), FILE_ATTRIBUTE_NORMAL, &fi, sizeof(fi),
                       SHGFI_SYSICONINDEX | SHGFI_USEFILEATTRIBUTES | size))
        return fi.iIcon;
    return 0;
}

void TGDISurface::DrawShellIcon(bool Large, int Index, int X, int Y) {
    HIMAGELIST list = SystemList(Large);
    if (list && Index >= 0 && Index < ImageList_GetImageCount(list))
        ImageList_Draw(list, Index, FDC, X, Y, ILD_TRANSPARENT);
}

// ---- Image list ----

TGDIImageList::~TGDIImageList() {
    BeginDestroy();
    if (FOwned && FHandle) ImageList_Destroy(FHandle);
}

void TGDIImageList::SetHandle(HIMAGELIST AHandle, bool AOwned) {
    if (FOwned && FHandle && FHandle != AHandle) ImageList_Destroy(FHandle);
    FHandle = AHandle;
    FOwned = AOwned;
}

int TGDIImageList::Count() const { return FHandle ? ImageList_GetImageCount(FHandle) : 0; }

int TGDIImageList::Width() const {
    int w = 0, h = 0;
    if (FHandle) ImageList_GetIconSize(FHandle, &w, &h);
    return UnscaleFromDpi(w, ImageDpi);
}

int TGDIImageList::Height() const {
    int w = 0, h = 0;
    if (FHandle) ImageList_GetIconSize(FHandle, &w, &h);
    return UnscaleFromDpi(h, ImageDpi);
}

void TGDIImageList::Draw(THTMLSurface& Canvas, int Index, int X, int Y) {
    auto* gdi = dynamic_cast<TGDISurface*>(&Canvas);
    if (gdi && FHandle) ImageList_Draw(FHandle, Index, gdi->DC(), X, Y, ILD_TRANSPARENT);
}

// ---- Window ----

THTMLPopupWindow::~THTMLPopupWindow() {
    *FAlive = false;
    DestroyHandle();
    FFonts.Clear();
}

void THTMLPopupWindow::MakeWindow() {
    FTrackingLeave = false;
    // Never activated: the user's window keeps the focus, whatever shows or clicks us.
    const DWORD exStyle = WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE | (FAlwaysOnTop ? WS_EX_TOPMOST : 0);
    CreateHandle(PopupClass(), exStyle, "", WS_POPUP, FLeft, FTop, FWidth, FHeight, FOwnerWindow, nullptr);
}

void THTMLPopupWindow::HandleNeeded() {
    if (!FHandle) MakeWindow();
}

void THTMLPopupWindow::SetAlwaysOnTop(bool Value) {
    FAlwaysOnTop = Value;
    const bool visible = Visible();
    DestroyHandle();
    MakeWindow();
    if (visible) ShowNoActivate();
}

void THTMLPopupWindow::SetOwnerWindow(HWND Value) {
    if (Value == FOwnerWindow) return;
    FOwnerWindow = Value;
    if (FHandle) SetWindowLongPtrA(FHandle, GWLP_HWNDPARENT, reinterpret_cast<LONG_PTR>(Value));
}

void THTMLPopupWindow::SetHover(bool Value) {
    FHover = Value;
    FHoverAnchor = -1;
}

void THTMLPopupWindow::SetText(const std::string& Value) {
    FText = Value;
    // The hovered number belongs to the old text; in the new one it may be another link.
    FHoverAnchor = -1;
    if (FHandle) InvalidateRect(FHandle, nullptr, FALSE);
}

THTMLPopupContent THTMLPopupWindow::Content() const {
    THTMLPopupContent c;
    c.Text = FText;
    c.Font = Font;
    c.Images = Images;
    c.PictureContainer = PictureContainer;
    c.PictureCache = FPictureCache.get();
    return c;
}

void THTMLPopupWindow::SetAutoSize(bool Value) {
    FAutoSize = Value;
    if (!Value) return;
    int w = FWidth, h = FHeight;
    FitSize(Look, Content(), MaxWidth, MaxHeight, w, h);
    SetBounds(FLeft, FTop, w, h);
}

bool THTMLPopupWindow::FitSize(const THTMLPopupLook& ALook, THTMLPopupContent AContent, int AMaxWidth,
                               int AMaxHeight, int& Width, int& Height) {
    if (!AContent.PictureCache) AContent.PictureCache = FPictureCache.get();
    TGDISurface s(FMeasureDC.Get(), FFonts, Dpi);
    return PopupFitSize(s, FWidth, FHeight, ALook, AContent, FHover, FHoverAnchor, AMaxWidth, AMaxHeight,
                        Width, Height);
}

void THTMLPopupWindow::SetBounds(int Left, int Top, int Width, int Height) {
    FLeft = Left;
    FTop = Top;
    FWidth = Width;
    FHeight = Height;
    if (FHandle) SetWindowPos(FHandle, nullptr, Left, Top, Width, Height, SWP_NOZORDER | SWP_NOACTIVATE);
}

bool THTMLPopupWindow::Visible() const { return FHandle && IsWindowVisible(FHandle); }

void THTMLPopupWindow::ShowNoActivate() {
    HandleNeeded();
    SetWindowPos(FHandle, FAlwaysOnTop ? HWND_TOPMOST : HWND_TOP, FLeft, FTop, FWidth, FHeight,
                 SWP_NOACTIVATE | SWP_SHOWWINDOW);
    UpdateWindow(FHandle);
}

void THTMLPopupWindow::Hide() {
    if (FHandle) ShowWindow(FHandle, SW_HIDE);
}

void THTMLPopupWindow::PaintTo(HDC DC) {
    TGDISurface s(DC, FFonts, Dpi);
    PaintPopup(s, FWidth, FHeight, Look, Content(), FHover, FHoverAnchor);
}

THTMLRenderResult THTMLPopupWindow::HitTestAt(int X, int Y) {
    TGDISurface s(FMeasureDC.Get(), FFonts, Dpi);
    return PopupHitTest(s, FWidth, FHeight, Look, Content(), {X, Y});
}

void THTMLPopupWindow::InvalidateAnchor(const TRect& R) {
    if (!FHandle) return;
    RECT r{R.Left, R.Top, R.Right, R.Bottom};
    InvalidateRect(FHandle, &r, TRUE);
}

void THTMLPopupWindow::MouseOver(int ScreenX, int ScreenY) {
    POINT p{ScreenX, ScreenY};
    ScreenToClient(FHandle, &p);
    const THTMLRenderResult r = HitTestAt(p.x, p.y);
    if (r.Hit && !r.HitAnchor.empty()) {
        FHandCursor = true;
        if (FHover && r.HitAnchorNumber != FHoverAnchor) {
            if (FHoverAnchor != -1) InvalidateAnchor(FHoverRect);
            InvalidateAnchor(r.HitAnchorRect);
        }
        if (FHover) {
            FHoverAnchor = r.HitAnchorNumber;
            FHoverRect = r.HitAnchorRect;
        }
    } else {
        FHandCursor = false;
        if (FHover && FHoverAnchor != -1) InvalidateAnchor(FHoverRect);
        FHoverAnchor = -1;
    }
    SetCursor(FHandCursor ? LinkCursor() : LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW)));
}

void THTMLPopupWindow::ClickAt(int X, int Y) {
    const THTMLRenderResult r = HitTestAt(X, Y);
    std::shared_ptr<bool> alive = FAlive;
    if (r.Hit) Raise(OnAnchorClick, this, r.HitAnchor);
    if (!*alive) return;  // the handler freed the window
    if (FHover && FHoverAnchor != -1) InvalidateAnchor(FHoverRect);
}

void THTMLPopupWindow::Paint() {
    TPaintDC dc(FHandle);
    // Drawn off screen first, so the shading never flickers under the text.
    TMemoryDC mem(dc.Get());
    TGdiObject<HBITMAP> bmp(CreateCompatibleBitmap(dc.Get(), std::max(1, FWidth), std::max(1, FHeight)));
    TSelectObject selected(mem.Get(), bmp.Get());
    PaintTo(mem.Get());
    BitBlt(dc.Get(), 0, 0, FWidth, FHeight, mem.Get(), 0, 0, SRCCOPY);
}

LRESULT THTMLPopupWindow::WndProc(UINT Msg, WPARAM WParam, LPARAM LParam) {
    switch (Msg) {
    case WM_ERASEBKGND:
        return 1;  // the paint covers every pixel
    case WM_PAINT:
        Paint();
        return 0;
    case WM_NCHITTEST:
        MouseOver(static_cast<short>(LOWORD(LParam)), static_cast<short>(HIWORD(LParam)));
        return HTCLIENT;
    case WM_SETCURSOR:
        if (LOWORD(LParam) == HTCLIENT) {
            SetCursor(FHandCursor ? LinkCursor() : LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW)));
            return TRUE;
        }
        break;
    case WM_MOUSEMOVE:
        if (!FTrackingLeave) {
            TRACKMOUSEEVENT tme{};
            tme.cbSize = sizeof(tme);
            tme.dwFlags = TME_LEAVE;
            tme.hwndTrack = FHandle;
            FTrackingLeave = TrackMouseEvent(&tme) != FALSE;
        }
        return 0;
    case WM_MOUSELEAVE:
        FTrackingLeave = false;
        FHandCursor = false;
        if (FHover && FHoverAnchor != -1) {
            InvalidateAnchor(FHoverRect);
            FHoverAnchor = -1;
        }
        if (AutoHide) Hide();
        return 0;
    case WM_MOUSEACTIVATE:
        // The click is handled on the button press; the user's window keeps the focus.
        return MA_NOACTIVATE;
    case WM_LBUTTONDOWN:
        ClickAt(static_cast<short>(LOWORD(LParam)), static_cast<short>(HIWORD(LParam)));
        return 0;
    case WM_SETFOCUS:
        // Should the focus come here all the same, it goes back where it came from.
        if (WParam && IsWindow(reinterpret_cast<HWND>(WParam))) SetFocus(reinterpret_cast<HWND>(WParam));
        return 0;
    case WM_NCDESTROY:
        // The system destroys owned windows with their owner; the handle is forgotten
        // after this, so a later show makes a new window instead of using a dead one.
        FTrackingLeave = false;
        break;
    default:
        break;
    }
    return DefaultProc(Msg, WParam, LParam);
}

// ---- Popup component ----

THTMLPopup::THTMLPopup(TComponent* AOwner) : TComponent(AOwner) {
    Text.OnChange = [this](TObject*) {
        if (FWindow) FWindow->SetText(Joined(Text));
    };
}

THTMLPopup::~THTMLPopup() {
    BeginDestroy();
    *FAlive = false;
    FWindow.reset();
}

void THTMLPopup::Notification(TComponent* AComponent, TOperation Operation) {
    TComponent::Notification(AComponent, Operation);
    if (Operation != opRemove) return;
    if (AComponent == FImages) {
        FImages = nullptr;
        if (FWindow) FWindow->Images = nullptr;
    }
    if (AComponent == FPictureContainer) {
        FPictureContainer = nullptr;
        if (FWindow) FWindow->PictureContainer = nullptr;
    }
}

// The window takes a new list or container at once: the popup stops watching the old one,
// so a window still holding it could paint from a freed object.
void THTMLPopup::SetImages(THTMLImageList* Value) {
    if (FImages == Value) return;
    if (FImages) RemoveFreeNotification(FImages);
    FImages = Value;
    if (Value) FreeNotification(Value);
    if (FWindow) FWindow->Images = Value;
}

void THTMLPopup::SetPictureContainer(THTMLPictureSource* Value) {
    if (FPictureContainer == Value) return;
    if (FPictureContainer) RemoveFreeNotification(FPictureContainer);
    FPictureContainer = Value;
    if (Value) FreeNotification(Value);
    if (FWindow) FWindow->PictureContainer = Value;
}

std::string THTMLPopup::Joined(const TStringList& Lines) {
    std::string s;
    for (const auto& line : Lines.Lines())
        s += line;
    return s;
}

void THTMLPopup::EnsureWindow() {
    if (!FWindow) {
        FWindow = std::make_unique<THTMLPopupWindow>();
        FWindow->SetHover(true);
    }
}

THTMLPopupLook THTMLPopup::LookSettings(int Dpi) const {
    THTMLPopupLook look;
    look.ShadeEnable = ShadeEnable;
    look.ShadeStartColor = ShadeStartColor;
    look.ShadeEndColor = ShadeEndColor;
    look.ShadeDirection = ShadeDirection;
    look.ShadeSteps = ShadeSteps;
    look.MarginX = ScaleToDpi(MarginX, Dpi);
    look.MarginY = ScaleToDpi(MarginY, Dpi);
    look.BorderSize = ScaleToDpi(BorderSize, Dpi);
    look.Color = Color;
    return look;
}

void THTMLPopup::SizeLimits(int Dpi, int& MaxWidth, int& MaxHeight) const {
    const RECT wa = WorkArea();
    MaxWidth = std::max(1, static_cast<int>(wa.right - wa.left) - ScaleToDpi(kRightGap, Dpi));
    MaxHeight = std::max(1, static_cast<int>(wa.bottom - wa.top) - ScaleToDpi(std::max(0, RollUpSpace), Dpi));
}

bool THTMLPopup::Fits(const TStringList& Lines) {
    EnsureWindow();
    THTMLPopupContent content;
    content.Text = Joined(Lines);
    content.Font = Font;
    content.Images = FImages;
    content.PictureContainer = FPictureContainer;
    int maxWidth = 0, maxHeight = 0, w = 0, h = 0;
    FWindow->Dpi = WorkAreaDpi();
    SizeLimits(FWindow->Dpi, maxWidth, maxHeight);
    return FWindow->FitSize(LookSettings(FWindow->Dpi), content, maxWidth, maxHeight, w, h);
}

void THTMLPopup::PrepareWindow() {
    EnsureWindow();
    FWindow->Hide();
    // Fonts, margins and pictures for the monitor it rolls up on, which may have changed
    // since the last showing.
    const int dpi = WorkAreaDpi();
    FWindow->Dpi = dpi;
    FWindow->SetOwnerWindow(OwnerWindow);
    FWindow->SetText(Joined(Text));
    FWindow->SetAlwaysOnTop(AlwaysOnTop);
    FWindow->SetBounds(PopupLeft, PopupTop, ScaleToDpi(PopupWidth, dpi), ScaleToDpi(PopupHeight, dpi));
    FWindow->PictureContainer = FPictureContainer;
    FWindow->SetHover(Hover);
    FWindow->Images = FImages;
    FWindow->Look = LookSettings(dpi);
    FWindow->Font = Font;
    FWindow->AutoHide = AutoHide;
    FWindow->OnAnchorClick = [this](TObject*, const std::string& Anchor) {
        Raise(OnAnchorClick, this, Anchor);
    };
    SizeLimits(dpi, FWindow->MaxWidth, FWindow->MaxHeight);
    FWindow->SetAutoSize(AutoSize);
}

// Every show and hide takes over from an animation under way (the animations pump
// messages, so one can start inside another): the older loop sees a newer generation at
// its next step and stops.
void THTMLPopup::Hide() {
    ++FGeneration;
    if (FWindow) FWindow->Hide();
}

void THTMLPopup::Show() {
    ++FGeneration;
    ShowPrepared();
}

void THTMLPopup::ShowPrepared() {
    PrepareWindow();
    FWindow->ShowNoActivate();
}

// The work area of the monitor that holds the taskbar, where the user looks for the tray;
// without a taskbar, the primary monitor's.
RECT THTMLPopup::WorkArea() {
    if (HWND tray = FindWindowA("Shell_TrayWnd", nullptr)) {
        MONITORINFO mi{};
        mi.cbSize = sizeof(mi);
        if (GetMonitorInfoA(MonitorFromWindow(tray, MONITOR_DEFAULTTOPRIMARY), &mi)) return mi.rcWork;
    }
    RECT wa{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &wa, 0);
    return wa;
}

int THTMLPopup::WorkAreaDpi() { return DpiOfRect(WorkArea()); }

void THTMLPopup::RollUp() {
    const unsigned generation = ++FGeneration;
    const RECT wa = WorkArea();
    PopupTop = wa.bottom;
    PrepareWindow();
    const int dpi = FWindow->Dpi, step = ScaleToDpi(kRollStep, dpi);
    PopupLeft = wa.right - FWindow->Width() - ScaleToDpi(kRightGap, dpi);
    ShowPrepared();
    const int final = wa.bottom - FWindow->Height() - ScaleToDpi(RollUpSpace, dpi);
    std::shared_ptr<bool> alive = FAlive;
    // Also stops at the final place, which a negative RollUpSpace puts below the edge.
    while (FWindow->Top() + FWindow->Height() > wa.bottom && FWindow->Top() > final) {
        if (!SleepHandlingMessages(kRollInterval) || !*alive || !FWindow || generation != FGeneration) return;
        FWindow->SetTop(std::max(FWindow->Top() - step, final));
    }
    FWindow->SetTop(final);
}

void THTMLPopup::RollDown() {
    const unsigned generation = ++FGeneration;
    // A hidden window has nothing to sink (a window made only to measure has no handle).
    if (!FWindow || !FWindow->Visible()) return;
    const RECT wa = WorkArea();
    const int step = ScaleToDpi(kRollStep, FWindow->Dpi);
    std::shared_ptr<bool> alive = FAlive;
    while (FWindow->Top() < wa.bottom) {
        if (!SleepHandlingMessages(kRollInterval) || !*alive || !FWindow || generation != FGeneration) return;
        FWindow->SetTop(FWindow->Top() + step);
    }
    FWindow->Hide();
}
