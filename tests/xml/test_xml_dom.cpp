#include "xml/xml_dom.h"

#include "common/test_support.h"
#include "platform/utf.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

using testing_support::ScopedCodePage;
using xml::CDomDocument;
using xml::CDomError;
using xml::CDomNode;

namespace {

// The children of a node as "name=text" pieces joined by '|'.
std::string Children(const CDomNode& node) {
    std::string out;
    for (CDomNode c = node.firstChild(); c; c = c.nextSibling()) {
        if (!out.empty()) out += '|';
        out += c.nodeName().str() + "=" + c.text().str();
    }
    return out;
}

std::string Attributes(const CDomNode& node) {
    std::string out;
    const xml::CDomNamedNodeMap map = node.attributes();
    for (long i = 0; i < map.length(); ++i) {
        if (!out.empty()) out += ' ';
        out += map.item(i).nodeName().str() + "=" + map.item(i).text().str();
    }
    return out;
}

bool Loads(const std::string& text) {
    CDomDocument doc;
    return doc.loadXML(text.data(), text.size());
}

std::string Nested(int depth) {
    std::string text;
    for (int i = 0; i < depth; ++i) text += "<e>";
    for (int i = 0; i < depth; ++i) text += "</e>";
    return text;
}

}  // namespace

TEST(XmlDom, KeepsNodesTheReadersCountAndDropsWhiteSpaceOnlyText) {
    CDomDocument doc;
    ASSERT_TRUE(
        doc.loadXML(CString("<a>\n  <b>1</b>\n  <!--note-->\n  <?target data?>\n"
                            "  <![CDATA[<raw>]]>\n  tail\n</a>")));
    const CDomNode a = doc.documentElement();
    EXPECT_EQ(Children(a), "b=1|#comment=note|target=data|#cdata-section=<raw>|#text=\n  tail\n");
    EXPECT_EQ(a.childNodes().length(), 5);
    // White space inside a text that has other characters stays.
    EXPECT_EQ(a.childNodes().item(4).nodeValue().m_value, "\n  tail\n");
}

TEST(XmlDom, TextConcatenatesAllTextAndCDataBelowInDocumentOrder) {
    CDomDocument doc;
    ASSERT_TRUE(doc.loadXML(CString("<a>x<b>y<c>z</c></b><!--no--><![CDATA[w]]><?p no?>v<d/></a>")));
    const CDomNode a = doc.documentElement();
    EXPECT_EQ(a.text(), "xyzwv");
    EXPECT_EQ(a.firstChild().nextSibling().text(), "yz");
    EXPECT_EQ(a.firstChild().nextSibling().nextSibling().text(), "no");  // a comment's own content
    EXPECT_EQ(a.childNodes().item(6).text(), "");                        // the empty element d
}

TEST(XmlDom, NamesAsWrittenAndAttributesInDocumentOrder) {
    CDomDocument doc;
    ASSERT_TRUE(
        doc.loadXML(CString("<s:Env xmlns:s='urn:s' b='2' xmlns='urn:d' a='1' s:c='3'><s:In/></s:Env>")));
    const CDomNode root = doc.documentElement();
    EXPECT_EQ(root.nodeName(), "s:Env");
    EXPECT_EQ(root.firstChild().nodeName(), "s:In");
    EXPECT_EQ(Attributes(root), "xmlns:s=urn:s b=2 xmlns=urn:d a=1 s:c=3");
    const xml::CDomNamedNodeMap map = root.attributes();
    EXPECT_EQ(map.getNamedItem("s:c").text(), "3");
    EXPECT_TRUE(map.getNamedItem("c").IsNull());    // only the qualified name as written
    EXPECT_TRUE(map.getNamedItem("S:c").IsNull());  // case-sensitive
    EXPECT_EQ(map.getNamedItem("a").nodeValue().m_kind, CVariant::kString);
    EXPECT_EQ(root.nodeValue().m_kind, CVariant::kEmpty);
}

