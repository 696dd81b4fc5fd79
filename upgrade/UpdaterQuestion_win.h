#pragma once
// The question a check asks when it found a newer version: "Yes" or "Later", top-most, in
// the language of the update's messages.
#include <string>

#include "ui/Forms_win.h"
#include "ui/StdCtrls_win.h"

class TUpdaterMessageForm : public TForm {
public:
    // Filled and sized for the application's title and the publisher's message.
    TUpdaterMessageForm(TComponent* AOwner, const std::string& Title, const std::string& UpgradeMsg);
    // Shows it modally; true only when answered "Yes".
    bool Ask();

    TLabel* Label1;
    TButton* YesBtn;
    TButton* LaterBtn;

protected:
    LRESULT WndProc(UINT Msg, WPARAM WParam, LPARAM LParam) override;

private:
    void StayOnTop();
};
