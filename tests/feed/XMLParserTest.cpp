#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "feed/jsXMLParser.h"

namespace {

std::string S(std::string_view v) { return std::string(v); }

// Records every event as one readable line, in order.
struct Recorder {
    TjsXMLParser parser;
    std::vector<std::string> events;
    std::vector<std::pair<int, int>> progress;

    explicit Recorder(bool withProgress = false) {
        parser.OnFoundTag = [this](TObject*, std::string_view path, std::string_view name,
                                   std::string_view tag) {
            events.push_back("tag [" + S(path) + "] " + S(name) + " " + S(tag));
        };
        parser.OnFoundText = [this](TObject*, std::string_view path, std::string_view text) {
            events.push_back("text [" + S(path) + "] " + S(text));
        };
        parser.OnFoundComment = [this](TObject*, std::string_view c) {
            events.push_back("comment [" + S(c) + "]");
        };
        parser.OnFoundCDATA = [this](TObject*, std::string_view c) {
            events.push_back("cdata [" + S(c) + "]");
        };
        if (withProgress)
            parser.OnParsing = [this](TObject*, int lines, int total) {
                progress.emplace_back(lines, total);
            };
    }

    std::vector<std::string> Parse(const std::string& text) {
        events.clear();
        parser.ParseText(text);
        return events;
    }
};

using Events = std::vector<std::string>;

}  // namespace

TEST(XMLScanner, ReportsTagsAndTextWithPathsInDocumentOrder) {
    Recorder r;
    EXPECT_EQ(r.Parse("<a><b>x</b></a>"), (Events{"tag [] a <a>", "tag [a/] b <b>", "text [a/b/] x",
                                                  "tag [a/b/] /b </b>", "tag [a/] /a </a>"}));
}

TEST(XMLScanner, TextAfterTheLastTagIsNotReported) {
    Recorder r;
    EXPECT_EQ(r.Parse("<a>x"), (Events{"tag [] a <a>"}));
}

TEST(XMLScanner, BlankRunsRaiseNothingAndTextIsTrimmedButNotDecoded) {
    Recorder r;
    EXPECT_EQ(r.Parse("<a>\r\n\t  <b>  A &amp; B\t</b>\n</a>"),
              (Events{"tag [] a <a>", "tag [a/] b <b>", "text [a/b/] A &amp; B", "tag [a/b/] /b </b>",
                      "tag [a/] /a </a>"}));
}

TEST(XMLScanner, InteriorLineBreaksOfTextBecomeCrLf) {
    Recorder r;
    EXPECT_EQ(r.Parse("<d>one\ntwo</d>"),
              (Events{"tag [] d <d>", "text [d/] one\r\ntwo", "tag [d/] /d </d>"}));
}

TEST(XMLScanner, CommentNeedsABlankAfterItsOpening) {
    Recorder r;
    EXPECT_EQ(r.Parse("<!-- note --><x/>"), (Events{"comment [ note ]", "tag [] x/ <x/>"}));
    // Without the blank the name is "!--note--": a tag, but no element level.
    EXPECT_EQ(r.Parse("<!--note--><x/>"), (Events{"tag [] !--note-- <!--note-->", "tag [] x/ <x/>"}));
}

TEST(XMLScanner, CDataIsTrimmedAndEndsAtItsFirstGreaterThan) {
    Recorder r;
    EXPECT_EQ(r.Parse("<a><![CDATA[ hi ]]></a>"), (Events{"tag [] a <a>", "cdata [hi]", "tag [a/] /a </a>"}));
    // The section's tag ends at the first ">": "<![CDATA[ 1 >" minus 9 and 3 characters.
    EXPECT_EQ(r.Parse("<a><![CDATA[ x 1 > 2 ]]></a>"),
              (Events{"tag [] a <a>", "cdata [x]", "text [a/] 2 ]]>", "tag [a/] /a </a>"}));
}

TEST(XMLScanner, ANameThatHoldsTheCDataMarkAnywhereIsACDataSection) {
    Recorder r;
    // The section is cut by position, as if the name began with the mark.
    EXPECT_EQ(r.Parse("<a><x![CDATA[ y ]]></a>"),
              (Events{"tag [] a <a>", "cdata [[ y]", "tag [a/] /a </a>"}));
}

TEST(XMLScanner, QuotedGreaterThanDoesNotEndATag) {
    Recorder r;
    EXPECT_EQ(r.Parse("<a title='x>y' b=\"1>2\">t</a>"),
              (Events{"tag [] a <a title='x>y' b=\"1>2\">", "text [a/] t", "tag [a/] /a </a>"}));
}

TEST(XMLScanner, UnclosedTagOrQuoteEndsTheParseSilently) {
    Recorder r;
    EXPECT_EQ(r.Parse("<a>x</a><b attr='open>text</b>"),
              (Events{"tag [] a <a>", "text [a/] x", "tag [a/] /a </a>"}));
    EXPECT_EQ(r.Parse("<a>x</a><b"), (Events{"tag [] a <a>", "text [a/] x", "tag [a/] /a </a>"}));
    EXPECT_EQ(r.Parse("<"), Events{});
}

