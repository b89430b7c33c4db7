// The SOAP main path against its peers, in one run:
//  - a 100,000-row x 6-field response read into a record set (SOAP_SetSoap +
//    SOAP_GetSRS), beside pugixml's bare load of the same text, beside a
//    pugixml load that copies every field's text into strings, and beside
//    Python's lxml reading it into lists of rows (timed inside Python);
//  - calls per second of a small SOAP call to a local server, beside plain
//    HTTP requests to the same server.
#include <orvex.h>

#include "bench_support.h"

#include <benchmark/benchmark.h>
#include <pugixml.hpp>

#include <cstdio>
#include <malloc.h>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kRows = 100000;
constexpr int kCalls = 3000;

const std::string& Response() {
    static const std::string text = [] {
        std::string s =
            "<?xml version=\"1.0\" encoding=\"utf-8\"?>"
            "<soap:Envelope xmlns:soap=\"http://schemas.xmlsoap.org/soap/envelope/\" "
            "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" "
            "xmlns:xsd=\"http://www.w3.org/2001/XMLSchema\"><soap:Body>"
            "<GetOrdersResponse xmlns=\"http://orvex.test/sample/\"><GetOrdersResult>\n";
        char row[512];
        for (int i = 0; i < kRows; ++i) {
            std::snprintf(row, sizeof row,
                          "  <Order>\n    <Id>%d</Id>\n    <Customer>Smith &amp; Sons &lt;%d&gt;</Customer>\n"
                          "    <Placed>2005-03-%02dT10:20:%02d.0Z</Placed>\n    <Paid>%s</Paid>\n"
                          "    <Amount>%d.%02d</Amount>\n    <Note>note number %d</Note>\n  </Order>\n",
                          i, i % 97, 1 + i % 28, i % 60, i % 3 ? "true" : "false", i % 1000, i % 100, i);
            s += row;
        }
        s += "</GetOrdersResult></GetOrdersResponse></soap:Body></soap:Envelope>";
        return s;
    }();
    return text;
}

void BM_ReadResponse_Orvex(benchmark::State& state) {
    const std::string& text = Response();
    SOAP_HANDLE message = SOAP_new("dotnet", "GetOrders");
    const auto start = std::chrono::steady_clock::now();
    for (auto _ : state) {
        SOAP_SetSoap(message, text.c_str());
        SRS_HANDLE set = SOAP_GetSRS(message);
        if (SRS_RowCount(set) != kRows || SRS_ColCount(set) != 6) {
            state.SkipWithError("wrong record set");
            break;
        }
    }
    bench::Record("read_orvex", static_cast<double>(state.iterations()), bench::Seconds(start));
    SOAP_delete(message);
    state.SetBytesProcessed(static_cast<int64_t>(text.size()) * state.iterations());
}

void BM_ReadResponse_PugiLoad(benchmark::State& state) {
    const std::string& text = Response();
    const auto start = std::chrono::steady_clock::now();
    for (auto _ : state) {
        pugi::xml_document doc;
        if (!doc.load_buffer(text.data(), text.size())) {
            state.SkipWithError("pugixml refused the text");
            break;
        }
        benchmark::DoNotOptimize(doc.first_child());
    }
    bench::Record("read_pugi_load", static_cast<double>(state.iterations()), bench::Seconds(start));
    state.SetBytesProcessed(static_cast<int64_t>(text.size()) * state.iterations());
}

void BM_ReadResponse_PugiCopy(benchmark::State& state) {
    const std::string& text = Response();
    const auto start = std::chrono::steady_clock::now();
    for (auto _ : state) {
        pugi::xml_document doc;
        doc.load_buffer(text.data(), text.size());
        pugi::xml_node result = doc.first_child().first_child().first_child().first_child();
        std::vector<std::vector<std::string>> rows;
        for (pugi::xml_node row : result.children()) {
            std::vector<std::string>& cells = rows.emplace_back();
            for (pugi::xml_node field : row.children()) cells.emplace_back(field.child_value());
        }
        if (rows.size() != static_cast<size_t>(kRows)) {
            state.SkipWithError("wrong row count");
            break;
        }
        benchmark::DoNotOptimize(rows.data());
    }
    bench::Record("read_pugi_copy", static_cast<double>(state.iterations()), bench::Seconds(start));
    state.SetBytesProcessed(static_cast<int64_t>(text.size()) * state.iterations());
}

