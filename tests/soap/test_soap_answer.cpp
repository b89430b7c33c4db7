// The rules that make a text a SOAP answer and find its parts.
#include "soap/soap_answer.h"

#include "xml/dom_access.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

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

// IsNil over an element's attributes, as a sink hears them.
int IsNilElement(const CDomNode& element) {
    std::vector<CString> texts;
    const CDomNamedNodeMap map = element.attributes();
    for (long i = 0; i < map.length(); ++i) {
        texts.push_back(map.item(i).nodeName());
        texts.push_back(map.item(i).text());
    }
    std::vector<const char*> pairs;
    for (const CString& t : texts) pairs.push_back(t.GetString());
    return IsNil(pairs.data(), texts.size() / 2) ? 1 : 0;
}

}  // namespace

TEST(SoapAnswer, TheBodyIsFoundUnderAnyPrefixInAnyCaseAtAnyDepth) {
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

TEST(SoapAnswer, AnEmptyOrMissingBodyGivesNoResponseNode) {
    EXPECT_EQ(ResponseName("<s:Envelope xmlns:s='s'><s:Body/></s:Envelope>"), "(null)");
    EXPECT_EQ(ResponseName("<s:Envelope xmlns:s='s'><s:Body>text only</s:Body></s:Envelope>"), "(null)");
    EXPECT_EQ(ResponseName("<s:Envelope xmlns:s='s'><s:Header/></s:Envelope>"), "(null)");
    EXPECT_TRUE(GetSoapResponseNode(DomDocumentPtr()).IsNull());
    // Nor does the empty document a refused load leaves.
    DomDocumentPtr refused;
    CString error;
    EXPECT_EQ(LoadDomDocument(CString("<a></b>"), refused, error), 0);
    EXPECT_TRUE(GetSoapResponseNode(refused).IsNull());
}

TEST(SoapAnswer, ACommentBeforeTheResponseDoesNotHideIt) {
    EXPECT_EQ(ResponseName("<s:Envelope xmlns:s='s'><s:Body><!-- generated --><?pi?>stray<R/></s:Body>"
                           "</s:Envelope>"),
              "R");
}

TEST(SoapAnswer, ANameThatOnlyContainsTheWordIsNoMatch) {
    // "h:BodyCount" and "Bodyguard" contain ":Body" or "Body" but are other elements.
    EXPECT_EQ(ResponseName("<s:Envelope xmlns:s='s' xmlns:h='h'><s:Header><h:BodyCount>2</h:BodyCount>"
                           "<Bodyguard><x/></Bodyguard><h:AntiBody><y/></h:AntiBody></s:Header>"
                           "<s:Body><R/></s:Body></s:Envelope>"),
              "R");
}

TEST(SoapAnswer, FindDescendantSearchesDepthFirstAndNeverTestsTheNodeItself) {
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

TEST(SoapAnswer, NilIsExactlyTheLowerCaseTrue) {
    const DomDocumentPtr doc = Load(
        "<r xmlns:xsi='http://www.w3.org/2001/XMLSchema-instance' "
        "xmlns:i='http://www.w3.org/2001/XMLSchema-instance'>"
        "<a xsi:nil='true'/><a xsi:nil='TRUE'/><a xsi:nil='1'/><a xsi:nil='True'/><a/><a nil='true'/>"
        "<a i:nil='true'/></r>");
    std::string answers;
    for (CDomNode n = doc->documentElement().firstChild(); !n.IsNull(); n = n.nextSibling())
        answers += std::to_string(IsNilElement(n));
    // Bound to the same namespace under another prefix: not seen.
    EXPECT_EQ(answers, "1000000");
}
