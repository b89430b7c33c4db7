#include <orvex/base64.h>

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace {

std::string Encoded(const std::string& bytes) {
    CString out("stale");
    CBase64::Encode(reinterpret_cast<unsigned char*>(const_cast<char*>(bytes.data())),
                    static_cast<int>(bytes.size()), out);
    return out.str();
}

// Result and decoded bytes.
std::pair<int, std::string> Decoded(const std::string& text) {
    CString in(text.data(), static_cast<int>(text.size()));
    CBuffer out;
    const int r = CBase64::Decode(in, out);
    return {r, std::string(reinterpret_cast<char*>(out.GetBuf()), static_cast<size_t>(out.GetSize()))};
}

int LikeBase64(const std::string& text) {
    return CBase64::IsStringLikeBase64(const_cast<char*>(text.data()), static_cast<int>(text.size()));
}

}  // namespace

TEST(CBase64Encode, GroupsPaddingAndTheStarAlphabet) {
    CBuffer b;
    CBase64::Encode(reinterpret_cast<unsigned char*>(const_cast<char*>("abc")), 3, b);
    ASSERT_EQ(b.GetSize(), 5);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(b.GetBuf()), 5), std::string("YWJj\0", 5));
    EXPECT_EQ(Encoded("ab"), "YWI=");
    EXPECT_EQ(Encoded("a"), "YQ==");
    EXPECT_EQ(Encoded("\xFF"), "*w==");
    EXPECT_EQ(Encoded("\xFB\xFF\xBF"), "+*+*");
    EXPECT_EQ(Encoded(""), "");

    CBuffer kept;
    kept.SetBuf(reinterpret_cast<unsigned char*>(const_cast<char*>("old")), 3);
    CBase64::Encode(nullptr, 0, kept);
    EXPECT_EQ(kept.GetSize(), 0);  // emptied, no trailing zero
    EXPECT_EQ(kept.GetAllocSize(), 1024);
}

TEST(CBase64Decode, TheLenientRules) {
    struct Case {
        const char* name;
        std::string text;
        int result;
        std::string bytes;
    };
    const Case cases[] = {
        {"empty", "", 1, ""},
        {"abc", "YWJj", 1, "abc"},
        {"one pad", "YWI=", 1, "ab"},
        {"two pads", "YQ==", 1, "a"},
        {"star for 63", "*w==", 1, "\xFF"},
        {"slash for 63", "/w==", 1, "\xFF"},
        {"backslash for 63", "\\w==", 1, "\xFF"},
        {"line break without pad", "YWJj\r\n", 0, "abc"},
        {"line break after pad", "YQ==\r\n", 1, "a"},
        {"line breaks inside, padded", "YW\r\nJj\nYQ==", 1, "abca"},
        {"three characters", "YWJ", 0, ""},
        {"space", "YW Jj", 0, ""},
        {"tab", "YW\tJ", 0, ""},
        {"dash", "YW-j", 0, ""},
        {"underscore", "YW_j", 0, ""},
        {"four pads", "====", 1, ""},
        {"three pads", "Y===", 1, ""},
        {"pad stops decoding", "YQ==YWJj", 1, "a"},
        {"bad character after good groups", "YWJjYW!j", 0, "abc"},
        {"embedded zero", std::string("YW\0j", 4), 0, ""},
    };
    for (const Case& c : cases) {
        const auto [result, bytes] = Decoded(c.text);
        EXPECT_EQ(result, c.result) << c.name;
        EXPECT_EQ(bytes, c.bytes) << c.name;
    }
}

TEST(CBase64Decode, InPlaceReadsTextOrEmpties) {
    CString text("YWJj");
    EXPECT_EQ(CBase64::Decode(text), 1);
    EXPECT_EQ(text, "abc");
    CString utf16("//5BAEIA");  // FF FE 41 00 42 00
    EXPECT_EQ(CBase64::Decode(utf16), 1);
    EXPECT_EQ(utf16, "AB");
    CString bad("YW-j");
    EXPECT_EQ(CBase64::Decode(bad), 0);
    EXPECT_TRUE(bad.IsEmpty());
}

TEST(CBase64, RandomBytesRoundTripAtEveryLength) {
    std::mt19937 rng(20261207);
    for (int len = 0; len <= 300; ++len) {
        std::string bytes(static_cast<size_t>(len), '\0');
        for (char& c : bytes) c = static_cast<char>(rng() & 0xFF);
        const std::string text = Encoded(bytes);
        ASSERT_EQ(text.size(), static_cast<size_t>((len + 2) / 3 * 4)) << len;
        EXPECT_EQ(LikeBase64(text), text.find('=') == std::string::npos ? (len > 0) : 0) << len;
        const auto [result, back] = Decoded(text);
        EXPECT_EQ(result, 1) << len;
        EXPECT_EQ(back, bytes) << len;
    }
}

TEST(CBase64, IsStringLikeBase64) {
    EXPECT_EQ(LikeBase64("YWJj\r\n"), 1);
    EXPECT_EQ(LikeBase64("YQ=="), 0);
    EXPECT_EQ(LikeBase64("a/b"), 0);
    EXPECT_EQ(LikeBase64(std::string("ab\0c", 4)), 1);  // a zero byte passes
    EXPECT_EQ(LikeBase64(""), 0);
    EXPECT_EQ(CBase64::IsStringLikeBase64(nullptr, 3), 0);
    EXPECT_EQ(CBase64::IsStringLikeBase64(const_cast<char*>("abc"), -1), 0);
}

TEST(CBase64Decode, LongRunsStopAtTheSameCharacterAsShortOnes) {
    std::mt19937 rng(7);
    std::string bytes(120, '\0');
    for (char& c : bytes) c = static_cast<char>(rng() & 0xFF);
    const std::string text = Encoded(bytes);  // 160 characters
    // A line break inside unpadded text: every byte, but the count of groups
    // runs past the characters, so the result is 0.
    EXPECT_EQ(Decoded(text.substr(0, 44) + "\r\n" + text.substr(44)), std::make_pair(0, bytes));
    // The same with a padded end succeeds.
    const std::string padded = Encoded(bytes.substr(0, 119));
    EXPECT_EQ(Decoded(padded.substr(0, 44) + "\r\n" + padded.substr(44)),
              std::make_pair(1, bytes.substr(0, 119)));
    // A bad character in the third run of 32: the groups before it stay.
    std::string bad = text;
    bad[70] = '-';
    EXPECT_EQ(Decoded(bad), std::make_pair(0, bytes.substr(0, 51)));
    // '/', '\' and '*' for 63 inside long runs.
    std::string slashes = text;
    for (char& c : slashes)
        if (c == '*') c = (&c - slashes.data()) % 2 ? '/' : '\\';
    EXPECT_EQ(Decoded(slashes), std::make_pair(1, bytes));
}
