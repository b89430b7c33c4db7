// HTTP request engine against its peers, in one run:
//  - 5,000 sequential small GETs on one handle, beside a plain libcurl loop
//    that reuses one easy handle, and beside a new easy handle per request;
//  - a 256 MiB response read into the byte buffer, beside `curl -o /dev/null`
//    on the same URL, with the peak memory of each in a process of its own.
// The server is a small keep-alive HTTP/1.1 server inside this program (a
// thread per connection), so that the figures measure the clients.
#include <orvex.h>

#include <benchmark/benchmark.h>
#include <curl/curl.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr long long kBigBytes = 256LL * 1024 * 1024;
constexpr int kSmallRequests = 5000;
const char kSmallBody[] = "hello, world\n";

// ---------------------------------------------------------------- server

bool SendAll(int fd, const char* data, size_t length) {
    while (length > 0) {
        const ssize_t n = send(fd, data, length, MSG_NOSIGNAL);
        if (n <= 0) return false;
        data += n;
        length -= static_cast<size_t>(n);
    }
    return true;
}

void ServeConnection(int fd) {
    static const std::string block(1 << 20, 'b');
    std::string pending;
    char chunk[16384];
    for (;;) {
        size_t end;
        while ((end = pending.find("\r\n\r\n")) == std::string::npos) {
            const ssize_t n = recv(fd, chunk, sizeof chunk, 0);
            if (n <= 0) {
                close(fd);
                return;
            }
            pending.append(chunk, static_cast<size_t>(n));
        }
        const bool big = pending.compare(0, 9, "GET /big ") == 0;
        pending.erase(0, end + 4);
        char head[256];
        const long long length = big ? kBigBytes : static_cast<long long>(sizeof kSmallBody - 1);
        const int headLength = std::snprintf(head, sizeof head,
                                             "HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\n"
                                             "Content-Length: %lld\r\n\r\n",
                                             length);
        if (!big) {
            std::string reply(head, static_cast<size_t>(headLength));
            reply += kSmallBody;
            if (!SendAll(fd, reply.data(), reply.size())) break;
            continue;
        }
        if (!SendAll(fd, head, static_cast<size_t>(headLength))) break;
        bool ok = true;
        for (long long left = kBigBytes; ok && left > 0; left -= static_cast<long long>(block.size()))
            ok = SendAll(fd, block.data(), static_cast<size_t>(std::min<long long>(left, block.size())));
        if (!ok) break;
    }
    close(fd);
}

class BenchServer {
public:
    BenchServer() {
        m_nListen = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(m_nListen, reinterpret_cast<sockaddr*>(&address), sizeof address);
        listen(m_nListen, 128);
        socklen_t size = sizeof address;
        getsockname(m_nListen, reinterpret_cast<sockaddr*>(&address), &size);
        m_nPort = ntohs(address.sin_port);
        std::thread([this] {
            for (;;) {
                const int fd = accept(m_nListen, nullptr, nullptr);
                if (fd < 0) return;
                const int one = 1;
                setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
                std::thread(ServeConnection, fd).detach();
            }
        }).detach();
    }
    std::string Url(const char* path) const { return "http://127.0.0.1:" + std::to_string(m_nPort) + path; }

private:
    int m_nListen = -1;
    int m_nPort = 0;
};

BenchServer& Server() {
    static BenchServer* server = new BenchServer();
    return *server;
}

// Items (requests or bytes) per second of each benchmark, for the ratios at the end.
std::map<std::string, double>& Rates() {
    static std::map<std::string, double> rates;
    return rates;
}

void Record(benchmark::State& state, const char* name, double items, double seconds) {
    if (seconds > 0) Rates()[name] = items / seconds;
    (void)state;
}

