#include <orvex/pub_ex.h>

#include "common/test_support.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <string>

using testing_support::ScopedCodePage;
using testing_support::ScopedTimeZone;

namespace {

struct Block {
    explicit Block(const std::string& bytes) : len(static_cast<long>(bytes.size())) {
        buf = static_cast<char*>(std::malloc(bytes.size() + 1));
        std::memcpy(buf, bytes.data(), bytes.size());
    }
    ~Block() { std::free(buf); }
    std::string Bytes() const { return std::string(buf, static_cast<size_t>(len)); }
    char* buf;
    long len;
};

std::string Replaced(const char* text, const char* find, const char* repl, int bCase, int* count) {
    CString s(text);
    *count = CPubEx::ReplaceStr(s, find, repl, bCase);
    return s.str();
}

}  // namespace

TEST(PubExText, ReplaceStrWithAndWithoutLetterCase) {
    struct Case {
        const char* text;
        const char* find;
        const char* repl;
        int bCase;
        const char* result;
        int count;
    };
    const Case cases[] = {
        {"ABcab", "ab", "x", 0, "xcx", 2},
        {"ABcab", "ab", "x", 1, "ABcx", 1},
        {"aaa", "a", "aa", 0, "aaaaaa", 3},  // the inserted text is not searched again
        {"aaa", "A", "Aa", 0, "AaAaAa", 3},
        {"abc", "", "x", 0, "abc", 0},
        {"abc", "", "x", 1, "abc", 0},
        {"abc", nullptr, "x", 0, "abc", 0},
        {"a-b-c", "-", nullptr, 0, "abc", 2},
        {"a-b-c", "-", "", 1, "abc", 2},
        {"aaaa", "aa", "b", 0, "bb", 2},
        {"Straße STRASSE", "strasse", "x", 0, "Straße x", 1},  // only ASCII letters fold
        {"", "a", "b", 0, "", 0},
    };
    for (const Case& c : cases) {
        int count = -1;
        EXPECT_EQ(Replaced(c.text, c.find, c.repl, c.bCase, &count), c.result) << c.text << " " << c.find;
        EXPECT_EQ(count, c.count) << c.text;
    }
}

TEST(PubExText, ReplaceStrWithoutCaseLeavesDoubleByteCharactersWhole) {
    ScopedCodePage cp("CP932");  // katakana A is 83 41, DI is 83 61
    int count = -1;
    EXPECT_EQ(Replaced("\x83\x41"
                       "A\x83\x61",
                       "a", "x", 0, &count),
              "\x83\x41"
              "x\x83\x61");
    EXPECT_EQ(count, 1);
    EXPECT_EQ(Replaced("\x83\x61", "\x83\x41", "x", 0, &count), "\x83\x61");
    EXPECT_EQ(count, 0);
}

TEST(PubExText, HtmlToNormalDecodesSixEntitiesAmpLast) {
    struct Case {
        const char* text;
        const char* result;
        int count;
    };
    const Case cases[] = {
        {"&amp;lt;", "&lt;", 1},
        {"a&nbsp;b", "a b", 1},
        {"&LT;", "<", 1},
        {"&Amp;&NBSP;", "& ", 2},
        {"&lt;&gt;&quot;&apos;&amp;", "<>\"'&", 5},
        {"&amp;amp;", "&amp;", 1},
        {"&#60;&copy;&", "&#60;&copy;&", 0},
        {"&&lt;;", "&<;", 1},
        {"no entities", "no entities", 0},
        {"&lt", "&lt", 0},
        {"", "", 0},
    };
    for (const Case& c : cases) {
        CString s(c.text);
        EXPECT_EQ(CPubEx::HTML_ToNormal(s), c.count) << c.text;
        EXPECT_EQ(s, c.result) << c.text;
    }
}

TEST(PubExText, HtmlToNormalMatchesSixPassesInOrder) {
    // The one-pass decoding against the six ordered replacements it stands for.
    const char* alphabet[] = {"&", "amp;", "lt;", "gt;", "nbsp;", "quot;", "apos;", "AMP;", "x", " ", ";"};
    unsigned seed = 12345;
    for (int round = 0; round < 2000; ++round) {
        std::string text;
        for (int i = 0; i < 8; ++i) {
            seed = seed * 1103515245u + 12345u;
            text += alphabet[(seed >> 16) % (sizeof alphabet / sizeof *alphabet)];
        }
        CString passes(text.c_str());
        int expected = 0;
        expected += CPubEx::ReplaceStr(passes, "&nbsp;", " ", 0);
        expected += CPubEx::ReplaceStr(passes, "&lt;", "<", 0);
        expected += CPubEx::ReplaceStr(passes, "&gt;", ">", 0);
        expected += CPubEx::ReplaceStr(passes, "&quot;", "\"", 0);
        expected += CPubEx::ReplaceStr(passes, "&apos;", "'", 0);
        expected += CPubEx::ReplaceStr(passes, "&amp;", "&", 0);
        CString once(text.c_str());
        EXPECT_EQ(CPubEx::HTML_ToNormal(once), expected) << text;
        EXPECT_EQ(once, passes) << text;
    }
}

