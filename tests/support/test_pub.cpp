#include "support/pub.h"

#include "common/test_support.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <sys/stat.h>
#include <utime.h>

using testing_support::ScopedCodePage;
using testing_support::ScopedTimeZone;
using testing_support::TempDir;

TEST(CPubPaths, AppendPathJoinsWithOneSlash) {
    EXPECT_EQ(CPub::AppendPath("/a", "b"), "/a/b");
    EXPECT_EQ(CPub::AppendPath("/a/", "/b"), "/a/b");
    EXPECT_EQ(CPub::AppendPath("/", "b"), "/b");
    EXPECT_EQ(CPub::AppendPath("", "b"), "b");
    EXPECT_EQ(CPub::AppendPath("/a", ""), "/a");
}

TEST(CPubPaths, ParseFilenameSplitsAtLastSlash) {
    CString name;
    CString rest;
    CPub::parseFilename("/x/y/z.txt", name, rest);
    EXPECT_EQ(name, "z.txt");
    EXPECT_EQ(rest, "/x/y");
    CPub::parseFilename("plain", name, rest);
    EXPECT_EQ(name, "plain");
    EXPECT_EQ(rest, "");
}

TEST(CPubFiles, MemoryRoundTripAndErrors) {
    TempDir dir;
    const std::string path = dir.Path("data.bin");
    const unsigned char bytes[] = {0, 1, 2, 255};
    ASSERT_TRUE(CPub::Mem2File(bytes, path.c_str(), 4));
    EXPECT_TRUE(CPub::FileExists(path.c_str()));
    EXPECT_FALSE(CPub::FileExists(dir.path().c_str()));  // a directory is no file
    unsigned char* back = nullptr;
    long length = 0;
    ASSERT_TRUE(CPub::File2Mem(&back, path.c_str(), &length));
    ASSERT_EQ(length, 4);
    EXPECT_EQ(back[3], 255);
    std::free(back);
    CString text;
    ASSERT_TRUE(CPub::File2CString(text, path.c_str()));
    EXPECT_EQ(text.GetLength(), 4);

    EXPECT_FALSE(CPub::File2CString(text, dir.Path("missing").c_str()));
    EXPECT_EQ(CPub::GetLastError(), "No such file or directory");
    EXPECT_FALSE(CPub::Mem2File(bytes, dir.Path("no/such/dir").c_str(), 4));
    EXPECT_EQ(CPub::GetLastError(), "No such file or directory");
}

TEST(CPubFiles, ReadOnlyIsTheOwnerWriteBit) {
    TempDir dir;
    const std::string path = dir.Path("ro.txt");
    testing_support::WriteFile(path, "x");
    EXPECT_FALSE(CPub::IsFileReadOnly(path.c_str()));
    ASSERT_TRUE(CPub::SetFileReadOnly(path.c_str(), 1));
    EXPECT_TRUE(CPub::IsFileReadOnly(path.c_str()));
    ASSERT_TRUE(CPub::SetFileReadOnly(path.c_str(), 0));
    EXPECT_FALSE(CPub::IsFileReadOnly(path.c_str()));
}

TEST(CPubFiles, CompareFileTimeSize) {
    ScopedTimeZone tz("UTC0");
    TempDir dir;
    const std::string a = dir.Path("a");
    const std::string b = dir.Path("b");
    testing_support::WriteFile(a, "12345");
    testing_support::WriteFile(b, "12345");
    struct utimbuf older {
        1000000000, 1000000000
    };
    struct utimbuf newer {
        1000000100, 1000000100
    };
    utime(a.c_str(), &older);
    utime(b.c_str(), &older);
    EXPECT_EQ(CPub::CompareFileTimeSize(a.c_str(), b.c_str(), 1, 1), 0);
    utime(b.c_str(), &newer);
    EXPECT_LT(CPub::CompareFileTimeSize(a.c_str(), b.c_str(), 1, 1), 0);
    EXPECT_LT(CPub::CompareFileTimeSize(a.c_str(), b.c_str(), 0, 1), 0);
    EXPECT_GT(CPub::CompareFileTimeSize(b.c_str(), a.c_str(), 0, 1), 0);
    EXPECT_EQ(CPub::CompareFileTimeSize(a.c_str(), b.c_str(), 1, 0), 0);  // sizes only
    testing_support::WriteFile(b, "1234");
    utime(b.c_str(), &older);
    EXPECT_GT(CPub::CompareFileTimeSize(a.c_str(), b.c_str(), 1, 1), 0);

    CString size;
    CString time;
    EXPECT_EQ(CPub::GetFileTimeSize(b.c_str(), size, time), 4);
    EXPECT_EQ(size, "4");
    EXPECT_EQ(time, "2001-09-09 01:46:40");
    EXPECT_EQ(CPub::CString2CTime(time), 1000000000);
    EXPECT_EQ(CPub::GetFileTimeSize(dir.Path("none").c_str(), size, time), -1);
}

