#pragma once
// The news popup on Windows: a GDI drawing surface for the renderer, an image list over a
// HIMAGELIST, the popup window and the non-visual popup component that shows it.
#include <windows.h>
#include <commctrl.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "base/Component.h"
#include "base/Strings.h"
#include "htmlpopup/HTMLPopup.h"
#include "htmlpopup/PictureContainer_win.h"
#include "ui/Dpi_win.h"
#include "ui/ScopedHandles_win.h"
#include "ui/Window_win.h"

// Fonts made for a surface, kept between paints: every mouse move lays the whole text out,
// so fonts and their character widths are made once, not per call.
class TGDIFontCache {
public:
    TGDIFontCache() = default;
    ~TGDIFontCache();
    TGDIFontCache(const TGDIFontCache&) = delete;
    TGDIFontCache& operator=(const TGDIFontCache&) = delete;

    struct TEntry {
        THTMLFont Font;  // colour ignored
        int PixelsPerInch = 96;
        TGdiObject<HFONT> Handle;
        int Height = 0;
        int TabWidth = 0;
        int Widths[256] = {};
    };
    // The entry for AFont at Ppi pixels per inch, made with DC when new. Never nullptr.
    TEntry* Get(HDC DC, const THTMLFont& AFont, int Ppi);
    // Too many fonts (a text can name any size): the caller deselects them first.
    bool Full() const { return FEntries.size() >= kMaxFonts; }
    void Clear();

private:
    static constexpr size_t kMaxFonts = 48;
    std::vector<std::unique_ptr<TEntry>> FEntries;
};

// The renderer's surface over a device context. The DC's font, colours and pen are put
// back when the surface goes.
class TGDISurface : public THTMLSurface {
public:
    // Dpi: the pixels per inch of the monitor drawn on (0: the DC's own, which is the
    // system's whatever the monitor).
    TGDISurface(HDC DC, TGDIFontCache& Fonts, int Dpi = 0);
    ~TGDISurface() override;
    TGDISurface(const TGDISurface&) = delete;
    TGDISurface& operator=(const TGDISurface&) = delete;

    HDC DC() const { return FDC; }

    THTMLFont Font() const override { return FFont; }
    void SetFont(const THTMLFont& AFont) override;
    TColor TextBackground() const override { return FBackground; }
    void SetTextBackground(TColor AColor) override { FBackground = AColor; }
    int TextHeight(const std::string& S) override;
    int TextWidth(const std::string& S) override;
    void DrawTextBox(const TRect& Box, const std::string& S) override;
    void DrawChar(int X, int Y, char C) override;
    void FillRect(const TRect& R, TColor AColor) override;
    void MoveTo(int X, int Y) override;
    void LineTo(int X, int Y) override;
    void SetPenColor(TColor AColor) override;
    int PixelsPerInchX() const override { return FPpiX; }
    int PixelsPerInchY() const override { return FPpiY; }
    TColor ResolveColor(TColor AColor) const override;
    void ShellIconSize(bool Large, int& Width, int& Height) override;
    int ShellIconIndex(bool Large, const std::string& Path) override;
    void DrawShellIcon(bool Large, int Index, int X, int Y) override;

    static COLORREF ColorRef(TColor AColor);

private:
    TGDIFontCache::TEntry* Entry();
    void SelectCurrentFont();
    static HIMAGELIST SystemList(bool Large);

    HDC FDC;
    TGDIFontCache& FFonts;
    THTMLFont FFont;
    TGDIFontCache::TEntry* FEntry = nullptr;
    bool FFontSelected = false;
    TColor FBackground = clNone;
    TColor FPenColor = clBlack;
    TGdiObject<HPEN> FPen;
    HGDIOBJ FOldFont = nullptr, FOldPen = nullptr;
    int FOldBkMode = 0;
    COLORREF FOldTextColor = 0, FOldBkColor = 0;
    int FPpiX = 96, FPpiY = 96;
};

