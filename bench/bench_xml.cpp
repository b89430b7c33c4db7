// XML_new of a generated ~50 MB document of varied shape beside pugixml's
// own load_buffer of the same bytes (and libxml2's xmlReadMemory when it is
// there), in two shapes: as a service writes it, and as a file written on
// Windows for a browser carries it, with a stylesheet instruction, a
// DOCTYPE and CR LF line ends. Before the timed loops, each contender
// parses once in a child process that reports its time and peak memory;
// then XML_new, pugixml's load and pugixml's load with a walk over every
// node run in turns, and the ratios to the bare load, the floor, are
// printed. Two more turns show what the fast way costs where it cannot go:
// a text whose DOCTYPE declares an entity, loaded direct reader first and
// by pugixml alone; and the load's first pass (copy, NUL and UTF-8 check)
// beside memcpy.
#include <orvex.h>

#include "bench_support.h"
#include "xml/xml_dom.h"
#include "xml/xml_text_scan.h"

#include <benchmark/benchmark.h>
#include <pugixml.hpp>

#ifdef ORVEX_BENCH_LIBXML2
#include <libxml/parser.h>
#endif

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <malloc.h>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace {

constexpr size_t kTargetBytes = 50u << 20;

const char* const kWords[] = {"lorem",
                              "ipsum",
                              "dolor",
                              "sit",
                              "amet",
                              "consectetur",
                              "adipiscing",
                              "elit",
                              "sed",
                              "do",
                              "eiusmod",
                              "tempor",
                              "caf\xC3\xA9",
                              "na\xC3\xAFve",
                              "\xE4\xB8\xAD\xE6\x96\x87",
                              "&amp;",
                              "&lt;b&gt;",
                              "\xC3\xBC"
                              "ber",
                              "x"};

// Orders with customers, addresses, a varying number of items with
// attributes, notes of varying length with entities and non-ASCII text,
// CDATA, comments, empty elements, namespaces and an occasional deep branch.
std::string MakeDocument() {
    std::mt19937 rng(20240601);
    const auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
    const auto sentence = [&](int words) {
        std::string s;
        for (int i = 0; i < words; ++i) {
            if (i) s += ' ';
            s += kWords[pick(static_cast<int>(sizeof kWords / sizeof *kWords))];
        }
        return s;
    };
    std::string doc;
    doc.reserve(kTargetBytes + (1 << 16));
    doc += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
    doc += "<catalog xmlns=\"urn:catalog\" xmlns:x=\"urn:ext\" version=\"3\">\n";
    for (int id = 1; doc.size() < kTargetBytes; ++id) {
        if (id % 50 == 0) doc += "  <!-- block " + std::to_string(id / 50) + " -->\n";
        doc += "  <order id=\"" + std::to_string(id) + "\" status=\"" + (pick(3) ? "shipped" : "open") +
               "\" x:priority=\"" + std::to_string(pick(5)) + "\">\n";
        doc += "    <customer><name>" + sentence(2) + "</name><email>user" + std::to_string(pick(100000)) +
               "@example.com</email>";
        doc += "<address><street>" + std::to_string(pick(999)) + " " + sentence(2) + "</street><city>" +
               sentence(1) + "</city><zip>" + std::to_string(10000 + pick(89999)) +
               "</zip></address></customer>\n";
        doc += "    <items>\n";
        for (int i = pick(6) + 1; i > 0; --i) {
            doc += "      <item sku=\"A-" + std::to_string(pick(5000)) + "\" qty=\"" +
                   std::to_string(pick(20) + 1) + "\" price=\"" +
                   std::to_string(pick(10000) / 100.0).substr(0, 5) + "\">" + sentence(pick(4) + 1) +
                   "</item>\n";
        }
        doc += "    </items>\n";
        if (pick(2)) doc += "    <note>" + sentence(pick(40)) + "</note>\n";
        if (pick(5) == 0) doc += "    <data><![CDATA[<raw> & " + sentence(5) + "]]></data>\n";
        if (pick(3) == 0) doc += "    <x:flag checked=\"true\"/>\n";
        if (pick(8) == 0)
            doc += "    <deep><l1><l2><l3><l4><l5>" + sentence(1) + "</l5></l4></l3></l2></l1></deep>\n";
        doc += "    <total currency=\"EUR\">" + std::to_string(pick(100000)) + "</total>\n";
        doc += "  </order>\n";
    }
    doc += "</catalog>\n";
    return doc;
}

const std::string& Document() {
    static const std::string doc = MakeDocument();
    return doc;
}

// The same document as a file written on Windows carries it: CR LF line
// ends, a stylesheet instruction and a DOCTYPE naming its DTD.
std::string WithFileForms(const std::string& plain, const char* doctype) {
    std::string doc;
    doc.reserve(plain.size() + plain.size() / 16);
    const size_t prolog = plain.find('\n') + 1;  // after the declaration
    doc.append(plain, 0, prolog - 1);
    doc += "\r\n<?xml-stylesheet type=\"text/xsl\" href=\"catalog.xsl\"?>\r\n";
    doc += doctype;
    doc += "\r\n";
    for (size_t i = prolog; i < plain.size(); ++i) {
        if (plain[i] == '\n') doc += '\r';
        doc += plain[i];
    }
    return doc;
}

const std::string& FormsDocument() {
    static const std::string doc = WithFileForms(
        Document(), "<!DOCTYPE catalog PUBLIC \"-//Orvex//DTD Catalog 3//EN\" \"catalog.dtd\">");
    return doc;
}

// A DOCTYPE that declares an entity needs the DTD read: the direct reader
// declines it in the prolog and the pugixml route reads the text.
const std::string& DeclinedDocument() {
    static const std::string doc =
        WithFileForms(Document(), "<!DOCTYPE catalog [<!ENTITY vendor \"Orvex\">]>");
    return doc;
}

void BM_XML_new(benchmark::State& state) {
    const std::string& doc = Document();
    for (auto _ : state) {
        XML_NODE root = XML_new(doc.c_str(), 0);
        if (root == nullptr) state.SkipWithError("XML_new refused the document");
        state.PauseTiming();
        XML_delete(root);
        state.ResumeTiming();
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(doc.size()));
}

void BM_XML_new_and_delete(benchmark::State& state) {
    const std::string& doc = Document();
    for (auto _ : state) XML_delete(XML_new(doc.c_str(), 0));
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(doc.size()));
}

