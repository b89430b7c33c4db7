// File downloads against their peers, in one run, each side a whole process
// of its own so that start-up and peak memory compare:
//  - 1 GiB over HTTP from a server inside this program into a new file:
//    DownloadFile (this program run again with --download), `curl -s -o`,
//    and Python's urllib copied to a file, beside the floor, `cp` of a file
//    of the same bytes on the same file system;
//  - the same at 256 MiB, to show that no side's peak memory follows the size;
//  - 1 GiB from nginx with sendfile, as a real server sends it: so fast that
//    the clients' own costs decide. nginx runs on one processor and every
//    side on another where there are two; without /usr/sbin/nginx the
//    section is skipped with a message;
//  - 256 MiB over FTP from tests/servers/ftp_server.py, DownloadFile beside
//    `curl -s -o`.
// The sides take turns over several rounds and the table gives each one's
// median, best and worst. Every run writes a new file, which is then read
// back and compared byte for byte, so that a quick failure cannot pass for a
// quick download. The files live in a directory under /tmp, removed at the
// end; --benchmark_filter picks sections (BM_HttpDownload/1024,
// BM_HttpDownload/256, BM_NginxDownload, BM_FtpDownload).
#include <orvex.h>

#include "bench_support.h"

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

constexpr long long kMiB = 1024 * 1024;
constexpr long long kBigBytes = 1024 * kMiB;
constexpr long long kSmallerBytes = 256 * kMiB;
constexpr int kRounds = 5;
// Both sources, one target and its part file while it is replaced, and room to spare.
constexpr std::uintmax_t kSpaceNeeded = 4ULL * 1024 * 1024 * 1024;
// The FTP server ends by itself should this program die before stopping it.
constexpr int kFtpLifetimeSeconds = 900;

const char kPythonCopy[] =
    "import shutil,sys,urllib.request; r=urllib.request.urlopen(sys.argv[1]); "
    "f=open(sys.argv[2],\"wb\"); shutil.copyfileobj(r,f,1<<20); f.close()";

// ---------------------------------------------------------------- files

// The temporary directory everything of the run lives in: the sources
// (which the FTP server also serves) under sources/, and the one target
// that every side writes, so that cp's floor is the same file system's.
struct Workspace {
    std::string dir;
    std::string Sources() const { return dir + "/sources"; }
    std::string Source(long long bytes) const {
        return Sources() + "/source-" + std::to_string(bytes / kMiB) + ".bin";
    }
    std::string Target() const { return dir + "/target.bin"; }
    std::string Log() const { return dir + "/child.log"; }
};

Workspace& Work() {
    static Workspace work;
    return work;
}

bool MakeWorkspace(std::string& problem) {
    if (!Work().dir.empty()) return true;
    std::error_code error;
    const fs::space_info space = fs::space("/tmp", error);
    if (error || space.available < kSpaceNeeded) {
        problem = "/tmp needs 4 GiB free for the files of this benchmark";
        return false;
    }
    char dir[] = "/tmp/orvex-bench-transfer-XXXXXX";
    if (mkdtemp(dir) == nullptr) {
        problem = std::string("mkdtemp: ") + std::strerror(errno);
        return false;
    }
    Work().dir = dir;
    if (!fs::create_directory(Work().Sources(), error)) {
        problem = Work().Sources() + ": " + error.message();
        return false;
    }
    return true;
}

void RemoveWorkspace() {
    if (Work().dir.empty()) return;
    std::error_code error;
    fs::remove_all(Work().dir, error);
    Work().dir.clear();
}

// A child's peak memory counts what it had of ours between fork and exec
// (fork copies our page tables), except shared mappings of files. So files
// are written, compared and served through such mappings: buffers of ours
// would show in the peak of the smallest side (cp).
class Mapping {
public:
    Mapping(int fd, long long bytes, int protection) : m_nBytes(static_cast<size_t>(bytes)) {
        void* at = mmap(nullptr, m_nBytes, protection, MAP_SHARED, fd, 0);
        m_pBytes = at == MAP_FAILED ? nullptr : static_cast<char*>(at);
    }
    ~Mapping() {
        if (m_pBytes != nullptr) munmap(m_pBytes, m_nBytes);
    }
    Mapping(const Mapping&) = delete;
    Mapping& operator=(const Mapping&) = delete;

