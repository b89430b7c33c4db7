// The XML DOM the library reads every document through: a small facade over
// pugixml with the members of the classic DOM that Orvex uses (loadXML,
// documentElement, nodeName, text, firstChild, nextSibling, childNodes,
// item, length, attributes, getNamedItem, nodeValue) and the strict parser
// behaviour the readers above rely on.
//
// Text goes in and comes out in the process's 8-bit code page. A loaded
// document holds no white-space-only text nodes; comments, CDATA sections
// and processing instructions stay as nodes. Nodes, lists and maps are views
// into their document: they stay valid while the document lives.
#ifndef ORVEX_XML_XML_DOM_H
#define ORVEX_XML_XML_DOM_H

#include <orvex/cstring.h>

#include "xml/block_array.h"
#include "platform/variant.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <exception>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace xml {

// Status codes of a failing DOM call, with the values hosts know.
constexpr uint32_t kE_POINTER = 0x80004003u;      // an operation on a null handle
constexpr uint32_t kE_OUTOFMEMORY = 0x8007000Eu;  // memory ran out

// Raised by a DOM call that cannot answer: the status code and the interface
// called ("IXMLDOMNode", "IXMLDOMNodeList", ...).
class CDomError : public std::exception {
public:
    CDomError(uint32_t code, const char* interfaceName);
    uint32_t Code() const { return m_code; }
    const char* Interface() const { return m_interface; }
    // "DOM call failed (0x80004003) on IXMLDOMNode"
    const char* what() const noexcept override { return m_what.c_str(); }

private:
    uint32_t m_code;
    const char* m_interface;
    std::string m_what;
};

// What a loaded document keeps: its text, parsed in place so that names and
// texts lie in it zero-terminated, and a compact copy of the element tree
// (pugixml's own tree is released at the end of the load).
struct DomTexts {
    // Zero bytes past the buffer's end, so that a reader may look 16 bytes at a time.
    static constexpr size_t kPadding = 16;
    // A buffer for `size` bytes and the zeros after them.
    static std::unique_ptr<char[]> NewBuffer(size_t size) {
        std::unique_ptr<char[]> buffer(new char[size + kPadding]);
        std::memset(buffer.get() + size, 0, kPadding);
        return buffer;
    }

    std::unique_ptr<char[]> buffer;  // the text as UTF-8, zero-terminated
    size_t size = 0;                 // of the buffer, its last zero included
    std::string side;                // texts that references were decoded into, each zero-terminated
};

struct DomRecord {
    enum Kind : uint32_t { kElement, kText, kCData, kComment, kInstruction };
    uint32_t text;          // a string reference: element name, instruction target, or content
    uint32_t firstChild;    // kNoNode when none
    uint32_t nextSibling;   // kNoNode when none
    uint32_t extra;         // elements: the first attribute's index; instructions: their content
    uint32_t kindAndCount;  // the kind in the low three bits, the attribute count above
    Kind kind() const { return static_cast<Kind>(kindAndCount & 7u); }
    uint32_t attributeCount() const { return kindAndCount >> 3; }
};

struct DomAttribute {
    uint32_t name;
    uint32_t value;
};

struct DomDocumentState {
    static constexpr uint32_t kNoNode = 0xFFFFFFFFu;
    static constexpr uint32_t kSide = 0x80000000u;  // marks a reference into DomTexts::side

    std::shared_ptr<DomTexts> texts;
    CBlockArray<DomRecord> nodes;  // pre-order; the root element first
    CBlockArray<DomAttribute> attributes;
    bool utf8 = true;

    const char* String(uint32_t ref) const {
        return (ref & kSide) != 0 ? texts->side.data() + (ref & ~kSide) : texts->buffer.get() + ref;
    }
};

class CDomNodeList;
class CDomNamedNodeMap;
class CXmlSink;

// How an element names another by an id: the attribute that refers, as
// written ("href", "enc:ref"), whether its value starts with '#', and the
// attribute that carries the id ("id", "enc:id").
struct LinkForm {
    std::string reference;
    bool hash = false;
    std::string id;
};

// The two ways a text is read. The direct route: our own reader, one pass
// over the bytes, taking the forms services and files write and declining
// the rest, which then goes the pugixml route. The pugixml route: pugixml
// parses, the checked copy applies the rules pugixml leaves out; it reads,
// or refuses and words the refusal of, every text. Both give the same
// documents, walks and refusals; asking for the pugixml route alone serves
// comparisons.
enum class XmlRoute { kDirect, kPugixml };

// A node handle; the default one is null. Every read on a null node raises
// CDomError with kE_POINTER, as a call through a null interface pointer did.
class CDomNode {
public:
    CDomNode() = default;

