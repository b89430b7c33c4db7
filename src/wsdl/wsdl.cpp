#include "wsdl/wsdl.h"

#include "recordset/srs.h"
#include "soap/soap_message.h"
#include "soap/soap_plan.h"
#include "wsdl/wsdl_fetch.h"
#include "xml/xml_dom.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <new>
#include <set>
#include <string_view>
#include <unordered_map>
#include <utility>

namespace {

constexpr std::string_view kWsdlNs = "http://schemas.xmlsoap.org/wsdl/";
constexpr std::string_view kWsdl20Ns = "http://www.w3.org/ns/wsdl";
constexpr std::string_view kSoap11Ns = "http://schemas.xmlsoap.org/wsdl/soap/";
constexpr std::string_view kSoap12Ns = "http://schemas.xmlsoap.org/wsdl/soap12/";
constexpr std::string_view kSchemaNs = "http://www.w3.org/2001/XMLSchema";
constexpr std::string_view kSoapEncodingNs = "http://schemas.xmlsoap.org/soap/encoding/";
// What an absent attribute or namespace reads as: a view of "", which is a C
// text too, as every view of the documents' zero-terminated characters is.
constexpr std::string_view kNoText = "";
// Types name types, which may name others: a chain longer than this is a loop.
constexpr int kMaxTypeDepth = 32;

// The elements of a description keep the characters the reader hands them,
// which the documents' owners hold while the description is kept; elements,
// attribute lists and scopes come from one arena per document and need no
// destruction.
using Attr = std::pair<std::string_view, std::string_view>;  // prefix, URI

// Whether zero-terminated `text` is `name`.
bool Named(const char* text, std::string_view name) {
    for (const char c : name)
        if (*text++ != c) return false;
    return *text == '\0';
}

// Whether two texts are the same, compared in place: std::string_view's
// comparison was a call (3M instructions of a thousand operations), and a
// namespace the description's elements share is one view (see Canonical).
bool Same(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    if (a.data() == b.data()) return true;
    for (size_t i = 0; i < a.size(); ++i)
        if (a[i] != b[i]) return false;
    return true;
}

// The namespaces a description's elements are looked for in, as one view
// each wherever they are declared, so that Same finds them at a glance.
std::string_view Canonical(std::string_view uri) {
    for (const std::string_view known : {kWsdlNs, kSchemaNs, kSoap11Ns, kSoap12Ns, kSoapEncodingNs})
        if (Same(uri, known)) return known;
    return uri;
}

// "xmlns" or "xmlns:prefix": an attribute that declares a namespace.
bool Declares(const char* attribute) {
    for (const char c : std::string_view("xmlns"))
        if (*attribute++ != c) return false;
    return *attribute == '\0' || *attribute == ':';
}

// The prefixes in scope at an element, its own declarations first.
struct Scope {
    const Scope* parent = nullptr;
    const Attr* bindings = nullptr;
    size_t count = 0;

    const std::string_view* Find(std::string_view prefix) const {
        for (const Scope* s = this; s != nullptr; s = s->parent)
            for (size_t i = 0; i < s->count; ++i)
                if (Same(s->bindings[i].first, prefix)) return &s->bindings[i].second;
        return nullptr;
    }
};

// A count written in an attribute (maxOccurs); 0 for anything else.
int Count(std::string_view text) {
    int n = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return 0;
        n = n > 100000 ? n : n * 10 + (c - '0');
    }
    return n;
}

// Whether an element whose maxOccurs is this may repeat.
bool Repeats(std::string_view maxOccurs) { return maxOccurs == "unbounded" || Count(maxOccurs) > 1; }

struct QName {
    std::string_view ns, local;
};

struct Element {
    std::string_view ns, local;
    // Name, value, name, value, ... as the reader handed them: most are
    // never read, so their lengths are found only when one is (measuring
    // each as it came cost 1M instructions of a 1 MB description).
    const char* const* attributes = nullptr;
    size_t count = 0;
    const Element* first = nullptr;  // the first child
    const Element* next = nullptr;   // the next sibling
    const Scope* scope = nullptr;

    // The children, as a range of pointers.
    struct Children {
        const Element* first;
        struct Iterator {
            const Element* at;
            const Element* operator*() const { return at; }
            Iterator& operator++() {
                at = at->next;
                return *this;
            }
            bool operator!=(const Iterator& other) const { return at != other.at; }
        };
        Iterator begin() const { return {first}; }
        Iterator end() const { return {nullptr}; }
    };
    Children children() const { return {first}; }

    bool Is(std::string_view uri, std::string_view name) const { return Same(local, name) && Same(ns, uri); }

    // The value of an attribute, zero-terminated; null when it has none.
    const char* Attribute(std::string_view name) const {
        for (size_t i = 0; i < count; ++i)
            if (Named(attributes[2 * i], name)) return attributes[2 * i + 1];
        return nullptr;
    }
    std::string_view Text(std::string_view name) const {
        const char* value = Attribute(name);
        return value != nullptr ? std::string_view(value) : kNoText;
    }

    // A QName written in one of its attributes, its prefix looked up here.
    QName Resolve(std::string_view written) const {
        const size_t colon = written.find(':');
        const std::string_view prefix =
            colon == std::string_view::npos ? std::string_view() : written.substr(0, colon);
        const std::string_view* uri = scope != nullptr ? scope->Find(prefix) : nullptr;
        return {uri != nullptr ? *uri : kNoText,
                colon == std::string_view::npos ? written : written.substr(colon + 1)};
    }
};

