#include "platform/http_transport.h"

#include "platform/curl_setup.h"

#include <cstring>
#include <new>
#include <strings.h>

namespace httpx {
namespace {

// Fewer, larger reads: a large body arrives at close to the socket's speed.
constexpr long kReceiveBufferBytes = 64L * 1024;

// True when one of the caller's header lines names this header.
bool NamesHeader(const std::vector<std::string>& lines, const char* name) {
    const size_t n = std::strlen(name);
    for (const std::string& line : lines) {
        if (line.size() > n && strncasecmp(line.c_str(), name, n) == 0 && line[n] == ':') return true;
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

struct WriteContext {
    const BodySink* sink;
    std::string error;
    bool stopped = false;
};

size_t WriteBody(char* data, size_t size, size_t count, void* user) {
    auto* context = static_cast<WriteContext*>(user);
    const size_t length = size * count;
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

void ApplyMethod(CURL* easy, const HttpExchange& exchange) {
    if (exchange.method == "HEAD") {
        curl_easy_setopt(easy, CURLOPT_NOBODY, 1L);
        return;
    }
    if (exchange.sendBody) {
        curl_easy_setopt(easy, CURLOPT_POST, 1L);
        curl_easy_setopt(easy, CURLOPT_POSTFIELDS, exchange.body != nullptr ? exchange.body : "");
        curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(exchange.bodyLength));
        if (exchange.method != "POST") curl_easy_setopt(easy, CURLOPT_CUSTOMREQUEST, exchange.method.c_str());
        return;
    }
    if (exchange.method == "GET")
        curl_easy_setopt(easy, CURLOPT_HTTPGET, 1L);
    else
        curl_easy_setopt(easy, CURLOPT_CUSTOMREQUEST, exchange.method.c_str());
}

}  // namespace

CHttpTransport::CHttpTransport() = default;

CHttpTransport::~CHttpTransport() {
    if (m_pEasy != nullptr) curl_easy_cleanup(static_cast<CURL*>(m_pEasy));
}

int CHttpTransport::DefaultConnectSeconds() { return curlx::DefaultConnectSeconds(); }

int CHttpTransport::DefaultStallSeconds() { return curlx::DefaultStallSeconds(); }

bool CHttpTransport::Perform(const HttpExchange& exchange, const BodySink& sink, HttpOutcome& outcome) {
    outcome = HttpOutcome();
    const CURLcode init = curlx::GlobalInit();
    if (init != CURLE_OK) {
        outcome.error = curl_easy_strerror(init);
        return false;
    }
    if (m_pEasy == nullptr) {
        m_pEasy = curl_easy_init();
        if (m_pEasy == nullptr) {
            outcome.error = "libcurl could not create a transfer handle";
            return false;
        }
    } else {
        // Options start afresh; the connection cache stays, so keep-alive works.
        curl_easy_reset(static_cast<CURL*>(m_pEasy));
    }
    CURL* easy = static_cast<CURL*>(m_pEasy);

    char errorText[CURL_ERROR_SIZE] = {0};
    curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, errorText);
    curl_easy_setopt(easy, CURLOPT_URL, exchange.url.c_str());
    curlx::ApplyCommon(easy, exchange.connectSeconds, exchange.stallSeconds, kReceiveBufferBytes);
    curlx::ApplyHttpProtocols(easy, exchange.url);
    ApplyMethod(easy, exchange);

    HeaderList headers;
    for (const std::string& line : exchange.headers) headers.Add(line);
    // An empty value keeps libcurl from adding the header of its own.
    if (!NamesHeader(exchange.headers, "Expect")) headers.Add("Expect:");
    if (!NamesHeader(exchange.headers, "Accept")) headers.Add("Accept:");
    curl_easy_setopt(easy, CURLOPT_HTTPHEADER, headers.list);

    if (!exchange.user.empty()) {
        curl_easy_setopt(easy, CURLOPT_USERNAME, exchange.user.c_str());
        curl_easy_setopt(easy, CURLOPT_PASSWORD, exchange.password.c_str());
        curl_easy_setopt(easy, CURLOPT_HTTPAUTH, static_cast<long>(CURLAUTH_ANY));
    }

    // HEAD answers announce a length they do not send.
    if (exchange.maxBodyBytes > 0 && exchange.method != "HEAD")
        curl_easy_setopt(easy, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(exchange.maxBodyBytes));

    WriteContext context{&sink, {}, false};
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, WriteBody);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, &context);

    const CURLcode code = curl_easy_perform(easy);

    long status = 0;
    curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &status);
    outcome.status = static_cast<int>(status);
    char* contentType = nullptr;
    if (curl_easy_getinfo(easy, CURLINFO_CONTENT_TYPE, &contentType) == CURLE_OK && contentType != nullptr) {
        outcome.hasContentType = true;
        outcome.contentType = contentType;
    }
    // The error buffer must not outlive this call.
    curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, nullptr);
    curl_easy_setopt(easy, CURLOPT_HTTPHEADER, nullptr);

    if (code == CURLE_OK) return true;
    outcome.bodyTooLarge = code == CURLE_FILESIZE_EXCEEDED;
    outcome.error =
        context.stopped ? context.error : curlx::FailureText(code, errorText, status, exchange.url);
    return false;
}

}  // namespace httpx
