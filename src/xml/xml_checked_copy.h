// The walk that turns pugixml's tree into the document the DOM facade keeps:
// the checks a strict, namespace-aware parser makes and pugixml leaves out,
// the decoding of references, and the compact copy of every node.
#ifndef ORVEX_XML_XML_CHECKED_COPY_H
#define ORVEX_XML_XML_CHECKED_COPY_H

#include "xml/xml_dom.h"

#include <pugixml.hpp>

#include <string>

namespace xml {

// Appends the root element and everything below it to `state` (whose texts
// hold the buffer pugixml parsed in place). False with `error` set at the
// first node that breaks a rule; `state` is then half-built and must be
// emptied by the caller.
bool CopyCheckedTree(pugi::xml_node root, DomDocumentState& state, std::string& error);

}  // namespace xml

#endif