// Blocks handed out by moving a pointer: an element costs no call (the
// standard monotonic resource's virtual allocation cost 1.5M instructions
// of a 1 MB description).
class CArena {
public:
    template <typename T>
    T* Allocate(size_t n) {
        static_assert(alignof(T) <= kAlign, "the arena aligns to pointers");
        const size_t size = (n * sizeof(T) + kAlign - 1) & ~(kAlign - 1);
        if (size > m_left) Grow(size);
        void* at = m_at;
        m_at += size;
        m_left -= size;
        return static_cast<T*>(at);
    }

private:
    static constexpr size_t kAlign = alignof(void*);
    static constexpr size_t kBlock = 64 * 1024;

    void Grow(size_t size) {
        const size_t block = size > kBlock ? size : kBlock;
        m_blocks.emplace_back(new char[block]);
        m_at = m_blocks.back().get();
        m_left = block;
    }

    std::vector<std::unique_ptr<char[]>> m_blocks;
    char* m_at = nullptr;
    size_t m_left = 0;
};

// One document's elements, and what keeps the characters they view.
struct Document {
    std::shared_ptr<const void> characters;
    std::unique_ptr<CArena> arena;
    const Element* root = nullptr;
};

// Builds the elements of one document, namespaces resolved as they open.
class CElementSink final : public xml::CXmlSink {
public:
    // The tree, with the arena it lives in; the caller adds the characters.
    Document Release() {
        Document document;
        document.root = m_root;
        document.arena = std::move(m_arena);
        return document;
    }

    void Begin() override {
        m_arena = std::make_unique<CArena>();
        m_root = nullptr;
        m_open.clear();
        m_lastScope = nullptr;
        m_lastPrefix = std::string_view();
        m_lastUri = nullptr;
    }

    void StartElement(const char* name, const char* const* attributes, size_t count) override {
        auto* element = new (m_arena->Allocate<Element>(1)) Element;
        Element* parent = m_open.empty() ? nullptr : m_open.back().element;
        element->scope = parent != nullptr ? parent->scope : nullptr;
        if (count != 0) {
            // Copied by hand with the look for declarations: memcpy's call for the few
            // pointers cost 0.2M instructions of a 1 MB description.
            auto** list = m_arena->Allocate<const char*>(2 * count);
            size_t bindings = 0;
            for (size_t i = 0; i < 2 * count; i += 2) {
                list[i] = attributes[i];
                list[i + 1] = attributes[i + 1];
                bindings += Declares(attributes[i]) ? 1 : 0;
            }
            element->attributes = list;
            element->count = count;
            if (bindings != 0) element->scope = Declared(*element, bindings);
        }
        // The library's scans of the name: a loop by hand cost twice as much.
        const size_t length = std::strlen(name);
        const auto* colon = static_cast<const char*>(std::memchr(name, ':', length));
        const size_t prefixLength = colon == nullptr ? 0 : static_cast<size_t>(colon - name);
        const std::string_view prefix(name, prefixLength);
        element->local = colon == nullptr ? std::string_view(name, length)
                                          : std::string_view(colon + 1, length - prefixLength - 1);
        // Elements side by side share their scope and mostly their prefix: the last lookup serves
        // again (its few characters compared by hand: a library comparison was a call of 20 to 45
        // instructions).
        if (element->scope != m_lastScope || !Same(prefix, m_lastPrefix)) {
            m_lastScope = element->scope;
            m_lastPrefix = prefix;
            m_lastUri = element->scope != nullptr ? element->scope->Find(prefix) : nullptr;
        }
        if (m_lastUri != nullptr) element->ns = *m_lastUri;
        if (parent == nullptr) {
            m_root = element;
        } else {
            Open& open = m_open.back();
            (open.last != nullptr ? open.last->next : parent->first) = element;
            open.last = element;
        }
        m_open.push_back({element, nullptr});
    }

    void EndElement() override { m_open.pop_back(); }
    void Text(const char*, size_t) override {}
    void CData(const char*, size_t) override {}
    void Comment(const char*, size_t) override {}
    void Instruction(const char*, const char*) override {}

private:
    struct Open {
        Element* element;
        Element* last;  // its last child so far
    };

    // The scope an element opens with its own declarations.
    const Scope* Declared(const Element& element, size_t bindings) {
        auto* own = new (m_arena->Allocate<Scope>(1)) Scope;
        auto* list = m_arena->Allocate<Attr>(bindings);
        size_t k = 0;
        for (size_t i = 0; i < element.count; ++i) {
            const char* attribute = element.attributes[2 * i];
            if (!Declares(attribute)) continue;
            new (list + k++) Attr(attribute[5] == ':' ? std::string_view(attribute + 6) : std::string_view(),
                                  Canonical(element.attributes[2 * i + 1]));
        }
        own->parent = element.scope;
        own->bindings = list;
        own->count = bindings;
        return own;
    }

    std::unique_ptr<CArena> m_arena;
    Element* m_root = nullptr;
    std::vector<Open> m_open;
    const Scope* m_lastScope = nullptr;
    std::string_view m_lastPrefix;
    const std::string_view* m_lastUri = nullptr;
};

// A pending document: where it is, and the namespace an included schema
// takes from the schema that includes it.
struct Pending {
    std::string location;
    std::string inheritedNamespace;
};