    char* Bytes() const { return m_pBytes; }

private:
    char* m_pBytes = nullptr;
    size_t m_nBytes;
};

// A source: one MiB of pseudo-random bytes (xorshift), repeated. A target of
// zeros or of one byte over and over (a hole, a truncation filled in)
// cannot match it.
bool WriteSource(const std::string& path, long long bytes) {
    const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    bool ok = ftruncate(fd, bytes) == 0;
    if (ok) {
        Mapping file(fd, bytes, PROT_READ | PROT_WRITE);
        ok = file.Bytes() != nullptr;
        std::uint64_t x = 0x9E3779B97F4A7C15ULL;
        for (long long i = 0; ok && i < kMiB; ++i) {
            x ^= x << 13;
            x ^= x >> 7;
            x ^= x << 17;
            file.Bytes()[i] = static_cast<char>(x >> 56);
        }
        for (long long at = kMiB; ok && at < bytes; at += kMiB)
            std::memcpy(file.Bytes() + at, file.Bytes(), kMiB);
    }
    // On disk before any timing, so that no side pays for writing it back.
    ok = fsync(fd) == 0 && ok;
    return close(fd) == 0 && ok;
}

// Empty when path holds the same `bytes` bytes as the source, else what is
// wrong with it.
std::string CheckFile(const std::string& path, const std::string& source, long long bytes) {
    struct stat st {};
    if (stat(path.c_str(), &st) != 0) return path + ": " + std::strerror(errno);
    if (st.st_size != bytes)
        return path + " has " + std::to_string(st.st_size) + " bytes, not " + std::to_string(bytes);
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    const int sourceFd = open(source.c_str(), O_RDONLY | O_CLOEXEC);
    std::string problem;
    {
        const Mapping file(fd, bytes, PROT_READ);
        const Mapping expected(sourceFd, bytes, PROT_READ);
        if (file.Bytes() == nullptr || expected.Bytes() == nullptr) problem = path + ": cannot be read";
        for (long long at = 0; at < bytes && problem.empty(); at += kMiB)
            if (std::memcmp(file.Bytes() + at, expected.Bytes() + at, kMiB) != 0)
                problem = path + " differs from the source in the MiB at " + std::to_string(at / kMiB);
    }
    if (fd >= 0) close(fd);
    if (sourceFd >= 0) close(sourceFd);
    return problem;
}

// The source of `bytes` bytes, written on first use; "" on failure.
std::string Source(long long bytes, std::string& problem) {
    const std::string path = Work().Source(bytes);
    struct stat st {};
    if (stat(path.c_str(), &st) == 0 && st.st_size == bytes) return path;
    if (!WriteSource(path, bytes)) {
        problem = path + ": " + std::strerror(errno);
        return "";
    }
    return path;
}

// ---------------------------------------------------------------- server

std::string Head(long long bytes) {
    return "HTTP/1.1 200 OK\r\nContent-Type: application/octet-stream\r\nContent-Length: " +
           std::to_string(bytes) + "\r\n\r\n";
}

// GET /big answers the 1 GiB source, GET /big?mib=N the source of N MiB.
// The body is the source's first MiB sent over and over, which is the
// whole source since it repeats that MiB. A MiB that stays in the processor's
// cache keeps the server cheap beside the clients, which share two cores
// with it.
bool Respond(int fd, const std::string& head, const std::string& /*body*/) {
    long long bytes = 0;
    if (head.compare(0, 9, "GET /big ") == 0)
        bytes = kBigBytes;
    else if (head.compare(0, 13, "GET /big?mib=") == 0)
        bytes = std::atoll(head.c_str() + 13) * kMiB;
    const int source = bytes > 0 ? open(Work().Source(bytes).c_str(), O_RDONLY | O_CLOEXEC) : -1;
    const Mapping block(source, kMiB, PROT_READ);
    if (source >= 0) close(source);
    if (block.Bytes() == nullptr) {
        static const char kNotFound[] = "HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\n\r\n";
        bench::SendAll(fd, kNotFound, sizeof kNotFound - 1);
        return false;
    }
    const std::string replyHead = Head(bytes);
    bool ok = bench::SendAll(fd, replyHead.data(), replyHead.size());
    for (long long left = bytes; ok && left > 0; left -= kMiB) ok = bench::SendAll(fd, block.Bytes(), kMiB);
    return ok;
}

