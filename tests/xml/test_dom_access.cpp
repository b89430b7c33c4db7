#include "xml/dom_access.h"

#include <gtest/gtest.h>

#include <string>

namespace {

DomDocumentPtr Load(const char* text) {
    DomDocumentPtr doc;
    CString error;
    if (!LoadDomDocument(CString(text), doc, error)) ADD_FAILURE() << text << ": " << error.GetString();
    return doc;
}

CString ResponseName(const char* text) {
    const DomDocumentPtr doc = Load(text);  // nodes are views: the document must outlive them
    const CDomNode node = GetSoapResponseNode(doc);
    return node.IsNull() ? CString("(null)") : node.nodeName();
}

template <typename Call>
void ExpectPointerError(Call&& call) {
    try {
        call();
        ADD_FAILURE() << "no error raised";
    } catch (const CDomError& e) {
        EXPECT_EQ(e.Code(), xmldom::kE_POINTER);
    }
}

}  // namespace

TEST(DomAccess, LoadAnswersWithTheTextsOfItsFailures) {
    for (const char* bad : {"", "<html><body><p>Server error<br></body></html>",
                            "<soap:Envelope xmlns:soap='s'>", "Internal Server Error", "<a></b>"}) {
        DomDocumentPtr doc;
        CString error = "before";
        EXPECT_EQ(LoadDomDocument(CString(bad), doc, error), 0) << bad;
        EXPECT_EQ(error, "Invalid SOAP XML!") << bad;
        // The document stays, empty.
        ASSERT_TRUE(doc) << bad;
        EXPECT_TRUE(doc->documentElement().IsNull());
        EXPECT_TRUE(GetSoapResponseNode(doc).IsNull());
    }
    DomDocumentPtr doc;
    CString error = "untouched";
    EXPECT_EQ(LoadDomDocument(CString("<a/>"), doc, error), 1);
    EXPECT_EQ(error, "untouched");
    EXPECT_EQ(doc->documentElement().nodeName(), "a");
    // A load replaces the document held.
    const DomDocumentPtr first = doc;
    EXPECT_EQ(LoadDomDocument("<b/>", 4, doc, error), 1);
    EXPECT_NE(doc, first);
    EXPECT_EQ(doc->documentElement().nodeName(), "b");
    EXPECT_EQ(first->documentElement().nodeName(), "a");
}

TEST(DomAccess, TheBodyIsFoundUnderAnyPrefixInAnyCaseAtAnyDepth) {
    EXPECT_EQ(ResponseName("<soap:Envelope xmlns:soap='s'><soap:Body><m:R xmlns:m='m'/></soap:Body>"
                           "</soap:Envelope>"),
              "m:R");
    EXPECT_EQ(ResponseName("<SOAP-ENV:Envelope xmlns:SOAP-ENV='s'><SOAP-ENV:BODY><R/></SOAP-ENV:BODY>"
                           "</SOAP-ENV:Envelope>"),
              "R");
    EXPECT_EQ(ResponseName("<Envelope><body><R/></body></Envelope>"), "R");
    EXPECT_EQ(ResponseName("<Envelope><Header><x/></Header><Body><First/><Second/></Body></Envelope>"),
              "First");
    EXPECT_EQ(
        ResponseName("<Envelope><Wrap><Deeper><s:Body xmlns:s='s'><R/></s:Body></Deeper></Wrap></Envelope>"),
        "R");
    // The first match in document order wins, however deep.
    EXPECT_EQ(ResponseName("<E><H><Body><Early/></Body></H><Body><Late/></Body></E>"), "Early");
    // The envelope itself is never the body.
    EXPECT_EQ(ResponseName("<Body><R/></Body>"), "(null)");
}

TEST(DomAccess, AnEmptyOrMissingBodyGivesNoResponseNode) {
    EXPECT_EQ(ResponseName("<s:Envelope xmlns:s='s'><s:Body/></s:Envelope>"), "(null)");
    EXPECT_EQ(ResponseName("<s:Envelope xmlns:s='s'><s:Body>text only</s:Body></s:Envelope>"), "(null)");
    EXPECT_EQ(ResponseName("<s:Envelope xmlns:s='s'><s:Header/></s:Envelope>"), "(null)");
    EXPECT_TRUE(GetSoapResponseNode(DomDocumentPtr()).IsNull());
}

TEST(DomAccess, ACommentBeforeTheResponseDoesNotHideIt) {
    EXPECT_EQ(ResponseName("<s:Envelope xmlns:s='s'><s:Body><!-- generated --><?pi?>stray<R/></s:Body>"
                           "</s:Envelope>"),
              "R");
}

