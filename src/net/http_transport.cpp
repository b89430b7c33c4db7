#include "net/http_transport.h"

#include "net/curl_setup.h"
#include "net/trace.h"
#include "platform/ascii.h"

#include <cctype>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <utility>

namespace net {
namespace {

// Fewer, larger reads: a large body arrives at close to the socket's speed.
constexpr long kReceiveBufferBytes = 64L * 1024;
constexpr std::chrono::milliseconds kClockSlack{20};

// True when one of the caller's header lines names this header.
bool NamesHeader(const std::vector<std::string>& lines, const char* name) {
    const size_t n = std::strlen(name);
    for (const std::string& line : lines) {
        if (line.size() > n && ascii::StartsWithNoCase(line, name) && line[n] == ':') return true;
    }
    return false;
}

struct HeaderList {
    curl_slist* list = nullptr;
    ~HeaderList() { curl_slist_free_all(list); }
    void Add(const std::string& line) {
        curl_slist* grown = curl_slist_append(list, line.c_str());
        if (grown == nullptr) throw std::bad_alloc();
        list = grown;
    }
};

// One request of a redirect chain.
struct Hop {
    explicit Hop(const HttpExchange& exchange)
        : url(&exchange.url), method(exchange.method), sendBody(exchange.sendBody) {}
    Hop(const Hop&) = delete;
    Hop& operator=(const Hop&) = delete;

    // The exchange's own URL until a redirect: the first hop copies nothing.
    const std::string* url;
    std::string redirected;
    std::string method;
    bool sendBody;
};

}  // namespace

// What one hop's response tells as it arrives, and libcurl's error text.
struct CHttpTransport::Response {
    const BodySink* sink = nullptr;
    long status = 0;
    bool hasLocation = false;
    std::string error;
    bool stopped = false;
    char errorText[CURL_ERROR_SIZE] = {0};

