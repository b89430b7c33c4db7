#include "xml/xml_direct_reader.h"

#include "xml/xml_namespaces.h"
#include "xml/xml_references.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#if defined(__SSE2__) && !ORVEX_PORTABLE
#define ORVEX_XML_READ_SSE2 1
#include <emmintrin.h>
#else
#define ORVEX_XML_READ_SSE2 0
#endif

namespace xml {

namespace {

constexpr uint32_t kNoNode = DomDocumentState::kNoNode;

enum : unsigned char { kSpace = 1, kNameStart = 2, kName = 4 };

// What a text holds, gathered on the way to the next '<'.
enum : unsigned char { kEnd = 1, kContent = 2, kReference = 4, kReturn = 8 };

#if !ORVEX_XML_READ_SSE2
// Byte by byte without SSE2: texts between tags are short, where a table
// beats strchr and strchr.
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
#endif

// What an attribute value holds: the bytes that stop it (the buffer's end,
// '<', which the load refuses there), references and white space to turn
// into blanks.
enum : unsigned char { kStop = 1, kValueReference = 2, kValueSpace = 4 };

constexpr std::array<unsigned char, 256> kValueClass = [] {
    std::array<unsigned char, 256> table{};
    table[0] = kStop;
    table['<'] = kStop;
    table['&'] = kValueReference;
    for (const char c : {'\t', '\n', '\r'}) table[static_cast<unsigned char>(c)] = kValueSpace;
    return table;
}();

// White space and name characters as the pugixml route sees them: every byte of
// a character outside ASCII belongs to a name.
constexpr std::array<unsigned char, 256> kClass = [] {
    std::array<unsigned char, 256> table{};
    for (const char c : {' ', '\t', '\n', '\r'}) table[static_cast<unsigned char>(c)] = kSpace;
    for (int c = 'a'; c <= 'z'; ++c) table[static_cast<size_t>(c)] = kNameStart | kName;
    for (int c = 'A'; c <= 'Z'; ++c) table[static_cast<size_t>(c)] = kNameStart | kName;
    for (int c = 0x80; c <= 0xFF; ++c) table[static_cast<size_t>(c)] = kNameStart | kName;
    table['_'] = kNameStart | kName;
    for (int c = '0'; c <= '9'; ++c) table[static_cast<size_t>(c)] = kName;
    for (const char c : {'-', '.', ':'}) table[static_cast<unsigned char>(c)] = kName;
    return table;
}();

inline bool Is(char c, unsigned char what) { return (kClass[static_cast<unsigned char>(c)] & what) != 0; }

bool StartsWith(const char* p, const char* prefix) {
    return std::strncmp(p, prefix, std::strlen(prefix)) == 0;
}

// CR LF and a lone CR become LF in [begin, end), as XML reads line ends;
// returns the new end.
char* NormaliseLineEnds(char* begin, char* end) {
    char* out = begin;
    for (const char* in = begin; in < end; ++in) {
        if (*in != '\r') {
            *out++ = *in;
            continue;
        }
        *out++ = '\n';
        if (in + 1 < end && in[1] == '\n') ++in;
    }
    return out;
}

// A quoted literal at p: p after its closing quote.
bool SkipQuoted(char*& p) {
    const char quote = *p++;
    while (*p != quote)
        if (*p++ == '\0') return false;
    ++p;
    return true;
}

class CDirectReader {
public:
    CDirectReader(DomDocumentState& state, CXmlSink* sink)
        : m_state(state),
          m_base(state.texts->buffer.get()),
          m_end(m_base + state.texts->size - 1),
          m_sink(sink) {}

    bool Run() {
        char* p = m_base;
        if (!Prolog(p)) return false;
        ++p;
        if (!Is(*p, kNameStart) || !StartTag(p)) return false;
        return Rest(p);
    }

    // What comes before the root; p then at the root's '<'.
    bool Prolog(char*& p) {
        if (StartsWith(p, "\xEF\xBB\xBF")) p += 3;
        // "<?xml" opens the declaration unless a longer target follows.
        if (StartsWith(p, "<?xml") && !Is(p[5], kName)) {
            p += 5;
            if (!Declaration(p)) return false;
        }
        bool doctype = false;
        for (;;) {  // what may come before the root
            SkipSpace(p);
            if (*p != '<') return false;
            bool ok;
            if (StartsWith(p + 1, "!--")) {
                p += 4;
                ok = Comment(p, false);
            } else if (p[1] == '?') {
                p += 2;
                ok = Instruction(p, false);
            } else if (!doctype && StartsWith(p + 1, "!DOCTYPE")) {
                p += 9;
                ok = Doctype(p);
                doctype = true;
            } else {
                break;
            }
            if (!ok) return false;
        }
        return true;  // at the root's '<'
    }

