#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "feed/jsRSSParser.h"

namespace {

struct Feed {
    TjsRSSParser parser;
    std::vector<std::string> versions;
    std::vector<TItemInfo> items;

    Feed() {
        parser.OnFoundVersion = [this](TObject*, const std::string& v) { versions.push_back(v); };
        parser.OnFoundItem = [this](TObject*, const TItemInfo& i) { items.push_back(i); };
    }
    void Parse(const std::string& text) {
        versions.clear();
        items.clear();
        parser.ParseText(text);
    }
};

const char TwoItems[] =
    "<?xml version=\"1.0\" encoding=\"windows-1252\"?>\n"
    "<rss version=\"2.0\" xmlns:dc=\"http://purl.org/dc/elements/1.1/\">\n"
    "<channel>\n"
    "  <title>Quenlow - Latest Additions</title>\n"
    "  <link>http://www.example.com/</link>\n"
    "  <description>New software</description>\n"
    "  <language>en-us</language>\n"
    "  <ttl>60</ttl>\n"
    "  <item>\n"
    "    <title>Zipper 2.1 | Archivers</title>\n"
    "    <link>http://www.example.com/a.html</link>\n"
    "    <description>Packs &amp; unpacks</description>\n"
    "    <dc:creator>Ann</dc:creator>\n"
    "    <dc:date>2026-12-01</dc:date>\n"
    "  </item>\n"
    "  <item>\n"
    "    <title>Painter 5</title>\n"
    "    <link>http://www.example.com/b.html</link>\n"
    "  </item>\n"
    "</channel>\n"
    "</rss>\n";

}  // namespace

TEST(RSSFeed, Rss2ReportsVersionThenEachItemWithOnlyItsOwnFields) {
    Feed f;
    f.Parse(TwoItems);
    EXPECT_EQ(f.versions, std::vector<std::string>{"2.0"});
    ASSERT_EQ(f.items.size(), 2u);
    EXPECT_EQ(f.items[0].Title, "Zipper 2.1 | Archivers");
    EXPECT_EQ(f.items[0].Link, "http://www.example.com/a.html");
    EXPECT_EQ(f.items[0].Description, "Packs &amp; unpacks");
    EXPECT_EQ(f.items[0].Creator, "Ann");
    EXPECT_EQ(f.items[0].Date, "2026-12-01");
    EXPECT_EQ(f.items[1].Title, "Painter 5");
    EXPECT_EQ(f.items[1].Creator, "");  // not inherited from the first item
    EXPECT_EQ(f.items[1].Date, "");
}

TEST(RSSFeed, ChannelFieldsComeFromChannelElementsOnly) {
    Feed f;
    f.Parse(TwoItems);
    EXPECT_EQ(f.parser.Channel.Title, "Quenlow - Latest Additions");
    EXPECT_EQ(f.parser.Channel.Link, "http://www.example.com/");
    EXPECT_EQ(f.parser.Channel.Description, "New software");
    EXPECT_EQ(f.parser.Channel.Language, "en-us");
    EXPECT_EQ(f.parser.Channel.TTL, "60");
    EXPECT_EQ(f.parser.Channel.Copyright, "");
}

TEST(RSSFeed, AllFourteenChannelFieldsAreRead) {
    Feed f;
    f.Parse(
        "<rss><channel><title>1</title><link>2</link><description>3</description><language>4</language>"
        "<copyright>5</copyright><rating>6</rating><managingEditor>7</managingEditor><webMaster>8</webMaster>"
        "<pubDate>9</pubDate><lastBuildDate>10</lastBuildDate><category>11</category><generator>12</"
        "generator>"
        "<docs>13</docs><ttl>14</ttl></channel></rss>");
    const TChannelInfo& c = f.parser.Channel;
    EXPECT_EQ(c.Title + c.Link + c.Description + c.Language + c.Copyright + c.Rating + c.ManagingEditor +
                  c.WebMaster + c.PubDate + c.LastBuildDate + c.Category + c.Generator + c.Docs + c.TTL,
              "1234567891011121314");
}

TEST(RSSFeed, Rss1ItemsUnderTheRootAreRead) {
    Feed f;
    f.Parse(
        "<rdf:RDF xmlns:rdf=\"x\"><channel><title>C</title></channel>"
        "<item><title>T</title><link>L</link><dc:creator>Bo</dc:creator></item></rdf:RDF>");
    EXPECT_EQ(f.versions, std::vector<std::string>{"1.0"});
    ASSERT_EQ(f.items.size(), 1u);
    EXPECT_EQ(f.items[0].Title, "T");
    EXPECT_EQ(f.items[0].Link, "L");
    EXPECT_EQ(f.items[0].Creator, "Bo");
    EXPECT_EQ(f.parser.Channel.Title, "C");
}

TEST(RSSFeed, MissingVersionAttributeGivesEmptyVersion) {
    Feed f;
    f.Parse("<rss><channel></channel></rss>");
    EXPECT_EQ(f.versions, std::vector<std::string>{""});
}

TEST(RSSFeed, CDataDescriptionStaysEmpty) {
    Feed f;
    f.Parse(
        "<rss><channel><item><title>T</title><description><![CDATA[ plain "
        "]]></description></item></channel></rss>");
    ASSERT_EQ(f.items.size(), 1u);
    EXPECT_EQ(f.items[0].Description, "");
    // Markup inside the section ends its tag early; the text after it is ordinary text.
    f.Parse("<rss><channel><item><description><![CDATA[<b>bold</b>]]></description></item></channel></rss>");
    ASSERT_EQ(f.items.size(), 1u);
    EXPECT_EQ(f.items[0].Description, "bold");
}

