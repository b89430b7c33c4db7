#include "platform/xml_dom.h"

#include "platform/code_page.h"
#include "platform/utf.h"

#include <pugixml.hpp>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <deque>
#include <new>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace xmldom {

namespace {

constexpr const char kListInterface[] = "IXMLDOMNodeList";
constexpr const char kMapInterface[] = "IXMLDOMNamedNodeMap";
constexpr const char kDocumentInterface[] = "IXMLDOMDocument";
constexpr uint32_t kNoNode = DomDocumentState::kNoNode;

// Entities stay references in pugixml's tree; the copy decodes them, so that
// a reference to an entity nobody declared can be refused.
constexpr unsigned kParseOptions = pugi::parse_cdata | pugi::parse_wconv_attribute | pugi::parse_eol |
                                   pugi::parse_comments | pugi::parse_pi | pugi::parse_declaration |
                                   pugi::parse_doctype | pugi::parse_fragment;

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

std::string Offset(const char* what, size_t offset) {
    return std::string(what) + " at offset " + std::to_string(offset);
}

bool IsXmlChar(uint32_t c) {
    return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) || (c >= 0xE000 && c <= 0xFFFD) ||
           (c >= 0x10000 && c <= 0x10FFFF);
}

void PutUtf8(uint32_t c, std::string& out) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

bool IsNameChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
           c == '-' || c == '.' || c == ':' || static_cast<unsigned char>(c) >= 0x80;
}

// Appends the text with the five predefined entities and character
// references decoded. Anything else after '&' is refused: no DTD is ever
// read, so no other entity exists.
bool DecodeReferences(const char* text, std::string& out, std::string& error) {
    const char* p = text;
    for (;;) {
        const char* amp = std::strchr(p, '&');
        if (amp == nullptr) {
            out.append(p);
            return true;
        }
        out.append(p, static_cast<size_t>(amp - p));
        const char* end = amp + 1;
        if (*end == '#') ++end;
        while (IsNameChar(*end)) ++end;
        const std::string_view name(amp + 1, static_cast<size_t>(end - amp - 1));
        if (*end != ';' || name.empty() || name == "#") {
            error = "'&' that starts no reference";
            return false;
        }
        if (name == "amp") {
            out += '&';
        } else if (name == "lt") {
            out += '<';
        } else if (name == "gt") {
            out += '>';
        } else if (name == "quot") {
            out += '"';
        } else if (name == "apos") {
            out += '\'';
        } else if (name[0] == '#') {
            const bool hex = name.size() > 1 && name[1] == 'x';
            size_t i = hex ? 2 : 1;
            if (i >= name.size()) {
                error = "empty character reference";
                return false;
            }
            uint32_t code = 0;
            for (; i < name.size(); ++i) {
                const char c = name[i];
                int digit;
                if (c >= '0' && c <= '9')
                    digit = c - '0';
                else if (hex && c >= 'a' && c <= 'f')
                    digit = c - 'a' + 10;
                else if (hex && c >= 'A' && c <= 'F')
                    digit = c - 'A' + 10;
                else
                    digit = -1;
                if (digit < 0) {
                    error = "malformed character reference";
                    return false;
                }
                code = code * (hex ? 16 : 10) + static_cast<uint32_t>(digit);
                if (code > 0x10FFFF) break;
            }
            if (!IsXmlChar(code)) {
                error = "character reference to a character XML does not allow";
                return false;
            }
            PutUtf8(code, out);
        } else {
            error = "reference to the undeclared entity '" + std::string(name) + "'";
            return false;
        }
        p = end + 1;
    }
}

