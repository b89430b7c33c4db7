// The system's random source (getrandom) and the SHA-1 digest and Base64
// text of OpenSSL's libcrypto, for the tokens a SOAP header carries.
#ifndef ORVEX_PLATFORM_CRYPTO_H
#define ORVEX_PLATFORM_CRYPTO_H

#include <cstddef>
#include <string>
#include <string_view>

namespace crypto {

// Fills `bytes` from the kernel's random source; raises std::system_error
// with strerror's words when it cannot (a kernel without getrandom).
void RandomBytes(unsigned char* bytes, size_t count);

// The 20 bytes of the SHA-1 digest of `bytes`.
std::string Sha1(std::string_view bytes);

// Base64 in the standard alphabet ('+', '/', '=' padding), on one line:
// the form security tokens take, unlike CBase64's '*'.
std::string Base64(std::string_view bytes);

}  // namespace crypto

#endif
