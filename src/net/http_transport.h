// One HTTP(S) exchange at a time over libcurl. The only place that speaks to
// libcurl for HTTP; everything above describes a request in plain types.
#ifndef ORVEX_NET_HTTP_TRANSPORT_H
#define ORVEX_NET_HTTP_TRANSPORT_H

#include "net/percent_coding.h"

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace net {

class CExchange;

struct HttpExchange {
    std::string url;     // absolute http:// or https:// URL
    std::string method;  // "GET", "POST", "HEAD", "PUT", ...
    // Header lines without line ends, sent as written.
    std::vector<std::string> headers;
    const char* body = nullptr;
    size_t bodyLength = 0;
    // A body is sent (with its Content-Length, even 0) when this is set.
    bool sendBody = false;
    // Credentials are handed to whichever authentication scheme the server asks for.
    std::string user;
    std::string password;
    // Texts the body carries that the trace must never show (a password in a security header).
    std::vector<std::string> secrets;
    // kProcessDefault takes ORVEX_CONNECT_TIMEOUT, ORVEX_STALL_TIMEOUT or
    // ORVEX_REQUEST_TIMEOUT as the exchange starts, else 30, 60 and 100.
    static constexpr int kProcessDefault = -1;
    int connectSeconds = 30;
    int stallSeconds = 60;
    // The whole exchange, every redirect included (0: no deadline).
    int deadlineSeconds = 0;
    // A response announcing a longer body fails before it is read (0: no limit).
    long long maxBodyBytes = 0;
};

// One header line of a response: its name as sent, its value without the blanks around it.
struct HeaderField {
    std::string name;
    std::string value;
};

struct HttpOutcome {
    int status = 0;
    bool hasContentType = false;
    std::string contentType;
    std::string error;          // libcurl's text, or the sink's when it stopped the transfer
    bool bodyTooLarge = false;  // the announced length passed maxBodyBytes
};

// Receives the response body piece by piece; a false answer stops the
// transfer, and the text it leaves in `error` becomes the failure text.
using BodySink = std::function<bool(const unsigned char* bytes, size_t length, std::string& error)>;

class CHttpTransport {
public:
    CHttpTransport();
    ~CHttpTransport();
    CHttpTransport(const CHttpTransport&) = delete;
    CHttpTransport& operator=(const CHttpTransport&) = delete;

    // True when a whole response arrived (any status); false with
    // outcome.error set otherwise. Connections are kept for the next call.
    // Redirects are followed here, hop by hop (at most 10): a 303 sends any
    // request but HEAD on as GET without a body, and so do 301 and 302 a
    // POST; any other request is sent again as it was, body included. The
    // outcome is the final response's. A chain that has been on https never
    // leaves it, and the credentials go only to the first URL's scheme, host
    // and port. With a trace on (platform/trace.h), the exchange and every
    // hop go to it.
    bool Perform(const HttpExchange& exchange, const BodySink& sink, HttpOutcome& outcome);

    // The final response's headers of the last Perform, when it returned
    // true, in the order sent (no trailers, no interim or redirect
    // responses); empty otherwise. Read from libcurl when first asked, since
    // most callers never ask; valid until the next Perform.
    const std::vector<HeaderField>& ResponseHeaders() const;

    // What the handle's callbacks hear of a response, defined beside them.
    struct Response;

private:
    // What a hop sets on the handle beyond its URL, body, deadline and
    // callbacks; equal settings let the next hop keep the handle as it is.
    struct HopSettings {
        int connectSeconds = 0;
        int stallSeconds = 0;
        bool insecureTls = false;
        std::string caBundle;
        bool httpsOnly = false;
        std::string method;
        bool sendBody = false;
        bool deadline = false;
        bool bodyLimit = false;
        // No proxy variable is set: libcurl is told so instead of looking for them.
        bool noProxy = false;
        bool operator==(const HopSettings& other) const;
    };
    // Where the handle takes its URL from.
    enum class UrlOnHandle { kNone, kParsed, kText };

    void* m_easy = nullptr;
    // The settings on the handle; none after a hop with credentials or a
    // trace, whose state libcurl keeps beyond the options.
    bool m_settled = false;
    HopSettings m_Settled;
    // The last response's headers: still on the handle, and read from it.
    bool m_headersOnHandle = false;
    mutable bool m_headersRead = false;
    mutable std::vector<HeaderField> m_headers;
    // The header list of the last exchange, kept while the lines stay the same.
    std::vector<std::string> m_headerLines;
    bool m_headerListExpect = false;  // the list stops libcurl's Expect line
    void* m_headerList = nullptr;
    // The first hop's URL, parsed once and lent to the handle while it
    // stays the same; any other hop's URL goes as text.
    void* m_parsedUrl = nullptr;
    bool m_parsedUrlValid = false;
    std::string m_parsedUrlText;
    UrlOnHandle m_urlOnHandle = UrlOnHandle::kNone;
    std::string m_textUrl;
    // The response limit on the handle, -1 for none.
    long long m_bodyLimit = -1;
    // What the handle's callbacks and error buffer write into; they stay set
    // between exchanges, and live as long as the handle.
    std::unique_ptr<Response> m_response;

    bool RunHops(const HttpExchange& exchange, const BodySink& sink, HttpOutcome& outcome,
                 net::CExchange* trace);
    // Points the handle at `url`: the parsed first URL when `first` and
    // libcurl's reader takes it, else the text.
    void SetUrl(const std::string& url, bool first);
};

}  // namespace net

#endif
