#include <orvex/arrays.h>
#include <orvex/cstring.h>

#include "common/test_support.h"

#include <gtest/gtest.h>

#include <string>

using testing_support::ScopedCodePage;

TEST(CString, HoldsEmbeddedZerosAndNullIsEmpty) {
    const CString s("a\0b", 3);
    EXPECT_EQ(s.GetLength(), 3);
    EXPECT_EQ(s.str(), std::string("a\0b", 3));
    EXPECT_TRUE(CString(static_cast<const char*>(nullptr)).IsEmpty());
    CString t("x");
    t = static_cast<const char*>(nullptr);
    EXPECT_TRUE(t.IsEmpty());
}

TEST(CString, SlicesClampOutOfRangeArguments) {
    const CString s("hello");
    EXPECT_EQ(s.Left(2), "he");
    EXPECT_EQ(s.Left(99), "hello");
    EXPECT_EQ(s.Left(-1), "");
    EXPECT_EQ(s.Right(3), "llo");
    EXPECT_EQ(s.Right(99), "hello");
    EXPECT_EQ(s.Mid(3), "lo");
    EXPECT_EQ(s.Mid(9), "");
    EXPECT_EQ(s.Mid(-2, 2), "he");
    EXPECT_EQ(s.Mid(1, 99), "ello");
}

TEST(CString, FindsAndReplaces) {
    CString s("abcabc");
    EXPECT_EQ(s.Find('c'), 2);
    EXPECT_EQ(s.Find('c', 3), 5);
    EXPECT_EQ(s.Find('c', 6), -1);
    EXPECT_EQ(s.Find('c', -1), -1);
    EXPECT_EQ(s.Find("bc", 2), 4);
    EXPECT_EQ(s.Find(""), 0);
    EXPECT_EQ(s.ReverseFind('a'), 3);
    EXPECT_EQ(s.FindOneOf("xc"), 2);
    EXPECT_EQ(s.Replace("bc", "X"), 2);
    EXPECT_EQ(s, "aXaX");
    EXPECT_EQ(s.Replace("", "y"), 0);
    CString grow("aaa");
    EXPECT_EQ(grow.Replace("a", "aa"), 3);
    EXPECT_EQ(grow, "aaaaaa");
    EXPECT_EQ(grow.Replace('a', 'b'), 6);
    EXPECT_EQ(grow.Remove('b'), 6);
    EXPECT_TRUE(grow.IsEmpty());
}

TEST(CString, InsertsAndDeletes) {
    CString s("ace");
    EXPECT_EQ(s.Insert(1, "b"), 4);
    EXPECT_EQ(s.Insert(3, 'd'), 5);
    EXPECT_EQ(s, "abcde");
    EXPECT_EQ(s.Insert(99, "!"), 6);
    EXPECT_EQ(s, "abcde!");
    EXPECT_EQ(s.Delete(1, 2), 4);
    EXPECT_EQ(s, "ade!");
    EXPECT_EQ(s.Delete(2, 99), 2);
    EXPECT_EQ(s.Delete(5, 1), 2);
    EXPECT_EQ(s, "ad");
}

TEST(CString, CaseAndTrim) {
    CString s(" \tMiXed\r\n");
    EXPECT_EQ(CString(s).Trim(), "MiXed");
    EXPECT_EQ(CString(s).TrimLeft(), "MiXed\r\n");
    EXPECT_EQ(CString(s).TrimRight(), " \tMiXed");
    EXPECT_EQ(CString("xxaxx").Trim('x'), "a");
    EXPECT_EQ(CString("//a//").TrimRight("/"), "//a");
    EXPECT_EQ(CString("   ").Trim(), "");
    EXPECT_EQ(CString("MiXed").MakeLower(), "mixed");
    EXPECT_EQ(CString("MiXed").MakeUpper(), "MIXED");
    EXPECT_EQ(CString("abc").MakeReverse(), "cba");
    EXPECT_EQ(CString("Name").CompareNoCase("NAME"), 0);
    EXPECT_LT(CString("a").CompareNoCase("B"), 0);
    EXPECT_GT(CString("b").Compare("a"), 0);
}

TEST(CString, CaseFoldingStepsOverWholeCharactersOfTheCodePage) {
    // Two characters that differ only in a trail byte, 'A' in one and 'a' in the other.
    struct Case {
        const char* codePage;
        const char* upperTrail;
        const char* lowerTrail;
    };
    const Case cases[] = {{"CP932", "\x83\x41", "\x83\x61"},  // katakana A and DI
                          {"GBK", "\x81\x41", "\x81\x61"},
                          {"BIG5", "\xA4\x41", "\xA4\x61"},
                          {"UHC", "\x81\x41", "\x81\x61"},
                          {"GB18030", "\x81\x41", "\x81\x61"}};
    for (const Case& c : cases) {
        ScopedCodePage cp(c.codePage);
        const CString upper(c.upperTrail);
        const CString lower(c.lowerTrail);
        EXPECT_NE(upper.CompareNoCase(lower), 0) << c.codePage;
        EXPECT_LT(upper.CompareNoCase(lower), 0) << c.codePage;
        EXPECT_EQ(CString(upper).MakeLower(), upper) << c.codePage;
        EXPECT_EQ(CString(lower).MakeUpper(), lower) << c.codePage;
        // ASCII letters around them still fold.
        EXPECT_EQ((lower + "Q").CompareNoCase(lower + "q"), 0) << c.codePage;
        EXPECT_EQ(CString("x" + lower + "y").MakeUpper(), "X" + lower + "Y") << c.codePage;
        EXPECT_EQ(CString("X" + upper + "Y").MakeLower(), "x" + upper + "y") << c.codePage;
    }
}

TEST(CString, FormatsLongTexts) {
    CString s;
    s.Format("%s=%d", "x", 42);
    EXPECT_EQ(s, "x=42");
    const std::string longText(5000, 'q');
    s.AppendFormat("[%s]", longText.c_str());
    EXPECT_EQ(s.GetLength(), 4 + 5002);
    EXPECT_EQ(s.Right(2), "q]");
}

TEST(CString, BufferAccess) {
    CString s;
    char* p = s.GetBuffer(10);
    p[0] = 'h';
    p[1] = 'i';
    p[2] = '\0';
    s.ReleaseBuffer();
    EXPECT_EQ(s, "hi");
    s.GetBuffer(10);
    s.ReleaseBuffer(1);
    EXPECT_EQ(s, "h");
}

TEST(Arrays, GrowShrinkAndInsert) {
    CStringArray a;
    EXPECT_EQ(a.Add("x"), 0);
    a.InsertAt(3, "y");
    EXPECT_EQ(a.GetSize(), 4);
    EXPECT_EQ(a[1], "");
    EXPECT_EQ(a[3], "y");
    a.RemoveAt(1, 2);
    EXPECT_EQ(a.GetSize(), 2);
    a.RemoveAt(7);
    a.SetSize(3);
    EXPECT_EQ(a[2], "");
    CUIntArray u;
    u.Add(reinterpret_cast<uintptr_t>(&a));
    EXPECT_EQ(reinterpret_cast<CStringArray*>(u[0]), &a);
}