// "idx:" images from a Windows image list. The handle belongs to whoever made it unless
// Owned is set. Its images are drawn for ImageDpi (a list of the system's size, as the
// forms make them); the renderer gets their size in 96-DPI pixels and scales it itself.
class TGDIImageList : public THTMLImageList {
public:
    explicit TGDIImageList(TComponent* AOwner = nullptr, HIMAGELIST AHandle = nullptr, bool AOwned = false)
        : THTMLImageList(AOwner), FHandle(AHandle), FOwned(AOwned) {}
    ~TGDIImageList() override;
    HIMAGELIST Handle() const { return FHandle; }
    void SetHandle(HIMAGELIST AHandle, bool AOwned);

    int Count() const override;
    int Width() const override;
    int Height() const override;
    void Draw(THTMLSurface& Canvas, int Index, int X, int Y) override;

    int ImageDpi = SystemDpi();

private:
    HIMAGELIST FHandle;
    bool FOwned;
};

using TAnchorClickEvent = std::function<void(TObject* Sender, const std::string& Anchor)>;

// The popup window: paints the text over its shading and frame, sizes itself to the text,
// shows the hand over links and turns a click on a link into OnAnchorClick.
class THTMLPopupWindow : public TObject, public TWindow {
public:
    THTMLPopupWindow() = default;
    ~THTMLPopupWindow() override;

    bool HandleAllocated() const { return FHandle != nullptr; }
    // Makes the platform window when there is none.
    void HandleNeeded();

    bool AlwaysOnTop() const { return FAlwaysOnTop; }
    // Re-creates the platform window so that the new style takes effect.
    void SetAlwaysOnTop(bool Value);
    HWND OwnerWindow() const { return FOwnerWindow; }
    void SetOwnerWindow(HWND Value);

    bool AutoSize() const { return FAutoSize; }
    // Setting true sizes the window to its text at once.
    void SetAutoSize(bool Value);
    bool Hover() const { return FHover; }
    // Also forgets the hovered link.
    void SetHover(bool Value);

    const std::string& Text() const { return FText; }
    void SetText(const std::string& Value);

    void SetBounds(int Left, int Top, int Width, int Height);
    int Left() const { return FLeft; }
    int Top() const { return FTop; }
    int Width() const { return FWidth; }
    int Height() const { return FHeight; }
    void SetTop(int Value) { SetBounds(FLeft, Value, FWidth, FHeight); }

    bool Visible() const;
    // Shown without taking the activation from the user's window.
    void ShowNoActivate();
    void Hide();

    int HoverAnchor() const { return FHoverAnchor; }
    const TRect& HoverRect() const { return FHoverRect; }
    bool HandCursor() const { return FHandCursor; }

    // Paints the client area into DC (at 0, 0), as the screen shows it.
    void PaintTo(HDC DC);
    // The renderer's hit test at a client point.
    THTMLRenderResult HitTestAt(int X, int Y);
    // The click step at a client point: raises OnAnchorClick when it is on a link.
    void ClickAt(int X, int Y);
    // Pictures the text names by address, read when first met and kept with the window.
    THTMLPictureCache& PictureCache() { return *FPictureCache; }
    // The auto-size of a text with these settings within the limits (PopupFitSize), measured
    // with this window's fonts and picture cache; nothing changes on screen.
    bool FitSize(const THTMLPopupLook& ALook, THTMLPopupContent AContent, int AMaxWidth, int AMaxHeight,
                 int& Width, int& Height);

    // Settings copied in by the popup.
    bool AutoHide = false;
    // The DPI of the monitor the window shows on: fonts and pictures are made for it.
    int Dpi = SystemDpi();
    // Auto-size keeps the window within these (0: no limit).
    int MaxWidth = 0, MaxHeight = 0;
    THTMLPopupLook Look;
    THTMLFont Font;
    THTMLImageList* Images = nullptr;
    THTMLPictureSource* PictureContainer = nullptr;
    TAnchorClickEvent OnAnchorClick;

protected:
    LRESULT WndProc(UINT Msg, WPARAM WParam, LPARAM LParam) override;

private:
    void MakeWindow();
    void Paint();
    THTMLPopupContent Content() const;
    void MouseOver(int ScreenX, int ScreenY);
    void InvalidateAnchor(const TRect& R);

