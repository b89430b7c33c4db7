#include "common/child_server.h"

#include <csignal>
#include <cstdlib>
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

void BypassProxies() {
    for (const char* name :
         {"http_proxy", "https_proxy", "HTTPS_PROXY", "ftp_proxy", "FTP_PROXY", "all_proxy", "ALL_PROXY"})
        unsetenv(name);
}

std::string ChildServer::StartPython(const std::vector<std::string>& arguments) {
    return StartProgram("/usr/bin/python3", arguments);
}

std::string ChildServer::StartProgram(const std::string& path, const std::vector<std::string>& arguments) {
    std::vector<char*> argv;
    std::string program = path.substr(path.rfind('/') + 1);
    argv.push_back(program.data());
    std::vector<std::string> copies = arguments;
    for (std::string& argument : copies) argv.push_back(argument.data());
    argv.push_back(nullptr);

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
        execv(path.c_str(), argv.data());
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
    const size_t end = line.find('\n');
    if (end == std::string::npos) {
        Stop();
        throw std::runtime_error("the test server did not start: " + line);
    }
    return line.substr(0, end);
}

void ChildServer::Stop() {
    if (m_nPid <= 0) return;
    kill(m_nPid, SIGTERM);
    int status = 0;
    waitpid(m_nPid, &status, 0);
    m_nPid = -1;
}

}  // namespace testing_support
