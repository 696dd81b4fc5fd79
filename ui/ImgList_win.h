#pragma once
// A list of same-sized images with transparency, drawn by index.
#include <windows.h>
#include <commctrl.h>

#include <string>

#include "base/Component.h"
#include "ui/Graphics_win.h"

class TImageList : public TComponent {
public:
    // Width x Height are layout pixels: the images are made at the system DPI's size (16
    // is 24 at 150 %), which the icon resources carry.
    TImageList(TComponent* AOwner, int Width = 16, int Height = 16);
    ~TImageList() override;

    HIMAGELIST Handle() const { return FHandle; }
    int Count() const;
    // In screen pixels.
    int Width() const { return FWidth; }
    int Height() const { return FHeight; }
    // Adds a copy of the icon; returns its index, or -1.
    int AddIcon(HICON Icon);
    // Adds the icon resource of that name at the list's size; returns its index, or -1.
    int AddResourceIcon(const std::string& Name);
    // Copies image Index into Icon (an empty icon when there is no such image).
    void GetIcon(int Index, TIcon& Icon) const;
    void Draw(HDC DC, int X, int Y, int Index, bool Enabled = true) const;

private:
    HIMAGELIST FHandle = nullptr;
    int FWidth, FHeight;
};
