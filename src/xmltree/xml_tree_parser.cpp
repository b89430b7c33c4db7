#include "xmltree/xml_tree_parser.h"

#include <orvex/pub_ex.h>

#include "soap/soap_answer.h"
#include "support/pub.h"
#include "xml/block_array.h"
#include "xmltree/tree_arena.h"

#include <cstdint>
#include <cstring>
#include <exception>
#include <memory>
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
        for (int i = 0; i < node.m_nChildren; ++i) AppendLeaves(node.Child(i), nodes);
}

void AppendBranches(CXMLTreeNode& node, CUIntArray& nodes) {
    if (node.m_nChildren == 0) return;
    nodes.Add(Entry(&node));
    for (int i = 0; i < node.m_nChildren; ++i) AppendBranches(node.Child(i), nodes);
}

void PathOf(const CXMLTreeNode& node, CString& path, const char* separator, int bSkipRoot) {
    for (const CXMLTreeNode* n = &node; n != nullptr; n = n->Parent()) {
        const char* name = n->m_nIndex == CXMLTreeNode::kRootIndex && bSkipRoot ? "" : n->m_szName;
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
    for (int i = 0; i < node.m_nChildren; ++i) AppendByPath(node.Child(i), nodes, path, separator, bSkipRoot);
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

// The one builder of trees: it takes a document node by node, from either
// XML route or from a loaded document, and makes the nodes below. Only
// elements with content (any child node) become nodes; the root is a node
// whatever it holds. A node's text is its text children's, kept only while
// no child element with content comes. A finished node waits in m_done until
// its parent ends, when it and its siblings are made side by side in one
// block: no node carries an array of pointers to its children. Under a
// UTF-8 code page names and texts point into the document's characters,
// which the tree then keeps; under another they are converted into the arena.
class CTreeSink final : public xml::CXmlSink {
public:
    // bSoapBody nonzero drops everything up to and including the first ':'
    // of every name.
    explicit CTreeSink(int bSoapBody) : m_soapBody(bSoapBody != 0), m_utf8(xml::CodePageIsUtf8()) {}

    // The tree of the last walk, the caller's from then on.
    CXMLTreeRoot* Release() { return m_root.release(); }
    // Whether the tree points into the characters it was handed.
    bool Borrows() const { return m_utf8; }

    void Begin() override {
        m_root = std::make_unique<CXMLTreeRoot>();
        m_names = std::make_unique<CNameTable>(m_root->Arena());
        m_open.clear();
        m_props.clear();
        m_done.clear();
        m_text.clear();
    }

    void StartElement(const char* name, const char* const* attributes, size_t count) override {
        if (!m_open.empty()) m_open.back().content = true;
        // Filled in place: a frame built aside and copied in is read back
        // while its stores are still in flight.
        Frame& frame = m_open.emplace_back();
        frame.name = Name(name);
        frame.props = m_props.size();
        frame.children = m_done.size();
        frame.text = m_text.size();
        frame.content = m_open.size() == 1;  // the root
        for (size_t i = 0; i < count; ++i) {
            m_props.push_back(Name(attributes[2 * i]));
            m_props.push_back(Value(attributes[2 * i + 1]));
        }
    }

    void Text(const char* text, size_t length) override {
        Frame& frame = m_open.back();
        frame.content = true;
        if (frame.branch) return;
        if (frame.pieces++ == 0) {
            frame.first = std::string_view(text, length);
        } else {
            if (frame.pieces == 2) m_text.append(frame.first);
            m_text.append(text, length);
        }
    }

    void CData(const char* text, size_t length) override { Text(text, length); }
    // Comments and instructions make their parent a node and add no text.
    void Comment(const char*, size_t) override { m_open.back().content = true; }
    void Instruction(const char*, const char*) override { m_open.back().content = true; }

    void EndElement() override {
        const Frame& frame = m_open.back();
        const bool node = frame.content;
        const bool root = m_open.size() == 1;
        const size_t children = m_done.size() - frame.children;
        if (root) {
            Done done;
            Finish(frame, children, done);
            Place(done, *m_root);
        } else if (node) {
            // Written where it waits, field by field: a record built aside
            // and copied in stalled on every element (a fifth of the load).
            if (children == 0) m_done.emplace_back();
            Finish(frame, children, m_done[frame.children]);
            m_done.truncate(frame.children + 1);
        }
        m_props.resize(frame.props);
        m_text.resize(frame.text);
        m_open.pop_back();
        if (node && !root) m_open.back().branch = true;
    }

private:
    struct Frame {
        const char* name = nullptr;
        size_t props = 0;        // where its attributes start in m_props
        size_t children = 0;     // where its finished child nodes start in m_done
        size_t text = 0;         // where its joined text starts in m_text
        std::string_view first;  // its first text piece, in the document
        size_t pieces = 0;
        bool content = false;  // a child node of any kind came: it is a node
        bool branch = false;   // a child element with content came: no text
    };

    // A finished node whose parent has not ended yet; plain, so that it
    // lives in a block array (Finish sets every field).
    struct Done {
        const char* name;
        union {
            const char* text;
            CXMLTreeArenaNode* children;  // when nChildren != 0
        };
        const char** props;
        int nChildren;
    };

    CXMLTreeArena& Arena() { return m_root->Arena(); }

    const char* Name(const char* name) {
        if (m_soapBody) {
            if (const char* colon = std::strchr(name, ':')) name = colon + 1;
        }
        if (m_utf8 || *name == '\0') return name;
        return m_names->Intern(xml::ToCodePage(name, m_scratch));
    }

    const char* Value(const char* value) {
        return m_utf8 ? value : Arena().Copy(xml::ToCodePage(value, m_scratch));
    }

    // The node's record, into `out`: its children are read first, so that
    // `out` may be the first child's place.
    void Finish(const Frame& frame, size_t children, Done& out) {
        const char** props = nullptr;
        const size_t propCount = m_props.size() - frame.props;
        if (propCount != 0) {
            auto* block = static_cast<char*>(Arena().Allocate(sizeof(size_t) + propCount * sizeof(char*)));
            *reinterpret_cast<size_t*>(block) = propCount / 2;
            props = reinterpret_cast<const char**>(block + sizeof(size_t));
            std::memcpy(props, m_props.data() + frame.props, propCount * sizeof(char*));
        }
        if (children != 0) {
            // The parent's address is written in front when the parent is placed.
            auto* block = static_cast<char*>(Arena().Allocate(
                sizeof(CXMLTreeNode*) + children * sizeof(CXMLTreeArenaNode), alignof(CXMLTreeArenaNode)));
            auto* first = reinterpret_cast<CXMLTreeArenaNode*>(block + sizeof(CXMLTreeNode*));
            for (size_t i = 0; i < children; ++i) {
                auto* child = ::new (static_cast<void*>(first + i)) CXMLTreeArenaNode;
                child->m_nIndex = static_cast<uint32_t>(i);
                Place(m_done[frame.children + i], *child);
            }
            out.children = first;
            out.nChildren = static_cast<int>(children);
        } else {
            out.text = LeafText(frame);
            out.nChildren = 0;
        }
        out.name = frame.name;
        out.props = props;
    }

    const char* LeafText(const Frame& frame) {
        std::string_view text = frame.pieces > 1 ? std::string_view(m_text).substr(frame.text) : frame.first;
        const bool inDocument = m_utf8 && frame.pieces == 1;
        if (!m_utf8 && !text.empty()) text = xml::ToCodePage(text, m_scratch);
        // The reader decoded the entities once; a leaf's text is decoded once more.
        if (MayHoldEntity(text)) {
            m_normal = CString(text.data(), static_cast<int>(text.size()));
            // A text the second decoding leaves alone ("a & b") stays where it is.
            if (CPubEx::HTML_ToNormal(m_normal) != 0 || !inDocument) return Arena().Copy(m_normal.str());
        }
        if (text.empty()) return "";
        return inDocument ? text.data() : Arena().Copy(text);
    }

    // Whether the second decoding could change the text: each entity it
    // knows, "&lt;" to "&nbsp;", has its ';' three to five bytes after the
    // '&'. A text it leaves alone ("a & b") is then not copied to find out.
    static bool MayHoldEntity(std::string_view text) {
        for (size_t at = text.find('&'); at != std::string_view::npos; at = text.find('&', at + 1))
            for (size_t k = 3; k <= 5 && at + k < text.size(); ++k)
                if (text[at + k] == ';') return true;
        return false;
    }

    // The node takes what was kept for it, and its children take it as their parent.
    static void Place(const Done& done, CXMLTreeNode& node) {
        node.m_szName = done.name;
        if (done.nChildren != 0) {
            node.m_pChildren = done.children;
            node.m_nChildren = done.nChildren;
            reinterpret_cast<CXMLTreeNode**>(done.children)[-1] = &node;
        } else {
            node.m_szText = done.text;
        }
        node.m_ppProps = done.props;
    }

    const bool m_soapBody;
    const bool m_utf8;
    std::unique_ptr<CXMLTreeRoot> m_root;
    std::unique_ptr<CNameTable> m_names;  // names converted from the document's
    std::vector<Frame> m_open;
    std::vector<const char*> m_props;  // names and values of the open elements
    CBlockArray<Done> m_done;          // finished nodes of the open elements (no doubling)
    std::string m_text;                // joined texts of the open elements
    std::string m_scratch;
    CString m_normal;
};

// The reason the thread's last XML_new or BuildTree failed.
thread_local std::string t_strLastError;

constexpr char kNoDocument[] = "No XML document: the parser has loaded none, or its last load failed";

}  // namespace

// --- CXMLTreeNode -------------------------------------------------------------

CXMLTreeNode::~CXMLTreeNode() = default;

CXMLTreeRoot::CXMLTreeRoot() : m_pArena(new CXMLTreeArena) {}

CXMLTreeRoot::~CXMLTreeRoot() { delete m_pArena; }

int CXMLTreeNode::GetChildren() { return m_nChildren; }

IXMLTreeNode* CXMLTreeNode::GetChild(int index) {
    if (index < 0 || index >= m_nChildren) return nullptr;
    return &Child(index);
}

CXMLTreeNode& CXMLTreeNode::Child(int index) const {
    return static_cast<CXMLTreeArenaNode*>(m_pChildren)[index];
}

CXMLTreeNode* CXMLTreeNode::Parent() const {
    if (m_nIndex == kRootIndex) return nullptr;
    const CXMLTreeArenaNode* first = static_cast<const CXMLTreeArenaNode*>(this) - m_nIndex;
    return reinterpret_cast<CXMLTreeNode* const*>(first)[-1];
}

int CXMLTreeNode::PropCount() const {
    return m_ppProps == nullptr ? 0 : static_cast<int>(reinterpret_cast<const size_t*>(m_ppProps)[-1]);
}

IXMLTreeNode* CXMLTreeNode::GetParent() { return Parent(); }
const char* CXMLTreeNode::GetName() { return m_szName; }
const char* CXMLTreeNode::GetText() { return m_nChildren == 0 ? m_szText : ""; }
int CXMLTreeNode::GetProps() { return PropCount(); }

int CXMLTreeNode::GetPropName(int index, CString& out) {
    out.Empty();
    if (index < 0 || index >= PropCount()) return 0;
    return Safely(0, [&] {
        out = m_ppProps[2 * index];
        return 1;
    });
}

int CXMLTreeNode::GetPropValue(int index, CString& out) {
    out.Empty();
    if (index < 0 || index >= PropCount()) return 0;
    return Safely(0, [&] {
        out = m_ppProps[2 * index + 1];
        return 1;
    });
}

int CXMLTreeNode::GetProperty(const char* name, CString& out) {
    out.Empty();
    if (name == nullptr) name = "";
    return Safely(0, [&] {
        for (int i = 0, n = PropCount(); i < n; ++i) {
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
    std::string reason;
    CXMLTreeNode* tree = Tree(bSoapBody, reason);
    t_strLastError = tree != nullptr ? std::string() : std::move(reason);
    return tree;
}

CXMLTreeNode* CXMLTreeParser::Tree(int bSoapBody, std::string& reason) {
    if (!m_pDoc || m_pDoc->documentElement().IsNull()) {
        reason = kNoDocument;
        return nullptr;
    }
    return Safely<CXMLTreeNode*>(nullptr, [&] {
        m_bSoapBody = bSoapBody;
        CDomNode start;
        if (m_bSoapBody) {
            start = GetSoapResponseNode(m_pDoc);
            if (start.IsNull()) m_bSoapBody = 0;  // no Body content: the whole document, prefixes kept
        }
        if (!m_bSoapBody) start = m_pDoc->documentElement();
        reason = kXmlOutOfMemory;  // what alone can fail from here, but references
        if (!m_bSoapBody) return BuildTreeFrom(start, 0);
        // A SOAP-encoded answer's references are resolved in its tree.
        const CDomNode root = m_pDoc->documentElement();
        const CDomNode body = FindDescendant(root, "Body");
        CAnswerMarks marks;
        marks.Element(root);
        marks.Element(body);
        marks.Element(start);
        return Build(start, 1, body, marks.Links(), reason);
    });
}

CXMLTreeNode* CXMLTreeParser::BuildTreeFrom(const CDomNode& start, int bSoapBody) {
    std::string unused;
    return Build(start, bSoapBody, CDomNode(), {}, unused);
}

CXMLTreeNode* CXMLTreeParser::Build(const CDomNode& start, int bSoapBody, const CDomNode& scope,
                                    const std::vector<xml::LinkForm>& links, std::string& why) {
    if (start.IsNull()) return nullptr;
    if (!start.attributes()) return new CXMLTreeRoot;  // no element: a root without a name
    CTreeSink sink(bSoapBody);
    if (!start.ReplayLinked(sink, scope, links, kMaxReferencedNodes, why)) return nullptr;
    CXMLTreeRoot* root = sink.Release();
    if (sink.Borrows()) root->Arena().Keep(start.TextOwner());
    return root;
}

CXMLTreeNode* CXMLTreeParser::ReadTree(const char* xml, size_t length, xml::XmlRoute route,
                                       std::string& reason) {
    CTreeSink sink(0);
    std::shared_ptr<const void> owner;
    if (!xml::ReadXml(xml, length, sink, route, owner, reason)) return nullptr;
    CXMLTreeRoot* root = sink.Release();
    if (sink.Borrows()) root->Arena().Keep(std::move(owner));
    return root;
}

CXMLTreeNode* CXMLTreeParser::New(const char* xml, int bSoapBody) {
    std::string reason;
    CXMLTreeNode* tree = nullptr;
    try {
        tree = NewTree(xml, bSoapBody, reason);
    } catch (const CDomError& e) {
        reason = e.Code() == xml::kE_OUTOFMEMORY ? kXmlOutOfMemory : e.what();
    } catch (const std::bad_alloc&) {
        reason = kXmlOutOfMemory;
    } catch (const std::exception& e) {
        reason = e.what();
    }
    t_strLastError = tree != nullptr ? std::string() : std::move(reason);
    return tree;
}

CXMLTreeNode* CXMLTreeParser::NewTree(const char* xml, int bSoapBody, std::string& reason) {
    if (xml == nullptr || *xml == '\0') {
        reason = "No XML: the text is NULL or empty";
        return nullptr;
    }
    // A text that does not start with '<' may name a file holding the document.
    CString file;
    const char* text = xml;
    size_t length;
    const bool named = *xml != '<' && CPub::FileExists(xml);
    if (named) {
        if (!CPub::File2CString(file, xml)) {
            std::string why = CPub::GetLastError().str();
            const std::string prefix = std::string(xml) + ": ";
            if (why.compare(0, prefix.size(), prefix) == 0) why.erase(0, prefix.size());
            reason = "Cannot read " + prefix + why;
            return nullptr;
        }
        text = file.GetString();
        length = static_cast<size_t>(file.GetLength());
    } else {
        length = std::strlen(xml);
    }
    std::string refusal;
    CXMLTreeNode* tree = nullptr;
    if (bSoapBody == 0) {
        tree = ReadTree(text, length, xml::XmlRoute::kDirect, refusal);
    } else {
        CXMLTreeParser parser;
        CString error;
        if (parser.Load(text, length, error) != 0) {
            file.Empty();
            return parser.Tree(bSoapBody, reason);
        }
        if (!parser.m_pDoc) {  // no document could be made, or memory ran out
            reason = error.str();
            return nullptr;
        }
        refusal = parser.m_pDoc->ParseError();
    }
    if (tree != nullptr) return tree;
    CString size, time;
    if (named)
        reason = "Invalid XML in " + std::string(xml) + ": " + refusal;
    else if (*xml != '<' && CPub::GetFileTimeSize(xml, size, time) >= 0)
        reason = "Not a regular file: " + std::string(xml);
    else
        reason = "Invalid XML: " + refusal;
    return nullptr;
}

const char* CXMLTreeParser::LastError() { return t_strLastError.c_str(); }
