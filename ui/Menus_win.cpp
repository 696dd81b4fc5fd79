#include "ui/Menus_win.h"

#include <algorithm>

namespace {
unsigned NextCommand = 100;
}

TMenuItem::TMenuItem(TComponent* AOwner, const std::string& Caption, int ImageIndex)
    : TComponent(AOwner), Caption(Caption), ImageIndex(ImageIndex), FCommand(NextCommand++) {}

TPopupMenu::TPopupMenu(TComponent* AOwner)
    : TComponent(AOwner), FWindow([this](UINT Msg, WPARAM WParam, LPARAM LParam, LRESULT& Result) {
          return HandleMessage(Msg, WParam, LParam, Result);
      }) {}

TPopupMenu::~TPopupMenu() {
    BeginDestroy();
    if (FMenu) DestroyMenu(FMenu);
}

void TPopupMenu::Add(TMenuItem* Item) {
    FItems.push_back(Item);
    FreeNotification(Item);
}

void TPopupMenu::SetImages(TImageList* Images) {
    if (FImages) RemoveFreeNotification(FImages);
    FImages = Images;
    if (FImages) FreeNotification(FImages);
}

void TPopupMenu::Notification(TComponent* AComponent, TOperation Operation) {
    if (Operation != opRemove) return;
    if (AComponent == FImages) FImages = nullptr;
    FItems.erase(std::remove(FItems.begin(), FItems.end(), AComponent), FItems.end());
    if (AComponent == PopupComponent) PopupComponent = nullptr;
}

HMENU TPopupMenu::Handle() {
    if (FMenu) DestroyMenu(FMenu);
    FMenu = CreatePopupMenu();
    for (TMenuItem* item : FItems) {
        if (!item->Visible) continue;
        MENUITEMINFOA mi = {};
        mi.cbSize = sizeof(mi);
        if (item->IsSeparator()) {
            mi.fMask = MIIM_FTYPE;
            mi.fType = MFT_SEPARATOR;
        } else {
            mi.fMask = MIIM_ID | MIIM_STRING | MIIM_STATE;
            mi.wID = item->Command();
            mi.dwTypeData = const_cast<char*>(item->Caption.c_str());
            mi.fState = (item->Enabled ? MFS_ENABLED : MFS_DISABLED) | (item->Default ? MFS_DEFAULT : 0);
            if (FImages && item->ImageIndex >= 0 && item->ImageIndex < FImages->Count()) {
                // The image is drawn by us on request, which works on every version of the
                // menu code and keeps the list's transparency.
                mi.fMask |= MIIM_BITMAP;
                mi.hbmpItem = HBMMENU_CALLBACK;
            }
        }
        InsertMenuItemA(FMenu, GetMenuItemCount(FMenu), TRUE, &mi);
    }
    return FMenu;
}

TMenuItem* TPopupMenu::FindCommand(unsigned Command) const {
    for (TMenuItem* item : FItems)
        if (item->Command() == Command) return item;
    return nullptr;
}

void TPopupMenu::Popup(int X, int Y) {
    HMENU menu = Handle();
    TrackPopupMenu(menu, TPM_LEFTALIGN | TPM_RIGHTBUTTON, X, Y, 0, FWindow.Handle(), nullptr);
}

bool TPopupMenu::ClickDefault() {
    for (TMenuItem* item : FItems)
        if (item->Default && item->Visible && item->Enabled && !item->IsSeparator()) {
            item->Click();
            return true;
        }
    return false;
}

// Every menu's commands arrive at the shared window: each menu takes only its own items'
// (command numbers are unique in the program).
bool TPopupMenu::HandleMessage(UINT Msg, WPARAM WParam, LPARAM LParam, LRESULT& Result) {
    switch (Msg) {
    case WM_COMMAND: {
        TMenuItem* item = HIWORD(WParam) == 0 && LParam == 0 ? FindCommand(LOWORD(WParam)) : nullptr;
        if (!item) return false;
        if (item->Enabled) item->Click();
        Result = 0;
        return true;
    }
    case WM_MEASUREITEM: {
        auto* mis = reinterpret_cast<MEASUREITEMSTRUCT*>(LParam);
        if (mis->CtlType != ODT_MENU || !FindCommand(mis->itemID)) return false;
        // A little room on both sides, so the picture does not touch the caption.
        mis->itemWidth = (FImages ? static_cast<UINT>(FImages->Width()) : 16) + 4;
        mis->itemHeight = FImages ? static_cast<UINT>(FImages->Height()) : 16;
        Result = TRUE;
        return true;
    }
    case WM_DRAWITEM: {
        auto* dis = reinterpret_cast<DRAWITEMSTRUCT*>(LParam);
        TMenuItem* item = dis->CtlType == ODT_MENU ? FindCommand(dis->itemID) : nullptr;
        if (!item) return false;
        if (FImages) {
            int h = dis->rcItem.bottom - dis->rcItem.top;
            int y = dis->rcItem.top + (h - FImages->Height()) / 2;
            FImages->Draw(dis->hDC, dis->rcItem.left + 2, y, item->ImageIndex,
                          !(dis->itemState & (ODS_DISABLED | ODS_GRAYED)));
        }
        Result = TRUE;
        return true;
    }
    }
    return false;
}