TEST(CPubStrings, FindNoCaseAndMemmem) {
    EXPECT_EQ(CPub::FindNoCase("Hello World", "WORLD"), 6);
    EXPECT_EQ(CPub::FindNoCase("Hello", "hello"), 0);
    EXPECT_EQ(CPub::FindNoCase("Hello", "xyz"), -1);
    EXPECT_EQ(CPub::FindNoCase("ab", "abc"), -1);
    const char bytes[] = {'a', 0, 'b', 'A', 0, 'B'};
    EXPECT_EQ(CPub::memmem(bytes, "\0b", 0, 6, 2, 0), 1);
    EXPECT_EQ(CPub::memmem(bytes, "A\0B", 0, 6, 3, 0), 3);
    EXPECT_EQ(CPub::memmem(bytes, "a\0b", 1, 6, 3, 1), 3);
    EXPECT_EQ(CPub::memmem(bytes, "a\0b", 4, 6, 3, 1), -1);
    EXPECT_EQ(CPub::memmem(bytes, "x", -1, 6, 1, 0), -1);
}

TEST(CPubStrings, CaseFreeMatchesStartAndEndOnWholeCharacters) {
    ScopedCodePage cp("CP932");  // katakana A is 83 41, DI is 83 61
    EXPECT_EQ(CPub::FindNoCase("\x83\x61", "a"), -1);
    EXPECT_EQ(CPub::FindNoCase("\x83\x61", "A"), -1);
    EXPECT_EQ(CPub::FindNoCase("\x83\x61", "\x83\x41"), -1);
    EXPECT_EQ(CPub::FindNoCase("\x83\x61"
                               "A",
                               "a"),
              2);
    EXPECT_EQ(CPub::FindNoCase("x\x83\x41\x83\x61", "\x83\x61"), 3);
    EXPECT_EQ(CPub::FindNoCase("\x83\x83\x61", "\x83\x61"), -1);  // 83 83 is one character
    EXPECT_EQ(CPub::memmem("\x83\x61"
                           "Ab",
                           "aB", 0, 4, 2, 1),
              2);
    EXPECT_EQ(CPub::memmem("\x83\x61"
                           "Ab",
                           "ab", 0, 4, 2, 0),
              -1);
    CStringArray names;
    names.Add("\x83\x41");
    EXPECT_EQ(CPub::ArrayCompareNoCase(names, "\x83\x61", 0), -1);
}

TEST(CPubStrings, LeftRightAndSplit) {
    EXPECT_EQ(CPub::GetLeft("10:20:30.5", ".", 0), "10:20:30");
    EXPECT_EQ(CPub::GetRight("10:20:30.5", ".", 0), "5");
    EXPECT_EQ(CPub::GetLeft("no-dot", ".", 0), "no-dot");
    EXPECT_EQ(CPub::GetRight("no-dot", ".", 0), "");
    EXPECT_EQ(CPub::GetRight("a.b.c", ".", 1), "c");
    CStringArray parts;
    EXPECT_EQ(CPub::CString2Array(parts, "a\r\n\r\n b \r\nc", "\r\n", 0), 4);
    EXPECT_EQ(parts[1], "");
    EXPECT_EQ(parts[2], " b ");
    EXPECT_EQ(CPub::CString2Array(parts, " x : y ", ":", 1), 2);
    EXPECT_EQ(parts[0], "x");
    EXPECT_EQ(CPub::CString2Array(parts, "", ":", 0), 0);
    parts.RemoveAll();
    parts.Add("/usr/bin");
    parts.Add("/BIN");
    EXPECT_EQ(CPub::ArrayCompareNoCase(parts, "/bin", 0), 1);
    EXPECT_EQ(CPub::ArrayCompareNoCase(parts, "/sbin", 0), -1);
    EXPECT_EQ(CPub::ArrayCompareNoCase(parts, "/usr/bin/x", 1), 0);
}