// The length of the well-formed UTF-8 sequence that starts with a byte of
// 0x80 or above at p, or 0 when it is ill-formed or cut by the end. The
// second byte's range rules out overlong forms, surrogates and values past
// U+10FFFF.
size_t Utf8Sequence(const unsigned char* p, const unsigned char* end) {
    const unsigned char c = p[0];
    size_t need;
    unsigned char lo = 0x80;
    unsigned char hi = 0xBF;
    if (c >= 0xC2 && c <= 0xDF) {
        need = 1;
    } else if (c >= 0xE0 && c <= 0xEF) {
        need = 2;
        if (c == 0xE0) lo = 0xA0;
        if (c == 0xED) hi = 0x9F;
    } else if (c >= 0xF0 && c <= 0xF4) {
        need = 3;
        if (c == 0xF0) lo = 0x90;
        if (c == 0xF4) hi = 0x8F;
    } else {
        return 0;
    }
    if (static_cast<size_t>(end - p) <= need || p[1] < lo || p[1] > hi) return 0;
    for (size_t i = 2; i <= need; ++i)
        if ((p[i] & 0xC0) != 0x80) return 0;
    return need + 1;
}

// What one pass over the text found while copying it.
struct ScanResult {
    static constexpr size_t kNone = static_cast<size_t>(-1);
    size_t nul = kNone;  // the offset of the first NUL; the pass stops there
    bool utf8 = true;    // false: ill-formed UTF-8, the pass stopped there
};

// Copies the text to `out` and, in the same pass, looks for a NUL and checks
// that the text is well-formed UTF-8.
ScanResult ScanCopy(const char* in, size_t n, char* out) {
    ScanResult r;
    const auto* src = reinterpret_cast<const unsigned char*>(in);
    const unsigned char* const end = src + n;
    size_t i = 0;
    size_t checked = 0;  // the bytes below are known to be well-formed
#if defined(__SSE2__)
    const __m128i zero = _mm_setzero_si128();
    const size_t blocks = n - n % 16;
    for (; i < blocks; i += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), v);
        const unsigned nul = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, zero)));
        if (nul != 0) {
            r.nul = i + static_cast<size_t>(__builtin_ctz(nul));
            return r;
        }
        const unsigned high = static_cast<unsigned>(_mm_movemask_epi8(v));
        if (high == 0) continue;
        // Only the sequences that start in this block; one may run on past it.
        size_t p = std::max(checked, i);
        while (p < i + 16) {
            const unsigned rest = high >> (p - i);
            if (rest == 0) break;
            p += static_cast<size_t>(__builtin_ctz(rest));
            const size_t len = Utf8Sequence(src + p, end);
            if (len == 0) {
                r.utf8 = false;
                return r;
            }
            p += len;
        }
        checked = p;
    }
#endif
    for (; i < n; ++i) {
        const unsigned char c = src[i];
        out[i] = static_cast<char>(c);
        if (c == 0) {
            r.nul = i;
            return r;
        }
        if (c >= 0x80 && i >= checked) {
            const size_t len = Utf8Sequence(src + i, end);
            if (len == 0) {
                r.utf8 = false;
                return r;
            }
            checked = i + len;
        }
    }
    return r;
}

constexpr std::string_view kXmlNamespace = "http://www.w3.org/XML/1998/namespace";
constexpr std::string_view kXmlnsNamespace = "http://www.w3.org/2000/xmlns/";

// One pass over pugixml's tree below the root element, without recursion:
// the checks a strict, namespace-aware parser makes and pugixml leaves out,
// the decoding of references, and the compact copy the document keeps.
class CCopier : public pugi::xml_tree_walker {
public:
    // The vectors grow with what is built. Reserving from a count of '<'
    // in the text would also count those in CDATA and comments, and claim
    // address space for nodes that never come.
    explicit CCopier(DomDocumentState& state) : m_st(state), m_texts(*state.texts) {
        m_pBegin = m_texts.buffer.get();
        m_pEnd = m_pBegin + m_texts.size;
    }

    bool Run(pugi::xml_node root, std::string& error) {
        m_pError = &error;
        m_last.assign(3, kNoNode);
        m_parent.assign(3, kNoNode);
        if (!Visit(root, 1)) return false;
        // pugixml walks the rest without a call per step; its depth counts
        // from the root's children.
        return root.traverse(*this);
    }

