#include "xmltree/xml_tree_parser.h"

#include <orvex/pub_ex.h>

#include "xmltree/tree_arena.h"

#include <cstdint>
#include <cstring>
#include <deque>
#include <new>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace {

// The nodes below the root live in the root's arena: they are freed with it,
// and deleting one of them on its own frees nothing.
class CXMLTreeArenaNode final : public CXMLTreeNode {
public:
    static void* operator new(size_t size, CXMLTreeArena& arena) {
        return arena.Allocate(size, alignof(CXMLTreeArenaNode));
    }
    static void operator delete(void*, CXMLTreeArena&) {}
    static void operator delete(void*) {}
};

// Whole characters of the code page: a double-byte character's trail byte is never folded.
bool EqualNoCase(const char* a, const char* b) { return CString(a).CompareNoCase(b) == 0; }

uintptr_t Entry(IXMLTreeNode* node) { return reinterpret_cast<uintptr_t>(node); }

// No exception leaves an exported method (decision 7): running out of memory
// gives the method's failure answer instead.
template <typename Result, typename Call>
Result Safely(Result failure, Call&& call) noexcept {
    try {
        return call();
    } catch (...) {
        return failure;
    }
}

template <typename Call>
void Safely(Call&& call) noexcept {
    try {
        call();
    } catch (...) {
    }
}

void AppendLeaves(CXMLTreeNode& node, CUIntArray& nodes) {
    if (node.m_nChildren == 0)
        nodes.Add(Entry(&node));
    else
        for (int i = 0; i < node.m_nChildren; ++i) AppendLeaves(*node.m_ppChildren[i], nodes);
}

void AppendBranches(CXMLTreeNode& node, CUIntArray& nodes) {
    if (node.m_nChildren == 0) return;
    nodes.Add(Entry(&node));
    for (int i = 0; i < node.m_nChildren; ++i) AppendBranches(*node.m_ppChildren[i], nodes);
}

// Every node of a tree is ours, the parent links included.
const CXMLTreeNode* ParentOf(const CXMLTreeNode& node) {
    return static_cast<const CXMLTreeNode*>(node.m_pParent);
}

void PathOf(const CXMLTreeNode& node, CString& path, const char* separator, int bSkipRoot) {
    for (const CXMLTreeNode* n = &node; n != nullptr; n = ParentOf(*n)) {
        const char* name = n->m_pParent == nullptr && bSkipRoot ? "" : n->m_szName;
        if (path.IsEmpty())
            path = name;
        else
            path = CString(name) + (separator != nullptr ? separator : "") + path;
    }
}

void AppendByPath(CXMLTreeNode& node, CUIntArray& nodes, const CString& path, const char* separator,
                  int bSkipRoot) {
    CString mine;
    PathOf(node, mine, separator, bSkipRoot);
    if (mine == path) nodes.Add(Entry(&node));
    for (int i = 0; i < node.m_nChildren; ++i)
        AppendByPath(*node.m_ppChildren[i], nodes, path, separator, bSkipRoot);
}

// Element and attribute names repeat throughout a document: each distinct
// name is stored once per tree.
class CNameTable {
public:
    explicit CNameTable(CXMLTreeArena& arena) : m_arena(arena), m_slots(256) {}

    const char* Intern(std::string_view name) {
        if (name.empty()) return "";
        uint32_t hash = 2166136261u;
        for (const char c : name) hash = (hash ^ static_cast<unsigned char>(c)) * 16777619u;
        size_t mask = m_slots.size() - 1;
        for (size_t i = hash & mask;; i = (i + 1) & mask) {
            Slot& slot = m_slots[i];
            if (slot.text == nullptr) break;
            if (slot.hash == hash && slot.length == name.size() &&
                std::memcmp(slot.text, name.data(), name.size()) == 0)
                return slot.text;
        }
        const char* copy = m_arena.Copy(name);
        // A document of ever new names gets no help from the table: stop growing it.
        if (m_nUsed >= kMaxNames) return copy;
        if (2 * (m_nUsed + 1) > m_slots.size()) Grow();
        mask = m_slots.size() - 1;
        size_t i = hash & mask;
        while (m_slots[i].text != nullptr) i = (i + 1) & mask;
        m_slots[i] = {copy, static_cast<uint32_t>(name.size()), hash};
        ++m_nUsed;
        return copy;
    }

private:
    struct Slot {
        const char* text = nullptr;
        uint32_t length = 0;
        uint32_t hash = 0;
    };
    static constexpr size_t kMaxNames = 1u << 16;