TEST(CPubTime, ReadsTheTextFormsItAccepts) {
    ScopedTimeZone tz("UTC0");
    struct Case {
        const char* text;
        time_t expected;
    };
    const Case cases[] = {
        {"2005-03-07 10:20:30", 1110190830},
        {"2005/03/07 10:20:30", 1110190830},
        {"2005.3.7 10:20:30", 1110190830},
        {"2005-03-07T10:20:30", 1110190830},
        {"2005-03-07T10:20:30.1234567", 1110190830},
        {"  2005-3-7 10:20:30  ", 1110190830},
        {"2005-03-07 10:20", 1110190800},
        {"2005-03-07", 1110153600},
        {"2038-01-19 03:14:08", 2147483648},
    };
    for (const Case& c : cases) EXPECT_EQ(CPub::CString2CTime(c.text), c.expected) << c.text;
    EXPECT_EQ(CPub::CTime2CString(1110190830), "2005-03-07 10:20:30");
}

TEST(CPubTime, RejectsWhatIsNoDate) {
    const char* bad[] = {"",
                         "2005",
                         "2005-13-01",
                         "2005-02-30",
                         "2005-02-29",
                         "9999999999-01-01",
                         "2005-01-01 25:00",
                         "2005-01-01 10:60",
                         "2005-01-01X",
                         "2005-01/01",
                         "2005-01-01 10:20:30.",
                         "2005-01-01 10",
                         "-2005-01-01",
                         "2005-001-01",
                         "2005-01-01Z",
                         "2005-01-01 10:20:30 Z",
                         "2005-01-01 10:20:30+1:00",
                         "2005-01-01 10:20:30+14:30",
                         "9999-12-31 23:59:06-03:15",   // the zone carries it past the year 9999
                         "0001-01-01 03:06:00+03:15"};  // and this one before the year 1
    for (const char* text : bad) {
        time_t t = 7;
        EXPECT_FALSE(CPub::CString2CTime(text, t)) << text;
        EXPECT_EQ(CPub::CString2CTime(text), 0) << text;
    }
}

TEST(CPubTime, ReadsAZoneAsTheInstantItNames) {
    ScopedTimeZone tz("CET-1CEST,M3.5.0,M10.5.0/3");
    struct Case {
        const char* text;
        time_t expected;
    };
    const Case cases[] = {
        {"2005-03-07T10:20:30Z", 1110190830},
        {"2005-03-07T10:20:30.5Z", 1110190830},
        {"2005-03-07T12:20:30+02:00", 1110190830},
        {"2005-03-07T05:20:30-05:00", 1110190830},
        {"2005-03-07 10:20Z", 1110190800},
        {"2005-03-27T02:30:00Z", 1111890600},  // no such local time, a fine UTC one
    };
    for (const Case& c : cases) EXPECT_EQ(CPub::CString2CTime(c.text), c.expected) << c.text;
    struct tm fields {};
    EXPECT_EQ(CPub::CString2TimeFields("2005-03-07T10:20:30Z", fields), 0);  // without room for the zone
    long zone = 7;
    ASSERT_EQ(CPub::CString2TimeFields("2005-03-07T10:20:30-05:30", fields, &zone), 1);
    EXPECT_EQ(zone, -19800);
    EXPECT_EQ(fields.tm_hour, 10);
    ASSERT_EQ(CPub::CString2TimeFields("2005-03-07T10:20:30", fields, &zone), 1);
    EXPECT_EQ(zone, CPub::kNoZone);
}

