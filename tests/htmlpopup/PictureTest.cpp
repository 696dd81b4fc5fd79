// Pictures by name and address: the GIF frame reader over exact-size buffers, the declared
// size check, and THTMLPicture, its cache and container over a loader that logs.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <vector>

#include "base/StrUtils.h"
#include "htmlpopup/PictureBytes.h"
#include "htmlpopup/PictureContainer.h"
#include "tests/htmlpopup/FakeSurface.h"

namespace {

using Lines = std::vector<std::string>;
using Bytes = std::string;

Bytes Le16(int v) { return {static_cast<char>(v & 0xFF), static_cast<char>((v >> 8) & 0xFF)}; }
Bytes Le32(int v) { return Le16(v & 0xFFFF) + Le16((v >> 16) & 0xFFFF); }
Bytes Be16(int v) { return {static_cast<char>((v >> 8) & 0xFF), static_cast<char>(v & 0xFF)}; }

struct TFrameBox {
    int Left, Top, Width, Height;
};

// A GIF shaped as encoders write it: screen, then per frame a graphic control extension,
// an image descriptor and one data block tagged with the frame's number.
Bytes Gif(int W, int H, const std::vector<TFrameBox>& Frames) {
    Bytes g = "GIF89a" + Le16(W) + Le16(H) + Bytes("\0\0\0", 3);
    char n = 'a';
    for (const auto& f : Frames) {
        g += Bytes("\x21\xF9\x04\x00\x0A\x00\x00\x00", 8);
        g += "\x2C" + Le16(f.Left) + Le16(f.Top) + Le16(f.Width) + Le16(f.Height) + Bytes(1, '\0');
        g += Bytes("\x02\x02", 2) + n + n + Bytes(1, '\0');
        ++n;
    }
    return g + ";";
}

Bytes Bmp(int W, int H) { return "BM" + Bytes(12, '\0') + Le32(40) + Le32(W) + Le32(H) + Bytes(28, '\0'); }

Bytes Jpeg(int W, int H) {
    return Bytes("\xFF\xD8\xFF\xE0", 4) + Be16(16) + Bytes(14, 'J') + Bytes("\xFF\xFF\xC0", 3) + Be16(17) +
           Bytes(1, 8) + Be16(H) + Be16(W) + Bytes(12, '\0');
}

// The reader gets exactly the bytes, so any read past them is an ASan fault.
int CountFrames(const Bytes& b) {
    std::vector<char> exact(b.begin(), b.end());
    return GifFrameCount(exact.data(), exact.size());
}

TGifFrame Extract(const Bytes& b, int frame) {
    std::vector<char> exact(b.begin(), b.end());
    return GifExtractFrame(exact.data(), exact.size(), frame);
}

bool DeclaredSize(const Bytes& b, int& w, int& h) {
    std::vector<char> exact(b.begin(), b.end());
    return PictureDeclaredSize(exact.data(), exact.size(), w, h);
}

const std::vector<TFrameBox> kFiveFrames = {
    {0, 0, 40, 30}, {1, 2, 10, 11}, {5, 6, 20, 12}, {7, 8, 3, 4}, {9, 9, 1, 1}};

// Decodes what declares a size (or "RAW w h"), at 96 dpi in HIMETRIC; logs what it was
// given and what it renders.
class TFakeLoader : public TPictureLoader {
public:
    explicit TFakeLoader(TFakeSurface* Log = nullptr) : FLog(Log) {}

    class TPic : public TDecodedPicture {
    public:
        TPic(TFakeSurface* Log, int W, int H) : FLog(Log), FW(W), FH(H) {}
        int HimetricWidth() const override { return (FW * 2540 + 48) / 96; }
        int HimetricHeight() const override { return (FH * 2540 + 48) / 96; }
        void Render(THTMLSurface&, const TRect& D, const TRect& C) override {
            if (FLog)
                FLog->Calls.push_back(Format("render %d,%d,%d,%d clip %d,%d,%d,%d", D.Left, D.Top, D.Right,
                                             D.Bottom, C.Left, C.Top, C.Right, C.Bottom));
        }

    private:
        TFakeSurface* FLog;
        int FW, FH;
    };

    std::unique_ptr<TDecodedPicture> Decode(const std::string& Data) override {
        Decoded.push_back(Data);
        int w = 0, h = 0;
        if (!PictureDeclaredSize(Data.data(), Data.size(), w, h) &&
            std::sscanf(Data.c_str(), "RAW %d %d", &w, &h) != 2)
            throw Exception("Could not load image. Invalid format");
        return std::make_unique<TPic>(FLog, w, h);
    }
    bool Resource(const std::string& Name, std::string& Data) override {
        if (Name != "LOGO") return false;
        Data = Bmp(24, 12);
        return true;
    }