    void Grow() {
        std::vector<Slot> old(m_slots.size() * 2);
        old.swap(m_slots);
        const size_t mask = m_slots.size() - 1;
        for (const Slot& s : old) {
            if (s.text == nullptr) continue;
            size_t i = s.hash & mask;
            while (m_slots[i].text != nullptr) i = (i + 1) & mask;
            m_slots[i] = s;
        }
    }

    CXMLTreeArena& m_arena;
    std::vector<Slot> m_slots;
    size_t m_nUsed = 0;
};

class CTreeBuilder {
public:
    CTreeBuilder(CXMLTreeArena& arena, int bSoapBody)
        : m_arena(arena), m_names(arena), m_bSoapBody(bSoapBody) {}

    // Loaded documents nest at most CDomDocument::kMaxDepth deep, which bounds
    // the recursion. Only DOM children that have content become nodes: text,
    // comments, instructions and empty elements (attributes and all) do not.
    void BuildNode(const CDomNode& dom, CXMLTreeNode& node, size_t depth) {
        Build(dom, dom.firstChild(), node, depth);
    }

private:
    // Everything up to and including the first ':' goes in SOAP body mode.
    std::string_view Name(std::string_view name) const {
        if (m_bSoapBody) {
            const size_t colon = name.find(':');
            if (colon != std::string_view::npos) name.remove_prefix(colon + 1);
        }
        return name;
    }

    void Build(const CDomNode& dom, CDomNode first, CXMLTreeNode& node, size_t depth) {
        if (m_children.size() <= depth) m_children.resize(depth + 1);
        std::vector<CXMLTreeNode*>& children =
            m_children[depth];  // deque: stays put while deeper levels grow
        children.clear();
        for (CDomNode c = std::move(first); !c.IsNull(); c = c.nextSibling()) {
            CDomNode grandchild = c.firstChild();
            if (grandchild.IsNull()) continue;
            CXMLTreeNode* child = new (m_arena) CXMLTreeArenaNode;
            child->m_pParent = &node;
            children.push_back(child);
            Build(c, std::move(grandchild), *child, depth + 1);
        }
        if (!children.empty()) {
            auto** array =
                static_cast<CXMLTreeNode**>(m_arena.Allocate(children.size() * sizeof(CXMLTreeNode*)));
            std::memcpy(array, children.data(), children.size() * sizeof(CXMLTreeNode*));
            node.m_ppChildren = array;
            node.m_nChildren = static_cast<int>(children.size());
        }
        FillNode(dom, node);
    }

    // A view of the DOM's own characters is zero-terminated and outlives the
    // DOM through the arena (TextOwner); a view of the scratch string is not.
    bool Owned(std::string_view view) const {
        return view.data() < m_scratch.data() || view.data() > m_scratch.data() + m_scratch.size();
    }

    const char* Keep(std::string_view text) {
        if (text.empty()) return "";
        return Owned(text) ? text.data() : m_arena.Copy(text);
    }

    const char* NameOf(const CDomNode& dom) {
        const std::string_view name = Name(dom.NameView(m_scratch));
        if (name.empty()) return "";
        return Owned(name) ? name.data() : m_names.Intern(name);
    }

    void FillNode(const CDomNode& dom, CXMLTreeNode& node) {
        const CDomNamedNodeMap map = dom.attributes();
        if (!map) return;  // not an element: no name, no text, no attributes
        node.m_szName = NameOf(dom);
        if (node.m_nChildren == 0) {
            // The DOM decoded the entities once; a leaf's text is decoded once more.
            const std::string_view text = dom.TextView(m_scratch);
            if (text.find('&') == std::string_view::npos) {
                node.m_szText = Keep(text);
            } else {
                m_text = CString(text.data(), static_cast<int>(text.size()));
                CPubEx::HTML_ToNormal(m_text);
                node.m_szText = m_arena.Copy(m_text.str());
            }
        }
        m_props.clear();
        for (long i = 0;; ++i) {
            const CDomNode attribute = map.item(i);
            if (attribute.IsNull()) break;
            m_props.push_back(NameOf(attribute));
            m_props.push_back(Keep(attribute.TextView(m_scratch)));
        }
        if (m_props.empty()) return;
        auto** props = static_cast<const char**>(m_arena.Allocate(m_props.size() * sizeof(char*)));
        std::memcpy(props, m_props.data(), m_props.size() * sizeof(char*));
        node.m_ppProps = props;
        node.m_nProps = static_cast<int>(m_props.size() / 2);
    }

    CXMLTreeArena& m_arena;
    CNameTable m_names;
    int m_bSoapBody;
    std::deque<std::vector<CXMLTreeNode*>> m_children;  // one list per depth, reused
    std::vector<const char*> m_props;                   // names and values of the element being filled
    std::string m_scratch;
    CString m_text;
};

