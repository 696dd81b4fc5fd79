#pragma once
// The nodes of a tree, in memory: text, images, an attached object, expanded or not, and
// one selected node. A tree view window shows them and reports the user's changes back, so
// the walks and the search below run the same without any window.
//
// Nodes are addressed by their absolute index: the position in a walk of the whole tree,
// parent before children, every level counted, from 0.
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "base/Events.h"

class TTreeNodes;

class TTreeNode {
public:
    TTreeNode(TTreeNodes* Owner, TTreeNode* Parent, std::string Text);
    TTreeNode(const TTreeNode&) = delete;
    TTreeNode& operator=(const TTreeNode&) = delete;

    const std::string& Text() const { return FText; }
    void SetText(const std::string& Value);
    // Image indexes into the tree's image lists; -1 shows none.
    int ImageIndex() const { return FImageIndex; }
    void SetImageIndex(int Value);
    int SelectedIndex() const { return FSelectedIndex; }
    void SetSelectedIndex(int Value);
    int StateIndex() const { return FStateIndex; }
    void SetStateIndex(int Value);
    // Not owned: whoever attaches it frees it, after the node is gone.
    TObject* Data = nullptr;

    TTreeNode* Parent() const { return FParent; }
    int Count() const { return static_cast<int>(FChildren.size()); }
    TTreeNode* Item(int Index) const { return FChildren.at(Index).get(); }
    // The position among its siblings.
    int Index() const;
    int Level() const;
    int AbsoluteIndex() const;

    bool Expanded() const { return FExpanded; }
    // Expands or collapses this node alone; its children keep their own state.
    void SetExpanded(bool Value);
    void Expand(bool Recurse);
    void Collapse(bool Recurse);
    // True when every ancestor is expanded, so the node can be seen.
    bool IsVisible() const;
    // Expands every ancestor, parent by parent, each without its sub-branches.
    void MakeVisible();

private:
    friend class TTreeNodes;
    TTreeNodes* FOwner;
    TTreeNode* FParent;
    std::string FText;
    int FImageIndex = -1;
    int FSelectedIndex = -1;
    int FStateIndex = -1;
    bool FExpanded = false;
    std::vector<std::unique_ptr<TTreeNode>> FChildren;
};

// What happened to a node, for the window that shows the tree. The node is the one
// concerned (null for ncSelected with no node selected).
enum TNodeChange {
    ncInserted,  // now in the tree, without children yet
    ncDeleting,  // about to go, its children with it
    ncChanged,   // text or images
    ncExpanded,  // expanded or collapsed
    ncSelected,  // became the selected node
};

class TTreeNodes : public TObject {
public:
    TTreeNodes() = default;
    ~TTreeNodes() override;

    // Appends a node under Parent (null: at the top level).
    TTreeNode* AddChild(TTreeNode* Parent, const std::string& Text);
    // Adds a node in front of Sibling, under the same parent; a null Sibling appends it at
    // the top level.
    TTreeNode* Insert(TTreeNode* Sibling, const std::string& Text);
    // Removes the node and its children.
    void Delete(TTreeNode* Node);
    void Clear();

    int TopCount() const { return static_cast<int>(FRoots.size()); }
    TTreeNode* Top(int Index) const { return FRoots.at(Index).get(); }
    TTreeNode* GetFirstNode() const { return FRoots.empty() ? nullptr : FRoots.front().get(); }

    // Every node, every level.
    int Count() const;
    // The node at an absolute index; null when there is none.
    TTreeNode* Item(int AbsoluteIndex) const;
    // Every node in absolute order.
    std::vector<TTreeNode*> InOrder() const;

    TTreeNode* Selected() const { return FSelected; }
    // Null selects no node.
    void SetSelected(TTreeNode* Node);
    // The absolute index of the selected node, or -1.
    int Selection() const;
    // Selects the node at Index; -1 changes nothing, an index with no node selects none.
    void SetSelection(int Index);

    void FullExpand();
    void FullCollapse();

    // The first node, in absolute order, whose text begins with Text in any case, among
    // all nodes when AutoOpen is set and else among the visible ones. Without one the
    // last character is dropped and the search runs again, until Text is empty: then null.
    TTreeNode* FindPrefix(const std::string& Text, bool AutoOpen) const;

    std::function<void(TTreeNode* Node, TNodeChange Change)> OnChange;

private:
    friend class TTreeNode;
    void Notify(TTreeNode* Node, TNodeChange Change);
    std::vector<std::unique_ptr<TTreeNode>>& Siblings(TTreeNode* Parent);
    TTreeNode* InsertAt(TTreeNode* Parent, size_t Position, const std::string& Text);
    std::vector<std::unique_ptr<TTreeNode>> FRoots;
    TTreeNode* FSelected = nullptr;
};
