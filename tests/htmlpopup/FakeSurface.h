#pragma once
// A deterministic drawing surface for layout tests, the fuzzer and the benchmark.
// Metrics: every string is Size + 5 pixels high; every shown character is Size * 3 / 4
// pixels wide, one more in bold (8 points: 13 high, 6 wide); "&&" shows one "&", a lone
// "&" shows nothing; a tab moves to the next multiple of 8 character widths.
// Drawing calls are logged as text lines when Log is on.
#include <string>
#include <vector>

#include "base/StrUtils.h"
#include "htmlpopup/HTMLPopup.h"

class TFakeSurface : public THTMLSurface {
public:
    THTMLFont Font() const override { return FFont; }
    void SetFont(const THTMLFont& AFont) override { FFont = AFont; }
    TColor TextBackground() const override { return FBackground; }
    void SetTextBackground(TColor AColor) override { FBackground = AColor; }

    int CharWidth() const { return FFont.Size * 3 / 4 + ((FFont.Style & fsBold) ? 1 : 0); }
    int TextHeight(const std::string&) override { return FFont.Size + 5; }
    int TextWidth(const std::string& S) override {
        const int cw = CharWidth();
        int w = 0;
        for (size_t i = 0; i < S.size(); ++i) {
            if (S[i] == '&') {
                if (i + 1 < S.size() && S[i + 1] == '&') {
                    ++i;
                    w += cw;
                }
                continue;
            }
            if (S[i] == '\t') {
                const int tab = 8 * cw;
                w = tab > 0 ? (w / tab + 1) * tab : w;
                continue;
            }
            w += cw;
        }
        return w;
    }
    void DrawTextBox(const TRect& Box, const std::string& S) override {
        if (Log)
            Calls.push_back(
                Format("text %d,%d,%d,%d color=%06X bg=%08X style=%u size=%d face=%s turn=%d '%s'", Box.Left,
                       Box.Top, Box.Right, Box.Bottom, FFont.Color, FBackground, FFont.Style, FFont.Size,
                       FFont.Name.c_str(), FFont.Orientation, S.c_str()));
    }
    void DrawChar(int X, int Y, char C) override {
        if (Log)
            Calls.push_back(
                Format("char %d,%d face=%s %02X", X, Y, FFont.Name.c_str(), static_cast<unsigned char>(C)));
    }
    void FillRect(const TRect& R, TColor AColor) override {
        if (Log) Calls.push_back(Format("fill %d,%d,%d,%d %08X", R.Left, R.Top, R.Right, R.Bottom, AColor));
    }
    void MoveTo(int X, int Y) override {
        if (Log) Calls.push_back(Format("move %d,%d", X, Y));
    }
    void LineTo(int X, int Y) override {
        if (Log) Calls.push_back(Format("line %d,%d %08X", X, Y, FPen));
    }
    void SetPenColor(TColor AColor) override { FPen = AColor; }
    int PixelsPerInchX() const override { return PpiX; }
    int PixelsPerInchY() const override { return PpiY; }
    TColor ResolveColor(TColor AColor) const override {
        return IsSystemColor(AColor) ? 0x010101u * (AColor & 0xFF) : AColor;
    }
    void ShellIconSize(bool Large, int& Width, int& Height) override { Width = Height = Large ? 32 : 16; }
    int ShellIconIndex(bool, const std::string& Path) override { return SameText(Path, "C:\\") ? 3 : 1; }
    void DrawShellIcon(bool Large, int Index, int X, int Y) override {
        if (Log) Calls.push_back(Format("icon %s %d at %d,%d", Large ? "large" : "small", Index, X, Y));
    }

    // The calls whose text starts with Prefix.
    std::vector<std::string> Only(const std::string& Prefix) const {
        std::vector<std::string> r;
        for (const auto& c : Calls)
            if (c.compare(0, Prefix.size(), Prefix) == 0) r.push_back(c);
        return r;
    }

    bool Log = true;
    int PpiX = 96, PpiY = 96;
    std::vector<std::string> Calls;

private:
    THTMLFont FFont;
    TColor FBackground = clNone;
    TColor FPen = clBlack;
};

// An image list of Count images of Width × Height that logs what it draws.
class TFakeImages : public THTMLImageList {
public:
    TFakeImages(TFakeSurface* Log, int ACount, int AWidth = 16, int AHeight = 16)
        : FLog(Log), FCount(ACount), FWidth(AWidth), FHeight(AHeight) {}
    int Count() const override { return FCount; }
    int Width() const override { return FWidth; }
    int Height() const override { return FHeight; }
    void Draw(THTMLSurface&, int Index, int X, int Y) override {
        if (FLog && FLog->Log) FLog->Calls.push_back(Format("image %d at %d,%d", Index, X, Y));
    }

private:
    TFakeSurface* FLog;
    int FCount, FWidth, FHeight;
};