// The tree of a plain-mode document built as the direct reader walks the
// text, with no DOM in between: the same nodes CTreeBuilder makes from a
// document. An element becomes a node once its first child arrives (only
// elements with content are nodes); a node's text is its text children's,
// kept only while no child element with content comes.
class CTreeSink final : public CXmlSink {
public:
    CTreeSink(CXMLTreeNode& root, CXMLTreeArena& arena) : m_root(root), m_arena(arena) {}

    void StartElement(const char* name, const char* const* attributes, size_t count) override {
        if (!m_open.empty()) Content(m_open.back());
        Frame frame;
        frame.name = name;
        frame.props = m_props.size();
        frame.children = m_children.size();
        frame.text = m_text.size();
        m_props.insert(m_props.end(), attributes, attributes + 2 * count);
        if (m_open.empty()) frame.node = &m_root;  // the root is a node whatever it holds
        m_open.push_back(frame);
    }

    void Text(const char* text, size_t length) override {
        Frame& frame = m_open.back();
        Content(frame);
        if (frame.branch) return;
        if (frame.pieces++ == 0) {
            frame.first = std::string_view(text, length);
        } else {
            if (frame.pieces == 2) m_text.append(frame.first);
            m_text.append(text, length);
        }
    }

    void CData(const char* text, size_t length) override { Text(text, length); }
    void Comment(const char*, size_t) override { Content(m_open.back()); }

    // Like a comment, an instruction makes its parent a node and adds no text.
    void Instruction(const char*, const char*) override { Content(m_open.back()); }

    void EndElement() override {
        Frame& frame = m_open.back();
        CXMLTreeNode* node = frame.node;
        if (node != nullptr) Fill(frame, *node);
        m_props.resize(frame.props);
        m_children.resize(frame.children);
        m_text.resize(frame.text);
        m_open.pop_back();
        if (node != nullptr && !m_open.empty()) {
            m_children.push_back(node);
            m_open.back().branch = true;
        }
    }

private:
    struct Frame {
        const char* name = nullptr;
        CXMLTreeNode* node = nullptr;  // made at the first child
        size_t props = 0;              // where its attributes start in m_props
        size_t children = 0;           // where its child nodes start in m_children
        size_t text = 0;               // where its joined text starts in m_text
        std::string_view first;        // its first text piece, in the document
        size_t pieces = 0;
        bool branch = false;  // a child element with content came: no text
    };

    // The element has a child: it is a node, below its parent's node.
    void Content(Frame& frame) {
        if (frame.node != nullptr) return;
        frame.node = new (m_arena) CXMLTreeArenaNode;
        frame.node->m_pParent = m_open.size() > 1 ? m_open[m_open.size() - 2].node : nullptr;
    }

    void Fill(const Frame& frame, CXMLTreeNode& node) {
        node.m_szName = frame.name;
        const size_t children = m_children.size() - frame.children;
        if (children != 0) {
            auto** array = static_cast<CXMLTreeNode**>(m_arena.Allocate(children * sizeof(CXMLTreeNode*)));
            std::memcpy(array, m_children.data() + frame.children, children * sizeof(CXMLTreeNode*));
            node.m_ppChildren = array;
            node.m_nChildren = static_cast<int>(children);
        } else {
            const std::string_view text =
                frame.pieces > 1 ? std::string_view(m_text).substr(frame.text) : frame.first;
            // The reader decoded the entities once; a leaf's text is decoded once more.
            if (text.find('&') != std::string_view::npos) {
                m_scratch = CString(text.data(), static_cast<int>(text.size()));
                CPubEx::HTML_ToNormal(m_scratch);
                node.m_szText = m_arena.Copy(m_scratch.str());
            } else if (text.empty()) {
                node.m_szText = "";
            } else {
                node.m_szText = frame.pieces > 1 ? m_arena.Copy(text) : text.data();
            }
        }
        const size_t props = m_props.size() - frame.props;
        if (props == 0) return;
        auto** array = static_cast<const char**>(m_arena.Allocate(props * sizeof(char*)));
        std::memcpy(array, m_props.data() + frame.props, props * sizeof(char*));
        node.m_ppProps = array;
        node.m_nProps = static_cast<int>(props / 2);
    }

    CXMLTreeNode& m_root;
    CXMLTreeArena& m_arena;
    std::vector<Frame> m_open;
    std::vector<const char*> m_props;       // names and values of the open elements
    std::vector<CXMLTreeNode*> m_children;  // child nodes of the open elements
    std::string m_text;                     // joined texts of the open elements
    CString m_scratch;
};

}  // namespace

// --- CXMLTreeNode -------------------------------------------------------------

CXMLTreeNode::~CXMLTreeNode() = default;

CXMLTreeRoot::CXMLTreeRoot() : m_pArena(new CXMLTreeArena) {}