TEST(XMLScanner, EmptyElementTagsKeepThePathAndKeepTheirSlashInTheName) {
    Recorder r;
    EXPECT_EQ(r.Parse("<a><br/><br /><c>t</c></a>"),
              (Events{"tag [] a <a>", "tag [a/] br/ <br/>", "tag [a/] br <br />", "tag [a/] c <c>",
                      "text [a/c/] t", "tag [a/c/] /c </c>", "tag [a/] /a </a>"}));
}

TEST(XMLScanner, DeclarationsAndInstructionsAreTagsThatOpenNoLevel) {
    Recorder r;
    EXPECT_EQ(r.Parse("<?xml version=\"1.0\"?><!DOCTYPE rss><rss><t>x</t></rss>"),
              (Events{"tag [] !DOCTYPE <!DOCTYPE rss>", "tag [] rss <rss>", "tag [rss/] t <t>",
                      "text [rss/t/] x", "tag [rss/t/] /t </t>", "tag [rss/] /rss </rss>"}));
    EXPECT_EQ(r.Parse("<?xml-stylesheet href='a'?><r/>"),
              (Events{"tag [] ?xml-stylesheet <?xml-stylesheet href='a'?>", "tag [] r/ <r/>"}));
}

TEST(XMLScanner, MismatchedEndTagsShortenThePathRegardlessOfName) {
    Recorder r;
    EXPECT_EQ(r.Parse("<a><b></zzz><c>t</c>"),
              (Events{"tag [] a <a>", "tag [a/] b <b>", "tag [a/b/] /zzz </zzz>", "tag [a/] c <c>",
                      "text [a/c/] t", "tag [a/c/] /c </c>"}));
    // Closing the root leaves "/" as the path, and further end tags empty it.
    EXPECT_EQ(r.Parse("<ab></ab><b>t</b></x></y>"),
              (Events{"tag [] ab <ab>", "tag [ab/] /ab </ab>", "tag [/] b <b>", "text [/b/] t",
                      "tag [/b/] /b </b>", "tag [/] /x </x>", "tag [] /y </y>"}));
}

TEST(XMLScanner, ZeroByteEndsATag) {
    Recorder r;
    std::string text("<a\0b>t</a>", 10);
    EXPECT_EQ(r.Parse(text), (Events{std::string("tag [] a <a\0", 12), "text [a/] b>t", "tag [a/] /a </a>"}));
}

TEST(XMLScanner, ProgressIsRaisedOncePerStepWithGrowingIndexAndConstantTotal) {
    Recorder r(true);
    r.Parse("<a>x</a>");  // joined: "<a>x</a>\r\n", 10 characters
    EXPECT_EQ(r.progress, (std::vector<std::pair<int, int>>{{0, 10}, {3, 10}, {8, 10}}));
}

TEST(XMLScanner, EmptyInputRaisesNothing) {
    Recorder r(true);
    EXPECT_EQ(r.Parse(""), Events{});
    EXPECT_TRUE(r.progress.empty());
}

namespace {
// Every event and progress step of a scan, in order.
Events Scanned(const std::string& text, bool fromLines) {
    Recorder r(true);
    if (fromLines) {
        TStringList lines;
        lines.SetText(text);
        r.parser.SetXML(lines);
        r.parser.Parse();
    } else {
        r.parser.ParseText(text);
    }
    for (auto [at, total] : r.progress)
        r.events.push_back("at " + std::to_string(at) + "/" + std::to_string(total));
    return r.events;
}

std::string WithLineEnds(const std::string& text, const std::string& eol) {
    std::string out;
    for (char c : text)
        out += c == '\n' ? eol : std::string(1, c);
    return out;
}
}  // namespace

