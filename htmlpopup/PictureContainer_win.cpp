#include "htmlpopup/PictureContainer_win.h"

#include <cstring>

#include "base/Exception.h"
#include "htmlpopup/HTMLPopup_win.h"

TOlePicture::TOlePicture(IPicture* Picture) : FPicture(Picture) {
    FPicture->get_Width(&FWidth);
    FPicture->get_Height(&FHeight);
}

TOlePicture::~TOlePicture() { FPicture->Release(); }

void TOlePicture::Render(THTMLSurface& Canvas, const TRect& Dest, const TRect& Clip) {
    auto* gdi = dynamic_cast<TGDISurface*>(&Canvas);
    if (!gdi || Dest.Width() <= 0 || Dest.Height() <= 0) return;
    const HDC dc = gdi->DC();
    const int saved = SaveDC(dc);
    IntersectClipRect(dc, Clip.Left, Clip.Top, Clip.Right, Clip.Bottom);
    // The source is given bottom-up in HIMETRIC, as the picture's y axis points up.
    FPicture->Render(dc, Dest.Left, Dest.Top, Dest.Width(), Dest.Height(), 0, FHeight, FWidth, -FHeight,
                     nullptr);
    RestoreDC(dc, saved);
}

TOlePictureLoader::TOlePictureLoader() {
    const HRESULT hr = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    FComJoined = SUCCEEDED(hr);
}

TOlePictureLoader::~TOlePictureLoader() {
    if (FComJoined) CoUninitialize();
}

std::unique_ptr<TDecodedPicture> TOlePictureLoader::Decode(const std::string& Data) {
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, Data.size());
    void* bytes = block ? GlobalLock(block) : nullptr;
    if (!bytes) {
        if (block) GlobalFree(block);
        throw Exception("Could not allocate memory for image");
    }
    std::memcpy(bytes, Data.data(), Data.size());
    GlobalUnlock(block);

    IStream* stream = nullptr;
    // The stream frees the block when it is released.
    if (FAILED(CreateStreamOnHGlobal(block, TRUE, &stream))) {
        GlobalFree(block);
        throw Exception("Could not create image stream");
    }
    if (!stream) {
        GlobalFree(block);
        throw Exception("Empty image stream created");
    }
    IPicture* picture = nullptr;
    const HRESULT hr = OleLoadPicture(stream, static_cast<LONG>(Data.size()), FALSE, IID_IPicture,
                                      reinterpret_cast<void**>(&picture));
    stream->Release();
    if (FAILED(hr)) {
        if (picture) picture->Release();
        throw Exception("Could not load image. Invalid format");
    }
    if (!picture) throw Exception("Could not load image");
    return std::make_unique<TOlePicture>(picture);
}

bool TOlePictureLoader::Resource(const std::string& Name, std::string& Data) {
    const HMODULE module = GetModuleHandleA(nullptr);
    const HRSRC info = FindResourceA(module, Name.c_str(), MAKEINTRESOURCEA(10));  // RT_RCDATA
    if (!info) return false;
    const HGLOBAL res = LoadResource(module, info);
    const void* bytes = res ? LockResource(res) : nullptr;
    if (!bytes) return false;
    Data.assign(static_cast<const char*>(bytes), SizeofResource(module, info));
    return true;
}
