#include "htmlpopup/PictureBytes.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

unsigned Byte(const char* Data, size_t At) { return static_cast<unsigned char>(Data[At]); }

// Little-endian 16-bit value at At; the caller checked At + 2 <= Size.
int Le16(const char* Data, size_t At) { return static_cast<int>(Byte(Data, At) | Byte(Data, At + 1) << 8); }

int Be16(const char* Data, size_t At) { return static_cast<int>(Byte(Data, At) << 8 | Byte(Data, At + 1)); }

int32_t Le32(const char* Data, size_t At) {
    return static_cast<int32_t>(Byte(Data, At) | Byte(Data, At + 1) << 8 | Byte(Data, At + 2) << 16 |
                                static_cast<uint32_t>(Byte(Data, At + 3)) << 24);
}

// A graphic control extension (0x21 0xF9 0x04) whose image separator follows its four data
// bytes and terminator, with at least one byte after the separator.
bool FrameAt(const char* Data, size_t Size, size_t I) {
    return I + 9 < Size && Byte(Data, I) == 0x21 && Byte(Data, I + 1) == 0xF9 && Byte(Data, I + 2) == 0x04 &&
           Byte(Data, I + 8) == 0x2C;
}

bool GifDeclaredSize(const char* Data, size_t Size, int& Width, int& Height) {
    if (Size < 10) return false;
    Width = Le16(Data, 6);
    Height = Le16(Data, 8);
    return true;
}

bool BmpDeclaredSize(const char* Data, size_t Size, int& Width, int& Height) {
    if (Size < 18) return false;
    const int32_t header = Le32(Data, 14);
    if (header == 12) {  // the old core header: 16-bit sizes
        if (Size < 22) return false;
        Width = Le16(Data, 18);
        Height = Le16(Data, 20);
        return true;
    }
    if (Size < 26) return false;
    const int32_t w = Le32(Data, 18), h = Le32(Data, 22);
    // A negative height means top-down rows; the most negative value has no magnitude.
    if (w < 0 || h == INT32_MIN) return false;
    Width = w;
    Height = std::abs(h);
    return true;
}

bool JpegDeclaredSize(const char* Data, size_t Size, int& Width, int& Height) {
    size_t at = 2;
    while (at + 1 < Size) {
        if (Byte(Data, at) != 0xFF) return false;
        const unsigned marker = Byte(Data, at + 1);
        if (marker == 0xFF) {  // fill byte
            ++at;
            continue;
        }
        at += 2;
        if (marker == 0x01 || marker == 0xD8 || (marker >= 0xD0 && marker <= 0xD7)) continue;
        if (marker == 0xD9 || marker == 0xDA || at + 2 > Size) return false;
        const size_t length = static_cast<size_t>(Be16(Data, at));
        const bool frame =
            marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
        if (frame) {
            if (length < 7 || at + 7 > Size) return false;
            Height = Be16(Data, at + 3);
            Width = Be16(Data, at + 5);
            return true;
        }
        if (length < 2) return false;
        at += length;
    }
    return false;
}

}  // namespace

bool IsGif(const char* Data, size_t Size) { return Size >= 5 && std::memcmp(Data, "GIF8", 4) == 0; }

int GifFrameCount(const char* Data, size_t Size) {
    if (!IsGif(Data, Size)) return -1;
    int n = 0;
    for (size_t i = 0; i + 9 < Size; ++i)
        if (FrameAt(Data, Size, i)) ++n;
    return n;
}

TGifFrame GifExtractFrame(const char* Data, size_t Size, int Frame) {
    TGifFrame r;
    if (IsGif(Data, Size)) GifDeclaredSize(Data, Size, r.ScreenWidth, r.ScreenHeight);
    size_t first = Size, wanted = Size;
    if (IsGif(Data, Size) && Frame >= 1) {
        int n = 0;
        for (size_t i = 0; i + 9 < Size && n < Frame; ++i) {
            if (!FrameAt(Data, Size, i)) continue;
            if (++n == 1) first = i;
            if (n == Frame) wanted = i;
        }
    }
    if (wanted == Size) {
        r.Data.assign(Data, Size);
        return r;
    }
    r.Data.reserve(first + (Size - wanted));
    r.Data.append(Data, first);
    r.Data.append(Data + wanted, Size - wanted);
    // The descriptor's four values follow the separator; a frame cut short keeps zeros.
    const size_t d = wanted + 9;
    if (d + 8 <= Size) {
        r.Left = Le16(Data, d);
        r.Top = Le16(Data, d + 2);
        r.Width = Le16(Data, d + 4);
        r.Height = Le16(Data, d + 6);
    }
    return r;
}

bool PictureDeclaredSize(const char* Data, size_t Size, int& Width, int& Height) {
    if (IsGif(Data, Size)) return GifDeclaredSize(Data, Size, Width, Height);
    if (Size >= 2 && Data[0] == 'B' && Data[1] == 'M') return BmpDeclaredSize(Data, Size, Width, Height);
    if (Size >= 2 && Byte(Data, 0) == 0xFF && Byte(Data, 1) == 0xD8)
        return JpegDeclaredSize(Data, Size, Width, Height);
    return false;
}
