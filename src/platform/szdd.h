// SZDD-compressed distribution files (names ending in '_'), through libmspack.
#ifndef ORVEX_PLATFORM_SZDD_H
#define ORVEX_PLATFORM_SZDD_H

#include <orvex/cstring.h>

namespace szdd {

// True when the file starts with a readable SZDD header.
bool IsCompressed(const char* path);
// The character that the compressor cut from the end of the name, or 0.
char MissingChar(const char* path);
// Expands source into target; false with a reason in error.
bool Expand(const char* source, const char* target, CString& error);

}  // namespace szdd

#endif
