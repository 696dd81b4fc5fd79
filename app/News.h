#pragma once
// The notifier's work without any window: the addresses it fetches, the popup text it
// composes from a feed, what a click on a popup link may do, and the one-download-at-a-time
// rule. The options form only wires these to its timer, client, parser and popup.
#include <functional>
#include <string>
#include <vector>

#include "app/Settings.h"
#include "feed/jsRSSParser.h"
#include "treecombo/CategoryTree.h"

// Deployment values, all held here.
extern const char* const CatalogueHost;    // the news feed and the footer links
extern const char* const SearchHost;       // the search feed
extern const char* const MakerWebAddress;  // shown on the "About" tab, without scheme
extern const char* const UpdateInfoHost;   // the self-update's information file
extern const char* const DownloadHost;     // the self-update's files
// The self-update's information file and the file it replaces the program with. Each
// architecture has its own folder on the sites, holding a file of the same name, so that an
// update keeps a 64-bit install 64-bit; the 32-bit build keeps the original addresses.
std::string UpgradeInfoURL(bool Win64);
std::string UpgradeFileURL(bool Win64);
// The partner code sent with every news request, joined from its two parts.
std::string PartnerCode();

// With no category selected, the refresh asks for all categories rather than failing.
std::string NewsFeedURL(const std::string& CategoryID, bool Top10);

// What the download client is told about the proxy. Without "Use Proxy" the request goes
// direct, on port 80 whatever the port box holds. The news sends the name and password
// whenever "Authenticate" is checked; the search only when the proxy is used as well.
struct TClientProxy {
    std::string Proxy;
    std::string ProxyPort;
    std::string ProxyUsername;
    std::string ProxyPassword;
};
enum class TFeedKind { News, Search };
TClientProxy ClientProxy(const TSettings& Controls, TFeedKind Kind);

// The five query values of one search, as the search dialog gives them.
struct TSearchData {
    std::string SrchType;
    std::string TypeIndex;
    std::string FileSize;
    std::string OSCode;
    std::string Terms;
};
// Fills the values from the selected indexes of the dialog's four combo boxes (-1: none).
TSearchData SearchDataFromIndexes(int PhraseIndex, int TypeIndex, int FileSizeIndex, int OSIndex,
                                  const std::string& Terms);
// The phrase is percent-encoded, so that its blanks, "&" and "#" stay inside "terms".
std::string SearchFeedURL(const TSearchData& Data);
std::string PercentEncode(const std::string& Text);

// Popup text, line by line.
std::string PopupHeaderLine();
std::string ChannelTitleLine(const std::string& ChannelTitle);
// Empty when the item has neither a display title nor a link: such an item is not shown.
std::string ItemLine(const TItemInfo& Item);
// From the separator after the items to the closing line.
std::vector<std::string> PopupClosingLines();
// The whole popup of a successful download: header, channel title, items, closing lines.
std::vector<std::string> NewsPopupLines(const std::string& ChannelTitle,
                                        const std::vector<std::string>& ItemLines);
// Says whether a popup text fits on the screen.
using TPopupFits = std::function<bool(const std::vector<std::string>& Lines)>;
// The same, keeping only the first items that fit, followed by a line saying how many more
// there are; the header and the footer always stay. Listed, when given, is set to how many
// of the non-empty item lines the popup lists.
std::vector<std::string> NewsPopupLines(const std::string& ChannelTitle,
                                        const std::vector<std::string>& ItemLines, const TPopupFits& Fits,
                                        size_t* Listed = nullptr);
std::string MoreItemsLine(int Count);
// The popup of a failed download, with the "settings" link to the connection page.
std::vector<std::string> FailurePopupLines(int StatusCode, const std::string& ReasonPhrase);

// The Last-Modified date among a response's header lines, in the form the client's
// ModifiedSince takes (UTC days since 1899-12-30); 0 when there is none or it is no date.
double LastModifiedOf(const TStringList& Header);

// What started a news refresh: the refresh timer, or the user ("Check for News...").
// Only timer refreshes may be held back or kept quiet; the user's own always show.
enum class TRefreshCause { Manual, Timer };

// What a click on a popup link does. Feed content is untrusted: only web addresses reach the
// shell; other schemes, paths and share names would run or open local things.
enum class TAnchorAction { Close, Settings, OpenInBrowser, Ignore };
TAnchorAction AnchorAction(const std::string& Anchor);

// One download at a time. The blocking download pumps messages, so a timer tick or a menu
// command can arrive while it runs; such a request is skipped, not shown as a failure.
class TDownloadCycle {
public:
    bool Busy() const { return FBusy; }

    // Holds the cycle for one download; Started() is false when another one was running.
    class TScope {
    public:
        explicit TScope(TDownloadCycle& Cycle) : FCycle(Cycle), FStarted(!Cycle.FBusy) {
            FCycle.FBusy = true;
        }
        ~TScope() {
            if (FStarted) FCycle.FBusy = false;
        }
        TScope(const TScope&) = delete;
        TScope& operator=(const TScope&) = delete;
        bool Started() const { return FStarted; }

    private:
        TDownloadCycle& FCycle;
        bool FStarted;
    };

private:
    bool FBusy = false;
};
