// HTTP request engine against its peers, in one run:
//  - 5,000 sequential small GETs on one handle, beside a plain libcurl loop
//    that reuses one easy handle, and beside a new easy handle per request;
//  - a 256 MiB response read into the byte buffer, beside `curl -o /dev/null`
//    on the same URL, with the peak memory of each in a process of its own.
// The server is a small keep-alive HTTP/1.1 server inside this program (a
// thread per connection), so that the figures measure the clients.
#include <orvex.h>

#include "bench_support.h"

#include <benchmark/benchmark.h>
#include <curl/curl.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr long long kBigBytes = 256LL * 1024 * 1024;
constexpr int kSmallRequests = 5000;
const char kSmallBody[] = "hello, world\n";

// ---------------------------------------------------------------- server

using bench::Record;
using bench::Seconds;

bool Respond(int fd, const std::string& head, const std::string& /*body*/) {
    static const std::string block(1 << 20, 'b');
    if (head.compare(0, 9, "GET /big ") != 0) return bench::Reply(fd, "text/plain", kSmallBody);
    char reply[256];
    const int length = std::snprintf(reply, sizeof reply,
                                     "HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\n"
                                     "Content-Length: %lld\r\n\r\n",
                                     kBigBytes);
    if (!bench::SendAll(fd, reply, static_cast<size_t>(length))) return false;
    for (long long left = kBigBytes; left > 0; left -= static_cast<long long>(block.size()))
        if (!bench::SendAll(fd, block.data(), static_cast<size_t>(std::min<long long>(left, block.size()))))
            return false;
    return true;
}

bench::LocalServer& Server() {
    static auto* server = new bench::LocalServer(Respond);
    return *server;
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
    Record("small_orvex", static_cast<double>(state.iterations()), Seconds(start));
    HTTP_delete(h);
    state.SetItemsProcessed(state.iterations());
}

// Argument 1: the request carries the two header lines ours does (its
// User-Agent and Content-Type), which cost libcurl about 5,000 instructions
// each to check and format: the same request, not a smaller one.
void BM_SmallGet_CurlReusedHandle(benchmark::State& state) {
    const bool sameHeaders = state.range(0) != 0;
    const std::string url = Server().Url("/small");
    CURL* easy = curl_easy_init();
    curl_slist* headers = curl_slist_append(nullptr, "Content-Type:text/html; charset=UTF-8");
    if (sameHeaders) {
        curl_easy_setopt(easy, CURLOPT_USERAGENT, "Orvex/1.0");
        curl_easy_setopt(easy, CURLOPT_HTTPHEADER, headers);
    }
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
    Record(sameHeaders ? "small_curl_same_headers" : "small_curl_reused",
           static_cast<double>(state.iterations()), Seconds(start));
    curl_easy_cleanup(easy);
    curl_slist_free_all(headers);
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
    Record("small_curl_new", static_cast<double>(state.iterations()), Seconds(start));
    state.SetItemsProcessed(state.iterations());
}

// Python's requests with one session (connections kept), timed inside
// Python so that the interpreter's start does not count.
void BM_SmallGet_PythonRequests(benchmark::State& state) {
    const std::string url = Server().Url("/small");
    const std::string command =
        "/usr/bin/python3 -c \"import sys, time, requests\n"
        "s = requests.Session()\nt = time.perf_counter()\n"
        "for _ in range(int(sys.argv[2])): s.get(sys.argv[1]).content\n"
        "print(time.perf_counter() - t)\" " +
        url + " " + std::to_string(kSmallRequests) + " 2>/dev/null";
    for (auto _ : state) {
        double seconds = 0;
        if (!bench::TimedCommand(command, seconds)) {
            state.SkipWithError("python3 with requests is not available");
            break;
        }
        state.SetIterationTime(seconds);
        Record("small_python_requests", kSmallRequests, seconds);
    }
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
    Record(fresh ? "big_orvex_fresh" : "big_orvex_kept", static_cast<double>(kBigBytes * state.iterations()),
           total);
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
    Record("big_orvex_process", static_cast<double>(kBigBytes * state.iterations()), total);
    state.counters["peak_rss_MiB"] = static_cast<double>(rss) / 1024.0;
    state.counters["peak_per_body"] = static_cast<double>(rss) * 1024.0 / static_cast<double>(kBigBytes);
    bench::Rates()["rss_orvex"] = static_cast<double>(rss);
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
    Record("big_curl_tool", static_cast<double>(kBigBytes * state.iterations()), total);
    state.counters["peak_rss_MiB"] = static_cast<double>(rss) / 1024.0;
    bench::Rates()["rss_curl"] = static_cast<double>(rss);
    state.SetBytesProcessed(kBigBytes * state.iterations());
}

BENCHMARK(BM_SmallGet_Orvex)->Iterations(kSmallRequests)->UseRealTime();
BENCHMARK(BM_SmallGet_CurlReusedHandle)->Arg(0)->Arg(1)->Iterations(kSmallRequests)->UseRealTime();
BENCHMARK(BM_SmallGet_CurlNewHandle)->Iterations(kSmallRequests)->UseRealTime();
BENCHMARK(BM_SmallGet_PythonRequests)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Big_Orvex)->Arg(1)->Arg(0)->Iterations(3)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Big_OrvexProcess)->Iterations(3)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Big_CurlTool)->Iterations(3)->UseRealTime()->Unit(benchmark::kMillisecond);

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
    bench::PrintRatio("small GETs: orvex / libcurl, one reused easy handle", "small_orvex",
                      "small_curl_reused");
    bench::PrintRatio("small GETs: orvex / libcurl reused, the same two header lines", "small_orvex",
                      "small_curl_same_headers");
    bench::PrintRatio("small GETs: libcurl new handle / libcurl reused", "small_curl_new",
                      "small_curl_reused");
    bench::PrintRatio("small GETs: Python requests session / libcurl reused", "small_python_requests",
                      "small_curl_reused");
    bench::PrintRatio("256 MiB: orvex, fresh buffer / curl -o /dev/null", "big_orvex_fresh", "big_curl_tool");
    bench::PrintRatio("256 MiB: orvex, buffer kept / curl -o /dev/null", "big_orvex_kept", "big_curl_tool");
    bench::PrintRatio("256 MiB: orvex own process / curl -o /dev/null", "big_orvex_process", "big_curl_tool");
    auto& rates = bench::Rates();
    if (rates.count("rss_orvex") != 0) {
        std::printf("%-52s %6.2fx the body (curl tool: %.1f MiB)\n", "256 MiB: orvex peak resident memory",
                    rates["rss_orvex"] * 1024.0 / static_cast<double>(kBigBytes), rates["rss_curl"] / 1024.0);
    }
    return 0;
}