    // Whether the prolog declined for a declaration that needs the DTD read,
    // seen at least kLookAhead bytes before the end of a buffer that holds
    // only the text's start.
    bool NeedsDtd() const { return m_needsDtd; }
    void HoldsTheStartOnly() { m_whole = false; }

private:
    // The bytes a decision on a declaration looks at, at most.
    static constexpr size_t kLookAhead = 16;

    // Everything after the root's start tag.
    bool Rest(char*& p) {
        while (!m_open.empty()) {
            // The text before the next markup; the buffer ends in its only zero.
            unsigned seen = 0;
            char* const lt = *p == '<' ? p : TextEnd(p, seen);
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
                } else if (StartsWith(p + 1, "[CDATA[")) {
                    p += 8;
                    ok = CData(p);
                } else {
                    ok = false;
                }
            } else if (*p == '?') {
                ++p;
                ok = Instruction(p, true);
            } else {
                ok = Is(*p, kNameStart) && StartTag(p);
            }
            if (!ok) return false;
        }
        for (;;) {  // what may come after it
            SkipSpace(p);
            if (*p == '\0') return true;
            bool ok;
            if (StartsWith(p, "<!--")) {
                p += 4;
                ok = Comment(p, false);
            } else if (p[0] == '<' && p[1] == '?') {
                p += 2;
                ok = Instruction(p, false);
            } else {
                ok = false;
            }
            if (!ok) return false;
        }
    }

public:
    // The bytes at the buffer's start that the reader may have rewritten.
    size_t Changed() const { return static_cast<size_t>(m_changed - m_base); }

private:
    struct Open {
        uint32_t index;
        uint32_t last;  // the last child linked so far
        const char* name;
        size_t nameLength;
    };

    uint32_t Ref(const char* text) const { return static_cast<uint32_t>(text - m_base); }

    // The first '<' or zero at or after p, and in `seen` what the text before it holds.
    static char* TextEnd(char* p, unsigned& seen) {
#if ORVEX_XML_READ_SSE2
        // 16 bytes a step, the buffer's padding behind its zero: the catalogue
        // of bench_xml reads in 1,318 M instructions instead of 1,387 M.
        const __m128i less = _mm_set1_epi8('<');
        const __m128i zero = _mm_setzero_si128();
        const __m128i amp = _mm_set1_epi8('&');
        const __m128i cr = _mm_set1_epi8('\r');
        const __m128i blank = _mm_set1_epi8(' ');
        const __m128i tab = _mm_set1_epi8('\t');
        const __m128i lf = _mm_set1_epi8('\n');
        for (;; p += 16) {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
            const auto mask = [&](__m128i m) { return static_cast<unsigned>(_mm_movemask_epi8(m)); };
            const unsigned end = mask(_mm_or_si128(_mm_cmpeq_epi8(v, less), _mm_cmpeq_epi8(v, zero)));
            const unsigned before = end != 0 ? (end & (0u - end)) - 1 : 0xFFFFu;
            const unsigned ret = mask(_mm_cmpeq_epi8(v, cr)) & before;
            const unsigned space = mask(_mm_or_si128(
                _mm_or_si128(_mm_cmpeq_epi8(v, blank), _mm_cmpeq_epi8(v, tab)), _mm_cmpeq_epi8(v, lf)));
            if ((before & ~space & ~ret) != 0) seen |= kContent;
            if ((mask(_mm_cmpeq_epi8(v, amp)) & before) != 0) seen |= kReference;
            if (ret != 0) seen |= kReturn;
            if (end != 0) return p + __builtin_ctz(end);
        }
#else
        for (;; ++p) {
            const unsigned what = kTextClass[static_cast<unsigned char>(*p)];
            if ((what & kEnd) != 0) return p;
            seen |= what;
        }
#endif
    }

    static void SkipSpace(char*& p) {
        while (Is(*p, kSpace)) ++p;
    }