void BM_pugixml_load_buffer(benchmark::State& state) {
    const std::string& doc = Document();
    for (auto _ : state) {
        pugi::xml_document d;
        const pugi::xml_parse_result r = d.load_buffer(doc.data(), doc.size());
        if (!r) state.SkipWithError(r.description());
        benchmark::DoNotOptimize(d.first_child().internal_object());
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(doc.size()));
}

#ifdef ORVEX_BENCH_LIBXML2
void BM_libxml2_xmlReadMemory(benchmark::State& state) {
    const std::string& doc = Document();
    for (auto _ : state) {
        xmlDocPtr d =
            xmlReadMemory(doc.data(), static_cast<int>(doc.size()), "bench.xml", nullptr, XML_PARSE_HUGE);
        if (d == nullptr) state.SkipWithError("libxml2 refused the document");
        xmlFreeDoc(d);
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(doc.size()));
}
BENCHMARK(BM_libxml2_xmlReadMemory)->Unit(benchmark::kMillisecond)->MinTime(3.0);
#endif

// Every node's name, value and attributes looked at once, as a tree builder would.
size_t WalkAll(pugi::xml_node node) {
    size_t seen = 0;
    for (pugi::xml_node c = node.first_child(); c; c = c.next_sibling()) {
        seen += std::strlen(c.name()) + std::strlen(c.value());
        for (pugi::xml_attribute a = c.first_attribute(); a; a = a.next_attribute())
            seen += std::strlen(a.value());
        seen += WalkAll(c);
    }
    return seen;
}

void BM_Tree_RoundRobin(benchmark::State& state) {
    const std::string& doc = Document();
    bench::RoundRobin turns;
    turns.Add("tree_orvex", [&] {
        XML_NODE root = XML_new(doc.c_str(), 0);
        benchmark::DoNotOptimize(root);
        XML_delete(root);
    });
    turns.Add("tree_pugi_load", [&] {
        pugi::xml_document d;
        d.load_buffer(doc.data(), doc.size());
        benchmark::DoNotOptimize(d.first_child().internal_object());
    });
    turns.Add("tree_pugi_walk", [&] {
        pugi::xml_document d;
        d.load_buffer(doc.data(), doc.size());
        benchmark::DoNotOptimize(WalkAll(d));
    });
    for (auto _ : state) {
        turns.Run(static_cast<int>(state.range(0)));
        state.SetIterationTime(turns.Median("tree_orvex"));
    }
    state.counters["orvex_ms"] = turns.Median("tree_orvex") * 1e3;
    state.counters["pugi_load_ms"] = turns.Median("tree_pugi_load") * 1e3;
    state.counters["pugi_walk_ms"] = turns.Median("tree_pugi_walk") * 1e3;
}

