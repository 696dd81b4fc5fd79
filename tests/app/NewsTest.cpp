// The notifier's portable work: the addresses it asks for, the popup text it composes, what
// a popup click may open, and the one-download-at-a-time rule.
#include <gtest/gtest.h>

#include <stdexcept>

#include "app/News.h"

namespace {
const std::string kSite = "http://www.quenlow.com";

TEST(NewsAddress, CategoryTypeAndPartnerCodeInTheirOrder) {
    struct Case {
        std::string ID;
        bool Top10;
        std::string URL;
    } cases[] = {
        {"AA", false, kSite + "/rss/rss.php?id=AA&type=last&pport=pl4712"},
        {"C3", true, kSite + "/rss/rss.php?id=C3&type=top10&pport=pl4712"},
        {"0417", false, kSite + "/rss/rss.php?id=0417&type=last&pport=pl4712"},
        {"", true, kSite + "/rss/rss.php?id=AA&type=top10&pport=pl4712"},  // nothing selected
    };
    for (const auto& c : cases)
        EXPECT_EQ(NewsFeedURL(c.ID, c.Top10), c.URL) << c.ID;
}

TEST(NewsAddress, EachArchitectureUpdatesFromItsOwnFolderUnderTheSameFileName) {
    EXPECT_EQ(UpgradeInfoURL(false), "http://www.varnoth.net/downloads/pelorin_upgrade.inf");
    EXPECT_EQ(UpgradeFileURL(false), "http://download.varnoth.net/downloads/pelorin.exe");
    EXPECT_EQ(UpgradeInfoURL(true), "http://www.varnoth.net/downloads/x64/pelorin_upgrade.inf");
    EXPECT_EQ(UpgradeFileURL(true), "http://download.varnoth.net/downloads/x64/pelorin.exe");
}

TEST(ClientProxy, DirectOnPort80AndCredentialsWhereEachFeedSendsThem) {
    struct Case {
        bool Use, Auth;
        TFeedKind Kind;
        const char *Proxy, *Port, *Name;
    } cases[] = {
        {true, true, TFeedKind::News, "px", "3128", "ann"},
        {false, true, TFeedKind::News, "", "80", "ann"},  // the news looks at "Authenticate" only
        {true, false, TFeedKind::News, "px", "3128", ""},
        {true, true, TFeedKind::Search, "px", "3128", "ann"},
        {false, true, TFeedKind::Search, "", "80", ""},
    };
    for (const auto& c : cases) {
        TSettings s;
        s.ProxyUse = c.Use;
        s.ProxyAuth = c.Auth;
        s.ProxyServer = "px";
        s.ProxyPort = "3128";
        s.ProxyName = "ann";
        s.ProxyPass = "pw";
        TClientProxy p = ClientProxy(s, c.Kind);
        SCOPED_TRACE(testing::Message() << c.Use << c.Auth << (c.Kind == TFeedKind::Search));
        EXPECT_EQ(p.Proxy, c.Proxy);
        EXPECT_EQ(p.ProxyPort, c.Port);
        EXPECT_EQ(p.ProxyUsername, c.Name);
        EXPECT_EQ(p.ProxyPassword, *c.Name ? "pw" : "");
    }
}

TEST(SearchAddress, ComboIndexesAndEncodedTermsInTheirOrder) {
    const std::string base = "http://search.quenlow.com/rss/rss_search.php?";
    struct Case {
        int Phrase, Type, Size, OS;
        std::string Terms, Query;
    } cases[] = {
        {0, 0, 0, 0, "zip", "srch_type=any&type=0&fs=0&os=0&terms=zip"},
        {2, 2, 5, 8, "", "srch_type=exact&type=2&fs=1000&os=wxp&terms="},
        {1, 6, 10, 1, "a", "srch_type=exactany&type=6&fs=100000&os=w31&terms=a"},
        {2, 1, 11, 7, "a", "srch_type=exact&type=1&fs=200000&os=w2000&terms=a"},
        {-1, -1, -1, -1, "a", "srch_type=&type=-1&fs=&os=&terms=a"},
        {3, 0, 12, 9, "a", "srch_type=&type=0&fs=&os=&terms=a"},
        {0, 0, 0, 0, "zip & co #1+2/\xE9~",
         "srch_type=any&type=0&fs=0&os=0&terms=zip%20%26%20co%20%231%2B2%2F%E9~"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(SearchFeedURL(SearchDataFromIndexes(c.Phrase, c.Type, c.Size, c.OS, c.Terms)),
                  base + c.Query)
            << c.Query;
}

TEST(NewsPopup, ItemLineFromTheFeedFields) {
    const std::string indent = "&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;";
    struct Case {
        TItemInfo Item;
        std::string Line;
    } cases[] = {
        {{"Editor 2.1|freeware", "http://x/1", "Tabs.", "U", "2026"},
         "<IMG src=\"idx:10\" align=\"top\">&nbsp;<A href=\"http://x/1\">Editor 2.1</A><BR>" + indent +
             "Tabs.<BR>"},
        {{"A | B | C", "http://x/2", "", "u", ""},
         "<IMG src=\"idx:9\" align=\"top\">&nbsp;<A href=\"http://x/2\">A </A><BR>" + indent + "<BR>"},
        // No bar: no display title, but the link still leads somewhere.
        {{"Editor", "http://x/3", "d", "", ""},
         "<IMG src=\"idx:9\" align=\"top\">&nbsp;<A href=\"http://x/3\"></A><BR>" + indent + "d<BR>"},
        {{"|free", "", "d", "U", ""}, ""},  // neither a display title nor a link
        {{"", "", "", "", ""}, ""},
        // A quote in the link cannot close the attribute and add a link of its own.
        {{"T|", "http://x/\"><A href=\"settings", "", "", ""},
         "<IMG src=\"idx:9\" align=\"top\">&nbsp;<A href=\"http://x/%22><A href=%22settings\">T</A><BR>" +
             indent + "<BR>"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ItemLine(c.Item), c.Line) << c.Item.Title;
}

const std::vector<std::string> kClosing = {
    "</P><P align=\"right\">",
    "<A href=\"" + kSite + "/\">Home</A> | <A href=\"" + kSite +
        "/showarticles-showall.html\">Categories</A> | " + "<A href=\"" + kSite +
        "/showarticles-news.html\">New Additions</A>",
    " | <A href=\"" + kSite + "/top20-0.html\">Top20</A>",
    "</P>",
};
const std::string kHeader = "<P align=\"right\"><A href=\"Close\"><B>Close</B></A></P><P align=\"left\">";

std::vector<std::string> Framed(std::vector<std::string> Middle) {
    Middle.insert(Middle.begin(), kHeader);
    Middle.insert(Middle.end(), kClosing.begin(), kClosing.end());
    return Middle;
}

TEST(NewsPopup, HeaderTitleShownItemsAndFooter) {
    EXPECT_EQ(NewsPopupLines("News", {"one", "", "two"}), Framed({"<B>News</B><HR><BR>", "one", "two"}));
    EXPECT_EQ(NewsPopupLines("", {}), Framed({"<B></B><HR><BR>"}));
}

TEST(NewsPopup, ItemsThatDoNotFitGiveWayToACountKeepingHeaderAndFooter) {
    const std::vector<std::string> items{"a", "b", "c", "d", "e"};
    // Room for a number of lines: the frame takes six.
    auto room = [](size_t Lines) {
        return [=](const std::vector<std::string>& L) { return L.size() <= Lines; };
    };
    // How many are listed is what gets marked as seen.
    size_t listed = 99;
    EXPECT_EQ(NewsPopupLines("T", items, room(11), &listed), NewsPopupLines("T", items));
    EXPECT_EQ(listed, 5u);
    EXPECT_EQ(NewsPopupLines("T", items, room(10), &listed),
              Framed({"<B>T</B><HR><BR>", "a", "b", "c", MoreItemsLine(2)}));
    EXPECT_EQ(listed, 3u);
    EXPECT_EQ(NewsPopupLines("T", items, room(3), &listed), Framed({"<B>T</B><HR><BR>", MoreItemsLine(5)}));
    EXPECT_EQ(listed, 0u);
    EXPECT_NE(MoreItemsLine(2).find('2'), std::string::npos);
}

TEST(NewsPopup, LastModifiedIsReadFromTheResponseHeader) {
    // 1994-11-06 08:49:37 UTC.
    const double at = 34644 + 31777 / 86400.0;
    const struct {
        TStringList Header;
        double Want;
    } cases[] = {
        {{"Content-Type: text/xml", "Last-Modified: Sun, 06 Nov 1994 08:49:37 GMT"}, at},
        {{"last-modified:Sun, 06 Nov 1994 08:49:37 GMT"}, at},
        {{"Last-Modified: yesterday"}, 0},
        {{"X-Last-Modified: Sun, 06 Nov 1994 08:49:37 GMT"}, 0},
        {{}, 0},
    };
    for (const auto& c : cases)
        EXPECT_NEAR(LastModifiedOf(c.Header), c.Want, 1e-9) << c.Header.Text();
}

TEST(NewsPopup, FailureTextShowsTheStatusAsText) {
    const std::string tail = "<BR>Please check your connection <a href=\"settings\">settings</a>.<BR>";
    EXPECT_EQ(FailurePopupLines(404, "Not Found"), Framed({"<B>Failed</B> : 404 Not Found" + tail}));
    EXPECT_EQ(FailurePopupLines(500, "<A href=\"file:x\">&</A>"),
              Framed({"<B>Failed</B> : 500 &lt;A href=\"file:x\"&gt;&amp;&lt;/A&gt;" + tail}));
}

TEST(PopupLinks, OnlyWebAddressesReachTheShell) {
    using A = TAnchorAction;
    struct Case {
        std::string Anchor;
        A Action;
    } cases[] = {
        {"Close", A::Close},
        {"settings", A::Settings},
        {"close", A::Ignore},
        {"Settings", A::Ignore},
        {"http://www.quenlow.com/software/1.html", A::OpenInBrowser},
        {"HTTPS://example.test/?a=1&b=2", A::OpenInBrowser},
        {"http://", A::Ignore},
        {"file:///C:/Windows/notepad.exe", A::Ignore},
        {"C:\\Windows\\System32\\calc.exe", A::Ignore},
        {"\\\\host\\share\\setup.exe", A::Ignore},
        {"javascript:alert(1)", A::Ignore},
        {"mailto:a@b.c", A::Ignore},
        {" http://x", A::Ignore},
        {"http://x\r\ncalc", A::Ignore},
        {"", A::Ignore},
    };
    for (const auto& c : cases)
        EXPECT_EQ(AnchorAction(c.Anchor), c.Action) << c.Anchor;
}

TEST(DownloadCycle, ARequestDuringADownloadIsSkippedAndTheCycleFreesOnEveryExit) {
    TDownloadCycle cycle;
    {
        TDownloadCycle::TScope outer(cycle);
        EXPECT_TRUE(outer.Started());
        {
            TDownloadCycle::TScope inner(cycle);
            EXPECT_FALSE(inner.Started());
        }
        EXPECT_TRUE(cycle.Busy());  // the skipped request does not end the running one
    }
    EXPECT_FALSE(cycle.Busy());
    EXPECT_THROW(
        {
            TDownloadCycle::TScope failing(cycle);
            throw std::runtime_error("lost connection");
        },
        std::runtime_error);
    EXPECT_TRUE(TDownloadCycle::TScope(cycle).Started());
}
}  // namespace
