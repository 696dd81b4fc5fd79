// Splitting addresses, the saved document's name, the base of relative locations and the
// If-Modified-Since date.
#include <gtest/gtest.h>

#include "http/Url.h"

TEST(ParseURLTest, SplitsEveryForm) {
    struct Case {
        const char *url, *base, *proto, *user, *pass, *host, *port, *path;
    };
    const Case cases[] = {
        {"http://u:p@h.example:8080/a/b.txt?x=1", "", "http", "u", "p", "h.example", "8080", "/a/b.txt?x=1"},
        {"HTTP://Host/", "", "http", "", "", "Host", "", "/"},
        {"h.example", "", "", "", "", "h.example", "", ""},
        {"h.example:3128", "", "", "", "", "h.example", "3128", ""},
        {"h.example?q=/x", "", "", "", "", "h.example", "", "?q=/x"},
        {"u@h/p", "", "", "u", "", "h", "", "/p"},
        {"u:p@h", "", "", "u", "p", "h", "", ""},
        {"u:p:q@h:81/", "", "", "u", "p:q", "h", "81", "/"},
        {"/abs/path", "/old", "http", "", "", "", "", "/abs/path"},
        {"//h:90/p", "", "http", "", "", "h", "90", "/p"},
        {"http:/x", "", "http", "", "", "", "", "/x"},
        {"mailto:someone@h", "", "mailto", "someone", "", "h", "", ""},
        {"a b://h/p", "", "http", "", "", "a b", "", "//h/p"},
        {"svn+ssh://h/r", "", "svn+ssh", "", "", "h", "", "/r"},
        {"./c.htm", "/a/b/x.htm", "", "", "", "", "", "/a/b/c.htm"},
        {"./c.htm", "nodir", "", "", "", "", "", "/c.htm"},
        {"../c.htm", "/a/b/x.htm", "", "", "", "", "", "/a/c.htm"},
        {"../../../c", "/a/b/x", "", "", "", "", "", "/c"},
        {"", "/keep", "", "", "", "", "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.url);
        const TUrlParts p = ParseURL(c.url, c.base);
        EXPECT_EQ(p.Proto, c.proto);
        EXPECT_EQ(p.User, c.user);
        EXPECT_EQ(p.Pass, c.pass);
        EXPECT_EQ(p.Host, c.host);
        EXPECT_EQ(p.Port, c.port);
        EXPECT_EQ(p.Path, c.path);
    }
}

TEST(UrlNamesTest, DocNameAndBase) {
    const std::pair<const char*, const char*> docs[] = {
        {"/a/b.txt?x=1", "b.txt"},   {"", "document.htm"}, {"/dir/", "document.htm"},
        {"/dir/?q", "document.htm"}, {"plain", "plain"},   {"/x?a/b", "x"},
    };
    for (const auto& d : docs)
        EXPECT_EQ(DocNameOf(d.first), d.second) << d.first;
    EXPECT_EQ(DocNameOf("/" + std::string(300, 'n')), std::string(255, 'n'));

    const std::pair<const char*, const char*> bases[] = {
        {"/a/b.htm?x=/y", "/a/"},
        {"http://h/a", "http://h/"},
        {"http://h", "http://"},
        {"noslash", ""},
    };
    for (const auto& b : bases)
        EXPECT_EQ(UrlBase(b.first), b.second) << b.first;
}

TEST(UrlNamesTest, ModifiedSinceDate) {
    EXPECT_EQ(RFC1123Date(0), "Sat, 30 Dec 1899 00:00:00");
    EXPECT_EQ(RFC1123Date(36526.5), "Sat, 01 Jan 2000 12:00:00");
    EXPECT_EQ(RFC1123Date(45000 + (13 * 3600 + 5 * 60 + 9) / 86400.0), "Wed, 15 Mar 2023 13:05:09");
    EXPECT_EQ(RFC1123Date(60.0), "Wed, 28 Feb 1900 00:00:00");
}
