#include "xmltree/xml_tree_parser.h"

#include "common/test_support.h"
#include "soap/capped_child.h"
#include "soap/soap_answer.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace {

using Tree = std::unique_ptr<IXMLTreeNode>;

Tree Build(const char* xml, int bSoapBody = 0) {
    CXMLTreeParser parser;
    CString error;
    if (!parser.Load(CString(xml), error)) {
        ADD_FAILURE() << xml << ": " << error.GetString();
        return nullptr;
    }
    return Tree(parser.BuildTree(bSoapBody));
}

// The tree as text: name, "=text" for leaves, "[attributes]", "(children)".
std::string Show(IXMLTreeNode* n) {
    std::string out = n->GetName();
    if (n->GetChildren() == 0 && *n->GetText() != '\0') out += std::string("=") + n->GetText();
    if (n->GetProps() > 0) {
        out += '[';
        for (int i = 0; i < n->GetProps(); ++i) {
            CString name, value;
            n->GetPropName(i, name);
            n->GetPropValue(i, value);
            out += (i ? " " : "") + name.str() + "=" + value.str();
        }
        out += ']';
    }
    if (n->GetChildren() > 0) {
        out += '(';
        for (int i = 0; i < n->GetChildren(); ++i) out += (i ? "," : "") + Show(n->GetChild(i));
        out += ')';
    }
    return out;
}

std::string Names(const CUIntArray& nodes) {
    std::string out;
    for (uintptr_t p : nodes)
        out += (out.empty() ? "" : ",") + std::string(reinterpret_cast<IXMLTreeNode*>(p)->GetName());
    return out;
}

const char kSoap[] =
    "<soap:Envelope xmlns:soap='http://schemas.xmlsoap.org/soap/envelope/'>"
    "<soap:Body><m:R xmlns:m='urn:m' m:id='7'><m:Item>v &amp;amp; w</m:Item><m:Empty/></m:R></soap:Body>"
    "</soap:Envelope>";

}  // namespace

TEST(XmlTree, OnlyElementsWithContentBecomeNodes) {
    const Tree t = Build("<a><b>1</b><c/><d x='2'>3</d><e y='lost'></e><f>  </f></a>");
    EXPECT_EQ(Show(t.get()), "a(b=1,d=3[x=2])");
    EXPECT_STREQ(t->GetText(), "");  // a node with children keeps no text
    EXPECT_EQ(t->GetParent(), nullptr);
    EXPECT_EQ(t->GetChild(1)->GetParent(), t.get());
}

TEST(XmlTree, RootsWithTextOrNothing) {
    EXPECT_EQ(Show(Build("<a>hello</a>").get()), "a=hello");
    const Tree empty = Build("<a k='v'/>");
    EXPECT_EQ(Show(empty.get()), "a[k=v]");
    EXPECT_EQ(empty->GetChildren(), 0);
    EXPECT_STREQ(empty->GetText(), "");
}

TEST(XmlTree, MixedContentLosesTheTextBesideElements) {
    EXPECT_EQ(Show(Build("<a>x<b>y</b>z</a>").get()), "a(b=y)");
    // An element holding only an empty element is a leaf with no text.
    EXPECT_EQ(Show(Build("<a><b><c/></b></a>").get()), "a(b)");
    // A comment alone is content: the element becomes a node, its text empty.
    EXPECT_EQ(Show(Build("<a><b><!--c--></b></a>").get()), "a(b)");
}

TEST(XmlTree, LeafTextIsTheConcatenationDecodedOnceMore) {
    // The DOM decodes once, the tree once more: a twice-escaped ampersand
    // and less-than sign come out plain.
    EXPECT_EQ(Show(Build("<a>&amp;amp; &amp;lt;b&amp;gt; &amp;nbsp;</a>").get()), "a=& <b>  ");
    EXPECT_EQ(Show(Build("<a><b>1<!--x--><![CDATA[&lt;2]]><c/>3</b></a>").get()), "a(b=1<23)");
    // Attribute values are not decoded a second time.
    EXPECT_EQ(Show(Build("<a v='&amp;lt;'>t</a>").get()), "a=t[v=&lt;]");
}

