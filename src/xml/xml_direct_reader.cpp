#include "xml/xml_direct_reader.h"

#include "xml/xml_namespaces.h"
#include "xml/xml_references.h"

#include <array>
#include <cstring>
#include <string>
#include <vector>

namespace xmldom {

namespace {

constexpr uint32_t kNoNode = DomDocumentState::kNoNode;

enum : unsigned char { kSpace = 1, kNameStart = 2, kName = 4 };

// What a text holds, gathered byte by byte on the way to the next '<':
// texts between tags are short, where a table beats strchr and strchr.
enum : unsigned char { kEnd = 1, kContent = 2, kReference = 4, kReturn = 8 };

constexpr std::array<unsigned char, 256> kTextClass = [] {
    std::array<unsigned char, 256> table{};
    for (auto& entry : table) entry = kContent;
    for (const char c : {' ', '\t', '\n'}) table[static_cast<unsigned char>(c)] = 0;
    table['\r'] = kReturn;
    table['&'] = kContent | kReference;
    table['<'] = kEnd;
    table[0] = kEnd;
    return table;
}();

// White space as the full way sees it; names in ASCII only (any other byte
// in a name declines).
constexpr std::array<unsigned char, 256> kClass = [] {
    std::array<unsigned char, 256> table{};
    for (const char c : {' ', '\t', '\n', '\r'}) table[static_cast<unsigned char>(c)] = kSpace;
    for (int c = 'a'; c <= 'z'; ++c) table[static_cast<size_t>(c)] = kNameStart | kName;
    for (int c = 'A'; c <= 'Z'; ++c) table[static_cast<size_t>(c)] = kNameStart | kName;
    table['_'] = kNameStart | kName;
    for (int c = '0'; c <= '9'; ++c) table[static_cast<size_t>(c)] = kName;
    for (const char c : {'-', '.', ':'}) table[static_cast<unsigned char>(c)] = kName;
    return table;
}();

inline bool Is(char c, unsigned char what) { return (kClass[static_cast<unsigned char>(c)] & what) != 0; }

class CDirectReader {
public:
    CDirectReader(DomDocumentState& state, CXmlSink* sink)
        : m_st(state), m_texts(*state.texts), m_pBase(m_texts.buffer.get()), m_pSink(sink) {}

    bool Run() {
        char* p = m_pBase;
        if (std::strncmp(p, "<?xml", 5) == 0) {
            p += 5;
            if (!Declaration(p)) return false;
        }
        for (;;) {  // comments and white space before the root
            while (Is(*p, kSpace)) ++p;
            if (*p != '<') return false;
            if (std::strncmp(p + 1, "!--", 3) != 0) break;
            p += 4;
            if (!Comment(p, false)) return false;
        }
        ++p;
        if (!Is(*p, kNameStart) || !StartTag(p)) return false;
        while (!m_open.empty()) {
            // The text before the next markup; the buffer ends in its only zero.
            char* lt = p;
            unsigned seen = 0;
            for (;;) {
                const unsigned what = kTextClass[static_cast<unsigned char>(*lt)];
                if ((what & kEnd) != 0) break;
                seen |= what;
                ++lt;
            }
            if (*lt != '<') return false;
            if (seen != 0 && !Text(p, lt, seen)) return false;
            p = lt + 1;
            bool ok;
            if (*p == '/') {
                ++p;
                ok = EndTag(p);
            } else if (*p == '!') {
                if (p[1] == '-' && p[2] == '-') {
                    p += 3;
                    ok = Comment(p, true);
                } else if (std::strncmp(p + 1, "[CDATA[", 7) == 0) {
                    p += 8;
                    ok = CData(p);
                } else {
                    ok = false;
                }
            } else {
                ok = Is(*p, kNameStart) && StartTag(p);
            }
            if (!ok) return false;
        }
        for (;;) {  // comments and white space after it
            while (Is(*p, kSpace)) ++p;
            if (*p == '\0') return true;
            if (std::strncmp(p, "<!--", 4) != 0) return false;
            p += 4;
            if (!Comment(p, false)) return false;
        }
    }

private:
    struct Open {
        uint32_t index;
        uint32_t last;  // the last child linked so far
        const char* name;
        size_t nameLength;
    };

    uint32_t Ref(const char* text) const { return static_cast<uint32_t>(text - m_pBase); }

