#include "app/Main_win.h"

#include <shellapi.h>

#include <algorithm>

#include "app/SeenItems_win.h"
#include "base/StrUtils.h"
#include "http/HttpCli_win.h"
#include "ui/IniFiles_win.h"
#include "ui/Jpeg_win.h"
#include "ui/MessagePump_win.h"
#include "ui/Registry_win.h"

TOptionsForm* OptionsForm = nullptr;

namespace {
HFONT NormalFont() { return GetFont("Tahoma", 8); }
HFONT BoldFont() { return GetFont("Tahoma", 8, true); }

// Sizes a label to its text in its own font. Bold digits are drawn a little wider than
// they measure; they get room.
void FitToBoldText(TLabel* Label) {
    Label->AutoSize();
    Label->SetBounds(Label->Left(), Label->Top(), Label->Width() + 4, Label->Height());
}

// A label placed right after another one on the same line.
TLabel* LabelAfter(TComponent* Owner, TWinControl* Parent, TLabel* Before, const std::string& Caption,
                   HFONT Font = nullptr) {
    auto* label = new TLabel(Owner, Parent, Before->Left() + Before->Width(), Before->Top(), Caption);
    if (Font) {
        label->SetFont(Font);
        FitToBoldText(label);
    }
    return label;
}

int RightOf(TWinControl* Control, int Gap) { return Control->Left() + Control->Width() + Gap; }

TLabel* BoldLabel(TComponent* Owner, TWinControl* Parent, int Left, int Top, const std::string& Caption,
                  HFONT Font) {
    auto* label = new TLabel(Owner, Parent, Left, Top, Caption);
    label->SetFont(Font);
    label->AutoSize();
    return label;
}
}  // namespace

TOptionsForm::TOptionsForm(TComponent* AOwner) : TForm(AOwner) {
    SettingsFile = ExeDirectory() + SettingsFileName;
    CategoriesFile = ExeDirectory() + CategoriesFileName;
    DataFile = "data.txt";
    SetFont(NormalFont());
    SetCaption("Options");
    SetClientSizeCentered(407, 316);
    CreateComponents();
    CreateLayout();
    // The running version, as the "About" tab shows it, is what a check compares.
    Updater->VersionNumber = lbVersion->InfoString();
    // Everything exists: the tray icon takes its start-up decision, then the form loads.
    ctIcon->Loaded();
    FormCreate();
    Updater->AfterLoaded();
}

TOptionsForm::~TOptionsForm() {
    BeginDestroy();
    if (OptionsForm == this) OptionsForm = nullptr;
}