double Seconds(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

size_t Collect(char* data, size_t size, size_t count, void* user) {
    static_cast<std::string*>(user)->append(data, size * count);
    return size * count;
}

// ---------------------------------------------------------------- small GETs

void BM_SmallGet_Orvex(benchmark::State& state) {
    const std::string url = Server().Url("/small");
    HTTP_HANDLE h = HTTP_new(0);
    const auto start = std::chrono::steady_clock::now();
    for (auto _ : state) {
        if (HTTP_Request(h, url.c_str(), nullptr, nullptr) != 1) {
            state.SkipWithError(HTTP_GetLastError(h));
            break;
        }
        benchmark::DoNotOptimize(HTTP_GetResponse(h));
    }
    Record(state, "small_orvex", static_cast<double>(state.iterations()), Seconds(start));
    HTTP_delete(h);
    state.SetItemsProcessed(state.iterations());
}

void BM_SmallGet_CurlReusedHandle(benchmark::State& state) {
    const std::string url = Server().Url("/small");
    CURL* easy = curl_easy_init();
    std::string body;
    curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, Collect);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, &body);
    const auto start = std::chrono::steady_clock::now();
    for (auto _ : state) {
        body.clear();
        if (curl_easy_perform(easy) != CURLE_OK) {
            state.SkipWithError("curl_easy_perform failed");
            break;
        }
        benchmark::DoNotOptimize(body.data());
    }
    Record(state, "small_curl_reused", static_cast<double>(state.iterations()), Seconds(start));
    curl_easy_cleanup(easy);
    state.SetItemsProcessed(state.iterations());
}

void BM_SmallGet_CurlNewHandle(benchmark::State& state) {
    const std::string url = Server().Url("/small");
    std::string body;
    const auto start = std::chrono::steady_clock::now();
    for (auto _ : state) {
        CURL* easy = curl_easy_init();
        body.clear();
        curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
        curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, Collect);
        curl_easy_setopt(easy, CURLOPT_WRITEDATA, &body);
        const CURLcode code = curl_easy_perform(easy);
        curl_easy_cleanup(easy);
        if (code != CURLE_OK) {
            state.SkipWithError("curl_easy_perform failed");
            break;
        }
    }
    Record(state, "small_curl_new", static_cast<double>(state.iterations()), Seconds(start));
    state.SetItemsProcessed(state.iterations());
}

// ---------------------------------------------------------------- 256 MiB