TEST(CPubTime, LocalTimeFollowsTheZone) {
    ScopedTimeZone tz("CET-1CEST,M3.5.0,M10.5.0/3");
    EXPECT_EQ(CPub::CString2CTime("2005-01-15 12:00:00"), 1105786800);  // UTC+1
    EXPECT_EQ(CPub::CString2CTime("2005-07-15 12:00:00"), 1121421600);  // UTC+2
    EXPECT_EQ(CPub::CTime2CString(1121421600), "2005-07-15 12:00:00");
}

TEST(CPubVariant, Texts) {
    EXPECT_EQ(CPub::Variant2CString(CVariant(CString("x"))), "x");
    EXPECT_EQ(CPub::Variant2CString(CVariant()), "");
}

namespace {

// "hello szdd world\n" as COMPRESS.EXE writes it; byte 9 keeps the character
// that the '_' of the name replaced.
std::string SzddFile(char missing) {
    std::string bytes(
        "SZDD\x88\xf0\x27\x33\x41\x00\x11\x00\x00\x00\xffhello sz\xff"
        "dd world\x01\x0a",
        34);
    bytes[9] = missing;
    return bytes;
}

}  // namespace

TEST(CPubCompressed, ExpandsAndRestoresTheName) {
    TempDir dir;
    const std::string packed = dir.Path("readme.tx_");
    testing_support::WriteFile(packed, SzddFile('t'));
    EXPECT_TRUE(CPub::IsLZCompressedFile(packed.c_str()));
    CString out;
    ASSERT_TRUE(CPub::LZCopyFile2Dir(packed.c_str(), dir.path().c_str(), out));
    EXPECT_EQ(out, CString(dir.Path("readme.txt").c_str()));
    EXPECT_EQ(testing_support::ReadFile(out.GetString()), "hello szdd world\n");

    // Without a kept character the '_' is dropped.
    const std::string bare = dir.Path("notes.txt_");
    testing_support::WriteFile(bare, SzddFile('\0'));
    ASSERT_TRUE(CPub::LZCopyFile2Dir(bare.c_str(), dir.path().c_str(), out));
    EXPECT_EQ(out, CString(dir.Path("notes.txt").c_str()));
}

TEST(CPubFiles, NamesInTheCodePageReachTheFileSystemAsUtf8) {
    ScopedCodePage cp("CP1252");
    TempDir dir;
    testing_support::WriteFile(dir.Path("caf\xC3\xA9.txt"), "abc");
    const std::string cafe = dir.Path("caf\xE9.txt");
    EXPECT_TRUE(CPub::FileExists(cafe.c_str()));
    CString size;
    CString time;
    EXPECT_EQ(CPub::GetFileTimeSize(cafe.c_str(), size, time), 3);
    EXPECT_EQ(CPub::CompareFileTimeSize(cafe.c_str(), cafe.c_str(), 1, 1), 0);
    ASSERT_TRUE(CPub::SetFileReadOnly(cafe.c_str(), 1));
    EXPECT_TRUE(CPub::IsFileReadOnly(cafe.c_str()));
    testing_support::WriteFile(dir.Path("l\xC3\xA9gume.tx_"), SzddFile('t'));
    const std::string packed = dir.Path("l\xE9gume.tx_");
    EXPECT_TRUE(CPub::IsLZCompressedFile(packed.c_str()));
    CString out;
    ASSERT_TRUE(CPub::LZCopyFile2Dir(packed.c_str(), dir.path().c_str(), out)) << CPub::GetLastError().str();
    EXPECT_EQ(out.str(), dir.Path("l\xE9gume.txt"));
    EXPECT_EQ(testing_support::ReadFile(dir.Path("l\xC3\xA9gume.txt")), "hello szdd world\n");
}

TEST(CPubCompressed, PlainAndCorruptFiles) {
    TempDir dir;
    const std::string plain = dir.Path("plain.tx_");
    testing_support::WriteFile(plain, "not compressed at all");
    EXPECT_FALSE(CPub::IsLZCompressedFile(plain.c_str()));
    EXPECT_FALSE(CPub::IsLZCompressedFile(dir.Path("missing").c_str()));
    CString out;
    EXPECT_FALSE(CPub::LZCopyFile2Dir(plain.c_str(), dir.path().c_str(), out));
    EXPECT_NE(CPub::GetLastError().Find("not an SZDD-compressed file"), -1);
    EXPECT_TRUE(out.IsEmpty());
}
