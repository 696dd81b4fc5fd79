#pragma once
// The popup's mini-HTML: one routine lays a text out inside a rectangle and, in the same
// run, paints it or finds the link under a point. It draws on an abstract surface so that
// the layout runs in tests without GDI; the Windows surface and the window itself live in
// HTMLPopup_win.h.
#include <cstdint>
#include <string>

#include "base/Colors.h"
#include "base/Component.h"

struct TRect {
    int Left = 0, Top = 0, Right = 0, Bottom = 0;
    int Width() const { return Right - Left; }
    int Height() const { return Bottom - Top; }
    bool operator==(const TRect& o) const {
        return Left == o.Left && Top == o.Top && Right == o.Right && Bottom == o.Bottom;
    }
};

struct TPoint {
    int X = 0, Y = 0;
};

enum TFontStyle : unsigned { fsBold = 1, fsItalic = 2, fsUnderline = 4, fsStrikeOut = 8 };

// A font as the renderer sees it. Orientation (tenths of a degree) turns the text.
struct THTMLFont {
    std::string Name = "MS Sans Serif";
    int Size = 8;  // points
    unsigned Style = 0;
    TColor Color = clWindowText;
    int Orientation = 0;

    bool operator==(const THTMLFont& o) const {
        return Name == o.Name && Size == o.Size && Style == o.Style && Color == o.Color &&
               Orientation == o.Orientation;
    }
    bool operator!=(const THTMLFont& o) const { return !(*this == o); }
};

// What the renderer draws on. Text is measured and drawn with the prefix convention
// ("&&" shows one "&", a lone "&" underlines the next character) and tabs expanded.
class THTMLSurface {
public:
    virtual ~THTMLSurface() = default;

    virtual THTMLFont Font() const = 0;
    virtual void SetFont(const THTMLFont& AFont) = 0;
    // clNone draws text transparently.
    virtual TColor TextBackground() const = 0;
    virtual void SetTextBackground(TColor AColor) = 0;

    // Ascent plus descent of the current font, whatever the string.
    virtual int TextHeight(const std::string& S) = 0;
    virtual int TextWidth(const std::string& S) = 0;
    // Single line, aligned to the bottom of Box, clipped to it, in the font's colour.
    virtual void DrawTextBox(const TRect& Box, const std::string& S) = 0;
    // One character at the top-left corner (X, Y), transparently.
    virtual void DrawChar(int X, int Y, char C) = 0;
    // Fills Left..Right-1 by Top..Bottom-1.
    virtual void FillRect(const TRect& R, TColor AColor) = 0;
    virtual void MoveTo(int X, int Y) = 0;
    // A 1-pixel line in the pen colour, the end point excluded.
    virtual void LineTo(int X, int Y) = 0;
    virtual void SetPenColor(TColor AColor) = 0;

    virtual int PixelsPerInchX() const = 0;
    virtual int PixelsPerInchY() const = 0;
    // A system colour as a plain 0x00BBGGRR value; plain colours unchanged.
    virtual TColor ResolveColor(TColor AColor) const = 0;

    // The platform's system icon lists: icon size, the icon of a file, folder or file type,
    // and drawing one transparently. A surface without them answers 0 × 0.
    virtual void ShellIconSize(bool Large, int& Width, int& Height) = 0;
    virtual int ShellIconIndex(bool Large, const std::string& Path) = 0;
    virtual void DrawShellIcon(bool Large, int Index, int X, int Y) = 0;
};

// Source of "idx:" images. A component, so that holders hear when it goes away.
class THTMLImageList : public TComponent {
public:
    explicit THTMLImageList(TComponent* AOwner = nullptr) : TComponent(AOwner) {}
    virtual int Count() const = 0;
    virtual int Width() const = 0;
    virtual int Height() const = 0;
    virtual void Draw(THTMLSurface& Canvas, int Index, int X, int Y) = 0;
};

// What the renderer needs of a picture from a container or a cache.
class TRenderPicture {
public:
    virtual ~TRenderPicture() = default;
    virtual bool Empty() const = 0;
    virtual int Width() const = 0;
    virtual int Height() const = 0;
    // Offset of the current animation frame; still pictures have none.
    virtual TPoint FrameOffset() const { return {}; }
    virtual void Draw(THTMLSurface& Canvas, int X, int Y) = 0;
    virtual void StretchDraw(THTMLSurface& Canvas, const TRect& R) = 0;
    // Repeats the picture from Clip's top-left corner, clipped to Clip.
    virtual void Tile(THTMLSurface& Canvas, const TRect& Clip) = 0;
};