    bool for_each(pugi::xml_node& n) override { return Visit(n, static_cast<size_t>(depth()) + 2); }

private:
    // One node, `depth` counting the root as 1, in document order.
    bool Visit(pugi::xml_node n, size_t depth) {
        std::string& error = *m_pError;
        // The elements at this depth and below are done: their declarations end.
        while (m_marks.size() >= depth) Leave();
        const pugi::xml_node_type type = n.type();
        const uint32_t index = static_cast<uint32_t>(m_st.nodes.size());
        DomRecord rec{0, kNoNode, kNoNode, 0, 0};
        switch (type) {
            case pugi::node_element:
                if (depth > static_cast<size_t>(CDomDocument::kMaxDepth)) {
                    error = "elements nested deeper than " + std::to_string(CDomDocument::kMaxDepth);
                    return false;
                }
                m_marks.push_back(m_undo.size());
                rec.extra = static_cast<uint32_t>(m_st.attributes.size());
                if (!Element(n, rec, error)) return false;
                if (m_last.size() <= depth + 1) {
                    m_last.resize(depth + 2);
                    m_parent.resize(depth + 2);
                }
                m_last[depth + 1] = kNoNode;
                m_parent[depth + 1] = index;
                break;
            case pugi::node_pcdata:
                rec.kindAndCount = DomRecord::kText;
                if (!Decoded(n.value(), rec.text, error)) return false;
                break;
            case pugi::node_cdata:
                rec.kindAndCount = DomRecord::kCData;
                rec.text = Ref(n.value());
                break;
            case pugi::node_comment:
                rec.kindAndCount = DomRecord::kComment;
                rec.text = Ref(n.value());
                break;
            case pugi::node_pi:
                rec.kindAndCount = DomRecord::kInstruction;
                rec.text = Ref(n.name());
                rec.extra = Ref(n.value());
                break;
            default:  // nothing else occurs inside an element
                return true;
        }
        m_st.nodes.push_back(rec);
        if (m_last[depth] != kNoNode)
            m_st.nodes[m_last[depth]].nextSibling = index;
        else if (m_parent[depth] != kNoNode)
            m_st.nodes[m_parent[depth]].firstChild = index;
        m_last[depth] = index;
        return true;
    }

    struct Attribute {
        std::string_view name;
        std::string_view prefix;  // empty without one
        std::string_view local;
        uint32_t value;
    };

    // A reference to a string pugixml returned: its place in the buffer, or
    // a copy in the side storage for the few it keeps elsewhere ("").
    uint32_t Ref(const char* text) {
        if (text >= m_pBegin && text < m_pEnd) return static_cast<uint32_t>(text - m_pBegin);
        const uint32_t ref = DomDocumentState::kSide | static_cast<uint32_t>(m_texts.side.size());
        m_texts.side.append(text);
        m_texts.side.push_back('\0');
        return ref;
    }

    bool Decoded(const char* text, uint32_t& ref, std::string& error) {
        if (std::strchr(text, '&') == nullptr) {
            ref = Ref(text);
            return true;
        }
        m_scratch.clear();
        if (!DecodeReferences(text, m_scratch, error)) return false;
        if (text >= m_pBegin && text < m_pEnd) {
            // Decoding only shortens, and the buffer is ours: write it back in place.
            char* place = m_texts.buffer.get() + (text - m_pBegin);
            std::memcpy(place, m_scratch.c_str(), m_scratch.size() + 1);
            ref = static_cast<uint32_t>(text - m_pBegin);
            return true;
        }
        ref = DomDocumentState::kSide | static_cast<uint32_t>(m_texts.side.size());
        m_texts.side.append(m_scratch);
        m_texts.side.push_back('\0');
        return true;
    }

