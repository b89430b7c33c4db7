#include "support/convert_utf.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

bool LooksUtf16(const std::string& bytes) {
    return ConvertUTF::isUTF16(reinterpret_cast<const unsigned char*>(bytes.data()),
                               static_cast<int>(bytes.size()));
}

}  // namespace

TEST(ConvertUTF, Utf8ToUtf16WithSurrogatePairs) {
    const char* text = "A\xC3\xA9\xF0\x9F\x98\x80";
    char16_t out[8] = {};
    int n = -1;
    EXPECT_EQ(ConvertUTF::ConvertUTF8toUTF16(reinterpret_cast<const unsigned char*>(text), 7, out, sizeof out,
                                             &n, 0),
              ConvertUTF::conversionOK);
    ASSERT_EQ(n, 4);
    EXPECT_EQ(out[1], 0xE9);
    EXPECT_EQ(out[2], 0xD83D);
    EXPECT_EQ(out[3], 0xDE00);

    // Room for three units: the pair is not split.
    EXPECT_EQ(ConvertUTF::ConvertUTF8toUTF16(reinterpret_cast<const unsigned char*>(text), 7, out, 6, &n, 0),
              ConvertUTF::targetExhausted);
    EXPECT_EQ(n, 2);

    EXPECT_EQ(ConvertUTF::ConvertUTF8toUTF16(reinterpret_cast<const unsigned char*>("a\xFF"), 2, out,
                                             sizeof out, &n, 0),
              ConvertUTF::sourceIllegal);
    EXPECT_EQ(n, 2);
    EXPECT_EQ(out[1], 0xFFFD);
}

TEST(ConvertUTF, Utf16ToUtf8CutsAtCharacterBoundaries) {
    const char16_t text[] = {u'a', 0xE9, 0xD83D, 0xDE00};
    unsigned char out[16] = {};
    int n = -1;
    EXPECT_EQ(ConvertUTF::ConvertUTF16toUTF8(text, 8, out, sizeof out, &n), ConvertUTF::conversionOK);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(out), static_cast<size_t>(n)), "a\xC3\xA9\xF0\x9F\x98\x80");
    EXPECT_EQ(ConvertUTF::ConvertUTF16toUTF8(text, 8, out, 5, &n), ConvertUTF::targetExhausted);
    EXPECT_EQ(n, 3);
}

TEST(ConvertUTF, IsUtf16Heuristic) {
    EXPECT_TRUE(LooksUtf16(std::string("A\0B\0", 4)));
    EXPECT_TRUE(LooksUtf16(std::string("H\0i\0\r\0\n\0\0\0junk", 14)));
    EXPECT_TRUE(
        LooksUtf16(std::string("A\0=\xD8\0\xDE"
                               "B\0",
                               8)));                   // with a surrogate pair
    EXPECT_FALSE(LooksUtf16("AB"));                    // 8-bit text has no zero bytes
    EXPECT_FALSE(LooksUtf16(std::string("\0\0", 2)));  // nothing before the end
    EXPECT_FALSE(LooksUtf16(std::string("A", 1)));
    EXPECT_FALSE(LooksUtf16(std::string("\x01\0\x02\0", 4)));  // control characters
    EXPECT_FALSE(
        LooksUtf16(std::string("\0\xD8"
                               "A\0",
                               4)));                               // unpaired high surrogate
    EXPECT_FALSE(LooksUtf16(std::string("\0\xDC", 2)));            // lone low surrogate
    EXPECT_FALSE(LooksUtf16(std::string("\x2D\x4E\x87\x65", 4)));  // CJK has no Latin shape
    EXPECT_FALSE(ConvertUTF::isUTF16(nullptr, 4));
}