void BM_TreeFileForms_RoundRobin(benchmark::State& state) {
    const std::string& doc = FormsDocument();
    bench::RoundRobin turns;
    turns.Add("forms_orvex", [&] {
        XML_NODE root = XML_new(doc.c_str(), 0);
        if (root == nullptr) std::abort();
        XML_delete(root);
    });
    turns.Add("forms_pugi_load", [&] {
        pugi::xml_document d;
        d.load_buffer(doc.data(), doc.size());
        benchmark::DoNotOptimize(d.first_child().internal_object());
    });
    for (auto _ : state) {
        turns.Run(static_cast<int>(state.range(0)));
        state.SetIterationTime(turns.Median("forms_orvex"));
    }
    state.counters["orvex_ms"] = turns.Median("forms_orvex") * 1e3;
    state.counters["pugi_load_ms"] = turns.Median("forms_pugi_load") * 1e3;
}

// What a decline costs: the same text loaded into the DOM by the direct
// route (declined in the prolog, then the pugixml route) and by the
// pugixml route alone.
void BM_Declined_RoundRobin(benchmark::State& state) {
    const std::string& doc = DeclinedDocument();
    bench::RoundRobin turns;
    const auto load = [&](xml::XmlRoute route) {
        xml::CDomDocument d;
        if (!d.loadXML(doc.data(), doc.size(), route)) std::abort();
    };
    turns.Add("declined_direct", [&] { load(xml::XmlRoute::kDirect); });
    turns.Add("declined_pugixml", [&] { load(xml::XmlRoute::kPugixml); });
    turns.Add("declined_xml_new", [&] { XML_delete(XML_new(doc.c_str(), 0)); });
    for (auto _ : state) {
        turns.Run(static_cast<int>(state.range(0)));
        state.SetIterationTime(turns.Median("declined_direct"));
    }
    state.counters["direct_ms"] = turns.Median("declined_direct") * 1e3;
    state.counters["pugixml_ms"] = turns.Median("declined_pugixml") * 1e3;
    state.counters["xml_new_ms"] = turns.Median("declined_xml_new") * 1e3;
}

// The load's first pass over the text beside a plain copy of it.
void BM_FirstPass_RoundRobin(benchmark::State& state) {
    const std::string& doc = Document();
    std::unique_ptr<char[]> out(new char[doc.size()]);
    bench::RoundRobin turns;
    turns.Add("scan_copy", [&] {
        const xml::ScanResult r = xml::ScanCopy(doc.data(), doc.size(), out.get());
        if (!r.utf8 || r.nul != xml::ScanResult::kNone) std::abort();
    });
    turns.Add("memcpy", [&] {
        std::memcpy(out.get(), doc.data(), doc.size());
        benchmark::ClobberMemory();
    });
    for (auto _ : state) {
        turns.Run(static_cast<int>(state.range(0)));
        state.SetIterationTime(turns.Median("scan_copy"));
    }
    state.counters["scan_copy_GBps"] = static_cast<double>(doc.size()) / turns.Median("scan_copy") / 1e9;
    state.counters["memcpy_GBps"] = static_cast<double>(doc.size()) / turns.Median("memcpy") / 1e9;
}

BENCHMARK(BM_Tree_RoundRobin)->Arg(7)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TreeFileForms_RoundRobin)->Arg(7)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Declined_RoundRobin)->Arg(5)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FirstPass_RoundRobin)->Arg(15)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_XML_new)->Unit(benchmark::kMillisecond)->MinTime(3.0);
BENCHMARK(BM_XML_new_and_delete)->Unit(benchmark::kMillisecond)->MinTime(3.0);
BENCHMARK(BM_pugixml_load_buffer)->Unit(benchmark::kMillisecond)->MinTime(3.0);

