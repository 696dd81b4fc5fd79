#pragma once
// Pictures the popup text can name: THTMLPicture keeps the encoded bytes and the picture
// the platform's loader made of them; a container finds pictures by name, a cache by the
// address they were asked for. Decoding, drawing and the program's resources belong to the
// platform, behind TPictureLoader.
#include <memory>
#include <string>
#include <vector>

#include "base/Events.h"
#include "base/Streams.h"
#include "htmlpopup/HTMLPopup.h"

// A picture as the platform's loader decoded it. Sizes are in HIMETRIC (0.01 mm).
class TDecodedPicture {
public:
    virtual ~TDecodedPicture() = default;
    virtual int HimetricWidth() const = 0;
    virtual int HimetricHeight() const = 0;
    // The whole picture scaled into Dest; nothing outside Clip is touched.
    virtual void Render(THTMLSurface& Canvas, const TRect& Dest, const TRect& Clip) = 0;
};

class TPictureLoader {
public:
    virtual ~TPictureLoader() = default;
    // Throws Exception with the loader's message when the bytes make no picture.
    virtual std::unique_ptr<TDecodedPicture> Decode(const std::string& Data) = 0;
    // The program's raw-data resource called Name; false when there is none.
    virtual bool Resource(const std::string& Name, std::string& Data) = 0;
};

class THTMLPicture : public TRenderPicture {
public:
    explicit THTMLPicture(TPictureLoader& Loader) : FLoader(Loader) {}
    THTMLPicture(const THTMLPicture&) = delete;
    THTMLPicture& operator=(const THTMLPicture&) = delete;

    // "RES://name" and "FILE://path" load at once; other addresses are only remembered,
    // since pictures are never downloaded.
    void LoadFromAddress(const std::string& Address);
    // Any error leaves the picture empty and is not raised.
    void LoadFromFile(const std::string& FileName);
    // Errors reach the caller; the picture is then empty.
    void LoadFromStream(TStream& Stream);
    // The raw data, unchanged.
    void SaveToStream(TStream& Stream) const;
    // Copies Source's data and decodes it; nullptr clears the picture.
    void Assign(const THTMLPicture* Source);

    // 1-based frame of an animated GIF; setting it decodes again when there is data.
    int Frame() const { return FFrame; }
    void SetFrame(int Value);
    // Counted once; -1 when the data is no GIF.
    int FrameCount();
    int AnimationWidth() const { return FAnimationWidth; }
    int AnimationHeight() const { return FAnimationHeight; }

    bool Empty() const override { return FDecoded == nullptr; }
    // Of the shown GIF frame when its descriptor gave one, else the decoded size at 96 dpi.
    int Width() const override;
    int Height() const override;
    TPoint FrameOffset() const override { return {FFrameLeft, FFrameTop}; }
    // At the natural size, converted with the canvas's pixels per inch.
    void Draw(THTMLSurface& Canvas, int X, int Y) override;
    void StretchDraw(THTMLSurface& Canvas, const TRect& R) override;
    void Tile(THTMLSurface& Canvas, const TRect& Clip) override;
    // Stretched into R, or at R's top-left at the natural size.
    void DrawInRect(THTMLSurface& Canvas, const TRect& R);

    const std::string& Data() const { return FData; }
    const std::string& Identity() const { return FIdentity; }
    const std::string& Address() const { return FAddress; }
    bool Busy() const { return FBusy; }

    bool Stretch = false;
    // The renderer clears it: a picture it asks for must be there within the call.
    bool Asynchronous = true;
    TNotifyEvent OnChange;
    TNotifyEvent OnFrameChange;

    static constexpr int kPixelsPerInch = 96;

private:
    // Decodes FData for the current frame; throws, leaving the picture empty.
    void Decode();
    void LoadData(std::string Data);
    void Clear();
    int NaturalWidth(int Ppi) const;
    int NaturalHeight(int Ppi) const;

    TPictureLoader& FLoader;
    std::string FData;
    std::unique_ptr<TDecodedPicture> FDecoded;
    std::string FIdentity, FAddress;
    bool FBusy = false;
    int FFrame = 1;
    int FFrameCount = -1;
    bool FFrameCounted = false;
    int FFrameLeft = 0, FFrameTop = 0, FFrameWidth = 0, FFrameHeight = 0;
    int FAnimationWidth = 0, FAnimationHeight = 0;
};

// Pictures by the address they were asked for, owned by one popup window.
class THTMLPictureCache : public THTMLPictureSource {
public:
    explicit THTMLPictureCache(TPictureLoader& Loader, TComponent* AOwner = nullptr)
        : THTMLPictureSource(AOwner), FLoader(Loader) {}
    // The first picture whose identity is Identity, with case; nullptr when none.
    THTMLPicture* FindPicture(const std::string& Identity) const;
    // A new empty picture at the end.
    THTMLPicture* AddPicture();
    int Count() const { return static_cast<int>(FPictures.size()); }
    void Clear() { FPictures.clear(); }

    // The renderer's lookup: a picture not met before is added and loaded now. A picture
    // that fails to load stays in the cache, empty, so it is not read again.
    TRenderPicture* Picture(const std::string& Address) override;

private:
    TPictureLoader& FLoader;
    std::vector<std::unique_ptr<THTMLPicture>> FPictures;
};

struct TPictureItem {
    explicit TPictureItem(TPictureLoader& Loader) : Picture(Loader) {}
    THTMLPicture Picture;
    std::string Name;
    int Tag = 0;
};

class TPictureCollection {
public:
    explicit TPictureCollection(TPictureLoader& Loader) : FLoader(Loader) {}
    TPictureItem* Add();
    int Count() const { return static_cast<int>(FItems.size()); }
    TPictureItem* Items(int Index) const { return FItems.at(static_cast<size_t>(Index)).get(); }
    void Delete(int Index);
    void Clear() { FItems.clear(); }

private:
    TPictureLoader& FLoader;
    std::vector<std::unique_ptr<TPictureItem>> FItems;
};

// Named pictures for the popup text.
class TPictureContainer : public THTMLPictureSource {
public:
    explicit TPictureContainer(TPictureLoader& Loader, TComponent* AOwner = nullptr)
        : THTMLPictureSource(AOwner), Items(Loader) {}
    ~TPictureContainer() override { BeginDestroy(); }
    // The picture of the first item called Name, ignoring case; nullptr when none.
    THTMLPicture* FindPicture(const std::string& Name) const;
    TRenderPicture* Picture(const std::string& Name) override { return FindPicture(Name); }

    std::string Version() const { return "1.0.0.0"; }
    void SetVersion(const std::string&) {}

    TPictureCollection Items;
};