    // Ready for the next hop, whose body goes to `to`.
    void Start(const BodySink* to) {
        sink = to;
        status = 0;
        hasLocation = false;
        error.clear();
        stopped = false;
        errorText[0] = '\0';
    }
    // A redirect's own body is not the answer; libcurl drops it too when it follows.
    bool IsRedirect() const { return hasLocation && status >= 300 && status <= 399; }
};

namespace {

using Response = CHttpTransport::Response;

size_t OnHeader(char* data, size_t size, size_t count, void* user) {
    auto* context = static_cast<Response*>(user);
    const size_t length = size * count;
    // Each status line begins a response of its own (an interim 100, an authentication round).
    if (length > 5 && std::memcmp(data, "HTTP/", 5) == 0) {
        const char* space = static_cast<const char*>(std::memchr(data, ' ', length));
        context->status = space != nullptr ? std::strtol(space + 1, nullptr, 10) : 0;
        context->hasLocation = false;
    } else if (ascii::StartsWithNoCase(std::string_view(data, length), "Location:") && length > 9) {
        context->hasLocation = true;
    }
    return length;
}

size_t WriteBody(char* data, size_t size, size_t count, void* user) {
    auto* context = static_cast<Response*>(user);
    const size_t length = size * count;
    if (context->IsRedirect()) return length;
    try {
        if ((*context->sink)(reinterpret_cast<const unsigned char*>(data), length, context->error))
            return length;
    } catch (const std::exception& e) {
        context->error = e.what();
    } catch (...) {
        context->error = "Response could not be stored";
    }
    context->stopped = true;
    return 0;  // anything but `length` makes libcurl stop with a write error
}

void ApplyMethod(CURL* easy, const Hop& hop, const HttpExchange& exchange) {
    if (hop.method == "HEAD") {
        curl_easy_setopt(easy, CURLOPT_NOBODY, 1L);
        return;
    }
    if (hop.sendBody) {
        curl_easy_setopt(easy, CURLOPT_POST, 1L);
        curl_easy_setopt(easy, CURLOPT_POSTFIELDS, exchange.body != nullptr ? exchange.body : "");
        curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(exchange.bodyLength));
        if (hop.method != "POST") curl_easy_setopt(easy, CURLOPT_CUSTOMREQUEST, hop.method.c_str());
        return;
    }
    if (hop.method == "GET")
        curl_easy_setopt(easy, CURLOPT_HTTPGET, 1L);
    else
        curl_easy_setopt(easy, CURLOPT_CUSTOMREQUEST, hop.method.c_str());
}

// "scheme://host:port" of a URL as libcurl reads it, in lower case; "" when it reads none.
std::string Origin(const std::string& url) {
    std::string origin;
    CURLU* parts = curl_url();
    if (parts == nullptr) return origin;
    char* scheme = nullptr;
    char* host = nullptr;
    char* port = nullptr;
    if (curl_url_set(parts, CURLUPART_URL, url.c_str(), 0) == CURLUE_OK &&
        curl_url_get(parts, CURLUPART_SCHEME, &scheme, 0) == CURLUE_OK &&
        curl_url_get(parts, CURLUPART_HOST, &host, 0) == CURLUE_OK &&
        curl_url_get(parts, CURLUPART_PORT, &port, CURLU_DEFAULT_PORT) == CURLUE_OK) {
        origin = std::string(scheme) + "://" + host + ":" + port;
        for (char& c : origin) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    curl_free(scheme);
    curl_free(host);
    curl_free(port);
    curl_url_cleanup(parts);
    return origin;
}

// Turns `hop` into the request that follows its redirect to `target`. A 303
// says the request is done and points at its result, so anything but HEAD
// fetches that with GET and no body (RFC 9110 15.4.4); POST does the same
// after 301 and 302, as browsers do. Every other request goes on as it was.
void Redirect(long status, const std::string& target, Hop& hop) {
    const bool post = hop.method == "POST";
    hop.redirected = target;
    hop.url = &hop.redirected;
    if ((status == 303 && hop.method != "HEAD") || (post && (status == 301 || status == 302))) {
        hop.method = "GET";
        hop.sendBody = false;
    }
}

// The headers of the last response of the transfer just done, as libcurl
// kept them. Its values may keep the line's CR (an empty value is "\r"), so
// the blanks around a value go here.
void ReadHeaders(CURL* easy, std::vector<HeaderField>& headers) {
    constexpr const char* kBlanks = " \t\r\n";
    for (curl_header* header = nullptr;
         (header = curl_easy_nextheader(easy, CURLH_HEADER, -1, header)) != nullptr;) {
        std::string value = header->value;
        value.erase(value.find_last_not_of(kBlanks) + 1);
        value.erase(0, value.find_first_not_of(kBlanks));
        headers.push_back({header->name, std::move(value)});
    }
}

std::string DeadlineText(int seconds, const std::string& url) {
    return "Request deadline of " + std::to_string(seconds) + (seconds == 1 ? " second" : " seconds") +
           " reached (" + url + ")";
}

}  // namespace

bool CHttpTransport::HopSettings::operator==(const HopSettings& other) const {
    return connectSeconds == other.connectSeconds && stallSeconds == other.stallSeconds &&
           insecureTls == other.insecureTls && caBundle == other.caBundle && httpsOnly == other.httpsOnly &&
           method == other.method && sendBody == other.sendBody && deadline == other.deadline &&
           bodyLimit == other.bodyLimit && noProxy == other.noProxy;
}

// A parsed URL libcurl only copies, where it reads a text URL anew on every
// transfer: 11,000 instructions of a small GET (callgrind, bench_http).
void CHttpTransport::SetUrl(const std::string& url, bool first) {
    CURL* easy = static_cast<CURL*>(m_easy);
    if (first && (m_parsedUrl == nullptr || url != m_parsedUrlText)) {
        if (m_parsedUrl == nullptr) m_parsedUrl = curl_url();
        // libcurl's own reading of a URL set as text, so that the request is the same.
        m_parsedUrlValid = m_parsedUrl != nullptr &&
                           curl_url_set(static_cast<CURLU*>(m_parsedUrl), CURLUPART_URL, url.c_str(),
                                        CURLU_GUESS_SCHEME | CURLU_NON_SUPPORT_SCHEME) == CURLUE_OK;
        m_parsedUrlText = url;
        // The handle still holds the old contents' reading.
        if (m_urlOnHandle == UrlOnHandle::kParsed) m_urlOnHandle = UrlOnHandle::kNone;
    }
    if (first && m_parsedUrlValid) {
        if (m_urlOnHandle == UrlOnHandle::kParsed) return;
        // Clearing the text makes libcurl read the URL from the parsed one on the next transfer.
        curl_easy_setopt(easy, CURLOPT_URL, nullptr);
        curl_easy_setopt(easy, CURLOPT_CURLU, m_parsedUrl);
        m_urlOnHandle = UrlOnHandle::kParsed;
        return;
    }
    if (m_urlOnHandle == UrlOnHandle::kText && url == m_textUrl) return;
    curl_easy_setopt(easy, CURLOPT_CURLU, nullptr);
    curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
    m_urlOnHandle = UrlOnHandle::kText;
    m_textUrl = url;
}

// The hops of one exchange on the handle; `trace` is null unless a trace is written.
bool CHttpTransport::RunHops(const HttpExchange& exchange, const BodySink& sink, HttpOutcome& outcome,
                             net::CExchange* trace) {
    CURL* easy = static_cast<CURL*>(m_easy);
    // No request sends a body it did not start with, and libcurl asks for
    // Expect: 100-continue only before a body; a line fewer for libcurl to
    // check against each header it considers, 400 instructions of a small GET.
    const bool expectLine = exchange.sendBody && !NamesHeader(exchange.headers, "Expect");
    // The same lines as the last exchange (a host repeating its request) reuse its list.
    if (m_headerList == nullptr || expectLine != m_headerListExpect || exchange.headers != m_headerLines) {
        HeaderList headers;
        for (const std::string& line : exchange.headers) headers.Add(line);
        // An empty value keeps libcurl from adding the header of its own.
        if (expectLine) headers.Add("Expect:");
        if (!NamesHeader(exchange.headers, "Accept")) headers.Add("Accept:");
        curl_easy_setopt(easy, CURLOPT_HTTPHEADER, nullptr);
        curl_slist_free_all(static_cast<curl_slist*>(m_headerList));
        m_headerList = headers.list;
        headers.list = nullptr;
        m_headerLines = exchange.headers;
        m_headerListExpect = expectLine;
        curl_easy_setopt(easy, CURLOPT_HTTPHEADER, m_headerList);
    }

    const RequestEnvironment env = ReadRequestEnvironment();
    const auto resolve = [](int seconds, int fallback) {
        return seconds == HttpExchange::kProcessDefault ? fallback : seconds;
    };
    const int connectSeconds = resolve(exchange.connectSeconds, env.connectSeconds);
    const int stallSeconds = resolve(exchange.stallSeconds, env.stallSeconds);
    const int deadlineSeconds = resolve(exchange.deadlineSeconds, env.deadlineSeconds);
    const std::string origin = exchange.user.empty() ? std::string() : Origin(exchange.url);
    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline = Clock::now() + std::chrono::seconds(deadlineSeconds);
    if (m_response == nullptr) m_response = std::make_unique<Response>();
    Response& response = *m_response;
    Hop hop(exchange);
    bool httpsOnly = false;   // the chain has been on https
    long redirectStatus = 0;  // the status that sent the chain to this hop
    for (int redirects = 0;; ++redirects) {
        const bool credentials = !exchange.user.empty() && (redirects == 0 || Origin(*hop.url) == origin);
        HopSettings settings;
        settings.connectSeconds = connectSeconds;
        settings.stallSeconds = stallSeconds;
        settings.insecureTls = env.tls.insecure;
        settings.caBundle = env.tls.caBundle;
        settings.httpsOnly = httpsOnly;
        settings.method = hop.method;
        settings.sendBody = hop.sendBody;
        settings.deadline = deadlineSeconds > 0;
        // HEAD answers announce a length they do not send.
        settings.bodyLimit = exchange.maxBodyBytes > 0 && hop.method != "HEAD";
        settings.noProxy = !env.proxyVariables;
        // Options start afresh when they differ from the last hop's; the
        // connection cache stays either way, so keep-alive works. Resetting
        // costs a request as much as libcurl's own work for a small answer.
        if (!m_settled || !(settings == m_Settled) || credentials || trace != nullptr) {
            curl_easy_reset(easy);
            m_urlOnHandle = UrlOnHandle::kNone;
            m_bodyLimit = -1;
            net::ApplyCommon(easy, connectSeconds, stallSeconds, kReceiveBufferBytes, env.tls);
            net::ApplyHopProtocols(easy, httpsOnly);
            ApplyMethod(easy, hop, exchange);
            curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, WriteBody);
            curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, OnHeader);
            curl_easy_setopt(easy, CURLOPT_WRITEDATA, &response);
            curl_easy_setopt(easy, CURLOPT_HEADERDATA, &response);
            curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, response.errorText);
            curl_easy_setopt(easy, CURLOPT_HTTPHEADER, m_headerList);
            // With no proxy variable set, libcurl would find none: saying so
            // spares it five getenv calls a request (2,000 instructions).
            if (settings.noProxy) {
                curl_easy_setopt(easy, CURLOPT_PROXY, "");
                curl_easy_setopt(easy, CURLOPT_NOPROXY, "");
            }
            if (trace != nullptr) trace->Attach(easy);
            // As libcurl does when it follows: credentials never go to another server.
            if (credentials) {
                curl_easy_setopt(easy, CURLOPT_USERNAME, exchange.user.c_str());
                curl_easy_setopt(easy, CURLOPT_PASSWORD, exchange.password.c_str());
                curl_easy_setopt(easy, CURLOPT_HTTPAUTH, static_cast<long>(CURLAUTH_ANY));
            }
            // Credentials and a trace leave state behind that only a reset clears.
            m_settled = !credentials && trace == nullptr;
            m_Settled = std::move(settings);
        } else if (hop.sendBody) {
            // The body is the caller's for this exchange only.
            curl_easy_setopt(easy, CURLOPT_POSTFIELDS, exchange.body != nullptr ? exchange.body : "");
            curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(exchange.bodyLength));
        }
        if (deadlineSeconds > 0) {
            // What is left of the deadline bounds this hop, so the whole chain keeps to it.
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
            if (left.count() <= 0) {
                outcome.error = DeadlineText(deadlineSeconds, exchange.url);
                return false;
            }
            curl_easy_setopt(easy, CURLOPT_TIMEOUT_MS, static_cast<long>(left.count()));
        }
        SetUrl(*hop.url, redirects == 0);
        const long long bodyLimit = m_Settled.bodyLimit ? exchange.maxBodyBytes : -1;
        if (bodyLimit != m_bodyLimit) {
            curl_easy_setopt(easy, CURLOPT_MAXFILESIZE_LARGE,
                             static_cast<curl_off_t>(bodyLimit < 0 ? 0 : bodyLimit));
            m_bodyLimit = bodyLimit;
        }
        response.Start(&sink);

        const CURLcode code = curl_easy_perform(easy);

        long status = 0;
        curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &status);
        char* location = nullptr;
        curl_easy_getinfo(easy, CURLINFO_REDIRECT_URL, &location);
        const std::string target = location != nullptr ? location : "";
        // A hop that failed leaves the next one a fresh start.
        if (code != CURLE_OK) m_settled = false;

        // The connect and stall limits time out alike; it was the deadline when
        // its time is up (give or take libcurl's clock, which is not quite ours).
        if (code == CURLE_OPERATION_TIMEDOUT && deadlineSeconds > 0 &&
            Clock::now() + kClockSlack >= deadline) {
            outcome.error = DeadlineText(deadlineSeconds, exchange.url);
            return false;
        }
        if (code != CURLE_OK) {
            outcome.bodyTooLarge = code == CURLE_FILESIZE_EXCEEDED;
            outcome.error = response.stopped
                                ? response.error
                                : net::FailureText(code, response.errorText,
                                                   redirects > 0 ? redirectStatus : status, *hop.url);
            return false;
        }
        if (location == nullptr) {
            outcome.status = static_cast<int>(status);
            m_headersOnHandle = true;
            char* contentType = nullptr;
            if (curl_easy_getinfo(easy, CURLINFO_CONTENT_TYPE, &contentType) == CURLE_OK &&
                contentType != nullptr) {
                outcome.hasContentType = true;
                outcome.contentType = contentType;
            }
            return true;
        }
        if (redirects == net::kMaxRedirects) {
            outcome.error = "Maximum (" + std::to_string(net::kMaxRedirects) + ") redirects followed";
            return false;
        }
        httpsOnly = httpsOnly || ascii::StartsWithNoCase(*hop.url, "https:");
        Redirect(status, target, hop);
        redirectStatus = status;
        if (trace != nullptr)
            trace->Note("redirect " + std::to_string(redirects + 1) + " (" + std::to_string(status) +
                        "): " + hop.method + " " + *hop.url);
    }
}

