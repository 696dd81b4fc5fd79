#pragma once
// The options form: the one form of the program. It is the options dialog the user sees
// and the owner of every working part: the tray icon and its menu, the timers and the
// image lists. It starts hidden; the tray icon is the program's only presence.
#include <memory>
#include <string>
#include <vector>

#include "app/News.h"
#include "app/QuietRefresh_win.h"
#include "app/Search_win.h"
#include "app/SeenItems.h"
#include "app/Settings.h"
#include "app/verslab_win.h"
#include "base/Streams.h"
#include "feed/jsRSSParser.h"
#include "htmlpopup/HTMLPopup_win.h"
#include "http/HttpCli.h"
#include "tray/TrayIcon_win.h"
#include "treecombo/CategoryTree.h"
#include "treecombo/TreeComboBox_win.h"
#include "ui/ExtCtrls_win.h"
#include "ui/Forms_win.h"
#include "ui/ImgList_win.h"
#include "ui/Menus_win.h"
#include "ui/StdCtrls_win.h"
#include "upgrade/Updater_win.h"

class TOptionsForm : public TForm {
public:
    explicit TOptionsForm(TComponent* AOwner);
    ~TOptionsForm() override;

    // Layout, in creation order.
    TPageControl* pcOptions;
    TTabSheet* TabSheet1;
    TTabSheet* TabSheet2;
    TTabSheet* TabSheet3;
    TGroupBox* gbNews;
    // The category picker: the catalogue's tree in a drop-down.
    TTreeComboBox* TreeCombo;
    TRadioButton* rbLastAdditions;
    TRadioButton* rbTop10;
    TGroupBox* gbPopup;
    TSpinEdit* seRefresh;
    TSpinEdit* seDuration;
    TCheckBox* chbLoadOnStartup;
    TCheckBox* chbOnlyNewItems;
    TLabel* lbProxyNote;
    TGroupBox* gbProxy;
    TCheckBox* chbUseProxy;
    TLabel* lbServer;
    TEdit* edProxServer;
    TLabel* lbPort;
    TEdit* edProxPort;
    TCheckBox* chbAuthenticate;
    TLabel* lbName;
    TEdit* edProxName;
    TLabel* lbPassword;
    TEdit* edProxPass;
    TLabel* lbProduct;
    TVersionLabel* lbVersion;
    TImage* imgLogo;
    TLabel* Label13;
    TButton* btnCheckUpdates;
    TButton* btnOk;
    TButton* btnCancel;

    // Components.
    TImageList* HeaderImages;
    TImageList* ImageList1;
    TTimer* Timer;
    TTimer* Timer1;
    TPopupMenu* pmTray;
    TMenuItem* miOptions;
    TMenuItem* miShowLatestPopup;
    TMenuItem* miCheckUpgrade;
    TMenuItem* miExit;
    TMenuItem* N1;
    TMenuItem* miSearch;
    TMenuItem* miCheckforNews;
    TTrayIcon* ctIcon;
    THTMLPopup* HTMLPopup1;
    // ImageList1 as the popup draws it; the list stays ImageList1's.
    TGDIImageList* PopupImages;
    TjsRSSParser* RSS;
    THttpCli* HttpCli1;
    // The self-update: "Check for Update" and "Check for New Version".
    TUpdater* Updater;
    // The timer's popups wait while the user is busy, its failures are told once, and the
    // refresh missed during sleep is tried after waking.
    std::unique_ptr<TQuietRefresh> Quiet;

    // Handlers.
    void FormCreate();
    void FormShow();
    void ctIconStartup(TObject* Sender, bool& ShowMainForm);
    void miOptionsClick(TObject* Sender);
    void miExitClick(TObject* Sender);
    void btnOkClick(TObject* Sender);
    void btnCancelClick(TObject* Sender);
    void chbUseProxyClick(TObject* Sender);
    void Label13Click(TObject* Sender);
    void Timer1Timer(TObject* Sender);
    void miCheckforNewsClick(TObject* Sender);
    void RSSFoundItem(TObject* Sender, const TItemInfo& Item);
    void HTMLPopup1AnchorClick(TObject* Sender, const std::string& Anchor);
    void miShowLatestPopupClick(TObject* Sender);
    void TimerTimer(TObject* Sender);

