// Reading a large WSDL and listing its operations, beside zeep building a
// client of the same file (both from a warm file cache) and pugixml's bare
// load of the same bytes. The description has 1,000 document/literal
// operations over shared schema types, once as one file and once split: the
// types in schema files the description imports.
#include <orvex.h>

#include "bench_support.h"

#include <benchmark/benchmark.h>
#include <pugixml.hpp>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>

namespace {

constexpr int kOperations = 1000;
constexpr int kTypes = 40;
constexpr char kTns[] = "urn:bench:shop";

std::string Types(bool standalone) {
    std::ostringstream out;
    out << "<xs:schema " << (standalone ? "xmlns:xs=\"http://www.w3.org/2001/XMLSchema\" " : "")
        << "xmlns:tns=\"" << kTns << "\" targetNamespace=\"" << kTns
        << "\" elementFormDefault=\"qualified\">\n";
    for (int t = 0; t < kTypes; ++t) {
        out << "  <xs:complexType name=\"Record" << t << "\"><xs:sequence>\n";
        for (int f = 0; f < 5 + t % 6; ++f)
            out << "    <xs:element name=\"field" << f << "\" type=\"xs:"
                << (f % 3 == 0   ? "int"
                    : f % 3 == 1 ? "string"
                                 : "dateTime")
                << "\" minOccurs=\"0\"/>\n";
        out << "  </xs:sequence></xs:complexType>\n";
    }
    for (int o = 0; o < kOperations; ++o) {
        out << "  <xs:element name=\"Op" << o << "\"><xs:complexType><xs:sequence>"
            << "<xs:element name=\"id\" type=\"xs:int\"/><xs:element name=\"filter\" type=\"xs:string\" "
               "minOccurs=\"0\"/>"
            << "<xs:element name=\"item\" type=\"tns:Record" << o % kTypes << "\" minOccurs=\"0\"/>"
            << "</xs:sequence></xs:complexType></xs:element>\n"
            << "  <xs:element name=\"Op" << o << "Response\"><xs:complexType><xs:sequence>"
            << "<xs:element name=\"Op" << o << "Result\" type=\"tns:Record" << (o + 7) % kTypes
            << "\" minOccurs=\"0\" maxOccurs=\"unbounded\"/></xs:sequence></xs:complexType></xs:element>\n";
    }
    out << "</xs:schema>\n";
    return out.str();
}

std::string Description(const std::string& schemas) {
    std::ostringstream out;
    out << "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
        << "<wsdl:definitions xmlns:wsdl=\"http://schemas.xmlsoap.org/wsdl/\" "
           "xmlns:soap=\"http://schemas.xmlsoap.org/wsdl/soap/\" "
           "xmlns:xs=\"http://www.w3.org/2001/XMLSchema\" "
           "xmlns:tns=\""
        << kTns << "\" targetNamespace=\"" << kTns << "\">\n<wsdl:types>\n"
        << schemas << "</wsdl:types>\n";
    for (int o = 0; o < kOperations; ++o)
        out << "<wsdl:message name=\"Op" << o << "In\"><wsdl:part name=\"parameters\" element=\"tns:Op" << o
            << "\"/></wsdl:message>\n<wsdl:message name=\"Op" << o
            << "Out\"><wsdl:part name=\"parameters\" element=\"tns:Op" << o
            << "Response\"/></wsdl:message>\n";
    out << "<wsdl:portType name=\"ShopPort\">\n";
    for (int o = 0; o < kOperations; ++o)
        out << "  <wsdl:operation name=\"Op" << o << "\"><wsdl:input message=\"tns:Op" << o
            << "In\"/><wsdl:output message=\"tns:Op" << o << "Out\"/></wsdl:operation>\n";
    out << "</wsdl:portType>\n<wsdl:binding name=\"ShopBinding\" type=\"tns:ShopPort\">"
           "<soap:binding style=\"document\" transport=\"http://schemas.xmlsoap.org/soap/http\"/>\n";
    for (int o = 0; o < kOperations; ++o)
        out << "  <wsdl:operation name=\"Op" << o << "\"><soap:operation soapAction=\"" << kTns << "/Op" << o
            << "\"/><wsdl:input><soap:body use=\"literal\"/></wsdl:input><wsdl:output><soap:body "
               "use=\"literal\"/></wsdl:output></wsdl:operation>\n";
    out << "</wsdl:binding>\n<wsdl:service name=\"Shop\"><wsdl:port name=\"ShopSoap\" "
           "binding=\"tns:ShopBinding\">"
           "<soap:address location=\"http://127.0.0.1:9/shop\"/></wsdl:port></wsdl:service>\n"
           "</wsdl:definitions>\n";
    return out.str();
}

void Write(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

// The files of one shape: the description, and the schema it imports when split.
struct Files {
    std::string wsdl;
    std::string bytes;  // every byte the reading takes in
};

Files Make(const std::string& dir, bool split) {
    Files files{dir + (split ? "/split.wsdl" : "/whole.wsdl"), std::string()};
    if (split) {
        const std::string schema = Types(true);
        Write(dir + "/types.xsd", schema);
        const std::string description =
            Description("<xs:schema targetNamespace=\"urn:bench:wrap\"><xs:import namespace=\"" +
                        std::string(kTns) + "\" schemaLocation=\"types.xsd\"/></xs:schema>\n");
        Write(files.wsdl, description);
        files.bytes = description + schema;
    } else {
        files.bytes = Description(Types(false));
        Write(files.wsdl, files.bytes);
    }
    return files;
}

void Read(benchmark::State& state, bool split) {
    char dir[] = "/tmp/orvex-bench-wsdl-XXXXXX";
    if (mkdtemp(dir) == nullptr) {
        state.SkipWithError("mkdtemp failed");
        return;
    }
    const Files files = Make(dir, split);
    const char* const prefix = split ? "split_" : "whole_";
    bench::RoundRobin turns;
    turns.Add((std::string(prefix) + "orvex").c_str(), [&] {
        WSDL_HANDLE wsdl = WSDL_new(files.wsdl.c_str(), 0);
        SRS_HANDLE operations = WSDL_GetOperations(wsdl);
        if (operations == nullptr || SRS_RowCount(operations) != kOperations) std::abort();
        WSDL_delete(wsdl);
    });
    turns.Add((std::string(prefix) + "pugixml").c_str(), [&] {
        pugi::xml_document doc;
        if (!doc.load_buffer(files.bytes.data(), files.bytes.size())) std::abort();
    });
    for (auto _ : state) {
        turns.Run(9);
        state.SetIterationTime(turns.Median((std::string(prefix) + "orvex").c_str()));
    }
    // zeep in its own interpreter, timed inside it; the best of three warm builds.
    const std::string command =
        "/usr/bin/python3 -c \"import sys, time, zeep\nbest = 1e9\nfor _ in range(3):\n"
        "    t = time.perf_counter()\n    zeep.Client(sys.argv[1])\n    best = min(best, time.perf_counter() "
        "- t)\n"
        "print(best)\" " +
        files.wsdl + " 2>/dev/null";
    double seconds = 0;
    if (bench::TimedCommand(command, seconds))
        bench::Record((std::string(prefix) + "zeep").c_str(), 1.0, seconds);
    state.counters["bytes"] = static_cast<double>(files.bytes.size());
    std::remove((std::string(dir) + "/types.xsd").c_str());
    std::remove(files.wsdl.c_str());
    rmdir(dir);
}

void BM_ReadWhole(benchmark::State& state) { Read(state, false); }
void BM_ReadSplit(benchmark::State& state) { Read(state, true); }

BENCHMARK(BM_ReadWhole)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadSplit)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::printf(
        "\nA description of %d operations read and listed, medians of turns (time of the first / the "
        "second):\n",
        kOperations);
    bench::PrintTimes("one file: WSDL_new + WSDL_GetOperations / pugixml bare load", "whole_orvex",
                      "whole_pugixml");
    bench::PrintTimes("one file: zeep Client() / WSDL_new + WSDL_GetOperations", "whole_zeep", "whole_orvex");
    bench::PrintTimes("imported types: WSDL_new + WSDL_GetOperations / pugixml bare load", "split_orvex",
                      "split_pugixml");
    bench::PrintTimes("imported types: zeep Client() / WSDL_new + WSDL_GetOperations", "split_zeep",
                      "split_orvex");
    return 0;
}
