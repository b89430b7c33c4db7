#include "xml/xml_checked_copy.h"

#include "xml/xml_namespaces.h"
#include "xml/xml_references.h"

#include <cstring>
#include <vector>

namespace xml {

namespace {

constexpr uint32_t kNoNode = DomDocumentState::kNoNode;

// One pass over pugixml's tree below the root element, without recursion:
// the checks a strict, namespace-aware parser makes and pugixml leaves out,
// the decoding of references, and the compact copy the document keeps.
class CCopier : public pugi::xml_tree_walker {
public:
    // The vectors grow with what is built. Reserving from a count of '<'
    // in the text would also count those in CDATA and comments, and claim
    // address space for nodes that never come.
    explicit CCopier(DomDocumentState& state) : m_state(state), m_texts(*state.texts) {
        m_begin = m_texts.buffer.get();
        m_end = m_begin + m_texts.size;
    }

    bool Run(pugi::xml_node root, std::string& error) {
        m_error = &error;
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
        std::string& error = *m_error;
        // The elements at this depth and below are done: their declarations end.
        while (m_scope.Depth() >= depth) m_scope.Leave();
        const pugi::xml_node_type type = n.type();
        const uint32_t index = static_cast<uint32_t>(m_state.nodes.size());
        DomRecord rec{0, kNoNode, kNoNode, 0, 0};
        switch (type) {
            case pugi::node_element:
                if (depth > static_cast<size_t>(CDomDocument::kMaxDepth)) {
                    error = "elements nested deeper than " + std::to_string(CDomDocument::kMaxDepth);
                    return false;
                }
                m_scope.Enter();
                rec.extra = static_cast<uint32_t>(m_state.attributes.size());
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
        m_state.nodes.push_back(rec);
        if (m_last[depth] != kNoNode)
            m_state.nodes[m_last[depth]].nextSibling = index;
        else if (m_parent[depth] != kNoNode)
            m_state.nodes[m_parent[depth]].firstChild = index;
        m_last[depth] = index;
        return true;
    }

    // A reference to a string pugixml returned: its place in the buffer, or
    // a copy in the side storage for the few it keeps elsewhere ("").
    uint32_t Ref(const char* text) {
        if (text >= m_begin && text < m_end) return static_cast<uint32_t>(text - m_begin);
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
        if (text >= m_begin && text < m_end) {
            // The buffer is ours: decoded where it lies.
            if (DecodeReferencesInPlace(m_texts.buffer.get() + (text - m_begin), error) == nullptr)
                return false;
            ref = static_cast<uint32_t>(text - m_begin);
            return true;
        }
        m_scratch.clear();
        if (!DecodeReferences(text, m_scratch, error)) return false;
        ref = DomDocumentState::kSide | static_cast<uint32_t>(m_texts.side.size());
        m_texts.side.append(m_scratch);
        m_texts.side.push_back('\0');
        return true;
    }

    bool Element(pugi::xml_node n, DomRecord& rec, std::string& error) {
        // Declarations first: they bind for the element's own name too.
        m_attributes.clear();
        for (pugi::xml_attribute a = n.first_attribute(); a; a = a.next_attribute()) {
            CheckedAttribute at{{}, 0};
            const char* name = a.name();
            if (!SplitQName(name, at.qname)) {
                error = "malformed attribute name '" + std::string(name) + "'";
                return false;
            }
            const char* value = a.value();
            if (std::strchr(value, '<') != nullptr) {
                error = "'<' in the value of attribute '" + std::string(at.qname.name) + "'";
                return false;
            }
            if (!Decoded(value, at.value, error)) return false;
            if (at.qname.prefix == "xmlns" && !m_scope.Declare(at.qname, m_state.String(at.value), error))
                return false;
            m_attributes.push_back(at);
        }
        QName qname;
        const char* name = n.name();
        if (!SplitQName(name, qname)) {
            error = "malformed element name '" + std::string(name) + "'";
            return false;
        }
        if (!m_scope.CheckElement(qname, m_attributes, error)) return false;
        rec.text = Ref(name);
        rec.kindAndCount = DomRecord::kElement | static_cast<uint32_t>(m_attributes.size() << 3);
        for (const CheckedAttribute& at : m_attributes)
            m_state.attributes.push_back({Ref(at.qname.name.data()), at.value});
        return true;
    }

    DomDocumentState& m_state;
    DomTexts& m_texts;
    const char* m_begin;
    const char* m_end;
    std::vector<CheckedAttribute> m_attributes;
    CNamespaceScope m_scope;
    std::string m_scratch;
    std::string* m_error = nullptr;
    std::vector<uint32_t> m_last;    // per depth: the last record made there
    std::vector<uint32_t> m_parent;  // per depth: the record of the element there
};

}  // namespace

bool CopyCheckedTree(pugi::xml_node root, DomDocumentState& state, std::string& error) {
    return CCopier(state).Run(root, error);
}

}  // namespace xml
