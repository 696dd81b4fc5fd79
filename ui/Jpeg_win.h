#pragma once
// JPEG pictures decoded with libjpeg into bitmaps the screen can show.
#include <windows.h>

#include <cstddef>
#include <string>

// Decodes a JPEG image into a 24-bit bitmap; null when the data is not a readable JPEG.
HBITMAP DecodeJpeg(const void* Data, size_t Size);
// The same for a resource of type RCDATA in the program.
HBITMAP LoadJpegResource(const std::string& Name);
