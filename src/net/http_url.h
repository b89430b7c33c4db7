// How the library reads an http(s) URL: one reader for HTTP requests and
// for downloads, so that a URL means the same host and port to both.
#ifndef ORVEX_NET_HTTP_URL_H
#define ORVEX_NET_HTTP_URL_H

#include <string>

namespace net {

struct HttpUrl {
    bool secure = false;
    bool hasUserInfo = false;  // "user[:password]@" was written before the host
    std::string user;          // percent-decoded
    std::string password;      // percent-decoded
    std::string host;          // an IPv6 literal keeps its brackets
    int port = 80;             // as written, else the scheme's default
    std::string object;        // after the host's '/', or the query or fragment itself
};

// The port a URL writes after the host's colon: 1-65535 in digits only
// (leading zeros allowed, as libcurl reads them); -1 for anything else, ""
// included (callers take that as none written). FTP names read theirs so too.
int PortNumber(const std::string& digits);

// True when text starts with "http://" or "https://" in any letter case.
bool IsHttpUrl(const std::string& text);

// Reads url, white space around it ignored: "http://" or "https://" in any
// case, or no scheme (secureWithoutScheme then decides); "user:password@";
// the host, ending at the first '/', '?' or '#'; ":port", digits only
// (1-65535), an empty port being the scheme's default; the rest. False for
// another scheme, a port that is no port number, or anything but a port
// after a bracketed host, with `refusal` naming the URL without its password.
bool ReadHttpUrl(const std::string& url, bool secureWithoutScheme, HttpUrl& parts, std::string& refusal);

}  // namespace net

#endif
