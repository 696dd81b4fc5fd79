// The download engine's portable rules: URL scheme, request headers, realm, progress figures
// and the priority levels.
#include <gtest/gtest.h>

#include "upgrade/UpdateHTTP.h"

TEST(UpdateHTTPTest, UrlRules) {
    EXPECT_EQ(UpdateURL("www.example.com/x.inf"), "http://www.example.com/x.inf");
    EXPECT_EQ(UpdateURL("https://h/x"), "https://h/x");
    EXPECT_TRUE(IsFileScheme("FILE"));
    EXPECT_FALSE(IsFileScheme("http"));
    EXPECT_EQ(FileURLPath("/C:/dir/a.txt"), "C:\\dir\\a.txt");
    EXPECT_EQ(FileURLPath("C:\\dir\\a.txt"), "C:\\dir\\a.txt");
}

TEST(UpdateHTTPTest, RequestHeadersAndRange) {
    const TStringList lines{"X-One: 1", "X-Two: 2"};
    const struct {
        int Start, End;
        const char* Want;
    } cases[] = {{0, 0, "X-One: 1\r\nX-Two: 2\r\n"},
                 {100, 0, "X-One: 1\r\nX-Two: 2\r\nRANGE: bytes=100-\r\n"},
                 {0, 50, "X-One: 1\r\nX-Two: 2\r\nRANGE: bytes=0-50\r\n"},
                 {5, 9, "X-One: 1\r\nX-Two: 2\r\nRANGE: bytes=5-9\r\n"}};
    for (const auto& c : cases)
        EXPECT_EQ(UpdateRequestHeaders(lines, {c.Start, c.End}), c.Want) << c.Start << "-" << c.End;
    EXPECT_EQ(UpdateRequestHeaders(TStringList(), {}), "");
}

TEST(UpdateHTTPTest, PostOnlyWhenAskedOrWithData) {
    EXPECT_FALSE(UpdateIsPost(rmAutomatic, false));
    EXPECT_TRUE(UpdateIsPost(rmAutomatic, true));
    EXPECT_FALSE(UpdateIsPost(rmGet, true));
    EXPECT_TRUE(UpdateIsPost(rmPost, false));
}

TEST(UpdateHTTPTest, RealmOfTheChallenge) {
    EXPECT_EQ(UpdateRealm("Basic realm=\"Updates\""), "Updates");
    EXPECT_EQ(UpdateRealm("Basic realm=\""), "");
    EXPECT_EQ(UpdateRealm("NTLM"), "NTLM");
}

TEST(UpdateHTTPTest, PriorityLevelsRoundTrip) {
    for (int i = tpIdle; i <= tpTimeCritical; ++i)
        EXPECT_EQ(ThreadPriorityOf(ThreadPriorityValue(static_cast<TThreadPriority>(i))), i);
    EXPECT_EQ(ThreadPriorityValue(tpIdle), -15);
    EXPECT_EQ(ThreadPriorityValue(tpTimeCritical), 15);
    EXPECT_EQ(ThreadPriorityOf(7), tpNormal);
}

TEST(UpdateHTTPTest, HttpDates) {
    // 1994-11-06 is day 34644 after 1899-12-30; 08:49:37 is 31777 s into it.
    const double nov6 = 34644, at = 31777 / 86400.0;
    const struct {
        const char* Text;
        double Want;
    } cases[] = {
        {"Sun, 06 Nov 1994 08:49:37 GMT", nov6 + at},
        {"Sunday, 06-Nov-94 08:49:37 GMT", nov6 + at},
        {"Sun Nov  6 08:49:37 1994", nov6 + at},
        {"  sun, 06 nov 1994 08:49:37 +0200 ", nov6 + at - 120 / 1440.0},
        {"06 Nov 1994 08:49:37 -0130", nov6 + at + 90 / 1440.0},
        {"06 Nov 1994", nov6},
        {"x Nov 1994", nov6 - 5},  // a day that is no number counts as the first
        {"01 Jan 2000 00:00:00 GMT", 36526},
        {"", 0},
        {"garbage", 0},
        {"31 Feb 1994", 0},
        {"06 Nov 1994 25:00:00", 0},
        {"Sun, 06 Foo 1994 08:49:37 GMT", 0},
    };
    for (const auto& c : cases)
        EXPECT_NEAR(UpdateHTTPDate(c.Text), c.Want, 1e-9) << c.Text;
}
