#include "platform/xml_dom.h"

#include "platform/code_page.h"
#include "platform/utf.h"

#include <pugixml.hpp>

#include <cstdio>
#include <cstring>
#include <new>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

namespace xmldom {

struct DomDocumentState {
    pugi::xml_document doc;
    // The parser works in place: every name and text points into this buffer.
    std::string buffer;
    bool utf8 = true;
};

namespace {

constexpr const char kNodeInterface[] = "IXMLDOMNode";
constexpr const char kListInterface[] = "IXMLDOMNodeList";
constexpr const char kMapInterface[] = "IXMLDOMNamedNodeMap";

// Entities stay references in the tree; the validation pass decodes them, so
// that a reference to an entity nobody declared can be refused.
constexpr unsigned kParseOptions = pugi::parse_cdata | pugi::parse_wconv_attribute | pugi::parse_eol |
                                   pugi::parse_comments | pugi::parse_pi | pugi::parse_declaration |
                                   pugi::parse_doctype | pugi::parse_fragment;

pugi::xml_node Node(void* p) { return pugi::xml_node(static_cast<pugi::xml_node_struct*>(p)); }
pugi::xml_attribute Attr(void* p) { return pugi::xml_attribute(static_cast<pugi::xml_attribute_struct*>(p)); }

// A view of UTF-8 characters in the code page: the characters themselves
// when it is UTF-8, else their conversion in `scratch`.
std::string_view View(const DomDocumentState* doc, const char* utf8, size_t length, std::string& scratch) {
    if (doc->utf8) return std::string_view(utf8, length);
    scratch = codepage::FromUtf8(utf8, length);
    return scratch;
}

std::string_view View(const DomDocumentState* doc, const char* utf8, std::string& scratch) {
    return View(doc, utf8, std::strlen(utf8), scratch);
}

CString ToCString(std::string_view view, std::string& scratch) {
    if (view.data() == scratch.data()) return CString(std::move(scratch));
    return CString(view.data(), static_cast<int>(view.size()));
}

bool IsTextNode(pugi::xml_node n) { return n.type() == pugi::node_pcdata || n.type() == pugi::node_cdata; }

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

// Decodes the five predefined entities and character references. Anything
// else after '&' is refused: no DTD is ever read, so no other entity exists.
bool DecodeReferences(const char* text, std::string& out, std::string& error) {
    out.clear();
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
        const size_t len = name.size();
        const char* semi = end;
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
            const bool hex = len > 1 && name[1] == 'x';
            size_t i = hex ? 2 : 1;
            if (i >= len) {
                error = "empty character reference";
                return false;
            }
            uint32_t code = 0;
            for (; i < len; ++i) {
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
        p = semi + 1;
    }
}

constexpr std::string_view kXmlNamespace = "http://www.w3.org/XML/1998/namespace";
constexpr std::string_view kXmlnsNamespace = "http://www.w3.org/2000/xmlns/";

// The checks a strict, namespace-aware parser makes and pugixml leaves out,
// in one pass over the elements without recursion.
class CValidator {
public:
    explicit CValidator(pugi::xml_node root) : m_root(root) {}

    bool Run(std::string& error) {
        pugi::xml_node n = m_root;
        int depth = 1;
        std::vector<size_t> marks;
        for (;;) {
            if (n.type() == pugi::node_element) {
                if (depth > CDomDocument::kMaxDepth) {
                    error = "elements nested deeper than " + std::to_string(CDomDocument::kMaxDepth);
                    return false;
                }
                marks.push_back(m_undo.size());
                if (!Element(n, error)) return false;
                if (n.first_child()) {
                    n = n.first_child();
                    ++depth;
                    continue;
                }
                Leave(marks);
            } else if (n.type() == pugi::node_pcdata) {
                if (!Decode(n, error)) return false;
            }
            // Next in document order: a sibling, else the next sibling of the
            // nearest ancestor that has one.
            while (!n.next_sibling()) {
                if (n == m_root) return true;
                n = n.parent();
                --depth;
                Leave(marks);
                if (n == m_root) return true;
            }
            if (n == m_root) return true;
            n = n.next_sibling();
        }
    }

private:
    void Leave(std::vector<size_t>& marks) {
        const size_t mark = marks.back();
        marks.pop_back();
        while (m_undo.size() > mark) {
            auto& [prefix, old] = m_undo.back();
            if (old.data() == nullptr)
                m_bindings.erase(prefix);
            else
                m_bindings[prefix] = old;
            m_undo.pop_back();
        }
    }

