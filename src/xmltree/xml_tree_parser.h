// CXMLTreeParser and CXMLTreeNode: the tree of plain nodes built from a DOM
// document, and the parser that loads the document and builds it.
#ifndef ORVEX_XMLTREE_XML_TREE_PARSER_H
#define ORVEX_XMLTREE_XML_TREE_PARSER_H

#include <orvex/arrays.h>
#include <orvex/cstring.h>
#include <orvex/xml_tree.h>

#include "xml/dom_access.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class CXMLTreeArena;

// A node of the tree. The root (a CXMLTreeRoot) is made with new and owns an
// arena that holds every other node of its tree and every string, so that
// building and freeing a large tree costs a few large allocations instead of
// millions of small ones.
class CXMLTreeNode : public IXMLTreeNode {
public:
    CXMLTreeNode() = default;
    ~CXMLTreeNode() override;
    CXMLTreeNode(const CXMLTreeNode&) = delete;
    CXMLTreeNode& operator=(const CXMLTreeNode&) = delete;

    int GetChildren() override;
    IXMLTreeNode* GetChild(int index) override;
    IXMLTreeNode* GetParent() override;
    const char* GetName() override;
    const char* GetText() override;
    int GetProps() override;
    int GetPropName(int index, CString& out) override;
    int GetPropValue(int index, CString& out) override;
    int GetProperty(const char* name, CString& out) override;
    int GetLeaves(CUIntArray& nodes) override;
    int GetBranches(CUIntArray& nodes) override;
    void GetPath(CString& path, const char* separator, int bSkipRoot) override;
    void FindByPath(CUIntArray& nodes, const CString& path, const char* separator, int bSkipRoot) override;

    // The child at `index` (0 <= index < m_nChildren): a node's children lie
    // side by side in one block of its arena, after the pointer to their parent.
    CXMLTreeNode& Child(int index) const;
    CXMLTreeNode* Parent() const;  // null for the root
    int PropCount() const;

    // All strings are zero-terminated and live in the root's arena or in the
    // document text it keeps. A node holds text or children, never both, so
    // the two share a slot; the parent is found through the node's place
    // among its siblings and the attribute count is kept before the pairs:
    // 40 bytes a node, of which a large document has millions.
    const char* m_szName = "";
    union {
        const char* m_szText = "";  // a leaf's text (m_nChildren == 0)
        CXMLTreeNode* m_pChildren;  // the first of m_nChildren side by side
    };
    const char** m_ppProps = nullptr;  // name, value, name, value... in document order
    int m_nChildren = 0;
    uint32_t m_nIndex = kRootIndex;  // the node's place among its siblings

    static constexpr uint32_t kRootIndex = 0xFFFFFFFFu;  // a node with no parent
};

// The root of a tree: the one node that owns the arena (the others do not
// carry the pointer, which is memory on every node of a large tree).
class CXMLTreeRoot final : public CXMLTreeNode {
public:
    CXMLTreeRoot();
    ~CXMLTreeRoot() override;
    CXMLTreeRoot(const CXMLTreeRoot&) = delete;
    CXMLTreeRoot& operator=(const CXMLTreeRoot&) = delete;

    CXMLTreeArena& Arena() { return *m_pArena; }

private:
    CXMLTreeArena* m_pArena;  // every node and string of the tree
};

class CXMLTreeParser : public IXMLTreeParser {
public:
    CXMLTreeParser() = default;
    ~CXMLTreeParser() override;
    CXMLTreeParser(const CXMLTreeParser&) = delete;
    CXMLTreeParser& operator=(const CXMLTreeParser&) = delete;

    int Load(const CString& xml, CString& error) override;
    IXMLDOMDocument* GetDocument() override;
    IXMLTreeNode* BuildTree(int bSoapBody) override;

    // Load from bytes that need not be a CString (no copy of a large text).
    int Load(const char* xml, size_t length, CString& error);
    // Takes a document that was loaded elsewhere (LoadDomDocument), so that a
    // reader that already parsed a response builds its tree from the same DOM.
    void SetDocument(DomDocumentPtr document) { m_pDoc = std::move(document); }

    // BuildTree's work, with the reason it failed (SOAP_GetXMLTree's tree
    // leaves the thread's last error alone).
    CXMLTreeNode* Tree(int bSoapBody, std::string& reason);

    // A tree from any node of a loaded document: its name, attributes and
    // everything below. bSoapBody nonzero drops namespace prefixes from names.
    // Null when `start` is null; a start that is no element gives a root with
    // an empty name. The tree does not refer to the DOM afterwards. Raises
    // std::bad_alloc when memory runs out (the exported methods catch it).
    static CXMLTreeNode* BuildTreeFrom(const CDomNode& start, int bSoapBody);
    // The plain-mode tree of a text, built as `route` reads it: the tree
    // Load and BuildTree(0) give, for less time and memory. Null when the
    // text is refused, `reason` then saying why. Raises when memory runs out.
    static CXMLTreeNode* ReadTree(const char* xml, size_t length, xml::XmlRoute route, std::string& reason);
    // XML_new's work: a tree of the text, or of the file a text not starting
    // with '<' names; null on failure. Sets the thread's last error.
    static CXMLTreeNode* New(const char* xml, int bSoapBody);
    // The reason this thread's last New or BuildTree failed; "" after a
    // success. Valid until the thread's next New or BuildTree.
    static const char* LastError();

    DomDocumentPtr m_pDoc;
    int m_bSoapBody = 0;

private:
    // BuildTreeFrom, references in the `links` forms resolved below `scope`;
    // null with `why` set for one that cannot be.
    static CXMLTreeNode* Build(const CDomNode& start, int bSoapBody, const CDomNode& scope,
                               const std::vector<xml::LinkForm>& links, std::string& why);
    static CXMLTreeNode* NewTree(const char* xml, int bSoapBody, std::string& reason);
};

#endif