    Lines Decoded;

private:
    TFakeSurface* FLog;
};

void Load(THTMLPicture& p, const Bytes& b) {
    TMemoryStream m;
    m.WriteString(b);
    m.SetPosition(0);
    p.LoadFromStream(m);
}

std::string TempFile(const std::string& name, const Bytes& b) {
    const std::string path = testing::TempDir() + name;
    TFileStream f(path, fmCreate);
    f.WriteString(b);
    return path;
}

}  // namespace

TEST(GifFrames, CountsControlExtensionsFollowedByADescriptor) {
    const Bytes gif = Gif(40, 30, kFiveFrames);
    // An extension whose descriptor is missing, or sits at the very end, is no frame.
    const Bytes stray = Gif(8, 8, {}) + Bytes("\x21\xF9\x04\x00\x00\x00\x00\x00\x21", 9);
    const Bytes atEnd = Gif(8, 8, {}) + Bytes("\x21\xF9\x04\x00\x00\x00\x00\x00\x2C", 9);
    const struct {
        Bytes Data;
        int Count;
    } cases[] = {{gif, 5},     {Gif(8, 8, {}), 0}, {stray, 0},      {atEnd, 0}, {atEnd + "x", 1},
                 {"GIF8", -1}, {"GIF8x", 0},       {Bmp(2, 2), -1}, {"", -1}};
    for (const auto& c : cases)
        EXPECT_EQ(CountFrames(c.Data), c.Count) << c.Data.size();
}

TEST(GifFrames, FrameBecomesTheFirstImageAtItsOwnPlace) {
    const Bytes gif = Gif(40, 30, kFiveFrames);
    const size_t firstGce = gif.find("\x21\xF9");
    for (int frame = 1; frame <= 5; ++frame) {
        const TGifFrame f = Extract(gif, frame);
        const TFrameBox& box = kFiveFrames[static_cast<size_t>(frame - 1)];
        size_t gce = firstGce;
        for (int i = 1; i < frame; ++i)
            gce = gif.find("\x21\xF9", gce + 1);
        EXPECT_EQ(f.Data, gif.substr(0, firstGce) + gif.substr(gce)) << frame;
        EXPECT_EQ((std::vector<int>{f.Left, f.Top, f.Width, f.Height, f.ScreenWidth, f.ScreenHeight}),
                  (std::vector<int>{box.Left, box.Top, box.Width, box.Height, 40, 30}))
            << frame;
    }
    // No such frame: the data as it is.
    for (int frame : {0, -1, 6})
        EXPECT_EQ(Extract(gif, frame).Data, gif) << frame;
}

TEST(GifFrames, EveryCutOfAGifIsReadWithinItsBytes) {
    const Bytes gif = Gif(40, 30, kFiveFrames);
    for (size_t n = 0; n <= gif.size(); ++n) {
        const Bytes cut = gif.substr(0, n);
        const int count = CountFrames(cut);
        EXPECT_LE(count, 5);
        const TGifFrame f = Extract(cut, 3);
        // A descriptor cut short gives no frame box rather than bytes from beyond the data.
        if (f.Width != 0) {
            EXPECT_EQ(f.Width, 20);
        }
    }
}

TEST(PictureBytes, DeclaredSizeOfGifBmpAndJpegHeaders) {
    Bytes topDown = Bmp(5, 0);
    topDown.replace(22, 4, Le32(-7));
    const Bytes core = "BM" + Bytes(12, '\0') + Le32(12) + Le16(300) + Le16(200) + Bytes(4, '\0');
    const struct {
        Bytes Data;
        bool Known;
        int W, H;
    } cases[] = {
        {Gif(640, 480, {}), true, 640, 480},
        {Bmp(33, 44), true, 33, 44},
        {topDown, true, 5, 7},
        {core, true, 300, 200},
        {Jpeg(1024, 768), true, 1024, 768},
        {Jpeg(1024, 768).substr(0, 28), false, 0, 0},
        {Bmp(33, 44).substr(0, 20), false, 0, 0},
        {Bytes("\xFF\xD8\xFF\xD9", 4), false, 0, 0},
        {"RAW 3 3", false, 0, 0},
        {"", false, 0, 0},
    };
    for (const auto& c : cases) {
        int w = 0, h = 0;
        EXPECT_EQ(DeclaredSize(c.Data, w, h), c.Known) << c.Data.size();
        if (c.Known) {
            EXPECT_EQ((std::vector<int>{w, h}), (std::vector<int>{c.W, c.H})) << c.Data.size();
        }
    }
}