    void Leave() {
        const size_t mark = m_marks.back();
        m_marks.pop_back();
        while (m_undo.size() > mark) {
            auto& [prefix, old] = m_undo.back();
            if (old.data() == nullptr)
                m_bindings.erase(prefix);
            else
                m_bindings[prefix] = old;
            m_undo.pop_back();
        }
    }

    bool Bound(std::string_view prefix) const {
        return prefix == "xml" || m_bindings.find(prefix) != m_bindings.end();
    }

    std::string_view Uri(std::string_view prefix) const {
        if (prefix == "xml") return kXmlNamespace;
        if (prefix == "xmlns") return kXmlnsNamespace;
        const auto it = m_bindings.find(prefix);
        return it != m_bindings.end() ? it->second : std::string_view();
    }

    // Splits a qualified name at its colon: false for ":a", "a:", "a:b:c".
    static bool SplitQName(const char* text, std::string_view& name, std::string_view& prefix,
                           std::string_view& local) {
        const char* colon = nullptr;
        const char* p = text;
        for (; *p != '\0'; ++p) {
            if (*p != ':') continue;
            if (colon != nullptr) return false;
            colon = p;
        }
        name = std::string_view(text, static_cast<size_t>(p - text));
        if (colon == nullptr) {
            prefix = std::string_view();
            local = name;
            return true;
        }
        prefix = std::string_view(text, static_cast<size_t>(colon - text));
        local = std::string_view(colon + 1, static_cast<size_t>(p - colon - 1));
        return !prefix.empty() && !local.empty();
    }

    bool Element(pugi::xml_node n, DomRecord& rec, std::string& error) {
        // Declarations first: they bind for the element's own name too.
        m_attributes.clear();
        for (pugi::xml_attribute a = n.first_attribute(); a; a = a.next_attribute()) {
            Attribute at{{}, {}, {}, 0};
            const char* name = a.name();
            if (!SplitQName(name, at.name, at.prefix, at.local)) {
                error = "malformed attribute name '" + std::string(name) + "'";
                return false;
            }
            const char* value = a.value();
            if (std::strchr(value, '<') != nullptr) {
                error = "'<' in the value of attribute '" + std::string(at.name) + "'";
                return false;
            }
            if (!Decoded(value, at.value, error)) return false;
            if (at.prefix == "xmlns" && !Declare(at, error)) return false;
            m_attributes.push_back(at);
        }
        std::string_view name, prefix, local;
        const char* qname = n.name();
        if (!SplitQName(qname, name, prefix, local)) {
            error = "malformed element name '" + std::string(qname) + "'";
            return false;
        }
        if (!prefix.empty() && (prefix == "xmlns" || !Bound(prefix))) {
            error = "element '" + std::string(name) + "' uses an undeclared prefix";
            return false;
        }
        for (const Attribute& at : m_attributes) {
            if (!at.prefix.empty() && at.prefix != "xmlns" && !Bound(at.prefix)) {
                error = "attribute '" + std::string(at.name) + "' uses an undeclared prefix";
                return false;
            }
        }
        if (!(m_attributes.size() <= 16 ? NoRepeatSmall(error) : NoRepeatLarge(error))) return false;
        rec.text = Ref(qname);
        rec.kindAndCount = DomRecord::kElement | static_cast<uint32_t>(m_attributes.size() << 3);
        for (const Attribute& at : m_attributes) m_st.attributes.push_back({Ref(at.name.data()), at.value});
        return true;
    }

    bool Declare(const Attribute& at, std::string& error) {
        const std::string_view uri = m_st.String(at.value);
        if (at.local == "xmlns" || (at.local == "xml") != (uri == kXmlNamespace) || uri == kXmlnsNamespace ||
            uri.empty()) {
            error = "namespace declaration '" + std::string(at.name) + "' is not allowed";
            return false;
        }
        // The side storage may still move: keep a copy of the namespace name.
        m_uris.emplace_back(uri);
        const std::string_view kept = m_uris.back();
        const auto it = m_bindings.find(at.local);
        m_undo.emplace_back(at.local, it != m_bindings.end() ? it->second : std::string_view());
        m_bindings[at.local] = kept;
        return true;
    }

