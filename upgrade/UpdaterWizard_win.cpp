#include "upgrade/UpdaterWizard_win.h"

#include <algorithm>
#include <utility>

#include "base/Dispatcher.h"
#include "base/StrUtils.h"
#include "ui/Graphics_win.h"
#include "upgrade/UpdaterMessage_win.h"

namespace {
TUpdaterWizardForm* gInstance = nullptr;

const int ClientWidth = 463;
const int ClientHeight = 281;

std::string GroupCaption(int Message) { return " " + UpdaterMessage(Message) + " "; }

std::string AppTitle() { return Application ? Application->Title() : std::string(); }

// What the user may not type in: read-only, borderless, out of the tab order, in the
// highlight colour on the form's face.
class TURLField : public TEdit {
public:
    TURLField(TComponent* AOwner, TWinControl* AParent, int Left, int Top, int Width)
        : TEdit(AOwner, AParent, Left, Top, Width, 16) {
        SetWindowLongA(FHandle, GWL_STYLE, GetWindowLongA(FHandle, GWL_STYLE) & ~WS_TABSTOP);
        SetWindowLongA(FHandle, GWL_EXSTYLE, GetWindowLongA(FHandle, GWL_EXSTYLE) & ~WS_EX_CLIENTEDGE);
        SetWindowPos(FHandle, nullptr, 0, 0, 0, 0,
                     SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
        SendMessageA(FHandle, EM_SETREADONLY, TRUE, 0);
    }
    HBRUSH DoCtlColor(HDC DC) override {
        SetTextColor(DC, GetSysColor(COLOR_HIGHLIGHT));
        SetBkColor(DC, GetSysColor(COLOR_BTNFACE));
        return GetSysColorBrush(COLOR_BTNFACE);
    }
};
}  // namespace

// The updater's name on the bevel: the text in the shadow colour over a copy in the
// highlight colour one pixel down and right, so it looks engraved. One window paints both,
// since two overlapping labels would each paint over the other.
class TShadowLabel : public TWinControl {
public:
    TShadowLabel(TComponent* AOwner, TWinControl* AParent, int Left, int Top, const std::string& Text)
        : TWinControl(AOwner, AParent) {
        SIZE size = {0, 0};
        {
            TWindowDC dc(AParent->Handle());
            TSelectObject font(dc.Get(), FFont ? FFont : GetStockObject(DEFAULT_GUI_FONT));
            GetTextExtentPoint32A(dc.Get(), Text.c_str(), static_cast<int>(Text.size()), &size);
        }
        THost host = AParent->ClientHost();
        CreateContainer(host.Window, WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS, 0, Text, Left + host.DX,
                        Top + host.DY, UnscalePixels(size.cx) + 1, UnscalePixels(size.cy) + 1);
    }

protected:
    LRESULT WndProc(UINT Msg, WPARAM WParam, LPARAM LParam) override {
        if (Msg != WM_PAINT) return TWinControl::WndProc(Msg, WParam, LParam);
        TPaintDC dc(FHandle);
        RECT r;
        GetClientRect(FHandle, &r);
        FillRect(dc.Get(), &r, GetSysColorBrush(COLOR_BTNFACE));
        TSelectObject font(dc.Get(), FFont ? FFont : GetStockObject(DEFAULT_GUI_FONT));
        SetBkMode(dc.Get(), TRANSPARENT);
        const std::string text = Caption();
        SetTextColor(dc.Get(), GetSysColor(COLOR_BTNHIGHLIGHT));
        TextOutA(dc.Get(), 1, 1, text.c_str(), static_cast<int>(text.size()));
        SetTextColor(dc.Get(), GetSysColor(COLOR_BTNSHADOW));
        TextOutA(dc.Get(), 0, 0, text.c_str(), static_cast<int>(text.size()));
        return 0;
    }
};

TUpdaterWizardForm* TUpdaterWizardForm::Instance() { return gInstance; }

TUpdaterWizardForm* TUpdaterWizardForm::Open(const TUpdaterWizardOptions& Options) {
    if (!gInstance) gInstance = new TUpdaterWizardForm(Options);
    gInstance->Show();
    return gInstance;
}

void TUpdaterWizardForm::CloseInstance() {
    if (gInstance) gInstance->Close();
}

// Owned by nobody: it frees itself when closed.
TUpdaterWizardForm::TUpdaterWizardForm(const TUpdaterWizardOptions& Options) : TForm(nullptr) {
    // Closing the main form would end the program; the wizard never stands for it.
    if (Application && Application->MainForm == this) Application->MainForm = nullptr;
    SetFont(GetFont("Tahoma", 8));
    // The group boxes paint only their frames: the form's face must show through inside them.
    SetWindowLongA(FHandle, GWL_STYLE,
                   GetWindowLongA(FHandle, GWL_STYLE) & ~(WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_CLIPCHILDREN));
    SetWindowPos(FHandle, nullptr, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
    SetClientSizeCentered(ClientWidth, ClientHeight);
    SetCaption(UpdaterMessage(umWizardCaption));

    // A lowered frame round the picture: the static edge takes one pixel on each side.
    Image1 = new TImage(this, this, 10, 10, 120, 220);
    SetWindowLongA(Image1->Handle(), GWL_EXSTYLE,
                   GetWindowLongA(Image1->Handle(), GWL_EXSTYLE) | WS_EX_STATICEDGE);
    SetWindowPos(Image1->Handle(), nullptr, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
    RECT inside;
    GetClientRect(Image1->Handle(), &inside);
    Image1->SetBitmap(UpdaterPicture(Options.Picture, inside.right, inside.bottom));

    WizardTitle = new TLabel(this, this, 136, 10, "");
    // One line always: an italic's last letter leans out past the width measured for it.
    SetWindowLongA(WizardTitle->Handle(), GWL_STYLE,
                   (GetWindowLongA(WizardTitle->Handle(), GWL_STYLE) & ~SS_TYPEMASK) | SS_LEFTNOWORDWRAP);
    SetTitle(UpdaterMessage(umDownloadingFiles));
    AfterNote = new TLabel(this, this, 136, 44, "", 319, 13);
    AfterNote->SetVisible(false);

    LCurrentFile = new TGroupBox(this, this, 136, 34, 319, 125, GroupCaption(umCurrentFile));
    LDownloadingFileFrom = new TLabel(this, LCurrentFile, 6, 14, UpdaterMessage(umDownloadingFrom));
    FileURL = new TURLField(this, LCurrentFile, 10, 28, 301);
    LFileSize = new TLabel(this, LCurrentFile, 6, 44, "", 307, 13);
    LTransferRate = new TLabel(this, LCurrentFile, 6, 60, "", 307, 13);
    LEstimatedTime = new TLabel(this, LCurrentFile, 6, 76, UpdaterMessage(umPreparing), 307, 13);
    ProgressCurrentFile = new TProgressBar(this, LCurrentFile, 6, 96, 307, 22);
    LCurrentFile->SendToBack();

    LAllFiles = new TGroupBox(this, this, 136, 162, 319, 67, GroupCaption(umAllFiles));
    AllDownloading = new TLabel(this, LAllFiles, 6, 16, "", 307, 13);
    ProgressAllFiles = new TProgressBar(this, LAllFiles, 6, 38, 307, 22);
    LAllFiles->SendToBack();

    Bevel1 = new TBevel(this, this, 10, 238, 447, 2, bsTopLine);
    AboutLabel = new TShadowLabel(this, this, 30, 233, " Pelorin Updater ");
    // The name interrupts the line: the bevel leaves out what lies beneath it.
    SetWindowLongA(Bevel1->Handle(), GWL_STYLE,
                   GetWindowLongA(Bevel1->Handle(), GWL_STYLE) | WS_CLIPSIBLINGS);
    SetWindowPos(AboutLabel->Handle(), HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);

    FinishBtn = new TButton(this, this, 296, 248, 75, 25, UpdaterMessage(umNext));
    FinishBtn->SetEnabled(false);
    FinishBtn->OnClick = [this](TObject*) { Close(); };
    CancelBtn = new TButton(this, this, 380, 248, 75, 25, UpdaterMessage(umCancel), true, IDCANCEL);
    CancelBtn->OnClick = [this](TObject*) { PostMessageA(FHandle, WM_SYSCOMMAND, SC_CLOSE, 0); };

    if (Options.HideFileLocation) HideFileLocation();
    if (Options.StayOnTop)
        SetWindowPos(FHandle, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

TUpdaterWizardForm::~TUpdaterWizardForm() {
    BeginDestroy();
    if (gInstance == this) gInstance = nullptr;
}

void TUpdaterWizardForm::HideFileLocation() {
    FileURL->SetVisible(false);
    LDownloadingFileFrom->SetVisible(false);
    // The group only frames its controls, which are placed relative to it: it moves first.
    LCurrentFile->SetBounds(LCurrentFile->Left(), LCurrentFile->Top() + 10, LCurrentFile->Width(),
                            LCurrentFile->Height() - 30);
    int top = LDownloadingFileFrom->Top();
    TWinControl* const lines[] = {LFileSize, LTransferRate, LEstimatedTime};
    for (TWinControl* c : lines) {
        c->SetBounds(c->Left(), top, c->Width(), c->Height());
        top += 16;
    }
    ProgressCurrentFile->SetBounds(ProgressCurrentFile->Left(), top + 4, ProgressCurrentFile->Width(),
                                   ProgressCurrentFile->Height());
}

void TUpdaterWizardForm::SetTitle(const std::string& Text) {
    WizardTitle->SetCaption(Text);
    // The title's font is 19 pixels high; a longer translation gets a smaller one rather
    // than running off the window.
    const int room = ClientWidth - WizardTitle->Left() - 8;
    const int lean = 4;
    for (int height = 19; height >= 11; --height) {
        TGdiObject<HFONT> font(CreateFontA(-ScalePixels(height), 0, 0, 0, FW_BOLD, TRUE, FALSE, FALSE,
                                           DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                                           DEFAULT_QUALITY, DEFAULT_PITCH | FF_ROMAN, "Times New Roman"));
        WizardTitle->SetFont(font.Get());
        FTitleFont = std::move(font);
        WizardTitle->AutoSize();
        if (WizardTitle->Width() + lean <= room) break;
    }
    WizardTitle->SetBounds(WizardTitle->Left(), WizardTitle->Top(), room, WizardTitle->Height());
}

void TUpdaterWizardForm::ShowFile(const std::string& URL, int Index, int Count) {
    FileURL->SetText(URL);
    AllDownloading->SetCaption(Format(UpdaterMessage(umDownloadingNofM).c_str(), Index + 1, Count));
}

void TUpdaterWizardForm::ShowFileSize(long long Bytes) {
    LFileSize->SetCaption(
        Format(UpdaterMessage(umFileSize).c_str(), static_cast<double>(std::max(Bytes, 0LL)) / 1024));
}

void TUpdaterWizardForm::ShowProgress(int Percent, int TotalPercent, double RateKbs, int SecondsLeft) {
    ProgressCurrentFile->SetPosition(std::clamp(Percent, 0, 100));
    ProgressAllFiles->SetPosition(std::clamp(TotalPercent, 0, 100));
    LTransferRate->SetCaption(Format(UpdaterMessage(umTransferRate).c_str(), RateKbs));
    const int t = std::max(SecondsLeft, 0);
    LEstimatedTime->SetCaption(Format(UpdaterMessage(umTimeLeft).c_str(), t / 3600, (t / 60) % 60, t % 60));
}

void TUpdaterWizardForm::ShowCompletion() {
    FCompleted = true;
    SetTitle(UpdaterMessage(umUpgradeCompleted));
    AfterNote->SetCaption(Format(UpdaterMessage(umUpdateDone).c_str(), AppTitle().c_str()));
    AfterNote->AutoHeight();
    AfterNote->SetVisible(true);
    LCurrentFile->SetVisible(false);
    LAllFiles->SetVisible(false);
    // The groups only frame their controls: those are hidden one by one.
    TWinControl* const inGroups[] = {LDownloadingFileFrom, FileURL,         LFileSize,
                                     LTransferRate,        LEstimatedTime,  ProgressCurrentFile,
                                     AllDownloading,       ProgressAllFiles};
    for (TWinControl* c : inGroups)
        c->SetVisible(false);
    CancelBtn->SetEnabled(false);
    SendMessageA(CancelBtn->Handle(), BM_SETSTYLE, BS_PUSHBUTTON, TRUE);
    FinishBtn->SetCaption(UpdaterMessage(umOK));
    FinishBtn->SetEnabled(true);
    SendMessageA(FinishBtn->Handle(), BM_SETSTYLE, BS_DEFPUSHBUTTON, TRUE);
    SetFocus(FinishBtn->Handle());
}

bool TUpdaterWizardForm::ConfirmAbort() {
    return MessageBoxA(FHandle, UpdaterMessage(umAbortQuestion).c_str(), AppTitle().c_str(),
                       MB_YESNO | MB_ICONQUESTION) == IDYES;
}

void TUpdaterWizardForm::Close() {
    if (FClosing) return;
    FClosing = true;
    if (gInstance == this) gInstance = nullptr;
    Hide();
    Raise(OnClosed, this);
    // While the question is up this object is still on the stack beneath it: it goes once
    // the question is answered.
    if (!FAsking) Dispatcher().Post([this] { delete this; });
}

LRESULT TUpdaterWizardForm::WndProc(UINT Msg, WPARAM WParam, LPARAM LParam) {
    if (Msg == WM_SYSCOMMAND && (WParam & 0xFFF0) == SC_CLOSE) {
        // A finished update has nothing left to abandon: closing is the same as OK.
        if (FCompleted) {
            Close();
        } else if (!FClosing && !FAsking) {
            FAsking = true;
            const bool abort = ConfirmAbort();
            FAsking = false;
            // Stopped meanwhile (by the download's own failure): there is nothing left to abort.
            if (FClosing)
                Dispatcher().Post([this] { delete this; });
            else if (abort) {
                Raise(OnAbort, this);
                Close();
            }
        }
        return 0;
    }
    return TForm::WndProc(Msg, WParam, LParam);
}

// ---------------------------------------------------------------------------------------

namespace {
HICON ProgramIcon() {
    HICON icon = LoadIconA(GetModuleHandleA(nullptr), "MAINICON");
    return icon ? icon : LoadIconA(nullptr, IDI_APPLICATION);
}
}  // namespace

namespace {
// A 24-bit picture: a 32-bit one would carry an empty alpha channel, and the visual-styles
// static control blends by it, showing nothing but what was drawn with alpha (the icon).
HBITMAP OpaqueBitmap(HDC Screen, int Width, int Height) {
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = Width;
    info.bmiHeader.biHeight = -Height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    void* bits = nullptr;
    return CreateDIBSection(Screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
}
}  // namespace

HBITMAP UpdaterIconBitmap(int Size) {
    TWindowDC screen(nullptr);
    HBITMAP picture = OpaqueBitmap(screen.Get(), Size, Size);
    if (!picture) return nullptr;
    TMemoryDC dc(screen.Get());
    TSelectObject into(dc.Get(), picture);
    RECT r = {0, 0, Size, Size};
    FillRect(dc.Get(), &r, GetSysColorBrush(COLOR_BTNFACE));
    DrawIconEx(dc.Get(), 0, 0, ProgramIcon(), Size, Size, 0, nullptr, DI_NORMAL);
    return picture;
}

HBITMAP UpdaterPicture(HBITMAP Source, int Width, int Height) {
    TWindowDC screen(nullptr);
    HBITMAP picture = OpaqueBitmap(screen.Get(), Width, Height);
    if (!picture) return nullptr;
    TMemoryDC dc(screen.Get());
    TSelectObject into(dc.Get(), picture);
    BITMAP source = {};
    if (Source && GetObjectA(Source, sizeof(source), &source)) {
        TMemoryDC from(screen.Get());
        TSelectObject take(from.Get(), Source);
        SetStretchBltMode(dc.Get(), HALFTONE);
        StretchBlt(dc.Get(), 0, 0, Width, Height, from.Get(), 0, 0, source.bmWidth, source.bmHeight, SRCCOPY);
        return picture;
    }
    // Deep blue at the top fading to a lighter one at the bottom, a pale disc behind the
    // icon, and a downward arrow beneath it.
    for (int y = 0; y < Height; ++y) {
        const int f = Height > 1 ? y * 255 / (Height - 1) : 0;
        TGdiObject<HBRUSH> line(
            CreateSolidBrush(RGB(10 + f * 60 / 255, 40 + f * 100 / 255, 110 + f * 110 / 255)));
        RECT r = {0, y, Width, y + 1};
        FillRect(dc.Get(), &r, line.Get());
    }
    const int icon = std::min(48, Width - 8);
    const int cx = Width / 2, cy = Height / 3;
    {
        TGdiObject<HBRUSH> disc(CreateSolidBrush(RGB(200, 220, 245)));
        TSelectObject brush(dc.Get(), disc.Get());
        TSelectObject pen(dc.Get(), GetStockObject(NULL_PEN));
        const int radius = icon * 3 / 4;
        Ellipse(dc.Get(), cx - radius, cy - radius, cx + radius, cy + radius);
        const int top = cy + radius + icon / 3, half = icon / 3;
        POINT arrow[] = {{cx - half / 2, top},       {cx + half / 2, top}, {cx + half / 2, top + half},
                         {cx + half, top + half},    {cx, top + half * 2}, {cx - half, top + half},
                         {cx - half / 2, top + half}};
        Polygon(dc.Get(), arrow, static_cast<int>(sizeof(arrow) / sizeof(arrow[0])));
    }
    DrawIconEx(dc.Get(), cx - icon / 2, cy - icon / 2, ProgramIcon(), icon, icon, 0, nullptr, DI_NORMAL);
    return picture;
}
