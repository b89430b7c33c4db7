// What makes a text a SOAP answer and where its parts lie, for every reader
// of answers: which root is an envelope, where the Body and the response
// inside it are, the nil and type marks of a field, the shape a record set
// takes, the fault elements, and the namespaces an envelope is written in.
// Names are matched by their local part and never by namespace URI, so
// that services writing SOAP 1.1, SOAP 1.2 or an envelope of their own
// are all read.
//
// A leaf of soap/: it includes the XML room alone, so that xmltree/, whose
// SOAP body mode starts at the response, may include it too.
#ifndef ORVEX_SOAP_SOAP_ANSWER_H
#define ORVEX_SOAP_SOAP_ANSWER_H

#include "xml/xml_dom.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

// The namespaces the envelope of a call is written in.
inline constexpr char kSoapEnvelopeUri[] = "http://schemas.xmlsoap.org/soap/envelope/";
inline constexpr char kSoapEncodingUri[] = "http://schemas.xmlsoap.org/soap/encoding/";
inline constexpr char kSoap12EnvelopeUri[] = "http://www.w3.org/2003/05/soap-envelope";
inline constexpr char kSoap12EncodingUri[] = "http://www.w3.org/2003/05/soap-encoding";
inline constexpr char kSchemaUri[] = "http://www.w3.org/2001/XMLSchema";
inline constexpr char kSchemaInstanceUri[] = "http://www.w3.org/2001/XMLSchema-instance";
// The Apache dialect's mark of a parameter written as literal XML.
inline constexpr char kLiteralXmlUri[] = "http://xml.apache.org/xml-soap/literalxml";

// A name is a word of the answer when it is the word, or ends in ':' and
// the word (any prefix), ASCII letter case ignored: "soap:Body",
// "SOAP-ENV:body", "Body"; never "h:BodyCount".
bool IsAnswerName(std::string_view name, std::string_view word);
// The root element's name that makes a document a SOAP response.
inline bool IsEnvelopeName(std::string_view name) { return IsAnswerName(name, "Envelope"); }
inline bool IsBodyName(std::string_view name) { return IsAnswerName(name, "Body"); }

// Why a root element is no envelope: empty for one that is; otherwise the
// text of the failed read, naming the root and the namespace `uri` its
// prefix (or, without one, its default namespace) is bound to on it, ""
// for none. `name` and `uri` are in the code page.
std::string NotEnvelope(std::string_view name, std::string_view uri);
// The attribute of a root element named `name` that binds its prefix:
// "xmlns:p" for "p:Envelope", "xmlns" without a prefix. Nothing encloses
// the root, so its namespace is declared on it or nowhere.
std::string RootNamespaceAttribute(std::string_view name);

// An element's attributes as a sink hears them (name/value pairs): the
// value of the one written exactly `name`, prefix included, or null.
const char* AttributeValue(const char* const* attributes, size_t count, const char* name);
// A field's type: its attribute written exactly "xsi:type", or "".
const char* FieldType(const char* const* attributes, size_t count);
// A field is nil when its attribute written exactly "xsi:nil" is "true".
bool IsNil(const char* const* attributes, size_t count);

// What the envelope, the Body and the response (and the elements met on the
// way to it) say of how the answer is written, heard element by element:
// - SOAP 1.1 encoding, named in an encodingStyle attribute (any prefix):
//   then an element carrying href="#x" stands for the one whose id is x;
// - a prefix bound to SOAP 1.2 encoding: P:ref="x" stands for the element
//   whose P:id is x;
// - a prefix bound to the SOAP 1.2 RPC namespace: a P:result element names
//   the return element and is none itself.
// In a literal answer href and ref are data.
class CAnswerMarks {
public:
    void Element(const char* const* attributes, size_t count);
    void Element(const xml::CDomNode& element);
    // The forms of reference the answer uses; none for a literal one.
    const std::vector<xml::LinkForm>& Links() const { return m_links; }
    bool IsReference(const char* const* attributes, size_t count) const {
        return !m_links.empty() && count != 0 && Refers(attributes, count);
    }
    // The element that names the return element in an RPC answer of SOAP 1.2.
    bool IsRpcResult(std::string_view name) const { return !m_rpcResult.empty() && name == m_rpcResult; }

private:
    void Attribute(std::string_view name, std::string_view value);
    bool Refers(const char* const* attributes, size_t count) const;

    std::vector<xml::LinkForm> m_links;
    std::string m_rpcResult;
};

// Shared references resolved may walk this many nodes, or as many as the
// answer has bytes when that is more (a target used a million times would
// otherwise be a small text that fills the memory).
inline constexpr size_t kMaxReferencedNodes = size_t{1} << 20;

// Where the response lies, told node by node in document order: the first
// element inside the Body, which is the first node below the root named
// Body (at any depth, under any prefix; an instruction whose target is so
// named counts, and then holds no response). Only the first Body is
// searched.
class CResponseWalk {
public:
    // An element starts: true when it is the response.
    bool Element(std::string_view name);
    // A processing instruction's target (the only other node whose name
    // could be Body's).
    void Instruction(std::string_view target);
    void End();

    // The elements open, the root counting 1.
    size_t Depth() const { return m_depth; }
    // The response's depth, once found.
    size_t ResponseDepth() const { return m_response; }
    // The walk is past the first Body, or inside the response.
    bool Decided() const { return m_state == State::kFound || m_state == State::kNone; }
    bool Found() const { return m_state == State::kFound; }

private:
    enum class State { kSeekBody, kSeekResponse, kFound, kNone };

    State m_state = State::kSeekBody;
    size_t m_depth = 0;
    size_t m_body = 0;
    size_t m_response = 0;
};

// The response element of a loaded document, found by the same walk; null
// when it has none, or for a null document.
xml::CDomNode GetSoapResponseNode(const xml::DomDocumentPtr& document);

// The Header of a loaded envelope: the first element child of the root
// named Header (any prefix); null when it has none, or for a null document.
xml::CDomNode GetSoapHeaderNode(const xml::DomDocumentPtr& document);

// The first descendant of `node` in document order whose name is the word
// `name` (IsAnswerName); the node itself is not tested. Null for a null
// node or when none matches.
xml::CDomNode FindDescendant(const xml::CDomNode& node, const char* name);

// The shape of the record set an element holds, decided on its first two
// child nodes whatever their kind: two of one name make a table (each child
// a row, each grandchild a field), two of different names a single row
// (each child a field); a single child with a child of its own a table of
// one row; anything else a scalar (the element itself the one field).
// Names compare as written, case-sensitively.
enum class SetShape { kScalar, kSingleRow, kTable };
SetShape ShapeOf(bool hasFirst, std::string_view first, bool firstHasChild, bool hasSecond,
                 std::string_view second);

#endif