void TOptionsForm::CreateComponents() {
    HeaderImages = new TImageList(this);
    for (int i = 0; i < 4; ++i)
        HeaderImages->AddResourceIcon("HDR" + std::to_string(i));
    ImageList1 = new TImageList(this);
    for (int i = 0; i < 12; ++i)
        ImageList1->AddResourceIcon((i < 10 ? "IMG0" : "IMG") + std::to_string(i));

    Timer = new TTimer(this, 5000, false);
    Timer1 = new TTimer(this, 1000, true);

    pmTray = new TPopupMenu(this);
    pmTray->SetImages(ImageList1);
    miOptions = new TMenuItem(this, "Options", 7);
    miShowLatestPopup = new TMenuItem(this, "Show Latest Popup");
    miShowLatestPopup->Enabled = false;
    miCheckUpgrade = new TMenuItem(this, "Check for New Version");
    miExit = new TMenuItem(this, "Exit");
    N1 = new TMenuItem(this, "-");
    miSearch = new TMenuItem(this, "Search for Software...", 11);
    miCheckforNews = new TMenuItem(this, "Check for News...", 6);
    for (TMenuItem* item :
         {miOptions, miShowLatestPopup, miCheckUpgrade, miExit, N1, miSearch, miCheckforNews})
        pmTray->Add(item);
    miOptions->OnClick = [this](TObject* s) { miOptionsClick(s); };
    miExit->OnClick = [this](TObject* s) { miExitClick(s); };

    ctIcon = new TTrayIcon(this);
    ctIcon->SetIconList(HeaderImages);
    ctIcon->SetCycleInterval(150);
    ctIcon->SetIconVisible(true);
    ctIcon->SetIconIndex(0);
    ctIcon->SetPopupMenu(pmTray);
    ctIcon->MinimizeToTray = true;
    ctIcon->OnDblClick = [this](TObject* s) { miOptionsClick(s); };
    ctIcon->OnStartup = [this](TObject* s, bool& show) { ctIconStartup(s, show); };

    Timer->OnTimer = [this](TObject* s) { TimerTimer(s); };
    Timer1->OnTimer = [this](TObject* s) { Timer1Timer(s); };
    miShowLatestPopup->OnClick = [this](TObject* s) { miShowLatestPopupClick(s); };
    miCheckforNews->OnClick = [this](TObject* s) { miCheckforNewsClick(s); };
    miSearch->OnClick = [this](TObject* s) { miSearchClick(s); };

    PopupImages = new TGDIImageList(this, ImageList1->Handle(), false);
    HTMLPopup1 = new THTMLPopup(this);
    HTMLPopup1->AlwaysOnTop = true;
    HTMLPopup1->AutoHide = false;
    HTMLPopup1->AutoSize = true;
    HTMLPopup1->BorderSize = 3;
    HTMLPopup1->Color = static_cast<TColor>(16776176);
    HTMLPopup1->Font = THTMLFont{"MS Sans Serif", 8, 0, clWindowText, 0};
    HTMLPopup1->Hover = false;
    HTMLPopup1->SetImages(PopupImages);
    HTMLPopup1->MarginX = 6;
    HTMLPopup1->MarginY = 4;
    HTMLPopup1->PopupWidth = 200;
    HTMLPopup1->PopupHeight = 200;
    HTMLPopup1->RollUpSpace = 10;
    HTMLPopup1->ShadeEnable = true;
    HTMLPopup1->ShadeStartColor = clWhite;
    HTMLPopup1->ShadeEndColor = static_cast<TColor>(16776176);
    HTMLPopup1->ShadeSteps = 40;
    HTMLPopup1->ShadeDirection = sdHorizontal;
    HTMLPopup1->Text.Assign(
        std::vector<std::string>{"<P align=\"right\"><A href=\"Close\">Close</A></P>", "<P align=\"left\">"});
    HTMLPopup1->OnAnchorClick = [this](TObject* s, const std::string& a) { HTMLPopup1AnchorClick(s, a); };

    RSS = new TjsRSSParser(this);
    RSS->OnFoundItem = [this](TObject* s, const TItemInfo& i) { RSSFoundItem(s, i); };

    HttpCli1 = NewHttpCli(this);
    HttpCli1->LocalAddr = "0.0.0.0";
    HttpCli1->Agent = "Mozilla/3.0 (compatible)";
    HttpCli1->Accept = "image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, */*";
    HttpCli1->NoCache = true;
    HttpCli1->ContentTypePost = "application/x-www-form-urlencoded";
    HttpCli1->SetMultiThreaded(false);
    HttpCli1->SetRequestVer("1.0");

    Updater = new TUpdater(this);
    const bool win64 = sizeof(void*) == 8;
    Updater->InfoFileURL = UpgradeInfoURL(win64);
    Updater->InfoFile.Files = {UpgradeFileURL(win64)};
    Updater->InfoFile.UpgradeMsg = "Many improvements and bugs fixed";
    Updater->VersionControl = byNumber;
    Updater->VersionDate = "08/02/2005";
    Updater->VersionNumber = "0.0.0.0";
    Updater->ShowMessages = AllUpdaterShowMessages;
    Updater->UseCache = false;
    Updater->Wizard.HideFileLocation = true;
    Updater->OnProxyAuthenticationRequest = [this](TObject* s, std::string& u, std::string& p, bool& t) {
        UpdaterProxyAuthenticationRequest(s, u, p, t);
    };
    miCheckUpgrade->OnClick = [this](TObject* s) { btnCheckUpdatesClick(s); };
    HttpCli1->FollowRelocation = true;
    HttpCli1->ProxyPort = "80";
    HttpCli1->NTLMVersion = httpNTLMv2WithTargetInfo;
    // A stalled, trickling or endless server ends in the failure popup, not in a refresh
    // that never ends.
    HttpCli1->IdleTimeout = 30000;
    HttpCli1->RequestTimeout = 60000;
    HttpCli1->MaxBodySize = 4 * 1024 * 1024;
    CreateQuiet();
}

