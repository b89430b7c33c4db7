#include "http/http_test_server.h"

#include "common/test_support.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <initializer_list>
#include <poll.h>
#include <stdexcept>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace testing_support {
namespace {

constexpr int kStartTimeoutMs = 30000;

}  // namespace

HttpTestServer& HttpTestServer::Get() {
    // Never destroyed: the server is stopped by pid when the program exits.
    static HttpTestServer* server = [] {
        // Requests must reach 127.0.0.1 directly, whatever proxy the machine names.
        for (const char* name : {"http_proxy", "https_proxy", "HTTPS_PROXY", "all_proxy", "ALL_PROXY"})
            unsetenv(name);
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

    int out[2];
    if (pipe(out) != 0) throw std::runtime_error("pipe failed");
    const pid_t parent = getpid();
    const pid_t pid = fork();
    if (pid < 0) throw std::runtime_error("fork failed");
    if (pid == 0) {
        // The server goes when its test process goes, even on a crash.
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (getppid() != parent) _exit(1);
        dup2(out[1], STDOUT_FILENO);
        close(out[0]);
        close(out[1]);
        execl("/usr/bin/python3", "python3", script.c_str(), "--root", m_strRoot.c_str(), "--tls-dir",
              tls.c_str(), "--lifetime", "900", static_cast<char*>(nullptr));
        _exit(127);
    }
    close(out[1]);
    m_nPid = pid;

    std::string line;
    pollfd p{out[0], POLLIN, 0};
    while (line.find('\n') == std::string::npos) {
        if (poll(&p, 1, kStartTimeoutMs) <= 0) break;
        char chunk[256];
        const ssize_t n = read(out[0], chunk, sizeof chunk);
        if (n <= 0) break;
        line.append(chunk, static_cast<size_t>(n));
    }
    close(out[0]);
    if (std::sscanf(line.c_str(), "PORTS %d %d", &m_nHttpPort, &m_nHttpsPort) != 2 || m_nHttpsPort == 0) {
        Stop();
        throw std::runtime_error("the test HTTP server did not start: " + line);
    }
}

HttpTestServer::~HttpTestServer() { Stop(); }

void HttpTestServer::Stop() {
    if (m_nPid > 0) {
        kill(m_nPid, SIGTERM);
        int status = 0;
        waitpid(m_nPid, &status, 0);
        m_nPid = -1;
    }
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

std::string HttpTestServer::CaFile() const { return m_strDir + "/tls/ca.pem"; }

}  // namespace testing_support
