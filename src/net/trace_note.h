// What code above the platform may write to the wire trace: it has no
// libcurl handle to trace, only names it refuses before any exchange.
#ifndef ORVEX_NET_TRACE_NOTE_H
#define ORVEX_NET_TRACE_NOTE_H

#include <string>

namespace net {

// When a trace is written, an exchange of its own: "WHAT NAME", then
// "end: refused after N ms: REASON". Passwords are cut as everywhere.
void Refused(const char* what, const std::string& name, const std::string& reason);

}  // namespace net

#endif
