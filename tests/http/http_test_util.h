// Small helpers shared by the HTTP suites.
#ifndef ORVEX_TESTS_HTTP_TEST_UTIL_H
#define ORVEX_TESTS_HTTP_TEST_UTIL_H

#include <orvex.h>

#include <string>

namespace testing_support {

// A request handle for the scope of a test.
class HttpHandle {
public:
    HttpHandle() : m_h(HTTP_new(0)) {}
    ~HttpHandle() { HTTP_delete(m_h); }
    HttpHandle(const HttpHandle&) = delete;
    HttpHandle& operator=(const HttpHandle&) = delete;
    operator HTTP_HANDLE() const { return m_h; }  // NOLINT(google-explicit-constructor)

private:
    HTTP_HANDLE m_h;
};

// The response bytes held by a handle.
inline std::string Response(HTTP_HANDLE h) {
    const unsigned char* p = HTTP_GetResponse(h);
    if (p == nullptr) return {};
    return std::string(reinterpret_cast<const char*>(p),
                       static_cast<size_t>(HTTP_GetResponseContentLength(h)));
}

// The request head that the library sends to the test server, as echoed.
inline std::string ExpectedHead(const std::string& requestLine, int port, const std::string& contentType,
                                int bodyLength) {
    std::string head = requestLine + "\r\nHost: 127.0.0.1:" + std::to_string(port) +
                       "\r\nUser-Agent: Orvex/1.0\r\n" + contentType + "\r\n";
    if (bodyLength >= 0) head += "Content-Length: " + std::to_string(bodyLength) + "\r\n";
    return head + "\r\n";
}

}  // namespace testing_support

#endif