// Elements by namespace and local name, both views of the documents, in one
// open-addressed array: a name costs no node, and the hash is of the local
// name alone, which nearly always tells names apart (the standard map's nodes
// and two hashes a name cost 4M instructions of a thousand operations).
class CNames {
public:
    // The first element of a name stays; false for a later one.
    bool Add(std::string_view ns, std::string_view local, const Element& e) {
        if (2 * (m_count + 1) > m_slots.size()) Grow();
        const size_t hash = Hash(local);
        Slot& slot = m_slots[Probe(ns, local, hash)];
        if (slot.element != nullptr) return false;
        slot = {ns, local, hash, &e};
        ++m_count;
        return true;
    }

    const Element* Find(std::string_view ns, std::string_view local) const {
        return m_slots.empty() ? nullptr : m_slots[Probe(ns, local, Hash(local))].element;
    }

private:
    struct Slot {
        std::string_view ns, local;
        size_t hash = 0;
        const Element* element = nullptr;  // null: free
    };

    // FNV-1a: names are short, and a call to the library's hash cost more.
    static size_t Hash(std::string_view text) {
        uint64_t hash = 14695981039346656037u;
        for (const char c : text) hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211u;
        return static_cast<size_t>(hash);
    }

    // The slot of the name, or the free one where it would go.
    size_t Probe(std::string_view ns, std::string_view local, size_t hash) const {
        const size_t mask = m_slots.size() - 1;
        for (size_t i = hash & mask;; i = (i + 1) & mask) {
            const Slot& slot = m_slots[i];
            if (slot.element == nullptr ||
                (slot.hash == hash && Same(slot.local, local) && Same(slot.ns, ns)))
                return i;
        }
    }

    // Twice the room, never more than half full.
    void Grow() {
        std::vector<Slot> old(m_slots.size() < 16 ? 16 : 2 * m_slots.size());
        old.swap(m_slots);
        for (const Slot& slot : old)
            if (slot.element != nullptr) m_slots[Probe(slot.ns, slot.local, slot.hash)] = slot;
    }

    std::vector<Slot> m_slots;
    size_t m_count = 0;
};

// Everything the documents declare, by qualified name.
class CIndex {
public:
    using Map = CNames;
    Map messages, portTypes, bindings, elements, complexTypes, simpleTypes;
    std::vector<const Element*> services;
    std::vector<std::pair<std::string_view, const Element*>>
        bindingOrder;  // key and binding, in document order

    void AddDefinitions(const Element& definitions) {
        const std::string_view tns = definitions.Text("targetNamespace");
        for (const auto& child : definitions.children()) {
            const Element& e = *child;
            if (!Same(e.ns, kWsdlNs)) continue;
            const std::string_view name = e.Text("name");
            if (Same(e.local, "message")) {
                Add(messages, tns, name, e);
            } else if (Same(e.local, "portType")) {
                Add(portTypes, tns, name, e);
            } else if (Same(e.local, "binding")) {
                if (Add(bindings, tns, name, e)) bindingOrder.emplace_back(name, &e);
            } else if (Same(e.local, "service")) {
                services.push_back(&e);
            } else if (Same(e.local, "types")) {
                for (const auto& schema : e.children())
                    if (schema->Is(kSchemaNs, "schema")) AddSchema(*schema, std::string_view());
            }
        }
    }

    void AddSchema(const Element& schema, std::string_view inherited) {
        const char* declared = schema.Attribute("targetNamespace");
        const std::string_view tns = declared != nullptr ? std::string_view(declared) : inherited;
        for (const auto& child : schema.children()) {
            const Element& e = *child;
            const char* name = e.Attribute("name");
            if (name == nullptr || !Same(e.ns, kSchemaNs)) continue;
            if (Same(e.local, "element"))
                Add(elements, tns, name, e);
            else if (Same(e.local, "complexType"))
                Add(complexTypes, tns, name, e);
            else if (Same(e.local, "simpleType"))
                Add(simpleTypes, tns, name, e);
        }
    }

    const Element* Find(const Map& map, const QName& name) const { return map.Find(name.ns, name.local); }

    // The first declaration of a name stays; false for a later one.
    static bool Add(Map& map, std::string_view ns, std::string_view name, const Element& e) {
        return map.Add(ns, name, e);
    }
};

const Element* Child(const Element& parent, std::string_view ns, std::string_view local) {
    for (const auto& child : parent.children())
        if (child->Is(ns, local)) return child;
    return nullptr;
}

// What a part or field holds, in the words the Input and Output columns use.
class CDescriber {
public:
    explicit CDescriber(const CIndex& index) : m_index(index) {}

    // A type named in an attribute of `context`.
    std::string TypeName(const Element& context, std::string_view written, int depth) const {
        const QName q = context.Resolve(written);
        if (Same(q.ns, kSchemaNs)) return std::string(q.local);
        if (depth > kMaxTypeDepth) return "xml";
        if (const Element* simple = m_index.Find(m_index.simpleTypes, q))
            return SimpleBase(*simple, depth + 1);
        if (const Element* complex = m_index.Find(m_index.complexTypes, q)) {
            const std::string array = ArrayItem(*complex, depth + 1);
            return array.empty() ? std::string(q.local) : array + "[]";
        }
        return "xml";
    }

    // A simple type by the base it restricts; a list or union reads as text.
    std::string SimpleBase(const Element& simple, int depth) const {
        const Element* restriction = Child(simple, kSchemaNs, "restriction");
        if (restriction == nullptr || restriction->Attribute("base") == nullptr) return "string";
        return TypeName(*restriction, restriction->Text("base"), depth);
    }

    // A SOAP-encoded array's item type; "" for any other complex type.
    std::string ArrayItem(const Element& complex, int depth) const {
        const Element* where = nullptr;
        const std::string written = ArrayType(complex, where);
        if (where == nullptr) return written.empty() ? std::string() : "xml";
        return TypeName(*where, written, depth);
    }