TEST(PubExText, HtmlToHtmlEscapesAmpersandFirst) {
    CString s("<a & b>");
    EXPECT_EQ(CPubEx::HTML_ToHTML(s, 0), 3);
    EXPECT_EQ(s, "&lt;a &amp; b&gt;");
    s = "<a & b>";
    EXPECT_EQ(CPubEx::HTML_ToHTML(s, 1), 5);
    EXPECT_EQ(s, "&lt;a&nbsp;&amp;&nbsp;b&gt;");
    s = "\"it's\" &amp;";
    EXPECT_EQ(CPubEx::HTML_ToHTML(s, 0), 4);
    EXPECT_EQ(s, "&quot;it&apos;s&quot; &amp;amp;");
}

TEST(PubExText, StringToXmlEscapesAmpersandsWithoutDoubling) {
    CString s("a &amp; b & c");
    EXPECT_EQ(CPubEx::String_ToXML(s), 2);
    EXPECT_EQ(s, "a &amp; b &amp; c");
    s = "&lt;";
    EXPECT_EQ(CPubEx::String_ToXML(s), 1);
    EXPECT_EQ(s, "&amp;lt;");
    s = "&AMP; <>\"";
    EXPECT_EQ(CPubEx::String_ToXML(s), 1);
    EXPECT_EQ(s, "&amp; <>\"");
    s = "plain";
    EXPECT_EQ(CPubEx::String_ToXML(s), 0);
    EXPECT_EQ(s, "plain");
}

TEST(PubExText, MemReplaceGrowsShrinksAndRemoves) {
    {
        Block b("one two one");
        CPubEx::MemReplace(&b.buf, b.len, "one", "three", 0);
        EXPECT_EQ(b.Bytes(), "three two three");
        EXPECT_EQ(b.len, 15);
    }
    {
        Block b("xxABxxabxx");
        CPubEx::MemReplace(&b.buf, b.len, "ab", "", 1);  // flag: ignore letter case
        EXPECT_EQ(b.Bytes(), "xxxxxx");
    }
    {
        Block b("xxABxxabxx");
        CPubEx::MemReplace(&b.buf, b.len, "ab", "", 0);
        EXPECT_EQ(b.Bytes(), "xxABxxxx");
    }
    {
        Block b("aaa");
        CPubEx::MemReplace(&b.buf, b.len, "a", "aa", 0);  // replaced bytes are not searched again
        EXPECT_EQ(b.Bytes(), "aaaaaa");
    }
    {
        Block b(std::string("a\0b\0c", 5));
        CPubEx::MemReplace(&b.buf, b.len, CString("\0", 1), "--", 0);
        EXPECT_EQ(b.Bytes(), "a--b--c");
    }
    {
        Block b("same");
        char* before = b.buf;
        CPubEx::MemReplace(&b.buf, b.len, "", "x", 0);
        CPubEx::MemReplace(&b.buf, b.len, "absent", "x", 0);
        EXPECT_EQ(b.buf, before);
        EXPECT_EQ(b.Bytes(), "same");
    }
    {
        Block b("gone");
        CPubEx::MemReplace(&b.buf, b.len, "gone", "", 0);
        EXPECT_EQ(b.len, 0);
    }
}

TEST(PubExText, CurrentTimeStampHasTwelveCharacters) {
    ScopedTimeZone tz("UTC");
    for (int i = 0; i < 50; ++i) {
        const CString t = CPubEx::GetCurFullTime();
        ASSERT_EQ(t.GetLength(), 12) << t.GetString();
        for (int k : {0, 1, 3, 4, 6, 7, 9, 10, 11})
            EXPECT_TRUE(std::isdigit(static_cast<unsigned char>(t.GetAt(k))));
        EXPECT_EQ(t.GetAt(2), ':');
        EXPECT_EQ(t.GetAt(5), ':');
        EXPECT_EQ(t.GetAt(8), '.');
        EXPECT_LT(std::atoi(t.Left(2)), 24);
    }
    // Local time: the stamp follows the zone.
    const time_t now = time(nullptr);
    tm utc{};
    gmtime_r(&now, &utc);
    const CString stamp = CPubEx::GetCurFullTime();
    const int hour = std::atoi(stamp.Left(2));
    EXPECT_TRUE(hour == utc.tm_hour || hour == (utc.tm_hour + 1) % 24) << stamp.GetString();
}

TEST(PubExText, DurationsBorrowAndDoNotWrapHours) {
    struct Case {
        const char* start;
        const char* end;
        const char* result;
    };
    const Case cases[] = {
        {"10:00:59.900", "10:01:00.100", "0:0:0.200"},
        {"23:59:00.000", "00:01:00.000", "-24:2:0.000"},
        {"09:05:07.042", "09:06:12.084", "0:1:5.042"},
        {"01:00:00.000", "03:30:15.007", "2:30:15.007"},
        {"12:00:00.000", "12:00:00.000", "0:0:0.000"},
        {"10:00:00.5", "10:00:01.400", "0:0:1.395"},  // "5" is five milliseconds
        {"garbage", "10", "10:0:0.000"},              // what atoi cannot read counts as 0
        {"", "", "0:0:0.000"},
        {"99999999999:0:0.0", "0:0:0.0", "-1000000000:0:0.000"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(CPubEx::GetFullTimeOut(c.start, c.end), c.result) << c.start << " -> " << c.end;
}