TEST(HTMLPicture, SizesAndDrawingAtNaturalSizeStretchedAndTiled) {
    TFakeSurface s;
    TFakeLoader loader(&s);
    THTMLPicture p(loader);
    EXPECT_TRUE(p.Empty());
    EXPECT_EQ(p.Width(), 0);
    Load(p, Bmp(30, 20));
    EXPECT_FALSE(p.Empty());
    EXPECT_EQ((std::vector<int>{p.Width(), p.Height()}), (std::vector<int>{30, 20}));
    s.PpiX = s.PpiY = 120;  // the natural size follows the canvas's pixels per inch
    p.Draw(s, 5, 6);
    p.StretchDraw(s, {1, 2, 3, 4});
    p.DrawInRect(s, {7, 8, 100, 100});
    p.Stretch = true;
    p.DrawInRect(s, {7, 8, 100, 100});
    s.PpiX = s.PpiY = 96;
    p.Tile(s, {0, 0, 50, 25});
    EXPECT_EQ(s.Calls, (Lines{"render 5,6,43,31 clip 5,6,43,31", "render 1,2,3,4 clip 1,2,3,4",
                              "render 7,8,45,33 clip 7,8,45,33", "render 7,8,100,100 clip 7,8,100,100",
                              "render 0,0,30,20 clip 0,0,50,25", "render 30,0,60,20 clip 0,0,50,25",
                              "render 0,20,30,40 clip 0,0,50,25", "render 30,20,60,40 clip 0,0,50,25"}));
}

TEST(HTMLPicture, FrameOfAnAnimatedGifIsDecodedAtItsOwnOffset) {
    TFakeLoader loader;
    THTMLPicture p(loader);
    int changes = 0;
    p.OnFrameChange = [&](TObject*) { ++changes; };
    p.SetFrame(2);  // no data yet: nothing decodes
    EXPECT_EQ(changes, 0);
    const Bytes gif = Gif(40, 30, kFiveFrames);
    Load(p, gif);
    p.SetFrame(3);
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(p.FrameCount(), 5);
    EXPECT_EQ(loader.Decoded.back(), Extract(gif, 3).Data);
    EXPECT_EQ((std::vector<int>{p.FrameOffset().X, p.FrameOffset().Y, p.Width(), p.Height(),
                                p.AnimationWidth(), p.AnimationHeight()}),
              (std::vector<int>{5, 6, 20, 12, 40, 30}));
    // A still picture has no frame box: its decoded size and no offset.
    Load(p, Bmp(9, 7));
    EXPECT_EQ((std::vector<int>{p.FrameOffset().X, p.Width(), p.FrameCount()}), (std::vector<int>{0, 9, -1}));
}

TEST(HTMLPicture, BadOrHugeDataLeavesItEmptyRaisedFromStreamsOnly) {
    Bytes hugeFrame = Gif(40, 30, {{0, 0, 5000, 10}});
    const Bytes cases[] = {"not a picture", "",          Gif(4097, 1, {}), hugeFrame, Bmp(1, 5000),
                           Jpeg(4097, 16),  "RAW 5000 2"};
    for (const auto& data : cases) {
        TFakeLoader loader;
        THTMLPicture p(loader);
        Load(p, Bmp(3, 3));
        EXPECT_THROW(Load(p, data), Exception) << data;
        EXPECT_TRUE(p.Empty()) << data;
        EXPECT_EQ(p.Width(), 0) << data;
        const std::string file = TempFile("pelorin_bad_picture", data);
        EXPECT_NO_THROW(p.LoadFromFile(file)) << data;
        EXPECT_TRUE(p.Empty()) << data;
        std::remove(file.c_str());
    }
    // The limit itself is allowed.
    TFakeLoader loader;
    THTMLPicture p(loader);
    Load(p, Bmp(kMaxPictureSide, kMaxPictureSide));
    EXPECT_FALSE(p.Empty());
}

