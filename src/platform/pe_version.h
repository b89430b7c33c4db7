// The fixed file information of a PE file's version resource, read by a small
// parser that checks every offset and length against the bytes it has: a
// malformed or truncated file simply has no version.
#ifndef ORVEX_PLATFORM_PE_VERSION_H
#define ORVEX_PLATFORM_PE_VERSION_H

#include <cstddef>
#include <cstdint>

namespace pe {

// The version fields of VS_FIXEDFILEINFO. A version major.minor.build.revision
// is (MS >> 16).(MS & 0xFFFF).(LS >> 16).(LS & 0xFFFF).
struct FixedFileInfo {
    uint32_t fileVersionMS = 0, fileVersionLS = 0, productVersionMS = 0, productVersionLS = 0;
};

// The fixed file information (VS_FIXEDFILEINFO, signature 0xFEEF04BD) of the
// version resource of a PE file (PE32 or PE32+) in memory; false for
// anything else: no PE, no resource directory, no RT_VERSION (16) entry,
// no fixed info, or a structure that runs past the data. info is left
// unchanged when the answer is false.
bool ReadFixedFileInfo(const unsigned char* data, size_t size, FixedFileInfo& info);
// The same for a regular file, reading only the parts the walk needs; false
// when it cannot be opened or read.
bool ReadFixedFileInfo(const char* path, FixedFileInfo& info);

}  // namespace pe

#endif