    // Every write into the buffer ends in a zero written here, at or past
    // the bytes it changed.
    void Terminate(char* at) {
        *at = '\0';
        if (at >= m_changed) m_changed = at + 1;
    }

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
            // Made anew, not copied from out.name: reading back what was just
            // stored stalled on every tag (a third of StartTag's time).
            out.local = std::string_view(begin, length);
            return true;
        }
        const size_t at = static_cast<size_t>(colon - begin);
        out.prefix = out.name.substr(0, at);
        out.local = out.name.substr(at + 1);
        return !more && at != 0 && at + 1 != length;
    }

    // name = 'value' or "value", p at the name; the name and value end in a
    // zero each. A tab, line end or CR LF in the value becomes one blank, as
    // the pugixml route reads it; a value holding '<', which the load refuses,
    // declines. `references` tells whether the value holds an '&'.
    bool Attribute(char*& p, QName& name, char*& value, bool& references) {
        if (!Name(p, name)) return false;
        char* const nameEnd = p;
        SkipSpace(p);
        if (*p != '=') return false;
        ++p;
        SkipSpace(p);
        const char quote = *p;
        if (quote != '"' && quote != '\'') return false;
        value = ++p;
        unsigned seen = 0;
        for (; *p != quote; ++p) {
            const unsigned what = kValueClass[static_cast<unsigned char>(*p)];
            if ((what & kStop) != 0) return false;
            seen |= what;
        }
        Terminate(p++);
        Terminate(nameEnd);
        if ((seen & kValueSpace) != 0) {
            char* out = value;
            for (const char* in = value; *in != '\0'; ++in) {
                if (kValueClass[static_cast<unsigned char>(*in)] != kValueSpace) {
                    *out++ = *in;
                    continue;
                }
                if (in[0] == '\r' && in[1] == '\n') ++in;  // before the blank: out may be in
                *out++ = ' ';
            }
            *out = '\0';
        }
        references = (seen & kValueReference) != 0;
        return true;
    }

    // What follows "<?xml" at the very start, up to "?>". The pugixml route ends
    // it at the first "?>", quotes or not: a value holding one declines.
    bool Declaration(char*& p) {
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
            if (!Attribute(p, name, value, references) || references || std::strstr(value, "?>") != nullptr)
                return false;
        }
    }

    // p after "<!--"; the comment ends at the first "-->". Kept below the
    // root, with its line ends normalised.
    bool Comment(char*& p, bool keep) {
        char* end = std::strstr(p, "-->");
        if (end == nullptr) return false;
        char* const next = end + 3;
        if (keep) {
            if (std::memchr(p, '\r', static_cast<size_t>(end - p)) != nullptr) {
                Terminate(end);
                end = NormaliseLineEnds(p, end);
            }
            Terminate(end);
            if (m_sink != nullptr)
                m_sink->Comment(p, static_cast<size_t>(end - p));
            else
                Add({Ref(p), kNoNode, kNoNode, 0, DomRecord::kComment});
        }
        p = next;
        return true;
    }

    // p after "<![CDATA[".
    bool CData(char*& p) {
        char* end = std::strstr(p, "]]>");
        if (end == nullptr) return false;
        char* const next = end + 3;
        if (std::memchr(p, '\r', static_cast<size_t>(end - p)) != nullptr) {
            Terminate(end);
            end = NormaliseLineEnds(p, end);
        }
        Terminate(end);
        if (m_sink != nullptr)
            m_sink->CData(p, static_cast<size_t>(end - p));
        else
            Add({Ref(p), kNoNode, kNoNode, 0, DomRecord::kCData});
        p = next;
        return true;
    }

    // p after "<?": a target, then "?>" or white space and the content up to
    // the first "?>", kept as written. A target "xml" in any case is a
    // declaration out of place, which the pugixml route refuses.
    bool Instruction(char*& p, bool keep) {
        char* const target = p;
        if (!Is(*p, kNameStart)) return false;
        while (Is(*p, kName)) ++p;
        char* const targetEnd = p;
        if (targetEnd - target == 3 && (target[0] | 0x20) == 'x' && (target[1] | 0x20) == 'm' &&
            (target[2] | 0x20) == 'l')
            return false;
        char* content = p;
        char* end;
        if (*p == '?') {
            if (p[1] != '>') return false;
            end = p;
        } else {
            if (!Is(*p, kSpace)) return false;
            SkipSpace(p);
            content = p;
            end = std::strstr(p, "?>");
            if (end == nullptr) return false;
        }
        p = end + 2;
        if (keep) {
            Terminate(targetEnd);
            Terminate(end);
            if (m_sink != nullptr)
                m_sink->Instruction(target, content);
            else
                Add({Ref(target), kNoNode, kNoNode, Ref(content), DomRecord::kInstruction});
        }
        return true;
    }

    // p after "<!DOCTYPE", up to its closing '>'. Nothing of it is kept.
    bool Doctype(char*& p) {
        if (!Is(*p, kSpace)) return false;
        for (;;) {
            switch (*p) {
                case '>':
                    ++p;
                    return true;
                case '"':
                case '\'':
                    if (!SkipQuoted(p)) return false;
                    break;
                case '[':
                    ++p;
                    if (!InternalSubset(p)) return false;
                    break;
                case '<':
                case '\0':
                    return false;
                default:
                    ++p;
            }
        }
    }

    // A name at p and the white space or '>' after it.
    static bool SkipName(char*& p) {
        if (!Is(*p, kNameStart)) return false;
        while (Is(*p, kName)) ++p;
        return Is(*p, kSpace) || *p == '>';
    }

    // A word at p, ended as a name is.
    static bool SkipWord(char*& p, const char* word) {
        if (!StartsWith(p, word)) return false;
        p += std::strlen(word);
        return Is(*p, kSpace) || *p == '>';
    }

    // p after "<!ATTLIST", past its '>': an element's attributes declared
    // as text with no default ("a CDATA #REQUIRED b CDATA #IMPLIED"). Their
    // values read as they do without the declaration; defaults, fixed
    // values and the other types, whose values are read differently, are
    // not taken.
    bool AttributeList(char*& p) {
        if (!Is(*p, kSpace)) return false;
        SkipSpace(p);
        if (!SkipName(p)) return false;
        for (;;) {
            SkipSpace(p);
            if (*p == '>') {
                ++p;
                return true;
            }
            if (!SkipName(p)) return false;
            SkipSpace(p);
            if (!SkipWord(p, "CDATA")) return DtdNeeded(p);
            SkipSpace(p);
            if (!SkipWord(p, "#REQUIRED") && !SkipWord(p, "#IMPLIED")) return DtdNeeded(p);
        }
    }

    // p after '[', up to and past its ']'. Element types, notations,
    // comments, instructions and text attributes without defaults change
    // nothing in the document; entities, the other attribute lists,
    // parameter entities and conditional sections would need the DTD read:
    // declined.
    bool InternalSubset(char*& p) {
        for (;;) {
            SkipSpace(p);
            if (*p == ']') {
                ++p;
                return true;
            }
            if (StartsWith(p, "<!--")) {
                const char* end = std::strstr(p + 4, "-->");
                if (end == nullptr) return false;
                p += end + 3 - p;
            } else if (p[0] == '<' && p[1] == '?') {
                const char* end = std::strstr(p + 2, "?>");
                if (end == nullptr) return false;
                p += end + 2 - p;
            } else if (StartsWith(p, "<!ATTLIST")) {
                p += 9;
                if (!AttributeList(p)) return false;
            } else if (StartsWith(p, "<!ELEMENT") || StartsWith(p, "<!NOTATION")) {
                for (p += 2; *p != '>';) {
                    if (*p == '"' || *p == '\'') {
                        if (!SkipQuoted(p)) return false;
                    } else if (*p == '<' || *p == '\0') {
                        return false;
                    } else {
                        ++p;
                    }
                }
                ++p;
            } else {
                return DtdNeeded(p);
            }
        }
    }

    // Declines at p for a declaration the reader does not take; told apart
    // from the end of a buffer holding the text's start alone.
    bool DtdNeeded(const char* p) {
        m_needsDtd = m_whole || strnlen(p, kLookAhead) == kLookAhead;
        return false;
    }

    // [begin, lt) where *lt is '<', holding what `seen` says. White space
    // alone makes no node.
    bool Text(char* begin, char* lt, unsigned seen) {
        if ((seen & kContent) == 0) return true;
        Terminate(lt);
        char* end = lt;
        if ((seen & kReturn) != 0) {
            end = NormaliseLineEnds(begin, lt);
            *end = '\0';
        }
        size_t length = static_cast<size_t>(end - begin);
        if ((seen & kReference) != 0 && !Decode(begin, length)) return false;
        if (m_sink != nullptr)
            m_sink->Text(begin, length);
        else
            Add({Ref(begin), kNoNode, kNoNode, 0, DomRecord::kText});
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
        const uint32_t firstAttribute = static_cast<uint32_t>(m_state.attributes.size());
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
            // Read in place: a copy of the attribute just read stalls as its name does.
            CheckedAttribute& at = m_attributes.emplace_back();
            char* value;
            bool references;
            if (!Attribute(p, at.qname, value, references)) return false;
            at.value = Ref(value);
            if (references && !Decode(value)) return false;
            if (at.qname.prefix == "xmlns" && !m_scope.Declare(at.qname, m_state.String(at.value), m_error))
                return false;
        }
        Terminate(nameEnd);
        if (!m_scope.CheckElement(qname, m_attributes, m_error)) return false;
        uint32_t index = kNoNode;
        if (m_sink != nullptr) {
            m_pairs.clear();
            for (const CheckedAttribute& at : m_attributes) {
                m_pairs.push_back(at.qname.name.data());
                m_pairs.push_back(m_state.String(at.value));
            }
            m_sink->StartElement(name, m_pairs.data(), m_attributes.size());
            if (empty) m_sink->EndElement();
        } else {
            index = Add({Ref(name), kNoNode, kNoNode, firstAttribute,
                         DomRecord::kElement | static_cast<uint32_t>(m_attributes.size() << 3)});
            for (const CheckedAttribute& at : m_attributes)
                m_state.attributes.push_back({Ref(at.qname.name.data()), at.value});
        }
        if (empty)
            m_scope.Leave();
        else
            m_open.push_back({index, kNoNode, name, static_cast<size_t>(nameEnd - name)});
        return true;
    }

    // Whether the n bytes at p are the name's, the start tag's in the buffer.
    // Eight bytes a compare where the buffer's padding lies behind (a text
    // that ends sooner differs at its zero): byte by byte, end tags took a
    // twentieth of reading a 100,000-row answer.
    bool SameName(const char* p, const char* name, size_t n) const {
#if __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
        if (p + n <= m_end) {
            size_t i = 0;
            uint64_t a;
            uint64_t b;
            for (; i + 8 <= n; i += 8) {
                std::memcpy(&a, p + i, 8);
                std::memcpy(&b, name + i, 8);
                if (a != b) return false;
            }
            if (i == n) return true;
            std::memcpy(&a, p + i, 8);
            std::memcpy(&b, name + i, 8);
            return ((a ^ b) & ((uint64_t{1} << (8 * (n - i))) - 1)) == 0;
        }
#endif
        // The buffer's zero ends a short text as a mismatch.
        for (size_t i = 0; i < n; ++i)
            if (p[i] != name[i]) return false;
        return true;
    }

    // p after "</".
    bool EndTag(char*& p) {
        const Open& open = m_open.back();
        if (!SameName(p, open.name, open.nameLength)) return false;
        p += open.nameLength;
        if (Is(*p, kName)) return false;
        SkipSpace(p);
        if (*p != '>') return false;
        ++p;
        m_scope.Leave();
        m_open.pop_back();
        if (m_sink != nullptr) m_sink->EndElement();
        return true;
    }

    // The record appended and linked below the open element.
    uint32_t Add(const DomRecord& record) {
        const uint32_t index = static_cast<uint32_t>(m_state.nodes.size());
        m_state.nodes.push_back(record);
        if (!m_open.empty()) {
            Open& parent = m_open.back();
            if (parent.last == kNoNode)
                m_state.nodes[parent.index].firstChild = index;
            else
                m_state.nodes[parent.last].nextSibling = index;
            parent.last = index;
        }
        return index;
    }

    // References decoded in place, in a text already ended by a zero.
    bool Decode(char* text) { return DecodeReferencesInPlace(text, m_error) != nullptr; }

    bool Decode(char* text, size_t& length) {
        const char* end = DecodeReferencesInPlace(text, m_error);
        if (end == nullptr) return false;
        length = static_cast<size_t>(end - text);
        return true;
    }

    DomDocumentState& m_state;
    char* const m_base;
    const char* const m_end;   // the buffer's last zero, the padding behind it
    char* m_changed = m_base;  // the first byte past every write
    CXmlSink* const m_sink;    // null: the reader builds the document's nodes
    bool m_whole = true;       // the buffer holds the whole text
    bool m_needsDtd = false;
    std::vector<const char*> m_pairs;  // the attributes handed to the sink
    std::vector<Open> m_open;
    std::vector<CheckedAttribute> m_attributes;
    CNamespaceScope m_scope;
    std::string m_error;  // unused: a refusal is worded by the pugixml route
};

}  // namespace

bool NeedsDtd(const char* text, size_t length) {
    // Internal subsets are short; the first KiBs hold the declarations that decide.
    constexpr size_t kPrologBytes = 4096;
    DomDocumentState state;
    state.texts = std::make_shared<DomTexts>();
    const size_t n = std::min(length, kPrologBytes);
    state.texts->buffer = DomTexts::NewBuffer(n + 1);
    state.texts->size = n + 1;
    std::memcpy(state.texts->buffer.get(), text, n);
    state.texts->buffer[n] = '\0';
    CDirectReader reader(state, nullptr);
    if (n < length) reader.HoldsTheStartOnly();
    char* p = state.texts->buffer.get();
    return !reader.Prolog(p) && reader.NeedsDtd();
}

bool ReadDirect(DomDocumentState& state, CXmlSink* sink, size_t& changed) {
    CDirectReader reader(state, sink);
    const bool read = reader.Run();
    changed = reader.Changed();
    return read;
}

}  // namespace xml