bench::LocalServer& Server() {
    static auto* server = new bench::LocalServer(Respond);
    return *server;
}

std::string BigPath(long long bytes) {
    return bytes == kBigBytes ? "/big" : "/big?mib=" + std::to_string(bytes / kMiB);
}

// The server alone: one GET whose reply a bare socket loop in this process
// reads and drops, what any client pays before it writes a byte. 0 on
// failure.
double BareRead(const std::string& url, long long bytes) {
    int port = 0;
    if (std::sscanf(url.c_str(), "http://127.0.0.1:%d", &port) != 1) return 0;
    const std::string request =
        "GET " + url.substr(url.find('/', 7)) + " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
    const auto start = std::chrono::steady_clock::now();
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<uint16_t>(port));
    if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        !bench::SendAll(fd, request.data(), request.size())) {
        close(fd);
        return 0;
    }
    // The server keeps the connection for another request: stop at the
    // reply's last byte rather than at an end of stream.
    const long long expected = static_cast<long long>(Head(bytes).size()) + bytes;
    static char buffer[256 * 1024];
    long long got = 0;
    while (got < expected) {
        const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0) break;
        got += n;
    }
    close(fd);
    return got == expected ? bench::Seconds(start) : 0;
}

// ---------------------------------------------------------------- processes

std::string SelfPath() {
    char path[4096];
    const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    return n > 0 ? std::string(path, static_cast<size_t>(n)) : std::string();
}

std::vector<char*> Argv(const std::vector<std::string>& args) {
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    return argv;
}

// Runs a program to its end, its output (both streams) into `log`; its wall
// time and peak resident memory. Between fork and exec only calls that are
// safe in the child of a threaded process; the child keeps none of our
// descriptors (the server's sockets among them).
// With `cpu` 0 or more, the child runs on that processor alone.
struct ChildTimes {
    double user = 0;    // seconds of processor time in the program itself
    double system = 0;  // and in the kernel on its behalf
};

