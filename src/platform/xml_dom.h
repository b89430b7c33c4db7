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
#ifndef ORVEX_PLATFORM_XML_DOM_H
#define ORVEX_PLATFORM_XML_DOM_H

#include <orvex/cstring.h>

#include "platform/variant.h"

#include <cstddef>
#include <cstdint>
#include <exception>
#include <memory>
#include <string>
#include <string_view>

namespace xmldom {

// Status codes of a failing DOM call, the values hosts of the original knew.
constexpr uint32_t kE_POINTER = 0x80004003u;      // an operation on a null handle
constexpr uint32_t kE_OUTOFMEMORY = 0x8007000Eu;  // memory ran out

// Raised by a DOM call that cannot answer: the status code and the interface
// called ("IXMLDOMNode", "IXMLDOMNodeList", ...).
class CDomError : public std::exception {
public:
    CDomError(uint32_t code, const char* interfaceName);
    uint32_t Code() const { return m_nCode; }
    const char* Interface() const { return m_szInterface; }
    // "DOM call failed (0x80004003) on IXMLDOMNode"
    const char* what() const noexcept override { return m_strWhat.c_str(); }

private:
    uint32_t m_nCode;
    const char* m_szInterface;
    std::string m_strWhat;
};

struct DomDocumentState;
class CDomNodeList;
class CDomNamedNodeMap;

// A node handle; the default one is null. Every read on a null node raises
// CDomError with kE_POINTER, as a call through a null interface pointer did.
class CDomNode {
public:
    CDomNode() = default;

    bool IsNull() const { return m_pNode == nullptr; }
    explicit operator bool() const { return m_pNode != nullptr; }
    friend bool operator==(const CDomNode& a, const CDomNode& b) { return a.m_pNode == b.m_pNode; }
    friend bool operator!=(const CDomNode& a, const CDomNode& b) { return a.m_pNode != b.m_pNode; }

    // Elements and attributes: the qualified name as written. Others:
    // "#text", "#cdata-section", "#comment", a processing instruction's
    // target, "#document".
    CString nodeName() const;
    // Elements: all text and CDATA below, concatenated in document order.
    // Attributes: the value. Other nodes: their content.
    CString text() const;
    // Attributes, text, CDATA, comments and processing instructions: their
    // content as a string; elements and documents: an empty variant.
    CVariant nodeValue() const;

    // Null where there is no such node (not an error).
    CDomNode firstChild() const;
    CDomNode nextSibling() const;
    // The children in document order; empty for nodes that cannot have any.
    CDomNodeList childNodes() const;
    // The attributes of an element, namespace declarations included, in
    // document order; a null map for every other kind of node, so that a
    // map tells elements from the rest.
    CDomNamedNodeMap attributes() const;

    // nodeName and text without a copy where none is needed, for walks over
    // large documents: a view of the document's own characters when the
    // code page is UTF-8, else of `scratch` holding the converted text. A
    // view lasts until the document changes or `scratch` is used again.
    std::string_view NameView(std::string& scratch) const;
    std::string_view TextView(std::string& scratch) const;

private:
    friend class CDomDocument;
    friend class CDomNodeList;
    friend class CDomNamedNodeMap;
    CDomNode(const DomDocumentState* doc, void* node, bool attribute)
        : m_pDoc(doc), m_pNode(node), m_bAttribute(attribute) {}
    void Check(const char* interfaceName) const;

    const DomDocumentState* m_pDoc = nullptr;
    void* m_pNode = nullptr;
    bool m_bAttribute = false;
};

// The children of a node. item() walks on from the last position asked for,
// so reading a list in order costs one step per entry.
class CDomNodeList {
public:
    CDomNodeList() = default;
    explicit operator bool() const { return m_pParent != nullptr; }
    // Null past the end or for a negative index.
    CDomNode item(long index) const;
    long length() const;

private:
    friend class CDomNode;
    CDomNodeList(const DomDocumentState* doc, void* parent) : m_pDoc(doc), m_pParent(parent) {}
    void Check() const;

    const DomDocumentState* m_pDoc = nullptr;
    void* m_pParent = nullptr;
    mutable long m_nLength = -1;
    mutable long m_nCursor = -1;
    mutable void* m_pCursor = nullptr;
};

// The attributes of an element.
class CDomNamedNodeMap {
public:
    CDomNamedNodeMap() = default;
    explicit operator bool() const { return m_pElement != nullptr; }
    // By qualified name exactly as written (case-sensitive); null when absent.
    CDomNode getNamedItem(const char* name) const;
    CDomNode item(long index) const;
    long length() const;

private:
    friend class CDomNode;
    CDomNamedNodeMap(const DomDocumentState* doc, void* element) : m_pDoc(doc), m_pElement(element) {}
    void Check() const;

    const DomDocumentState* m_pDoc = nullptr;
    void* m_pElement = nullptr;
    mutable long m_nLength = -1;
    mutable long m_nCursor = -1;
    mutable void* m_pCursor = nullptr;
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
    // (ParseError() tells why), the document then being empty. An encoding
    // named in the XML declaration is ignored: the text is already decoded.
    bool loadXML(const char* text, size_t length);
    bool loadXML(const CString& text) {
        return loadXML(text.GetString(), static_cast<size_t>(text.GetLength()));
    }

    // The root element; null for an empty document.
    CDomNode documentElement() const;

    // Why the last loadXML refused its text, with the byte offset where it
    // can be told: "unexpected end of data at offset 12".
    const std::string& ParseError() const { return m_strParseError; }

private:
    bool Refuse(const std::string& reason);

    std::unique_ptr<DomDocumentState> m_pState;
    std::string m_strParseError;
};

using DomDocumentPtr = std::shared_ptr<CDomDocument>;

}  // namespace xmldom

#endif
