// CBuffer::GetText of arbitrary bytes, in UTF-8 and in an 8-bit code page.
#include <orvex/buffer.h>

#include "platform/code_page.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > (1u << 20)) return 0;
    // The first byte picks the code page.
    const bool cp1252 = size > 0 && (data[0] & 1);
    setenv("ORVEX_CODEPAGE", cp1252 ? "CP1252" : "UTF-8", 1);
    codepage::Reload();
    CBuffer buffer;
    buffer.SetBuf(const_cast<uint8_t*>(data), static_cast<int>(size));
    CString text;
    buffer.GetText(text);
    if (text.GetLength() > 3 * static_cast<int>(size) + 3) std::abort();
    return 0;
}
