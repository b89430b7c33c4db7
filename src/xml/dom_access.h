// The layer between the readers and the XML DOM: loading a text into a
// document, finding the SOAP response content, searching elements by name,
// and reading names, texts and attributes as 8-bit strings. It keeps no
// state; documents live in the objects that use it. Nodes, lists and maps
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

using xmldom::CDomError;
using xmldom::CDomNamedNodeMap;
using xmldom::CDomNode;
using xmldom::CDomNodeList;
using xmldom::CXmlSink;
using xmldom::DomDocumentPtr;

// The text of every reader whose memory ran out while it read a document.
inline constexpr char kXmlOutOfMemory[] = "Out of memory while reading the XML";

// Replaces `document` with a new document holding the parsed text: 1 on
// success; 0 with `errorText` set otherwise ("MSXML not installed!" when no
// document can be made, then `document` is null; "Invalid SOAP XML!" for a
// text that is empty or not well-formed, then `document` holds an empty
// document; kXmlOutOfMemory when memory ran out while parsing, then
// `document` is null). `errorText` is written only on failure. Never raises.
int LoadDomDocument(const CString& text, DomDocumentPtr& document, CString& errorText);
int LoadDomDocument(const char* text, size_t length, DomDocumentPtr& document, CString& errorText);

// Reads a text straight into `sink`, with no document: for readers that keep
// a structure of their own and need no DOM afterwards. False when the text
// must be loaded as a document instead (LoadDomDocument decides then, and
// words any refusal); the sink's partial walk is then to be thrown away.
// `owner` keeps the characters the sink was given alive. Raises
// std::bad_alloc when memory runs out.
inline bool ReadXmlStraight(const char* text, size_t length, CXmlSink& sink,
                            std::shared_ptr<const void>& owner) {
    return xmldom::ReadStraight(text, length, sink, owner);
}

// A root element's name that makes the document a SOAP response: "Envelope"
// (ASCII letter case ignored, as for the Body) alone or behind any prefix.
// Responses are read by names and positions, never by namespace URI, so an
// Envelope in no namespace or another one reads as any other.
bool IsEnvelopeName(const char* name);

// 1 when the document's root element is a SOAP Envelope (IsEnvelopeName).
// Otherwise 0 with `errorText` naming the root found and its namespace
// ("Invalid SOAP XML!" for a document without one).
int CheckSoapEnvelope(const DomDocumentPtr& document, CString& errorText);

// The first element inside the SOAP Body element (any prefix, any letter
// case, at any depth below the root; the root itself never counts); null
// when the document has no such Body or the Body holds no element. A null
// document gives null.
CDomNode GetSoapResponseNode(const DomDocumentPtr& document);

// The first descendant of `node`, depth-first in document order, whose name
// is `name` ignoring letter case, or ends in ':' and `name` (any prefix).
// The node itself is not tested. Null for a null node or when none matches.
CDomNode FindDescendant(const CDomNode& node, const char* name);

// `out` receives the value of the attribute whose qualified name is exactly
// `name` (prefix included), or becomes empty: for a node that is not an
// element, or without such an attribute. A null node raises.
void GetAttributeText(const CDomNode& node, const char* name, CString& out);

// 1 when the node's "xsi:nil" attribute is exactly "true", else 0.
int IsNilNode(const CDomNode& node);

#endif
