#pragma once
// Pictures on Windows: bytes decoded by the OLE picture loader and drawn on the popup's
// GDI surface; "RES://" names the program's RCDATA resources.
#include <windows.h>
#include <ole2.h>
#include <olectl.h>

#include <memory>
#include <string>

#include "htmlpopup/PictureContainer.h"

// A decoded picture; releases its IPicture.
class TOlePicture : public TDecodedPicture {
public:
    explicit TOlePicture(IPicture* Picture);
    ~TOlePicture() override;
    TOlePicture(const TOlePicture&) = delete;
    TOlePicture& operator=(const TOlePicture&) = delete;

    int HimetricWidth() const override { return FWidth; }
    int HimetricHeight() const override { return FHeight; }
    // Draws on a GDI surface; other surfaces have no device context to draw on.
    void Render(THTMLSurface& Canvas, const TRect& Dest, const TRect& Clip) override;

private:
    IPicture* FPicture;
    OLE_XSIZE_HIMETRIC FWidth = 0;
    OLE_YSIZE_HIMETRIC FHeight = 0;
};

// Made and used on the GUI thread, which it joins to COM for the loader's codecs.
class TOlePictureLoader : public TPictureLoader {
public:
    TOlePictureLoader();
    ~TOlePictureLoader() override;
    TOlePictureLoader(const TOlePictureLoader&) = delete;
    TOlePictureLoader& operator=(const TOlePictureLoader&) = delete;

    std::unique_ptr<TDecodedPicture> Decode(const std::string& Data) override;
    bool Resource(const std::string& Name, std::string& Data) override;

private:
    bool FComJoined = false;
};
