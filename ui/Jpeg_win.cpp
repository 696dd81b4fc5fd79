#include "ui/Jpeg_win.h"

#include <csetjmp>
#include <cstdio>
#include <cstring>

extern "C" {
#include <jpeglib.h>
}

namespace {
struct TJpegError {
    jpeg_error_mgr Pub;
    std::jmp_buf Jump;
};

void ErrorExit(j_common_ptr Info) {
    // libjpeg is C: leave it by a long jump, never by a C++ exception.
    std::longjmp(reinterpret_cast<TJpegError*>(Info->err)->Jump, 1);
}

void Silent(j_common_ptr) {}

// Everything touched after setjmp is plain data, so the long jump skips no destructor.
HBITMAP Decode(const unsigned char* Data, unsigned long Size) {
    jpeg_decompress_struct cinfo;
    TJpegError err;
    std::memset(&cinfo, 0, sizeof(cinfo));
    cinfo.err = jpeg_std_error(&err.Pub);
    err.Pub.error_exit = ErrorExit;
    err.Pub.output_message = Silent;
    HBITMAP volatile bitmap = nullptr;
    if (setjmp(err.Jump)) {
        jpeg_destroy_decompress(&cinfo);
        if (bitmap) DeleteObject(bitmap);
        return nullptr;
    }
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, Data, Size);
    jpeg_read_header(&cinfo, TRUE);
    cinfo.out_color_space = JCS_RGB;
    jpeg_start_decompress(&cinfo);
    const int width = static_cast<int>(cinfo.output_width);
    const int height = static_cast<int>(cinfo.output_height);
    // A logo is small; refuse sizes that could only come from damaged data.
    if (width <= 0 || height <= 0 || width > 4096 || height > 4096 || cinfo.output_components != 3) {
        jpeg_destroy_decompress(&cinfo);
        return nullptr;
    }
    BITMAPINFO bi = {};
    bi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    bi.bmiHeader.biWidth = width;
    bi.bmiHeader.biHeight = -height;  // top-down, like the decoder's rows
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 24;
    bi.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    bitmap = CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!bitmap || !bits) {
        jpeg_destroy_decompress(&cinfo);
        return nullptr;
    }
    const int stride = (width * 3 + 3) & ~3;
    while (cinfo.output_scanline < cinfo.output_height) {
        unsigned char* row =
            static_cast<unsigned char*>(bits) + static_cast<size_t>(cinfo.output_scanline) * stride;
        JSAMPROW rows[1] = {row};
        jpeg_read_scanlines(&cinfo, rows, 1);
        for (int x = 0; x < width; ++x) {  // RGB to the bitmap's BGR
            unsigned char t = row[x * 3];
            row[x * 3] = row[x * 3 + 2];
            row[x * 3 + 2] = t;
        }
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    return bitmap;
}
}  // namespace

HBITMAP DecodeJpeg(const void* Data, size_t Size) {
    if (!Data || Size < 4 || Size > (64u << 20)) return nullptr;
    return Decode(static_cast<const unsigned char*>(Data), static_cast<unsigned long>(Size));
}

HBITMAP LoadJpegResource(const std::string& Name) {
    HMODULE module = GetModuleHandleA(nullptr);
    HRSRC res = FindResourceA(module, Name.c_str(), MAKEINTRESOURCEA(10));  // RT_RCDATA
    if (!res) return nullptr;
    HGLOBAL glob = LoadResource(module, res);
    DWORD size = SizeofResource(module, res);
    const void* data = glob ? LockResource(glob) : nullptr;
    return DecodeJpeg(data, size);
}