    // Two attributes are the same when their qualified names are, or when
    // they share a local name and a namespace.
    bool Same(const Attribute& a, const Attribute& b) const {
        if (a.name == b.name) return true;
        if (a.prefix.empty() || b.prefix.empty() || a.prefix == "xmlns" || b.prefix == "xmlns") return false;
        return a.local == b.local && Uri(a.prefix) == Uri(b.prefix);
    }

    bool NoRepeatSmall(std::string& error) const {
        for (size_t i = 1; i < m_attributes.size(); ++i) {
            for (size_t k = 0; k < i; ++k) {
                if (Same(m_attributes[k], m_attributes[i])) return Repeated(m_attributes[i], error);
            }
        }
        return true;
    }

    bool NoRepeatLarge(std::string& error) const {
        std::unordered_set<std::string> seen;
        for (const Attribute& at : m_attributes) {
            std::string key = (at.prefix.empty() || at.prefix == "xmlns")
                                  ? std::string(at.name)
                                  : "{" + std::string(Uri(at.prefix)) + "}" + std::string(at.local);
            if (!seen.insert(std::move(key)).second) return Repeated(at, error);
        }
        return true;
    }

    static bool Repeated(const Attribute& at, std::string& error) {
        error = "attribute '" + std::string(at.name) + "' appears twice";
        return false;
    }

    DomDocumentState& m_st;
    DomTexts& m_texts;
    const char* m_pBegin;
    const char* m_pEnd;
    std::vector<Attribute> m_attributes;
    std::unordered_map<std::string_view, std::string_view> m_bindings;
    std::vector<std::pair<std::string_view, std::string_view>> m_undo;
    std::deque<std::string> m_uris;
    std::string m_scratch;
    std::string* m_pError = nullptr;
    std::vector<uint32_t> m_last;    // per depth: the last record made there
    std::vector<uint32_t> m_parent;  // per depth: the record of the element there
    std::vector<size_t> m_marks;     // per open element: where its declarations start in m_undo
};

}  // namespace

CDomError::CDomError(uint32_t code, const char* interfaceName) : m_nCode(code), m_szInterface(interfaceName) {
    char text[96];
    std::snprintf(text, sizeof text, "DOM call failed (0x%08X) on %s", code, interfaceName);
    m_strWhat = text;
}

// --- CDomNode ----------------------------------------------------------------

void CDomNode::Fail(const char* interfaceName) { throw CDomError(kE_POINTER, interfaceName); }

std::string_view CDomNode::NameView(std::string& scratch) const {
    Check(kNodeInterface);
    if (m_bAttribute) return View(m_pDoc, m_pDoc->attributes[m_nIndex].name, scratch);
    const DomRecord& r = m_pDoc->nodes[m_nIndex];
    switch (r.kind()) {
        case DomRecord::kText:
            return "#text";
        case DomRecord::kCData:
            return "#cdata-section";
        case DomRecord::kComment:
            return "#comment";
        default:
            return View(m_pDoc, r.text, scratch);
    }
}