// The status's tooltip must fit the tray's.
static_assert(HintLimit <= MaxHintLength, "the tooltip is longer than the tray holds");

void TOptionsForm::CreateQuiet() {
    Quiet = std::make_unique<TQuietRefresh>();
    Quiet->OnShow = [this](const std::vector<std::string>& Lines) {
        HTMLPopup1->Hide();
        ShowPopup(Lines);
        MarkShown();
    };
    Quiet->OnRefresh = [this] { RefreshNews(TRefreshCause::Timer); };
    Quiet->OnStatus = [this](const TRefreshStatus& Status) {
        ctIcon->SetHint(Status.Hint(Application ? Application->Title() : std::string()));
    };
    Quiet->RefreshInterval = [this] { return Timer1->Interval(); };
}

void TOptionsForm::CreateLayout() {
    HFONT bold = BoldFont();
    pcOptions = new TPageControl(this, this, 8, 8, 391, 265);
    TabSheet1 = new TTabSheet(this, pcOptions, "Settings");
    TabSheet2 = new TTabSheet(this, pcOptions, "Connection");
    TabSheet3 = new TTabSheet(this, pcOptions, "About");

    // "Settings": what news, how often, start with Windows.
    gbNews = new TGroupBox(this, TabSheet1, 8, 6, 367, 126, "News settings");
    BoldLabel(this, gbNews, 12, 24, "1.", bold);
    TLabel* select = new TLabel(this, gbNews, 28, 24, "Select Categrory");
    int comboLeft = std::max(130, select->Left() + select->Width() + 8);
    TreeCombo = new TTreeComboBox(this, gbNews, comboLeft, 20, 355 - comboLeft, 21);
    HFONT verdana = GetFont("Verdana", 8);
    TreeCombo->SetFont(verdana);
    TreeCombo->DropWidth = 330;
    TreeCombo->DropHeight = 150;
    TTreeView* tree = TreeCombo->Tree();
    tree->RightClickSelect = true;
    tree->SetRowSelect(true);
    tree->SetIndent(ScalePixels(19));
    tree->SetImages(ImageList1);
    tree->SetStateImages(ImageList1);
    tree->SetFont(verdana);
    tree->SetColors(RGB(0, 0, 0), GetSysColor(COLOR_INFOBK));
    tree->SetBorder(true);
    new TLabel(this, gbNews, 28, 46, "Double click on selected category in combobox");
    new TBevel(this, gbNews, 12, 66, 343, 2, bsTopLine);
    BoldLabel(this, gbNews, 12, 76, "2.", bold);
    new TLabel(this, gbNews, 28, 76, "Select Type of News");
    rbLastAdditions = new TRadioButton(this, gbNews, 28, 96, 140, 17, "Latest Additions");
    rbTop10 = new TRadioButton(this, gbNews, 190, 96, 140, 17, "Top 10 downloads");

    gbPopup = new TGroupBox(this, TabSheet1, 8, 140, 367, 56, "Popup options");
    // Each control follows the text before it, so a wider system font does not clip them.
    TLabel* refresh = new TLabel(this, gbPopup, 12, 26, "Refresh rate");
    seRefresh = new TSpinEdit(this, gbPopup, RightOf(refresh, 6), 22, 56, 21, RefreshRange, 30);
    TLabel* minutes = new TLabel(this, gbPopup, RightOf(seRefresh, 6), 26, "min.");
    TLabel* duration = new TLabel(this, gbPopup, std::max(194, RightOf(minutes, 16)), 26, "Popup duration");
    seDuration = new TSpinEdit(this, gbPopup, RightOf(duration, 6), 22, 56, 21, DurationRange, 30);
    new TLabel(this, gbPopup, RightOf(seDuration, 6), 26, "sec.");

    chbLoadOnStartup = new TCheckBox(this, TabSheet1, 14, 206, 180, 17, "Load on Windows start up");
    // In the column of "Top 10 downloads" above.
    chbOnlyNewItems = new TCheckBox(this, TabSheet1, 198, 206, 170, 17, "Show only new items");

    // "Connection": the proxy.
    lbProxyNote = new TLabel(this, TabSheet2, 12, 10,
                             "Use the direct connection whenever possible unless your ISP requires \r\n"
                             "that you use the proxy.");
    gbProxy = new TGroupBox(this, TabSheet2, 8, 50, 367, 150, "");
    chbUseProxy = new TCheckBox(this, TabSheet2, 18, 49, 76, 17, "Use Proxy");
    lbServer = new TLabel(this, gbProxy, 14, 30, "Server:");
    edProxServer = new TEdit(this, gbProxy, 76, 26, 180);
    lbPort = new TLabel(this, gbProxy, 270, 30, "Port:");
    edProxPort = new TEdit(this, gbProxy, 300, 26, 55);
    new TBevel(this, gbProxy, 14, 68, 341, 2, bsTopLine);
    chbAuthenticate = new TCheckBox(this, gbProxy, 14, 60, 86, 17, "Authenticate");
    lbName = new TLabel(this, gbProxy, 14, 90, "Name:");
    edProxName = new TEdit(this, gbProxy, 76, 86, 180);
    lbPassword = new TLabel(this, gbProxy, 14, 118, "Password:");
    edProxPass = new TEdit(this, gbProxy, 76, 114, 180);
    edProxPass->SetPasswordChar('*');
    chbUseProxy->OnClick = [this](TObject* s) { chbUseProxyClick(s); };

    // "About".
    lbProduct = BoldLabel(this, TabSheet3, 12, 12, "Pelorin ver. ", bold);
    lbVersion = new TVersionLabel(this, TabSheet3, lbProduct->Left() + lbProduct->Width(), lbProduct->Top());
    lbVersion->SetShowInfoPrefix(false);
    lbVersion->SetDateTimeFormat("M/d/yyyy");
    lbVersion->SetFont(bold);
    FitToBoldText(lbVersion);
    new TLabel(this, TabSheet3, 12, 32, "Stay informed about your favorite software articles...");
    new TBevel(this, TabSheet3, 12, 54, 359, 124, bsFrame);
    imgLogo = new TImage(this, TabSheet3, 22, 64, 96, 72);
    imgLogo->SetBitmap(LoadJpegResource("LOGO"));
    TLabel* created = new TLabel(this, TabSheet3, 132, 70, "Created by: ");
    LabelAfter(this, TabSheet3, created, "Varnoth", GetFont("Tahoma", 10, true));
    new TLabel(this, TabSheet3, 132, 94, "Released in 2026");
    TLabel* web = new TLabel(this, TabSheet3, 132, 118, "Web: ");
    Label13 = LabelAfter(this, TabSheet3, web, MakerWebAddress);
    Label13->SetLinkStyle(GetFont("Tahoma", 8, false, true));
    Label13->OnClick = [this](TObject* s) { Label13Click(s); };
    btnCheckUpdates = new TButton(this, TabSheet3, 12, 196, 110, 25, "Check for Update");
    btnCheckUpdates->OnClick = [this](TObject* s) { btnCheckUpdatesClick(s); };
    TLabel* sponsor = new TLabel(this, TabSheet3, 0, 202, "Sponsored by Quenlow");
    RECT page = pcOptions->PageRect();
    sponsor->SetBounds(page.right - page.left - 12 - sponsor->Width(), 202, sponsor->Width(),
                       sponsor->Height());

    btnOk = new TButton(this, this, 239, 283, 75, 25, "OK", true, IDOK);
    btnCancel = new TButton(this, this, 324, 283, 75, 25, "Cancel", false, IDCANCEL);
    btnOk->OnClick = [this](TObject* s) { btnOkClick(s); };
    btnCancel->OnClick = [this](TObject* s) { btnCancelClick(s); };

    // Frames go beneath the controls that sit on them.
    for (TGroupBox* gb : {gbNews, gbPopup, gbProxy})
        gb->SendToBack();
    OnShow = [this](TObject*) { FormShow(); };
    // The popup belongs to the form, so it never gets a taskbar button of its own.
    HTMLPopup1->OwnerWindow = Handle();
}