bool RunChild(const std::vector<std::string>& args, const std::string& log, double& seconds, long& peakKiB,
              int cpu = -1, ChildTimes* times = nullptr) {
    std::vector<char*> argv = Argv(args);
    cpu_set_t cpus;
    CPU_ZERO(&cpus);
    if (cpu >= 0) CPU_SET(cpu, &cpus);
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid < 0) return false;
    if (pid == 0) {
        if (cpu >= 0) sched_setaffinity(0, sizeof cpus, &cpus);
        const int out = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (out >= 0) {
            dup2(out, STDOUT_FILENO);
            dup2(out, STDERR_FILENO);
        }
        close_range(3, ~0U, 0);
        execv(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    if (wait4(pid, &status, 0, &usage) != pid) return false;
    seconds = bench::Seconds(start);
    peakKiB = usage.ru_maxrss;
    if (times != nullptr) {
        times->user =
            static_cast<double>(usage.ru_utime.tv_sec) + static_cast<double>(usage.ru_utime.tv_usec) / 1e6;
        times->system =
            static_cast<double>(usage.ru_stime.tv_sec) + static_cast<double>(usage.ru_stime.tv_usec) / 1e6;
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// What a failed child said, on one line and not too long for a table.
std::string LogText(const std::string& log) {
    std::string text;
    if (FILE* file = std::fopen(log.c_str(), "r")) {
        char line[512];
        while (text.size() < 400 && std::fgets(line, sizeof line, file) != nullptr) text += line;
        std::fclose(file);
    }
    std::replace(text.begin(), text.end(), '\n', ' ');
    std::replace(text.begin(), text.end(), '\r', ' ');
    return text.empty() ? "(no output)" : text;
}

// tests/servers/ftp_server.py, found beside this source (or under
// $ORVEX_SOURCE_DIR, as the test suites find it).
std::string FtpServerScript() {
    const char* dir = std::getenv("ORVEX_SOURCE_DIR");
    const fs::path root = dir != nullptr ? fs::path(dir) : fs::path(__FILE__).parent_path().parent_path();
    return (root / "tests" / "servers" / "ftp_server.py").string();
}

// The FTP server in a process of its own, anonymous, serving `root`; it is
// stopped (by its pid) when this object goes.
class FtpServer {
public:
    FtpServer(const std::string& root, std::string& problem) {
        const std::string script = FtpServerScript();
        if (access(script.c_str(), R_OK) != 0) {
            problem = script + " is not there (set ORVEX_SOURCE_DIR to the source tree)";
            return;
        }
        int pipeFds[2];
        if (pipe2(pipeFds, O_CLOEXEC) != 0) {
            problem = std::string("pipe: ") + std::strerror(errno);
            return;
        }
        const std::vector<std::string> args = {
            "/usr/bin/python3", script, "--root", root, "--lifetime", std::to_string(kFtpLifetimeSeconds)};
        std::vector<char*> argv = Argv(args);
        m_pid = fork();
        if (m_pid == 0) {
            dup2(pipeFds[1], STDOUT_FILENO);
            close_range(3, ~0U, 0);
            execv(argv[0], argv.data());
            _exit(127);
        }
        close(pipeFds[1]);
        m_pOutput = fdopen(pipeFds[0], "r");
        char line[64] = "";
        if (m_pid < 0 || m_pOutput == nullptr || std::fgets(line, sizeof line, m_pOutput) == nullptr ||
            std::sscanf(line, "PORT %d", &m_nPort) != 1) {
            problem = "the FTP server did not start (python3 with pyftpdlib is needed)";
            m_nPort = 0;
        }
    }
    ~FtpServer() {
        if (m_pid > 0) {
            kill(m_pid, SIGTERM);
            waitpid(m_pid, nullptr, 0);
        }
        if (m_pOutput != nullptr) std::fclose(m_pOutput);
    }
    FtpServer(const FtpServer&) = delete;
    FtpServer& operator=(const FtpServer&) = delete;

    int Port() const { return m_nPort; }

private:
    pid_t m_pid = -1;
    FILE* m_pOutput = nullptr;
    int m_nPort = 0;
};

// The processors for a server and its clients apart: the first and the last
// this program may use, or -1 and -1 with fewer than two.
void ServerAndClientCpus(int& server, int& client) {
    server = client = -1;
    cpu_set_t cpus;
    if (sched_getaffinity(0, sizeof cpus, &cpus) != 0 || CPU_COUNT(&cpus) < 2) return;
    for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu) {
        if (!CPU_ISSET(cpu, &cpus)) continue;
        if (server < 0) server = cpu;
        client = cpu;
    }
}

// A port nobody listens on now, for a server that cannot report the one it took.
int FreePort() {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    int port = 0;
    if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size) == 0)
        port = ntohs(address.sin_port);
    close(fd);
    return port;
}

bool Accepts(int port) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<uint16_t>(port));
    const bool ok = connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    close(fd);
    return ok;
}

// nginx in one process of its own (no master), serving `root` with sendfile
// on 127.0.0.1, its files under `dir`; stopped (by its pid) when this object goes.
class NginxServer {
public:
    static constexpr const char* kBinary = "/usr/sbin/nginx";