// Python's lxml into lists of rows, timed inside Python (interpreter start excluded).
void BM_ReadResponse_PythonLxml(benchmark::State& state) {
    char path[] = "/tmp/orvex-bench-soap-XXXXXX";
    const int fd = mkstemp(path);
    if (fd < 0) {
        state.SkipWithError("mkstemp failed");
        return;
    }
    close(fd);
    std::ofstream(path, std::ios::binary) << Response();
    const std::string command =
        "/usr/bin/python3 -c \"import sys, time\nfrom lxml import etree\n"
        "data = open(sys.argv[1], 'rb').read()\nbest = 1e9\n"
        "for _ in range(3):\n"
        "    t = time.perf_counter()\n"
        "    root = etree.fromstring(data)\n"
        "    result = root[0][0][0]\n"
        "    rows = [[field.text for field in row] for row in result]\n"
        "    best = min(best, time.perf_counter() - t)\n"
        "assert len(rows) == " +
        std::to_string(kRows) + "\nprint(best)\" " + path;
    double seconds = 0;
    for (auto _ : state) {
        if (!bench::TimedCommand(command, seconds)) {
            state.SkipWithError("python3 with lxml is not available");
            break;
        }
        state.SetIterationTime(seconds);
    }
    unlink(path);
    if (seconds > 0) bench::Record("read_lxml", 1.0, seconds);
}

// ---------------------------------------------------------------- calls

const char kAddResponse[] =
    "<?xml version='1.0' encoding='UTF-8'?>"
    "<soap:Envelope xmlns:soap=\"http://schemas.xmlsoap.org/soap/envelope/\"><soap:Body>"
    "<AddResponse xmlns=\"http://orvex.test/sample/\"><AddResult>5</AddResult></AddResponse>"
    "</soap:Body></soap:Envelope>";

bool Respond(int fd, const std::string& head, const std::string& /*body*/) {
    if (head.compare(0, 5, "POST ") == 0) return bench::Reply(fd, "text/xml; charset=utf-8", kAddResponse);
    return bench::Reply(fd, "text/plain", "hello, world\n");
}

bench::LocalServer& Server() {
    static auto* server = new bench::LocalServer(Respond);
    return *server;
}

void BM_Call_Soap(benchmark::State& state) {
    const std::string url = Server().Url("/service");
    HTTP_HANDLE request = HTTP_new(1);
    SOAP_HANDLE message = SOAP_new("dotnet", "Add");
    SOAP_SetNameSpace(message, "http://orvex.test/sample/");
    HTTP_AttachSoap(request, message);
    const auto start = std::chrono::steady_clock::now();
    for (auto _ : state) {
        SOAP_AddElement(message, "a", "int", "2");
        SOAP_AddElement(message, "b", "int", "3");
        if (HTTP_Request(request, url.c_str(), nullptr, nullptr) != 1 ||
            SRS_GetInt(SOAP_GetSRS(message), 1, "") != 5) {
            state.SkipWithError(HTTP_GetLastError(request));
            break;
        }
    }
    bench::Record("call_soap", static_cast<double>(state.iterations()), bench::Seconds(start));
    HTTP_delete(request);
    SOAP_delete(message);
    state.SetItemsProcessed(state.iterations());
}

void BM_Call_PlainHttp(benchmark::State& state) {
    const std::string url = Server().Url("/small");
    HTTP_HANDLE request = HTTP_new(0);
    const auto start = std::chrono::steady_clock::now();
    for (auto _ : state) {
        if (HTTP_Request(request, url.c_str(), nullptr, nullptr) != 1) {
            state.SkipWithError(HTTP_GetLastError(request));
            break;
        }
    }
    bench::Record("call_http", static_cast<double>(state.iterations()), bench::Seconds(start));
    HTTP_delete(request);
    state.SetItemsProcessed(state.iterations());
}

BENCHMARK(BM_ReadResponse_Orvex)->Iterations(5)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadResponse_PugiLoad)->Iterations(5)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadResponse_PugiCopy)->Iterations(5)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadResponse_PythonLxml)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Call_Soap)->Iterations(kCalls)->UseRealTime();
BENCHMARK(BM_Call_PlainHttp)->Iterations(kCalls)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    std::printf("response: %zu bytes, %d rows x 6 fields\n", Response().size(), kRows);
    // The timed loops run with a heap that keeps its pages, whatever ran
    // before: every contender then reads into memory already mapped.
    mallopt(M_MMAP_THRESHOLD, 256 << 20);
    mallopt(M_TRIM_THRESHOLD, 1 << 30);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::printf("\nSide by side (time of ours / time of the peer):\n");
    bench::PrintTimes("100k x 6 read: orvex / pugixml bare load", "read_orvex", "read_pugi_load");
    bench::PrintTimes("100k x 6 read: pugixml load + copy / pugixml bare load", "read_pugi_copy",
                      "read_pugi_load");
    bench::PrintTimes("100k x 6 read: Python lxml rows / pugixml bare load", "read_lxml", "read_pugi_load");
    bench::PrintTimes("100k x 6 read: Python lxml rows / orvex", "read_lxml", "read_orvex");
    std::printf("\nCalls (rate of ours / rate of the peer):\n");
    bench::PrintRatio("small SOAP calls / plain HTTP requests, same server", "call_soap", "call_http");
    return 0;
}
