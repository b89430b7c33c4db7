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

template <typename Call>
void ExpectPointerError(Call&& call) {
    try {
        call();
        ADD_FAILURE() << "no error raised";
    } catch (const CDomError& e) {
        EXPECT_EQ(e.Code(), xml::kE_POINTER);
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
    // A text node has no attributes.
    out = "stale";
    GetAttributeText(a.firstChild(), "xsi:type", out);
    EXPECT_EQ(out, "");
    ExpectPointerError([] {
        CString ignored;
        GetAttributeText(CDomNode(), "xsi:nil", ignored);
    });
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