    // The item type a SOAP-encoded array declares, and the element that
    // declares it (null when none does: "" for no such array, "xml" for one
    // whose item type is not said).
    std::string ArrayType(const Element& complex, const Element*& where) const {
        where = nullptr;
        const Element* content = Child(complex, kSchemaNs, "complexContent");
        const Element* restriction = content != nullptr ? Child(*content, kSchemaNs, "restriction") : nullptr;
        if (restriction == nullptr) return std::string();
        const QName base = restriction->Resolve(restriction->Text("base"));
        if (!Same(base.ns, kSoapEncodingNs) || !Same(base.local, "Array")) return std::string();
        for (const auto& attribute : restriction->children()) {
            for (size_t a = 0; a < attribute->count; ++a) {
                const std::string_view name = attribute->attributes[2 * a];
                const std::string_view value = attribute->attributes[2 * a + 1];
                const size_t colon = name.find(':');
                if (name.substr(colon == std::string::npos ? 0 : colon + 1) != "arrayType") continue;
                if (attribute
                        ->Resolve(std::string(name.substr(0, colon == std::string::npos ? 0 : colon)) + ":x")
                        .ns != kWsdlNs)
                    continue;
                where = attribute;
                return std::string(value.substr(0, value.find('[')));
            }
        }
        return "xml";
    }

    // The structure whose fields make a row: a SOAP-encoded array's items'
    // one (null when they are no structure), else the type itself.
    const Element* RowStructure(const Element& complex) const {
        const Element* where = nullptr;
        const std::string item = ArrayType(complex, where);
        if (item.empty()) return &complex;
        return where != nullptr ? m_index.Find(m_index.complexTypes, where->Resolve(item)) : nullptr;
    }

    // The structure an rpc part's type is, or is a SOAP-encoded array of:
    // the namespace of its type, and its fields. False for any other type.
    bool Structure(const Element& part, std::string_view written, SoapPart& out) const {
        QName q = part.Resolve(written);
        const Element* complex = m_index.Find(m_index.complexTypes, q);
        if (complex == nullptr) return false;
        const Element* where = nullptr;
        const std::string item = ArrayType(*complex, where);
        if (where != nullptr) {
            q = where->Resolve(item);
            complex = m_index.Find(m_index.complexTypes, q);
        } else if (!item.empty()) {
            return false;
        }
        if (complex == nullptr || !Fields(*complex, out.fields, 0)) return false;
        out.typeNs = q.ns;
        return true;
    }

    // The fields of a complex type, "name type, ..." in order, appended;
    // false, appending nothing, for one that is no sequence, all or choice
    // of elements.
    bool Fields(const Element& complex, std::vector<SoapPart>& out, int depth) const {
        if (depth > kMaxTypeDepth) return false;
        const size_t before = out.size();
        if (Described(complex, out, depth)) return true;
        out.resize(before);
        return false;
    }

    // The fields of a complex type, described once: operations share their
    // types. Null for one that is no sequence, all or choice of elements.
    const std::vector<SoapPart>* Fields(const Element& complex) const {
        auto [it, made] = m_fields.try_emplace(&complex);
        if (made) it->second.first = Described(complex, it->second.second, 0);
        return it->second.first ? &it->second.second : nullptr;
    }

    bool Described(const Element& complex, std::vector<SoapPart>& out, int depth) const {
        if (const Element* content = Child(complex, kSchemaNs, "complexContent")) {
            const Element* extension = Child(*content, kSchemaNs, "extension");
            if (extension == nullptr) return false;
            const Element* base =
                m_index.Find(m_index.complexTypes, extension->Resolve(extension->Text("base")));
            if (base != nullptr && !Fields(*base, out, depth + 1)) return false;
            return Group(*extension, out, depth);
        }
        return Group(complex, out, depth);
    }

    // One part or field, into a new `part`.
    void Field(const Element& element, int depth, SoapPart& part) const {
        // The attributes in one pass, the field made in its list: a look for each
        // attribute and a copy of the field cost 1.3M instructions of a thousand operations.
        std::string_view name = kNoText, minOccurs = kNoText, maxOccurs = kNoText;
        const char* ref = nullptr;
        for (size_t i = 0; i < element.count; ++i) {
            const char* attribute = element.attributes[2 * i];
            const char* value = element.attributes[2 * i + 1];
            if (Named(attribute, "name"))
                name = value;
            else if (Named(attribute, "ref"))
                ref = value;
            else if (Named(attribute, "minOccurs"))
                minOccurs = value;
            else if (Named(attribute, "maxOccurs"))
                maxOccurs = value;
        }
        const Element* declaration = &element;
        if (ref != nullptr) {
            const QName q = element.Resolve(ref);
            name = q.local;
            declaration = m_index.Find(m_index.elements, q);
        }
        part.name = name;
        Typed(part, declaration != nullptr ? ElementType(*declaration, depth) : std::string("xml"));
        if (Repeats(maxOccurs)) part.array = true;
        part.optional = minOccurs == "0";
    }

    // A type name of TypeName's, "[]" and all.
    static void Typed(SoapPart& part, std::string type) {
        if (type.size() > 2 && type[type.size() - 2] == '[' && type.back() == ']') {
            type.resize(type.size() - 2);
            part.array = true;
        }
        part.type = std::move(type);
    }