TEST(XmlDom, ListsAndMapsAnswerNullOutsideTheirRangeAndReadInAnyOrder) {
    CDomDocument doc;
    ASSERT_TRUE(doc.loadXML(CString("<a p='1' q='2' r='3'><b/><c/><d/></a>")));
    const CDomNode a = doc.documentElement();
    const xml::CDomNodeList list = a.childNodes();
    EXPECT_EQ(list.length(), 3);
    EXPECT_EQ(list.item(2).nodeName(), "d");
    EXPECT_EQ(list.item(0).nodeName(), "b");  // backwards after forwards
    EXPECT_EQ(list.item(1).nodeName(), "c");
    EXPECT_TRUE(list.item(3).IsNull());
    EXPECT_TRUE(list.item(-1).IsNull());
    const xml::CDomNamedNodeMap map = a.attributes();
    EXPECT_EQ(map.item(2).nodeName(), "r");
    EXPECT_EQ(map.item(0).nodeName(), "p");
    EXPECT_TRUE(map.item(3).IsNull());
    EXPECT_EQ(list.item(0).childNodes().length(), 0);
    EXPECT_TRUE(list.item(0).firstChild().IsNull());
    EXPECT_TRUE(list.item(2).nextSibling().IsNull());
    // Text and other non-elements have no attribute map.
    ASSERT_TRUE(doc.loadXML(CString("<a>t</a>")));
    EXPECT_FALSE(doc.documentElement().firstChild().attributes());
}

TEST(XmlDom, ReadsThroughANullHandleRaiseEPointer) {
    const CDomNode null;
    const auto expectPointerError = [](auto&& call, const char* interfaceName) {
        try {
            call();
            ADD_FAILURE() << "no error raised for " << interfaceName;
        } catch (const CDomError& e) {
            EXPECT_EQ(e.Code(), 0x80004003u);
            EXPECT_STREQ(e.Interface(), interfaceName);
            EXPECT_STREQ(e.what(), (std::string("DOM call failed (0x80004003) on ") + interfaceName).c_str());
        }
    };
    expectPointerError([&] { (void)null.nodeName(); }, "IXMLDOMNode");
    expectPointerError([&] { (void)null.text(); }, "IXMLDOMNode");
    expectPointerError([&] { (void)null.firstChild(); }, "IXMLDOMNode");
    expectPointerError([&] { (void)null.nextSibling(); }, "IXMLDOMNode");
    expectPointerError([&] { (void)null.attributes(); }, "IXMLDOMNode");
    expectPointerError([&] { (void)null.childNodes(); }, "IXMLDOMNode");
    expectPointerError([&] { (void)null.nodeValue(); }, "IXMLDOMNode");
    expectPointerError([&] { (void)xml::CDomNodeList().length(); }, "IXMLDOMNodeList");
    expectPointerError([&] { (void)xml::CDomNodeList().item(0); }, "IXMLDOMNodeList");
    expectPointerError([&] { (void)xml::CDomNamedNodeMap().getNamedItem("a"); }, "IXMLDOMNamedNodeMap");
    expectPointerError([&] { (void)xml::CDomNamedNodeMap().item(0); }, "IXMLDOMNamedNodeMap");
}

TEST(XmlDom, DecodesPredefinedEntitiesAndCharacterReferencesOnce) {
    CDomDocument doc;
    ASSERT_TRUE(doc.loadXML(
        CString("<a v='&lt;&#x41;&#66;&amp;amp;'>&amp;lt; &gt;&quot;&apos; &#x1F600;&#233;</a>")));
    const CDomNode a = doc.documentElement();
    EXPECT_EQ(a.text(), "&lt; >\"' \xF0\x9F\x98\x80\xC3\xA9");
    EXPECT_EQ(a.attributes().item(0).text(), "<AB&amp;");
}

TEST(XmlDom, NormalisesLineEndsAndAttributeWhiteSpace) {
    CDomDocument doc;
    ASSERT_TRUE(doc.loadXML(CString("<a v='x\r\ny\tz&#10;'>1\r\n2\r3</a>")));
    EXPECT_EQ(doc.documentElement().text(), "1\n2\n3");
    EXPECT_EQ(doc.documentElement().attributes().item(0).text(), "x y z\n");
}

