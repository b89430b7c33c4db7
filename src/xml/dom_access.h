// The layer between the readers and the XML DOM: loading a text into a
// document and reading attributes as 8-bit strings. It keeps no state;
// documents live in the objects that use it. Nodes, lists and maps
// are views into their document: hold the DomDocumentPtr while using them.
//
// A read through a null node, list, map or document raises CDomError with
// kE_POINTER. Nothing here catches it: the exported functions do.
#ifndef ORVEX_XML_DOM_ACCESS_H
#define ORVEX_XML_DOM_ACCESS_H

#include <orvex/cstring.h>

#include "xml/xml_dom.h"

#include <cstddef>
#include <memory>

using xml::CDomError;
using xml::CDomNamedNodeMap;
using xml::CDomNode;
using xml::CDomNodeList;
using xml::DomDocumentPtr;

// The text of every reader whose memory ran out while it read a document.
inline constexpr char kXmlOutOfMemory[] = "Out of memory while reading the XML";
// The text of a load that refused its text.
inline constexpr char kXmlInvalid[] = "Invalid SOAP XML!";

// Replaces `document` with a new document holding the parsed text: 1 on
// success; 0 with `errorText` set otherwise ("MSXML not installed!" when no
// document can be made, then `document` is null; "Invalid SOAP XML!" for a
// text that is empty or not well-formed, then `document` holds an empty
// document; kXmlOutOfMemory when memory ran out while parsing, then
// `document` is null). `errorText` is written only on failure. Never raises.
int LoadDomDocument(const CString& text, DomDocumentPtr& document, CString& errorText);
int LoadDomDocument(const char* text, size_t length, DomDocumentPtr& document, CString& errorText);

// `out` receives the value of the attribute whose qualified name is exactly
// `name` (prefix included), or becomes empty: for a node that is not an
// element, or without such an attribute. A null node raises.
void GetAttributeText(const CDomNode& node, const char* name, CString& out);

#endif
