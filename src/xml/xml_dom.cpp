#include "xml/xml_dom.h"

#include "platform/code_page.h"

#include <cstdio>
#include <cstring>
#include <string_view>
#include <utility>
#include <vector>

namespace xml {

namespace {

constexpr const char kListInterface[] = "IXMLDOMNodeList";
constexpr const char kMapInterface[] = "IXMLDOMNamedNodeMap";
constexpr uint32_t kNoNode = DomDocumentState::kNoNode;

// A view of UTF-8 characters in the code page: the characters themselves
// when it is UTF-8, else their conversion in `scratch`.
std::string_view View(const DomDocumentState* doc, const char* utf8, size_t length, std::string& scratch) {
    if (doc->utf8) return std::string_view(utf8, length);
    scratch = codepage::FromUtf8(utf8, length);
    return scratch;
}

std::string_view View(const DomDocumentState* doc, uint32_t ref, std::string& scratch) {
    const char* text = doc->String(ref);
    return View(doc, text, std::strlen(text), scratch);
}

CString ToCString(std::string_view view, std::string& scratch) {
    if (!scratch.empty() && view.data() == scratch.data()) return CString(std::move(scratch));
    return CString(view.data(), static_cast<int>(view.size()));
}

bool IsText(const DomRecord& r) { return r.kind() == DomRecord::kText || r.kind() == DomRecord::kCData; }

}  // namespace

CDomError::CDomError(uint32_t code, const char* interfaceName) : m_code(code), m_interface(interfaceName) {
    char text[96];
    std::snprintf(text, sizeof text, "DOM call failed (0x%08X) on %s", code, interfaceName);
    m_what = text;
}

// --- CDomNode ----------------------------------------------------------------

void CDomNode::Fail(const char* interfaceName) { throw CDomError(kE_POINTER, interfaceName); }

std::string_view CDomNode::NameView(std::string& scratch) const {
    Check(kNodeInterface);
    if (m_attribute) return View(m_doc, m_doc->attributes[m_index].name, scratch);
    const DomRecord& r = m_doc->nodes[m_index];
    switch (r.kind()) {
        case DomRecord::kText:
            return "#text";
        case DomRecord::kCData:
            return "#cdata-section";
        case DomRecord::kComment:
            return "#comment";
        default:
            return View(m_doc, r.text, scratch);
    }
}

std::string_view CDomNode::TextView(std::string& scratch) const {
    Check(kNodeInterface);
    if (m_attribute) return View(m_doc, m_doc->attributes[m_index].value, scratch);
    const CBlockArray<DomRecord>& nodes = m_doc->nodes;
    const DomRecord& r = nodes[m_index];
    switch (r.kind()) {
        case DomRecord::kElement:
            break;
        case DomRecord::kInstruction:
            return View(m_doc, r.extra, scratch);
        default:
            return View(m_doc, r.text, scratch);
    }
    if (r.firstChild == kNoNode) return std::string_view();
    // The common leaf: one text child.
    const DomRecord& first = nodes[r.firstChild];
    if (IsText(first) && first.nextSibling == kNoNode && first.firstChild == kNoNode)
        return View(m_doc, first.text, scratch);
    std::string all;
    std::vector<uint32_t> pending;  // next siblings to come back to
    uint32_t c = r.firstChild;
    for (;;) {
        while (c != kNoNode) {
            const DomRecord& d = nodes[c];
            if (IsText(d)) all += m_doc->String(d.text);
            if (d.firstChild == kNoNode) {
                c = d.nextSibling;
                continue;
            }
            if (d.nextSibling != kNoNode) pending.push_back(d.nextSibling);
            c = d.firstChild;
        }
        if (pending.empty()) break;
        c = pending.back();
        pending.pop_back();
    }
    if (m_doc->utf8) {
        scratch = std::move(all);
        return scratch;
    }
    return View(m_doc, all.data(), all.size(), scratch);
}

std::shared_ptr<const void> CDomNode::TextOwner() const {
    Check(kNodeInterface);
    return m_doc->texts;
}

void CDomNode::Replay(CXmlSink& sink) const {
    Check(kNodeInterface);
    sink.Begin();
    if (m_attribute) return;
    const DomDocumentState& doc = *m_doc;
    const CBlockArray<DomRecord>& nodes = doc.nodes;
    std::vector<const char*> pairs;
    std::vector<uint32_t> open;  // the elements entered, innermost last
    uint32_t c = m_index;
    for (;;) {
        const DomRecord& r = nodes[c];
        const char* text = doc.String(r.text);
        switch (r.kind()) {
            case DomRecord::kElement: {
                pairs.clear();
                for (uint32_t i = 0; i < r.attributeCount(); ++i) {
                    const DomAttribute& a = doc.attributes[r.extra + i];
                    pairs.push_back(doc.String(a.name));
                    pairs.push_back(doc.String(a.value));
                }
                sink.StartElement(text, pairs.data(), r.attributeCount());
                if (r.firstChild != kNoNode) {
                    open.push_back(c);
                    c = r.firstChild;
                    continue;
                }
                sink.EndElement();
                break;
            }
            case DomRecord::kText:
                sink.Text(text, std::strlen(text));
                break;
            case DomRecord::kCData:
                sink.CData(text, std::strlen(text));
                break;
            case DomRecord::kComment:
                sink.Comment(text, std::strlen(text));
                break;
            case DomRecord::kInstruction:
                sink.Instruction(text, doc.String(r.extra));
                break;
        }
        // Node c is walked: on to its next sibling, closing the elements it ends.
        for (;;) {
            if (c == m_index) return;
            if (nodes[c].nextSibling != kNoNode) {
                c = nodes[c].nextSibling;
                break;
            }
            c = open.back();
            open.pop_back();
            sink.EndElement();
        }
    }
}

CString CDomNode::nodeName() const {
    std::string scratch;
    return ToCString(NameView(scratch), scratch);
}

CString CDomNode::text() const {
    std::string scratch;
    return ToCString(TextView(scratch), scratch);
}

CVariant CDomNode::nodeValue() const {
    Check(kNodeInterface);
    if (!m_attribute && m_doc->nodes[m_index].kind() == DomRecord::kElement) return CVariant();
    return CVariant(text());
}

CDomNodeList CDomNode::childNodes() const {
    Check(kNodeInterface);
    return CDomNodeList(m_doc, m_index, m_attribute);
}

CDomNamedNodeMap CDomNode::attributes() const {
    Check(kNodeInterface);
    if (m_attribute) return CDomNamedNodeMap();
    const DomRecord& r = m_doc->nodes[m_index];
    if (r.kind() != DomRecord::kElement) return CDomNamedNodeMap();
    return CDomNamedNodeMap(m_doc, r.extra, r.attributeCount());
}

// --- CDomNodeList ------------------------------------------------------------

void CDomNodeList::Check() const {
    if (m_doc == nullptr) throw CDomError(kE_POINTER, kListInterface);
}

long CDomNodeList::length() const {
    Check();
    if (m_length < 0) {
        long count = 0;
        if (!m_empty) {
            for (uint32_t c = m_doc->nodes[m_parent].firstChild; c != kNoNode;
                 c = m_doc->nodes[c].nextSibling)
                ++count;
        }
        m_length = count;
    }
    return m_length;
}

CDomNode CDomNodeList::item(long index) const {
    Check();
    if (index < 0 || m_empty) return CDomNode();
    uint32_t c;
    long at;
    if (m_cursorNode != kNoNode && index >= m_cursor) {
        c = m_cursorNode;
        at = m_cursor;
    } else {
        c = m_doc->nodes[m_parent].firstChild;
        at = 0;
    }
    for (; c != kNoNode && at < index; ++at) c = m_doc->nodes[c].nextSibling;
    if (c == kNoNode) return CDomNode();
    m_cursorNode = c;
    m_cursor = at;
    return CDomNode(m_doc, c, false);
}

// --- CDomNamedNodeMap --------------------------------------------------------

void CDomNamedNodeMap::Check() const {
    if (m_doc == nullptr) throw CDomError(kE_POINTER, kMapInterface);
}

CDomNode CDomNamedNodeMap::getNamedItem(const char* name) const {
    Check();
    if (name == nullptr) throw CDomError(kE_POINTER, kMapInterface);
    std::string wanted;
    if (!m_doc->utf8) wanted = codepage::ToUtf8(name, std::strlen(name));
    const char* key = m_doc->utf8 ? name : wanted.c_str();
    for (uint32_t i = 0; i < m_count; ++i) {
        if (std::strcmp(m_doc->String(m_doc->attributes[m_first + i].name), key) == 0)
            return CDomNode(m_doc, m_first + i, true);
    }
    return CDomNode();
}

bool CodePageIsUtf8() { return codepage::IsUtf8(); }

std::string_view ToCodePage(std::string_view utf8, std::string& scratch) {
    scratch = codepage::FromUtf8(utf8.data(), utf8.size());
    return scratch;
}

}  // namespace xml