TEST(XmlDom, AValidTextIgnoresTheEncodingNamedInTheDeclaration) {
    ScopedCodePage cp("UTF-8");
    CDomDocument doc;
    ASSERT_TRUE(doc.loadXML(CString("<?xml version='1.0' encoding='ISO-8859-1'?><a>caf\xC3\xA9</a>")));
    EXPECT_EQ(doc.documentElement().text(), "caf\xC3\xA9");
    ASSERT_TRUE(doc.loadXML(CString("\xEF\xBB\xBF<?xml version='1.0' encoding='UTF-16'?><a/>")));
    EXPECT_EQ(doc.documentElement().nodeName(), "a");
}

TEST(XmlDom, ATextInvalidInTheCodePageIsReadByItsDeclaredEncoding) {
    struct Case {
        const char* codePage;
        std::string xml;
        std::string text;  // of the root
        std::string attribute;
    };
    const Case cases[] = {
        {"UTF-8", "<?xml version='1.0' encoding='ISO-8859-1'?><a t='\xE9'>caf\xE9</a>", "caf\xC3\xA9",
         "\xC3\xA9"},
        {"UTF-8", "<?xml version=\"1.0\" encoding=\"windows-1252\"?><a t='\x80'>\x93q\x94</a>",
         "\xE2\x80\x9Cq\xE2\x80\x9D", "\xE2\x82\xAC"},
        {"CP932", "<?xml version='1.0' encoding='EUC-JP'?><a t='x'>\xE0\xFE</a>", "\xE0\xFC", "x"},
        // An encoding iconv does not know leaves replacement characters, as before.
        {"UTF-8", "<?xml version='1.0' encoding='x-no-such'?><a t='x'>caf\xE9</a>", "caf\xEF\xBF\xBD", "x"},
    };
    for (const Case& c : cases) {
        ScopedCodePage cp(c.codePage);
        CDomDocument doc;
        ASSERT_TRUE(doc.loadXML(c.xml.data(), c.xml.size())) << c.xml << ": " << doc.ParseError();
        EXPECT_EQ(doc.documentElement().text().str(), c.text) << c.xml;
        EXPECT_EQ(doc.documentElement().attributes().getNamedItem("t").text().str(), c.attribute) << c.xml;
    }
}

TEST(XmlDom, TextsComeInAndOutInTheCodePage) {
    ScopedCodePage cp("CP1252");
    CDomDocument doc;
    // e acute and the euro sign in CP1252, a name with e acute, and a
    // character CP1252 lacks, written as a reference.
    ASSERT_TRUE(doc.loadXML(CString("<caf\xE9 p='\x80'>\xE9&#x4E2D;</caf\xE9>")));
    const CDomNode root = doc.documentElement();
    EXPECT_EQ(root.nodeName(), "caf\xE9");
    EXPECT_EQ(root.text(), "\xE9?");
    EXPECT_EQ(root.attributes().getNamedItem("p").text(), "\x80");
}

TEST(XmlDom, InvalidUtf8BecomesReplacementCharacters) {
    ScopedCodePage cp("UTF-8");
    CDomDocument doc;
    ASSERT_TRUE(doc.loadXML(CString("<a>x\xFF\xC0y</a>")));
    EXPECT_EQ(doc.documentElement().text(), "x\xEF\xBF\xBD\xEF\xBF\xBDy");
}