void TOptionsForm::ctIconStartup(TObject*, bool& ShowMainForm) { ShowMainForm = false; }

void TOptionsForm::FormCreate() {
    StopAnimation();
    FormShow();
}

void TOptionsForm::StartAnimation() {
    ctIcon->SetIconList(HeaderImages);
    ctIcon->SetCycleIcons(true);
}

void TOptionsForm::StopAnimation() {
    ctIcon->SetCycleIcons(false);
    ctIcon->SetIconList(nullptr);
    ImageList1->GetIcon(8, ctIcon->Icon());
}

void TOptionsForm::FormShow() {
    // Read again on every showing, so that an edited catalogue is seen the next time.
    TIniFile catalogue(CategoriesFile);
    BuildCategoryTree(catalogue, TreeCombo->Items(), FNodeData);
    LoadSettings();
}

void TOptionsForm::LoadSettings() {
    TIniFile ini(SettingsFile);
    TSettings s = ReadSettings(ini);
    rbLastAdditions->SetChecked(s.LastAdditions);
    rbTop10->SetChecked(s.Top10);
    seRefresh->SetValue(s.Refresh);
    seDuration->SetValue(s.Duration);
    Timer->SetInterval(PopupIntervalMs(seDuration->Value()));
    Timer1->SetInterval(RefreshIntervalMs(seRefresh->Value()));
    edProxServer->SetText(s.ProxyServer);
    edProxPort->SetText(s.ProxyPort);
    edProxName->SetText(s.ProxyName);
    edProxPass->SetText(s.ProxyPass);
    chbUseProxy->SetChecked(s.ProxyUse);
    gbProxy->SetEnabled(chbUseProxy->Checked());
    chbUseProxyClick(chbUseProxy);
    chbAuthenticate->SetChecked(s.ProxyAuth);
    chbOnlyNewItems->SetChecked(s.OnlyNewItems);
    // Of several nodes with the saved ID the last one is selected; with none, the picker
    // stays as it is.
    int saved = LastIndexOfCategory(TreeCombo->Items(), s.ID);
    if (saved >= 0) {
        TreeCombo->SetSelection(saved);
        TreeCombo->SetText(TreeCombo->Items().Item(saved)->Text());
    }
    TRegistry reg(HKEY_CURRENT_USER);
    if (reg.OpenKeyReadOnly(RunKeyPath)) {
        chbLoadOnStartup->SetChecked(reg.ValueExists(RunValueName));
        reg.CloseKey();
    }
}

