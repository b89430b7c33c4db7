// IXMLTreeParser and IXMLTreeNode: a read-only tree of plain nodes copied
// from an XML document. Hosts hold pointers to these interfaces; the flat
// XML_* functions of orvex.h forward to them.
//
// Indexes here count from 0. A tree is freed by deleting its root (through
// the virtual destructor, or XML_delete); never delete a child on its own.
// No method throws: when memory runs out each gives its failure answer
// (null, 0, an empty `out`), and arrays keep the nodes appended until then.
#ifndef ORVEX_XML_TREE_H
#define ORVEX_XML_TREE_H

#include <orvex/arrays.h>
#include <orvex/cstring.h>
#include <orvex/export.h>
#include <orvex/handle_object.h>

// The parser's DOM document: opaque outside the library.
struct IXMLDOMDocument;

class ORVEX_EXPORT IXMLTreeNode : public CHandleObject {
public:
    // The number of children, and the child at an index (null out of range).
    virtual int GetChildren() = 0;
    virtual IXMLTreeNode* GetChild(int index) = 0;
    // Null at the root.
    virtual IXMLTreeNode* GetParent() = 0;
    // The element's name as written ("m:Reply"; "Reply" in a tree built in
    // SOAP body mode). Owned by the node, valid while the tree lives.
    virtual const char* GetName() = 0;
    // The text of a leaf, entities decoded; empty for a node with children.
    // Owned by the node, valid while the tree lives.
    virtual const char* GetText() = 0;
    // Attributes, namespace declarations included, in document order. Out of
    // range: 0 and an empty `out`.
    virtual int GetProps() = 0;
    virtual int GetPropName(int index, CString& out) = 0;
    virtual int GetPropValue(int index, CString& out) = 0;
    // The value of the attribute so named, letter case ignored: 1, or 0 and
    // an empty `out`.
    virtual int GetProperty(const char* name, CString& out) = 0;
    // Append the subtree's leaves (document order) or inner nodes (pre-order)
    // as node pointers, and return the array's new size.
    virtual int GetLeaves(CUIntArray& nodes) = 0;
    virtual int GetBranches(CUIntArray& nodes) = 0;
    // Puts the names from the root down to this node in front of `path`,
    // joined by `separator`; with bSkipRoot the root's name counts as empty
    // ("/a/b" instead of "r/a/b").
    virtual void GetPath(CString& path, const char* separator, int bSkipRoot) = 0;
    // Appends, in pre-order, every node of the subtree whose GetPath (from an
    // empty path, same separator and bSkipRoot) equals `path` exactly.
    virtual void FindByPath(CUIntArray& nodes, const CString& path, const char* separator, int bSkipRoot) = 0;
};

class ORVEX_EXPORT IXMLTreeParser : public CHandleObject {
public:
    // Parses the XML text: 1, or 0 with `error` set ("Invalid SOAP XML!" for
    // text that is not well-formed XML, "MSXML not installed!" when no
    // document can be made, "Out of memory while reading the XML").
    virtual int Load(const CString& xml, CString& error) = 0;
    // The loaded document, or null; owned by the parser, valid until its next
    // Load or its destruction.
    virtual IXMLDOMDocument* GetDocument() = 0;
    // A new tree of the loaded document, owned by the caller; null without a
    // document or root. bSoapBody nonzero starts at the element inside the
    // SOAP Body and drops namespace prefixes from names, falling back to the
    // whole document when there is none. XML_GetLastError then says why it
    // failed, or "" after a success.
    virtual IXMLTreeNode* BuildTree(int bSoapBody) = 0;
};

#endif