    // The fields a part's values hold, for the columns of an answer: the
    // fields of the structure its declaration names, and of the structure
    // that structure holds an array of.
    void Columns(const Element& declaration, std::vector<SoapPart>& out, int depth) const {
        const Element* complex = ComplexOf(declaration);
        if (complex != nullptr) complex = RowStructure(*complex);
        const std::vector<SoapPart>* fields = complex != nullptr && depth <= 2 ? Fields(*complex) : nullptr;
        if (fields == nullptr) return;
        out.insert(out.end(), fields->begin(), fields->end());
        if (fields->size() != 1 || !(*fields)[0].array) return;
        for (const auto& item : FieldElements(*complex)) Columns(*item, out, depth + 1);
    }

    // The type of an element declaration: named, or an anonymous simple
    // type's base; anything else is literal XML.
    std::string ElementType(const Element& declaration, int depth) const {
        if (const char* type = declaration.Attribute("type")) return TypeName(declaration, type, depth + 1);
        if (const Element* simple = Child(declaration, kSchemaNs, "simpleType"))
            return SimpleBase(*simple, depth + 1);
        return "xml";
    }

    // The complex type of an element declaration, named or anonymous.
    const Element* ComplexOf(const Element& declaration) const {
        if (const Element* anonymous = Child(declaration, kSchemaNs, "complexType")) return anonymous;
        if (const char* type = declaration.Attribute("type"))
            return m_index.Find(m_index.complexTypes, declaration.Resolve(type));
        return nullptr;
    }

    // The declarations of a complex type's fields, one group deep.
    // Found once per type, as its fields are.
    const std::vector<const Element*>& FieldElements(const Element& complex) const {
        auto [it, made] = m_fieldElements.try_emplace(&complex);
        if (!made) return it->second;
        for (const auto& group : complex.children())
            if (Same(group->ns, kSchemaNs) && (Same(group->local, "sequence") || Same(group->local, "all")))
                for (const auto& item : group->children())
                    if (item->Is(kSchemaNs, "element")) {
                        const Element* declaration = item;
                        if (const char* ref = item->Attribute("ref"))
                            declaration = m_index.Find(m_index.elements, item->Resolve(ref));
                        if (declaration != nullptr) it->second.push_back(declaration);
                    }
        return it->second;
    }

    // The parts of one message of an operation as the caller fills them: a
    // wrapped document/literal message by its wrapper's fields, any other by
    // its parts.
    struct Message {
        std::vector<SoapPart> parts;
        QName wrapper;  // the element of a wrapped message
        // Of a call's message: an input's parts learn the items of the arrays
        // they wrap; an output's columns, shape and array items are worked out.
        std::vector<SoapPart> columns;
        const char* shape = "none";  // of what it holds: none, scalar, struct or array
        std::vector<SoapPart> rows;  // an array's item fields
    };

    // The input or output (`answer`) of an operation of a port type into `m`,
    // described for a call (`call`) or only as far as the listing of the
    // operations shows it.
    void Read(const Element& operation, bool answer, std::string_view style, bool call, Message& m) const {
        m.parts.clear();
        m.wrapper = QName();
        const Element* io = Child(operation, kWsdlNs, answer ? "output" : "input");
        const Element* message =
            io != nullptr ? m_index.Find(m_index.messages, io->Resolve(io->Text("message"))) : nullptr;
        if (message == nullptr) return;
        const Element* single = nullptr;  // the one part, when there is one
        size_t count = 0;
        for (const auto& part : message->children())
            if (part->Is(kWsdlNs, "part")) single = count++ == 0 ? part : nullptr;
        const char* wrapper =
            style == "document" && single != nullptr ? single->Attribute("element") : nullptr;
        if (wrapper != nullptr) {
            const QName q = single->Resolve(wrapper);
            const Element* declaration = m_index.Find(m_index.elements, q);
            const Element* complex = declaration != nullptr ? ComplexOf(*declaration) : nullptr;
            if (complex != nullptr && Fields(*complex, m.parts, 0)) {
                m.wrapper = q;
                if (call) Wrapped(*complex, answer, m);
                return;
            }
        }
        const Element* only = nullptr;
        for (const auto& part : message->children()) {
            if (!part->Is(kWsdlNs, "part")) continue;
            SoapPart p;
            p.name = part->Text("name");
            const Element* declaration = part;
            if (const char* type = part->Attribute("type")) {
                Typed(p, TypeName(*part, type, 0));
                if (call && !answer) Structure(*part, type, p);
            } else if (const char* element = part->Attribute("element")) {
                declaration = m_index.Find(m_index.elements, part->Resolve(element));
                Typed(p, declaration != nullptr ? ElementType(*declaration, 0) : "xml");
            } else {
                continue;
            }
            if (call && !answer) p.item = ItemOf(declaration);
            m.parts.push_back(p);
            if (call && answer) {
                m.columns.push_back(std::move(p));
                if (declaration != nullptr) Columns(*declaration, m.columns, 0);
            }
            only = declaration;
        }
        if (!call || !answer) return;
        m.shape = ShapeOf(m.parts, m.parts.size() == 1 ? only : nullptr);
        if (std::string_view(m.shape) == "array") m.rows = RowsOf(only, m.parts[0].array);
    }

private:
    // What a call needs beyond the listing of a wrapped message.
    void Wrapped(const Element& complex, bool answer, Message& m) const {
        const std::vector<const Element*>& fields = FieldElements(complex);
        if (!answer) {
            for (const Element* field : fields)
                for (SoapPart& part : m.parts)
                    if (part.name == field->Text("name")) part.item = ItemOf(field);
            return;
        }
        m.columns = m.parts;
        for (const Element* field : fields) Columns(*field, m.columns, 0);
        m.shape = ShapeOf(m.parts, fields.size() == 1 ? fields[0] : nullptr);
        if (std::string_view(m.shape) == "array" && fields.size() == 1)
            m.rows = RowsOf(fields[0], m.parts[0].array);
    }