TSettings TOptionsForm::ControlsToSettings() const {
    TSettings s;
    s.LastAdditions = rbLastAdditions->Checked();
    s.Top10 = rbTop10->Checked();
    const TNodeData* category = SelectedCategory();
    s.HasID = category != nullptr;
    if (category) s.ID = category->CategoryID;
    s.ProxyServer = edProxServer->Text();
    s.Refresh = seRefresh->Value();
    s.Duration = seDuration->Value();
    s.ProxyPort = edProxPort->Text();
    s.ProxyName = edProxName->Text();
    s.ProxyPass = edProxPass->Text();
    s.ProxyUse = chbUseProxy->Checked();
    s.ProxyAuth = chbAuthenticate->Checked();
    s.OnlyNewItems = chbOnlyNewItems->Checked();
    return s;
}

const TNodeData* TOptionsForm::SelectedCategory() const {
    return CategoryOf(TreeCombo->Items().Item(TreeCombo->Selection()));
}

void TOptionsForm::SaveSettings() {
    TIniFile ini(SettingsFile);
    WriteSettings(ini, ControlsToSettings());
    // The file is saved whole: its intervals are in force even when the Run key then refuses.
    Timer->SetInterval(PopupIntervalMs(seDuration->Value()));
    Timer1->SetInterval(RefreshIntervalMs(seRefresh->Value()));
    SetRunAtStartup(chbLoadOnStartup->Checked());
}