    NginxServer(const std::string& root, const std::string& dir, int cpu, std::string& problem) {
        if (access(kBinary, X_OK) != 0) {
            problem = "nginx is not installed (Debian package nginx): this section is skipped";
            return;
        }
        std::error_code error;
        fs::create_directories(dir + "/temp", error);
        m_nPort = FreePort();
        const std::string conf = dir + "/nginx.conf";
        if (FILE* file = std::fopen(conf.c_str(), "w")) {
            std::fprintf(file,
                         "daemon off;\nmaster_process off;\nworker_processes 1;\npid %s/nginx.pid;\n"
                         "error_log %s/error.log;\nevents { worker_connections 64; }\n"
                         "http {\n  access_log off;\n  sendfile on;\n  tcp_nopush on;\n"
                         "  default_type application/octet-stream;\n"
                         "  client_body_temp_path %s/temp; proxy_temp_path %s/temp;\n"
                         "  fastcgi_temp_path %s/temp; uwsgi_temp_path %s/temp; scgi_temp_path %s/temp;\n"
                         "  server { listen 127.0.0.1:%d; root %s; }\n}\n",
                         dir.c_str(), dir.c_str(), dir.c_str(), dir.c_str(), dir.c_str(), dir.c_str(),
                         dir.c_str(), m_nPort, root.c_str());
            std::fclose(file);
        }
        const std::vector<std::string> args = {kBinary, "-p", dir, "-c", conf, "-e", dir + "/error.log"};
        std::vector<char*> argv = Argv(args);
        cpu_set_t cpus;
        CPU_ZERO(&cpus);
        if (cpu >= 0) CPU_SET(cpu, &cpus);
        m_pid = fork();
        if (m_pid == 0) {
            if (cpu >= 0) sched_setaffinity(0, sizeof cpus, &cpus);
            const int out =
                open((dir + "/stderr.log").c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
            if (out >= 0) {
                dup2(out, STDOUT_FILENO);
                dup2(out, STDERR_FILENO);
            }
            close_range(3, ~0U, 0);
            execv(argv[0], argv.data());
            _exit(127);
        }
        for (int i = 0; i < 100 && m_pid > 0; ++i) {
            if (Accepts(m_nPort)) return;
            usleep(50 * 1000);
        }
        problem = "nginx did not start: " + LogText(dir + "/stderr.log");
        m_nPort = 0;
    }
    ~NginxServer() {
        if (m_pid > 0) {
            kill(m_pid, SIGTERM);
            waitpid(m_pid, nullptr, 0);
        }
    }
    NginxServer(const NginxServer&) = delete;
    NginxServer& operator=(const NginxServer&) = delete;

    int Port() const { return m_nPort; }

private:
    pid_t m_pid = -1;
    int m_nPort = 0;
};

// ---------------------------------------------------------------- rounds

struct Side {
    Side(std::string label, std::string key, std::vector<std::string> args)
        : label(std::move(label)), key(std::move(key)), args(std::move(args)) {}