std::string_view CDomNode::TextView(std::string& scratch) const {
    Check(kNodeInterface);
    if (m_bAttribute) return View(m_pDoc, m_pDoc->attributes[m_nIndex].value, scratch);
    const std::vector<DomRecord>& nodes = m_pDoc->nodes;
    const DomRecord& r = nodes[m_nIndex];
    switch (r.kind()) {
        case DomRecord::kElement:
            break;
        case DomRecord::kInstruction:
            return View(m_pDoc, r.extra, scratch);
        default:
            return View(m_pDoc, r.text, scratch);
    }
    if (r.firstChild == kNoNode) return std::string_view();
    // The common leaf: one text child.
    const DomRecord& first = nodes[r.firstChild];
    if (IsText(first) && first.nextSibling == kNoNode && first.firstChild == kNoNode)
        return View(m_pDoc, first.text, scratch);
    std::string all;
    std::vector<uint32_t> pending;  // next siblings to come back to
    uint32_t c = r.firstChild;
    for (;;) {
        while (c != kNoNode) {
            const DomRecord& d = nodes[c];
            if (IsText(d)) all += m_pDoc->String(d.text);
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
    if (m_pDoc->utf8) {
        scratch = std::move(all);
        return scratch;
    }
    return View(m_pDoc, all.data(), all.size(), scratch);
}

std::shared_ptr<const void> CDomNode::TextOwner() const {
    Check(kNodeInterface);
    return m_pDoc->texts;
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
    if (!m_bAttribute && m_pDoc->nodes[m_nIndex].kind() == DomRecord::kElement) return CVariant();
    return CVariant(text());
}

CDomNodeList CDomNode::childNodes() const {
    Check(kNodeInterface);
    return CDomNodeList(m_pDoc, m_nIndex, m_bAttribute);
}

CDomNamedNodeMap CDomNode::attributes() const {
    Check(kNodeInterface);
    if (m_bAttribute) return CDomNamedNodeMap();
    const DomRecord& r = m_pDoc->nodes[m_nIndex];
    if (r.kind() != DomRecord::kElement) return CDomNamedNodeMap();
    return CDomNamedNodeMap(m_pDoc, r.extra, r.attributeCount());
}

// --- CDomNodeList ------------------------------------------------------------

void CDomNodeList::Check() const {
    if (m_pDoc == nullptr) throw CDomError(kE_POINTER, kListInterface);
}

long CDomNodeList::length() const {
    Check();
    if (m_nLength < 0) {
        long count = 0;
        if (!m_bEmpty) {
            for (uint32_t c = m_pDoc->nodes[m_nParent].firstChild; c != kNoNode;
                 c = m_pDoc->nodes[c].nextSibling)
                ++count;
        }
        m_nLength = count;
    }
    return m_nLength;
}

CDomNode CDomNodeList::item(long index) const {
    Check();
    if (index < 0 || m_bEmpty) return CDomNode();
    uint32_t c;
    long at;
    if (m_nCursorNode != kNoNode && index >= m_nCursor) {
        c = m_nCursorNode;
        at = m_nCursor;
    } else {
        c = m_pDoc->nodes[m_nParent].firstChild;
        at = 0;
    }
    for (; c != kNoNode && at < index; ++at) c = m_pDoc->nodes[c].nextSibling;
    if (c == kNoNode) return CDomNode();
    m_nCursorNode = c;
    m_nCursor = at;
    return CDomNode(m_pDoc, c, false);
}

// --- CDomNamedNodeMap --------------------------------------------------------

void CDomNamedNodeMap::Check() const {
    if (m_pDoc == nullptr) throw CDomError(kE_POINTER, kMapInterface);
}

CDomNode CDomNamedNodeMap::getNamedItem(const char* name) const {
    Check();
    if (name == nullptr) throw CDomError(kE_POINTER, kMapInterface);
    std::string wanted;
    if (!m_pDoc->utf8) wanted = codepage::ToUtf8(name, std::strlen(name));
    const char* key = m_pDoc->utf8 ? name : wanted.c_str();
    for (uint32_t i = 0; i < m_nCount; ++i) {
        if (std::strcmp(m_pDoc->String(m_pDoc->attributes[m_nFirst + i].name), key) == 0)
            return CDomNode(m_pDoc, m_nFirst + i, true);
    }
    return CDomNode();
}

// --- CDomDocument ------------------------------------------------------------

CDomDocument::CDomDocument() : m_pState(new DomDocumentState) {}

CDomDocument::~CDomDocument() = default;

bool CDomDocument::Refuse(const std::string& reason) {
    m_strParseError = reason;
    m_pState->nodes = std::vector<DomRecord>();
    m_pState->attributes = std::vector<DomAttribute>();
    m_pState->texts.reset();
    return false;
}

bool CDomDocument::loadXML(const char* text, size_t length) {
    try {
        return Load(text, length);
    } catch (const std::bad_alloc&) {
        // Memory running out is no fault of the text: callers hear it as such.
        Refuse("out of memory");
        throw CDomError(kE_OUTOFMEMORY, kDocumentInterface);
    }
}

bool CDomDocument::Load(const char* text, size_t length) {
    DomDocumentState& st = *m_pState;
    st.nodes = std::vector<DomRecord>();
    st.attributes = std::vector<DomAttribute>();
    st.texts.reset();
    m_strParseError.clear();
    st.utf8 = codepage::IsUtf8();
    if (text == nullptr || length == 0) return Refuse("empty text");
    // One copy, valid UTF-8 and zero-terminated: the parser then needs no
    // conversion and every string it returns lies in the buffer.
    st.texts = std::make_shared<DomTexts>();
    DomTexts& texts = *st.texts;
    bool copied = false;
    if (st.utf8) {
        texts.buffer.reset(new char[length + 1]);
        const ScanResult scan = ScanCopy(text, length, texts.buffer.get());
        if (scan.nul != ScanResult::kNone) return Refuse(Offset("NUL character", scan.nul));
        if (scan.utf8) {
            texts.size = length + 1;
            copied = true;
        }
    }
    if (!copied) {
        if (const void* zero = std::memchr(text, '\0', length))
            return Refuse(
                Offset("NUL character", static_cast<size_t>(static_cast<const char*>(zero) - text)));
        std::string converted;
        if (!codepage::DecodeDeclared(text, length, converted)) converted = codepage::ToUtf8(text, length);
        texts.size = converted.size() + 1;
        texts.buffer.reset(new char[texts.size]);
        std::memcpy(texts.buffer.get(), converted.data(), converted.size());
    }
    char* const buffer = texts.buffer.get();
    buffer[texts.size - 1] = '\0';
    if (texts.size >= DomDocumentState::kSide) return Refuse("text longer than 2 GiB");

    pugi::xml_document doc;
    const pugi::xml_parse_result r =
        doc.load_buffer_inplace(buffer, texts.size, kParseOptions, pugi::encoding_utf8);
    if (r.status == pugi::status_out_of_memory) throw std::bad_alloc();
    if (r.status != pugi::status_ok) return Refuse(Offset(r.description(), static_cast<size_t>(r.offset)));

    // What lies beside the root element.
    const std::string_view all(buffer, texts.size - 1);
    const size_t bom = all.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
    pugi::xml_node root;
    bool seenDoctype = false;
    for (pugi::xml_node n = doc.first_child(); n; n = n.next_sibling()) {
        switch (n.type()) {
            case pugi::node_element:
                if (root) return Refuse("more than one root element");
                root = n;
                break;
            case pugi::node_declaration:
                if (n != doc.first_child() || all.compare(bom, 5, "<?xml") != 0)
                    return Refuse("XML declaration not at the start of the text");
                break;
            case pugi::node_doctype:
                if (root || seenDoctype) return Refuse("document type declaration after the root element");
                seenDoctype = true;
                break;
            case pugi::node_pcdata:
            case pugi::node_cdata:
                return Refuse("text outside the root element");
            default:
                break;
        }
    }
    if (!root) return Refuse("no root element");

    std::string error;
    if (!CCopier(st).Run(root, error)) return Refuse(error);
    return true;
}

CDomNode CDomDocument::documentElement() const {
    if (m_pState->nodes.empty()) return CDomNode();
    return CDomNode(m_pState.get(), 0, false);
}

}  // namespace xmldom