    void miSearchClick(TObject* Sender);
    // Checks for a newer version, through the proxy of the options when "Use Proxy" is on.
    void btnCheckUpdatesClick(TObject* Sender);
    void UpdaterProxyAuthenticationRequest(TObject* Sender, std::string& ProxyUsername,
                                           std::string& ProxyPassword, bool& TryAgain);

    // Downloads the news of the chosen category and type and rolls them up.
    void RefreshNews(TRefreshCause Cause = TRefreshCause::Manual);
    // The query of the open search dialog, kept until the next search.
    void ReadSearchQuery(const TSearchForm& Dialog);
    std::unique_ptr<TSearchData> SearchData;

    void LoadSettings();
    // Writes the file and sets the timers, then the Run value; throws when either fails.
    void SaveSettings();
    // Throws, naming the value and the key, when the Run value cannot be written or, when
    // present, cannot be removed.
    void SetRunAtStartup(bool Enable);
    // The controls' values as settings; the category ID is left out when none is chosen.
    TSettings ControlsToSettings() const;
    // The category of the picker's selected node, or null when none is selected.
    const TNodeData* SelectedCategory() const;

    // Where the settings and the catalogue live; beside the executable unless a test says
    // otherwise.
    std::string SettingsFile;
    std::string CategoriesFile;
    // Where the last downloaded feed is kept: data.txt in the current folder, or in a
    // folder of the program's own under the temporary folder when that one is read-only.
    std::string DataFile;
    // "Show only new items": the file of the items shown, beside the settings.
    std::string SeenItemsFile() const;

private:
    void CreateLayout();
    void CreateComponents();
    void StartAnimation();
    void StopAnimation();
    // One download through HttpCli1 into the data file, then its popup: the news refresh and
    // the search differ only in the address and in when the proxy credentials go. A request
    // while another download runs is skipped; an HTTP failure shows the failure popup, but
    // a timer's popup may wait while the user is busy and its failures are told once (Quiet).
    // True when a feed arrived and its popup is up or held.
    bool DownloadAndShow(const std::string& URL, TFeedKind Kind, TRefreshCause Cause = TRefreshCause::Manual);
    // Creates the data file, falling back to the program's temporary folder.
    std::unique_ptr<TFileStream> CreateDataFile();
    void ShowPopup(const std::vector<std::string>& Lines);
    // "Show only new items". A timer refresh of the news asks whether the feed changed since
    // the last one listed whole; a manual check or a search always asks for all of it.
    double ModifiedSinceFor(const std::string& URL, TFeedKind Kind, TRefreshCause Cause) const;
    // The store of items shown, for the news with the option on; null otherwise.
    TSeenItems* SeenItemsFor(TFeedKind Kind);
    // Remembers the response's date for the next timer refresh. When the screen cut items
    // off, the date is forgotten, so that the next refresh gets them.
    void MarkListed(const std::string& URL, const std::vector<TFeedItem>& Items, size_t Listed,
                    double LastModified);
    // The items of the popup just shown are seen now: a popup held while the user is busy
    // counts only once it shows.
    void MarkShown();
    // A refresh that shows nothing leaves an earlier popup to roll down as it would have.
    void ShowNothing();
    void CreateQuiet();
    // A refresh's popup, through Quiet: one held or not shown leaves the popup timer running
    // for a popup still up.
    // Listed: the news items the popup lists, marked seen when it shows.
    void PresentPopup(TRefreshCause Cause, const std::vector<std::string>& Lines,
                      std::vector<TFeedItem> Listed = {});
    TDownloadCycle FDownload;
    std::vector<TFeedItem> FItems;
    std::unique_ptr<TSeenItems> FSeenItems;
    std::string FLastModifiedURL;
    double FLastModified = 0;
    // The items of the latest popup not shown yet (held while the user is busy).
    std::vector<TFeedItem> FUnshownItems;
    // The items of the last news feed read whole: a 304 keeps the count of the feed it confirms.
    int FFeedItems = 0;
    // What the category tree's nodes carry: the form's, freed on every rebuild.
    TNodeDataList FNodeData;
};

extern TOptionsForm* OptionsForm;