    std::string label;  // in the table
    std::string key;    // in bench::Rates, after the section's prefix
    std::vector<std::string> args;
    std::vector<double> seconds;
    std::vector<double> user;
    std::vector<double> system;
    long peakKiB = 0;
};

double Median(std::vector<double> values) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 != 0 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

double Best(const std::vector<double>& values) {
    return values.empty() ? 0 : *std::min_element(values.begin(), values.end());
}

double Worst(const std::vector<double>& values) {
    return values.empty() ? 0 : *std::max_element(values.begin(), values.end());
}

// A comparison as the table at the end prints it.
struct Section {
    std::string title;
    std::string prefix;
    long long bytes = 0;
    std::vector<Side> sides;
    size_t base = 0;         // the side the others are compared with
    double bareSeconds = 0;  // the server alone, for HTTP
};

std::vector<Section>& Sections() {
    static std::vector<Section> sections;
    return sections;
}

// Runs every side once uncounted, then `rounds` times, taking turns, each
// round starting one side later so that none always follows the same one.
// The target is removed before each run (every side creates a new file)
// and checked after it. False, with the reason, at the first run that
// fails or writes the wrong bytes.
//
// The uncounted round puts the programs and their libraries in the page
// cache, and leaves a target behind whose memory the first counted run gets
// back, as every later run gets its predecessor's. On a virtual machine that
// hands free memory back to its host, memory that has lain free for a
// second or two costs a fault in the host on first touch: on the machine
// these figures were first taken on, 1 GiB written right after a delete took
// 0.35 s, and 2.8 s when written two seconds later. A run that lasts longer
// than that pays part of it all the same: the best column shows runs that
// did not.
bool RunRounds(std::vector<Side>& sides, int rounds, long long bytes, std::string& problem, int cpu = -1) {
    const std::string target = Work().Target();
    for (int round = -1; round < rounds; ++round) {
        for (size_t i = 0; i < sides.size(); ++i) {
            Side& side = sides[(static_cast<size_t>(round + 1) + i) % sides.size()];
            unlink(target.c_str());
            // Nothing of an earlier run left to write back during this one.
            sync();
            double seconds = 0;
            long peakKiB = 0;
            ChildTimes times;
            if (!RunChild(side.args, Work().Log(), seconds, peakKiB, cpu, &times)) {
                problem = side.label + " failed: " + LogText(Work().Log());
                return false;
            }
            const std::string wrong = CheckFile(target, Work().Source(bytes), bytes);
            if (!wrong.empty()) {
                problem = side.label + ": " + wrong;
                return false;
            }
            if (round < 0) continue;
            side.seconds.push_back(seconds);
            side.user.push_back(times.user);
            side.system.push_back(times.system);
            side.peakKiB = std::max(side.peakKiB, peakKiB);
        }
    }
    unlink(target.c_str());
    return true;
}

// Keeps a finished comparison for the table, its medians as rates for the
// ratio lines, and shows them as counters too.
void Keep(benchmark::State& state, Section section) {
    for (const Side& side : section.sides) {
        const double median = Median(side.seconds);
        bench::Record((section.prefix + side.key).c_str(), static_cast<double>(section.bytes), median);
        state.counters[side.key + "_s"] = median;
        state.counters[side.key + "_MiB"] = static_cast<double>(side.peakKiB) / 1024.0;
    }
    Sections().push_back(std::move(section));
}

std::vector<Side> HttpSides(const std::string& source, const std::string& url) {
    const std::string target = Work().Target();
    return {
        {"cp (the floor)", "cp", {"/usr/bin/cp", source, target}},
        {"orvex DownloadFile", "orvex", {SelfPath(), "--download", url, target}},
        {"curl -s -o", "curl", {"/usr/bin/curl", "-s", "-o", target, url}},
        {"python3 urllib + copyfileobj", "python", {"/usr/bin/python3", "-c", kPythonCopy, url, target}},
    };
}

// ---------------------------------------------------------------- benchmarks

// state.range(0): the size in MiB. The benchmark's time is Orvex's median.
void BM_HttpDownload(benchmark::State& state) {
    const long long bytes = state.range(0) * kMiB;
    std::string problem;
    std::string source;
    if (!MakeWorkspace(problem) || (source = Source(bytes, problem)).empty()) {
        state.SkipWithError(problem.c_str());
        return;
    }
    const std::string url = Server().Url(BigPath(bytes).c_str());
    Section section;
    section.title = std::to_string(bytes / kMiB) + " MiB over HTTP into a new file";
    section.prefix = "http" + std::to_string(bytes / kMiB) + "_";
    section.bytes = bytes;
    section.sides = HttpSides(source, url);
    for (auto _ : state) {
        // The best of three, so that one slow start does not hide what the server can do.
        for (int i = 0; i < 3; ++i) {
            const double seconds = BareRead(url, bytes);
            if (seconds > 0 && (section.bareSeconds == 0 || seconds < section.bareSeconds))
                section.bareSeconds = seconds;
        }
        if (!RunRounds(section.sides, kRounds, bytes, problem)) {
            state.SkipWithError(problem.c_str());
            return;
        }
        state.SetIterationTime(Median(section.sides[1].seconds));
    }
    state.SetBytesProcessed(bytes);
    Keep(state, std::move(section));
}

// What users meet: a server that sends from the page cache with sendfile,
// faster than any client here writes a file, so each side's own costs show.
void BM_NginxDownload(benchmark::State& state) {
    const long long bytes = kBigBytes;
    std::string problem;
    std::string source;
    if (!MakeWorkspace(problem) || (source = Source(bytes, problem)).empty()) {
        state.SkipWithError(problem.c_str());
        return;
    }
    int serverCpu = -1;
    int clientCpu = -1;
    ServerAndClientCpus(serverCpu, clientCpu);
    NginxServer server(Work().Sources(), Work().dir + "/nginx", serverCpu, problem);
    if (server.Port() == 0) {
        std::fprintf(stderr, "%s\n", problem.c_str());
        state.SkipWithError(problem.c_str());
        return;
    }
    const std::string url =
        "http://127.0.0.1:" + std::to_string(server.Port()) + "/" + fs::path(source).filename().string();
    Section section;
    section.title = std::to_string(bytes / kMiB) + " MiB over HTTP from nginx (sendfile) into a new file" +
                    (clientCpu >= 0 ? ", nginx on CPU " + std::to_string(serverCpu) + ", each side on CPU " +
                                          std::to_string(clientCpu)
                                    : std::string());
    section.prefix = "nginx" + std::to_string(bytes / kMiB) + "_";
    section.bytes = bytes;
    section.sides = HttpSides(source, url);
    for (auto _ : state) {
        if (!RunRounds(section.sides, kRounds, bytes, problem, clientCpu)) {
            state.SkipWithError(problem.c_str());
            return;
        }
        state.SetIterationTime(Median(section.sides[1].seconds));
    }
    state.SetBytesProcessed(bytes);
    Keep(state, std::move(section));
}

void BM_FtpDownload(benchmark::State& state) {
    const long long bytes = kSmallerBytes;
    std::string problem;
    std::string source;
    if (!MakeWorkspace(problem) || (source = Source(bytes, problem)).empty()) {
        state.SkipWithError(problem.c_str());
        return;
    }
    FtpServer server(Work().Sources(), problem);
    if (server.Port() == 0) {
        state.SkipWithError(problem.c_str());
        return;
    }
    const std::string url =
        "ftp://127.0.0.1:" + std::to_string(server.Port()) + "/" + fs::path(source).filename().string();
    const std::string target = Work().Target();
    Section section;
    section.title = std::to_string(bytes / kMiB) + " MiB over FTP into a new file";
    section.prefix = "ftp" + std::to_string(bytes / kMiB) + "_";
    section.bytes = bytes;
    section.sides = {
        {"curl -s -o", "curl", {"/usr/bin/curl", "-s", "-o", target, url}},
        {"orvex DownloadFile", "orvex", {SelfPath(), "--download", url, target}},
    };
    for (auto _ : state) {
        if (!RunRounds(section.sides, kRounds, bytes, problem)) {
            state.SkipWithError(problem.c_str());
            return;
        }
        state.SetIterationTime(Median(section.sides[1].seconds));
    }
    state.SetBytesProcessed(bytes);
    Keep(state, std::move(section));
}

BENCHMARK(BM_HttpDownload)
    ->Arg(kBigBytes / kMiB)
    ->Arg(kSmallerBytes / kMiB)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_NginxDownload)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FtpDownload)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

