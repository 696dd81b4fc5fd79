#include "app/Search_win.h"

#include <initializer_list>

#include "ui/Graphics_win.h"

TSearchForm* SearchForm = nullptr;

namespace {
const int FieldLeft = 80;
const int FieldWidth = 272;
const int LabelLeft = 16;

TComboBox* ListOf(TSearchForm* Form, int Top, std::initializer_list<const char*> Items) {
    auto* combo = new TComboBox(Form, Form, FieldLeft, Top, FieldWidth, 220);
    for (const char* item : Items)
        combo->AddItem(item);
    return combo;
}

// A field's caption, on its left and level with the field's text.
TLabel* CaptionOf(TSearchForm* Form, int FieldTop, const char* Caption) {
    return new TLabel(Form, Form, LabelLeft, FieldTop + 4, Caption);
}
}  // namespace

TSearchForm::TSearchForm(TComponent* AOwner) : TForm(AOwner) {
    SetFont(GetFont("Tahoma", 8));
    SetCaption("Search for Software...");
    // A dialog's frame: nothing to minimise while the rest of the program waits for it.
    SetWindowLongA(FHandle, GWL_STYLE,
                   GetWindowLongA(FHandle, GWL_STYLE) & ~(WS_MINIMIZEBOX | WS_MAXIMIZEBOX));
    SetWindowPos(FHandle, nullptr, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
    SetClientSizeAt(346, 298, 368, 225);

    Label1 = new TLabel(this, this, 8, 8, "Search");
    Label1->SetFont(GetFont("Tahoma", 8, true));
    Label1->AutoSize();
    lbPhrase = CaptionOf(this, 28, "Phrase");
    edPhrase = new TEdit(this, this, FieldLeft, 28, FieldWidth);
    cbPhrase = ListOf(this, 54, {"ANY word", "EXACT mach of ANY word", "EXACT match of ENTIRE phrase"});
    Label2 = CaptionOf(this, 88, "Type");
    cbTypes =
        ListOf(this, 88, {"All types", "Freeware", "Shareware", "Adware", "Demo", "Commercial", "Data only"});
    Label3 = CaptionOf(this, 114, "File size");
    cbFileSize = ListOf(this, 114,
                        {"Any", "Less than 50KB", "Less than 100KB", "Less than 250KB", "Less than 500KB",
                         "Less than 1MB", "Less than 5MB", "Less than 15MB", "Less than 25MB",
                         "Less than 50MB", "Less than 100MB", "Less than 200MB"});
    OS = CaptionOf(this, 140, "OS");
    cbOperatingSystem = ListOf(this, 140,
                               {"Any", "Windows 3.x", "Windows 95", "Windows 98", "Windows ME",
                                "Windows NT 3.x", "Windows NT 4.x", "Windows 2000", "Windows XP"});
    Bevel1 = new TBevel(this, this, 8, 178, 352, 2, bsTopLine);
    Button1 = new TButton(this, this, 200, 190, 75, 25, "Search", true, IDOK);
    Button1->ModalResult = mrOk;
    Button2 = new TButton(this, this, 285, 190, 75, 25, "Cancel", false, IDCANCEL);
    Button2->ModalResult = mrCancel;
    FormCreate();
}

TSearchForm::~TSearchForm() {
    BeginDestroy();
    if (SearchForm == this) SearchForm = nullptr;
}

void TSearchForm::FormCreate() {
    for (TComboBox* combo : {cbPhrase, cbTypes, cbFileSize, cbOperatingSystem})
        combo->SetItemIndex(0);
}
