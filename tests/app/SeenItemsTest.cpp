// The store of items shown, over real files in the temporary folder: what it remembers and
// forgets, that the file is only ever replaced whole, and that a damaged file reads as empty.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "app/SeenItems.h"
#include "tests/support/TestFiles.h"

namespace fs = std::filesystem;

namespace {

bool Rename(const std::string& From, const std::string& To) {
    return std::rename(From.c_str(), To.c_str()) == 0;
}

std::vector<TFeedItem> Items(int First, int Count) {
    std::vector<TFeedItem> items;
    for (int i = First; i < First + Count; ++i)
        items.push_back({"line " + std::to_string(i), "http://x/" + std::to_string(i)});
    return items;
}

class SeenItems : public ::testing::Test {
protected:
    void SetUp() override {
        dir = testing::TempDir() + "pelorin_seen_" +
              ::testing::UnitTest::GetInstance()->current_test_info()->name();
        fs::remove_all(dir);
        fs::create_directories(dir);
        path = dir + "/" + SeenItemsFileName;
    }
    void TearDown() override { fs::remove_all(dir); }
    TSeenItems Loaded(const TReplaceFile& Replace = Rename) {
        TSeenItems s(path, Replace);
        s.Load();
        return s;
    }
    void WriteFile(const std::string& Text) { std::ofstream(path, std::ios::binary) << Text; }

    std::string dir, path;
};

TEST_F(SeenItems, RemembersTheListedItemsAcrossLoadsAndPicksTheUnseen) {
    TSeenItems s = Loaded();
    const auto items = Items(0, 5);
    s.MarkShown(items, 3);  // the last two were cut off the screen
    const TSeenItems again = Loaded();
    const auto unseen = again.Unseen(items);
    ASSERT_EQ(unseen.size(), 2u);
    EXPECT_EQ(unseen[0].Key, items[3].Key);
    EXPECT_EQ(unseen[1].Line, items[4].Line);
    EXPECT_TRUE(again.Unseen(Items(0, 3)).empty());
}

TEST_F(SeenItems, KeepsOnlyTheNewestAndAnItemSeenAgainBecomesNewest) {
    const int max = static_cast<int>(TSeenItems::MaxItems);
    TSeenItems s = Loaded();
    s.MarkShown(Items(0, max), max);
    s.MarkShown(Items(0, 1), 1);    // item 0 shown again
    s.MarkShown(Items(max, 2), 2);  // two new ones push out the two oldest
    const TSeenItems r = Loaded();
    EXPECT_EQ(r.Count(), TSeenItems::MaxItems);
    EXPECT_TRUE(r.Seen(Items(0, 1)[0].Key));
    EXPECT_FALSE(r.Seen(Items(1, 1)[0].Key));
    EXPECT_FALSE(r.Seen(Items(2, 1)[0].Key));
    EXPECT_TRUE(r.Seen(Items(3, 1)[0].Key));
    EXPECT_TRUE(r.Seen(Items(max + 1, 1)[0].Key));
}

TEST_F(SeenItems, TheFileIsReplacedWholeOrNotAtAll) {
    Loaded().MarkShown(Items(0, 2), 2);
    const std::string before = ReadWholeFile(path);

    // The replacing step finds the new file complete while the old one is still in place.
    std::string staged, untouched;
    Loaded().MarkShown(Items(2, 1), 1);
    TSeenItems s = Loaded([&](const std::string& From, const std::string& To) {
        staged = ReadWholeFile(From);
        untouched = ReadWholeFile(To);
        return Rename(From, To);
    });
    s.MarkShown(Items(3, 1), 1);
    EXPECT_EQ(staged, ReadWholeFile(path));
    EXPECT_NE(staged.find("http://x/3"), std::string::npos);
    EXPECT_EQ(untouched.find("http://x/3"), std::string::npos);

    // A refused replace or an unwritable temporary file leaves the file as it was, and no
    // temporary file behind.
    const std::string now = ReadWholeFile(path);
    EXPECT_THROW(
        Loaded([](const std::string&, const std::string&) { return false; }).MarkShown(Items(9, 1), 1),
        EStreamError);
    fs::create_directory(path + ".tmp");  // a folder where the temporary file would go
    EXPECT_THROW(Loaded().MarkShown(Items(9, 1), 1), EStreamError);
    fs::remove(path + ".tmp");
    EXPECT_EQ(ReadWholeFile(path), now);
    EXPECT_NE(now, before);
    EXPECT_EQ(std::vector<fs::path>(fs::directory_iterator(dir), fs::directory_iterator()),
              std::vector<fs::path>{fs::path(path)});
}

TEST_F(SeenItems, AMissingUnreadableOrDamagedFileReadsAsEmpty) {
    Loaded().MarkShown(Items(0, 3), 3);
    const std::string good = ReadWholeFile(path);
    ASSERT_EQ(Loaded().Count(), 3u);
    const std::string longKey(TSeenItems::MaxKeyLength + 1, 'k');
    const char zero[] = "Pelorin seen items: 1\r\nhttp://x\0/0\r\n";
    const struct {
        const char* What;
        std::string Text;
    } cases[] = {
        {"empty", ""},
        {"cut off mid-line", good.substr(0, good.size() - 3)},
        {"a line missing", good.substr(0, good.rfind("http://x/2"))},
        {"a line too many", good + "http://x/9\r\n"},
        {"another file", "[Settings]\r\nID=AA\r\n"},
        {"count not a number", "Pelorin seen items: 1x\r\nhttp://x/0\r\n"},
        {"a zero byte", std::string(zero, sizeof(zero) - 1)},
        {"an empty key", "Pelorin seen items: 1\r\n\r\n"},
        {"a key too long", "Pelorin seen items: 1\r\n" + longKey + "\r\n"},
    };
    for (const auto& c : cases) {
        WriteFile(c.Text);
        EXPECT_EQ(Loaded().Count(), 0u) << c.What;
    }
    fs::remove(path);
    EXPECT_EQ(Loaded().Count(), 0u) << "missing";
    fs::create_directory(path);
    EXPECT_EQ(Loaded().Count(), 0u) << "a folder in its place";
}

TEST(SeenKey, IsTheLinkOrTheTitleOnOneBoundedLine) {
    EXPECT_EQ(SeenKey({"Editor 2.1|freeware", "http://x/1", "", "", ""}), "http://x/1");
    EXPECT_EQ(SeenKey({"Editor 2.1|freeware", "", "", "", ""}), "Editor 2.1|freeware");
    EXPECT_EQ(SeenKey({"", "http://x/\r\n1\t", "", "", ""}), "http://x/  1 ");
    EXPECT_EQ(SeenKey({"", std::string(5000, 'a'), "", "", ""}).size(), TSeenItems::MaxKeyLength);
}

}  // namespace