// ---------------------------------------------------------------- report

void PrintSection(const Section& section) {
    const Side& base = section.sides[section.base];
    const double baseMedian = Median(base.seconds);
    std::printf("\n%s, %zu rounds:\n", section.title.c_str(), base.seconds.size());
    // The processor time beside the wall time: a server that shares its processor with other work
    // stretches every network side's wall time, while a side's own costs show in its processor time.
    const double baseCpu = Median(base.user) + Median(base.system);
    std::printf("  %-34s %9s %9s %9s %9s %8s %13s %7s %7s %8s\n", "side", "median s", "best s", "worst s",
                "MiB/s", ("x " + base.key).c_str(), "peak RSS MiB", "user s", "sys s",
                ("cpu x " + base.key).c_str());
    const double mib = static_cast<double>(section.bytes) / static_cast<double>(kMiB);
    for (const Side& side : section.sides) {
        const double median = Median(side.seconds);
        const double cpu = Median(side.user) + Median(side.system);
        std::printf("  %-34s %9.3f %9.3f %9.3f %9.0f %8.2f %13.1f %7.3f %7.3f %8.2f\n", side.label.c_str(),
                    median, Best(side.seconds), Worst(side.seconds), mib / median, median / baseMedian,
                    static_cast<double>(side.peakKiB) / 1024.0, Median(side.user), Median(side.system),
                    baseCpu > 0 ? cpu / baseCpu : 0.0);
    }
    // Its best of three, beside the others' medians.
    if (section.bareSeconds > 0)
        std::printf("  %-34s %9s %9.3f %9s %9.0f %8.2f\n", "the server alone (bare reader)", "",
                    section.bareSeconds, "", mib / section.bareSeconds, section.bareSeconds / baseMedian);
}