    static void SkipSpace(char*& p) {
        while (Is(*p, kSpace)) ++p;
    }

    // name = 'value' or "value", p at the name; the name and value end in a
    // zero each. The values that the full way would change (white space
    // other than blanks) or refuse ('<') decline.
    // A name at p, split at its colon on the way; false for a name that
    // is no qualified name (":a", "a:", "a:b:c").
    static bool Name(char*& p, QName& out) {
        char* const begin = p;
        const char* colon = nullptr;
        bool more = false;
        for (; Is(*p, kName); ++p) {
            if (*p != ':') continue;
            more = colon != nullptr;
            if (!more) colon = p;
        }
        const size_t length = static_cast<size_t>(p - begin);
        out.name = std::string_view(begin, length);
        if (colon == nullptr) {
            out.prefix = std::string_view();
            out.local = out.name;
            return true;
        }
        const size_t at = static_cast<size_t>(colon - begin);
        out.prefix = out.name.substr(0, at);
        out.local = out.name.substr(at + 1);
        return !more && at != 0 && at + 1 != length;
    }

    // name = 'value' or "value", p at the name; the name and value end in a
    // zero each. The values that the full way would change (white space
    // other than blanks) or refuse ('<') decline. `references` tells
    // whether the value holds an '&'.
    static bool Attribute(char*& p, QName& name, char*& value, bool& references) {
        if (!Name(p, name)) return false;
        char* const nameEnd = p;
        SkipSpace(p);
        if (*p != '=') return false;
        ++p;
        SkipSpace(p);
        const char quote = *p;
        if (quote != '"' && quote != '\'') return false;
        value = ++p;
        references = false;
        for (; *p != quote; ++p) {
            const char c = *p;
            if (c == '\0' || c == '<' || c == '\t' || c == '\n' || c == '\r') return false;
            references |= c == '&';
        }
        *p++ = '\0';
        *nameEnd = '\0';
        return true;
    }

    // What follows "<?xml" at the very start, up to "?>".
    static bool Declaration(char*& p) {
        for (;;) {
            const char* const before = p;
            SkipSpace(p);
            if (p[0] == '?' && p[1] == '>') {
                p += 2;
                return true;
            }
            if (p == before || !Is(*p, kNameStart)) return false;
            QName name;
            char* value;
            bool references;
            if (!Attribute(p, name, value, references) || references) return false;
        }
    }

    // p after "<!--". Comments with "--" inside or a '-' at the end, and
    // carriage returns, are left to the full way.
    bool Comment(char*& p, bool keep) {
        char* const end = std::strstr(p, "-->");
        if (end == nullptr) return false;
        for (const char* q = p; q < end; ++q)
            if (*q == '\r' || (q[0] == '-' && q[1] == '-')) return false;  // q[1] may be end's '-'
        if (keep) {
            *end = '\0';
            if (m_pSink != nullptr)
                m_pSink->Comment(p, static_cast<size_t>(end - p));
            else
                Add({Ref(p), kNoNode, kNoNode, 0, DomRecord::kComment});
        }
        p = end + 3;
        return true;
    }

    // p after "<![CDATA[".
    bool CData(char*& p) {
        char* const end = std::strstr(p, "]]>");
        if (end == nullptr || std::memchr(p, '\r', static_cast<size_t>(end - p)) != nullptr) return false;
        *end = '\0';
        if (m_pSink != nullptr)
            m_pSink->CData(p, static_cast<size_t>(end - p));
        else
            Add({Ref(p), kNoNode, kNoNode, 0, DomRecord::kCData});
        p = end + 3;
        return true;
    }

    // [begin, lt) where *lt is '<', holding what `seen` says. White space
    // alone makes no node.
    bool Text(char* begin, char* lt, unsigned seen) {
        if ((seen & kContent) == 0) return true;
        if ((seen & kReturn) != 0) return false;
        *lt = '\0';
        const uint32_t ref = Ref(begin);
        size_t length = static_cast<size_t>(lt - begin);
        if ((seen & kReference) != 0 && !Decode(begin, length)) return false;
        if (m_pSink != nullptr)
            m_pSink->Text(begin, length);
        else
            Add({ref, kNoNode, kNoNode, 0, DomRecord::kText});
        return true;
    }