TEST(XmlTree, SoapBodyModeStartsInsideTheBodyWithoutPrefixes) {
    EXPECT_EQ(Show(Build(kSoap, 1).get()), "R[m=urn:m id=7](Item=v & w)");
    EXPECT_EQ(Show(Build(kSoap, 0).get()),
              "soap:Envelope[xmlns:soap=http://schemas.xmlsoap.org/soap/envelope/]"
              "(soap:Body(m:R[xmlns:m=urn:m m:id=7](m:Item=v & w)))");
}

TEST(XmlTree, SoapBodyModeWithoutBodyContentTakesTheWholeDocument) {
    CXMLTreeParser parser;
    CString error;
    ASSERT_TRUE(parser.Load(CString("<x:Doc xmlns:x='u'><x:Part>1</x:Part></x:Doc>"), error));
    const Tree t(parser.BuildTree(1));
    EXPECT_EQ(Show(t.get()), "x:Doc[xmlns:x=u](x:Part=1)");
    EXPECT_EQ(parser.m_bSoapBody, 0);
    EXPECT_EQ(Show(Build("<s:E xmlns:s='u'><s:Body/></s:E>", 1).get()), "s:E[xmlns:s=u]");
}

TEST(XmlTree, GetPropertyIgnoresLetterCase) {
    const Tree t = Build("<a x='1' Y='2'>t</a>");
    CString out = "stale";
    EXPECT_EQ(t->GetProperty("X", out), 1);
    EXPECT_EQ(out, "1");
    EXPECT_EQ(t->GetProperty("y", out), 1);
    EXPECT_EQ(out, "2");
    EXPECT_EQ(t->GetProperty("z", out), 0);
    EXPECT_EQ(out, "");
    out = "stale";
    EXPECT_EQ(t->GetProperty(nullptr, out), 0);
    EXPECT_EQ(out, "");
}

TEST(XmlTree, OutOfRangeIndexesGiveNullZeroAndEmptyText) {
    const Tree t = Build("<a p='1'><b>1</b></a>");
    EXPECT_EQ(t->GetChild(-1), nullptr);
    EXPECT_EQ(t->GetChild(t->GetChildren()), nullptr);
    EXPECT_NE(t->GetChild(0), nullptr);
    CString out = "stale";
    EXPECT_EQ(t->GetPropName(-1, out), 0);
    EXPECT_EQ(out, "");
    out = "stale";
    EXPECT_EQ(t->GetPropValue(1, out), 0);
    EXPECT_EQ(out, "");
    EXPECT_EQ(t->GetPropName(0, out), 1);
    EXPECT_EQ(out, "p");
}

TEST(XmlTree, LeavesInDocumentOrderAndBranchesInPreOrder) {
    const Tree t = Build("<r><a><b>1</b><c><d>2</d></c></a><e>3</e></r>");
    CUIntArray nodes;
    nodes.Add(0);  // appended to, never emptied
    EXPECT_EQ(t->GetLeaves(nodes), 4);
    nodes.RemoveAt(0);
    EXPECT_EQ(Names(nodes), "b,d,e");
    CUIntArray branches;
    EXPECT_EQ(t->GetBranches(branches), 3);
    EXPECT_EQ(Names(branches), "r,a,c");
    CUIntArray none;
    EXPECT_EQ(t->GetChild(1)->GetBranches(none), 0);
    EXPECT_EQ(t->GetChild(1)->GetLeaves(none), 1);
}

