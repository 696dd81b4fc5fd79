// Untrusted picture bytes through the GIF frame reader and the header size reader. The
// input is copied to a buffer of exactly its size, so a read past it is caught.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "htmlpopup/PictureBytes.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
    const std::vector<char> exact(Data, Data + Size);
    const char* p = exact.data();
    int w = 0, h = 0;
    PictureDeclaredSize(p, Size, w, h);
    const int count = GifFrameCount(p, Size);
    for (int frame = 0; frame <= count + 1 && frame <= 8; ++frame) {
        const TGifFrame f = GifExtractFrame(p, Size, frame);
        // The rewritten GIF never grows: it only leaves bytes out.
        if (f.Data.size() > Size) __builtin_trap();
    }
    return 0;
}
