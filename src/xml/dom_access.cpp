#include "xml/dom_access.h"

#include <new>

namespace {

constexpr const char kNoParser[] = "MSXML not installed!";

}  // namespace

int LoadDomDocument(const char* text, size_t length, DomDocumentPtr& document, CString& errorText) {
    document.reset();
    try {
        document = std::make_shared<xml::CDomDocument>();
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
    errorText = kXmlInvalid;
    return 0;
}

int LoadDomDocument(const CString& text, DomDocumentPtr& document, CString& errorText) {
    return LoadDomDocument(text.GetString(), static_cast<size_t>(text.GetLength()), document, errorText);
}

void GetAttributeText(const CDomNode& node, const char* name, CString& out) {
    out.Empty();
    const CDomNamedNodeMap map = node.attributes();  // raises on a null node
    if (!map) return;
    const CDomNode attribute = map.getNamedItem(name);
    if (!attribute.IsNull()) out = attribute.text();
}