    bool Decode(pugi::xml_node n, std::string& error) {
        const char* value = n.value();
        if (std::strchr(value, '&') == nullptr) return true;
        if (!DecodeReferences(value, m_scratch, error)) return false;
        if (!n.set_value(m_scratch.c_str())) throw CDomError(kE_OUTOFMEMORY, "IXMLDOMDocument");
        return true;
    }

    struct Attribute {
        pugi::xml_attribute handle;
        std::string_view name;
        std::string_view prefix;  // empty without one
        std::string_view local;
    };

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

    bool Element(pugi::xml_node n, std::string& error) {
        // Declarations first: they bind for the element's own name too.
        m_attributes.clear();
        for (pugi::xml_attribute a = n.first_attribute(); a; a = a.next_attribute()) {
            Attribute at{a, {}, {}, {}};
            if (!SplitQName(a.name(), at.name, at.prefix, at.local)) {
                error = "malformed attribute name '" + std::string(a.name()) + "'";
                return false;
            }
            const char* value = a.value();
            if (const char* special = std::strpbrk(value, "<&")) {
                if (std::strchr(special, '<') != nullptr) {
                    error = "'<' in the value of attribute '" + std::string(at.name) + "'";
                    return false;
                }
                if (!DecodeReferences(value, m_scratch, error)) return false;
                if (!a.set_value(m_scratch.c_str())) throw CDomError(kE_OUTOFMEMORY, "IXMLDOMDocument");
            }
            if (at.prefix == "xmlns" && !Declare(a, at, error)) return false;
            m_attributes.push_back(at);
        }
        std::string_view name, prefix, local;
        if (!SplitQName(n.name(), name, prefix, local)) {
            error = "malformed element name '" + std::string(n.name()) + "'";
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
        return m_attributes.size() <= 16 ? NoRepeatSmall(error) : NoRepeatLarge(error);
    }

    bool Declare(pugi::xml_attribute a, const Attribute& at, std::string& error) {
        const std::string_view uri = a.value();
        if (at.local == "xmlns" || (at.local == "xml") != (uri == kXmlNamespace) || uri == kXmlnsNamespace ||
            uri.empty()) {
            error = "namespace declaration '" + std::string(at.name) + "' is not allowed";
            return false;
        }
        const auto it = m_bindings.find(at.local);
        m_undo.emplace_back(at.local, it != m_bindings.end() ? it->second : std::string_view());
        m_bindings[at.local] = uri;
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

    pugi::xml_node m_root;
    std::vector<Attribute> m_attributes;
    std::unordered_map<std::string_view, std::string_view> m_bindings;
    std::vector<std::pair<std::string_view, std::string_view>> m_undo;
    std::string m_scratch;
};

}  // namespace

CDomError::CDomError(uint32_t code, const char* interfaceName) : m_nCode(code), m_szInterface(interfaceName) {
    char text[96];
    std::snprintf(text, sizeof text, "DOM call failed (0x%08X) on %s", code, interfaceName);
    m_strWhat = text;
}

// --- CDomNode ----------------------------------------------------------------

void CDomNode::Check(const char* interfaceName) const {
    if (m_pNode == nullptr) throw CDomError(kE_POINTER, interfaceName);
}

std::string_view CDomNode::NameView(std::string& scratch) const {
    Check(kNodeInterface);
    if (m_bAttribute) return View(m_pDoc, Attr(m_pNode).name(), scratch);
    const pugi::xml_node n = Node(m_pNode);
    switch (n.type()) {
        case pugi::node_pcdata:
            return "#text";
        case pugi::node_cdata:
            return "#cdata-section";
        case pugi::node_comment:
            return "#comment";
        case pugi::node_document:
            return "#document";
        default:
            return View(m_pDoc, n.name(), scratch);
    }
}

std::string_view CDomNode::TextView(std::string& scratch) const {
    Check(kNodeInterface);
    if (m_bAttribute) return View(m_pDoc, Attr(m_pNode).value(), scratch);
    const pugi::xml_node n = Node(m_pNode);
    if (n.type() != pugi::node_element && n.type() != pugi::node_document)
        return View(m_pDoc, n.value(), scratch);
    pugi::xml_node c = n.first_child();
    if (!c) return std::string_view();
    // The common leaf: one text child.
    if (IsTextNode(c) && !c.next_sibling()) return View(m_pDoc, c.value(), scratch);
    std::string all;
    while (c) {
        if (IsTextNode(c)) all += c.value();
        if (c.first_child()) {
            c = c.first_child();
            continue;
        }
        while (!c.next_sibling()) {
            c = c.parent();
            if (c == n) break;
        }
        if (c == n) break;
        c = c.next_sibling();
    }
    if (m_pDoc->utf8) {
        scratch = std::move(all);
        return scratch;
    }
    return View(m_pDoc, all.data(), all.size(), scratch);
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
    if (!m_bAttribute) {
        const pugi::xml_node n = Node(m_pNode);
        if (n.type() == pugi::node_element || n.type() == pugi::node_document) return CVariant();
    }
    return CVariant(text());
}

CDomNode CDomNode::firstChild() const {
    Check(kNodeInterface);
    if (m_bAttribute) return CDomNode();
    return CDomNode(m_pDoc, Node(m_pNode).first_child().internal_object(), false);
}

CDomNode CDomNode::nextSibling() const {
    Check(kNodeInterface);
    if (m_bAttribute) return CDomNode();
    return CDomNode(m_pDoc, Node(m_pNode).next_sibling().internal_object(), false);
}

CDomNodeList CDomNode::childNodes() const {
    Check(kNodeInterface);
    return CDomNodeList(m_pDoc, m_pNode);
}

CDomNamedNodeMap CDomNode::attributes() const {
    Check(kNodeInterface);
    if (m_bAttribute || Node(m_pNode).type() != pugi::node_element) return CDomNamedNodeMap();
    return CDomNamedNodeMap(m_pDoc, m_pNode);
}

// --- CDomNodeList ------------------------------------------------------------

void CDomNodeList::Check() const {
    if (m_pParent == nullptr) throw CDomError(kE_POINTER, kListInterface);
}

long CDomNodeList::length() const {
    Check();
    if (m_nLength < 0) {
        long count = 0;
        for (pugi::xml_node c = Node(m_pParent).first_child(); c; c = c.next_sibling()) ++count;
        m_nLength = count;
    }
    return m_nLength;
}

CDomNode CDomNodeList::item(long index) const {
    Check();
    if (index < 0) return CDomNode();
    pugi::xml_node c;
    long at;
    if (m_pCursor != nullptr && index >= m_nCursor) {
        c = Node(m_pCursor);
        at = m_nCursor;
    } else {
        c = Node(m_pParent).first_child();
        at = 0;
    }
    for (; c && at < index; ++at) c = c.next_sibling();
    if (!c) return CDomNode();
    m_pCursor = c.internal_object();
    m_nCursor = at;
    return CDomNode(m_pDoc, c.internal_object(), false);
}

// --- CDomNamedNodeMap --------------------------------------------------------

void CDomNamedNodeMap::Check() const {
    if (m_pElement == nullptr) throw CDomError(kE_POINTER, kMapInterface);
}

CDomNode CDomNamedNodeMap::getNamedItem(const char* name) const {
    Check();
    if (name == nullptr) throw CDomError(kE_POINTER, kMapInterface);
    std::string wanted;
    if (!m_pDoc->utf8) wanted = codepage::ToUtf8(name, std::strlen(name));
    const char* key = m_pDoc->utf8 ? name : wanted.c_str();
    for (pugi::xml_attribute a = Node(m_pElement).first_attribute(); a; a = a.next_attribute()) {
        if (std::strcmp(a.name(), key) == 0) return CDomNode(m_pDoc, a.internal_object(), true);
    }
    return CDomNode();
}

long CDomNamedNodeMap::length() const {
    Check();
    if (m_nLength < 0) {
        long count = 0;
        for (pugi::xml_attribute a = Node(m_pElement).first_attribute(); a; a = a.next_attribute()) ++count;
        m_nLength = count;
    }
    return m_nLength;
}

CDomNode CDomNamedNodeMap::item(long index) const {
    Check();
    if (index < 0) return CDomNode();
    pugi::xml_attribute a;
    long at;
    if (m_pCursor != nullptr && index >= m_nCursor) {
        a = Attr(m_pCursor);
        at = m_nCursor;
    } else {
        a = Node(m_pElement).first_attribute();
        at = 0;
    }
    for (; a && at < index; ++at) a = a.next_attribute();
    if (!a) return CDomNode();
    m_pCursor = a.internal_object();
    m_nCursor = at;
    return CDomNode(m_pDoc, a.internal_object(), true);
}

// --- CDomDocument ------------------------------------------------------------

CDomDocument::CDomDocument() : m_pState(new DomDocumentState) {}

CDomDocument::~CDomDocument() = default;

bool CDomDocument::Refuse(const std::string& reason) {
    m_strParseError = reason;
    m_pState->doc.reset();
    m_pState->buffer.clear();
    m_pState->buffer.shrink_to_fit();
    return false;
}

bool CDomDocument::loadXML(const char* text, size_t length) {
    m_pState->doc.reset();
    m_strParseError.clear();
    DomDocumentState& st = *m_pState;
    st.utf8 = codepage::IsUtf8();
    if (text == nullptr || length == 0) return Refuse("empty text");
    if (const void* zero = std::memchr(text, '\0', length))
        return Refuse(Offset("NUL character", static_cast<size_t>(static_cast<const char*>(zero) - text)));

    // One copy, valid UTF-8 and zero-terminated: the parser then needs no
    // conversion and every string it returns lies in the buffer.
    st.buffer.clear();
    if (st.utf8 && utf::IsValidUtf8(text, length)) {
        st.buffer.reserve(length + 1);
        st.buffer.assign(text, length);
    } else {
        st.buffer = codepage::ToUtf8(text, length);
    }
    st.buffer.push_back('\0');

    const pugi::xml_parse_result r =
        st.doc.load_buffer_inplace(st.buffer.data(), st.buffer.size(), kParseOptions, pugi::encoding_utf8);
    if (r.status == pugi::status_out_of_memory) {
        Refuse("out of memory");
        throw CDomError(kE_OUTOFMEMORY, "IXMLDOMDocument");
    }
    if (r.status != pugi::status_ok) {
        return Refuse(Offset(r.description(), static_cast<size_t>(r.offset)));
    }

    // What lies beside the root element.
    const size_t bom = st.buffer.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
    pugi::xml_node root;
    bool seenDoctype = false;
    for (pugi::xml_node n = st.doc.first_child(); n; n = n.next_sibling()) {
        switch (n.type()) {
            case pugi::node_element:
                if (root) return Refuse("more than one root element");
                root = n;
                break;
            case pugi::node_declaration:
                if (n != st.doc.first_child() || st.buffer.compare(bom, 5, "<?xml") != 0)
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
    if (!CValidator(root).Run(error)) return Refuse(error);
    return true;
}

CDomNode CDomDocument::documentElement() const {
    return CDomNode(m_pState.get(), m_pState->doc.document_element().internal_object(), false);
}

}  // namespace xmldom
