#include "transfer/ftp_test_server.h"

#include "common/test_support.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>

namespace testing_support {

FtpTestServer& FtpTestServer::Get() {
    // Never destroyed: the server is stopped by pid when the program exits.
    static FtpTestServer* server = [] {
        BypassProxies();
        auto* s = new FtpTestServer();
        std::atexit([] { FtpTestServer::Get().Stop(); });
        return s;
    }();
    return *server;
}

FtpTestServer::FtpTestServer() {
    std::string pattern = (std::filesystem::temp_directory_path() / "orvex-ftp-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    m_strDir = pattern;
    m_strRoot = m_strDir + "/root";
    std::filesystem::create_directory(m_strRoot);
    const std::string script = SourceDir() + "/tests/servers/ftp_server.py";

    const std::string line = m_Child.StartPython(
        {script, "--root", m_strRoot, "--user", User(), "--password", Password(), "--lifetime", "900"});
    if (std::sscanf(line.c_str(), "PORT %d", &m_nPort) != 1 || m_nPort <= 0) {
        Stop();
        throw std::runtime_error("the test FTP server did not start: " + line);
    }
}

FtpTestServer::~FtpTestServer() { Stop(); }

void FtpTestServer::Stop() {
    m_Child.Stop();
    if (!m_strDir.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(m_strDir, ignored);
        m_strDir.clear();
    }
}

std::string FtpTestServer::Url(const std::string& path) const {
    return "ftp://127.0.0.1:" + std::to_string(m_nPort) + "/" + path;
}

}  // namespace testing_support
