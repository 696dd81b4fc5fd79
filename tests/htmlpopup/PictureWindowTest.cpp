// Pictures under Wine: real files and resources decoded by the platform's loader, drawn
// with GDI at their own size and stretched, GIF frames, and a popup that shows them all.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>

#include "htmlpopup/HTMLPopup_win.h"
#include "htmlpopup/PictureContainer_win.h"
#include "tests/htmlpopup/Screenshot_win.h"

namespace {

const std::string kDir = PELORIN_PICTURE_DIR;

// A white 24-bit canvas with a GDI surface on it.
class TCanvas {
public:
    TCanvas(int W, int H)
        : FBitmap(CreateCompatibleBitmap(FScreen.Get(), W, H)), FSelect(FDC.Get(), FBitmap.Get()) {
        RECT all{0, 0, W, H};
        FillRect(FDC.Get(), &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
        Surface = std::make_unique<TGDISurface>(FDC.Get(), FFonts);
    }
    COLORREF At(int X, int Y) const { return GetPixel(FDC.Get(), X, Y); }
    HDC DC() const { return FDC.Get(); }
    std::unique_ptr<TGDISurface> Surface;

private:
    TWindowDC FScreen{nullptr};
    TMemoryDC FDC{FScreen.Get()};
    TGdiObject<HBITMAP> FBitmap;
    TSelectObject FSelect;
    TGDIFontCache FFonts;
};

// JPEG colours drift a little.
bool Near(COLORREF Got, COLORREF Want) {
    return std::abs(GetRValue(Got) - GetRValue(Want)) <= 24 &&
           std::abs(GetGValue(Got) - GetGValue(Want)) <= 24 &&
           std::abs(GetBValue(Got) - GetBValue(Want)) <= 24;
}

const COLORREF kWhite = RGB(255, 255, 255);
const COLORREF kLogo = RGB(0xC0, 0, 0);
const COLORREF kPhoto = RGB(0, 0x40, 0xC0);

}  // namespace

TEST(OlePictures, FilesAndResourcesDecodeToTheirSizesAndDrawNaturalOrStretched) {
    TOlePictureLoader loader;
    const struct {
        std::string Address;
        int W, H;
        COLORREF Corner;
    } cases[] = {{"RES://LOGO", 24, 16, kLogo}, {"FILE://" + kDir + "/photo.jpg", 32, 20, kPhoto}};
    for (const auto& c : cases) {
        THTMLPicture p(loader);
        p.Asynchronous = false;
        p.LoadFromAddress(c.Address);
        ASSERT_FALSE(p.Empty()) << c.Address;
        EXPECT_EQ((std::vector<int>{p.Width(), p.Height()}), (std::vector<int>{c.W, c.H})) << c.Address;
        TCanvas canvas(200, 100);
        p.Draw(*canvas.Surface, 10, 10);
        p.StretchDraw(*canvas.Surface, {100, 10, 190, 90});
        // Natural size: the last pixel is the picture's, the next one is not touched.
        EXPECT_TRUE(Near(canvas.At(10 + c.W - 1, 10 + c.H - 1), c.Corner)) << c.Address;
        EXPECT_EQ(canvas.At(10 + c.W, 10), kWhite) << c.Address;
        EXPECT_EQ(canvas.At(10, 10 + c.H), kWhite) << c.Address;
        // Stretched over the whole rectangle.
        EXPECT_TRUE(Near(canvas.At(189, 89), c.Corner)) << c.Address;
        EXPECT_EQ(canvas.At(190, 90), kWhite) << c.Address;
    }
}

TEST(OlePictures, GifFrameShowsItsOwnImageWithItsBox) {
    TOlePictureLoader loader;
    THTMLPicture p(loader);
    p.LoadFromFile(kDir + "/anim.gif");
    ASSERT_FALSE(p.Empty());
    EXPECT_EQ(p.FrameCount(), 5);
    const struct {
        int Frame, Left, Top, W, H;
        COLORREF Color;
    } frames[] = {{2, 2, 2, 10, 8, RGB(255, 0, 0)}, {3, 8, 6, 12, 6, RGB(0, 0xC0, 0)}};
    for (const auto& f : frames) {
        p.SetFrame(f.Frame);
        ASSERT_FALSE(p.Empty()) << f.Frame;
        EXPECT_EQ((std::vector<int>{p.FrameOffset().X, p.FrameOffset().Y, p.Width(), p.Height()}),
                  (std::vector<int>{f.Left, f.Top, f.W, f.H}))
            << f.Frame;
        EXPECT_EQ((std::vector<int>{p.AnimationWidth(), p.AnimationHeight()}), (std::vector<int>{40, 30}));
        TCanvas canvas(100, 100);
        p.Draw(*canvas.Surface, 0, 0);
        EXPECT_EQ(canvas.At(0, 0), f.Color) << f.Frame;
    }
}

TEST(OlePictures, BadResourcesNeitherThrowNorShowWhenRefused) {
    TOlePictureLoader loader;
    THTMLPictureCache cache(loader);
    // A cut JPEG is the loader's to judge; a huge GIF, a missing resource and a web address
    // give empty pictures.
    const struct {
        const char* Address;
        bool MustBeEmpty;
    } cases[] = {{"RES://TRUNCATED", false},
                 {"RES://HUGE", true},
                 {"RES://MISSING", true},
                 {"http://pics.example/a.gif", true}};
    for (const auto& c : cases) {
        TRenderPicture* p = nullptr;
        ASSERT_NO_THROW(p = cache.Picture(c.Address)) << c.Address;
        ASSERT_NE(p, nullptr) << c.Address;
        if (c.MustBeEmpty) {
            EXPECT_TRUE(p->Empty()) << c.Address;
        }
    }
}

TEST(PicturePopup, ShowsResourceFileFrameAndContainerPictures) {
    TComponent form;
    TOlePictureLoader loader;
    auto* container = new TPictureContainer(loader, &form);
    TPictureItem* item = container->Items.Add();
    item->Name = "Banner";
    item->Picture.LoadFromFile(kDir + "/banner.gif");
    ASSERT_FALSE(item->Picture.Empty());

    auto* popup = new THTMLPopup(&form);
    popup->SetPictureContainer(container);
    popup->Color = clWhite;
    popup->PopupWidth = 260;
    popup->PopupHeight = 110;
    const std::string anim = "FILE://" + kDir + "/anim.gif";
    popup->Text.Add("<B>Pictures</B><BR>");
    popup->Text.Add("<IMG src=\"RES://LOGO\"> <IMG src=\"FILE://" + kDir + "/photo.jpg\"> <IMG src=\"" +
                    anim + "\"> <IMG src=\"bANNER\"><BR>");
    popup->Text.Add("<IMG src=\"RES://LOGO\" width=\"48\" height=\"32\"> <IMG src=\"RES://TRUNCATED\">");
    popup->Show();
    THTMLPopupWindow* w = popup->Window();
    ASSERT_NE(w, nullptr);
    SleepHandlingMessages(100);
    THTMLPicture* gif = w->PictureCache().FindPicture(anim);
    ASSERT_NE(gif, nullptr);
    gif->SetFrame(2);
    InvalidateRect(w->Handle(), nullptr, TRUE);
    SleepHandlingMessages(100);
    // Every address was read once, into the window's own cache.
    EXPECT_EQ(w->PictureCache().Count(), 4);

    // Pixels of each picture's own colour: the logo at its size (256 red) and stretched
    // twice as wide and high (1024 red); the photo whole; frame 2 of the animation alone;
    // the container's picture, found in another case.
    TCanvas canvas(w->Width(), w->Height());
    w->PaintTo(canvas.DC());
    const struct {
        COLORREF Color;
        bool Exact;
        int Count;
    } colours[] = {{kLogo, true, 256 + 1024},
                   {kPhoto, false, 32 * 20},
                   {RGB(255, 0, 0), true, 10 * 8},
                   {RGB(0, 160, 64), true, 171},
                   {RGB(0, 0xC0, 0), true, 0}};
    for (const auto& c : colours) {
        int n = 0;
        for (int y = 0; y < w->Height(); ++y)
            for (int x = 0; x < w->Width(); ++x)
                n += c.Exact ? canvas.At(x, y) == c.Color : Near(canvas.At(x, y), c.Color);
        EXPECT_EQ(n, c.Count) << std::hex << c.Color;
    }
    Screenshot(w, "pictures_popup");
    delete popup;
}
