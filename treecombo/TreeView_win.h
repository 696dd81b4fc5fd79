#pragma once
// A system tree view showing a TTreeNodes: every change of the nodes is shown at once, and
// what the user changes in the window (the selected node, a branch opened or closed) is
// written back into the nodes. The nodes are the truth; the window is their picture.
#include <windows.h>
#include <commctrl.h>

#include <functional>
#include <unordered_map>

#include "treecombo/TreeNodes.h"
#include "ui/ControlHook_win.h"
#include "ui/Forms_win.h"
#include "ui/ImgList_win.h"
#include "ui/Menus_win.h"

class TTreeView : public TWinControl {
public:
    TTreeView(TComponent* AOwner, TWinControl* AParent);
    ~TTreeView() override;

    TTreeNodes& Items() { return FItems; }
    const TTreeNodes& Items() const { return FItems; }

    // The look, applied at once.
    bool ShowButtons() const { return FShowButtons; }
    void SetShowButtons(bool Value);
    bool ShowLines() const { return FShowLines; }
    void SetShowLines(bool Value);
    bool ShowRoot() const { return FShowRoot; }
    void SetShowRoot(bool Value);
    // False lets the user edit the nodes' labels.
    bool ReadOnly() const { return FReadOnly; }
    void SetReadOnly(bool Value);
    // The whole row is highlighted, not only the label (the system draws no lines then).
    bool RowSelect() const { return FRowSelect; }
    void SetRowSelect(bool Value);
    // A single line around the tree, or none.
    bool Border() const { return FBorder; }
    void SetBorder(bool Value);
    int Indent() const;
    void SetIndent(int Value);
    // The lists are not owned.
    void SetImages(TImageList* Images);
    void SetStateImages(TImageList* Images);
    void SetColors(COLORREF Text, COLORREF Background);

    // A right click selects the node under the mouse.
    bool RightClickSelect = false;
    // Shown by a right click (or the context-menu key); not owned.
    TPopupMenu* PopupMenu = nullptr;

    // The node whose label or icon is at a point of the client area, or null.
    TTreeNode* GetNodeAt(int X, int Y) const;

    // Asked before the user moves the selection to Node; false refuses the change.
    std::function<bool(TTreeNode* Node)> OnChanging;
    // After the selection changed, by the user or from code.
    std::function<void(TTreeNode* Node)> OnChange;
    // A key pressed in the tree; true uses it up before the tree sees it.
    std::function<bool(WORD Key)> OnKeyDown;
    // A character typed in the tree; true discards it.
    std::function<bool(char Key)> OnKeyPress;
    // A button pressed over the client area, after the tree has handled it.
    std::function<void(UINT Button, int X, int Y)> OnMouseDown;
    TNotifyEvent OnDblClick;

    bool DoNotify(NMHDR* Header, LRESULT& Result) override;

private:
    void NodesChanged(TTreeNode* Node, TNodeChange Change);
    void InsertItem(TTreeNode* Node);
    void UpdateItem(TTreeNode* Node);
    void Forget(TTreeNode* Node);
    // Selects the selected node's item, or none.
    void ShowSelection();
    HTREEITEM ItemOf(const TTreeNode* Node) const;
    TTreeNode* NodeOf(HTREEITEM Item) const;
    void UpdateStyle();
    bool HandleMessage(UINT Msg, WPARAM WParam, LPARAM LParam, LRESULT& Result);

    TTreeNodes FItems;
    std::unordered_map<const TTreeNode*, HTREEITEM> FHandles;
    // Set while the window is made to follow the nodes: the changes it makes then are not
    // the user's, and OnChanging is not asked.
    int FFollowing = 0;
    bool FShowButtons = true, FShowLines = true, FShowRoot = true, FReadOnly = true, FRowSelect = false;
    bool FBorder = true;
    TControlHook FHook;
};
