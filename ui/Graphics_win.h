#pragma once
// Fonts and icons: fonts are made once and shared for the life of the program; a TIcon
// owns its handle and reports every change of picture.
#include <windows.h>

#include <string>

#include "base/Events.h"

// A shared font by face and point size, in pixels of the system DPI, kept for the life of
// the program; never freed by the caller.
HFONT GetFont(const std::string& Face, int Points, bool Bold = false, bool Underline = false);
// The same at a given DPI.
HFONT GetFontForDpi(const std::string& Face, int Points, bool Bold, bool Underline, int Dpi);
// A font of GetFont made again for Dpi (the same point size); any other font unchanged.
HFONT FontForDpi(HFONT Font, int Dpi);

class TIcon : public TObject {
public:
    ~TIcon() override;
    HICON Handle() const { return FHandle; }
    // Takes ownership of Icon (null empties the picture) and raises OnChange.
    void SetHandle(HICON Icon);
    // Copies another picture in.
    void Assign(const TIcon& Source);
    bool Empty() const { return FHandle == nullptr; }

    TNotifyEvent OnChange;

private:
    HICON FHandle = nullptr;
};
