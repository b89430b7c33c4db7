#include "xmltree/xml_tree_parser.h"

#include <orvex/pub_ex.h>

#include "support/pub.h"

#include <utility>

namespace {

// Everything up to and including the first ':' goes in SOAP body mode.
void StripPrefix(CString& name) {
    const int colon = name.Find(':');
    if (colon >= 0) name.Delete(0, colon + 1);
}

void FillNode(const CDomNode& dom, CXMLTreeNode& node, int bSoapBody) {
    const CDomNamedNodeMap map = dom.attributes();
    if (!map) return;  // not an element: no name, no text, no attributes
    node.m_strName = dom.nodeName();
    if (bSoapBody) StripPrefix(node.m_strName);
    if (node.m_arrChildren.empty()) {
        node.m_strText = dom.text();
        CPubEx::HTML_ToNormal(node.m_strText);
    }
    const long count = map.length();
    if (count == 0) return;
    node.m_arrPropNames.Reserve(static_cast<int>(count));
    node.m_arrPropValues.Reserve(static_cast<int>(count));
    for (long i = 0; i < count; ++i) {
        const CDomNode attribute = map.item(i);
        if (attribute.IsNull()) continue;
        CString name = attribute.nodeName();
        if (bSoapBody) StripPrefix(name);
        node.m_arrPropNames.Add(name);
        node.m_arrPropValues.Add(CPub::Variant2CString(attribute.nodeValue()));
    }
}

// Loaded documents nest at most CDomDocument::kMaxDepth deep, which bounds
// the recursion. Only DOM children that have content become nodes: text,
// comments, instructions and empty elements (attributes and all) do not.
void BuildNode(const CDomNode& dom, CXMLTreeNode& node, int bSoapBody) {
    for (CDomNode c = dom.firstChild(); !c.IsNull(); c = c.nextSibling()) {
        if (c.firstChild().IsNull()) continue;
        auto* child = new CXMLTreeNode;
        node.m_arrChildren.push_back(child);
        child->m_pParent = &node;
        BuildNode(c, *child, bSoapBody);
    }
    FillNode(dom, node, bSoapBody);
}

}  // namespace

// --- CXMLTreeNode -------------------------------------------------------------

CXMLTreeNode::~CXMLTreeNode() {
    for (CXMLTreeNode* child : m_arrChildren) delete child;
}

int CXMLTreeNode::GetChildren() { return static_cast<int>(m_arrChildren.size()); }

IXMLTreeNode* CXMLTreeNode::GetChild(int index) {
    if (index < 0 || index >= GetChildren()) return nullptr;
    return m_arrChildren[static_cast<size_t>(index)];
}

IXMLTreeNode* CXMLTreeNode::GetParent() { return m_pParent; }
const char* CXMLTreeNode::GetName() { return m_strName.GetString(); }
const char* CXMLTreeNode::GetText() { return m_strText.GetString(); }
int CXMLTreeNode::GetProps() { return m_arrPropNames.GetSize(); }

int CXMLTreeNode::GetPropName(int index, CString& out) {
    out.Empty();
    if (index < 0 || index >= m_arrPropNames.GetSize()) return 0;
    out = m_arrPropNames[index];
    return 1;
}

int CXMLTreeNode::GetPropValue(int index, CString& out) {
    out.Empty();
    if (index < 0 || index >= m_arrPropValues.GetSize()) return 0;
    out = m_arrPropValues[index];
    return 1;
}

int CXMLTreeNode::GetProperty(const char* name, CString& out) {
    out.Empty();
    const int at = CPub::ArrayCompareNoCase(m_arrPropNames, name != nullptr ? name : "", 0);
    if (at < 0) return 0;
    out = m_arrPropValues[at];
    return 1;
}

int CXMLTreeNode::GetLeaves(CUIntArray& nodes) {
    if (m_arrChildren.empty())
        nodes.Add(reinterpret_cast<uintptr_t>(static_cast<IXMLTreeNode*>(this)));
    else
        for (CXMLTreeNode* child : m_arrChildren) child->GetLeaves(nodes);
    return nodes.GetSize();
}

int CXMLTreeNode::GetBranches(CUIntArray& nodes) {
    if (!m_arrChildren.empty()) {
        nodes.Add(reinterpret_cast<uintptr_t>(static_cast<IXMLTreeNode*>(this)));
        for (CXMLTreeNode* child : m_arrChildren) child->GetBranches(nodes);
    }
    return nodes.GetSize();
}

void CXMLTreeNode::GetPath(CString& path, const char* separator, int bSkipRoot) {
    const CString name = m_pParent == nullptr && bSkipRoot ? CString() : m_strName;
    if (path.IsEmpty())
        path = name;
    else
        path = name + (separator != nullptr ? separator : "") + path;
    if (m_pParent != nullptr) m_pParent->GetPath(path, separator, bSkipRoot);
}

void CXMLTreeNode::FindByPath(CUIntArray& nodes, const CString& path, const char* separator, int bSkipRoot) {
    CString mine;
    GetPath(mine, separator, bSkipRoot);
    if (mine == path) nodes.Add(reinterpret_cast<uintptr_t>(static_cast<IXMLTreeNode*>(this)));
    for (CXMLTreeNode* child : m_arrChildren) child->FindByPath(nodes, path, separator, bSkipRoot);
}

// --- CXMLTreeParser -----------------------------------------------------------

CXMLTreeParser::~CXMLTreeParser() = default;

int CXMLTreeParser::Load(const CString& xml, CString& error) {
    return Load(xml.GetString(), static_cast<size_t>(xml.GetLength()), error);
}

int CXMLTreeParser::Load(const char* xml, size_t length, CString& error) {
    m_pDoc.reset();
    return LoadDomDocument(xml, length, m_pDoc, error);
}

IXMLDOMDocument* CXMLTreeParser::GetDocument() {
    // The document's address in the opaque type the public interface names.
    return reinterpret_cast<IXMLDOMDocument*>(m_pDoc.get());
}

IXMLTreeNode* CXMLTreeParser::BuildTree(int bSoapBody) {
    m_bSoapBody = bSoapBody;
    CDomNode start;
    if (m_bSoapBody) {
        start = GetSoapResponseNode(m_pDoc);
        if (start.IsNull()) m_bSoapBody = 0;  // no Body content: the whole document, prefixes kept
    }
    if (!m_bSoapBody) start = GetDocumentElement(m_pDoc);  // raises without a document
    return BuildTreeFrom(start, m_bSoapBody);
}

CXMLTreeNode* CXMLTreeParser::BuildTreeFrom(const CDomNode& start, int bSoapBody) {
    if (start.IsNull()) return nullptr;
    auto* root = new CXMLTreeNode;
    try {
        BuildNode(start, *root, bSoapBody);
    } catch (...) {
        delete root;
        throw;
    }
    return root;
}
