#include "htmlpopup/PictureContainer.h"

#include <exception>

#include "base/StrUtils.h"
#include "htmlpopup/PictureBytes.h"

namespace {

bool HasPrefixNoCase(const std::string& S, const char* Prefix, size_t Length) {
    return S.size() >= Length && SameText(S.substr(0, Length), Prefix);
}

// HIMETRIC to pixels, rounded.
int HimetricToPixels(int Himetric, int Ppi) {
    return static_cast<int>((static_cast<long long>(Himetric) * Ppi + 1270) / 2540);
}

void RefuseHuge(int Width, int Height) {
    if (Width > kMaxPictureSide || Height > kMaxPictureSide) throw Exception("Image too large");
}

}  // namespace

// ---- THTMLPicture ----

void THTMLPicture::LoadFromAddress(const std::string& Address) {
    if (HasPrefixNoCase(Address, "RES://", 6)) {
        FIdentity = Address;
        std::string data;
        if (FLoader.Resource(Address.substr(6), data)) LoadData(std::move(data));
    } else if (HasPrefixNoCase(Address, "FILE://", 7)) {
        FIdentity = Address;
        LoadFromFile(Address.substr(7));
    } else if (!Asynchronous) {
        FAddress = FIdentity = Address;
    } else if (!FBusy) {
        // Nothing downloads pictures: the address is kept and the picture stays empty.
        FAddress = Address;
        FBusy = true;
    }
}

void THTMLPicture::LoadFromFile(const std::string& FileName) {
    try {
        TFileStream f(FileName, fmOpenRead);
        LoadFromStream(f);
    } catch (const std::exception&) {
        // LoadFromStream left the picture empty.
    }
}

void THTMLPicture::LoadFromStream(TStream& Stream) {
    const int64_t left = Stream.Size() - Stream.Position();
    if (left > static_cast<int64_t>(kMaxPictureBytes)) {
        Clear();
        throw Exception("Image too large");
    }
    LoadData(Stream.ReadRest());
}

void THTMLPicture::SaveToStream(TStream& Stream) const { Stream.WriteString(FData); }

void THTMLPicture::Assign(const THTMLPicture* Source) {
    if (Source && !Source->FData.empty()) {
        LoadData(Source->FData);
        return;
    }
    Clear();
    if (OnChange) OnChange(nullptr);
}

void THTMLPicture::Clear() {
    FData.clear();
    FFrameCounted = false;
    FDecoded.reset();
    FFrameLeft = FFrameTop = FFrameWidth = FFrameHeight = 0;
    FAnimationWidth = FAnimationHeight = 0;
}

void THTMLPicture::LoadData(std::string Data) {
    FData = std::move(Data);
    FFrameCounted = false;
    Decode();
    if (OnChange) OnChange(nullptr);
}

void THTMLPicture::SetFrame(int Value) {
    FFrame = Value;
    if (FData.empty()) return;
    Decode();
    if (OnFrameChange) OnFrameChange(nullptr);
}

int THTMLPicture::FrameCount() {
    if (!FFrameCounted) {
        FFrameCount = GifFrameCount(FData.data(), FData.size());
        FFrameCounted = true;
    }
    return FFrameCount;
}

void THTMLPicture::Decode() {
    FDecoded.reset();
    FFrameLeft = FFrameTop = FFrameWidth = FFrameHeight = 0;
    FAnimationWidth = FAnimationHeight = 0;
    const std::string* bytes = &FData;
    TGifFrame gif;
    if (IsGif(FData.data(), FData.size()) && FrameCount() > 0) {
        gif = GifExtractFrame(FData.data(), FData.size(), FFrame);
        FAnimationWidth = gif.ScreenWidth;
        FAnimationHeight = gif.ScreenHeight;
        FFrameLeft = gif.Left;
        FFrameTop = gif.Top;
        FFrameWidth = gif.Width;
        FFrameHeight = gif.Height;
        RefuseHuge(gif.Width, gif.Height);
        bytes = &gif.Data;
    }
    int w = 0, h = 0;
    if (PictureDeclaredSize(bytes->data(), bytes->size(), w, h)) RefuseHuge(w, h);
    std::unique_ptr<TDecodedPicture> d = FLoader.Decode(*bytes);
    if (!d) throw Exception("Could not load image");
    // Formats whose header is not read here are held to the same limit once decoded.
    RefuseHuge(HimetricToPixels(d->HimetricWidth(), kPixelsPerInch),
               HimetricToPixels(d->HimetricHeight(), kPixelsPerInch));
    FDecoded = std::move(d);
}

