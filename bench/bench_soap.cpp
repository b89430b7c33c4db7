// The SOAP main path against its peers, in one run:
//  - the request envelope of a 100,000 x 6 record-set parameter
//    (SOAP_GetSoap), in turns with a reserved std::string that appends the
//    same bytes with run-copying escapes and with a memcpy of its size;
//  - a 100,000-row x 6-field response read into a record set (SOAP_SetSoap +
//    SOAP_GetSRS) and every cell read back through SRS_GetText by name, in
//    turns with the read alone, pugixml's bare load of the same text (the
//    floor) and a pugixml load that copies every field's text into strings;
//    beside it Python's lxml reading it into lists of rows (timed inside
//    Python);
//  - the same rows as a .NET DataSet (schema and diffgram) read as its
//    table, in turns with the plain table;
//  - calls per second of a small SOAP call to a local server, beside plain
//    HTTP requests to the same server.
#include <orvex.h>

#include "bench_support.h"

#include <benchmark/benchmark.h>
#include <pugixml.hpp>

#include <cstdio>
#include <cstring>
#include <malloc.h>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kRows = 100000;
constexpr int kCalls = 3000;

// The envelope around the orders, up to the return element's content.
const char kResponseHead[] =
    "<?xml version=\"1.0\" encoding=\"utf-8\"?>"
    "<soap:Envelope xmlns:soap=\"http://schemas.xmlsoap.org/soap/envelope/\" "
    "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" "
    "xmlns:xsd=\"http://www.w3.org/2001/XMLSchema\"><soap:Body>"
    "<GetOrdersResponse xmlns=\"http://orvex.test/sample/\"><GetOrdersResult>";

// The orders, each row as a plain table writes it, or (dataSet) with the
// diffgr:id and msdata:rowOrder a .NET DataSet gives its rows.
void AppendOrders(std::string& s, bool dataSet) {
    char row[640];
    char open[96];
    for (int i = 0; i < kRows; ++i) {
        if (dataSet)
            std::snprintf(open, sizeof open, "<Order diffgr:id=\"Order%d\" msdata:rowOrder=\"%d\">", i + 1,
                          i);
        std::snprintf(row, sizeof row,
                      "  %s\n    <Id>%d</Id>\n    <Customer>Smith &amp; Sons &lt;%d&gt;</Customer>\n"
                      "    <Placed>2005-03-%02dT10:20:%02d.0Z</Placed>\n    <Paid>%s</Paid>\n"
                      "    <Amount>%d.%02d</Amount>\n    <Note>note number %d</Note>\n  </Order>\n",
                      dataSet ? open : "<Order>", i, i % 97, 1 + i % 28, i % 60, i % 3 ? "true" : "false",
                      i % 1000, i % 100, i);
        s += row;
    }
}

const std::string& Response() {
    static const std::string text = [] {
        std::string s = std::string(kResponseHead) + "\n";
        AppendOrders(s, false);
        s += "</GetOrdersResult></GetOrdersResponse></soap:Body></soap:Envelope>";
        return s;
    }();
    return text;
}

// The read benchmarks run with a heap that keeps its pages, whatever ran
// before: every contender then reads into memory already mapped. The
// envelope runs first, with the heap as a host has it.
void KeepHeapPages() {
    mallopt(M_MMAP_THRESHOLD, 256 << 20);
    mallopt(M_TRIM_THRESHOLD, 1 << 30);
}

// ---------------------------------------------------------------- envelope

const char kEnvelopeHead[] =
    "<?xml version='1.0' encoding='UTF-8'?>\r\n"
    "<soap:Envelope xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" "
    "xmlns:xsd=\"http://www.w3.org/2001/XMLSchema\" "
    "xmlns:soap=\"http://schemas.xmlsoap.org/soap/envelope/\">\r\n"
    "<soap:Body>\r\n<PutRows xmlns=\"http://tempuri.org/\">\r\n";
const char kEnvelopeTail[] = "\r\n</PutRows>\r\n</soap:Body>\r\n</soap:Envelope>\r\n";