CXMLTreeRoot::~CXMLTreeRoot() { delete m_pArena; }

int CXMLTreeNode::GetChildren() { return m_nChildren; }

IXMLTreeNode* CXMLTreeNode::GetChild(int index) {
    if (index < 0 || index >= m_nChildren) return nullptr;
    return m_ppChildren[index];
}

IXMLTreeNode* CXMLTreeNode::GetParent() { return m_pParent; }
const char* CXMLTreeNode::GetName() { return m_szName; }
const char* CXMLTreeNode::GetText() { return m_szText; }
int CXMLTreeNode::GetProps() { return m_nProps; }

int CXMLTreeNode::GetPropName(int index, CString& out) {
    out.Empty();
    if (index < 0 || index >= m_nProps) return 0;
    return Safely(0, [&] {
        out = m_ppProps[2 * index];
        return 1;
    });
}

int CXMLTreeNode::GetPropValue(int index, CString& out) {
    out.Empty();
    if (index < 0 || index >= m_nProps) return 0;
    return Safely(0, [&] {
        out = m_ppProps[2 * index + 1];
        return 1;
    });
}

int CXMLTreeNode::GetProperty(const char* name, CString& out) {
    out.Empty();
    if (name == nullptr) name = "";
    return Safely(0, [&] {
        for (int i = 0; i < m_nProps; ++i) {
            if (EqualNoCase(m_ppProps[2 * i], name)) {
                out = m_ppProps[2 * i + 1];
                return 1;
            }
        }
        return 0;
    });
}

// When memory runs out the array keeps the nodes appended until then.
int CXMLTreeNode::GetLeaves(CUIntArray& nodes) {
    Safely([&] { AppendLeaves(*this, nodes); });
    return nodes.GetSize();
}

int CXMLTreeNode::GetBranches(CUIntArray& nodes) {
    Safely([&] { AppendBranches(*this, nodes); });
    return nodes.GetSize();
}

// When memory runs out the path stays as it was given.
void CXMLTreeNode::GetPath(CString& path, const char* separator, int bSkipRoot) {
    Safely([&] {
        CString built = path;
        PathOf(*this, built, separator, bSkipRoot);
        path = std::move(built);
    });
}

void CXMLTreeNode::FindByPath(CUIntArray& nodes, const CString& path, const char* separator, int bSkipRoot) {
    Safely([&] { AppendByPath(*this, nodes, path, separator, bSkipRoot); });
}

// --- CXMLTreeParser -----------------------------------------------------------

CXMLTreeParser::~CXMLTreeParser() = default;

int CXMLTreeParser::Load(const CString& xml, CString& error) {
    return Load(xml.GetString(), static_cast<size_t>(xml.GetLength()), error);
}

int CXMLTreeParser::Load(const char* xml, size_t length, CString& error) {
    m_pDoc.reset();
    return Safely(0, [&] { return LoadDomDocument(xml, length, m_pDoc, error); });
}

IXMLDOMDocument* CXMLTreeParser::GetDocument() {
    // The document's address in the opaque type the public interface names.
    return reinterpret_cast<IXMLDOMDocument*>(m_pDoc.get());
}

IXMLTreeNode* CXMLTreeParser::BuildTree(int bSoapBody) {
    if (!m_pDoc) return nullptr;  // never loaded, or its memory ran out
    return Safely<IXMLTreeNode*>(nullptr, [&] {
        m_bSoapBody = bSoapBody;
        CDomNode start;
        if (m_bSoapBody) {
            start = GetSoapResponseNode(m_pDoc);
            if (start.IsNull()) m_bSoapBody = 0;  // no Body content: the whole document, prefixes kept
        }
        if (!m_bSoapBody) start = m_pDoc->documentElement();
        return BuildTreeFrom(start, m_bSoapBody);
    });
}

CXMLTreeNode* CXMLTreeParser::BuildTreeStraight(const char* xml, size_t length) {
    auto* root = new CXMLTreeRoot;
    try {
        CTreeSink sink(*root, root->Arena());
        std::shared_ptr<const void> owner;
        if (!ReadXmlStraight(xml, length, sink, owner)) {
            delete root;
            return nullptr;
        }
        root->Arena().Keep(std::move(owner));
    } catch (...) {
        delete root;
        throw;
    }
    return root;
}

CXMLTreeNode* CXMLTreeParser::BuildTreeFrom(const CDomNode& start, int bSoapBody) {
    if (start.IsNull()) return nullptr;
    auto* root = new CXMLTreeRoot;
    try {
        root->Arena().Keep(start.TextOwner());
        CTreeBuilder(root->Arena(), bSoapBody).BuildNode(start, *root, 0);
    } catch (...) {
        delete root;
        throw;
    }
    return root;
}
