#include <orvex.h>

#include <orvex/xml_tree.h>

#include "common/test_support.h"
#include "xmltree/xml_tree_parser.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <thread>
#include <unistd.h>

using testing_support::TempDir;
using testing_support::WriteFile;

namespace {

struct TreeDeleter {
    void operator()(OrvexXmlNode* root) const { XML_delete(root); }
};
using Tree = std::unique_ptr<OrvexXmlNode, TreeDeleter>;

Tree New(const char* xml, int bSoapBody = 0) { return Tree(XML_new(xml, bSoapBody)); }

}  // namespace

TEST(XmlApi, ChildrenAndAttributesCountFromOne) {
    const Tree t = New("<a p='1' q='2'><b>x</b><c>y</c></a>");
    ASSERT_TRUE(t);
    EXPECT_EQ(XML_GetChildren(t.get()), 2);
    EXPECT_STREQ(XML_GetName(XML_GetChild(t.get(), 1)), "b");
    EXPECT_STREQ(XML_GetText(XML_GetChild(t.get(), 2)), "y");
    EXPECT_EQ(XML_GetChild(t.get(), 0), nullptr);
    EXPECT_EQ(XML_GetChild(t.get(), XML_GetChildren(t.get()) + 1), nullptr);
    EXPECT_EQ(XML_GetChild(t.get(), -2147483647 - 1), nullptr);
    EXPECT_EQ(XML_GetParent(XML_GetChild(t.get(), 1)), t.get());
    EXPECT_EQ(XML_GetParent(t.get()), nullptr);
    EXPECT_EQ(XML_GetProps(t.get()), 2);
    EXPECT_STREQ(XML_GetPropName(t.get(), 2), "q");
    EXPECT_STREQ(XML_GetPropValue(t.get(), 1), "1");
    EXPECT_STREQ(XML_GetProperty(t.get(), "Q"), "2");
    EXPECT_STREQ(XML_GetProperty(t.get(), "missing"), "");
    EXPECT_STREQ(XML_GetPropName(t.get(), 3), "");
}

TEST(XmlApi, TheReturnStringIsSharedByTheThreeAttributeFunctions) {
    const Tree t = New("<a name='value'/>");
    const char* kept = XML_GetPropName(t.get(), 1);
    EXPECT_STREQ(kept, "name");
    XML_GetPropValue(t.get(), 1);
    EXPECT_STREQ(kept, "value");  // the same string, overwritten
    XML_GetPropName(t.get(), 0);
    EXPECT_STREQ(kept, "");  // an index out of range empties it
}

TEST(XmlApi, EachThreadHasItsOwnReturnString) {
    const Tree t = New("<a first='1' second='2'/>");
    const char* mine = XML_GetPropName(t.get(), 1);
    std::string theirs;
    std::thread other([&] { theirs = XML_GetPropName(t.get(), 2); });
    other.join();
    EXPECT_EQ(theirs, "second");
    EXPECT_STREQ(mine, "first");
}

TEST(XmlApi, NullHandlesGiveHarmlessAnswers) {
    EXPECT_STREQ(XML_GetName(nullptr), "");
    EXPECT_STREQ(XML_GetText(nullptr), "");
    EXPECT_STREQ(XML_GetPropName(nullptr, 1), "");
    EXPECT_STREQ(XML_GetPropValue(nullptr, 1), "");
    EXPECT_STREQ(XML_GetProperty(nullptr, "a"), "");
    EXPECT_EQ(XML_GetChildren(nullptr), 0);
    EXPECT_EQ(XML_GetChild(nullptr, 1), nullptr);
    EXPECT_EQ(XML_GetParent(nullptr), nullptr);
    EXPECT_EQ(XML_GetProps(nullptr), 0);
    XML_delete(nullptr);
    const Tree t = New("<a x='1'>t</a>");
    EXPECT_STREQ(XML_GetProperty(t.get(), nullptr), "");
}

TEST(XmlApi, NewTakesTextOrTheNameOfAFile) {
    TempDir dir;
    const std::string path = dir.Path("doc.xml");
    WriteFile(path, "<?xml version='1.0'?>\n<fromfile><v>1</v></fromfile>\n");
    const Tree fromFile = New(path.c_str());
    ASSERT_TRUE(fromFile);
    EXPECT_STREQ(XML_GetName(fromFile.get()), "fromfile");
    EXPECT_EQ(New(dir.Path("missing.xml").c_str()), nullptr);
    EXPECT_EQ(New(""), nullptr);
    EXPECT_EQ(New(nullptr), nullptr);
    // Blanks before '<' make a file name candidate; no such file, so it is text.
    const Tree blanks = New("  <spaced>1</spaced>");
    ASSERT_TRUE(blanks);
    EXPECT_STREQ(XML_GetText(blanks.get()), "1");
    // A text starting with '<' is never a file name.
    WriteFile(dir.Path("<odd>"), "<file/>");
    EXPECT_EQ(New("<odd>"), nullptr);
    // A file that is no XML.
    WriteFile(dir.Path("bad.xml"), "not xml");
    EXPECT_EQ(New(dir.Path("bad.xml").c_str()), nullptr);
    // A directory is no file.
    EXPECT_EQ(New(dir.path().c_str()), nullptr);
}

