#include <orvex/cstring.h>

#include "platform/code_page.h"
#include "platform/utf.h"
#include "common/test_support.h"

#include <gtest/gtest.h>

using testing_support::ScopedCodePage;

TEST(CodePage, Utf8IsTheDefault) {
    ScopedCodePage cp(nullptr);
    EXPECT_TRUE(codepage::IsUtf8());
    const CString s("\xC3\xA9\xF0\x9F\x98\x80");  // e acute, then a grinning face
    const std::u16string wide = s.AllocSysString();
    ASSERT_EQ(wide.size(), 3u);
    EXPECT_EQ(wide[0], 0xE9);
    EXPECT_EQ(wide[1], 0xD83D);
    EXPECT_EQ(wide[2], 0xDE00);
    EXPECT_EQ(CString::FromUTF16(wide), s);
}

TEST(CodePage, InvalidBytesBecomeReplacementCharacters) {
    ScopedCodePage cp("UTF-8");
    // A lone continuation byte, an overlong slash, a surrogate in UTF-8, a cut sequence.
    const CString s(
        "a\x80"
        "b\xC0\xAF"
        "c\xED\xA0\x80"
        "d\xE2\x82",
        12);
    const std::u16string wide = s.AllocSysString();
    EXPECT_EQ(wide, u"a\uFFFDb\uFFFD\uFFFDc\uFFFD\uFFFD\uFFFDd\uFFFD");
    EXPECT_EQ(codepage::ToUtf8(s.GetString(), 3),
              "a\xEF\xBF\xBD"
              "b");
}

TEST(CodePage, UnpairedSurrogateBecomesReplacement) {
    const std::u16string wide = {u'x', 0xD800, u'y'};
    std::string out;
    utf::AppendUtf16AsUtf8(wide.data(), wide.size(), out);
    EXPECT_EQ(out, "x\xEF\xBF\xBDy");
}

TEST(CodePage, Cp1252RoundTripsAndMarksWhatItLacks) {
    ScopedCodePage cp("CP1252");
    ASSERT_FALSE(codepage::IsUtf8());
    EXPECT_EQ(codepage::Name(), "CP1252");
    const CString s("caf\xE9 \x80");  // e acute and the euro sign in CP1252
    const std::u16string wide = s.AllocSysString();
    EXPECT_EQ(wide, u"caf\u00E9 \u20AC");
    EXPECT_EQ(CString::FromUTF16(wide), s);
    EXPECT_EQ(CString::FromUTF16(u"\u4E2D!"), "?!");
    EXPECT_EQ(codepage::ToUtf8("\xE9", 1), "\xC3\xA9");
    EXPECT_EQ(codepage::FromUtf8("\xC3\xA9", 2), "\xE9");
}

TEST(CodePage, UnknownEncodingLeavesUtf8) {
    ScopedCodePage cp("NO-SUCH-ENCODING");
    EXPECT_TRUE(codepage::IsUtf8());
}

TEST(CodePage, KnowsItsLeadBytesWhereTrailBytesLookLikeAscii) {
    struct Case {
        const char* codePage;
        unsigned char lead;  // a lead byte whose trail may be an ASCII letter
    };
    for (const Case& c : {Case{"CP932", 0x83}, Case{"GBK", 0x81}, Case{"BIG5", 0xA4}, Case{"UHC", 0x81},
                          Case{"GB18030", 0x81}}) {
        ScopedCodePage cp(c.codePage);
        const unsigned char* lengths = codepage::CharLengths();
        ASSERT_NE(lengths, nullptr) << c.codePage;
        EXPECT_EQ(lengths[c.lead], 2) << c.codePage;
        EXPECT_EQ(lengths[0x41], 1) << c.codePage;  // 'A'
    }
    ScopedCodePage cp932("CP932");
    EXPECT_EQ(codepage::CharLengths()[0xB1], 1);  // a half-width katakana stands alone
    // No byte below 0x80 is ever part of a longer character: bytes can be walked one by one.
    for (const char* bytewise : {"UTF-8", "CP1252", "EUC-JP"}) {
        ScopedCodePage cp(bytewise);
        EXPECT_EQ(codepage::CharLengths(), nullptr) << bytewise;
    }
}
