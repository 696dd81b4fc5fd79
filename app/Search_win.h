#pragma once
// The search dialog: a phrase and three filters, asked for modally from the tray menu. The
// options form creates one per search, as its owner, and reads the controls' values into
// its query when the dialog returns mrOk.
#include "ui/Forms_win.h"
#include "ui/StdCtrls_win.h"

class TSearchForm : public TForm {
public:
    explicit TSearchForm(TComponent* AOwner);
    ~TSearchForm() override;

    // Layout, top to bottom.
    TLabel* Label1;
    TLabel* lbPhrase;
    TEdit* edPhrase;
    TComboBox* cbPhrase;
    TLabel* Label2;
    TComboBox* cbTypes;
    TLabel* Label3;
    TComboBox* cbFileSize;
    TLabel* OS;
    TComboBox* cbOperatingSystem;
    TBevel* Bevel1;
    // "Search" (mrOk, also Enter) and "Cancel" (mrCancel, also Escape).
    TButton* Button1;
    TButton* Button2;

    // Chooses the first item of every list.
    void FormCreate();
};

// The dialog of the search that is running, set by whoever creates it; cleared when that
// dialog is freed.
extern TSearchForm* SearchForm;
