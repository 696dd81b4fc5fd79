#pragma once
// Reading encoded picture bytes before the platform's loader sees them: the frames of an
// animated GIF and the size a file declares. The bytes are untrusted and not terminated;
// nothing here reads outside [Data, Data + Size).
#include <cstddef>
#include <string>

// Pictures wider or taller than this are refused before they are decoded: a header can
// ask for gigabytes of pixels in a few bytes.
constexpr int kMaxPictureSide = 4096;
// Encoded data above this is not read at all.
constexpr size_t kMaxPictureBytes = 32u << 20;

// "GIF8" and at least five bytes.
bool IsGif(const char* Data, size_t Size);

// -1 when the data is no GIF; otherwise the number of graphic control extensions that are
// directly followed by an image descriptor.
int GifFrameCount(const char* Data, size_t Size);

// A GIF rewritten so that its first image is the wanted frame, with where that frame sits.
struct TGifFrame {
    std::string Data;
    int Left = 0, Top = 0, Width = 0, Height = 0;
    // The logical screen.
    int ScreenWidth = 0, ScreenHeight = 0;
};

// Frame is 1-based. The bytes from the first frame's control extension up to the control
// extension of frame Frame are left out. Data that is no GIF, has no frames or has no such
// frame comes back unchanged, with the logical screen read where the header holds it.
TGifFrame GifExtractFrame(const char* Data, size_t Size, int Frame);

// The pixel size a GIF, BMP or JPEG header declares; false for other data or a header cut
// short.
bool PictureDeclaredSize(const char* Data, size_t Size, int& Width, int& Height);
