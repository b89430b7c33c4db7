// Interrupting the orvex command: by kill(SIGINT) and by Ctrl-C on a terminal,
// once or several times in a row, while it connects, waits or receives. It
// must end as interrupted (killed by SIGINT, which a shell reports as 130),
// leave the target as it was and nothing beside it.
#include "common/test_support.h"
#include "http/http_test_server.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <dirent.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

using testing_support::FileNames;
using testing_support::HttpTestServer;
using testing_support::ReadFile;
using testing_support::TempDir;
using testing_support::WriteFile;

// Hang guards only: every wait below ends as soon as what it waits for happens.
constexpr auto kGuard = std::chrono::seconds(20);

// A TCP listener on 127.0.0.1 that never accepts. With room in its queue a
// client connects and then hears nothing (a server that stalls before its
// first byte); filled up, it leaves new clients connecting.
class SilentListener {
public:
    explicit SilentListener(bool full) {
        m_nListen = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(m_nListen, reinterpret_cast<sockaddr*>(&address), sizeof address);
        listen(m_nListen, full ? 0 : 16);
        socklen_t size = sizeof address;
        getsockname(m_nListen, reinterpret_cast<sockaddr*>(&address), &size);
        m_nPort = ntohs(address.sin_port);
        for (int i = 0; full && i < 8; ++i) {
            const int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
            connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
            m_Fill.push_back(fd);
        }
    }
    ~SilentListener() {
        for (int fd : m_Fill) close(fd);
        close(m_nListen);
    }
    SilentListener(const SilentListener&) = delete;
    SilentListener& operator=(const SilentListener&) = delete;
    std::string Url(const std::string& scheme, const std::string& path) const {
        return scheme + "://127.0.0.1:" + std::to_string(m_nPort) + path;
    }

private:
    int m_nListen = -1;
    int m_nPort = 0;
    std::vector<int> m_Fill;
};

// The inodes of the sockets a process holds, and the paths of its other files.
void OpenFiles(pid_t pid, std::set<std::string>& sockets, std::vector<std::string>& paths) {
    const std::string dir = "/proc/" + std::to_string(pid) + "/fd";
    DIR* fds = opendir(dir.c_str());
    if (fds == nullptr) return;
    while (const dirent* entry = readdir(fds)) {
        char target[4096];
        const ssize_t n = readlink((dir + "/" + entry->d_name).c_str(), target, sizeof target - 1);
        if (n <= 0) continue;
        const std::string link(target, static_cast<size_t>(n));
        if (link.rfind("socket:[", 0) == 0)
            sockets.insert(link.substr(8, link.size() - 9));
        else
            paths.push_back(link);
    }
    closedir(fds);
}

// The TCP states of a process's sockets, as /proc/net/tcp writes them: "01"
// established, "02" connecting.
std::set<std::string> TcpStates(pid_t pid) {
    std::set<std::string> sockets, states;
    std::vector<std::string> paths;
    OpenFiles(pid, sockets, paths);
    for (const char* table : {"/proc/net/tcp", "/proc/net/tcp6"}) {
        std::ifstream in(table);
        std::string line;
        std::getline(in, line);  // the header
        while (std::getline(in, line)) {
            std::istringstream fields(line);
            std::string slot, local, remote, state, queues, timer, retransmits, uid, timeout, inode;
            fields >> slot >> local >> remote >> state >> queues >> timer >> retransmits >> uid >> timeout >>
                inode;
            if (sockets.count(inode) != 0) states.insert(state);
        }
    }
    return states;
}