    bool IsNull() const { return m_doc == nullptr; }
    explicit operator bool() const { return m_doc != nullptr; }
    friend bool operator==(const CDomNode& a, const CDomNode& b) {
        return a.m_doc == b.m_doc &&
               (a.m_doc == nullptr || (a.m_index == b.m_index && a.m_attribute == b.m_attribute));
    }
    friend bool operator!=(const CDomNode& a, const CDomNode& b) { return !(a == b); }

    // Elements and attributes: the qualified name as written. Others:
    // "#text", "#cdata-section", "#comment", a processing instruction's
    // target.
    CString nodeName() const;
    // Elements: all text and CDATA below, concatenated in document order.
    // Attributes: the value. Other nodes: their content.
    CString text() const;
    // Attributes, text, CDATA, comments and processing instructions: their
    // content as a string; elements: an empty variant.
    CVariant nodeValue() const;

    // Null where there is no such node (not an error).
    CDomNode firstChild() const {
        Check(kNodeInterface);
        if (m_attribute) return CDomNode();
        return At(m_doc->nodes[m_index].firstChild);
    }
    CDomNode nextSibling() const {
        Check(kNodeInterface);
        if (m_attribute) return CDomNode();
        return At(m_doc->nodes[m_index].nextSibling);
    }
    // The children in document order; empty for nodes that cannot have any.
    CDomNodeList childNodes() const;
    // The attributes of an element, namespace declarations included, in
    // document order; a null map for every other kind of node, so that a
    // map tells elements from the rest.
    CDomNamedNodeMap attributes() const;

    // nodeName and text without a copy where none is needed, for walks over
    // large documents: a view of the document's own characters (followed by
    // a zero) when the code page is UTF-8, else of `scratch` holding the
    // converted text. Views of the document's characters last as long as
    // TextOwner() is held; views of `scratch` until it is used again.
    std::string_view NameView(std::string& scratch) const;
    std::string_view TextView(std::string& scratch) const;
    // Keeps the document's characters alive after the document is gone.
    std::shared_ptr<const void> TextOwner() const;
    // Walks this node and everything below it into `sink` in document order,
    // as a reader walking the text would (Begin first); the characters the
    // sink is handed live as long as TextOwner(). An attribute walks nothing.
    void Replay(CXmlSink& sink) const;
    // Replay, with references resolved: an element carrying a reference
    // attribute of one of the `forms` walks as the element below `scope`
    // carrying that form's id attribute with the value named (its own name;
    // its attributes but the reference, and the target's but the id beside
    // them; the target's children). False, the walk cut short, for an id no
    // element has, a target that holds a reference to itself, or more than
    // `budget` nodes walked in the place of references; `why` then says
    // which. A null scope or no form resolves nothing.
    bool ReplayLinked(CXmlSink& sink, const CDomNode& scope, const std::vector<LinkForm>& forms,
                      size_t budget, std::string& why) const;

    static constexpr const char kNodeInterface[] = "IXMLDOMNode";

private:
    friend class CDomDocument;
    friend class CDomNodeList;
    friend class CDomNamedNodeMap;
    CDomNode(const DomDocumentState* doc, uint32_t index, bool attribute)
        : m_doc(doc), m_index(index), m_attribute(attribute) {}
    CDomNode At(uint32_t index) const {
        return index == DomDocumentState::kNoNode ? CDomNode() : CDomNode(m_doc, index, false);
    }
    void Check(const char* interfaceName) const {
        if (m_doc == nullptr) Fail(interfaceName);
    }
    [[noreturn]] static void Fail(const char* interfaceName);

    const DomDocumentState* m_doc = nullptr;
    uint32_t m_index = 0;
    bool m_attribute = false;
};

// The children of a node. item() walks on from the last position asked for,
// so reading a list in order costs one step per entry.
class CDomNodeList {
public:
    CDomNodeList() = default;
    explicit operator bool() const { return m_doc != nullptr; }
    // Null past the end or for a negative index.
    CDomNode item(long index) const;
    long length() const;

private:
    friend class CDomNode;
    CDomNodeList(const DomDocumentState* doc, uint32_t parent, bool empty)
        : m_doc(doc), m_parent(parent), m_empty(empty) {}
    void Check() const;

    const DomDocumentState* m_doc = nullptr;
    uint32_t m_parent = 0;
    bool m_empty = false;  // an attribute's list
    mutable long m_length = -1;
    mutable long m_cursor = -1;
    mutable uint32_t m_cursorNode = DomDocumentState::kNoNode;
};

