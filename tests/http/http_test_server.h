// The local HTTP/HTTPS test server (tests/servers/http_server.py), started
// once per test process on first use and stopped by its pid at exit.
#ifndef ORVEX_TESTS_HTTP_TEST_SERVER_H
#define ORVEX_TESTS_HTTP_TEST_SERVER_H

#include "common/child_server.h"

#include <string>

namespace testing_support {

class HttpTestServer {
public:
    // The running server; starts it (and makes its test CA) on first call.
    static HttpTestServer& Get();

    int HttpPort() const { return m_nHttpPort; }
    int HttpsPort() const { return m_nHttpsPort; }
    // Plain HTTP on [::1]; 0 when the machine has no IPv6 loopback.
    int Http6Port() const { return m_nHttp6Port; }
    // "http://127.0.0.1:<port>" + path, the same for https, and "http://[::1]:<port>" + path.
    std::string Http(const std::string& path) const;
    std::string Https(const std::string& path) const;
    std::string Http6(const std::string& path) const;
    // The test CA's certificate (PEM file), for ORVEX_CA_BUNDLE.
    std::string CaFile() const;
    // The directory served under /file/.
    const std::string& Root() const { return m_strRoot; }

    void Stop();

private:
    HttpTestServer();
    ~HttpTestServer();

    ChildServer m_Child;
    int m_nHttpPort = 0;
    int m_nHttpsPort = 0;
    int m_nHttp6Port = 0;
    std::string m_strDir;
    std::string m_strRoot;
};

}  // namespace testing_support

#endif
