// The line buffer of line mode, fed in pieces as the network splits them.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "http/LineBuffer.h"

namespace {
struct Fed {
    std::vector<std::string> lines;
    std::string echo;
    std::string rest;
};

// Appends each piece from an exact-size copy, takes every whole line out three bytes at a
// time, and finally reads what is left.
Fed Feed(const std::string& LineEnd, bool Edit, bool Echo, const std::vector<std::string>& Pieces) {
    TLineBuffer b;
    b.SetLineEnd(LineEnd);
    Fed out;
    for (const auto& piece : Pieces) {
        const std::vector<char> bytes(piece.begin(), piece.end());
        out.echo += b.Append(bytes.data(), bytes.size(), Edit, Echo);
        while (b.NextLine()) {
            std::string line;
            char buf[3];
            while (size_t n = b.ReadLine(buf, sizeof buf))
                line.append(buf, n);
            out.lines.push_back(line);
        }
    }
    char buf[16];
    while (size_t n = b.Read(buf, sizeof buf))
        out.rest.append(buf, n);
    return out;
}

std::vector<std::string> Bytes(const std::string& S) {
    std::vector<std::string> v;
    for (char c : S)
        v.emplace_back(1, c);
    return v;
}
}  // namespace

TEST(TLineBufferTest, LinesComeWholeHoweverTheyAreSplit) {
    struct Case {
        const char* name;
        std::string lineEnd;
        std::vector<std::string> pieces;
        std::vector<std::string> lines;
        std::string rest;
    };
    const Case cases[] = {
        {"terminator split", "\r\n", {"hel", "lo\r", "\nwor", "ld\r\n"}, {"hello\r\n", "world\r\n"}, ""},
        {"several in one piece", "\r\n", {"a\r\nbb\r\nccc"}, {"a\r\n", "bb\r\n"}, "ccc"},
        {"byte by byte", "\r\n", Bytes("ab\r\ncd\r\ne"), {"ab\r\n", "cd\r\n"}, "e"},
        {"one-byte terminator", "\n", {"x\ny", "\n"}, {"x\n", "y\n"}, ""},
        {"long terminator in three pieces", "END", {"aE", "N", "DbEN", "D"}, {"aEND", "bEND"}, ""},
        {"a lone half terminator", "\r\n", {"a\rb\r", "\r\n"}, {"a\rb\r\r\n"}, ""},
        {"empty pieces", "\r\n", {"", "a\r\n", ""}, {"a\r\n"}, ""},
        {"empty lines", "\r\n", {"\r\n\r", "\n"}, {"\r\n", "\r\n"}, ""},
        {"no terminator at all", "\r\n", {"abc", "def"}, {}, "abcdef"},
    };
    for (const auto& c : cases) {
        const Fed got = Feed(c.lineEnd, false, false, c.pieces);
        EXPECT_EQ(got.lines, c.lines) << c.name;
        EXPECT_EQ(got.rest, c.rest) << c.name;
        EXPECT_EQ(got.echo, "") << c.name;
    }
}

TEST(TLineBufferTest, EditingAndEchoStayWithinTheCurrentLine) {
    struct Case {
        const char* name;
        bool edit;
        std::vector<std::string> pieces;
        std::vector<std::string> lines;
        std::string echo;
        std::string rest;
    };
    const Case cases[] = {
        {"backspace", true, {"ab\bc\r\n"}, {"ac\r\n"}, "ab\b \bc\r\n", ""},
        {"tab to the next multiple of 8", true, {"ac\td\r\n"}, {"ac      d\r\n"}, "ac      d\r\n", ""},
        {"backspace at a line's start",
         true,
         {"ab\r\n\bc\td\r\n"},
         {"ab\r\n", "c       d\r\n"},
         "ab\r\nc       d\r\n",
         ""},
        {"backspace in a later piece", true, {"ab", "\b", "c\r\n"}, {"ac\r\n"}, "ab\b \bc\r\n", ""},
        {"backspace takes back half a terminator", true, {"ab\r", "\b\n"}, {}, "ab\r\b \b\n", "ab\n"},
        {"backspaces reach back before a half terminator",
         true,
         {"abc\r", "\b\b\r\n"},
         {"ab\r\n"},
         "abc\r\b \b\b \b\r\n",
         ""},
        {"terminator completed in a later piece",
         true,
         {"a\r", "\n\bb\r\n"},
         {"a\r\n", "b\r\n"},
         "a\r\nb\r\n",
         ""},
        {"tab stops count from the line's start",
         true,
         {"x\r\n", "\ty"},
         {"x\r\n"},
         "x\r\n        y",
         "        y"},
        {"without editing, echo is what came", false, {"a\bb\t", "\r\n"}, {"a\bb\t\r\n"}, "a\bb\t\r\n", ""},
    };
    for (const auto& c : cases) {
        const Fed got = Feed("\r\n", c.edit, true, c.pieces);
        EXPECT_EQ(got.lines, c.lines) << c.name;
        EXPECT_EQ(got.echo, c.echo) << c.name;
        EXPECT_EQ(got.rest, c.rest) << c.name;
        EXPECT_EQ(Feed("\r\n", c.edit, false, c.pieces).echo, "") << c.name;
    }
}

TEST(TLineBufferTest, WhatAReaderLeavesOfALineIsDroppedOrKept) {
    TLineBuffer b;
    const std::string in = "abc\r\nnext\r\nrest";
    b.Append(in.data(), in.size(), false, false);
    char buf[16];
    ASSERT_TRUE(b.NextLine());
    EXPECT_EQ(b.ReadLine(buf, 1), 1u);
    EXPECT_EQ(b.LineLeft(), 4u);
    // Line mode carries on: the rest of the line goes.
    b.SkipLine();
    ASSERT_TRUE(b.NextLine());
    EXPECT_EQ(b.ReadLine(buf, 2), 2u);
    // Line mode ends: what is left stays, for reading as it comes.
    b.Rescan();
    EXPECT_EQ(b.LineLeft(), 0u);
    const size_t n = b.Read(buf, sizeof buf);
    EXPECT_EQ(std::string(buf, n), "xt\r\nrest");
}

TEST(TLineBufferTest, TheRestBecomesTheLastLineAndANewTerminatorRescans) {
    TLineBuffer b;
    EXPECT_FALSE(b.TakeRest());
    const std::string in = "a;b";
    b.Append(in.data(), in.size(), false, false);
    EXPECT_FALSE(b.NextLine());
    b.SetLineEnd(";");
    ASSERT_TRUE(b.NextLine());
    EXPECT_EQ(b.LineLeft(), 2u);
    b.SkipLine();
    ASSERT_TRUE(b.TakeRest());
    char buf[4];
    EXPECT_EQ(std::string(buf, b.ReadLine(buf, sizeof buf)), "b");
    EXPECT_TRUE(b.Empty());
}
