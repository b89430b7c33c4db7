#include "net/url_password.h"

#include <cstring>

namespace net {

namespace {

// Where the authority of a URL starting at `from` ends.
size_t AuthorityEnd(const std::string& text, size_t from) {
    size_t end = from;
    while (end < text.size() && std::strchr("/?#\\ \t\"'<>", text[end]) == nullptr) ++end;
    return end;
}

// The password in the authority that starts at `start`: its colon and the '@' after it.
bool FindPassword(const std::string& text, size_t start, size_t& colon, size_t& at) {
    const size_t end = AuthorityEnd(text, start);
    if (end == start) return false;
    // The last '@': a user name may hold one, a host never does.
    at = text.rfind('@', end - 1);
    if (at == std::string::npos || at < start) return false;
    colon = text.find(':', start);
    return colon < at;
}

// Replaces each password by `with` (which stands in for the colon too).
std::string ReplacePasswords(const std::string& text, const std::string& with) {
    std::string out = text;
    size_t colon = 0;
    size_t at = 0;
    size_t from = 0;
    if (FindPassword(out, 0, colon, at)) {
        out.replace(colon, at - colon, with);
        from = colon + with.size() + 1;
    }
    for (size_t scheme; (scheme = out.find("://", from)) != std::string::npos;) {
        from = scheme + 3;
        if (!FindPassword(out, from, colon, at)) continue;
        out.replace(colon, at - colon, with);
        from = colon + with.size() + 1;
    }
    return out;
}

}  // namespace

std::string UrlPassword(const std::string& url) {
    const size_t scheme = url.find("://");
    size_t colon = 0;
    size_t at = 0;
    if (!FindPassword(url, scheme == std::string::npos ? 0 : scheme + 3, colon, at)) return std::string();
    return url.substr(colon + 1, at - colon - 1);
}

std::string WithoutUrlPasswords(const std::string& text) { return ReplacePasswords(text, std::string()); }

std::string MarkUrlPasswords(const std::string& text, const std::string& mark) {
    return ReplacePasswords(text, ":" + mark);
}

}  // namespace net