void TOptionsForm::SetRunAtStartup(bool Enable) {
    TRegistry reg(HKEY_CURRENT_USER);
    if (Enable) {
        if (reg.OpenKey(RunKeyPath, true) && reg.WriteString(RunValueName, RunCommandLine(ExeFileName())))
            return;
    } else {
        // With no key or no value there is nothing to remove.
        if (!reg.OpenKeyReadOnly(RunKeyPath) || !reg.ValueExists(RunValueName)) return;
        if (reg.OpenKey(RunKeyPath, false) && reg.DeleteValue(RunValueName)) return;
    }
    throw Exception(Format("Unable to %s the value \"%s\" %s HKEY_CURRENT_USER\\%s: %s",
                           Enable ? "write" : "delete", RunValueName, Enable ? "to" : "from", RunKeyPath,
                           reg.LastErrorText().c_str()));
}

void TOptionsForm::chbUseProxyClick(TObject*) {
    bool on = chbUseProxy->Checked();
    for (TWinControl* c :
         std::initializer_list<TWinControl*>{gbProxy, edProxServer, edProxPort, edProxName, edProxPass,
                                             chbAuthenticate, lbServer, lbPort, lbName, lbPassword})
        c->SetEnabled(on);
}

void TOptionsForm::miOptionsClick(TObject*) {
    ctIcon->ShowMainForm();
    pcOptions->SetActivePageIndex(0);
}

void TOptionsForm::miExitClick(TObject*) { Application->Terminate(); }

void TOptionsForm::btnOkClick(TObject*) {
    SaveSettings();
    ctIcon->HideMainForm();
}

void TOptionsForm::btnCancelClick(TObject*) { ctIcon->HideMainForm(); }