// Named pictures (a container) or pictures by address (a cache, which may load one on
// demand). Nothing found is nullptr.
class THTMLPictureSource : public TComponent {
public:
    explicit THTMLPictureSource(TComponent* AOwner = nullptr) : TComponent(AOwner) {}
    virtual TRenderPicture* Picture(const std::string& NameOrAddress) = 0;
};

struct THTMLRenderResult {
    bool Hit = false;
    std::string HitAnchor;
    int HitAnchorNumber = -1;
    TRect HitAnchorRect;
    int AnchorCount = 0;
    int NeededWidth = 0;
    int NeededHeight = 0;
};

// Lays Text out in LayoutRect; paints it, or with HitTest finds the link at HitPoint.
// The surface's font and text background are as they were at entry when it returns.
THTMLRenderResult RenderHTML(THTMLSurface& Canvas, const std::string& Text, const TRect& LayoutRect,
                             THTMLImageList* Images, THTMLPictureSource* PictureContainer,
                             THTMLPictureSource* PictureCache, bool Hover, int HoverAnchor, bool HitTest,
                             TPoint HitPoint);

// Colour in the text: "#RRGGBB" or a name such as "clRed"; anything else is black.
TColor HTMLColor(const std::string& Value);

// A 64-step gradient over R from C1 to C2 (system colours resolved first).
void HTMLGradientFill(THTMLSurface& Canvas, const TRect& R, TColor C1, TColor C2, bool Horizontal);

// ---- The popup's look, shared by the window's paint, hit test and auto-size ----

enum TShadeDirection { sdHorizontal, sdVertical };

struct THTMLPopupLook {
    bool ShadeEnable = false;
    TColor ShadeStartColor = clSilver;
    TColor ShadeEndColor = clGray;
    int ShadeSteps = 40;
    TShadeDirection ShadeDirection = sdHorizontal;
    TColor Color = clInfoBk;
    int BorderSize = 0;
    int MarginX = 4;
    int MarginY = 4;
};

// What the text is laid out and drawn with, besides the text itself.
struct THTMLPopupContent {
    std::string Text;
    THTMLFont Font;
    THTMLImageList* Images = nullptr;
    THTMLPictureSource* PictureContainer = nullptr;
    THTMLPictureSource* PictureCache = nullptr;
};

// The client area without the frame.
TRect PopupInnerRect(const THTMLPopupLook& Look, int ClientWidth, int ClientHeight);
// Where the text goes: the inner rectangle less the margins.
TRect PopupLayoutRect(const THTMLPopupLook& Look, int ClientWidth, int ClientHeight);
// Background (shading or plain colour), frame, then the text.
void PaintPopup(THTMLSurface& Canvas, int ClientWidth, int ClientHeight, const THTMLPopupLook& Look,
                const THTMLPopupContent& Content, bool Hover, int HoverAnchor);
// The link under a client point.
THTMLRenderResult PopupHitTest(THTMLSurface& Canvas, int ClientWidth, int ClientHeight,
                               const THTMLPopupLook& Look, const THTMLPopupContent& Content,
                               TPoint ClientPoint);
// The window size the text needs (nothing is drawn).
void PopupAutoSize(THTMLSurface& Canvas, int ClientWidth, int ClientHeight, const THTMLPopupLook& Look,
                   const THTMLPopupContent& Content, bool Hover, int HoverAnchor, int& Width, int& Height);
// The same size kept within MaxWidth × MaxHeight (a limit of 0 or less is none): a text wider
// than MaxWidth is laid out again at that width, so that it wraps; the height is then capped
// at MaxHeight. True when the whole text fits in that height.
bool PopupFitSize(THTMLSurface& Canvas, int ClientWidth, int ClientHeight, const THTMLPopupLook& Look,
                  const THTMLPopupContent& Content, bool Hover, int HoverAnchor, int MaxWidth, int MaxHeight,
                  int& Width, int& Height);