// The envelope a user would write: one reserved std::string, the escapes
// copying the runs between entities whole.
void EnvelopeLoop(std::string& out) {
    out.clear();
    out += kEnvelopeHead;
    bench::AppendTableXml(out, "Rows");
    out += kEnvelopeTail;
}

void BM_Envelope_RoundRobin(benchmark::State& state) {
    SRS_HANDLE set = bench::FillTable();
    SOAP_HANDLE message = SOAP_new("dotnet", "PutRows");
    SOAP_AddNodes(message, "Rows", set);
    std::string loop;
    EnvelopeLoop(loop);
    if (loop != SOAP_GetSoap(message)) {
        state.SkipWithError("SOAP_GetSoap and the std::string loop differ");
        SOAP_delete(message);
        SRS_delete(set);
        return;
    }
    std::vector<char> copy(loop.size());
    bench::RoundRobin turns;
    turns.Add("envelope_orvex", [&] { benchmark::DoNotOptimize(SOAP_GetSoap(message)); });
    turns.Add("envelope_string", [&] {
        EnvelopeLoop(loop);
        benchmark::DoNotOptimize(loop.data());
    });
    turns.Add("envelope_memcpy", [&] {
        std::memcpy(copy.data(), loop.data(), loop.size());
        benchmark::ClobberMemory();
    });
    for (auto _ : state) {
        turns.Run(static_cast<int>(state.range(0)));
        state.SetIterationTime(turns.Median("envelope_orvex"));
    }
    state.counters["orvex_ms"] = turns.Median("envelope_orvex") * 1e3;
    state.counters["string_ms"] = turns.Median("envelope_string") * 1e3;
    state.counters["memcpy_ms"] = turns.Median("envelope_memcpy") * 1e3;
    state.counters["bytes"] = static_cast<double>(loop.size());
    SOAP_delete(message);
    SRS_delete(set);
}

// ---------------------------------------------------------------- reading

// What the floors do with the response: pugixml's bare load, and its load
// followed by a walk copying every field's text into strings.
bool PugiLoad(const std::string& text) {
    pugi::xml_document doc;
    const bool ok = static_cast<bool>(doc.load_buffer(text.data(), text.size()));
    benchmark::DoNotOptimize(doc.first_child().internal_object());
    return ok;
}

size_t PugiCopy(const std::string& text) {
    pugi::xml_document doc;
    doc.load_buffer(text.data(), text.size());
    pugi::xml_node result = doc.first_child().first_child().first_child().first_child();
    std::vector<std::vector<std::string>> rows;
    for (pugi::xml_node row : result.children()) {
        std::vector<std::string>& cells = rows.emplace_back();
        for (pugi::xml_node field : row.children()) cells.emplace_back(field.child_value());
    }
    benchmark::DoNotOptimize(rows.data());
    return rows.size();
}

// The response read into a record set, then every cell by its column's name,
// as a host reads a table; in turns with the read alone and the two floors.
void BM_Read_RoundRobin(benchmark::State& state) {
    KeepHeapPages();
    const std::string& text = Response();
    const char* const names[] = {"Id", "Customer", "Placed", "Paid", "Amount", "Note"};
    SOAP_HANDLE message = SOAP_new("dotnet", "GetOrders");
    SOAP_SetSoap(message, text.c_str());
    SRS_HANDLE first = SOAP_GetSRS(message);
    if (SRS_RowCount(first) != kRows || SRS_ColCount(first) != 6 || !PugiLoad(text) ||
        PugiCopy(text) != static_cast<size_t>(kRows)) {
        state.SkipWithError("a contender misread the response");
        SOAP_delete(message);
        return;
    }
    unsigned sum = 0;
    bench::RoundRobin turns;
    turns.Add("read_gettext", [&] {
        SOAP_SetSoap(message, text.c_str());
        SRS_HANDLE set = SOAP_GetSRS(message);
        for (int row = 1; row <= kRows; ++row)
            for (const char* name : names) sum += static_cast<unsigned char>(*SRS_GetText(set, row, name));
        benchmark::DoNotOptimize(sum);
    });
    turns.Add("read_orvex", [&] {
        SOAP_SetSoap(message, text.c_str());
        benchmark::DoNotOptimize(SOAP_GetSRS(message));
    });
    turns.Add("read_pugi_load", [&] { PugiLoad(text); });
    turns.Add("read_pugi_copy", [&] { PugiCopy(text); });
    for (auto _ : state) {
        turns.Run(static_cast<int>(state.range(0)));
        state.SetIterationTime(turns.Median("read_gettext"));
    }
    state.counters["gettext_ms"] = turns.Median("read_gettext") * 1e3;
    state.counters["alone_ms"] = turns.Median("read_orvex") * 1e3;
    state.counters["pugi_load_ms"] = turns.Median("read_pugi_load") * 1e3;
    state.counters["pugi_copy_ms"] = turns.Median("read_pugi_copy") * 1e3;
    SOAP_delete(message);
}

