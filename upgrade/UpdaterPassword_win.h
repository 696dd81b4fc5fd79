#pragma once
// The dialog that asks for a user name and password when the download server wants them
// for a file of the update.
#include <string>

#include "ui/Forms_win.h"
#include "ui/StdCtrls_win.h"

class TUpdaterPasswordForm : public TForm {
public:
    explicit TUpdaterPasswordForm(TComponent* AOwner);

    // Asks for FileName's user name (offered as given) and password (asked afresh) modally;
    // true on OK, with what was typed in the two. Cancel leaves them as they were.
    bool Execute(const std::string& FileName, std::string& UserName, std::string& Password);

    TImage* Icon;
    TLabel* TextLabel;
    TLabel* UsernameLab;
    TLabel* PasswordLab;
    TEdit* UsernameEdit;
    TEdit* PasswordEdit;
    TButton* OKBtn;
    TButton* CancelBtn;

private:
    // Puts the fields and buttons beneath the text, as tall as it wraps, and sizes the form.
    void Arrange();
};