    // p at the name's first character, after '<'.
    bool StartTag(char*& p) {
        if (m_open.size() >= static_cast<size_t>(CDomDocument::kMaxDepth)) return false;
        char* const name = p;
        QName qname;
        if (!Name(p, qname)) return false;
        char* const nameEnd = p;
        if (!Is(*p, kSpace) && *p != '/' && *p != '>') return false;
        m_scope.Enter();
        m_attributes.clear();
        const uint32_t firstAttribute = static_cast<uint32_t>(m_st.attributes.size());
        bool empty = false;
        for (;;) {
            const char* const before = p;
            SkipSpace(p);
            if (*p == '>') {
                ++p;
                break;
            }
            if (*p == '/') {
                if (p[1] != '>') return false;
                p += 2;
                empty = true;
                break;
            }
            if (p == before || !Is(*p, kNameStart)) return false;
            CheckedAttribute at{{}, 0};
            char* value;
            bool references;
            if (!Attribute(p, at.qname, value, references)) return false;
            at.value = Ref(value);
            if (references && !Decode(value)) return false;
            if (at.qname.prefix == "xmlns" && !m_scope.Declare(at.qname, m_st.String(at.value), m_error))
                return false;
            m_attributes.push_back(at);
        }
        *nameEnd = '\0';
        if (!m_scope.CheckElement(qname, m_attributes, m_error)) return false;
        uint32_t index = kNoNode;
        if (m_pSink != nullptr) {
            m_pairs.clear();
            for (const CheckedAttribute& at : m_attributes) {
                m_pairs.push_back(at.qname.name.data());
                m_pairs.push_back(m_st.String(at.value));
            }
            m_pSink->StartElement(name, m_pairs.data(), m_attributes.size());
            if (empty) m_pSink->EndElement();
        } else {
            index = Add({Ref(name), kNoNode, kNoNode, firstAttribute,
                         DomRecord::kElement | static_cast<uint32_t>(m_attributes.size() << 3)});
            for (const CheckedAttribute& at : m_attributes)
                m_st.attributes.push_back({Ref(at.qname.name.data()), at.value});
        }
        if (empty)
            m_scope.Leave();
        else
            m_open.push_back({index, kNoNode, name, static_cast<size_t>(nameEnd - name)});
        return true;
    }

    // p after "</".
    bool EndTag(char*& p) {
        const Open& open = m_open.back();
        // The buffer's zero ends a short text as a mismatch; names are short.
        for (size_t i = 0; i < open.nameLength; ++i, ++p)
            if (*p != open.name[i]) return false;
        if (Is(*p, kName)) return false;
        SkipSpace(p);
        if (*p != '>') return false;
        ++p;
        m_scope.Leave();
        m_open.pop_back();
        if (m_pSink != nullptr) m_pSink->EndElement();
        return true;
    }

    // The record appended and linked below the open element.
    uint32_t Add(const DomRecord& record) {
        const uint32_t index = static_cast<uint32_t>(m_st.nodes.size());
        m_st.nodes.push_back(record);
        if (!m_open.empty()) {
            Open& parent = m_open.back();
            if (parent.last == kNoNode)
                m_st.nodes[parent.index].firstChild = index;
            else
                m_st.nodes[parent.last].nextSibling = index;
            parent.last = index;
        }
        return index;
    }

    // References decoded in place: decoding only shortens.
    bool Decode(char* text) {
        size_t length;
        return Decode(text, length);
    }

    bool Decode(char* text, size_t& length) {
        m_scratch.clear();
        if (!DecodeReferences(text, m_scratch, m_error)) return false;
        std::memcpy(text, m_scratch.c_str(), m_scratch.size() + 1);
        length = m_scratch.size();
        return true;
    }

    DomDocumentState& m_st;
    DomTexts& m_texts;
    char* const m_pBase;
    CXmlSink* const m_pSink;           // null: the reader builds the document's nodes
    std::vector<const char*> m_pairs;  // the attributes handed to the sink
    std::vector<Open> m_open;
    std::vector<CheckedAttribute> m_attributes;
    CNamespaceScope m_scope;
    std::string m_scratch;
    std::string m_error;  // unused: a refusal is worded by the full way
};

}  // namespace

bool ReadDirect(DomDocumentState& state, CXmlSink* sink) { return CDirectReader(state, sink).Run(); }

}  // namespace xmldom
