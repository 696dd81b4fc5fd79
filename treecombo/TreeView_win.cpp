#include "treecombo/TreeView_win.h"

#include <windowsx.h>

namespace {
// While the window follows the nodes, the changes it reports are not the user's.
struct TFollowing {
    explicit TFollowing(int& Count) : FCount(Count) { ++FCount; }
    ~TFollowing() { --FCount; }
    int& FCount;
};

UINT StateImageMask(int StateIndex) { return INDEXTOSTATEIMAGEMASK(StateIndex > 0 ? StateIndex : 0); }
}  // namespace

TTreeView::TTreeView(TComponent* AOwner, TWinControl* AParent) : TWinControl(AOwner, AParent) {
    CreateControl(WC_TREEVIEWA, WS_VISIBLE | WS_TABSTOP, 0, "", 0, 0, 100, 100);
    UpdateStyle();
    FItems.OnChange = [this](TTreeNode* Node, TNodeChange Change) { NodesChanged(Node, Change); };
    FHook.Attach(FHandle, [this](UINT Msg, WPARAM WParam, LPARAM LParam, LRESULT& Result) {
        return HandleMessage(Msg, WParam, LParam, Result);
    });
}

TTreeView::~TTreeView() {
    BeginDestroy();
    FItems.OnChange = nullptr;
    // The window goes while the hook and the nodes are still here.
    DestroyControl();
}

void TTreeView::UpdateStyle() {
    LONG style = GetWindowLongA(FHandle, GWL_STYLE);
    const LONG ours = TVS_HASBUTTONS | TVS_HASLINES | TVS_LINESATROOT | TVS_EDITLABELS | TVS_FULLROWSELECT |
                      TVS_SHOWSELALWAYS | WS_BORDER;
    style &= ~ours;
    if (FShowButtons) style |= TVS_HASBUTTONS;
    if (FShowLines) style |= TVS_HASLINES;
    if (FShowRoot) style |= TVS_LINESATROOT;
    if (!FReadOnly) style |= TVS_EDITLABELS;
    if (FRowSelect) style |= TVS_FULLROWSELECT;
    if (FBorder) style |= WS_BORDER;
    style |= TVS_SHOWSELALWAYS;
    SetWindowLongA(FHandle, GWL_STYLE, style);
    SetWindowPos(FHandle, nullptr, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
    InvalidateRect(FHandle, nullptr, TRUE);
}

void TTreeView::SetShowButtons(bool Value) {
    FShowButtons = Value;
    UpdateStyle();
}

void TTreeView::SetShowLines(bool Value) {
    FShowLines = Value;
    UpdateStyle();
}

void TTreeView::SetShowRoot(bool Value) {
    FShowRoot = Value;
    UpdateStyle();
}

void TTreeView::SetReadOnly(bool Value) {
    FReadOnly = Value;
    UpdateStyle();
}

void TTreeView::SetRowSelect(bool Value) {
    FRowSelect = Value;
    UpdateStyle();
}

void TTreeView::SetBorder(bool Value) {
    FBorder = Value;
    UpdateStyle();
}

int TTreeView::Indent() const { return static_cast<int>(SendMessageA(FHandle, TVM_GETINDENT, 0, 0)); }

void TTreeView::SetIndent(int Value) { SendMessageA(FHandle, TVM_SETINDENT, static_cast<WPARAM>(Value), 0); }

void TTreeView::SetImages(TImageList* Images) {
    SendMessageA(FHandle, TVM_SETIMAGELIST, TVSIL_NORMAL,
                 reinterpret_cast<LPARAM>(Images ? Images->Handle() : nullptr));
}

void TTreeView::SetStateImages(TImageList* Images) {
    SendMessageA(FHandle, TVM_SETIMAGELIST, TVSIL_STATE,
                 reinterpret_cast<LPARAM>(Images ? Images->Handle() : nullptr));
}

void TTreeView::SetColors(COLORREF Text, COLORREF Background) {
    SendMessageA(FHandle, TVM_SETTEXTCOLOR, 0, static_cast<LPARAM>(Text));
    SendMessageA(FHandle, TVM_SETBKCOLOR, 0, static_cast<LPARAM>(Background));
}

HTREEITEM TTreeView::ItemOf(const TTreeNode* Node) const {
    auto it = Node ? FHandles.find(Node) : FHandles.end();
    return it == FHandles.end() ? nullptr : it->second;
}

TTreeNode* TTreeView::NodeOf(HTREEITEM Item) const {
    if (!Item) return nullptr;
    TVITEMA item = {};
    item.mask = TVIF_PARAM | TVIF_HANDLE;
    item.hItem = Item;
    if (!SendMessageA(FHandle, TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item))) return nullptr;
    return reinterpret_cast<TTreeNode*>(item.lParam);
}

