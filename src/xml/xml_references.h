// Character and entity references in XML text and attribute values.
#ifndef ORVEX_XML_XML_REFERENCES_H
#define ORVEX_XML_XML_REFERENCES_H

#include <string>

namespace xml {

// Appends the zero-terminated text to `out` with the five predefined
// entities and character references decoded. Anything else after '&' is
// refused with `error` set: no DTD is ever read, so no other entity exists.
bool DecodeReferences(const char* text, std::string& out, std::string& error);

// The same in place, for a text the caller owns (decoding only shortens):
// the text's new end, its zero, or nullptr with `error` set.
char* DecodeReferencesInPlace(char* text, std::string& error);

}  // namespace xml

#endif
