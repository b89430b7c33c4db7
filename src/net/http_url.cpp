#include "net/http_url.h"

#include "net/percent_coding.h"
#include "net/url_password.h"
#include "platform/ascii.h"

namespace net {
namespace {

constexpr const char* kBlanks = " \t\r\n\v\f";
constexpr int kLargestPort = 65535;

bool IsAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

// The length of "name://" when text starts with a scheme of any name (RFC
// 3986: a letter, then letters, digits, '+', '-', '.'), else 0.
size_t SchemeLength(const std::string& text) {
    if (text.empty() || !IsAsciiLetter(text[0])) return 0;
    size_t i = 1;
    while (i < text.size() && (IsAsciiLetter(text[i]) || (text[i] >= '0' && text[i] <= '9') ||
                               text[i] == '+' || text[i] == '-' || text[i] == '.'))
        ++i;
    return text.compare(i, 3, "://") == 0 ? i + 3 : 0;
}

}  // namespace

int PortNumber(const std::string& digits) {
    if (digits.empty() || digits.find_first_not_of("0123456789") != std::string::npos) return -1;
    long value = 0;
    for (char c : digits) {
        value = value * 10 + (c - '0');
        if (value > kLargestPort) return -1;
    }
    return value == 0 ? -1 : static_cast<int>(value);
}

bool IsHttpUrl(const std::string& text) {
    return ascii::StartsWithNoCase(text, "http://") || ascii::StartsWithNoCase(text, "https://");
}

bool ReadHttpUrl(const std::string& url, bool secureWithoutScheme, HttpUrl& parts, std::string& refusal) {
    const size_t first = url.find_first_not_of(kBlanks);
    const std::string text = first == std::string::npos
                                 ? std::string()
                                 : url.substr(first, url.find_last_not_of(kBlanks) - first + 1);
    const size_t schemeLength = SchemeLength(text);
    // The authority: from the scheme to the path, the query or the fragment.
    const size_t end = text.find_first_of("/?#", schemeLength);
    const size_t authorityEnd = end == std::string::npos ? text.size() : end;
    auto refuse = [&](const std::string& what) {
        refusal = what + ": " + WithoutUrlPasswords(text);
        return false;
    };

    HttpUrl read;
    if (schemeLength == 0) {
        read.secure = secureWithoutScheme;
    } else if (ascii::StartsWithNoCase(text, "https://")) {
        read.secure = true;
    } else if (!ascii::StartsWithNoCase(text, "http://")) {
        return refuse("Unsupported scheme \"" + text.substr(0, schemeLength - 3) +
                      "\" (only http and https)");
    }
    std::string host = text.substr(schemeLength, authorityEnd - schemeLength);
    if (end != std::string::npos) read.object = text.substr(text[end] == '/' ? end + 1 : end);

    // "user:password@" goes to the credentials, never to the host; a user name may hold an '@'.
    const size_t at = host.rfind('@');
    if (at != std::string::npos) {
        const std::string userInfo = host.substr(0, at);
        const size_t colon = userInfo.find(':');
        read.hasUserInfo = true;
        read.user = PercentDecode(userInfo.substr(0, colon));
        if (colon != std::string::npos) read.password = PercentDecode(userInfo.substr(colon + 1));
        host.erase(0, at + 1);
    }
    // An IPv6 literal keeps its brackets; its own colons are not the port's.
    size_t portColon = host.find(':');
    if (!host.empty() && host[0] == '[') {
        const size_t close = host.find(']');
        if (close == std::string::npos || (close + 1 < host.size() && host[close + 1] != ':'))
            return refuse("Bad host \"" + host + "\"");
        portColon = close + 1 < host.size() ? close + 1 : std::string::npos;
    }
    read.port = read.secure ? 443 : 80;
    if (portColon != std::string::npos) {
        const std::string digits = host.substr(portColon + 1);
        host.erase(portColon);
        if (!digits.empty()) {
            read.port = PortNumber(digits);
            if (read.port < 0) return refuse("Port \"" + digits + "\" is not a port number (1-65535)");
        }
    }
    read.host = host;
    parts = read;
    return true;
}

}  // namespace net