    HWND FOwnerWindow = nullptr;
    TMemoryDC FMeasureDC;
    TGDIFontCache FFonts;
    // The loader outlives the pictures it made.
    std::unique_ptr<TOlePictureLoader> FPictureLoader = std::make_unique<TOlePictureLoader>();
    std::unique_ptr<THTMLPictureCache> FPictureCache = std::make_unique<THTMLPictureCache>(*FPictureLoader);
    std::string FText;
    bool FAlwaysOnTop = false;
    bool FAutoSize = false;
    bool FHover = true;
    bool FHandCursor = false;
    bool FTrackingLeave = false;
    int FHoverAnchor = -1;
    TRect FHoverRect;
    int FLeft = 0, FTop = 0, FWidth = 200, FHeight = 200;
    // Cleared when the window goes, so code after a user handler can tell.
    std::shared_ptr<bool> FAlive = std::make_shared<bool>(true);
};

// The popup component on the owner form: settings, text, the show and hide animations.
class THTMLPopup : public TComponent {
public:
    explicit THTMLPopup(TComponent* AOwner = nullptr);
    ~THTMLPopup() override;

    // Each of these takes over from a RollUp or RollDown under way, which stops at its
    // next step.
    void Hide();
    void Show();
    void RollUp();
    void RollDown();
    void PrepareWindow();

    // Whether Lines, auto-sized as a show would size them (wrapped at the widest width the
    // work area allows), fit the work area's height less RollUpSpace, so that a show would
    // cut nothing off. The form drops items until the text fits; nothing changes on screen.
    bool Fits(const TStringList& Lines);

    THTMLImageList* Images() const { return FImages; }
    void SetImages(THTMLImageList* Value);
    THTMLPictureSource* PictureContainer() const { return FPictureContainer; }
    void SetPictureContainer(THTMLPictureSource* Value);
    std::string Version() const { return "1.1.0.0"; }
    void SetVersion(const std::string&) {}

    // The window, once prepared (nullptr before).
    THTMLPopupWindow* Window() const { return FWindow.get(); }

    bool AlwaysOnTop = false;
    bool AutoHide = false;
    bool AutoSize = false;
    int BorderSize = 0;
    TColor Color = clInfoBk;
    THTMLFont Font;
    bool Hover = false;
    int MarginX = 4;
    int MarginY = 4;
    int PopupLeft = 0;
    int PopupTop = 0;
    int RollUpSpace = 0;
    bool ShadeEnable = false;
    TColor ShadeStartColor = clSilver;
    TColor ShadeEndColor = clGray;
    int ShadeSteps = 40;
    TShadeDirection ShadeDirection = sdHorizontal;
    TStringList Text;
    int PopupWidth = 200;
    int PopupHeight = 200;
    TAnchorClickEvent OnAnchorClick;
    // The owner form's window; the popup window is owned by it.
    HWND OwnerWindow = nullptr;

    static constexpr int kRollStep = 20;
    static constexpr DWORD kRollInterval = 50;
    static constexpr int kRightGap = 20;

protected:
    void Notification(TComponent* AComponent, TOperation Operation) override;

private:
    static std::string Joined(const TStringList& Lines);
    void EnsureWindow();
    void ShowPrepared();
    // Margins and border in pixels of Dpi.
    THTMLPopupLook LookSettings(int Dpi) const;
    // The largest window that stays inside the work area: 20 pixels left of its right edge
    // and RollUpSpace above its bottom (both scaled to Dpi).
    void SizeLimits(int Dpi, int& MaxWidth, int& MaxHeight) const;
    static RECT WorkArea();
    // The DPI of the monitor the popup rolls up on.
    static int WorkAreaDpi();

    std::unique_ptr<THTMLPopupWindow> FWindow;
    THTMLImageList* FImages = nullptr;
    THTMLPictureSource* FPictureContainer = nullptr;
    unsigned FGeneration = 0;
    std::shared_ptr<bool> FAlive = std::make_shared<bool>(true);
};
