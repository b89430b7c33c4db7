// The UsernameToken a message carries in a wsse:Security header, written
// anew for every call: its nonce and times are never sent twice.
#ifndef ORVEX_SOAP_WSSE_TOKEN_H
#define ORVEX_SOAP_WSSE_TOKEN_H

#include <string>

class CStringBuilder;

namespace wsse {

inline constexpr char kSecextUri[] =
    "http://docs.oasis-open.org/wss/2004/01/oasis-200401-wss-wssecurity-secext-1.0.xsd";
inline constexpr char kUtilityUri[] =
    "http://docs.oasis-open.org/wss/2004/01/oasis-200401-wss-wssecurity-utility-1.0.xsd";
inline constexpr char kPasswordTextUri[] =
    "http://docs.oasis-open.org/wss/2004/01/oasis-200401-wss-username-token-profile-1.0#PasswordText";
inline constexpr char kPasswordDigestUri[] =
    "http://docs.oasis-open.org/wss/2004/01/oasis-200401-wss-username-token-profile-1.0#PasswordDigest";
inline constexpr char kBase64BinaryUri[] =
    "http://docs.oasis-open.org/wss/2004/01/oasis-200401-wss-soap-message-security-1.0#Base64Binary";

// What the host set: texts in the code page, ORVEX_WSSE_* flags.
struct Token {
    std::string user;
    std::string password;
    int flags = 0;
    int ttlSeconds = 0;
};

// What one writing of the header takes from outside: the time and the
// random bytes. Tests hand in their own.
struct Moment {
    long long unixMilliseconds = 0;
    std::string nonce;  // 16 bytes
    std::string id;     // 8 bytes that make the wsu:Id values of one header unique
};

// Now, by the system clock and the kernel's random source (which raises
// std::system_error when it cannot give).
Moment Now();

// "2024-05-06T07:08:09Z", or "2024-05-06T07:08:09.123Z" with milliseconds.
std::string TimeText(long long unixMilliseconds, bool milliseconds);

// Base64(SHA-1(nonce + created + password)), the password in UTF-8.
std::string PasswordDigest(const std::string& nonce, const std::string& created,
                           const std::string& passwordUtf8);

// The wsse:Security element, on lines ending in CR LF. `envelopePrefix`
// and `soapVersion` give mustUnderstand its name and value ("1" under 1.1,
// "true" under 1.2).
void Append(CStringBuilder& out, const Token& token, const Moment& moment, const char* envelopePrefix,
            int soapVersion);

}  // namespace wsse

#endif
