#pragma once
// Fonts and icons: fonts are made once and shared for the life of the program; a TIcon
// owns its handle and reports every change of picture.
#include <windows.h>

#include <string>

#include "base/Events.h"

// A shared font by face and point size, kept for the life of the program; never freed by
// the caller.
HFONT GetFont(const std::string& Face, int Points, bool Bold = false, bool Underline = false);

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