const Section* FindSection(const std::string& prefix) {
    for (const Section& section : Sections())
        if (section.prefix == prefix) return &section;
    return nullptr;
}

// Peak memory of each side at both HTTP sizes: the same figure twice is
// memory that does not follow the size.
void PrintPeaks() {
    const Section* big = FindSection("http1024_");
    const Section* smaller = FindSection("http256_");
    if (big == nullptr || smaller == nullptr) return;
    std::printf("\nPeak resident memory, 1 GiB / 256 MiB:\n");
    for (size_t i = 0; i < big->sides.size() && i < smaller->sides.size(); ++i)
        std::printf("  %-34s %7.1f MiB / %7.1f MiB\n", big->sides[i].label.c_str(),
                    static_cast<double>(big->sides[i].peakKiB) / 1024.0,
                    static_cast<double>(smaller->sides[i].peakKiB) / 1024.0);
    // No side's peak can be below what a child has of ours before exec.
    double seconds = 0;
    long peakKiB = 0;
    if (RunChild({"/usr/bin/true"}, Work().Log(), seconds, peakKiB))
        std::printf("  %-34s %7.1f MiB (a child that does nothing)\n", "/usr/bin/true",
                    static_cast<double>(peakKiB) / 1024.0);
}

void PrintReport() {
    if (Sections().empty()) return;
    std::printf("\nSide by side, each side a process of its own:");
    for (const Section& section : Sections()) PrintSection(section);
    PrintPeaks();
    std::printf("\nTime ratios (median seconds, first / second):\n");
    bench::PrintTimes("1 GiB HTTP: orvex / cp (the floor)", "http1024_orvex", "http1024_cp");
    bench::PrintTimes("1 GiB HTTP: orvex / curl -s -o", "http1024_orvex", "http1024_curl");
    bench::PrintTimes("1 GiB HTTP: orvex / python3 urllib", "http1024_orvex", "http1024_python");
    bench::PrintTimes("1 GiB HTTP: curl -s -o / cp", "http1024_curl", "http1024_cp");
    bench::PrintTimes("1 GiB HTTP: python3 urllib / cp", "http1024_python", "http1024_cp");
    bench::PrintTimes("1 GiB from nginx: orvex / cp (the floor)", "nginx1024_orvex", "nginx1024_cp");
    bench::PrintTimes("1 GiB from nginx: orvex / curl -s -o", "nginx1024_orvex", "nginx1024_curl");
    bench::PrintTimes("1 GiB from nginx: orvex / python3 urllib", "nginx1024_orvex", "nginx1024_python");
    bench::PrintTimes("1 GiB from nginx: curl -s -o / cp", "nginx1024_curl", "nginx1024_cp");
    bench::PrintTimes("256 MiB HTTP: orvex / cp (the floor)", "http256_orvex", "http256_cp");
    bench::PrintTimes("256 MiB HTTP: orvex / curl -s -o", "http256_orvex", "http256_curl");
    bench::PrintTimes("256 MiB FTP: orvex / curl -s -o", "ftp256_orvex", "ftp256_curl");
}

// The child of the Orvex side: one download, exit 0 only when it succeeded.
int Download(const char* url, const char* file) {
    const char* error = DownloadFile(url, file, 0);
    if (error != nullptr && *error == '\0') return 0;
    std::fprintf(stderr, "%s\n", error != nullptr ? error : "DownloadFile returned NULL");
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::strcmp(argv[1], "--download") == 0) return Download(argv[2], argv[3]);
    // The servers are local: a proxy taken from the environment would time itself.
    setenv("no_proxy", "127.0.0.1", 1);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    PrintReport();
    RemoveWorkspace();
    return 0;
}