// The command run as a child of the test, with standard output and error in
// files, or on a pseudo-terminal of its own whose Ctrl-C the tty driver turns
// into SIGINT for it, as for a user at a terminal.
class Command {
public:
    Command(const std::vector<std::string>& arguments, const TempDir& logs, bool terminal,
            bool ignoreInterrupts = false) {
        std::vector<std::string> words = {ORVEX_CLI_PATH};
        words.insert(words.end(), arguments.begin(), arguments.end());
        std::vector<char*> argv;
        for (std::string& word : words) argv.push_back(word.data());
        argv.push_back(nullptr);
        const std::string out = logs.Path("out"), err = logs.Path("err");
        std::string terminalName;
        if (terminal) {
            m_nTerminal = posix_openpt(O_RDWR | O_NOCTTY);
            if (m_nTerminal < 0 || grantpt(m_nTerminal) != 0 || unlockpt(m_nTerminal) != 0) return;
            terminalName = ptsname(m_nTerminal);
            fcntl(m_nTerminal, F_SETFL, O_NONBLOCK);
        }
        // Closed by a successful exec: until then the child is no command yet.
        int exec[2];
        if (pipe2(exec, O_CLOEXEC) != 0) return;
        m_nPid = fork();
        if (m_nPid != 0) {
            close(exec[1]);
            char byte;
            while (read(exec[0], &byte, 1) < 0 && errno == EINTR) {
            }
            close(exec[0]);
            return;
        }
        // The child: only calls that are safe after fork, then exec.
        if (ignoreInterrupts) signal(SIGINT, SIG_IGN);
        if (terminal) {
            setsid();  // a session leader opening a terminal makes it its controlling one
            const int fd = open(terminalName.c_str(), O_RDWR);
            ioctl(fd, TIOCSCTTY, 0);
            dup2(fd, 0);
            dup2(fd, 1);
            dup2(fd, 2);
        } else {
            const int in = open("/dev/null", O_RDONLY);
            dup2(in, 0);
            dup2(open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), 1);
            dup2(open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), 2);
        }
        // The command holds its own sockets only, never the test's.
        close_range(3, exec[1] - 1, 0);
        close_range(exec[1] + 1, ~0U, 0);
        execv(argv[0], argv.data());
        _exit(127);
    }
    ~Command() {
        if (m_nPid > 0 && !m_bEnded) {
            kill(m_nPid, SIGKILL);
            waitpid(m_nPid, nullptr, 0);
        }
        if (m_nTerminal >= 0) close(m_nTerminal);
    }
    Command(const Command&) = delete;
    Command& operator=(const Command&) = delete;

    pid_t Pid() const { return m_nPid; }

    // Waits until the condition holds while the command runs; false when it ended first or never.
    bool WaitUntil(const std::function<bool()>& condition) {
        for (const auto end = std::chrono::steady_clock::now() + kGuard;
             std::chrono::steady_clock::now() < end;) {
            Drain();
            if (Ended()) return false;
            if (condition()) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return false;
    }

    // Several interrupts in a row: Ctrl-C typed on the terminal, or SIGINT sent to the process.
    void Interrupt(int times) {
        for (int i = 0; i < times; ++i) {
            // A pause, so that the signals do not merge into one pending signal.
            if (i > 0) std::this_thread::sleep_for(std::chrono::milliseconds(20));
            if (m_nTerminal >= 0)
                static_cast<void>(write(m_nTerminal, "\x03", 1));
            else
                kill(m_nPid, SIGINT);
        }
    }

    // The wait status once the command has ended; -1 when it is still running at the guard.
    int Status() {
        if (!WaitUntil([] { return false; }) && m_bEnded) return m_nStatus;
        return -1;
    }

private:
    bool Ended() {
        if (!m_bEnded && waitpid(m_nPid, &m_nStatus, WNOHANG) == m_nPid) m_bEnded = true;
        return m_bEnded;
    }
    // What the command draws on its terminal is read and dropped, so it never blocks on it.
    void Drain() {
        char chunk[4096];
        while (m_nTerminal >= 0 && read(m_nTerminal, chunk, sizeof chunk) > 0) {
        }
    }

    pid_t m_nPid = -1;
    int m_nTerminal = -1;
    bool m_bEnded = false;
    int m_nStatus = 0;
};

bool Connecting(pid_t pid) { return TcpStates(pid).count("02") != 0; }
bool Connected(pid_t pid) { return TcpStates(pid).count("01") != 0; }

// Receiving: connected, with a file in the target's directory open for the body.
bool Receiving(pid_t pid, const std::string& dir) {
    std::set<std::string> sockets;
    std::vector<std::string> paths;
    OpenFiles(pid, sockets, paths);
    for (const std::string& path : paths)
        if (path.rfind(dir + "/", 0) == 0) return Connected(pid);
    return false;
}

std::string Described(int status) {
    if (status == -1) return "still running at the guard";
    if (WIFSIGNALED(status)) return "killed by signal " + std::to_string(WTERMSIG(status));
    return "exited with " + std::to_string(WEXITSTATUS(status));
}

struct InterruptCase {
    const char* phase;
    bool terminal;
    int interrupts;
};

