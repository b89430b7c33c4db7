#include "soap/soap_answer.h"

#include "platform/ascii.h"

#include <cstring>

using xml::CDomNode;

namespace {

// The walk GetSoapResponseNode makes over a document; false once decided.
// Loaded documents nest at most CDomDocument::kMaxDepth deep, which bounds
// the recursion.
bool Visit(const CDomNode& node, CResponseWalk& walk, CDomNode& response) {
    std::string scratch;
    if (!node.attributes()) {
        // Texts, CDATA and comments are named "#text" and so on, never Body.
        walk.Instruction(node.NameView(scratch));
        return !walk.Decided();
    }
    if (walk.Element(node.NameView(scratch))) {
        response = node;
        return false;
    }
    for (CDomNode c = node.firstChild(); !c.IsNull(); c = c.nextSibling())
        if (!Visit(c, walk, response)) return false;
    walk.End();
    return !walk.Decided();
}

}  // namespace

bool IsAnswerName(std::string_view name, std::string_view word) {
    if (name.size() == word.size()) return ascii::EqualNoCase(name, word);
    if (name.size() < word.size() + 2 || name[name.size() - word.size() - 1] != ':') return false;
    return ascii::EqualNoCase(name.substr(name.size() - word.size()), word);
}

std::string NotEnvelope(std::string_view name, std::string_view uri) {
    if (IsEnvelopeName(name)) return std::string();
    std::string text = "Not a SOAP response: the root element is <";
    text.append(name);
    text += '>';
    if (!uri.empty()) {
        text += " in namespace \"";
        text.append(uri);
        text += '"';
    }
    text += ", not a SOAP 1.1 or 1.2 Envelope";
    return text;
}

std::string RootNamespaceAttribute(std::string_view name) {
    const size_t colon = name.find(':');
    if (colon == std::string_view::npos) return "xmlns";
    return "xmlns:" + std::string(name.substr(0, colon));
}

const char* AttributeValue(const char* const* attributes, size_t count, const char* name) {
    for (size_t i = 0; i < count; ++i)
        if (std::strcmp(attributes[2 * i], name) == 0) return attributes[2 * i + 1];
    return nullptr;
}

const char* FieldType(const char* const* attributes, size_t count) {
    const char* type = count != 0 ? AttributeValue(attributes, count, "xsi:type") : nullptr;
    return type != nullptr ? type : "";
}

namespace {

constexpr char kSoap12RpcUri[] = "http://www.w3.org/2003/05/soap-rpc";

}  // namespace

void CAnswerMarks::Attribute(std::string_view name, std::string_view value) {
    const size_t colon = name.rfind(':');
    const std::string_view local = name.substr(colon == std::string_view::npos ? 0 : colon + 1);
    if (local == "encodingStyle") {
        if (value.find(kSoapEncodingUri) == std::string_view::npos) return;
        for (const xml::LinkForm& form : m_links)
            if (form.reference == "href") return;
        m_links.push_back({"href", true, "id"});
        return;
    }
    if (name.substr(0, 6) != "xmlns:") return;
    const std::string prefix(name.substr(6));
    if (value == kSoap12EncodingUri)
        m_links.push_back({prefix + ":ref", false, prefix + ":id"});
    else if (value == kSoap12RpcUri && m_rpcResult.empty())
        m_rpcResult = prefix + ":result";
}

void CAnswerMarks::Element(const char* const* attributes, size_t count) {
    for (size_t i = 0; i < count; ++i) Attribute(attributes[2 * i], attributes[2 * i + 1]);
}

void CAnswerMarks::Element(const xml::CDomNode& element) {
    const xml::CDomNamedNodeMap attributes = element ? element.attributes() : xml::CDomNamedNodeMap();
    if (!attributes) return;
    std::string name, value;
    for (long i = 0; i < attributes.length(); ++i) {
        const xml::CDomNode attribute = attributes.item(i);
        Attribute(attribute.NameView(name), attribute.TextView(value));
    }
}

bool CAnswerMarks::Refers(const char* const* attributes, size_t count) const {
    for (const xml::LinkForm& form : m_links) {
        const char* value = AttributeValue(attributes, count, form.reference.c_str());
        if (value != nullptr && (!form.hash || value[0] == '#')) return true;
    }
    return false;
}

bool IsNil(const char* const* attributes, size_t count) {
    // Most fields carry no attribute at all: those are answered without a lookup.
    const char* nil = count != 0 ? AttributeValue(attributes, count, "xsi:nil") : nullptr;
    return nil != nullptr && std::strcmp(nil, "true") == 0;
}

bool CResponseWalk::Element(std::string_view name) {
    const size_t depth = ++m_depth;
    switch (m_state) {
        case State::kSeekBody:
            // The root itself is never the Body.
            if (depth > 1 && IsBodyName(name)) {
                m_body = depth;
                m_state = State::kSeekResponse;
            }
            return false;
        case State::kSeekResponse:  // nothing but a child of the Body can come first
            m_response = depth;
            m_state = State::kFound;
            return true;
        default:
            return false;
    }
}

void CResponseWalk::Instruction(std::string_view target) {
    if (m_state == State::kSeekBody && IsBodyName(target)) m_state = State::kNone;
}

void CResponseWalk::End() {
    if (m_state == State::kSeekResponse && m_depth == m_body) m_state = State::kNone;  // no element inside
    --m_depth;
}

CDomNode GetSoapResponseNode(const xml::DomDocumentPtr& document) {
    CDomNode response;
    if (!document) return response;
    const CDomNode root = document->documentElement();
    if (root.IsNull()) return response;
    CResponseWalk walk;
    Visit(root, walk, response);
    return response;
}

CDomNode GetSoapHeaderNode(const xml::DomDocumentPtr& document) {
    if (!document) return CDomNode();
    const CDomNode root = document->documentElement();
    if (root.IsNull()) return CDomNode();
    std::string scratch;
    for (CDomNode c = root.firstChild(); !c.IsNull(); c = c.nextSibling())
        if (c.attributes() && IsAnswerName(c.NameView(scratch), "Header")) return c;
    return CDomNode();
}

CDomNode FindDescendant(const CDomNode& node, const char* name) {
    if (node.IsNull() || name == nullptr) return CDomNode();
    std::string scratch;
    for (CDomNode c = node.firstChild(); !c.IsNull(); c = c.nextSibling()) {
        if (IsAnswerName(c.NameView(scratch), name)) return c;
        CDomNode found = FindDescendant(c, name);
        if (!found.IsNull()) return found;
    }
    return CDomNode();
}

SetShape ShapeOf(bool hasFirst, std::string_view first, bool firstHasChild, bool hasSecond,
                 std::string_view second) {
    if (hasSecond) return first == second ? SetShape::kTable : SetShape::kSingleRow;
    return hasFirst && firstHasChild ? SetShape::kTable : SetShape::kScalar;
}
