// Where the documents of a WSDL come from: a location (an http or https
// URL, a file URL or a path) read into memory, through the library's own
// download and, when asked, a cache of what was fetched; and the location an
// import names, resolved against the document that names it.
#ifndef ORVEX_WSDL_WSDL_FETCH_H
#define ORVEX_WSDL_WSDL_FETCH_H

#include <string>

namespace wsdl {

// Reads `location` into `text`: "" on success, else the reason. With
// maxAgeSeconds > 0 a remote document is kept in the cache directory
// (ORVEX_CACHE_DIR, else $XDG_CACHE_HOME/orvex, else ~/.cache/orvex) and a
// copy younger than that is read without any network access.
std::string Fetch(const std::string& location, int maxAgeSeconds, std::string& text);

// The location `reference` names, read from the document at `base`: ""
// with the reason in `why` for one a document from there may not name (a
// local file or a plain http URL named by an http(s) or https document).
std::string Resolve(const std::string& base, const std::string& reference, std::string& why);

}  // namespace wsdl

#endif
