// The file copy that stands in for the platform's: the source's bytes go to
// a temporary file beside the target, which takes the source's permission
// bits and modification time and is renamed over the target. A copy that
// fails leaves the target as it was and nothing else behind.
#ifndef ORVEX_PLATFORM_FILE_COPY_H
#define ORVEX_PLATFORM_FILE_COPY_H

#include <orvex/cstring.h>

namespace filecopy {

// Overwrites an existing target, unless it is read-only (no owner write
// bit) or a directory. False with "<path>: <reason>" in error, and
// osError set to the system's error number.
bool CopyFile(const char* source, const char* target, CString& error, int& osError);

}  // namespace filecopy

#endif