TTreeNode* TTreeView::GetNodeAt(int X, int Y) const {
    TVHITTESTINFO hit = {};
    hit.pt = {X, Y};
    HTREEITEM item =
        reinterpret_cast<HTREEITEM>(SendMessageA(FHandle, TVM_HITTEST, 0, reinterpret_cast<LPARAM>(&hit)));
    return (hit.flags & (TVHT_ONITEMICON | TVHT_ONITEMLABEL)) ? NodeOf(item) : nullptr;
}

void TTreeView::NodesChanged(TTreeNode* Node, TNodeChange Change) {
    TFollowing following(FFollowing);
    switch (Change) {
    case ncInserted:
        InsertItem(Node);
        break;
    case ncDeleting:
        if (HTREEITEM item = ItemOf(Node)) {
            SendMessageA(FHandle, TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(item));
            Forget(Node);
        }
        // The window may have picked another node to select; the nodes say which it is.
        ShowSelection();
        break;
    case ncChanged:
        UpdateItem(Node);
        break;
    case ncExpanded:
        if (HTREEITEM item = ItemOf(Node)) {
            bool open = (TreeView_GetItemState(FHandle, item, TVIS_EXPANDED) & TVIS_EXPANDED) != 0;
            if (open != Node->Expanded())
                SendMessageA(FHandle, TVM_EXPAND, Node->Expanded() ? TVE_EXPAND : TVE_COLLAPSE,
                             reinterpret_cast<LPARAM>(item));
            // Closing a branch moves the selection out of it, and not every system says so.
            if (!Node->Expanded()) FItems.SetSelected(NodeOf(TreeView_GetSelection(FHandle)));
        }
        break;
    case ncSelected:
        ShowSelection();
        if (OnChange) OnChange(Node);
        break;
    }
}

void TTreeView::ShowSelection() {
    TTreeNode* node = FItems.Selected();
    HTREEITEM item = ItemOf(node);
    if (TreeView_GetSelection(FHandle) != item)
        SendMessageA(FHandle, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(item));
    if (!item) return;
    // The window opens the branches above a node it selects, not always telling so.
    SendMessageA(FHandle, TVM_ENSUREVISIBLE, 0, reinterpret_cast<LPARAM>(item));
    for (TTreeNode* a = node->Parent(); a; a = a->Parent())
        if (HTREEITEM up = ItemOf(a))
            a->SetExpanded((TreeView_GetItemState(FHandle, up, TVIS_EXPANDED) & TVIS_EXPANDED) != 0);
}

void TTreeView::InsertItem(TTreeNode* Node) {
    TVINSERTSTRUCTA ins = {};
    ins.hParent = Node->Parent() ? ItemOf(Node->Parent()) : TVI_ROOT;
    int index = Node->Index();
    ins.hInsertAfter = index == 0
                           ? TVI_FIRST
                           : ItemOf(Node->Parent() ? Node->Parent()->Item(index - 1) : FItems.Top(index - 1));
    ins.item.mask = TVIF_TEXT | TVIF_IMAGE | TVIF_SELECTEDIMAGE | TVIF_STATE | TVIF_PARAM;
    ins.item.pszText = const_cast<char*>(Node->Text().c_str());
    ins.item.iImage = Node->ImageIndex();
    ins.item.iSelectedImage = Node->SelectedIndex();
    ins.item.stateMask = TVIS_STATEIMAGEMASK;
    ins.item.state = StateImageMask(Node->StateIndex());
    ins.item.lParam = reinterpret_cast<LPARAM>(Node);
    HTREEITEM item = reinterpret_cast<HTREEITEM>(
        SendMessageA(FHandle, TVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&ins)));
    if (item) FHandles[Node] = item;
}

