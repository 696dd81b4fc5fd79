#include "ui/ImgList_win.h"

#include "ui/Dpi_win.h"

TImageList::TImageList(TComponent* AOwner, int Width, int Height)
    : TComponent(AOwner), FWidth(ScaleToDpi(Width, SystemDpi())), FHeight(ScaleToDpi(Height, SystemDpi())) {
    FHandle = ImageList_Create(FWidth, FHeight, ILC_COLOR32 | ILC_MASK, 12, 4);
}

TImageList::~TImageList() {
    BeginDestroy();
    if (FHandle) ImageList_Destroy(FHandle);
}

int TImageList::Count() const { return FHandle ? ImageList_GetImageCount(FHandle) : 0; }

int TImageList::AddIcon(HICON Icon) {
    if (!FHandle || !Icon) return -1;
    return ImageList_AddIcon(FHandle, Icon);
}

int TImageList::AddResourceIcon(const std::string& Name) {
    HICON icon = static_cast<HICON>(
        LoadImageA(GetModuleHandleA(nullptr), Name.c_str(), IMAGE_ICON, FWidth, FHeight, 0));
    if (!icon) return -1;
    int index = AddIcon(icon);
    DestroyIcon(icon);
    return index;
}

void TImageList::GetIcon(int Index, TIcon& Icon) const {
    if (Index < 0 || Index >= Count()) {
        Icon.SetHandle(nullptr);
        return;
    }
    Icon.SetHandle(ImageList_GetIcon(FHandle, Index, ILD_NORMAL));
}

void TImageList::Draw(HDC DC, int X, int Y, int Index, bool Enabled) const {
    if (Index < 0 || Index >= Count()) return;
    ImageList_Draw(FHandle, Index, DC, X, Y, Enabled ? ILD_TRANSPARENT : (ILD_TRANSPARENT | ILD_BLEND50));
}
