#include "treecombo/TreeNodes.h"

#include <utility>

#include "base/StrUtils.h"

namespace {
bool ContainsNode(const TTreeNode* Root, const TTreeNode* Node) {
    for (const TTreeNode* n = Node; n; n = n->Parent())
        if (n == Root) return true;
    return false;
}
}  // namespace

TTreeNode::TTreeNode(TTreeNodes* Owner, TTreeNode* Parent, std::string Text)
    : FOwner(Owner), FParent(Parent), FText(std::move(Text)) {}

void TTreeNode::SetText(const std::string& Value) {
    if (Value == FText) return;
    FText = Value;
    FOwner->Notify(this, ncChanged);
}

void TTreeNode::SetImageIndex(int Value) {
    if (Value == FImageIndex) return;
    FImageIndex = Value;
    FOwner->Notify(this, ncChanged);
}

void TTreeNode::SetSelectedIndex(int Value) {
    if (Value == FSelectedIndex) return;
    FSelectedIndex = Value;
    FOwner->Notify(this, ncChanged);
}

void TTreeNode::SetStateIndex(int Value) {
    if (Value == FStateIndex) return;
    FStateIndex = Value;
    FOwner->Notify(this, ncChanged);
}

int TTreeNode::Index() const {
    const auto& siblings = FOwner->Siblings(FParent);
    for (size_t i = 0; i < siblings.size(); ++i)
        if (siblings[i].get() == this) return static_cast<int>(i);
    return -1;
}

int TTreeNode::Level() const {
    int level = 0;
    for (const TTreeNode* n = FParent; n; n = n->FParent)
        ++level;
    return level;
}

int TTreeNode::AbsoluteIndex() const {
    const std::vector<TTreeNode*> all = FOwner->InOrder();
    for (size_t i = 0; i < all.size(); ++i)
        if (all[i] == this) return static_cast<int>(i);
    return -1;
}

void TTreeNode::SetExpanded(bool Value) {
    if (Value == FExpanded) return;
    FExpanded = Value;
    FOwner->Notify(this, ncExpanded);
}

void TTreeNode::Expand(bool Recurse) {
    SetExpanded(true);
    if (Recurse)
        for (const auto& c : FChildren)
            c->Expand(true);
}

void TTreeNode::Collapse(bool Recurse) {
    SetExpanded(false);
    if (Recurse)
        for (const auto& c : FChildren)
            c->Collapse(true);
}

bool TTreeNode::IsVisible() const {
    for (const TTreeNode* n = FParent; n; n = n->FParent)
        if (!n->FExpanded) return false;
    return true;
}

void TTreeNode::MakeVisible() {
    std::vector<TTreeNode*> ancestors;
    for (TTreeNode* n = FParent; n; n = n->FParent)
        ancestors.push_back(n);
    // From the top down, so each expanded node is itself already visible.
    for (auto it = ancestors.rbegin(); it != ancestors.rend(); ++it)
        (*it)->SetExpanded(true);
}

// ---------------------------------------------------------------------------------------

TTreeNodes::~TTreeNodes() { OnChange = nullptr; }

void TTreeNodes::Notify(TTreeNode* Node, TNodeChange Change) {
    if (OnChange) OnChange(Node, Change);
}

std::vector<std::unique_ptr<TTreeNode>>& TTreeNodes::Siblings(TTreeNode* Parent) {
    return Parent ? Parent->FChildren : FRoots;
}

TTreeNode* TTreeNodes::InsertAt(TTreeNode* Parent, size_t Position, const std::string& Text) {
    auto& siblings = Siblings(Parent);
    auto node = std::make_unique<TTreeNode>(this, Parent, Text);
    TTreeNode* added = node.get();
    siblings.insert(siblings.begin() + static_cast<std::ptrdiff_t>(Position), std::move(node));
    Notify(added, ncInserted);
    return added;
}

TTreeNode* TTreeNodes::AddChild(TTreeNode* Parent, const std::string& Text) {
    return InsertAt(Parent, Siblings(Parent).size(), Text);
}

TTreeNode* TTreeNodes::Insert(TTreeNode* Sibling, const std::string& Text) {
    if (!Sibling) return AddChild(nullptr, Text);
    return InsertAt(Sibling->FParent, static_cast<size_t>(Sibling->Index()), Text);
}

void TTreeNodes::Delete(TTreeNode* Node) {
    if (!Node) return;
    if (ContainsNode(Node, FSelected)) SetSelected(nullptr);
    Notify(Node, ncDeleting);
    auto& siblings = Siblings(Node->FParent);
    siblings.erase(siblings.begin() + Node->Index());
}

void TTreeNodes::Clear() {
    while (!FRoots.empty())
        Delete(FRoots.back().get());
}

int TTreeNodes::Count() const { return static_cast<int>(InOrder().size()); }

std::vector<TTreeNode*> TTreeNodes::InOrder() const {
    std::vector<TTreeNode*> out;
    std::vector<TTreeNode*> stack;
    for (auto it = FRoots.rbegin(); it != FRoots.rend(); ++it)
        stack.push_back(it->get());
    while (!stack.empty()) {
        TTreeNode* n = stack.back();
        stack.pop_back();
        out.push_back(n);
        for (auto it = n->FChildren.rbegin(); it != n->FChildren.rend(); ++it)
            stack.push_back(it->get());
    }
    return out;
}

TTreeNode* TTreeNodes::Item(int AbsoluteIndex) const {
    if (AbsoluteIndex < 0) return nullptr;
    std::vector<TTreeNode*> all = InOrder();
    return AbsoluteIndex < static_cast<int>(all.size()) ? all[AbsoluteIndex] : nullptr;
}

void TTreeNodes::SetSelected(TTreeNode* Node) {
    if (Node == FSelected) return;
    FSelected = Node;
    Notify(Node, ncSelected);
}

int TTreeNodes::Selection() const { return FSelected ? FSelected->AbsoluteIndex() : -1; }

void TTreeNodes::SetSelection(int Index) {
    if (Index == -1) return;
    SetSelected(Item(Index));
}

void TTreeNodes::FullExpand() {
    for (const auto& r : FRoots)
        r->Expand(true);
}

void TTreeNodes::FullCollapse() {
    for (const auto& r : FRoots)
        r->Collapse(true);
}

TTreeNode* TTreeNodes::FindPrefix(const std::string& Text, bool AutoOpen) const {
    const std::vector<TTreeNode*> all = InOrder();
    std::vector<std::string> upper;
    upper.reserve(all.size());
    for (TTreeNode* n : all)
        upper.push_back(UpperCase(n->Text()));
    for (std::string t = UpperCase(Text); !t.empty(); t.pop_back())
        for (size_t i = 0; i < all.size(); ++i)
            if ((AutoOpen || all[i]->IsVisible()) && upper[i].compare(0, t.size(), t) == 0) return all[i];
    return nullptr;
}
