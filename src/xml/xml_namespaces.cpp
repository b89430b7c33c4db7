#include "xml/xml_namespaces.h"

#include <cstdint>
#include <functional>

namespace xml {

namespace {

constexpr std::string_view kXmlNamespace = "http://www.w3.org/XML/1998/namespace";
constexpr std::string_view kXmlnsNamespace = "http://www.w3.org/2000/xmlns/";

bool Repeated(const QName& name, std::string& error) {
    error = "attribute '" + std::string(name.name) + "' appears twice";
    return false;
}

}  // namespace

bool SplitQName(const char* text, QName& out) {
    const char* colon = nullptr;
    const char* p = text;
    for (; *p != '\0'; ++p) {
        if (*p != ':') continue;
        if (colon != nullptr) return false;
        colon = p;
    }
    out.name = std::string_view(text, static_cast<size_t>(p - text));
    if (colon == nullptr) {
        out.prefix = std::string_view();
        out.local = out.name;
        return true;
    }
    out.prefix = std::string_view(text, static_cast<size_t>(colon - text));
    out.local = std::string_view(colon + 1, static_cast<size_t>(p - colon - 1));
    return !out.prefix.empty() && !out.local.empty();
}

// The declarations of the element at m_depth go.
void CNamespaceScope::Unbind() {
    m_recent[0] = m_recent[1] = Recent();
    while (!m_undo.empty() && m_undo.back().depth == m_depth) {
        const Undo& undo = m_undo.back();
        if (undo.old.data() == nullptr)
            m_bindings.erase(undo.prefix);
        else
            m_bindings[undo.prefix] = undo.old;
        m_undo.pop_back();
    }
}

bool CNamespaceScope::Bound(std::string_view prefix) const {
    // Documents use a few prefixes over and over: the last two found bound
    // are remembered (until a binding goes) and compared in line, where
    // hashing each prefix was a twentieth of reading a large WSDL.
    for (const Recent& known : m_recent)
        if (known.Is(prefix)) return true;
    if (prefix != "xml" && m_bindings.find(prefix) == m_bindings.end()) return false;
    m_recent[1] = m_recent[0];
    m_recent[0].Keep(prefix);
    return true;
}

std::string_view CNamespaceScope::Uri(std::string_view prefix) const {
    if (prefix == "xml") return kXmlNamespace;
    if (prefix == "xmlns") return kXmlnsNamespace;
    const auto it = m_bindings.find(prefix);
    return it != m_bindings.end() ? it->second : std::string_view();
}

bool CNamespaceScope::Declare(const QName& attribute, std::string_view uri, std::string& error) {
    if (attribute.local == "xmlns" || (attribute.local == "xml") != (uri == kXmlNamespace) ||
        uri == kXmlnsNamespace || uri.empty()) {
        error = "namespace declaration '" + std::string(attribute.name) + "' is not allowed";
        return false;
    }
    // The caller's storage may still move: keep a copy of the namespace name.
    m_uris.emplace_back(uri);
    const std::string_view kept = m_uris.back();
    const auto it = m_bindings.find(attribute.local);
    m_undo.push_back({attribute.local, it != m_bindings.end() ? it->second : std::string_view(), m_depth});
    m_bindings[attribute.local] = kept;
    return true;
}

bool CNamespaceScope::CheckNames(const QName& element, const std::vector<CheckedAttribute>& attributes,
                                 std::string& error) const {
    if (!element.prefix.empty() && (element.prefix == "xmlns" || !Bound(element.prefix))) {
        error = "element '" + std::string(element.name) + "' uses an undeclared prefix";
        return false;
    }
    for (const CheckedAttribute& at : attributes) {
        if (!at.qname.prefix.empty() && at.qname.prefix != "xmlns" && !Bound(at.qname.prefix)) {
            error = "attribute '" + std::string(at.qname.name) + "' uses an undeclared prefix";
            return false;
        }
    }
    return attributes.size() <= 16 ? NoRepeatSmall(attributes, error) : NoRepeatLarge(attributes, error);
}

// Two attributes are the same when their qualified names are, or when they
// share a local name and a namespace.
bool CNamespaceScope::Same(const QName& a, const QName& b) const {
    if (a.name == b.name) return true;
    if (a.prefix.empty() || b.prefix.empty() || a.prefix == "xmlns" || b.prefix == "xmlns") return false;
    return a.local == b.local && Uri(a.prefix) == Uri(b.prefix);
}

bool CNamespaceScope::NoRepeatSmall(const std::vector<CheckedAttribute>& attributes,
                                    std::string& error) const {
    for (size_t i = 1; i < attributes.size(); ++i) {
        for (size_t k = 0; k < i; ++k) {
            if (Same(attributes[k].qname, attributes[i].qname)) return Repeated(attributes[i].qname, error);
        }
    }
    return true;
}

// Open addressing over the attributes' places: nothing is built or allocated
// per attribute, which a tag with millions of them pays for in full (a set of
// keys took 60% of reading an answer with 10 M attributes).
bool CNamespaceScope::NoRepeatLarge(const std::vector<CheckedAttribute>& attributes,
                                    std::string& error) const {
    struct Key {
        bool plain;              // compared by the name as written
        std::string_view space;  // the namespace URI of a prefixed name
        std::string_view local;  // its local name, or the whole plain name
        bool operator==(const Key& o) const {
            return plain == o.plain && space == o.space && local == o.local;
        }
    };
    const auto keyOf = [&](const QName& q) {
        if (q.prefix.empty() || q.prefix == "xmlns") return Key{true, {}, q.name};
        return Key{false, Uri(q.prefix), q.local};
    };
    const std::hash<std::string_view> hash;
    size_t size = 16;
    while (size < attributes.size() + attributes.size() / 2) size *= 2;
    std::vector<size_t> slots(size, SIZE_MAX);
    const size_t mask = size - 1;
    for (size_t i = 0; i < attributes.size(); ++i) {
        const Key key = keyOf(attributes[i].qname);
        size_t at = (hash(key.local) * 31 + hash(key.space)) & mask;
        for (; slots[at] != SIZE_MAX; at = (at + 1) & mask) {
            if (keyOf(attributes[slots[at]].qname) == key) return Repeated(attributes[i].qname, error);
        }
        slots[at] = i;
    }
    return true;
}

}  // namespace xml