void TOptionsForm::Label13Click(TObject*) {
    ShellExecuteA(Handle(), "open", Label13->Caption().c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

void TOptionsForm::Timer1Timer(TObject*) {
    if (Quiet->TimerTick()) RefreshNews(TRefreshCause::Timer);
}

void TOptionsForm::miCheckforNewsClick(TObject*) { RefreshNews(); }

void TOptionsForm::RefreshNews(TRefreshCause Cause) {
    const TNodeData* category = SelectedCategory();
    const std::string url = NewsFeedURL(category ? category->CategoryID : std::string(), rbTop10->Checked());
    if (DownloadAndShow(url, TFeedKind::News, Cause)) miShowLatestPopup->Enabled = true;
}

void TOptionsForm::miSearchClick(TObject*) {
    if (FDownload.Busy()) return;
    // The tray menu stays usable while the dialog is up: one dialog at a time.
    if (SearchForm) {
        SetForegroundWindow(SearchForm->Handle());
        return;
    }
    std::unique_ptr<TSearchForm> dialog(new TSearchForm(this));
    SearchForm = dialog.get();
    if (dialog->ShowModal() != mrOk) return;
    ReadSearchQuery(*dialog);
    dialog.reset();
    // A search leaves "Show Latest Popup" as it was.
    DownloadAndShow(SearchFeedURL(*SearchData), TFeedKind::Search);
}

void TOptionsForm::btnCheckUpdatesClick(TObject*) {
    // The options' proxy goes along: without it a check through the proxy could reach
    // nobody, since the component knows no proxy of its own.
    if (chbUseProxy->Checked()) {
        Updater->Proxy.AccessType = atUseProxy;
        Updater->Proxy.ProxyServer = Trim(edProxServer->Text());
        Updater->Proxy.ProxyPort = StrToIntDef(Trim(edProxPort->Text()), 8080);
    } else {
        Updater->Proxy.AccessType = atDirect;
    }
    Updater->CheckUpdate();
}

void TOptionsForm::UpdaterProxyAuthenticationRequest(TObject*, std::string& ProxyUsername,
                                                     std::string& ProxyPassword, bool& TryAgain) {
    ProxyUsername = edProxName->Text();
    ProxyPassword = edProxPass->Text();
    TryAgain = true;
}

void TOptionsForm::ReadSearchQuery(const TSearchForm& Dialog) {
    SearchData = std::make_unique<TSearchData>(SearchDataFromIndexes(
        Dialog.cbPhrase->ItemIndex(), Dialog.cbTypes->ItemIndex(), Dialog.cbFileSize->ItemIndex(),
        Dialog.cbOperatingSystem->ItemIndex(), Dialog.edPhrase->Text()));
}

void TOptionsForm::RSSFoundItem(TObject*, const TItemInfo& Item) {
    std::string line = ItemLine(Item);
    if (!line.empty()) FItems.push_back({std::move(line), SeenKey(Item)});
}

std::unique_ptr<TFileStream> TOptionsForm::CreateDataFile() {
    try {
        return std::make_unique<TFileStream>(DataFile, fmCreate);
    } catch (const EStreamError&) {
        char temp[MAX_PATH + 1];
        DWORD n = GetTempPathA(sizeof(temp), temp);
        if (n == 0 || n > MAX_PATH) throw;
        std::string folder = std::string(temp) + "Pelorin";
        CreateDirectoryA(folder.c_str(), nullptr);
        DataFile = folder + "\\data.txt";
        return std::make_unique<TFileStream>(DataFile, fmCreate);
    }
}

bool TOptionsForm::DownloadAndShow(const std::string& URL, TFeedKind Kind, TRefreshCause Cause) {
    TDownloadCycle::TScope cycle(FDownload);
    if (!cycle.Started()) return false;
    Timer->SetEnabled(false);
    StartAnimation();
    // The icon rests again and the file is closed on every way out, failures included.
    struct TDownload {
        TOptionsForm* Form;
        std::unique_ptr<TFileStream> Stream;
        bool Running = true;
        void End() {
            if (!Running) return;
            Running = false;
            Form->StopAnimation();
            Form->HttpCli1->RcvdStream = nullptr;
            Stream.reset();
        }
        ~TDownload() { End(); }
    } download{this, nullptr};

    HttpCli1->URL = URL;
    HttpCli1->ModifiedSince = ModifiedSinceFor(URL, Kind, Cause);
    const TClientProxy proxy = ClientProxy(ControlsToSettings(), Kind);
    HttpCli1->Proxy = proxy.Proxy;
    HttpCli1->ProxyPort = proxy.ProxyPort;
    HttpCli1->ProxyUsername = proxy.ProxyUsername;
    HttpCli1->ProxyPassword = proxy.ProxyPassword;
    download.Stream = CreateDataFile();
    HttpCli1->RcvdStream = download.Stream.get();
    try {
        HttpCli1->Get();
    } catch (const EHttpException&) {
        // The program is on its way out: nothing more to show.
        if (QuitPending()) return false;
        // A search's failure is the user's own and always shows; the news keep the run.
        if (Kind == TFeedKind::News && !Quiet->Failed(Cause, HttpCli1->StatusCode, HttpCli1->ReasonPhrase)) {
            Timer->SetEnabled(true);
            return false;
        }
        PresentPopup(Cause, FailurePopupLines(HttpCli1->StatusCode, HttpCli1->ReasonPhrase));
        return false;
    }
    download.End();
    if (QuitPending()) return false;
    // Not modified since the news last listed whole: nothing new to show.
    if (HttpCli1->ModifiedSince != 0 && HttpCli1->StatusCode == 304) {
        Quiet->Succeeded(FFeedItems);
        ShowNothing();
        return false;
    }
    const double lastModified = HttpCli1->StatusCode / 100 == 2 ? LastModifiedOf(HttpCli1->RcvdHeader) : 0;

    TStringList lines;
    lines.SetText(LoadFileToString(DataFile));
    RSS->SetRSS(lines);
    FItems.clear();
    RSS->Parse();
    std::vector<TFeedItem> items;
    items.swap(FItems);
    if (Kind == TFeedKind::News) FFeedItems = static_cast<int>(items.size());
    TSeenItems* seen = SeenItemsFor(Kind);
    if (seen && Cause == TRefreshCause::Timer) {
        items = seen->Unseen(items);
        if (items.empty()) {
            MarkListed(URL, items, 0, lastModified);
            Quiet->Succeeded(FFeedItems);
            ShowNothing();
            return false;
        }
    }
    std::vector<std::string> itemLines;
    for (const auto& item : items)
        itemLines.push_back(item.Line);
    // As many items as the screen holds, header and footer always in view.
    size_t listed = 0;
    std::vector<std::string> popup = NewsPopupLines(
        RSS->Channel.Title, itemLines,
        [this](const std::vector<std::string>& Lines) {
            TStringList text;
            text.Assign(Lines);
            return HTMLPopup1->Fits(text);
        },
        &listed);
    std::vector<TFeedItem> shown;
    if (Kind == TFeedKind::News) {
        MarkListed(URL, items, listed, lastModified);
        if (seen) shown.assign(items.begin(), items.begin() + static_cast<std::ptrdiff_t>(listed));
        Quiet->Succeeded(FFeedItems);
    }
    PresentPopup(Cause, popup, std::move(shown));
    return true;
}

std::string TOptionsForm::SeenItemsFile() const {
    return SettingsFile.substr(0, SettingsFile.find_last_of("\\/") + 1) + SeenItemsFileName;
}

double TOptionsForm::ModifiedSinceFor(const std::string& URL, TFeedKind Kind, TRefreshCause Cause) const {
    const bool conditional =
        Kind == TFeedKind::News && Cause == TRefreshCause::Timer && chbOnlyNewItems->Checked();
    return conditional && URL == FLastModifiedURL ? FLastModified : 0;
}

TSeenItems* TOptionsForm::SeenItemsFor(TFeedKind Kind) {
    if (Kind != TFeedKind::News || !chbOnlyNewItems->Checked()) return nullptr;
    // Kept between refreshes, so that a file that cannot be written still serves this run.
    if (!FSeenItems || FSeenItems->FileName() != SeenItemsFile()) {
        FSeenItems = std::make_unique<TSeenItems>(SeenItemsFile(), ReplaceFileWriteThrough);
        FSeenItems->Load();
    }
    return FSeenItems.get();
}

void TOptionsForm::MarkListed(const std::string& URL, const std::vector<TFeedItem>& Items, size_t Listed,
                              double LastModified) {
    FLastModifiedURL = URL;
    FLastModified = Listed == Items.size() ? LastModified : 0;
}

void TOptionsForm::MarkShown() {
    std::vector<TFeedItem> shown;
    shown.swap(FUnshownItems);
    if (shown.empty() || !FSeenItems) return;
    try {
        FSeenItems->MarkShown(shown, shown.size());
    } catch (const EStreamError&) {
        // Not kept for the next start; this run still knows them. Nothing the user can act on
        // is worth a message on every refresh.
    }
}

void TOptionsForm::ShowNothing() {
    if (HTMLPopup1->Window() && IsWindowVisible(HTMLPopup1->Window()->Handle())) Timer->SetEnabled(true);
}

void TOptionsForm::PresentPopup(TRefreshCause Cause, const std::vector<std::string>& Lines,
                                std::vector<TFeedItem> Listed) {
    // A held news popup that this one replaces was never seen: its items stay unseen, and
    // without the date the next refresh gets the whole feed, so that they come again.
    if (!FUnshownItems.empty() && Listed.empty()) FLastModified = 0;
    FUnshownItems = std::move(Listed);
    if (!Quiet->Present(Cause, Lines)) Timer->SetEnabled(true);
}

void TOptionsForm::ShowPopup(const std::vector<std::string>& Lines) {
    HTMLPopup1->Text.Assign(Lines);
    HTMLPopup1->RollUp();
    Timer->SetEnabled(true);
}

void TOptionsForm::HTMLPopup1AnchorClick(TObject*, const std::string& Anchor) {
    Timer->SetEnabled(false);
    switch (AnchorAction(Anchor)) {
    case TAnchorAction::Settings:
        HTMLPopup1->Hide();
        ctIcon->ShowMainForm();
        pcOptions->SetActivePageIndex(1);
        break;
    case TAnchorAction::OpenInBrowser:
        ShellExecuteA(nullptr, "open", Anchor.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
        break;
    case TAnchorAction::Close:
    case TAnchorAction::Ignore:
        break;
    }
    HTMLPopup1->Hide();
}

void TOptionsForm::miShowLatestPopupClick(TObject*) {
    Timer->SetEnabled(false);
    // The user asks for the latest: a popup held while busy is it.
    std::vector<std::string> held;
    if (Quiet->TakeHeld(held)) HTMLPopup1->Text.Assign(held);
    HTMLPopup1->RollUp();
    MarkShown();
    Timer->SetEnabled(true);
}

void TOptionsForm::TimerTimer(TObject*) { HTMLPopup1->RollDown(); }