TEST(XMLScanner, LineEndsOfAnyKindScanAsTheLinesJoinedWithCrLf) {
    // Line ends within texts, tags, comments and sections, near the cuts that drop a
    // comment's or section's last three characters, at the very start and end.
    const std::string cases[] = {
        "<d>one\ntwo</d>",
        "\n\n<a>\n\n  x\n\n</a>\n\n",
        "<a><!-- x\n y --></a>\n",
        "<!-- x\n>",
        "<!--\n>",
        "<a><![CDATA[ x\ny\n]]></a>",
        "<a><![CDATA[ x\n>y</a>",
        "<rss\nversion=\"2.0\"\n>\n<i t='x\ny' u=\"\n/>\"/>t</i></rss>",
        "<a\n/><b\n></\nb>",
        "<a>x</a>",
        "<a>x</a>\n",
        "<a>x\n",
        std::string("<a\0\n>x\n</a>", 12),
        "<a b='\n",
        "<a>\n<",
        "\n",
        "",
        "<?xml a='1'?>\n<!DOCTYPE\nr>\n<r/>",
    };
    for (const std::string& c : cases) {
        const Events lf = Scanned(c, false);
        EXPECT_EQ(lf, Scanned(c, true)) << c;
        for (const char* eol : {"\r\n", "\r"}) {
            const std::string other = WithLineEnds(c, eol);
            EXPECT_EQ(Scanned(other, false), lf) << c;
            EXPECT_EQ(Scanned(other, true), lf) << c;
        }
        // Mixed line ends, "\r" then "\n" pairing up where they meet.
        std::string mixed;
        int k = 0;
        for (char ch : c)
            mixed += ch == '\n' ? std::string(k++ % 2 ? "\n" : "\r") : std::string(1, ch);
        EXPECT_EQ(Scanned(mixed, false), Scanned(mixed, true)) << c;
    }
    // A line end at every offset of a text and of a tag, around the 16-byte steps.
    for (const std::string& line :
         {"<a>" + std::string(40, 'x') + "</a>", "<a b='" + std::string(40, 'x') + "'/>"})
        for (size_t at = 1; at < line.size(); ++at)
            for (const char* eol : {"\n", "\r", "\r\n"}) {
                const std::string t = line.substr(0, at) + eol + line.substr(at);
                ASSERT_EQ(Scanned(t, false), Scanned(t, true)) << at;
            }
}

TEST(XMLScanner, UnassignedEventsAreSkipped) {
    TjsXMLParser parser;
    parser.ParseText("<a><!-- c --><![CDATA[ d ]]>t</a>");
    SUCCEED();
}

TEST(XMLTagName, StopsAtBlanksLineBreaksZeroAndGreaterThan) {
    EXPECT_EQ(GetTagName("<title>"), "title");
    EXPECT_EQ(GetTagName("</item>"), "/item");
    EXPECT_EQ(GetTagName("<rss version=\"2.0\">"), "rss");
    EXPECT_EQ(GetTagName("<?xml version=\"1.0\"?>"), "?xml");
    EXPECT_EQ(GetTagName("<!-- x -->"), "!--");
    EXPECT_EQ(GetTagName("<br/>"), "br/");
    EXPECT_EQ(GetTagName(" \t<<a\nb>"), "a");
    EXPECT_EQ(GetTagName("<a\tb>"), "a\tb");  // a tab inside does not end the name
    EXPECT_EQ(GetTagName(""), "");
}

TEST(XMLParentPath, CutsTheLastElement) {
    EXPECT_EQ(ParentPath("rss/channel/item/"), "rss/channel/");
    EXPECT_EQ(ParentPath("rss/"), "/");
    EXPECT_EQ(ParentPath("a/"), "");
    EXPECT_EQ(ParentPath("/"), "");
    EXPECT_EQ(ParentPath(""), "");
    EXPECT_EQ(ParentPath("a//"), "a/");
}

TEST(XMLParentPath, KeepsAtMost255CharactersOfTheParent) {
    std::string deep = std::string(300, 'x') + "/y/";
    std::string parent = ParentPath(deep);
    EXPECT_EQ(parent, std::string(255, 'x') + "/");
}

TEST(XMLAttributes, ReadQuotedUnquotedAndMissingValues) {
    EXPECT_EQ(GetAttribute("<rss version=\"2.0\">", "version"), "version=\"2.0\"");
    EXPECT_EQ(GetAttributeValue("version=\"2.0\""), "2.0");
    EXPECT_EQ(GetAttribute("<rss VERSION='0.91' x>", "version"), "VERSION='0.91'");
    EXPECT_EQ(GetAttributeValue("VERSION='0.91'"), "0.91");
    // Unquoted values end only at a blank or the end, so ">" comes along.
    EXPECT_EQ(GetAttribute("<rss version=2.0>", "version"), "version=2.0>");
    EXPECT_EQ(GetAttributeValue(GetAttribute("<rss version=2.0>", "version")), "2.0>");
    EXPECT_EQ(GetAttribute("<rss version=2.0 a=b>", "version"), "version=2.0");
    EXPECT_EQ(GetAttribute("<rss>", "version"), "");
    EXPECT_EQ(GetAttribute("<rss version>", "version"), "version");
    EXPECT_EQ(GetAttribute("<rss version= x>", "version"), "version=");
    EXPECT_EQ(GetAttribute("<rss version=\"2.0", "version"), "version=\"2.0");  // unclosed quote
    // The name may match inside a longer word.
    EXPECT_EQ(GetAttribute("<rss myversion=\"3\">", "version"), "version=\"3\"");
    EXPECT_EQ(GetAttributeValue("noequals"), "");
    EXPECT_EQ(GetAttributeValue("a=\"\""), "");
    EXPECT_EQ(GetAttributeValue("a="), "");
    EXPECT_EQ(GetAttributeValue("a=\"open"), "open");
}
