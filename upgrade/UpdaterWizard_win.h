#pragma once
// The wizard that shows an update's download: which file comes from where, how far it and
// the whole update are, and at the end that the update is complete. The download sequence
// drives it through the Show* calls and hears back through OnAbort and OnClosed. Only one
// is up at a time; closing frees it.
#include <windows.h>

#include <string>

#include "base/Events.h"
#include "ui/Forms_win.h"
#include "ui/StdCtrls_win.h"

struct TUpdaterWizardOptions {
    // Leaves out where the files come from, and closes up the space.
    bool HideFileLocation = false;
    bool StayOnTop = true;
    // The left panel's picture, stretched to it; null draws the built-in one. Not taken over.
    HBITMAP Picture = nullptr;
};

class TShadowLabel;

class TUpdaterWizardForm : public TForm {
public:
    // The wizard that is up, or null.
    static TUpdaterWizardForm* Instance();
    // Shows the wizard, made with Options when none is up (else the one up, unchanged).
    static TUpdaterWizardForm* Open(const TUpdaterWizardOptions& Options);
    // Closes the wizard that is up, without asking (the update stops).
    static void CloseInstance();

    // The file being downloaded: its address, and its number (from 0) of Count.
    void ShowFile(const std::string& URL, int Index, int Count);
    void ShowFileSize(long long Bytes);
    void ShowProgress(int Percent, int TotalPercent, double RateKbs, int SecondsLeft);
    // The completion page: Finish (as OK) closes the wizard.
    void ShowCompletion();
    bool Completed() const { return FCompleted; }

    // The user said Yes to abandoning the update; OnClosed follows.
    TNotifyEvent OnAbort;
    // The wizard closed, whichever way; it is freed soon after and is no longer Instance().
    TNotifyEvent OnClosed;

    TImage* Image1;
    TLabel* WizardTitle;
    TLabel* AfterNote;
    TGroupBox* LCurrentFile;
    TLabel* LDownloadingFileFrom;
    TEdit* FileURL;
    TLabel* LFileSize;
    TLabel* LTransferRate;
    TLabel* LEstimatedTime;
    TProgressBar* ProgressCurrentFile;
    TGroupBox* LAllFiles;
    TLabel* AllDownloading;
    TProgressBar* ProgressAllFiles;
    TBevel* Bevel1;
    TShadowLabel* AboutLabel;
    TButton* FinishBtn;
    TButton* CancelBtn;

protected:
    LRESULT WndProc(UINT Msg, WPARAM WParam, LPARAM LParam) override;

private:
    explicit TUpdaterWizardForm(const TUpdaterWizardOptions& Options);
    ~TUpdaterWizardForm() override;
    void HideFileLocation();
    void SetTitle(const std::string& Text);
    // The question before an unfinished update is abandoned; true on Yes.
    bool ConfirmAbort();
    // Hides and forgets the wizard, tells OnClosed and frees it once the current message is
    // handled (it may be one of its own); only the first call counts.
    void Close();

    TGdiObject<HFONT> FTitleFont;
    bool FCompleted = false;
    bool FClosing = false;
    bool FAsking = false;
};

// The program's own icon (the system's application icon where the program has none) on the
// dialog's face, Size pixels square. The caller owns the bitmap.
HBITMAP UpdaterIconBitmap(int Size);
// A Width x Height picture: Source stretched to it, or without one the built-in picture (a
// gradient with the program's icon). The caller owns the bitmap.
HBITMAP UpdaterPicture(HBITMAP Source, int Width, int Height);
