#pragma once
// An edit box with a drop button at its right end. The button, the Down arrow or F4 opens
// a borderless, always-on-top window under (or over) the edit that holds a tree; picking a
// node closes it and puts the node's text into the edit. The owner reads the picked node
// through Selection, its absolute index.
#include <windows.h>

#include <functional>
#include <string>

#include "base/Colors.h"
#include "treecombo/TreeView_win.h"
#include "ui/ControlHook_win.h"
#include "ui/Forms_win.h"
#include "ui/ScopedHandles_win.h"

class TTreeComboBox;

enum TSelectMode { smSingleClick, smDblClick };
enum TDropPosition { dpAuto, dpDown, dpUp };

// (Sender, AcceptDrop): false keeps the window closed.
using TDropDownEvent = std::function<void(TObject* Sender, bool& AcceptDrop)>;
using TDropUpEvent = std::function<void(TObject* Sender, bool Canceled)>;

// The drop button: a small button that never takes the focus, with the arrow glyph from
// the bitmap resource "DROPTREE_ARROW_DOWN".
class TDropTreeButton : public TObject, public TWindow {
public:
    // A child of Parent at its top left; placed by the combo.
    explicit TDropTreeButton(HWND Parent);

    bool Flat() const { return FFlat; }
    void SetFlat(bool Value);
    // Any colour but clNone fills the whole button after the normal painting.
    COLORREF Color() const { return FColor; }
    void SetColor(COLORREF Value);
    // True while the button is held down under the mouse.
    bool Down() const { return FDown; }

    // The control a click gives the focus to.
    TWinControl* FocusControl = nullptr;
    // Every left-button press, before the button handles it.
    TNotifyEvent OnMouseClick;
    // A press and release over the button.
    TNotifyEvent OnClick;

protected:
    LRESULT WndProc(UINT Msg, WPARAM WParam, LPARAM LParam) override;

private:
    void Paint(HDC DC);
    void SetDown(bool Value);
    TGdiObject<HBITMAP> FGlyph;
    COLORREF FColor = clNone;  // no colour: the button paints only its face and glyph
    bool FFlat = false;
    bool FTracking = false;
    bool FDown = false;
};

// The drop-down window: borderless, stay-on-top, owned by the combo's form; the tree
// fills it. Losing the activation (and with it the focus), being hidden or closed closes it
// as canceled.
class TDropTreeForm : public TWinControl {
public:
    TDropTreeForm(TTreeComboBox* Combo, HWND OwnerWindow);
    ~TDropTreeForm() override;
    TTreeView* Tree() const { return FTree; }
    // Takes the combo's DPI (the window has no parent to follow): the tree's font follows,
    // its size comes with the window's.
    void SetDpi(int Dpi);

protected:
    LRESULT WndProc(UINT Msg, WPARAM WParam, LPARAM LParam) override;

private:
    TTreeComboBox* FCombo;
    TTreeView* FTree;
};

class TTreeComboBox : public TWinControl {
public:
    TTreeComboBox(TComponent* AOwner, TWinControl* AParent, int Left, int Top, int Width = 200,
                  int Height = 21);
    ~TTreeComboBox() override;

    std::string Text() const { return Caption(); }
    void SetText(const std::string& Value) { SetCaption(Value); }

    // The tree's nodes; the owner fills them and reads their data.
    TTreeNodes& Items() { return FDropForm->Tree()->Items(); }
    // The tree itself, for its look: buttons, lines, indent, images, font, colours, menu.
    TTreeView* Tree() const { return FDropForm->Tree(); }
    TDropTreeButton* Button() const { return FButton.get(); }
    TDropTreeForm* DropForm() const { return FDropForm; }

    // The absolute index of the selected node, -1 for none. Writing -1 changes nothing; an
    // index with no node selects none. The edit's text is left alone.
    int Selection() const;
    void SetSelection(int Index);

    // How a mouse pick closes the window.
    TSelectMode SelectMode = smDblClick;
    // Size of the drop-down window, in layout pixels.
    int DropWidth;
    int DropHeight = 100;
    // Where the window opens; dpAuto opens it above the edit when it does not fit below.
    TDropPosition DropPosition = dpAuto;
    // The text search also looks into collapsed branches and opens the branch of the match.
    bool AutoOpen = true;
    // Collapse, or expand, the whole tree each time it opens; setting one clears the other.
    bool CollapseOnDrop() const { return FCollapseOnDrop; }
    void SetCollapseOnDrop(bool Value);
    bool ExpandOnDrop() const { return FExpandOnDrop; }
    void SetExpandOnDrop(bool Value);
    // False makes the edit read-only.
    bool EditorEnabled() const { return FEditorEnabled; }
    void SetEditorEnabled(bool Value);

    bool DroppedDown() const { return FDropped; }
    // Opens the window, unless it is open or OnDropDown refuses.
    void DropDown();
    // Closes the window; canceled puts back the text it opened with.
    void CloseUp(bool Canceled);

    // The smallest height the edit takes: its font's height and a quarter of the smaller
    // of the system font's and its own.
    int MinHeight() const;

    // Before the window opens; the text search has run by then.
    TDropDownEvent OnDropDown;
    // After the window closed.
    TDropUpEvent OnDropUp;
    // The edit's text changed.
    TNotifyEvent OnChange;

    void DoCommand(WORD Code) override;

private:
    bool HandleEditMessage(UINT Msg, WPARAM WParam, LPARAM LParam, LRESULT& Result);
    // Places the button and limits the text to the room beside it; raises a low height.
    void Layout();
    TDropTreeForm* FDropForm = nullptr;
    std::unique_ptr<TDropTreeButton> FButton;
    TControlHook FHook;
    std::string FSavedText;
    bool FDropped = false;
    // While opening without a match: the tree taking the focus must not select a node.
    bool FRefuseSelection = false;
    bool FCollapseOnDrop = false, FExpandOnDrop = false, FEditorEnabled = true;
};