TEST(XmlApi, NewAnswersZeroForWhatTheParserRefuses) {
    for (const char* bad : {"<a>", "<a/><b/>", "<p:a/>", "<a x='1' x='2'/>", "<a>&undeclared;</a>", "junk"})
        EXPECT_EQ(New(bad), nullptr) << bad;
    const Tree empty = New("<a/>");
    ASSERT_TRUE(empty);
    EXPECT_EQ(XML_GetChildren(empty.get()), 0);
}

TEST(XmlApi, SoapBodyMode) {
    const char* envelope =
        "<soap:Envelope xmlns:soap='http://schemas.xmlsoap.org/soap/envelope/'><soap:Body>"
        "<m:GetResponse xmlns:m='urn:m'><m:Result xsi:nil='true' "
        "xmlns:xsi='http://www.w3.org/2001/XMLSchema-instance'>1</m:Result></m:GetResponse>"
        "</soap:Body></soap:Envelope>";
    const Tree t = New(envelope, 1);
    ASSERT_TRUE(t);
    EXPECT_STREQ(XML_GetName(t.get()), "GetResponse");
    OrvexXmlNode* result = XML_GetChild(t.get(), 1);
    EXPECT_STREQ(XML_GetName(result), "Result");
    EXPECT_STREQ(XML_GetPropName(result, 1), "nil");
    EXPECT_STREQ(XML_GetProperty(result, "nil"), "true");
    EXPECT_STREQ(XML_GetPropName(result, 2), "xsi");
    const Tree plain = New(envelope, 0);
    EXPECT_STREQ(XML_GetName(plain.get()), "soap:Envelope");
}

TEST(XmlApi, AParserFromNewXMLTreeParserIsFreedByXmlDelete) {
    XML_PARSER handle = NewXMLTreeParser();
    ASSERT_NE(handle, nullptr);
    auto* parser = static_cast<IXMLTreeParser*>(reinterpret_cast<CHandleObject*>(handle));
    CString error;
    ASSERT_EQ(parser->Load(CString("<a><b>1</b></a>"), error), 1);
    IXMLTreeNode* root = parser->BuildTree(0);
    XML_delete(handle);
    EXPECT_STREQ(XML_GetName(reinterpret_cast<XML_NODE>(static_cast<CHandleObject*>(root))), "a");
    XML_delete(reinterpret_cast<XML_NODE>(static_cast<CHandleObject*>(root)));
}

TEST(XmlApi, LastErrorSaysWhyTheThreadsLastNewFailed) {
    TempDir dir;
    WriteFile(dir.Path("cut.xml"), "<a><b>");
    // Past 2 GiB, a file the library will not read, whoever runs the test:
    // sparse, so it costs no disk.
    const std::string huge = dir.Path("huge.xml");
    WriteFile(huge, "");
    ASSERT_EQ(truncate(huge.c_str(), 0x80000001LL), 0);
    const struct {
        std::string xml;
        std::string reason;
    } cases[] = {
        {"", "No XML: the text is NULL or empty"},
        {"<a></b>", "Invalid XML: Start-end tags mismatch at offset 5"},
        {"<p:a/>", "Invalid XML: element 'p:a' uses an undeclared prefix"},
        {dir.Path("cut.xml"),
         "Invalid XML in " + dir.Path("cut.xml") + ": Start-end tags mismatch at offset 5"},
        {dir.path(), "Not a regular file: " + dir.path()},
        {huge, "Cannot read " + huge + ": file too large (over 2 GiB)"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(New(c.xml.c_str()), nullptr) << c.xml;
        EXPECT_EQ(std::string(XML_GetLastError()), c.reason);
    }
    EXPECT_EQ(New(nullptr), nullptr);
    EXPECT_STREQ(XML_GetLastError(), "No XML: the text is NULL or empty");
    // A success empties it.
    EXPECT_TRUE(New("<a/>", 1));
    EXPECT_STREQ(XML_GetLastError(), "");
}

TEST(XmlApi, EachThreadHasItsOwnLastError) {
    EXPECT_EQ(New("<a>"), nullptr);
    const std::string mine = XML_GetLastError();
    std::string theirs;
    std::thread other([&] {
        theirs = XML_GetLastError();
        New("<a/>");
    });
    other.join();
    EXPECT_EQ(theirs, "");
    EXPECT_EQ(std::string(XML_GetLastError()), mine);
    EXPECT_NE(mine, "");
}

TEST(XmlApi, BuildTreeLeavesTheReasonItFailedToo) {
    CXMLTreeParser parser;
    EXPECT_EQ(parser.BuildTree(0), nullptr);
    EXPECT_STREQ(XML_GetLastError(), "No XML document: the parser has loaded none, or its last load failed");
    CString error;
    ASSERT_EQ(parser.Load(CString("<a><b>1</b></a>"), error), 1);
    const std::unique_ptr<IXMLTreeNode> tree(parser.BuildTree(1));
    EXPECT_TRUE(tree);
    EXPECT_STREQ(XML_GetLastError(), "");
    EXPECT_EQ(parser.Load(CString("<a>"), error), 0);
    EXPECT_EQ(parser.BuildTree(0), nullptr);
    EXPECT_STREQ(XML_GetLastError(), "No XML document: the parser has loaded none, or its last load failed");
}
