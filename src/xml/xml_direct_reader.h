// The fast way into the DOM: one pass over the text that checks it and
// builds the document's compact nodes as it goes, with no parser tree in
// between. It reads every well-formed document that needs no DTD read: the
// declaration, a DOCTYPE whose internal subset declares no entity and no
// attribute, elements, attributes, text with references, comments, CDATA
// and processing instructions, with line ends and attribute white space
// normalised. It declines the rest, the texts the load refuses included; a
// declined text goes the pugixml route (pugixml and the checked copy), which
// decides and words the refusal. So the fast way changes no answer, only
// its cost.
#ifndef ORVEX_XML_XML_DIRECT_READER_H
#define ORVEX_XML_XML_DIRECT_READER_H

#include "xml/xml_dom.h"

#include <cstddef>

namespace xml {

// Reads the zero-terminated UTF-8 text in state.texts->buffer in place into
// state.nodes and state.attributes, or, given a sink, into the sink alone.
// True when the whole document is read exactly as the pugixml route reads it;
// false when it declines, the state and what the sink was told then being
// spoilt, and the first `changed` bytes of the buffer rewritten (the rest is
// as it was): the caller starts again from its text.
bool ReadDirect(DomDocumentState& state, CXmlSink* sink, size_t& changed);

// True when the text's first KiBs already show a DOCTYPE declaring what
// needs the DTD read, which ReadDirect declines: a caller with no buffer
// yet then need not copy the whole text to hear it.
bool NeedsDtd(const char* text, size_t length);

}  // namespace xml

#endif