    // A structure wrapping an array (one field that repeats): that field's name.
    std::string ItemOf(const Element* element) const {
        const Element* complex = element != nullptr ? ComplexOf(*element) : nullptr;
        if (complex == nullptr) return std::string();
        const std::vector<const Element*>& items = FieldElements(*complex);
        if (items.size() != 1) return std::string();
        if (!Repeats(items[0]->Text("maxOccurs"))) return std::string();
        return std::string(items[0]->Text("name"));
    }

    // The fields of an array's items: the part's own structure when it
    // repeats, else the structure its wrapper's one field holds.
    std::vector<SoapPart> RowsOf(const Element* element, bool repeats) const {
        std::vector<SoapPart> out;
        const Element* complex = element != nullptr ? ComplexOf(*element) : nullptr;
        if (complex != nullptr) complex = RowStructure(*complex);
        if (complex != nullptr && !repeats) {
            const std::vector<const Element*>& items = FieldElements(*complex);
            complex = items.size() == 1 ? ComplexOf(*items[0]) : nullptr;
        }
        if (complex != nullptr) Fields(*complex, out, 0);
        return out;
    }

    // A message of one part or field is as that one is: an array, a scalar,
    // or a structure (an array when its one field is one); more make a structure.
    const char* ShapeOf(const std::vector<SoapPart>& parts, const Element* only) const {
        if (parts.empty()) return "none";
        if (parts.size() > 1) return "struct";
        if (parts[0].array) return "array";
        const Element* complex = only != nullptr ? ComplexOf(*only) : nullptr;
        if (complex == nullptr) return parts[0].type == "xml" ? "struct" : "scalar";
        const std::vector<SoapPart>* fields = Fields(*complex);
        if (fields != nullptr && fields->size() == 1 && (*fields)[0].array) return "array";
        return "struct";
    }

    // The content of a complex type or an extension: one group of elements
    // (attributes beside it are no fields).
    bool Group(const Element& holder, std::vector<SoapPart>& out, int depth) const {
        for (const auto& child : holder.children()) {
            const Element& group = *child;
            if (!Same(group.ns, kSchemaNs)) continue;
            if (Same(group.local, "attribute") || Same(group.local, "attributeGroup") ||
                Same(group.local, "anyAttribute") || Same(group.local, "annotation"))
                continue;
            if (!Same(group.local, "sequence") && !Same(group.local, "all") && !Same(group.local, "choice"))
                return false;
            if (!Items(group, out, depth)) return false;
        }
        return true;
    }

    bool Items(const Element& group, std::vector<SoapPart>& out, int depth) const {
        if (depth > kMaxTypeDepth) return false;
        for (const auto& item : group.children()) {
            if (!Same(item->ns, kSchemaNs) || Same(item->local, "annotation")) continue;
            if (Same(item->local, "element"))
                Field(*item, depth, out.emplace_back());
            else if (Same(item->local, "any"))
                out.push_back({"any", "xml", false, false, "", "", {}});
            else if (!Same(item->local, "sequence") && !Same(item->local, "choice"))
                return false;
            else if (!Items(*item, out, depth + 1))
                return false;
        }
        return true;
    }

    const CIndex& m_index;
    mutable std::unordered_map<const Element*, std::pair<bool, std::vector<SoapPart>>> m_fields;
    mutable std::unordered_map<const Element*, std::vector<const Element*>> m_fieldElements;
};

// "name type, ..." as SoapPart::Describe writes each, into `out`: sized once
// and filled in place (appending piece by piece cost 480 instructions an
// operation).
void Join(const std::vector<SoapPart>& parts, std::string& out) {
    size_t length = parts.empty() ? 0 : 2 * (parts.size() - 1);
    for (const SoapPart& part : parts)
        length += part.name.size() + 1 + part.type.size() + (part.array ? 2 : 0) + (part.optional ? 1 : 0);
    out.resize(length);
    char* at = out.data();
    const auto put = [&at](const std::string& text) {
        std::memcpy(at, text.data(), text.size());
        at += text.size();
    };
    for (const SoapPart& part : parts) {
        if (at != out.data()) {
            *at++ = ',';
            *at++ = ' ';
        }
        put(part.name);
        *at++ = ' ';
        put(part.type);
        if (part.array) {
            *at++ = '[';
            *at++ = ']';
        }
        if (part.optional) *at++ = '?';
    }
}

}  // namespace

