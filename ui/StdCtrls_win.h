#pragma once
// The ordinary controls of a form. Positions are relative to the parent control; changes
// made from code do not raise the user's click handlers.
#include <windows.h>

#include <string>
#include <vector>

#include "ui/Forms_win.h"
#include "ui/ScopedHandles_win.h"
#include "ui/SpinRange.h"

class TLabel : public TWinControl {
public:
    TLabel(TComponent* AOwner, TWinControl* AParent, int Left, int Top, const std::string& Caption,
           int Width = 0, int Height = 0);
    // Blue, underlined, with a hand cursor: a web address.
    void SetLinkStyle(HFONT UnderlinedFont);
    void DoCommand(WORD Code) override;
    HBRUSH DoCtlColor(HDC DC) override;
    HCURSOR Cursor() const override { return FLink ? LoadCursorA(nullptr, IDC_HAND) : nullptr; }
    // Resizes the label to its text in its current font.
    void AutoSize();
    // Keeps the width and fits the height to the text wrapped at that width.
    void AutoHeight();

    TNotifyEvent OnClick;

private:
    bool FLink = false;
};

class TEdit : public TWinControl {
public:
    TEdit(TComponent* AOwner, TWinControl* AParent, int Left, int Top, int Width, int Height = 21);
    std::string Text() const { return Caption(); }
    void SetText(const std::string& Value) { SetCaption(Value); }
    // Shows this character for every character typed; 0 shows the text.
    void SetPasswordChar(char C);
    char PasswordChar() const;
    void DoCommand(WORD Code) override;
    TNotifyEvent OnChange;
};

class TButton : public TWinControl {
public:
    // Tag IDOK or IDCANCEL before creation makes Enter or Escape press the button.
    TButton(TComponent* AOwner, TWinControl* AParent, int Left, int Top, int Width, int Height,
            const std::string& Caption, bool Default = false, int Id = 0);
    // Gives the button's form its modal result (when the button has one), then raises
    // OnClick, which may still set the form's result back to mrNone to keep it open.
    void Click();
    void DoCommand(WORD Code) override;
    TNotifyEvent OnClick;
    // What a click makes its form return from ShowModal; mrNone leaves the form open.
    int ModalResult = mrNone;
};

// What check boxes and radio buttons share: a check mark and a click from the user.
class TButtonControl : public TWinControl {
public:
    bool Checked() const;
    void DoCommand(WORD Code) override;
    TNotifyEvent OnClick;

protected:
    TButtonControl(TComponent* AOwner, TWinControl* AParent, DWORD Style, int Left, int Top, int Width,
                   int Height, const std::string& Caption);
    void SetCheck(bool Value);
};

class TCheckBox : public TButtonControl {
public:
    TCheckBox(TComponent* AOwner, TWinControl* AParent, int Left, int Top, int Width, int Height,
              const std::string& Caption);
    void SetChecked(bool Value) { SetCheck(Value); }
};

class TRadioButton : public TButtonControl {
public:
    TRadioButton(TComponent* AOwner, TWinControl* AParent, int Left, int Top, int Width, int Height,
                 const std::string& Caption);
    // Checking one radio button clears the others with the same parent.
    void SetChecked(bool Value);
    void DoCommand(WORD Code) override;
};

// A drop-down list to choose one line from.
class TComboBox : public TWinControl {
public:
    TComboBox(TComponent* AOwner, TWinControl* AParent, int Left, int Top, int Width, int Height = 200);
    int AddItem(const std::string& Text);
    void Clear();
    int Count() const;
    std::string Items(int Index) const;
    // -1 when nothing is chosen.
    int ItemIndex() const;
    void SetItemIndex(int Index);
    void DoCommand(WORD Code) override;
    TNotifyEvent OnChange;
};

class TGroupBox : public TWinControl {
public:
    TGroupBox(TComponent* AOwner, TWinControl* AParent, int Left, int Top, int Width, int Height,
              const std::string& Caption);
    // Children are created beside the frame, offset by its position.
    THost ClientHost() const override;
    // Puts the frame beneath the controls that overlap it.
    void SendToBack();
};

enum TBevelShape { bsTopLine, bsFrame };

class TBevel : public TWinControl {
public:
    TBevel(TComponent* AOwner, TWinControl* AParent, int Left, int Top, int Width, int Height,
           TBevelShape Shape);
};

// A bar that fills from 0 to Max.
class TProgressBar : public TWinControl {
public:
    TProgressBar(TComponent* AOwner, TWinControl* AParent, int Left, int Top, int Width, int Height,
                 int Max = 100);
    int Position() const;
    // Clamped to 0..Max by the control.
    void SetPosition(int Value);
};

class TSpinEdit : public TWinControl {
public:
    TSpinEdit(TComponent* AOwner, TWinControl* AParent, int Left, int Top, int Width, int Height,
              TSpinRange Range, int Value);
    ~TSpinEdit() override;
    int Value() const;
    void SetValue(int Value);
    const TSpinRange& Range() const { return FRange; }
    std::string Text() const { return Caption(); }
    void SetText(const std::string& Value) { SetCaption(Value); }
    void SetEnabled(bool Value) override;
    HWND UpDownHandle() const { return FUpDown; }
    void DoCommand(WORD Code) override;
    void DpiChanged() override;

private:
    TSpinRange FRange;
    HWND FUpDown = nullptr;
    // The buttons' width in layout pixels.
    int FUpDownWidth = 0;
};

class TPageControl;

class TTabSheet : public TWinControl {
public:
    TTabSheet(TComponent* AOwner, TPageControl* APageControl, const std::string& Caption);
    TPageControl* PageControl() const { return FPageControl; }

private:
    TPageControl* FPageControl;
};

class TPageControl : public TWinControl {
public:
    TPageControl(TComponent* AOwner, TWinControl* AParent, int Left, int Top, int Width, int Height);
    int PageCount() const { return static_cast<int>(FPages.size()); }
    TTabSheet* Pages(int Index) const { return FPages.at(Index); }
    int ActivePageIndex() const;
    void SetActivePageIndex(int Index);
    TTabSheet* ActivePage() const;
    void SetActivePage(TTabSheet* Page);
    bool DoNotify(NMHDR* Header, LRESULT& Result) override;
    // Ctrl+Tab shows the next page, Ctrl+Shift+Tab the one before, round the ends.
    bool DoDialogKey(WPARAM Key, bool Shift) override;
    // The display area of the pages, in layout pixels of the tab control.
    RECT PageRect() const;

private:
    friend class TTabSheet;
    void AddPage(TTabSheet* Page, const std::string& Caption);
    void ShowActive();
    std::vector<TTabSheet*> FPages;
};

class TImage : public TWinControl {
public:
    TImage(TComponent* AOwner, TWinControl* AParent, int Left, int Top, int Width, int Height);
    ~TImage() override;
    // Takes ownership of the bitmap. A picture drawn for the designed box (its size in
    // layout pixels) is shown stretched to the box at the form's DPI; any other size as it is.
    void SetBitmap(HBITMAP Bitmap);
    HBITMAP Bitmap() const { return FBitmap.Get(); }
    void DpiChanged() override;

private:
    // Hands the control the picture at the size for the DPI.
    void ShowBitmap();
    TGdiObject<HBITMAP> FBitmap;
    // The stretched copy the control shows, when one is needed.
    TGdiObject<HBITMAP> FShown;
};