long StatusKiB(const char* field) {
    std::ifstream in("/proc/self/status");
    std::string line;
    const size_t n = std::strlen(field);
    while (std::getline(in, line))
        if (line.compare(0, n, field) == 0) return std::atol(line.c_str() + n);
    return -1;
}

// One parse in a fresh child process, as a program meets it once: its time
// (page faults of new memory included, which a loop of parses hides once the
// heap keeps its pages) and its peak resident memory above what the process
// held before (the document included).
void ReportColdRun(const char* name, const std::string& doc, const std::function<void()>& parse) {
    const double docMiB = static_cast<double>(doc.size()) / (1 << 20);
    int pipeFds[2];
    if (pipe(pipeFds) != 0) return;
    const pid_t pid = fork();
    if (pid == 0) {
        std::ofstream("/proc/self/clear_refs") << "5";  // resets the high-water mark
        long result[2];
        const long before = StatusKiB("VmRSS:");
        const auto start = std::chrono::steady_clock::now();
        parse();
        result[0] = static_cast<long>(
            std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start)
                .count());
        result[1] = StatusKiB("VmHWM:") - before;
        if (write(pipeFds[1], result, sizeof result) != static_cast<ssize_t>(sizeof result)) _exit(1);
        _exit(0);
    }
    long result[2] = {-1, -1};
    if (read(pipeFds[0], result, sizeof result) != static_cast<ssize_t>(sizeof result))
        result[0] = result[1] = -1;
    waitpid(pid, nullptr, 0);
    close(pipeFds[0]);
    close(pipeFds[1]);
    const double addedMiB = static_cast<double>(result[1]) / 1024;
    std::printf(
        "%-24s once: %6.0f ms, peak %6.1f MiB above the %.1f MiB document (%.2fx it; %.2fx with it)\n", name,
        static_cast<double>(result[0]) / 1000, addedMiB, docMiB, addedMiB / docMiB,
        (addedMiB + docMiB) / docMiB);
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    const std::string& doc = Document();
    std::printf("document: %zu bytes\n", doc.size());
    // Single runs first, while the heap holds nothing a child could reuse unseen.
    ReportColdRun("XML_new", doc, [&] { XML_delete(XML_new(doc.c_str(), 0)); });
    ReportColdRun("pugixml load_buffer", doc, [&] {
        pugi::xml_document d;
        d.load_buffer(doc.data(), doc.size());
    });
    const std::string& forms = FormsDocument();
    std::printf("with a stylesheet instruction, a DOCTYPE and CR LF: %zu bytes\n", forms.size());
    ReportColdRun("XML_new", forms, [&] { XML_delete(XML_new(forms.c_str(), 0)); });
    ReportColdRun("pugixml load_buffer", forms, [&] {
        pugi::xml_document d;
        d.load_buffer(forms.data(), forms.size());
    });
#ifdef ORVEX_BENCH_LIBXML2
    ReportColdRun("libxml2 xmlReadMemory", doc, [&] {
        xmlFreeDoc(
            xmlReadMemory(doc.data(), static_cast<int>(doc.size()), "bench.xml", nullptr, XML_PARSE_HUGE));
    });
#endif
    // The timed loops run with a heap that keeps its pages, whatever ran
    // before: every contender then parses into memory already mapped.
    mallopt(M_MMAP_THRESHOLD, 256 << 20);
    mallopt(M_TRIM_THRESHOLD, 1 << 30);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::printf("\n50 MB document to a tree, medians of turns (time of ours / time of the floor):\n");
    bench::PrintTimes("XML_new + XML_delete / pugixml load_buffer", "tree_orvex", "tree_pugi_load");
    bench::PrintTimes("pugixml load + full walk / pugixml load_buffer", "tree_pugi_walk", "tree_pugi_load");
    std::printf("\nThe same with a stylesheet instruction, a DOCTYPE and CR LF line ends:\n");
    bench::PrintTimes("XML_new + XML_delete / pugixml load_buffer", "forms_orvex", "forms_pugi_load");
    std::printf("\nA DOCTYPE declaring an entity (declined in the prolog), into the DOM:\n");
    bench::PrintTimes("direct route (declining) / pugixml route alone", "declined_direct",
                      "declined_pugixml");
    std::printf("\nThe load's first pass (copy, NUL and UTF-8 check) over 50 MB:\n");
    bench::PrintTimes("ScanCopy / memcpy", "scan_copy", "memcpy");
    return 0;
}
