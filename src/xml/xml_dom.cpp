#include "xml/xml_dom.h"

#include "platform/code_page.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
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
    std::string unused;
    ReplayLinked(sink, CDomNode(), {}, 0, unused);
}

namespace {

// The id an element refers to in one of the forms; null when it refers to none.
const char* LinkOf(const DomDocumentState& doc, const DomRecord& r, const std::vector<LinkForm>& forms) {
    for (uint32_t i = 0; i < r.attributeCount(); ++i) {
        const DomAttribute& a = doc.attributes[r.extra + i];
        const char* name = doc.String(a.name);
        for (const LinkForm& form : forms) {
            if (form.reference != name) continue;
            const char* value = doc.String(a.value);
            if (!form.hash) return value;
            if (value[0] == '#') return value + 1;
        }
    }
    return nullptr;
}

// The elements below and including `scope` by their ids; the first of an id stays.
std::unordered_map<std::string_view, uint32_t> IndexIds(const DomDocumentState& doc, uint32_t scope,
                                                        const std::vector<LinkForm>& forms) {
    std::unordered_map<std::string_view, uint32_t> ids;
    std::vector<uint32_t> pending{scope};
    while (!pending.empty()) {
        const uint32_t c = pending.back();
        pending.pop_back();
        const DomRecord& r = doc.nodes[c];
        if (r.kind() != DomRecord::kElement) continue;
        for (uint32_t i = 0; i < r.attributeCount(); ++i) {
            const DomAttribute& a = doc.attributes[r.extra + i];
            const char* name = doc.String(a.name);
            for (const LinkForm& form : forms)
                if (form.id == name) ids.emplace(doc.String(a.value), c);
        }
        for (uint32_t child = r.firstChild; child != DomDocumentState::kNoNode;
             child = doc.nodes[child].nextSibling)
            pending.push_back(child);
    }
    return ids;
}

bool IsOneOf(const char* name, const std::vector<LinkForm>& forms, bool id) {
    for (const LinkForm& form : forms)
        if ((id ? form.id : form.reference) == name) return true;
    return false;
}

}  // namespace

bool CDomNode::ReplayLinked(CXmlSink& sink, const CDomNode& scope, const std::vector<LinkForm>& forms,
                            size_t budget, std::string& why) const {
    Check(kNodeInterface);
    sink.Begin();
    if (m_attribute) return true;
    const DomDocumentState& doc = *m_doc;
    const CBlockArray<DomRecord>& nodes = doc.nodes;
    const bool linking = !scope.IsNull() && scope.m_doc == m_doc && !scope.m_attribute && !forms.empty();
    std::unordered_map<std::string_view, uint32_t> ids;
    bool indexed = false;
    // An element entered: the node whose next sibling follows it, and the
    // element whose children it walks (another one's, for a reference).
    struct Open {
        uint32_t node;
        uint32_t content;
    };
    std::vector<Open> open;
    std::unordered_set<uint32_t> expanding;  // the targets of the references open
    size_t expanded = 0;                     // nodes walked in the place of references
    std::vector<const char*> pairs;
    uint32_t c = m_index;
    for (;;) {
        if (!expanding.empty() && ++expanded > budget) {
            why = "References expand past the limit of " + std::to_string(budget) + " nodes";
            return false;
        }
        const DomRecord& r = nodes[c];
        const char* text = doc.String(r.text);
        switch (r.kind()) {
            case DomRecord::kElement: {
                // A reference walks as the element it names: its own name
                // and attributes but href, the target's beside them but id,
                // the target's children. A target that is a reference goes on.
                uint32_t content = c;
                const char* link = linking ? LinkOf(doc, r, forms) : nullptr;
                for (size_t steps = 0; link != nullptr; ++steps) {
                    if (!indexed) {
                        ids = IndexIds(doc, scope.m_index, forms);
                        indexed = true;
                    }
                    const auto it = ids.find(link);
                    if (it == ids.end()) {
                        why = std::string("Unresolved reference: no element has the id \"") + link + "\"";
                        return false;
                    }
                    if (expanding.count(it->second) != 0 || it->second == c || steps > ids.size()) {
                        why = std::string("Reference cycle: the element with the id \"") + link +
                              "\" holds a reference to itself";
                        return false;
                    }
                    content = it->second;
                    link = LinkOf(doc, nodes[content], forms);
                }
                pairs.clear();
                // The referring element's attributes but the reference, then
                // the target's but the id and those already there.
                const auto add = [&](const DomRecord& from, bool target) {
                    for (uint32_t i = 0; i < from.attributeCount(); ++i) {
                        const DomAttribute& a = doc.attributes[from.extra + i];
                        const char* name = doc.String(a.name);
                        if (content != c && IsOneOf(name, forms, target)) continue;
                        bool present = false;
                        for (size_t k = 0; target && !present && k < pairs.size(); k += 2)
                            present = std::strcmp(pairs[k], name) == 0;
                        if (present) continue;
                        pairs.push_back(name);
                        pairs.push_back(doc.String(a.value));
                    }
                };
                add(r, false);
                if (content != c) add(nodes[content], true);
                sink.StartElement(text, pairs.data(), pairs.size() / 2);
                const uint32_t first = nodes[content].firstChild;
                if (first != kNoNode) {
                    open.push_back({c, content});
                    if (content != c) expanding.insert(content);
                    c = first;
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
            if (open.empty()) return true;  // c was the start
            if (nodes[c].nextSibling != kNoNode) {
                c = nodes[c].nextSibling;
                break;
            }
            const Open done = open.back();
            open.pop_back();
            if (done.content != done.node) expanding.erase(done.content);
            c = done.node;
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