// The same rows as a .NET DataSet writes them: the schema, then the
// diffgram with each row's diffgr:id and msdata:rowOrder.
const std::string& DataSetResponse() {
    static const std::string text = [] {
        std::string s =
            std::string(kResponseHead) +
            "<xs:schema id=\"Shop\" xmlns=\"\" xmlns:xs=\"http://www.w3.org/2001/XMLSchema\" "
            "xmlns:msdata=\"urn:schemas-microsoft-com:xml-msdata\"><xs:element name=\"Shop\" "
            "msdata:IsDataSet=\"true\"><xs:complexType><xs:choice minOccurs=\"0\" maxOccurs=\"unbounded\">"
            "<xs:element name=\"Order\"><xs:complexType><xs:sequence>"
            "<xs:element name=\"Id\" type=\"xs:int\" minOccurs=\"0\"/>"
            "<xs:element name=\"Customer\" type=\"xs:string\" minOccurs=\"0\"/>"
            "<xs:element name=\"Placed\" type=\"xs:dateTime\" minOccurs=\"0\"/>"
            "<xs:element name=\"Paid\" type=\"xs:boolean\" minOccurs=\"0\"/>"
            "<xs:element name=\"Amount\" type=\"xs:decimal\" minOccurs=\"0\"/>"
            "<xs:element name=\"Note\" type=\"xs:string\" minOccurs=\"0\"/>"
            "</xs:sequence></xs:complexType></xs:element></xs:choice></xs:complexType></xs:element></"
            "xs:schema>"
            "<diffgr:diffgram xmlns:msdata=\"urn:schemas-microsoft-com:xml-msdata\" "
            "xmlns:diffgr=\"urn:schemas-microsoft-com:xml-diffgram-v1\"><Shop xmlns=\"\">\n";
        AppendOrders(s, true);
        s += "</Shop></diffgr:diffgram></GetOrdersResult></GetOrdersResponse></soap:Body></soap:Envelope>";
        return s;
    }();
    return text;
}