TEST(DomAccess, ANameThatOnlyContainsTheWordIsNoMatch) {
    // "h:BodyCount" and "Bodyguard" contain ":Body" or "Body" but are other elements.
    EXPECT_EQ(ResponseName("<s:Envelope xmlns:s='s' xmlns:h='h'><s:Header><h:BodyCount>2</h:BodyCount>"
                           "<Bodyguard><x/></Bodyguard><h:AntiBody><y/></h:AntiBody></s:Header>"
                           "<s:Body><R/></s:Body></s:Envelope>"),
              "R");
}

TEST(DomAccess, FindDescendantSearchesDepthFirstAndNeverTestsTheNodeItself) {
    const DomDocumentPtr doc = Load(
        "<faultcode><a><b><x:faultcode xmlns:x='x'>deep</x:faultcode></b></a>"
        "<FAULTCODE>shallow</FAULTCODE></faultcode>");
    const CDomNode root = doc->documentElement();
    const CDomNode found = FindDescendant(root, "faultcode");
    ASSERT_FALSE(found.IsNull());
    EXPECT_EQ(found.text(), "deep");
    EXPECT_EQ(FindDescendant(root, "B").nodeName(), "b");
    EXPECT_TRUE(FindDescendant(root, "missing").IsNull());
    EXPECT_TRUE(FindDescendant(CDomNode(), "a").IsNull());
    // A text node's name "#text" is a name like any other.
    EXPECT_FALSE(FindDescendant(root, "#text").IsNull());
}

TEST(DomAccess, AttributesAreFoundByTheirQualifiedNameAsWritten) {
    const DomDocumentPtr doc = Load(
        "<r xmlns:xsi='http://www.w3.org/2001/XMLSchema-instance' "
        "xmlns:i='http://www.w3.org/2001/XMLSchema-instance'>"
        "<a xsi:type='xsd:int' plain='p'>1</a><b i:type='xsd:int' i:nil='true'/></r>");
    const CDomNode a = doc->documentElement().firstChild();
    const CDomNode b = a.nextSibling();
    CString out = "stale";
    GetAttributeText(a, "xsi:type", out);
    EXPECT_EQ(out, "xsd:int");
    GetAttributeText(a, "plain", out);
    EXPECT_EQ(out, "p");
    GetAttributeText(a, "type", out);  // without its prefix: absent
    EXPECT_EQ(out, "");
    out = "stale";
    GetAttributeText(a, "missing", out);
    EXPECT_EQ(out, "");
    // Bound to the same namespace under another prefix: not seen.
    GetAttributeText(b, "xsi:type", out);
    EXPECT_EQ(out, "");
    EXPECT_EQ(IsNilNode(b), 0);
    // A text node has no attributes.
    out = "stale";
    GetAttributeText(a.firstChild(), "xsi:type", out);
    EXPECT_EQ(out, "");
    ExpectPointerError([] {
        CString ignored;
        GetAttributeText(CDomNode(), "xsi:nil", ignored);
    });
}

TEST(DomAccess, NilIsExactlyTheLowerCaseTrue) {
    const DomDocumentPtr doc = Load(
        "<r xmlns:xsi='http://www.w3.org/2001/XMLSchema-instance'>"
        "<a xsi:nil='true'/><a xsi:nil='TRUE'/><a xsi:nil='1'/><a xsi:nil='True'/><a/><a nil='true'/></r>");
    std::string answers;
    for (CDomNode n = doc->documentElement().firstChild(); !n.IsNull(); n = n.nextSibling())
        answers += std::to_string(IsNilNode(n));
    EXPECT_EQ(answers, "100000");
    ExpectPointerError([] { IsNilNode(CDomNode()); });
}

TEST(DomAccess, NodeReadsOneMemberEach) {
    const DomDocumentPtr doc = Load("<r a='1' b='2'><x>t<!--c--></x><y/></r>");
    const CDomNode r = doc->documentElement();
    const CDomNodeList list = r.childNodes();
    EXPECT_EQ(list.length(), 2);
    EXPECT_EQ(list.item(1).nodeName(), "y");
    EXPECT_TRUE(list.item(2).IsNull());
    const CDomNamedNodeMap map = r.attributes();
    EXPECT_EQ(map.length(), 2);
    EXPECT_EQ(map.item(1).text(), "2");
    EXPECT_EQ(r.text(), "t");
    EXPECT_EQ(r.firstChild().firstChild().nextSibling().nodeName(), "#comment");
    EXPECT_FALSE(r.firstChild().firstChild().attributes());
    ExpectPointerError([] { CDomNode().nodeName(); });
    ExpectPointerError([] { CDomNode().text(); });
    ExpectPointerError([] { CDomNode().firstChild(); });
    ExpectPointerError([] { CDomNode().nextSibling(); });
    ExpectPointerError([] { CDomNode().childNodes(); });
    ExpectPointerError([] { CDomNode().attributes(); });
    ExpectPointerError([] { CDomNodeList().length(); });
    ExpectPointerError([] { CDomNamedNodeMap().item(0); });
}