TEST(RSSFeed, OnlyTheFirstTextRunAfterAStartTagCounts) {
    Feed f;
    f.Parse(
        "<rss><channel><item><title><b>x</b>late</title><link><!-- c -->L</link>"
        "<description>first<br/>second</description></item></channel></rss>");
    ASSERT_EQ(f.items.size(), 1u);
    EXPECT_EQ(f.items[0].Title, "");  // the text follows a nested element
    EXPECT_EQ(f.items[0].Link, "L");  // comments are not listened to, so they do not interrupt
    EXPECT_EQ(f.items[0].Description, "first");
}

TEST(RSSFeed, ElementNamesAreCaseSensitive) {
    Feed f;
    f.Parse("<rss><channel><item><Title>T</Title><link>L</link></item></channel></rss>");
    ASSERT_EQ(f.items.size(), 1u);
    EXPECT_EQ(f.items[0].Title, "");
    EXPECT_EQ(f.items[0].Link, "L");
}

TEST(RSSFeed, DoctypeBeforeTheRootKeepsEveryItem) {
    Feed f;
    f.Parse(std::string("<!DOCTYPE rss>\n<?xml-stylesheet href='s'?>") + TwoItems);
    EXPECT_EQ(f.versions, std::vector<std::string>{"2.0"});
    ASSERT_EQ(f.items.size(), 2u);
    EXPECT_FALSE(f.items[0].Title.empty());
    EXPECT_FALSE(f.parser.Channel.Title.empty());
}

TEST(RSSFeed, ItemWithoutEndTagIsNeverReported) {
    Feed f;
    f.Parse("<rss><channel><item><title>T</title></channel></rss>");
    EXPECT_TRUE(f.items.empty());
}

TEST(RSSFeed, OtherRootsYieldNothing) {
    Feed f;
    f.Parse("<html><body><title>x</title></body></html>");
    EXPECT_TRUE(f.items.empty());
    EXPECT_TRUE(f.versions.empty());
    EXPECT_EQ(f.parser.Channel.Title, "");
}

TEST(RSSFeed, ChannelIsResetAtTheStartOfEachParseAndKeptUntilThen) {
    Feed f;
    f.Parse(TwoItems);
    EXPECT_EQ(f.parser.Channel.Title, "Quenlow - Latest Additions");
    f.Parse("<rss><channel><link>x</link></channel></rss>");
    EXPECT_EQ(f.parser.Channel.Title, "");
    EXPECT_EQ(f.parser.Channel.Link, "x");
}

TEST(RSSFeed, ParseOfLinesMatchesParseOfText) {
    Feed f;
    TStringList lines;
    lines.SetText(TwoItems);
    f.parser.SetRSS(lines);
    f.parser.Parse();
    ASSERT_EQ(f.items.size(), 2u);
    EXPECT_EQ(f.items[0].Title, "Zipper 2.1 | Archivers");
}

TEST(RSSFeed, AHandlerMayStartAnotherParseSafely) {
    TjsRSSParser parser;
    std::vector<std::string> titles;
    bool nested = false;
    parser.OnFoundItem = [&](TObject*, const TItemInfo& item) {
        titles.push_back(item.Title);
        if (!nested) {
            nested = true;
            parser.ParseText("<rss><channel><item><title>inner</title></item></channel></rss>");
        }
    };
    parser.ParseText(TwoItems);
    EXPECT_EQ(titles, (std::vector<std::string>{"Zipper 2.1 | Archivers", "inner", "Painter 5"}));
}

TEST(RSSFeed, TheRootSeenLastIsKeptForTheNextParse) {
    // After "</ab>" the path is "/", so "channel" sits at "/channel/": the channel path of a
    // parser that has not seen a root yet, but not of one that saw "rss" before.
    const char rootless[] = "<ab></ab><channel><title>T</title></channel>";
    Feed fresh;
    fresh.Parse(rootless);
    EXPECT_EQ(fresh.parser.Channel.Title, "T");
    Feed used;
    used.Parse("<rss></rss>");
    used.Parse(rootless);
    EXPECT_EQ(used.parser.Channel.Title, "");
}

TEST(RSSFeed, ARootElementBetweenTagAndTextDecidesWhereTheTextGoes) {
    // The text is matched against the root in force when it arrives, not when its tag did.
    // "<x />" names "x" and leaves the path alone, so it can switch the root mid-channel.
    Feed f;
    f.Parse("<rss><channel><title><rdf:RDF />T</title></channel></rss>");
    EXPECT_EQ(f.parser.Channel.Title, "");
    f.Parse("<rss><channel><rdf:RDF /><title><rss />T</title></channel></rss>");
    EXPECT_EQ(f.parser.Channel.Title, "T");
    // "<rss/>" is named "rss/": an ordinary element, whose own text nothing wants.
    f.Parse("<rss><channel><title><rss/>T</title></channel></rss>");
    EXPECT_EQ(f.parser.Channel.Title, "");
}

TEST(RSSFeed, AHandlerMayFreeWhatTheParserOwns) {
    // What the parser owns is freed with it; a scanner that lives on the stack of a parse
    // must not be among it.
    TjsRSSParser parser;
    size_t items = 0;
    parser.OnFoundItem = [&](TObject*, const TItemInfo&) {
        ++items;
        while (parser.ComponentCount() > 0)
            delete parser.Components(0);
    };
    parser.ParseText(TwoItems);
    EXPECT_EQ(items, 2u);
}
