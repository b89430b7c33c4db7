// The two XML routes on the same bytes: the direct route (our reader, with
// the pugixml route behind it for what it declines) and the pugixml route
// alone. Any difference aborts: in acceptance, refusal text or document
// (names, texts, attributes, node kinds and links); in the record set the
// one table sink fills from each route's walk, with its answer and error
// text; in the tree the one tree sink builds from each.
#include "xml/xml_dom.h"
#include "recordset/srs.h"
#include "soap/soap_reader.h"
#include "xmltree/xml_tree_parser.h"

#include <cstring>
#include <memory>

#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

using xml::CDomDocument;
using xml::CDomNode;

void Same(const CDomNode& a, const CDomNode& b) {
    std::string scratchA, scratchB;
    if (a.NameView(scratchA) != b.NameView(scratchB)) std::abort();
    if (a.TextView(scratchA) != b.TextView(scratchB)) std::abort();
    const xml::CDomNamedNodeMap mapA = a.attributes();
    const xml::CDomNamedNodeMap mapB = b.attributes();
    if (static_cast<bool>(mapA) != static_cast<bool>(mapB)) std::abort();
    if (mapA) {
        if (mapA.length() != mapB.length()) std::abort();
        for (long i = 0; i < mapA.length(); ++i) {
            if (mapA.item(i).NameView(scratchA) != mapB.item(i).NameView(scratchB)) std::abort();
            if (mapA.item(i).TextView(scratchA) != mapB.item(i).TextView(scratchB)) std::abort();
        }
    }
    CDomNode childA = a.firstChild();
    CDomNode childB = b.firstChild();
    for (; childA && childB; childA = childA.nextSibling(), childB = childB.nextSibling())
        Same(childA, childB);
    if (childA || childB) std::abort();
}

void SameTree(CXMLTreeNode& a, CXMLTreeNode& b) {
    if (std::strcmp(a.m_szName, b.m_szName) != 0 || std::strcmp(a.GetText(), b.GetText()) != 0) std::abort();
    if (a.PropCount() != b.PropCount() || a.m_nChildren != b.m_nChildren) std::abort();
    for (int i = 0; i < 2 * a.PropCount(); ++i)
        if (std::strcmp(a.m_ppProps[i], b.m_ppProps[i]) != 0) std::abort();
    for (int i = 0; i < a.m_nChildren; ++i) {
        if (a.Child(i).Parent() != &a || b.Child(i).Parent() != &b) std::abort();
        SameTree(a.Child(i), b.Child(i));
    }
}

void SameSet(SRS& a, SRS& b) {
    if (a.ColCount() != b.ColCount() || a.RowCount() != b.RowCount()) std::abort();
    CString textA, textB;
    for (int c = 0; c < a.ColCount(); ++c) {
        a.GetColName(c, textA);
        b.GetColName(c, textB);
        if (textA != textB || a.GetColType(c) != b.GetColType(c)) std::abort();
        for (int r = 0; r < a.RowCount(); ++r) {
            a.GetText(r, c, textA);
            b.GetText(r, c, textB);
            if (textA != textB || a.IsNull(r, c) != b.IsNull(r, c)) std::abort();
        }
    }
}

void SameTable(const CString& text) {
    CSoapReader direct, pugixml;
    SRS* a = nullptr;
    SRS* b = nullptr;
    const int resultA = direct.ReadRecordSet(text, a, 0, xml::XmlRoute::kDirect);
    const int resultB = pugixml.ReadRecordSet(text, b, 0, xml::XmlRoute::kPugixml);
    if (resultA != resultB || direct.LastError() != pugixml.LastError() || (a == nullptr) != (b == nullptr))
        std::abort();
    if (a != nullptr) SameSet(*a, *b);
    delete a;
    delete b;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > (1u << 20)) return 0;
    const char* text = reinterpret_cast<const char*>(data);
    CDomDocument direct;
    CDomDocument pugixml;
    const bool directOk = direct.loadXML(text, size, xml::XmlRoute::kDirect);
    const bool pugixmlOk = pugixml.loadXML(text, size, xml::XmlRoute::kPugixml);
    if (directOk != pugixmlOk || direct.ParseError() != pugixml.ParseError()) std::abort();
    if (directOk) Same(direct.documentElement(), pugixml.documentElement());
    SameTable(CString(text, static_cast<int>(size)));

    std::string reasonA, reasonB;
    const std::unique_ptr<CXMLTreeNode> a(
        CXMLTreeParser::ReadTree(text, size, xml::XmlRoute::kDirect, reasonA));
    const std::unique_ptr<CXMLTreeNode> b(
        CXMLTreeParser::ReadTree(text, size, xml::XmlRoute::kPugixml, reasonB));
    if (static_cast<bool>(a) != directOk || static_cast<bool>(b) != directOk || reasonA != reasonB)
        std::abort();
    if (a) {
        if (a->Parent() != nullptr || b->Parent() != nullptr) std::abort();
        SameTree(*a, *b);
    }
    return 0;
}