TEST(XmlDom, ReadsUtf8AndFindsNulWhereverTheyFallInALongText) {
    ScopedCodePage cp("UTF-8");
    CDomDocument doc;
    // Well-formed and ill-formed sequences, some cut by the end of the text
    // node, at every offset around the 16-byte blocks the text is read in.
    const std::vector<std::string> pieces = {"\xC3\xA9",
                                             "\xE4\xB8\xAD",
                                             "\xF0\x9F\x98\x80",
                                             "\xF4\x8F\xBF\xBF",
                                             "\xED\x9F\xBF",
                                             "\xFF",
                                             "\xC0\xAF",
                                             "\xE0\x9F\x80",
                                             "\xED\xA0\x80",
                                             "\xF4\x90\x80\x80",
                                             "\xF0\x8F\xBF\xBF",
                                             "\xE4\xB8",
                                             "\xF0\x9F\x98",
                                             "\x80",
                                             "\xC3"};
    for (size_t pad = 0; pad < 40; ++pad) {
        for (const std::string& piece : pieces) {
            const std::string content =
                std::string(pad, 'p') + piece + "q" + piece + std::string(pad % 7, 'r');
            const std::string text = "<a>" + content + "</a>";
            ASSERT_TRUE(doc.loadXML(text.data(), text.size())) << pad << ' ' << doc.ParseError();
            EXPECT_EQ(doc.documentElement().text().str(), utf::SanitizeUtf8(content.data(), content.size()))
                << pad;
        }
        // A NUL is found wherever it lies, an ill-formed sequence before it or not.
        for (const std::string before : {"", "\xC3\xA9", "\xFF", "\xE4\xB8"}) {
            const std::string text =
                "<a>" + std::string(pad * 3, 'n') + before + std::string(1, '\0') + "</a>";
            EXPECT_FALSE(doc.loadXML(text.data(), text.size()));
            EXPECT_EQ(doc.ParseError(),
                      "NUL character at offset " + std::to_string(3 + pad * 3 + before.size()));
        }
    }
    // Many attributes and tags past the counters' 255-block stretches.
    std::string wide = "<a>";
    for (int i = 0; i < 3000; ++i) wide += "<b x='1' y=\"\xC3\xA9\">=</b>";
    wide += "</a>";
    ASSERT_TRUE(doc.loadXML(wide.data(), wide.size()));
    EXPECT_EQ(doc.documentElement().childNodes().length(), 3000);
    EXPECT_EQ(doc.documentElement().childNodes().item(2999).attributes().item(1).text(), "\xC3\xA9");
}

TEST(XmlDom, RefusesWhatAStrictNamespaceAwareParserRefuses) {
    struct Case {
        const char* text;
        const char* reason;
    };
    const Case cases[] = {
        {"", "empty text"},
        {"   \n ", "no root element"},
        {"<!-- only a comment -->", "no root element"},
        {"<a/><b/>", "more than one root element"},
        {"x<a/>", "text outside the root element"},
        {"<a/>tail", "text outside the root element"},
        {"<![CDATA[x]]><a/>", "text outside the root element"},
        {"<p:a/>", "element 'p:a' uses an undeclared prefix"},
        {"<a p:x='1'/>", "attribute 'p:x' uses an undeclared prefix"},
        {"<a><p:b xmlns:p='u'/><p:c/></a>", "element 'p:c' uses an undeclared prefix"},
        {"<a x='1' x='2'/>", "attribute 'x' appears twice"},
        {"<a xmlns:p='u' xmlns:q='u' p:x='1' q:x='2'/>", "attribute 'q:x' appears twice"},
        {"<a xmlns:p=''/>", "namespace declaration 'xmlns:p' is not allowed"},
        {"<a:b:c xmlns:a='u'/>", "malformed element name 'a:b:c'"},
        {"<a>&nbsp;</a>", "reference to the undeclared entity 'nbsp'"},
        {"<a>fish & chips</a>", "'&' that starts no reference"},
        {"<a>&#0;</a>", "character reference to a character XML does not allow"},
        {"<a>&#xZZ;</a>", "malformed character reference"},
        {"<a v='<'/>", "'<' in the value of attribute 'v'"},
        {" <?xml version='1.0'?><a/>", "XML declaration not at the start of the text"},
        {"<a/><!DOCTYPE a>", "document type declaration after the root element"},
    };
    for (const Case& c : cases) {
        CDomDocument doc;
        EXPECT_FALSE(doc.loadXML(CString(c.text))) << c.text;
        EXPECT_EQ(doc.ParseError(), c.reason) << c.text;
        EXPECT_TRUE(doc.documentElement().IsNull()) << c.text;
    }
    // What pugixml finds, in its words, with the place.
    for (const char* text : {"<a><b></a>", "<a>", "<a", "<a x=1/>", "<1a/>", "<a></b>"}) {
        CDomDocument doc;
        EXPECT_FALSE(doc.loadXML(CString(text))) << text;
        EXPECT_NE(doc.ParseError().find(" at offset "), std::string::npos) << doc.ParseError();
    }
}