int THTMLPicture::NaturalWidth(int Ppi) const {
    return FDecoded ? HimetricToPixels(FDecoded->HimetricWidth(), Ppi) : 0;
}

int THTMLPicture::NaturalHeight(int Ppi) const {
    return FDecoded ? HimetricToPixels(FDecoded->HimetricHeight(), Ppi) : 0;
}

int THTMLPicture::Width() const {
    if (!FDecoded) return 0;
    return FFrameWidth > 0 ? FFrameWidth : NaturalWidth(kPixelsPerInch);
}

int THTMLPicture::Height() const {
    if (!FDecoded) return 0;
    return FFrameHeight > 0 ? FFrameHeight : NaturalHeight(kPixelsPerInch);
}

void THTMLPicture::Draw(THTMLSurface& Canvas, int X, int Y) {
    if (!FDecoded) return;
    const TRect r{X, Y, X + NaturalWidth(Canvas.PixelsPerInchX()),
                  Y + NaturalHeight(Canvas.PixelsPerInchY())};
    FDecoded->Render(Canvas, r, r);
}

void THTMLPicture::StretchDraw(THTMLSurface& Canvas, const TRect& R) {
    if (FDecoded) FDecoded->Render(Canvas, R, R);
}

void THTMLPicture::DrawInRect(THTMLSurface& Canvas, const TRect& R) {
    if (Stretch)
        StretchDraw(Canvas, R);
    else
        Draw(Canvas, R.Left, R.Top);
}

void THTMLPicture::Tile(THTMLSurface& Canvas, const TRect& Clip) {
    if (!FDecoded) return;
    const int w = NaturalWidth(Canvas.PixelsPerInchX()), h = NaturalHeight(Canvas.PixelsPerInchY());
    if (w <= 0 || h <= 0) return;
    for (long long y = Clip.Top; y < Clip.Bottom; y += h)
        for (long long x = Clip.Left; x < Clip.Right; x += w) {
            const int xi = static_cast<int>(x), yi = static_cast<int>(y);
            FDecoded->Render(Canvas, {xi, yi, xi + w, yi + h}, Clip);
        }
}

// ---- THTMLPictureCache ----

THTMLPicture* THTMLPictureCache::FindPicture(const std::string& Identity) const {
    for (const auto& p : FPictures)
        if (p->Identity() == Identity) return p.get();
    return nullptr;
}

THTMLPicture* THTMLPictureCache::AddPicture() {
    FPictures.push_back(std::make_unique<THTMLPicture>(FLoader));
    return FPictures.back().get();
}

TRenderPicture* THTMLPictureCache::Picture(const std::string& Address) {
    if (THTMLPicture* p = FindPicture(Address)) return p;
    THTMLPicture* p = AddPicture();
    p->Asynchronous = false;
    try {
        p->LoadFromAddress(Address);
    } catch (const std::exception&) {
        // Bad picture data costs the popup that picture, not the paint.
    }
    return p;
}

// ---- Container ----

TPictureItem* TPictureCollection::Add() {
    FItems.push_back(std::make_unique<TPictureItem>(FLoader));
    return FItems.back().get();
}

void TPictureCollection::Delete(int Index) {
    if (Index < 0 || Index >= Count()) throw Exception("List index out of bounds");
    FItems.erase(FItems.begin() + Index);
}

THTMLPicture* TPictureContainer::FindPicture(const std::string& Name) const {
    for (int i = 0; i < Items.Count(); ++i)
        if (SameText(Items.Items(i)->Name, Name)) return &Items.Items(i)->Picture;
    return nullptr;
}
