#include "app/News.h"

#include "base/StrUtils.h"
#include "upgrade/UpdateHTTP.h"

const char* const CatalogueHost = "www.quenlow.com";
const char* const SearchHost = "search.quenlow.com";
const char* const MakerWebAddress = "www.varnoth.net";
const char* const UpdateInfoHost = "www.varnoth.net";
const char* const DownloadHost = "download.varnoth.net";

// The catalogue issues the code as a letter prefix and a number.
std::string UpgradeInfoURL(bool Win64) {
    return std::string("http://") + UpdateInfoHost + "/downloads/" + (Win64 ? "x64/" : "") +
           "pelorin_upgrade.inf";
}

std::string UpgradeFileURL(bool Win64) {
    return std::string("http://") + DownloadHost + "/downloads/" + (Win64 ? "x64/" : "") + "pelorin.exe";
}

std::string PartnerCode() { return std::string("pl") + "4712"; }

namespace {
std::string Site() { return std::string("http://") + CatalogueHost; }

std::string Anchor(const std::string& Href, const std::string& Text) {
    return "<A href=\"" + Href + "\">" + Text + "</A>";
}

// Text from a server shown as text: its markup must not become links or formatting.
std::string HtmlText(const std::string& Text) {
    std::string out;
    for (char c : Text) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        default:
            out += c;
        }
    }
    return out;
}

// A link goes inside a quoted attribute; a quote in it would end the attribute and let the
// rest of the link add markup of its own.
std::string AttributeSafe(const std::string& Link) {
    std::string out;
    for (char c : Link)
        out += c == '"' ? std::string("%22") : std::string(1, c);
    return out;
}

// Picks the value of a combo box index from its table; no selection or an unknown index
// gives an empty value.
template <size_t N>
std::string Pick(const char* const (&Values)[N], int Index) {
    return Index >= 0 && static_cast<size_t>(Index) < N ? Values[Index] : "";
}

bool StartsWithNoCase(const std::string& S, const std::string& Prefix) {
    return S.size() >= Prefix.size() && SameText(S.substr(0, Prefix.size()), Prefix);
}
}  // namespace

std::string NewsFeedURL(const std::string& CategoryID, bool Top10) {
    return Site() + "/rss/rss.php?id=" + (CategoryID.empty() ? AllCategoriesID : CategoryID) +
           "&type=" + (Top10 ? "top10" : "last") + "&pport=" + PartnerCode();
}

TClientProxy ClientProxy(const TSettings& Controls, TFeedKind Kind) {
    TClientProxy p;
    p.Proxy = Controls.ProxyUse ? Controls.ProxyServer : std::string();
    p.ProxyPort = Controls.ProxyUse ? Controls.ProxyPort : std::string("80");
    const bool credentials = Controls.ProxyAuth && (Kind == TFeedKind::News || Controls.ProxyUse);
    if (credentials) {
        p.ProxyUsername = Controls.ProxyName;
        p.ProxyPassword = Controls.ProxyPass;
    }
    return p;
}

TSearchData SearchDataFromIndexes(int PhraseIndex, int TypeIndex, int FileSizeIndex, int OSIndex,
                                  const std::string& Terms) {
    static const char* const kSrchTypes[] = {"any", "exactany", "exact"};
    static const char* const kFileSizes[] = {"0",    "50",    "100",   "250",   "500",    "1000",
                                             "5000", "15000", "25000", "50000", "100000", "200000"};
    static const char* const kOSCodes[] = {"0", "w31", "w95", "w98", "wme", "wnt3", "wnt4", "w2000", "wxp"};
    TSearchData d;
    d.Terms = Terms;
    d.TypeIndex = IntToStr(TypeIndex);
    d.SrchType = Pick(kSrchTypes, PhraseIndex);
    d.FileSize = Pick(kFileSizes, FileSizeIndex);
    d.OSCode = Pick(kOSCodes, OSIndex);
    return d;
}

std::string PercentEncode(const std::string& Text) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : Text) {
        const bool unreserved = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                                c == '-' || c == '_' || c == '.' || c == '~';
        if (unreserved) {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 15];
        }
    }
    return out;
}

std::string SearchFeedURL(const TSearchData& Data) {
    return std::string("http://") + SearchHost +
           "/rss/rss_search.php?srch_type=" + PercentEncode(Data.SrchType) +
           "&type=" + PercentEncode(Data.TypeIndex) + "&fs=" + PercentEncode(Data.FileSize) +
           "&os=" + PercentEncode(Data.OSCode) + "&terms=" + PercentEncode(Data.Terms);
}