// A DataSet of 100,000 rows read as its table, in turns with the same rows
// written as a plain table.
void BM_ReadDataSet_RoundRobin(benchmark::State& state) {
    KeepHeapPages();
    const std::string& dataSet = DataSetResponse();
    const std::string& plain = Response();
    SOAP_HANDLE message = SOAP_new("dotnet", "GetOrders");
    SOAP_SetSoap(message, dataSet.c_str());
    SRS_HANDLE first = SOAP_GetSRS(message);
    if (SRS_RowCount(first) != kRows || SRS_ColCount(first) != 6 ||
        std::strcmp(SRS_GetTextAt(first, kRows, 6), ("note number " + std::to_string(kRows - 1)).c_str()) !=
            0) {
        state.SkipWithError("the DataSet was misread");
        SOAP_delete(message);
        return;
    }
    bench::RoundRobin turns;
    turns.Add("dataset", [&] {
        SOAP_SetSoap(message, dataSet.c_str());
        benchmark::DoNotOptimize(SOAP_GetSRS(message));
    });
    turns.Add("plain", [&] {
        SOAP_SetSoap(message, plain.c_str());
        benchmark::DoNotOptimize(SOAP_GetSRS(message));
    });
    for (auto _ : state) {
        turns.Run(static_cast<int>(state.range(0)));
        state.SetIterationTime(turns.Median("dataset"));
    }
    state.counters["dataset_ms"] = turns.Median("dataset") * 1e3;
    state.counters["plain_ms"] = turns.Median("plain") * 1e3;
    state.counters["ratio"] = turns.Median("dataset") / turns.Median("plain");
    SOAP_delete(message);
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

// An answer whose return element carries 10 M attributes (198 MB): the
// bound on one tag's attributes is memory alone, and the duplicate check
// must stay linear. pugixml's bare load of the same text beside it.
void BM_ReadManyAttributes(benchmark::State& state) {
    std::string text =
        "<?xml version=\"1.0\"?><soap:Envelope xmlns:soap=\"http://schemas.xmlsoap.org/soap/envelope/\">"
        "<soap:Body><GetResponse><GetResult ";
    char attribute[48];
    for (int i = 0; i < 10000000; ++i)
        text.append(attribute,
                    static_cast<size_t>(std::snprintf(attribute, sizeof attribute, "a%d=\"v%d\" ", i, i)));
    text += "/></GetResponse></soap:Body></soap:Envelope>";
    SOAP_HANDLE message = SOAP_new("dotnet", "Get");
    for (auto _ : state) {
        SOAP_SetSoap(message, text.c_str());
        const auto start = std::chrono::steady_clock::now();
        SRS_HANDLE set = SOAP_GetSRS(message);
        const double seconds = bench::Seconds(start);
        if (set == nullptr || SRS_RowCount(set) != 1) {
            state.SkipWithError(SOAP_GetLastError(message));
            break;
        }
        state.SetIterationTime(seconds);
        bench::Record("attrs_orvex", 1.0, seconds);
        SOAP_SetSoap(message, "");
        const auto pugiStart = std::chrono::steady_clock::now();
        if (!PugiLoad(text)) state.SkipWithError("pugixml refused the answer");
        bench::Record("attrs_pugi_load", 1.0, bench::Seconds(pugiStart));
    }
    SOAP_delete(message);
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

// The same call made from a description of the service: the message is set
// by WSDL_NewCall, its parameters typed, ordered and checked by their parts.
void BM_Call_FromWsdl(benchmark::State& state) {
    const std::string url = Server().Url("/service");
    char path[] = "/tmp/orvex-bench-soap-XXXXXX";
    const int fd = mkstemp(path);
    if (fd < 0) {
        state.SkipWithError("mkstemp failed");
        return;
    }
    close(fd);
    std::ofstream(path, std::ios::binary)
        << "<definitions xmlns=\"http://schemas.xmlsoap.org/wsdl/\" "
           "xmlns:soap=\"http://schemas.xmlsoap.org/wsdl/soap/\" "
           "xmlns:xs=\"http://www.w3.org/2001/XMLSchema\" "
           "xmlns:tns=\"http://orvex.test/sample/\" targetNamespace=\"http://orvex.test/sample/\">"
           "<types><xs:schema targetNamespace=\"http://orvex.test/sample/\" elementFormDefault=\"qualified\">"
           "<xs:element name=\"Add\"><xs:complexType><xs:sequence><xs:element name=\"a\" type=\"xs:int\"/>"
           "<xs:element name=\"b\" type=\"xs:int\"/></xs:sequence></xs:complexType></xs:element>"
           "<xs:element name=\"AddResponse\"><xs:complexType><xs:sequence>"
           "<xs:element name=\"AddResult\" type=\"xs:int\"/></xs:sequence></xs:complexType></xs:element>"
           "</xs:schema></types>"
           "<message name=\"AddIn\"><part name=\"parameters\" element=\"tns:Add\"/></message>"
           "<message name=\"AddOut\"><part name=\"parameters\" element=\"tns:AddResponse\"/></message>"
           "<portType name=\"P\"><operation name=\"Add\"><input message=\"tns:AddIn\"/>"
           "<output message=\"tns:AddOut\"/></operation></portType>"
           "<binding name=\"B\" type=\"tns:P\"><soap:binding style=\"document\" "
           "transport=\"http://schemas.xmlsoap.org/soap/http\"/><operation name=\"Add\">"
           "<soap:operation soapAction=\"http://orvex.test/sample/Add\"/><input><soap:body "
           "use=\"literal\"/></input>"
           "<output><soap:body use=\"literal\"/></output></operation></binding>"
           "<service name=\"S\"><port name=\"Port\" binding=\"tns:B\"><soap:address location=\""
        << url << "\"/></port></service></definitions>";
    WSDL_HANDLE wsdl = WSDL_new(path, 0);
    unlink(path);
    SOAP_HANDLE message = WSDL_NewCall(wsdl, "Add", nullptr);
    if (message == nullptr) {
        state.SkipWithError(WSDL_GetLastError(wsdl));
        WSDL_delete(wsdl);
        return;
    }
    const char* endpoint = WSDL_GetEndpoint(wsdl, "Add", nullptr);
    HTTP_HANDLE request = HTTP_new(1);
    HTTP_AttachSoap(request, message);
    const auto start = std::chrono::steady_clock::now();
    for (auto _ : state) {
        SOAP_AddElement(message, "b", nullptr, "3");
        SOAP_AddElement(message, "a", nullptr, "2");
        if (HTTP_Request(request, endpoint, nullptr, nullptr) != 1 ||
            SRS_GetInt(SOAP_GetSRS(message), 1, "") != 5) {
            state.SkipWithError(HTTP_GetLastError(request));
            break;
        }
    }
    bench::Record("call_wsdl", static_cast<double>(state.iterations()), bench::Seconds(start));
    HTTP_delete(request);
    SOAP_delete(message);
    WSDL_delete(wsdl);
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

BENCHMARK(BM_Envelope_RoundRobin)->Arg(15)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Read_RoundRobin)->Arg(9)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadDataSet_RoundRobin)->Arg(9)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadResponse_PythonLxml)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadManyAttributes)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Call_Soap)->Iterations(kCalls)->UseRealTime();
BENCHMARK(BM_Call_FromWsdl)->Iterations(kCalls)->UseRealTime();
BENCHMARK(BM_Call_PlainHttp)->Iterations(kCalls)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    std::printf("response: %zu bytes, %d rows x 6 fields\n", Response().size(), kRows);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::printf("\nEnvelope of a 100k x 6 record set, medians of turns (time of ours / time of the peer):\n");
    bench::PrintTimes("SOAP_GetSoap / memcpy of the output", "envelope_orvex", "envelope_memcpy");
    bench::PrintTimes("SOAP_GetSoap / reserved std::string, run-copying escapes", "envelope_orvex",
                      "envelope_string");
    bench::PrintTimes("reserved std::string / memcpy of the output", "envelope_string", "envelope_memcpy");
    std::printf("\n100k x 6 response to a table, medians of turns (time of ours / time of the peer):\n");
    bench::PrintTimes("read + SRS_GetText of every cell / pugixml bare load", "read_gettext",
                      "read_pugi_load");
    bench::PrintTimes("read alone / pugixml bare load", "read_orvex", "read_pugi_load");
    bench::PrintTimes("pugixml load + copy of every field / pugixml bare load", "read_pugi_copy",
                      "read_pugi_load");
    bench::PrintTimes("Python lxml rows / read + SRS_GetText of every cell", "read_lxml", "read_gettext");
    bench::PrintTimes("Python lxml rows / pugixml bare load", "read_lxml", "read_pugi_load");
    bench::PrintTimes("SOAP_GetSRS, 10 M attributes on the return element / pugixml bare load", "attrs_orvex",
                      "attrs_pugi_load");
    std::printf("\nCalls (rate of ours / rate of the peer):\n");
    bench::PrintRatio("small SOAP calls / plain HTTP requests, same server", "call_soap", "call_http");
    bench::PrintRatio("calls made from a WSDL / the same calls built by hand", "call_wsdl", "call_soap");
    return 0;
}