void TTreeView::UpdateItem(TTreeNode* Node) {
    TVITEMA item = {};
    item.hItem = ItemOf(Node);
    if (!item.hItem) return;
    item.mask = TVIF_HANDLE | TVIF_TEXT | TVIF_IMAGE | TVIF_SELECTEDIMAGE | TVIF_STATE;
    item.pszText = const_cast<char*>(Node->Text().c_str());
    item.iImage = Node->ImageIndex();
    item.iSelectedImage = Node->SelectedIndex();
    item.stateMask = TVIS_STATEIMAGEMASK;
    item.state = StateImageMask(Node->StateIndex());
    SendMessageA(FHandle, TVM_SETITEMA, 0, reinterpret_cast<LPARAM>(&item));
}

void TTreeView::Forget(TTreeNode* Node) {
    FHandles.erase(Node);
    for (int i = 0; i < Node->Count(); ++i)
        Forget(Node->Item(i));
}

bool TTreeView::DoNotify(NMHDR* Header, LRESULT& Result) {
    switch (Header->code) {
    case TVN_SELCHANGINGA:
    case TVN_SELCHANGINGW: {
        auto* nm = reinterpret_cast<NMTREEVIEWA*>(Header);
        Result = !FFollowing && OnChanging && !OnChanging(NodeOf(nm->itemNew.hItem)) ? TRUE : FALSE;
        return true;
    }
    case TVN_SELCHANGEDA:
    case TVN_SELCHANGEDW: {
        // Also while following: collapsing a branch moves the selection out of it.
        auto* nm = reinterpret_cast<NMTREEVIEWA*>(Header);
        FItems.SetSelected(NodeOf(nm->itemNew.hItem));
        Result = 0;
        return true;
    }
    case TVN_ITEMEXPANDEDA:
    case TVN_ITEMEXPANDEDW: {
        auto* nm = reinterpret_cast<NMTREEVIEWA*>(Header);
        // Also while following: the window may open a branch of its own accord.
        if (TTreeNode* node = NodeOf(nm->itemNew.hItem))
            node->SetExpanded((nm->itemNew.state & TVIS_EXPANDED) != 0);
        Result = 0;
        return true;
    }
    case TVN_ENDLABELEDITA: {
        // Only reached when labels may be edited: the new text goes into the node.
        auto* nm = reinterpret_cast<NMTVDISPINFOA*>(Header);
        if (TTreeNode* node = NodeOf(nm->item.hItem))
            if (nm->item.pszText) node->SetText(nm->item.pszText);
        Result = FALSE;  // the node's own update has already shown the text
        return true;
    }
    }
    return false;
}

bool TTreeView::HandleMessage(UINT Msg, WPARAM WParam, LPARAM LParam, LRESULT& Result) {
    switch (Msg) {
    case WM_KEYDOWN:
        if (OnKeyDown && OnKeyDown(static_cast<WORD>(WParam))) return true;
        break;
    case WM_CHAR:
        if (OnKeyPress && OnKeyPress(static_cast<char>(WParam))) return true;
        break;
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN: {
        // The tree selects (and may wait for a drag) first, as the user expects.
        Result = FHook.Default(Msg, WParam, LParam);
        int x = GET_X_LPARAM(LParam), y = GET_Y_LPARAM(LParam);
        if (Msg == WM_RBUTTONDOWN && RightClickSelect)
            if (HTREEITEM item = ItemOf(GetNodeAt(x, y)))
                SendMessageA(FHandle, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(item));
        if (OnMouseDown) OnMouseDown(Msg, x, y);
        return true;
    }
    case WM_LBUTTONDBLCLK:
        Result = FHook.Default(Msg, WParam, LParam);
        Raise(OnDblClick, this);
        return true;
    case WM_CONTEXTMENU:
        if (PopupMenu) {
            POINT p = {GET_X_LPARAM(LParam), GET_Y_LPARAM(LParam)};
            if (p.x == -1 && p.y == -1) {
                p = {0, 0};
                ClientToScreen(FHandle, &p);
            }
            PopupMenu->PopupComponent = this;
            PopupMenu->Popup(p.x, p.y);
            Result = 0;
            return true;
        }
        break;
    }
    return false;
}
