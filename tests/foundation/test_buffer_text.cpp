#include <orvex/buffer.h>

#include "common/test_support.h"

#include <gtest/gtest.h>

#include <string>

using testing_support::ScopedCodePage;

namespace {

CString TextOf(const std::string& bytes) {
    CBuffer b;
    b.SetBuf(reinterpret_cast<unsigned char*>(const_cast<char*>(bytes.data())),
             static_cast<int>(bytes.size()));
    CString out("stale");
    b.GetText(out);
    return out;
}

struct Case {
    const char* name;
    std::string bytes;
    std::string text;
};

}  // namespace

TEST(CBufferGetText, DecodesByMarkHeadAndShapeUnderUtf8) {
    ScopedCodePage cp("UTF-8");
    const Case cases[] = {
        {"empty", "", ""},
        {"utf16 mark",
         std::string("\xFF\xFE"
                     "A\0B\0",
                     6),
         "AB"},
        {"utf16 mark only", "\xFF\xFE", ""},
        {"utf16 mark, odd tail",
         std::string("\xFF\xFE"
                     "A\0B",
                     5),
         "A"},
        {"utf16 mark, zero unit",
         std::string("\xFF\xFE"
                     "A\0\0\0B\0",
                     8),
         "A"},
        {"utf8 mark",
         "\xEF\xBB\xBF"
         "caf\xC3\xA9",
         "caf\xC3\xA9"},
        {"utf8 mark, bad byte",
         "\xEF\xBB\xBF"
         "a\xFF"
         "b",
         "a\xEF\xBF\xBD"
         "b"},
        {"plain", "hello", "hello"},
        {"one byte", "x", "x"},
        {"embedded zero", std::string("ab\0cd", 5), "ab"},
        {"utf16 without mark", std::string("H\0i\0", 4), "Hi"},
        {"utf16 two bytes", std::string("A\0", 2), "A"},
        {"xml head, blanks first", "  \r\n<?xml version=\"1.0\" encoding=\"UTF-8\"?><a>\xC3\xA9</a>",
         "  \r\n<?xml version=\"1.0\" encoding=\"UTF-8\"?><a>\xC3\xA9</a>"},
    };
    for (const Case& c : cases) EXPECT_EQ(TextOf(c.bytes).str(), c.text) << c.name;
}

TEST(CBufferGetText, CodePageCp1252) {
    ScopedCodePage cp("CP1252");
    const std::string head = "<?xml version=\"1.0\" encoding=\"utf-8\"?>";
    const std::string late = "<x>" + std::string(100, ' ') + "utf-8</x>";
    const Case cases[] = {
        {"utf16 mark", std::string("\xFF\xFE\xE9\0\xAC\x20", 6), "\xE9\x80"},
        {"utf8 mark",
         "\xEF\xBB\xBF"
         "caf\xC3\xA9",
         "caf\xE9"},
        {"utf8 mark, no cp1252 form", "\xEF\xBB\xBF\xE4\xB8\xAD", "?"},
        {"xml head names utf-8", head + "<a>\xC3\xA9</a>", head + "<a>\xE9</a>"},
        {"head names UTF-8 in capitals", "<?xml encoding='UTF-8'?>\xC3\xA9", "<?xml encoding='UTF-8'?>\xE9"},
        {"no head: bytes stay", "<a>caf\xC3\xA9</a>", "<a>caf\xC3\xA9</a>"},
        {"utf-8 past the first 100 characters", late + "\xC3\xA9", late + "\xC3\xA9"},
        {"head of exactly 10 characters", "<\xC3\xA9utf-8/>", "<\xC3\xA9utf-8/>"},
        {"head of 11 characters", "<\xC3\xA9 utf-8/>", "<\xE9 utf-8/>"},
        {"utf-8 without '<'", "x utf-8 \xC3\xA9 text", "x utf-8 \xC3\xA9 text"},
        {"8-bit text", "caf\xE9", "caf\xE9"},
    };
    for (const Case& c : cases) EXPECT_EQ(TextOf(c.bytes).str(), c.text) << c.name;
}

TEST(CBufferGetText, ATextInvalidInTheCodePageIsReadByItsDeclaredEncoding) {
    const std::string latin1 = "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>";
    const std::string cp1252 = "<?xml version='1.0' encoding='windows-1252'?>";
    const std::string utf16 = "<?xml version='1.0' encoding='UTF-16'?>";
    const std::string unknown = "<?xml version='1.0' encoding='x-no-such'?>";
    const std::string eucJp = "<?xml version='1.0' encoding='EUC-JP'?>";
    struct CodePageCase {
        const char* codePage;
        Case c;
    };
    const CodePageCase cases[] = {
        {"UTF-8", {"latin-1", latin1 + "<a>caf\xE9</a>", latin1 + "<a>caf\xC3\xA9</a>"}},
        {"UTF-8",
         {"windows-1252, blanks first", "\r\n" + cp1252 + "\x80 \x93q\x94",
          "\r\n" + cp1252 + "\xE2\x82\xAC \xE2\x80\x9Cq\xE2\x80\x9D"}},
        {"UTF-8", {"valid in the code page: as before", latin1 + "caf\xC3\xA9", latin1 + "caf\xC3\xA9"}},
        {"UTF-8", {"unknown encoding: as before", unknown + "caf\xE9", unknown + "caf\xE9"}},
        {"UTF-8", {"a declaration the encoding cannot have written", utf16 + "caf\xE9", utf16 + "caf\xE9"}},
        {"UTF-8", {"no declaration", "<a>caf\xE9</a>", "<a>caf\xE9</a>"}},
        {"CP932", {"EUC-JP under Shift-JIS", eucJp + "\xE0\xFE", eucJp + "\xE0\xFC"}},
    };
    for (const CodePageCase& c : cases) {
        ScopedCodePage cp(c.codePage);
        EXPECT_EQ(TextOf(c.c.bytes).str(), c.c.text) << c.c.name;
    }
}