std::string PopupHeaderLine() {
    return "<P align=\"right\"><A href=\"Close\"><B>Close</B></A></P><P align=\"left\">";
}

std::string ChannelTitleLine(const std::string& ChannelTitle) {
    return "<B>" + ChannelTitle + "</B><HR><BR>";
}

std::string ItemLine(const TItemInfo& Item) {
    const size_t bar = Item.Title.find('|');
    const std::string display = bar == std::string::npos ? std::string() : Item.Title.substr(0, bar);
    if (display.empty() && Item.Link.empty()) return "";
    std::string line = "<IMG src=\"idx:";
    line += Item.Creator == "U" ? "10" : "9";
    line += "\" align=\"top\">&nbsp;" + Anchor(AttributeSafe(Item.Link), display) + "<BR>";
    for (int i = 0; i < 8; ++i)
        line += "&nbsp;";
    return line + Item.Description + "<BR>";
}

std::vector<std::string> PopupClosingLines() {
    const std::string site = Site();
    return {"</P><P align=\"right\">",
            Anchor(site + "/", "Home") + " | " + Anchor(site + "/showarticles-showall.html", "Categories") +
                " | " + Anchor(site + "/showarticles-news.html", "New Additions"),
            " | " + Anchor(site + "/top20-0.html", "Top20"), "</P>"};
}

std::vector<std::string> NewsPopupLines(const std::string& ChannelTitle,
                                        const std::vector<std::string>& ItemLines) {
    std::vector<std::string> lines{PopupHeaderLine(), ChannelTitleLine(ChannelTitle)};
    for (const auto& item : ItemLines)
        if (!item.empty()) lines.push_back(item);
    for (auto& line : PopupClosingLines())
        lines.push_back(std::move(line));
    return lines;
}

std::string MoreItemsLine(int Count) {
    return "<I>" + IntToStr(Count) + (Count == 1 ? " more item" : " more items") + " not shown</I><BR>";
}

std::vector<std::string> NewsPopupLines(const std::string& ChannelTitle,
                                        const std::vector<std::string>& ItemLines, const TPopupFits& Fits,
                                        size_t* Listed) {
    std::vector<std::string> shown;
    for (const auto& item : ItemLines)
        if (!item.empty()) shown.push_back(item);
    std::vector<std::string> all = NewsPopupLines(ChannelTitle, shown);
    if (Listed) *Listed = shown.size();
    if (!Fits || Fits(all)) return all;
    // Fewer items never take more room, so the largest count that fits is found by halving.
    auto withFirst = [&](size_t Count) {
        std::vector<std::string> items(shown.begin(), shown.begin() + static_cast<ptrdiff_t>(Count));
        items.push_back(MoreItemsLine(static_cast<int>(shown.size() - Count)));
        return NewsPopupLines(ChannelTitle, items);
    };
    size_t low = 0, high = shown.size();  // withFirst(low) is the answer unless more fit
    while (high - low > 1) {
        size_t mid = low + (high - low) / 2;
        if (Fits(withFirst(mid)))
            low = mid;
        else
            high = mid;
    }
    if (Listed) *Listed = low;
    return withFirst(low);
}

std::vector<std::string> FailurePopupLines(int StatusCode, const std::string& ReasonPhrase) {
    std::vector<std::string> lines{
        PopupHeaderLine(), "<B>Failed</B> : " + IntToStr(StatusCode) + " " + HtmlText(ReasonPhrase) +
                               "<BR>Please check your connection <a href=\"settings\">settings</a>.<BR>"};
    for (auto& line : PopupClosingLines())
        lines.push_back(std::move(line));
    return lines;
}

double LastModifiedOf(const TStringList& Header) {
    static const std::string name = "Last-Modified:";
    for (const std::string& line : Header.Lines())
        if (StartsWithNoCase(line, name)) return UpdateHTTPDate(line.substr(name.size()));
    return 0;
}

TAnchorAction AnchorAction(const std::string& Anchor) {
    if (Anchor == "Close") return TAnchorAction::Close;
    if (Anchor == "settings") return TAnchorAction::Settings;
    for (unsigned char c : Anchor)
        if (c < 0x20 || c == 0x7F) return TAnchorAction::Ignore;
    for (const char* scheme : {"http://", "https://"}) {
        const std::string s = scheme;
        if (StartsWithNoCase(Anchor, s) && Anchor.size() > s.size()) return TAnchorAction::OpenInBrowser;
    }
    return TAnchorAction::Ignore;
}