namespace {

// Reads `first` and everything it imports; "" or the reason it failed.
std::string ReadAll(const std::string& first, const CWsdl::Fetcher& fetch, std::vector<Document>& documents,
                    std::vector<std::pair<const Element*, std::string>>& schemas) {
    std::deque<Pending> pending{{first, std::string()}};
    std::set<std::string> seen;
    size_t bytes = 0;
    while (!pending.empty()) {
        const Pending next = pending.front();
        pending.pop_front();
        if (!seen.insert(next.location).second) continue;  // read already: a cycle, or twice named
        if (documents.size() == CWsdl::kMaxDocuments)
            return "Too many documents: a description may bring in " + std::to_string(CWsdl::kMaxDocuments);
        // Read into the reader's own copy, which the elements view: the text itself goes after.
        std::string text;
        const std::string why = fetch(next.location, text);
        if (!why.empty()) return "Cannot read " + next.location + ": " + why;
        bytes += text.size();
        if (bytes > CWsdl::kMaxBytes) return "Too large: a description and its imports may hold 64 MB";
        CElementSink sink;
        std::shared_ptr<const void> owner;
        std::string reason;
        if (!xml::ReadXml(text.data(), text.size(), sink, xml::XmlRoute::kDirect, owner, reason))
            return "Invalid XML in " + next.location + ": " + reason;
        Document document = sink.Release();
        document.characters = std::move(owner);
        const Element& root = *document.root;
        if (root.ns == kWsdl20Ns)
            return next.location + " is a WSDL 2.0 description, which is not read: only WSDL 1.1 is";
        const bool definitions = root.Is(kWsdlNs, "definitions");
        const bool schema = root.Is(kSchemaNs, "schema");
        if (!definitions && !(schema && !documents.empty()))
            return next.location + " is no WSDL 1.1 description: its root is " + std::string(root.local);
        // What it brings in: WSDL imports, and the schemas' imports and includes.
        std::vector<std::pair<const Element*, std::string>> found;
        if (schema) found.emplace_back(&root, next.inheritedNamespace);
        for (const auto& child : root.children()) {
            if (child->Is(kWsdlNs, "import") && child->Attribute("location") != nullptr) {
                std::string refused;
                const std::string target =
                    wsdl::Resolve(next.location, std::string(child->Text("location")), refused);
                if (target.empty()) return refused;
                pending.push_back({target, std::string()});
            }
            if (child->Is(kWsdlNs, "types"))
                for (const auto& s : child->children())
                    if (s->Is(kSchemaNs, "schema")) found.emplace_back(s, std::string());
        }
        for (const auto& [s, inherited] : found) {
            const char* declared = s->Attribute("targetNamespace");
            const std::string own = declared != nullptr ? std::string(declared) : inherited;
            for (const auto& child : s->children()) {
                const bool include = child->Is(kSchemaNs, "include");
                if (!include && !child->Is(kSchemaNs, "import")) continue;
                const char* where = child->Attribute("schemaLocation");
                if (where == nullptr)
                    continue;  // a namespace the document declares itself, or a built-in one
                std::string refused;
                const std::string target = wsdl::Resolve(next.location, where, refused);
                if (target.empty()) return refused;
                pending.push_back({target, include ? own : std::string()});
            }
        }
        if (schema) schemas.emplace_back(&root, next.inheritedNamespace);
        documents.push_back(std::move(document));
    }
    return std::string();
}

}  // namespace

CWsdl::CWsdl(const char* location, int maxAgeSeconds) {
    Read(location != nullptr ? location : "", [maxAgeSeconds](const std::string& where, std::string& text) {
        return wsdl::Fetch(where, maxAgeSeconds, text);
    });
}

CWsdl::CWsdl(const std::string& location, const Fetcher& fetch) { Read(location, fetch); }

struct CWsdl::Source {
    std::vector<Document> documents;
    // The schema documents, with the namespace an included one takes.
    std::vector<std::pair<const Element*, std::string>> schemas;
    CIndex index;
    CDescriber describe{index};
    // The port type's operation of each one listed; null when it has none.
    std::vector<const Element*> abstracts;
};

