// The namespace rules a strict parser applies and pugixml leaves out:
// qualified names split at one colon, prefixes declared before use in the
// scope of the element that declares them, no reserved prefix or namespace
// misused, and no attribute twice under two names for the same one.
#ifndef ORVEX_XML_XML_NAMESPACES_H
#define ORVEX_XML_XML_NAMESPACES_H

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace xml {

struct QName {
    std::string_view name;    // as written
    std::string_view prefix;  // empty without one
    std::string_view local;
};

// Splits a zero-terminated qualified name at its colon: false for ":a",
// "a:", "a:b:c".
bool SplitQName(const char* text, QName& out);

// An attribute of the element being checked, its value already decoded.
struct CheckedAttribute {
    QName qname;
    uint32_t value;  // the value's reference in the document being built
};

// The prefixes in scope while a tree is walked in document order.
class CNamespaceScope {
public:
    // An element starts (its declarations follow) or ends (they go). Inline
    // and without a stack of marks: most elements declare nothing.
    void Enter() { ++m_depth; }
    void Leave() {
        if (!m_undo.empty() && m_undo.back().depth == m_depth) Unbind();
        --m_depth;
    }
    // The elements open around the current position.
    size_t Depth() const { return m_depth; }

    // An xmlns:prefix attribute with its decoded value.
    bool Declare(const QName& attribute, std::string_view uri, std::string& error);
    // The element's name and its attributes use declared prefixes only, and
    // no attribute appears twice.
    bool CheckElement(const QName& element, const std::vector<CheckedAttribute>& attributes,
                      std::string& error) const {
        // An unprefixed name without attributes, most elements, has nothing to check.
        return (element.prefix.empty() && attributes.empty()) || CheckNames(element, attributes, error);
    }

private:
    struct Undo {
        std::string_view prefix;
        std::string_view old;  // its binding before, null when it had none
        size_t depth;          // of the element that declared it
    };

    void Unbind();
    bool CheckNames(const QName& element, const std::vector<CheckedAttribute>& attributes,
                    std::string& error) const;
    bool Bound(std::string_view prefix) const;
    // A prefix found bound, copied: the text it was read from may change.
    struct Recent {
        char text[15];
        unsigned char size = 0;  // 0: none; longer prefixes are not kept
        bool Is(std::string_view prefix) const {
            if (size == 0 || prefix.size() != size) return false;
            for (size_t i = 0; i < size; ++i)
                if (prefix[i] != text[i]) return false;
            return true;
        }
        void Keep(std::string_view prefix) {
            size = prefix.size() <= sizeof text ? static_cast<unsigned char>(prefix.size()) : 0;
            for (size_t i = 0; i < size; ++i) text[i] = prefix[i];
        }
    };
    std::string_view Uri(std::string_view prefix) const;
    bool Same(const QName& a, const QName& b) const;
    bool NoRepeatSmall(const std::vector<CheckedAttribute>& attributes, std::string& error) const;
    bool NoRepeatLarge(const std::vector<CheckedAttribute>& attributes, std::string& error) const;

    std::unordered_map<std::string_view, std::string_view> m_bindings;
    std::vector<Undo> m_undo;
    std::deque<std::string> m_uris;  // the namespace names bound, kept still while the walk goes on
    size_t m_depth = 0;
    mutable Recent m_recent[2];  // the prefixes last found bound
};

}  // namespace xml

#endif