TEST(XmlDom, TakesWhatIsWellFormedBesideTheRoot) {
    EXPECT_TRUE(Loads("<?xml version='1.0'?>\n<!-- c --><!DOCTYPE a><?pi x?><a/>\n<!-- after -->\n"));
    EXPECT_TRUE(Loads("<a xmlns:p='u'><p:b p:x='1' x='2'/></a>"));
    EXPECT_TRUE(Loads("<a xml:lang='en'/>"));
    EXPECT_TRUE(Loads("<a xmlns:p='u'><b xmlns:p='v' p:x='1'/></a>"));
}

TEST(XmlDom, ADoctypeDeclaringEntitiesIsNeverActedOn) {
    CDomDocument doc;
    // Neither the internal entity expands nor is the external one fetched:
    // a reference to either is refused.
    EXPECT_FALSE(doc.loadXML(CString("<!DOCTYPE a [<!ENTITY e 'expanded'>]><a>&e;</a>")));
    EXPECT_EQ(doc.ParseError(), "reference to the undeclared entity 'e'");
    EXPECT_FALSE(doc.loadXML(CString("<!DOCTYPE a [<!ENTITY x SYSTEM 'file:///etc/passwd'>]><a>&x;</a>")));
    // Billion laughs: refused at the first reference, nothing grows.
    std::string laughs = "<!DOCTYPE a [<!ENTITY l0 'lol'>";
    for (int i = 1; i < 10; ++i)
        laughs += "<!ENTITY l" + std::to_string(i) + " '&l" + std::to_string(i - 1) + ";&l" +
                  std::to_string(i - 1) + ";'>";
    laughs += "]><a>&l9;</a>";
    EXPECT_FALSE(doc.loadXML(laughs.data(), laughs.size()));
    // Without a reference the declaration is skipped and the document reads.
    ASSERT_TRUE(doc.loadXML(CString("<!DOCTYPE a [<!ENTITY e 'expanded'>]><a>plain</a>")));
    EXPECT_EQ(doc.documentElement().text(), "plain");
}

TEST(XmlDom, NestingIsBoundedAtAThousandElements) {
    EXPECT_TRUE(Loads(Nested(CDomDocument::kMaxDepth)));
    CDomDocument doc;
    const std::string deeper = Nested(CDomDocument::kMaxDepth + 1);
    EXPECT_FALSE(doc.loadXML(deeper.data(), deeper.size()));
    EXPECT_EQ(doc.ParseError(), "elements nested deeper than 1000");
    // Far deeper: refused the same way, without exhausting the stack.
    const std::string deepest = Nested(100000);
    EXPECT_FALSE(doc.loadXML(deepest.data(), deepest.size()));
    std::string open(100000 * 3, ' ');
    for (size_t i = 0; i < open.size(); i += 3) open.replace(i, 3, "<e>");
    EXPECT_FALSE(doc.loadXML(open.data(), open.size()));
}

TEST(XmlDom, BinaryTruncatedAndHugeInputsGetAClearAnswer) {
    CDomDocument doc;
    const std::string binary("<a>\x01\x02\0\x03</a>", 10);
    EXPECT_FALSE(doc.loadXML(binary.data(), binary.size()));
    EXPECT_EQ(doc.ParseError(), "NUL character at offset 5");
    std::string noise;
    for (int i = 0; i < 4096; ++i) noise += static_cast<char>((i * 7919) & 0xFF);
    noise[0] = '\x01';
    EXPECT_FALSE(doc.loadXML(noise.data(), noise.size()));
    const std::string full = "<r><a k='v'>text</a><b><![CDATA[c]]></b></r>";
    for (size_t cut = 0; cut < full.size(); ++cut)
        EXPECT_FALSE(doc.loadXML(full.data(), cut)) << full.substr(0, cut);
    EXPECT_TRUE(doc.loadXML(full.data(), full.size()));
    // 32 MiB of text in one element, and 200,000 siblings.
    std::string huge = "<a>" + std::string(32u << 20, 'x') + "</a>";
    ASSERT_TRUE(doc.loadXML(huge.data(), huge.size()));
    EXPECT_EQ(doc.documentElement().text().GetLength(), 32 << 20);
    std::string wide = "<a>";
    for (int i = 0; i < 200000; ++i) wide += "<b>1</b>";
    wide += "</a>";
    ASSERT_TRUE(doc.loadXML(wide.data(), wide.size()));
    EXPECT_EQ(doc.documentElement().childNodes().length(), 200000);
    EXPECT_EQ(doc.documentElement().childNodes().item(199999).text(), "1");
}

