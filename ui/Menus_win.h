#pragma once
// Popup menus with images from an image list. The menu is rebuilt from its items each time
// it pops up, so captions, images and enabled states can change at any time.
#include <windows.h>

#include <string>
#include <vector>

#include "base/Component.h"
#include "ui/ImgList_win.h"
#include "ui/MessageWindow_win.h"

class TMenuItem : public TComponent {
public:
    // A caption of "-" makes a separator.
    TMenuItem(TComponent* AOwner, const std::string& Caption, int ImageIndex = -1);
    std::string Caption;
    int ImageIndex = -1;
    bool Enabled = true;
    bool Visible = true;
    // The item a double-click on the tray icon chooses.
    bool Default = false;
    TNotifyEvent OnClick;

    bool IsSeparator() const { return Caption == "-"; }
    unsigned Command() const { return FCommand; }
    void Click() { Raise(OnClick, this); }

private:
    unsigned FCommand;
};

class TPopupMenu : public TComponent {
public:
    explicit TPopupMenu(TComponent* AOwner);
    ~TPopupMenu() override;

    void Add(TMenuItem* Item);
    int Count() const { return static_cast<int>(FItems.size()); }
    TMenuItem* Items(int Index) const { return FItems.at(Index); }
    void SetImages(TImageList* Images);
    TImageList* Images() const { return FImages; }

    bool AutoPopup = true;
    // The component that popped the menu up last.
    TComponent* PopupComponent = nullptr;

    // Shows the menu at a screen position and returns when it closes; the chosen item's
    // OnClick runs afterwards, from the message queue.
    void Popup(int X, int Y);
    // The current menu, rebuilt from the items.
    HMENU Handle();
    // The window that owns the menu while it is open and receives its commands: the
    // shared hidden window.
    HWND Window() const { return FWindow.Handle(); }
    // Chooses the default item (of several, the first); false when there is none.
    bool ClickDefault();

protected:
    void Notification(TComponent* AComponent, TOperation Operation) override;

private:
    bool HandleMessage(UINT Msg, WPARAM WParam, LPARAM LParam, LRESULT& Result);
    TMenuItem* FindCommand(unsigned Command) const;
    std::vector<TMenuItem*> FItems;
    TImageList* FImages = nullptr;
    HMENU FMenu = nullptr;
    TSharedWindow FWindow;
};