TEST(XmlTree, PathsWithAndWithoutTheRoot) {
    const Tree t = Build("<r><a><b>1</b><b>2</b></a><b>3</b></r>");
    IXMLTreeNode* b = t->GetChild(0)->GetChild(1);
    CString path;
    b->GetPath(path, "/", 0);
    EXPECT_EQ(path, "r/a/b");
    path.Empty();
    b->GetPath(path, "/", 1);
    EXPECT_EQ(path, "/a/b");
    path = "tail";
    b->GetPath(path, ".", 0);
    EXPECT_EQ(path, "r.a.b.tail");
    path.Empty();
    t->GetPath(path, "/", 1);
    EXPECT_EQ(path, "");

    CUIntArray found;
    t->FindByPath(found, "r/a/b", "/", 0);
    ASSERT_EQ(found.GetSize(), 2);
    EXPECT_STREQ(reinterpret_cast<IXMLTreeNode*>(found[0])->GetText(), "1");
    EXPECT_STREQ(reinterpret_cast<IXMLTreeNode*>(found[1])->GetText(), "2");
    found.RemoveAll();
    t->FindByPath(found, "/b", "/", 1);
    ASSERT_EQ(found.GetSize(), 1);
    EXPECT_STREQ(reinterpret_cast<IXMLTreeNode*>(found[0])->GetText(), "3");
    found.RemoveAll();
    t->FindByPath(found, "R/A/B", "/", 0);  // case-sensitive
    EXPECT_EQ(found.GetSize(), 0);
    t->FindByPath(found, "r/b", "/", 1);  // with bSkipRoot the root's name is not part of it
    EXPECT_EQ(found.GetSize(), 0);
    // Searching from a subtree still compares whole paths from the root.
    t->GetChild(0)->FindByPath(found, "r/a", "/", 0);
    EXPECT_EQ(Names(found), "a");
}

TEST(XmlTree, TheParserBuildsIndependentTreesAndTheyOutliveIt) {
    Tree first, second;
    {
        CXMLTreeParser parser;
        CString error;
        ASSERT_TRUE(parser.Load(CString("<a><b>1</b></a>"), error));
        EXPECT_NE(parser.GetDocument(), nullptr);
        first.reset(parser.BuildTree(0));
        second.reset(parser.BuildTree(0));
    }
    EXPECT_NE(first.get(), second.get());
    EXPECT_EQ(Show(first.get()), "a(b=1)");
    EXPECT_EQ(Show(second.get()), "a(b=1)");
}

TEST(XmlTree, LoadFailuresAndBuildingWithoutADocument) {
    CXMLTreeParser parser;
    CString error;
    EXPECT_EQ(parser.GetDocument(), nullptr);
    // No document: no tree, and nothing thrown into the host.
    EXPECT_EQ(parser.BuildTree(0), nullptr);
    EXPECT_EQ(parser.BuildTree(1), nullptr);
    EXPECT_EQ(parser.Load(CString("<a>"), error), 0);
    EXPECT_EQ(error, "Invalid SOAP XML!");
    EXPECT_EQ(parser.BuildTree(0), nullptr);  // an empty document has no root
    error.Empty();
    EXPECT_EQ(parser.Load(CString(""), error), 0);
    EXPECT_EQ(error, "Invalid SOAP XML!");
}

TEST(XmlTree, AParserLoadedAgainBuildsFromItsLastDocumentOnly) {
    CXMLTreeParser parser;
    CString error;
    ASSERT_EQ(parser.Load(CString("<a><b>1</b></a>"), error), 1);
    const Tree first(parser.BuildTree(0));
    ASSERT_EQ(parser.Load(CString("<c><d>2</d></c>"), error), 1);
    const Tree second(parser.BuildTree(0));
    EXPECT_EQ(Show(second.get()), "c(d=2)");
    EXPECT_EQ(Show(first.get()), "a(b=1)");  // a tree outlives the document it came from
    // A failed load leaves nothing of the document before it.
    EXPECT_EQ(parser.Load(CString("<e>"), error), 0);
    EXPECT_EQ(error, "Invalid SOAP XML!");
    EXPECT_EQ(parser.BuildTree(0), nullptr);
    EXPECT_EQ(parser.BuildTree(1), nullptr);
    ASSERT_EQ(parser.Load(CString(kSoap), error), 1);
    const Tree third(parser.BuildTree(1));
    EXPECT_EQ(Show(third.get()), "R[m=urn:m id=7](Item=v & w)");
}