// The attributes of an element.
class CDomNamedNodeMap {
public:
    CDomNamedNodeMap() = default;
    explicit operator bool() const { return m_doc != nullptr; }
    // By qualified name exactly as written (case-sensitive); null when absent.
    CDomNode getNamedItem(const char* name) const;
    CDomNode item(long index) const {
        Check();
        if (index < 0 || static_cast<unsigned long>(index) >= m_count) return CDomNode();
        return CDomNode(m_doc, m_first + static_cast<uint32_t>(index), true);
    }
    long length() const {
        Check();
        return static_cast<long>(m_count);
    }

private:
    friend class CDomNode;
    CDomNamedNodeMap(const DomDocumentState* doc, uint32_t first, uint32_t count)
        : m_doc(doc), m_first(first), m_count(count) {}
    void Check() const;

    const DomDocumentState* m_doc = nullptr;
    uint32_t m_first = 0;
    uint32_t m_count = 0;
};

class CDomDocument {
public:
    // Documents nested deeper than this many elements are refused.
    static constexpr int kMaxDepth = 1000;

    CDomDocument();
    ~CDomDocument();
    CDomDocument(const CDomDocument&) = delete;
    CDomDocument& operator=(const CDomDocument&) = delete;

    // Parses the whole text, replacing what the document held. True for one
    // well-formed, namespace-well-formed element tree; false otherwise
    // (ParseError() tells why), the document then being empty. The text is
    // in the code page; only one the code page cannot decode is read by the
    // encoding its XML declaration names, when iconv knows it. Memory that
    // runs out raises CDomError with kE_OUTOFMEMORY, never a refusal.
    // Given a sink, the document is walked into it instead of kept: the
    // document then holds its characters alone.
    bool loadXML(const char* text, size_t length, XmlRoute route = XmlRoute::kDirect,
                 CXmlSink* sink = nullptr);
    bool loadXML(const CString& text) {
        return loadXML(text.GetString(), static_cast<size_t>(text.GetLength()));
    }

    // The root element; null for an empty document.
    CDomNode documentElement() const;

    // The route that read the last text loaded: the direct one, or the
    // pugixml one for a text the direct reader declined or one refused.
    XmlRoute Route() const { return m_route; }

    // Why the last loadXML refused its text, with the byte offset where it
    // can be told: "Start-end tags mismatch at offset 12".
    const std::string& ParseError() const { return m_parseError; }

private:
    // loadXML's work; throws std::bad_alloc when memory runs out.
    bool Load(const char* text, size_t length, XmlRoute route, CXmlSink* sink);
    bool Refuse(const std::string& reason);

    friend bool ReadXml(const char*, size_t, CXmlSink&, XmlRoute, std::shared_ptr<const void>&, std::string&,
                        XmlRoute*);

    std::unique_ptr<DomDocumentState> m_state;
    std::string m_parseError;
    XmlRoute m_route = XmlRoute::kPugixml;
};

using DomDocumentPtr = std::shared_ptr<CDomDocument>;

// What a walk over a document reports in document order, for a reader that
// builds its own structure instead of the DOM's nodes: every node the
// document keeps below and including its root element. Names and texts are
// the document's characters in UTF-8, zero-terminated and decoded, valid
// while the walk's owner (ReadXml, CDomNode::TextOwner) is held. Both
// routes walk a text into a sink the same way; nothing else builds trees
// and tables.
class CXmlSink {
public:
    virtual ~CXmlSink() = default;
    // A walk begins. The direct reader may decline a text part way; the
    // pugixml route then walks it again from the start, and the sink
    // forgets the first walk here.
    virtual void Begin() = 0;
    // An element, with its attributes as `count` name/value pairs.
    virtual void StartElement(const char* name, const char* const* attributes, size_t count) = 0;
    virtual void EndElement() = 0;
    // The children of the element open last: a text of `length` bytes, a
    // CDATA section's content, a comment's content, and a processing
    // instruction's target and content ("" when it has none), as the
    // document keeps them.
    virtual void Text(const char* text, size_t length) = 0;
    virtual void CData(const char* text, size_t length) = 0;
    virtual void Comment(const char* text, size_t length) = 0;
    virtual void Instruction(const char* target, const char* content) = 0;
};

// Reads the text (in the code page) into `sink` by `route`, as
// CDomDocument::loadXML reads it: the direct reader walks it when it takes
// it, else the pugixml route loads it into a document whose nodes are then
// walked into the sink. True for a text the
// DOM would load, `owner` then keeping the characters the sink was handed;
// false with the reason (CDomDocument::ParseError) for one it refuses.
// `taken`, when given, receives the route that read it. Memory that runs
// out raises CDomError with kE_OUTOFMEMORY.
bool ReadXml(const char* text, size_t length, CXmlSink& sink, XmlRoute route,
             std::shared_ptr<const void>& owner, std::string& reason, XmlRoute* taken = nullptr);

// Whether the code page is UTF-8, so that the characters a sink is handed
// are already the code page's.
bool CodePageIsUtf8();
// A sink's UTF-8 characters in the code page, converted into `scratch`.
std::string_view ToCodePage(std::string_view utf8, std::string& scratch);

}  // namespace xml

#endif
