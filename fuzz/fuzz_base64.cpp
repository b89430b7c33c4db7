// Base64 decoding of arbitrary text, and encode-decode round trips of
// arbitrary bytes.
#include <orvex/base64.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > (1u << 20)) return 0;
    CString text(reinterpret_cast<const char*>(data), static_cast<int>(size));
    CBuffer decoded;
    CBase64::Decode(text, decoded);
    CString inPlace(text);
    CBase64::Decode(inPlace);
    CBase64::IsStringLikeBase64(const_cast<char*>(text.GetString()), text.GetLength());

    CBuffer encoded;
    CBase64::Encode(const_cast<uint8_t*>(data), static_cast<int>(size), encoded);
    CString back(reinterpret_cast<const char*>(encoded.GetBuf()), size > 0 ? encoded.GetSize() - 1 : 0);
    CBuffer round;
    if (CBase64::Decode(back, round) != 1 || round.GetSize() != static_cast<int>(size) ||
        (size > 0 && std::memcmp(round.GetBuf(), data, size) != 0))
        std::abort();
    return 0;
}