CHttpTransport::CHttpTransport() = default;

CHttpTransport::~CHttpTransport() {
    // The handle goes first: it may still point at the parsed URL, the list and the response.
    if (m_easy != nullptr) curl_easy_cleanup(static_cast<CURL*>(m_easy));
    curl_slist_free_all(static_cast<curl_slist*>(m_headerList));
    curl_url_cleanup(static_cast<CURLU*>(m_parsedUrl));
}

const std::vector<HeaderField>& CHttpTransport::ResponseHeaders() const {
    if (m_headersOnHandle && !m_headersRead) {
        ReadHeaders(static_cast<CURL*>(m_easy), m_headers);
        m_headersRead = true;
    }
    return m_headers;
}

bool CHttpTransport::Perform(const HttpExchange& exchange, const BodySink& sink, HttpOutcome& outcome) {
    outcome = HttpOutcome();
    m_headersOnHandle = false;
    m_headersRead = false;
    m_headers.clear();
    const CURLcode init = net::GlobalInit();
    if (init != CURLE_OK) {
        outcome.error = curl_easy_strerror(init);
        return false;
    }
    if (m_easy == nullptr) m_easy = curl_easy_init();
    if (m_easy == nullptr) {
        outcome.error = "libcurl could not create a transfer handle";
        return false;
    }
    CURL* easy = static_cast<CURL*>(m_easy);
    if (!net::Enabled()) return RunHops(exchange, sink, outcome, nullptr);
    net::CExchange trace(("request " + exchange.method).c_str(), exchange.url, exchange.password);
    for (const std::string& secret : exchange.secrets) trace.AddSecret(secret);
    // The handle outlives the trace, whatever way the hops end.
    struct Detacher {
        CURL* easy;
        ~Detacher() { net::CExchange::Detach(easy); }
    } detacher{easy};
    const bool done = RunHops(exchange, sink, outcome, &trace);
    if (done)
        trace.End("status " + std::to_string(outcome.status));
    else
        trace.End("failed", outcome.error);
    return done;
}

}  // namespace net