// Runs a program to its end; its wall time and peak resident memory. fork,
// not posix_spawn: a child that shares our memory until exec would inherit
// our own peak.
bool RunChild(const std::vector<std::string>& args, double& seconds, long& maxRssKiB) {
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid < 0) return false;
    if (pid == 0) {
        const int devnull = open("/dev/null", O_WRONLY);
        if (devnull >= 0) dup2(devnull, STDERR_FILENO);
        execv(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    if (wait4(pid, &status, 0, &usage) != pid) return false;
    seconds = Seconds(start);
    maxRssKiB = usage.ru_maxrss;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

std::string SelfPath() {
    char path[4096];
    const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    return n > 0 ? std::string(path, static_cast<size_t>(n)) : std::string();
}

// state.range(0): 1 starts every request from a released buffer (as a new
// handle would), 0 keeps the buffer's memory between requests.
void BM_Big_Orvex(benchmark::State& state) {
    const std::string url = Server().Url("/big");
    const bool fresh = state.range(0) != 0;
    HTTP_HANDLE h = HTTP_new(0);
    if (!fresh) HTTP_Request(h, url.c_str(), nullptr, nullptr);
    double total = 0;
    for (auto _ : state) {
        if (fresh) HTTP_Empty(h);
        const auto start = std::chrono::steady_clock::now();
        if (HTTP_Request(h, url.c_str(), nullptr, nullptr) != 1 ||
            HTTP_GetResponseContentLength(h) != kBigBytes) {
            state.SkipWithError(HTTP_GetLastError(h));
            break;
        }
        total += Seconds(start);
    }
    Record(state, fresh ? "big_orvex_fresh" : "big_orvex_kept",
           static_cast<double>(kBigBytes * state.iterations()), total);
    HTTP_delete(h);
    state.SetBytesProcessed(kBigBytes * state.iterations());
}

void BM_Big_OrvexProcess(benchmark::State& state) {
    const std::string url = Server().Url("/big");
    long rss = 0;
    double total = 0;
    for (auto _ : state) {
        double seconds = 0;
        if (!RunChild({SelfPath(), "--fetch", url}, seconds, rss)) {
            state.SkipWithError("the fetching child failed");
            break;
        }
        total += seconds;
    }
    Record(state, "big_orvex_process", static_cast<double>(kBigBytes * state.iterations()), total);
    state.counters["peak_rss_MiB"] = static_cast<double>(rss) / 1024.0;
    state.counters["peak_per_body"] = static_cast<double>(rss) * 1024.0 / static_cast<double>(kBigBytes);
    Rates()["rss_orvex"] = static_cast<double>(rss);
    state.SetBytesProcessed(kBigBytes * state.iterations());
}

void BM_Big_CurlTool(benchmark::State& state) {
    const std::string url = Server().Url("/big");
    long rss = 0;
    double total = 0;
    for (auto _ : state) {
        double seconds = 0;
        if (!RunChild({"/usr/bin/curl", "-s", "-o", "/dev/null", url}, seconds, rss)) {
            state.SkipWithError("curl failed");
            break;
        }
        total += seconds;
    }
    Record(state, "big_curl_tool", static_cast<double>(kBigBytes * state.iterations()), total);
    state.counters["peak_rss_MiB"] = static_cast<double>(rss) / 1024.0;
    Rates()["rss_curl"] = static_cast<double>(rss);
    state.SetBytesProcessed(kBigBytes * state.iterations());
}

BENCHMARK(BM_SmallGet_Orvex)->Iterations(kSmallRequests)->UseRealTime();
BENCHMARK(BM_SmallGet_CurlReusedHandle)->Iterations(kSmallRequests)->UseRealTime();
BENCHMARK(BM_SmallGet_CurlNewHandle)->Iterations(kSmallRequests)->UseRealTime();
BENCHMARK(BM_Big_Orvex)->Arg(1)->Arg(0)->Iterations(3)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Big_OrvexProcess)->Iterations(3)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Big_CurlTool)->Iterations(3)->UseRealTime()->Unit(benchmark::kMillisecond);

void PrintRatio(const char* label, const char* ours, const char* peer) {
    auto& rates = Rates();
    if (rates.count(ours) == 0 || rates.count(peer) == 0) return;
    std::printf("%-52s %6.1f%%\n", label, 100.0 * rates[ours] / rates[peer]);
}

// The child of BM_Big_OrvexProcess: one request into the buffer, then exit.
int Fetch(const char* url) {
    HTTP_HANDLE h = HTTP_new(0);
    const int ok =
        HTTP_Request(h, url, nullptr, nullptr) == 1 && HTTP_GetResponseContentLength(h) == kBigBytes;
    if (!ok) std::fprintf(stderr, "%s\n", HTTP_GetLastError(h));
    HTTP_delete(h);
    return ok ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "--fetch") == 0) return Fetch(argv[2]);
    curl_global_init(CURL_GLOBAL_DEFAULT);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::printf("\nSide by side (ours / peer):\n");
    PrintRatio("small GETs: orvex / libcurl, one reused easy handle", "small_orvex", "small_curl_reused");
    PrintRatio("small GETs: libcurl new handle / libcurl reused", "small_curl_new", "small_curl_reused");
    PrintRatio("256 MiB: orvex, fresh buffer / curl -o /dev/null", "big_orvex_fresh", "big_curl_tool");
    PrintRatio("256 MiB: orvex, buffer kept / curl -o /dev/null", "big_orvex_kept", "big_curl_tool");
    PrintRatio("256 MiB: orvex own process / curl -o /dev/null", "big_orvex_process", "big_curl_tool");
    auto& rates = Rates();
    if (rates.count("rss_orvex") != 0) {
        std::printf("%-52s %6.2fx the body (curl tool: %.1f MiB)\n", "256 MiB: orvex peak resident memory",
                    rates["rss_orvex"] * 1024.0 / static_cast<double>(kBigBytes), rates["rss_curl"] / 1024.0);
    }
    return 0;
}