TEST(HTMLPicture, LoadFromAddressByKind) {
    const std::string file = TempFile("pelorin_picture.bmp", Bmp(6, 5));
    const struct {
        std::string Address;
        bool Asynchronous;
        int Width;
        std::string Identity, Address2;
        bool Busy;
    } cases[] = {
        {"RES://LOGO", false, 24, "RES://LOGO", "", false},
        {"res://LOGO", true, 24, "res://LOGO", "", false},
        {"RES://NONE", false, 0, "RES://NONE", "", false},
        {"File://" + file, false, 6, "File://" + file, "", false},
        {"FILE://" + file + ".missing", false, 0, "FILE://" + file + ".missing", "", false},
        {"http://pics.example/a.gif", false, 0, "http://pics.example/a.gif", "http://pics.example/a.gif",
         false},
        {"http://pics.example/a.gif", true, 0, "", "http://pics.example/a.gif", true},
    };
    for (const auto& c : cases) {
        TFakeLoader loader;
        THTMLPicture p(loader);
        p.Asynchronous = c.Asynchronous;
        EXPECT_NO_THROW(p.LoadFromAddress(c.Address)) << c.Address;
        EXPECT_EQ(p.Width(), c.Width) << c.Address;
        EXPECT_EQ(p.Identity(), c.Identity) << c.Address;
        EXPECT_EQ(p.Address(), c.Address2) << c.Address;
        EXPECT_EQ(p.Busy(), c.Busy) << c.Address;
    }
    std::remove(file.c_str());
}

TEST(HTMLPicture, SaveKeepsTheRawDataAndAssignCopiesOrClears) {
    TFakeLoader loader;
    THTMLPicture a(loader), b(loader);
    const Bytes gif = Gif(40, 30, kFiveFrames);
    Load(a, gif);
    a.SetFrame(2);
    TMemoryStream out;
    a.SaveToStream(out);
    EXPECT_EQ(out.DataString(), gif);
    b.Assign(&a);
    EXPECT_EQ((std::vector<int>{b.Width(), b.Height()}), (std::vector<int>{40, 30}));
    b.Assign(nullptr);
    EXPECT_TRUE(b.Empty());
    EXPECT_TRUE(b.Data().empty());
}

TEST(PictureCache, LoadsAnAddressOnceKeyedWithCaseAndSurvivesBadData) {
    TFakeLoader loader;
    THTMLPictureCache cache(loader);
    TRenderPicture* logo = cache.Picture("RES://LOGO");
    EXPECT_EQ(cache.Picture("RES://LOGO"), logo);
    EXPECT_EQ(loader.Decoded.size(), 1u);
    EXPECT_NE(cache.Picture("res://LOGO"), logo);
    EXPECT_EQ(cache.FindPicture("RES://LOGO"), logo);
    EXPECT_EQ(cache.FindPicture("RES://logo"), nullptr);
    // Data that fails to decode is met once and gives an empty picture, not an error.
    const std::string file = TempFile("pelorin_cache_bad", "garbage");
    TRenderPicture* bad = cache.Picture("FILE://" + file);
    EXPECT_TRUE(bad->Empty());
    EXPECT_EQ(cache.Picture("FILE://" + file), bad);
    EXPECT_EQ(cache.Count(), 3);
    std::remove(file.c_str());
}

TEST(PictureContainer, FindsTheFirstItemByNameIgnoringCase) {
    TFakeLoader loader;
    TPictureContainer c(loader);
    TPictureItem* first = c.Items.Add();
    first->Name = "Logo";
    c.Items.Add()->Name = "LOGO";
    c.Items.Add()->Name = "banner";
    EXPECT_EQ(c.FindPicture("lOgO"), &first->Picture);
    EXPECT_EQ(c.Picture("BANNER"), &c.Items.Items(2)->Picture);
    EXPECT_EQ(c.FindPicture("logo2"), nullptr);
    c.Items.Delete(0);
    EXPECT_EQ(c.FindPicture("logo"), &c.Items.Items(0)->Picture);
    EXPECT_THROW(c.Items.Delete(5), Exception);
}

TEST(PictureSources, RendererDrawsContainerAndCachePictures) {
    TFakeSurface s;
    TFakeLoader loader(&s);
    TPictureContainer container(loader);
    TPictureItem* item = container.Items.Add();
    item->Name = "Banner";
    Load(item->Picture, Bmp(10, 8));
    THTMLPictureCache cache(loader);
    const auto r = RenderHTML(s, "<IMG src=\"banner\"><IMG src=\"RES://LOGO\" width=\"4\" height=\"5\">",
                              {0, 0, 200, 100}, nullptr, &container, &cache, false, -1, false, {});
    EXPECT_EQ(s.Only("render"), (Lines{"render 1,0,11,8 clip 1,0,11,8", "render 11,0,15,5 clip 11,0,15,5"}));
    EXPECT_EQ(r.NeededWidth, 14);
}