TEST(XmlTree, RunningOutOfMemoryGivesFailureAnswersNotExceptions) {
    if (!testing_support::kAddressSpaceCapWorks)
        GTEST_SKIP() << "no address-space cap under AddressSanitizer";
    std::string big = "<r>";
    for (int i = 0; i < 300000; ++i) big += "<e a='" + std::to_string(i) + "'>t</e>";
    big += "</r>";
    CXMLTreeParser parser;
    CString error;
    // Loading, then building from a document loaded before memory ran short.
    const std::string loading = testing_support::RunCapped(
        size_t{8} << 20, [] {},
        [&]() -> std::string {
            if (parser.Load(big.data(), big.size(), error) != 0) return "loaded";
            if (error != "Out of memory while reading the XML") return "the text " + error.str();
            return parser.BuildTree(0) == nullptr ? "" : "a tree";
        });
    EXPECT_EQ(loading, "");
    // A leaf's text is decoded once more into the tree: a long one needs memory of its own.
    std::string escaped = "<r>";
    for (int i = 0; i < 2000000; ++i) escaped += "&amp;amp;";
    escaped += "</r>";
    const std::string building = testing_support::RunCapped(
        size_t{1} << 20, [&] { parser.Load(escaped.data(), escaped.size(), error); },
        [&]() -> std::string { return parser.BuildTree(0) == nullptr ? "" : "a tree"; });
    EXPECT_EQ(building, "");
}

TEST(XmlTree, BuildsFromADocumentLoadedElsewhere) {
    DomDocumentPtr doc;
    CString error;
    ASSERT_TRUE(LoadDomDocument(CString(kSoap), doc, error));
    const Tree t(CXMLTreeParser::BuildTreeFrom(GetSoapResponseNode(doc), 1));
    CXMLTreeParser parser;
    parser.SetDocument(doc);
    // The tree keeps what it points into: the document may go.
    doc.reset();
    EXPECT_EQ(Show(t.get()), "R[m=urn:m id=7](Item=v & w)");
    EXPECT_EQ(CXMLTreeParser::BuildTreeFrom(CDomNode(), 1), nullptr);
    const Tree again(parser.BuildTree(1));
    EXPECT_EQ(Show(again.get()), Show(t.get()));
}

TEST(XmlTree, DeepAndWideDocumentsBuildAndFree) {
    std::string deep;
    for (int i = 0; i < 1000; ++i) deep += "<e>";
    deep += "x";
    for (int i = 0; i < 1000; ++i) deep += "</e>";
    const Tree d = Build(deep.c_str());
    IXMLTreeNode* n = d.get();
    int depth = 1;
    while (n->GetChildren() == 1) {
        n = n->GetChild(0);
        ++depth;
    }
    EXPECT_EQ(depth, 1000);
    EXPECT_STREQ(n->GetText(), "x");
    CString path;
    n->GetPath(path, "/", 1);
    EXPECT_EQ(path.GetLength(), 999 * 2);
}

TEST(XmlTree, NamesAndTextsInAnotherCodePage) {
    testing_support::ScopedCodePage cp("CP1252");
    // e acute in CP1252 throughout: names, texts, attribute values, and a
    // character CP1252 lacks.
    const Tree t = Build(
        "<s:E xmlns:s='u'><s:Body><m:Caf\xE9 xmlns:m='m' "
        "m:\xE9t\xE9='\xE9'><m:N\xE9>\xE9&#x4E2D;&amp;amp;</m:N\xE9>"
        "</m:Caf\xE9></s:Body></s:E>",
        1);
    EXPECT_EQ(Show(t.get()), "Caf\xE9[m=m \xE9t\xE9=\xE9](N\xE9=\xE9?&)");
    const Tree plain = Build("<r\xE9 a='\x80'>x\xE9</r\xE9>");
    EXPECT_EQ(Show(plain.get()), "r\xE9=x\xE9[a=\x80]");
}

TEST(XmlTree, DeletingAChildAloneFreesNothingTwice) {
    // Not to be done, but it must not corrupt the heap: the root still frees
    // the whole tree once.
    IXMLTreeNode* root = Build("<a><b><c>1</c></b><d>2</d></a>").release();
    delete root->GetChild(0);
    delete root;
}