void CWsdl::Read(const std::string& location, const Fetcher& fetch) {
    auto source = std::make_unique<Source>();
    m_error = ReadAll(location, fetch, source->documents, source->schemas);
    if (!m_error.empty()) return;

    CIndex& index = source->index;
    for (const Document& d : source->documents)
        if (d.root->Is(kWsdlNs, "definitions")) index.AddDefinitions(*d.root);
    for (const auto& [schema, inherited] : source->schemas) index.AddSchema(*schema, inherited);
    const CDescriber& describe = source->describe;

    m_operations = std::make_unique<SRS>("Operation", "", "");
    const char* const columns[] = {"Service",   "Port",   "SoapVersion", "Style", "Use",
                                   "Operation", "Action", "Endpoint",    "Input", "Output"};
    for (const char* column : columns) m_operations->AddCol(column, "string");

    // A port type's operations by name, made once per port type: a
    // binding's operations are looked up there one by one.
    std::unordered_map<const Element*, CNames> abstracts;
    const auto abstractOperations = [&](const Element& portType) -> const auto& {
        auto [it, made] = abstracts.try_emplace(&portType);
        if (made)
            for (const auto& candidate : portType.children())
                if (candidate->Is(kWsdlNs, "operation"))
                    if (const char* name = candidate->Attribute("name"))
                        it->second.Add(std::string_view(), name, *candidate);  // the first of a name
        return it->second;
    };

    // The listing shows the parts' names and types alone; the rest of what
    // a call needs is described when one is made. The scratch serves every
    // operation in turn.
    CDescriber::Message message;
    std::string input, output, scratch;
    // Texts go to the set as they are in a UTF-8 code page: converting each
    // anyway cost 1.8M instructions for a thousand operations.
    const bool utf8 = xml::CodePageIsUtf8();
    // The operations of one binding, at an address (a port) or none.
    const auto list = [&](const Element& binding, std::string_view service, std::string_view port,
                          std::string_view endpoint) {
        const Element* soap = Child(binding, kSoap11Ns, "binding");
        std::string_view soapNs = kSoap11Ns;
        std::string_view version = "1.1";
        if (soap == nullptr) {
            soap = Child(binding, kSoap12Ns, "binding");
            soapNs = kSoap12Ns;
            version = "1.2";
        }
        if (soap == nullptr) return;  // HTTP or another protocol
        const Element* portType = index.Find(index.portTypes, binding.Resolve(binding.Text("type")));
        size_t count = m_list.size();
        for (const auto& child : binding.children()) count += child->Is(kWsdlNs, "operation") ? 1 : 0;
        m_list.reserve(count);
        source->abstracts.reserve(count);
        for (const auto& child : binding.children()) {
            if (!child->Is(kWsdlNs, "operation")) continue;
            Operation row;
            row.port = port;
            row.version = version;
            row.name = child->Text("name");
            row.endpoint = endpoint;
            const Element* soapOperation = Child(*child, soapNs, "operation");
            row.action = soapOperation != nullptr ? soapOperation->Text("soapAction") : kNoText;
            const char* style = soapOperation != nullptr ? soapOperation->Attribute("style") : nullptr;
            if (style == nullptr) style = soap->Attribute("style");
            row.style = style != nullptr ? style : "document";
            const Element* in = Child(*child, kWsdlNs, "input");
            const Element* body = in != nullptr ? Child(*in, soapNs, "body") : nullptr;
            const char* use = body != nullptr ? body->Attribute("use") : nullptr;
            row.use = use != nullptr ? use : "literal";
            const Element* abstract = nullptr;
            if (portType != nullptr) {
                abstract = abstractOperations(*portType).Find(std::string_view(), row.name);
            }
            row.method = row.name;
            row.nameSpace = body != nullptr ? body->Text("namespace") : kNoText;
            input.clear();
            output.clear();
            if (abstract != nullptr) {
                describe.Read(*abstract, false, row.style, false, message);
                Join(message.parts, input);
                if (!message.wrapper.local.empty()) {
                    row.method = message.wrapper.local;
                    row.nameSpace = message.wrapper.ns;
                }
                describe.Read(*abstract, true, row.style, false, message);
                Join(message.parts, output);
            }
            const int r = m_operations->AddRow();
            const std::string_view cells[] = {service,  port,       row.version, row.style, row.use,
                                              row.name, row.action, endpoint,    input,     output};
            for (int c = 0; c < 10; ++c) {
                const std::string_view text = utf8 ? cells[c] : xml::ToCodePage(cells[c], scratch);
                m_operations->SetCellText(r, c, text.data(), text.size());
            }
            m_list.push_back(std::move(row));
            source->abstracts.push_back(abstract);
        }
    };

    for (const Element* service : index.services) {
        for (const auto& port : service->children()) {
            if (!port->Is(kWsdlNs, "port")) continue;
            const Element* binding = index.Find(index.bindings, port->Resolve(port->Text("binding")));
            if (binding == nullptr) continue;
            const Element* address = Child(*port, kSoap11Ns, "address");
            if (address == nullptr) address = Child(*port, kSoap12Ns, "address");
            list(*binding, service->Text("name"), port->Text("name"),
                 address != nullptr ? address->Text("location") : kNoText);
        }
    }
    if (index.services.empty())
        for (const auto& [key, binding] : index.bindingOrder) list(*binding, "", "", "");
    m_source = std::move(source);
}

CWsdl::~CWsdl() = default;

const CWsdl::Operation* CWsdl::Locate(const char* operation, const char* port) const {
    if (operation == nullptr) return nullptr;
    const Operation* found = nullptr;
    for (const Operation& row : m_list) {
        if (row.name != operation) continue;
        if (port != nullptr) {
            if (row.port == port) return &row;
        } else if (row.version == "1.1") {
            return &row;
        } else if (found == nullptr) {
            found = &row;
        }
    }
    return found;
}

// A handle is used by one thread at a time, so an operation is described in
// place the first time it is named.
const CWsdl::Operation* CWsdl::Find(const char* operation, const char* port) const {
    const Operation* row = Locate(operation, port);
    if (row == nullptr || row->plan) return row;
    const Element* abstract = m_source->abstracts[static_cast<size_t>(row - m_list.data())];
    auto plan = std::make_shared<SoapPlan>();
    plan->operation = std::string(row->name);
    plan->literal = row->style == "rpc" && row->use != "encoded";
    if (abstract != nullptr) {
        CDescriber::Message in;
        CDescriber::Message out;
        m_source->describe.Read(*abstract, false, row->style, true, in);
        m_source->describe.Read(*abstract, true, row->style, true, out);
        plan->input = std::move(in.parts);
        plan->columns = std::move(out.columns);
        row->shape = out.shape;
        if (std::string_view(out.shape) == "array") {
            plan->arrayAnswer = true;
            plan->result = out.parts[0].name;
            plan->rowColumns = std::move(out.rows);
        }
    }
    row->plan = std::move(plan);
    return row;
}

const char* CWsdl::Endpoint(const char* operation, const char* port) const {
    const Operation* row = Locate(operation, port);
    return row != nullptr ? row->endpoint.data() : nullptr;
}

CSoapMessage* CWsdl::NewCall(const char* operation, const char* port) const {
    const Operation* row = Find(operation, port);
    if (row == nullptr) return nullptr;
    auto message =
        std::make_unique<CSoapMessage>(row->style == "rpc" ? "apache" : "dotnet", row->method.data());
    if (row->style == "rpc")
        message->SetTargetObjectURI(row->nameSpace.data());
    else
        message->SetNameSpace(row->nameSpace.data());
    message->SetAction(row->action.data());
    if (row->version == "1.2") message->SetSoapVersion(12);
    message->SetPlan(row->plan);
    return message.release();
}