// GCC says __SANITIZE_ADDRESS__; clang says it through __has_feature.
#if defined(__SANITIZE_ADDRESS__)
#define ORVEX_TEST_UNDER_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define ORVEX_TEST_UNDER_ASAN 1
#endif
#endif

namespace {

// How loading a document whose CDATA holds `bytes` of '<' ends in a child
// process allowed `budget` bytes of address space beyond what it has at the
// start: "loaded", "refused: <reason>", "out of memory", or what else it threw.
std::string LoadUnderAddressLimit(size_t bytes, size_t budget) {
    int out[2];
    if (pipe(out) != 0) return "no pipe";
    const pid_t pid = fork();
    if (pid < 0) return "no child";
    if (pid == 0) {
        close(out[0]);
        alarm(60);  // a child stuck at its limit ends, and the test fails instead of hanging
        std::string answer;
        size_t pages = 0;
        FILE* statm = std::fopen("/proc/self/statm", "r");
        if (statm == nullptr || std::fscanf(statm, "%zu", &pages) != 1) _exit(1);
        std::fclose(statm);
        const rlimit limit{pages * static_cast<size_t>(sysconf(_SC_PAGESIZE)) + budget, RLIM_INFINITY};
        if (setrlimit(RLIMIT_AS, &limit) != 0) _exit(1);
        try {
            std::string text = "<a><![CDATA[";
            text.reserve(text.size() + bytes + 7);
            text.append(bytes, '<').append("]]></a>");
            CDomDocument doc;
            answer = doc.loadXML(text.data(), text.size()) ? "loaded" : "refused: " + doc.ParseError();
        } catch (const CDomError& e) {
            answer = e.Code() == xml::kE_OUTOFMEMORY ? "out of memory" : e.what();
        } catch (const std::exception& e) {
            answer = std::string("threw ") + e.what();
        }
        (void)!write(out[1], answer.data(), answer.size());
        _exit(0);
    }
    close(out[1]);
    std::string answer(512, '\0');
    answer.resize(static_cast<size_t>(std::max<ssize_t>(0, read(out[0], answer.data(), answer.size()))));
    close(out[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    return answer;
}

}  // namespace

TEST(XmlDom, MemoryIsReservedForWhatIsBuiltAndRunningOutIsNoParseError) {
#ifdef ORVEX_TEST_UNDER_ASAN
    GTEST_SKIP() << "AddressSanitizer's shadow memory does not fit an address-space limit";
#endif
    // 4 MiB of '<' in one CDATA section is two nodes; 64 MiB leaves room for
    // the text and its copy many times over.
    EXPECT_EQ(LoadUnderAddressLimit(4u << 20, 64u << 20), "loaded");
    // The text of 16 MiB fits in 24 MiB, its copy does not.
    EXPECT_EQ(LoadUnderAddressLimit(16u << 20, 24u << 20), "out of memory");
}

TEST(XmlDom, AFailedLoadEmptiesTheDocumentAndAGoodOneReplacesIt) {
    CDomDocument doc;
    ASSERT_TRUE(doc.loadXML(CString("<first/>")));
    ASSERT_TRUE(doc.loadXML(CString("<second/>")));
    EXPECT_EQ(doc.documentElement().nodeName(), "second");
    EXPECT_TRUE(doc.ParseError().empty());
    EXPECT_FALSE(doc.loadXML(CString("<broken")));
    EXPECT_TRUE(doc.documentElement().IsNull());
}
