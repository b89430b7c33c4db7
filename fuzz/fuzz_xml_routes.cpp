// Both ways into the DOM on the same bytes: the direct reader (with pugixml
// behind it for what it declines) and pugixml alone. Any difference in
// acceptance, refusal text or document - names, texts, attributes, node
// kinds and links - aborts. Record sets are read from the document alone,
// so equal documents give equal sets; the table read straight from a
// response must equal the one read from its document, with the same answer
// and error text. The plain tree read straight from the text must equal
// the one built from the document.
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

using xmldom::CDomDocument;
using xmldom::CDomNode;

void Same(const CDomNode& a, const CDomNode& b) {
    std::string scratchA, scratchB;
    if (a.NameView(scratchA) != b.NameView(scratchB)) std::abort();
    if (a.TextView(scratchA) != b.TextView(scratchB)) std::abort();
    const xmldom::CDomNamedNodeMap mapA = a.attributes();
    const xmldom::CDomNamedNodeMap mapB = b.attributes();
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
    if (std::strcmp(a.m_szName, b.m_szName) != 0 || std::strcmp(a.m_szText, b.m_szText) != 0) std::abort();
    if (a.m_nProps != b.m_nProps || a.m_nChildren != b.m_nChildren) std::abort();
    for (int i = 0; i < 2 * a.m_nProps; ++i)
        if (std::strcmp(a.m_ppProps[i], b.m_ppProps[i]) != 0) std::abort();
    for (int i = 0; i < a.m_nChildren; ++i) {
        if (a.m_ppChildren[i]->m_pParent != &a || b.m_ppChildren[i]->m_pParent != &b) std::abort();
        SameTree(*a.m_ppChildren[i], *b.m_ppChildren[i]);
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
    CSoapReader straight, document;
    SRS* a = nullptr;
    SRS* b = nullptr;
    const int resultA = straight.ReadRecordSet(text, a, 0, CSoapReader::Route::kStraightFirst);
    const int resultB = document.ReadRecordSet(text, b, 0, CSoapReader::Route::kDocument);
    if (resultA != resultB || straight.LastError() != document.LastError() ||
        (a == nullptr) != (b == nullptr))
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
    CDomDocument full;
    const bool directOk = direct.loadXML(text, size, CDomDocument::LoadRoute::kDirectFirst);
    const bool fullOk = full.loadXML(text, size, CDomDocument::LoadRoute::kFullParser);
    if (directOk != fullOk || direct.ParseError() != full.ParseError()) std::abort();
    if (directOk) Same(direct.documentElement(), full.documentElement());
    SameTable(CString(text, static_cast<int>(size)));

    const std::unique_ptr<CXMLTreeNode> straight(CXMLTreeParser::BuildTreeStraight(text, size));
    if (straight) {
        if (!directOk) std::abort();  // read straight, yet refused as a document
        CXMLTreeParser parser;
        CString error;
        if (parser.Load(text, size, error) == 0) std::abort();
        const std::unique_ptr<IXMLTreeNode> built(parser.BuildTree(0));
        if (!built || straight->m_pParent != nullptr) std::abort();
        SameTree(*straight, static_cast<CXMLTreeNode&>(*built));
    }
    return 0;
}
