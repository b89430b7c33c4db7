// The first look at a text before it is parsed: one pass that copies it and,
// on the way, finds a NUL and checks that it is well-formed UTF-8.
#ifndef ORVEX_XML_XML_TEXT_SCAN_H
#define ORVEX_XML_XML_TEXT_SCAN_H

#include <cstddef>

namespace xml {

// What one pass over the text found while copying it.
struct ScanResult {
    static constexpr size_t kNone = static_cast<size_t>(-1);
    size_t nul = kNone;  // the offset of the first NUL; the pass stops there
    bool utf8 = true;    // false: ill-formed UTF-8, the pass stopped there
};

// Copies n bytes of `in` to `out` until a NUL or an ill-formed UTF-8
// sequence stops it, and says which.
ScanResult ScanCopy(const char* in, size_t n, char* out);

}  // namespace xml

#endif
