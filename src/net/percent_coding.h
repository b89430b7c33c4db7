// Percent-encoded bytes in URLs, shared by the transports and the trace.
#ifndef ORVEX_NET_PERCENT_CODING_H
#define ORVEX_NET_PERCENT_CODING_H

#include <string>

namespace net {

// "%40" and the like back to their bytes, as URLs write user names and
// passwords; a '%' not followed by two hex digits stays as it is.
std::string PercentDecode(const std::string& text);

}  // namespace net

#endif
