#include "upgrade/UpdaterPassword_win.h"

#include "base/StrUtils.h"
#include "ui/Graphics_win.h"
#include "upgrade/UpdaterMessage_win.h"
#include "upgrade/UpdaterWizard_win.h"

namespace {
const int ClientWidth = 297;
const int TextTop = 5;
// What lies beneath the text: the two fields and the buttons.
const int BottomHeight = 98;

// The controls beneath the text, at their places in that bottom part.
struct TBottomPlace {
    TWinControl* Control;
    int Left, Top;
};
}  // namespace

TUpdaterPasswordForm::TUpdaterPasswordForm(TComponent* AOwner) : TForm(AOwner) {
    SetFont(GetFont("Tahoma", 8));
    SetWindowLongA(FHandle, GWL_STYLE,
                   GetWindowLongA(FHandle, GWL_STYLE) & ~(WS_MINIMIZEBOX | WS_MAXIMIZEBOX));
    SetWindowPos(FHandle, nullptr, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
    Icon = new TImage(this, this, 7, 5, 32, 32);
    Icon->SetBitmap(UpdaterIconBitmap(ScalePixels(32)));
    TextLabel = new TLabel(this, this, 45, TextTop, "", 246, 13);
    UsernameLab = new TLabel(this, this, 45, 0, "");
    PasswordLab = new TLabel(this, this, 45, 0, "");
    UsernameEdit = new TEdit(this, this, 122, 0, 157);
    PasswordEdit = new TEdit(this, this, 122, 0, 157);
    PasswordEdit->SetPasswordChar('*');
    OKBtn = new TButton(this, this, 114, 0, 75, 25, "", true, IDOK);
    OKBtn->ModalResult = mrOk;
    CancelBtn = new TButton(this, this, 204, 0, 75, 25, "", false, IDCANCEL);
    CancelBtn->ModalResult = mrCancel;
}

void TUpdaterPasswordForm::Arrange() {
    TextLabel->AutoHeight();
    const int bottom = TextLabel->Top() + TextLabel->Height();
    const TBottomPlace places[] = {{UsernameLab, 45, 14},   {PasswordLab, 45, 38}, {UsernameEdit, 122, 10},
                                   {PasswordEdit, 122, 34}, {OKBtn, 114, 68},      {CancelBtn, 204, 68}};
    for (const TBottomPlace& p : places)
        p.Control->SetBounds(p.Left, bottom + p.Top, p.Control->Width(), p.Control->Height());
    UsernameLab->AutoSize();
    PasswordLab->AutoSize();
    SetClientSizeCentered(ClientWidth, bottom + BottomHeight);
}

bool TUpdaterPasswordForm::Execute(const std::string& FileName, std::string& UserName,
                                   std::string& Password) {
    SetCaption(UpdaterMessage(umEnterPassword));
    TextLabel->SetCaption(Format(UpdaterMessage(umPasswordProtected).c_str(), FileName.c_str()));
    UsernameLab->SetCaption(UpdaterMessage(umUserName));
    PasswordLab->SetCaption(UpdaterMessage(umPassword));
    UsernameEdit->SetText(UserName);
    // The name offered is selected: typing replaces it, as in any dialog's first field.
    SendMessageA(UsernameEdit->Handle(), EM_SETSEL, 0, -1);
    PasswordEdit->SetText("");
    OKBtn->SetCaption(UpdaterMessage(umOK));
    CancelBtn->SetCaption(UpdaterMessage(umCancel));
    Arrange();
    const bool ok = ShowModal() == mrOk;
    if (ok) {
        UserName = UsernameEdit->Text();
        Password = PasswordEdit->Text();
    }
    // What was typed does not stay in the dialog.
    PasswordEdit->SetText("");
    return ok;
}