TEST(OrvexInterrupt, ADownloadEndsAsInterruptedAndLeavesNothing) {
    SilentListener full(true);
    const std::string stall = HttpTestServer::Get().Http("/stall/30");
    const std::string trickle = HttpTestServer::Get().Http("/trickle/1000/20");
    const InterruptCase cases[] = {
        {"connecting", false, 3}, {"waiting", false, 1},   {"waiting", false, 3}, {"receiving", false, 1},
        {"receiving", false, 3},  {"connecting", true, 1}, {"waiting", true, 1},  {"waiting", true, 3},
        {"receiving", true, 1},   {"receiving", true, 3},
    };
    for (const InterruptCase& c : cases) {
        const std::string what =
            std::string(c.phase) + (c.terminal ? ", Ctrl-C x" : ", SIGINT x") + std::to_string(c.interrupts);
        TempDir dir, logs;
        WriteFile(dir.Path("target"), "old");
        const std::string phase = c.phase;
        const std::string url = phase == "connecting" ? full.Url("http", "/x")
                                : phase == "waiting"  ? stall
                                                      : trickle;
        Command command({"download", url, dir.Path("target")}, logs, c.terminal);
        const pid_t pid = command.Pid();
        ASSERT_TRUE(command.WaitUntil([&] {
            return phase == "connecting" ? Connecting(pid)
                   : phase == "waiting"  ? Connected(pid)
                                         : Receiving(pid, dir.path());
        })) << what;
        command.Interrupt(c.interrupts);
        const int status = command.Status();
        EXPECT_TRUE(status != -1 && WIFSIGNALED(status) && WTERMSIG(status) == SIGINT)
            << what << ": " << Described(status);
        EXPECT_EQ(FileNames(dir.path()), std::vector<std::string>{"target"}) << what;
        EXPECT_EQ(ReadFile(dir.Path("target")), "old") << what;
    }
}

TEST(OrvexInterrupt, AnUploadEndsAsInterrupted) {
    SilentListener full(true), silent(false);
    for (const auto& [phase, url] : {std::pair{"connecting", full.Url("ftp", "/up.bin")},
                                     std::pair{"waiting", silent.Url("ftp", "/up.bin")}}) {
        TempDir dir, logs;
        WriteFile(dir.Path("up.bin"), "bytes");
        Command command({"upload", url, dir.Path("up.bin")}, logs, false);
        const pid_t pid = command.Pid();
        const std::string connecting = phase;
        ASSERT_TRUE(command.WaitUntil([&] {
            return connecting == "connecting" ? Connecting(pid) : Connected(pid);
        })) << phase;
        command.Interrupt(3);
        const int status = command.Status();
        EXPECT_TRUE(status != -1 && WIFSIGNALED(status) && WTERMSIG(status) == SIGINT)
            << phase << ": " << Described(status);
        EXPECT_EQ(FileNames(dir.path()), std::vector<std::string>{"up.bin"}) << phase;
    }
}

TEST(OrvexInterrupt, RequestsEndAsInterrupted) {
    const std::string stall = HttpTestServer::Get().Http("/stall/30");
    for (const std::vector<std::string>& arguments : {std::vector<std::string>{"get", stall},
                                                      {"post", stall, "--data", "x"},
                                                      {"soap", stall, "--method", "M"}}) {
        TempDir logs;
        Command command(arguments, logs, false);
        const pid_t pid = command.Pid();
        ASSERT_TRUE(command.WaitUntil([&] { return Connected(pid); })) << arguments[0];
        command.Interrupt(2);
        const int status = command.Status();
        EXPECT_TRUE(status != -1 && WIFSIGNALED(status) && WTERMSIG(status) == SIGINT)
            << arguments[0] << ": " << Described(status);
    }
}

TEST(OrvexInterrupt, AnInterruptIgnoredFromTheStartStaysIgnored) {
    // As a background job of a script gets it: the transfer goes on to its end.
    TempDir dir, logs;
    Command command({"download", HttpTestServer::Get().Http("/trickle/40/20"), dir.Path("target")}, logs,
                    false, true);
    const pid_t pid = command.Pid();
    if (command.WaitUntil([&] { return Connected(pid); })) command.Interrupt(3);
    const int status = command.Status();
    EXPECT_TRUE(status != -1 && WIFEXITED(status) && WEXITSTATUS(status) == 0) << Described(status);
    EXPECT_EQ(ReadFile(dir.Path("target")), std::string(40, 'x'));
}

}  // namespace
