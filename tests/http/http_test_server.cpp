#include "http/http_test_server.h"

#include "common/test_support.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>

namespace testing_support {

HttpTestServer& HttpTestServer::Get() {
    // Never destroyed: the server is stopped by pid when the program exits.
    static HttpTestServer* server = [] {
        BypassProxies();
        auto* s = new HttpTestServer();
        std::atexit([] { HttpTestServer::Get().Stop(); });
        return s;
    }();
    return *server;
}

HttpTestServer::HttpTestServer() {
    std::string pattern = (std::filesystem::temp_directory_path() / "orvex-http-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    m_strDir = pattern;
    m_strRoot = m_strDir + "/root";
    std::filesystem::create_directory(m_strRoot);
    const std::string tls = m_strDir + "/tls";
    std::filesystem::create_directory(tls);
    const std::string script = SourceDir() + "/tests/servers/http_server.py";

    const std::string line =
        m_Child.StartPython({script, "--root", m_strRoot, "--tls-dir", tls, "--ipv6", "--lifetime", "900"});
    if (std::sscanf(line.c_str(), "PORTS %d %d %d", &m_nHttpPort, &m_nHttpsPort, &m_nHttp6Port) != 3 ||
        m_nHttpsPort == 0) {
        Stop();
        throw std::runtime_error("the test HTTP server did not start: " + line);
    }
}

HttpTestServer::~HttpTestServer() { Stop(); }

void HttpTestServer::Stop() {
    m_Child.Stop();
    if (!m_strDir.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(m_strDir, ignored);
        m_strDir.clear();
    }
}

std::string HttpTestServer::Http(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(m_nHttpPort) + path;
}

std::string HttpTestServer::Https(const std::string& path) const {
    return "https://127.0.0.1:" + std::to_string(m_nHttpsPort) + path;
}

std::string HttpTestServer::Http6(const std::string& path) const {
    return "http://[::1]:" + std::to_string(m_nHttp6Port) + path;
}

std::string HttpTestServer::CaFile() const { return m_strDir + "/tls/ca.pem"; }

}  // namespace testing_support
