#include "xml/dom_access.h"

#include <cstring>
#include <new>

namespace {

constexpr const char kInvalidXml[] = "Invalid SOAP XML!";
constexpr const char kNoParser[] = "MSXML not installed!";

char LowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualNoCase(const char* a, const char* b, size_t length) {
    for (size_t i = 0; i < length; ++i) {
        if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
    }
    return true;
}

// The name itself, or the name behind a prefix ("soap:Body", "SOAP-ENV:body").
bool NameMatches(const char* nodeName, size_t length, const char* name, size_t nameLength) {
    if (length == nameLength) return EqualNoCase(nodeName, name, nameLength);
    if (length < nameLength + 2) return false;
    const char* local = nodeName + (length - nameLength);
    return local[-1] == ':' && EqualNoCase(local, name, nameLength);
}

bool NameMatches(const CString& nodeName, const char* name, size_t nameLength) {
    return NameMatches(nodeName.GetString(), static_cast<size_t>(nodeName.GetLength()), name, nameLength);
}

// Loaded documents nest at most CDomDocument::kMaxDepth deep, which bounds the recursion.
CDomNode FindBelow(const CDomNode& node, const char* name, size_t nameLength) {
    for (CDomNode c = node.firstChild(); !c.IsNull(); c = c.nextSibling()) {
        if (NameMatches(c.nodeName(), name, nameLength)) return c;
        CDomNode found = FindBelow(c, name, nameLength);
        if (!found.IsNull()) return found;
    }
    return CDomNode();
}

}  // namespace

int LoadDomDocument(const char* text, size_t length, DomDocumentPtr& document, CString& errorText) {
    document.reset();
    try {
        document = std::make_shared<xmldom::CDomDocument>();
    } catch (const std::bad_alloc&) {
        errorText = kNoParser;
        return 0;
    }
    try {
        if (document->loadXML(text, length)) return 1;
    } catch (...) {
        // Memory ran out (the DOM's E_OUTOFMEMORY or a bare bad_alloc): give it all back.
        document.reset();
        errorText = kXmlOutOfMemory;
        return 0;
    }
    errorText = kInvalidXml;
    return 0;
}

int LoadDomDocument(const CString& text, DomDocumentPtr& document, CString& errorText) {
    return LoadDomDocument(text.GetString(), static_cast<size_t>(text.GetLength()), document, errorText);
}

CDomNode FindDescendant(const CDomNode& node, const char* name) {
    if (node.IsNull() || name == nullptr) return CDomNode();
    return FindBelow(node, name, std::strlen(name));
}

bool IsEnvelopeName(const char* name) {
    constexpr char kEnvelope[] = "Envelope";
    return name != nullptr && NameMatches(name, std::strlen(name), kEnvelope, sizeof kEnvelope - 1);
}

int CheckSoapEnvelope(const DomDocumentPtr& document, CString& errorText) {
    const CDomNode root = document ? document->documentElement() : CDomNode();
    if (root.IsNull()) {
        errorText = kInvalidXml;
        return 0;
    }
    const CString name = root.nodeName();
    if (IsEnvelopeName(name.GetString())) return 1;
    // Nothing encloses the root: its prefix, or its default namespace, is declared on it.
    const int colon = name.Find(':');
    CString nameSpace;
    GetAttributeText(root, colon < 0 ? CString("xmlns") : "xmlns:" + name.Left(colon), nameSpace);
    if (nameSpace.IsEmpty())
        errorText.Format("Not a SOAP response: the root element is <%s>, not a SOAP 1.1 or 1.2 Envelope",
                         name.GetString());
    else
        errorText.Format(
            "Not a SOAP response: the root element is <%s> in namespace \"%s\", not a SOAP 1.1 or 1.2 "
            "Envelope",
            name.GetString(), nameSpace.GetString());
    return 0;
}

CDomNode GetSoapResponseNode(const DomDocumentPtr& document) {
    if (!document) return CDomNode();
    const CDomNode body = FindDescendant(document->documentElement(), "Body");
    if (body.IsNull()) return CDomNode();
    // The first element: a comment or stray text before it does not hide the response.
    for (CDomNode c = body.firstChild(); !c.IsNull(); c = c.nextSibling()) {
        if (c.attributes()) return c;
    }
    return CDomNode();
}

void GetAttributeText(const CDomNode& node, const char* name, CString& out) {
    out.Empty();
    const CDomNamedNodeMap map = node.attributes();  // raises on a null node
    if (!map) return;
    const CDomNode attribute = map.getNamedItem(name);
    if (!attribute.IsNull()) out = attribute.text();
}

int IsNilNode(const CDomNode& node) {
    // Most fields carry no attribute at all: answer those without a lookup.
    const CDomNamedNodeMap map = node.attributes();  // raises on a null node
    if (!map || map.length() == 0) return 0;
    CString value;
    GetAttributeText(node, "xsi:nil", value);
    return value == "true" ? 1 : 0;
}
