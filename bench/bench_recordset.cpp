// The record set's XML form, its filling and its reading through the C
// functions, beside what a user would otherwise write: a plain loop that
// appends the same escaped texts to one std::string, a memcpy of the
// output's size, a table of std::string cells filled with the same texts
// and read back by index.
#include <orvex.h>
#include <orvex/text_util.h>

#include "recordset/srs.h"

#include "bench_support.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

namespace {

constexpr int kRows = bench::kTableRows;
constexpr int kCols = bench::kTableCols;

using bench::Table;

const Table& Cells() { return bench::TableCells(); }

SRS_HANDLE Fill() { return bench::FillTable(); }

// The loop a user would write for the same element.
void PlainLoop(std::string& out) {
    out.clear();
    bench::AppendTableXml(out, "Rows", bench::AppendEscaped);
}

std::map<std::string, double>& SecondsPerRun() {
    static std::map<std::string, double> seconds;
    return seconds;
}

double Now() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

void Record(benchmark::State& state, const char* name, double start) {
    if (state.iterations() > 0)
        SecondsPerRun()[name] = (Now() - start) / static_cast<double>(state.iterations());
}

size_t OutputSize() {
    static const size_t size = [] {
        std::string out;
        PlainLoop(out);
        return out.size();
    }();
    return size;
}

void BM_ToXml_DotNet(benchmark::State& state) {
    SRS_HANDLE set = Fill();
    SRS* srs = reinterpret_cast<SRS*>(reinterpret_cast<CHandleObject*>(set));
    CString out;
    // Both sides write the same bytes, or the comparison means nothing.
    std::string loop;
    PlainLoop(loop);
    srs->toXML(out, "dotnet", "Rows", 0);
    if (out.str() != loop) {
        state.SkipWithError("toXML and the plain loop differ");
        SRS_delete(set);
        return;
    }
    const double start = Now();
    for (auto _ : state) {
        srs->toXML(out, "dotnet", "Rows", 0);
        benchmark::DoNotOptimize(out.GetString());
    }
    Record(state, "toxml", start);
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(out.GetLength()));
    SRS_delete(set);
}

void BM_ToXml_ThroughCApi(benchmark::State& state) {
    SRS_HANDLE set = Fill();
    const double start = Now();
    for (auto _ : state) benchmark::DoNotOptimize(SRS_toXML(set, "dotnet", "Rows", 0));
    Record(state, "toxml_api", start);
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(OutputSize()));
    SRS_delete(set);
}

void BM_PlainLoop(benchmark::State& state) {
    std::string out;
    out.reserve(OutputSize());
    const double start = Now();
    for (auto _ : state) {
        PlainLoop(out);
        benchmark::DoNotOptimize(out.data());
    }
    Record(state, "loop", start);
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(out.size()));
}

void BM_Memcpy(benchmark::State& state) {
    std::string src;
    PlainLoop(src);
    std::vector<char> dst(src.size());
    const double start = Now();
    for (auto _ : state) {
        std::memcpy(dst.data(), src.data(), src.size());
        benchmark::ClobberMemory();
    }
    Record(state, "memcpy", start);
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(src.size()));
}

void BM_Fill_SRS(benchmark::State& state) {
    Cells();
    double busy = 0;
    for (auto _ : state) {
        const double start = Now();
        SRS_HANDLE set = Fill();
        busy += Now() - start;
        state.PauseTiming();
        SRS_delete(set);
        state.ResumeTiming();
    }
    if (state.iterations() > 0) SecondsPerRun()["fill"] = busy / static_cast<double>(state.iterations());
    state.SetItemsProcessed(state.iterations() * kRows * kCols);
}

void BM_Fill_StringTable(benchmark::State& state) {
    const Table& t = Cells();
    double busy = 0;
    for (auto _ : state) {
        const double start = Now();
        std::vector<std::vector<std::string>> rows;
        for (size_t i = 0; i < static_cast<size_t>(kRows); ++i) {
            rows.emplace_back(kCols);
            for (int c = 0; c < kCols; ++c) rows.back()[static_cast<size_t>(c)] = t.m_arrCells[c][i];
        }
        busy += Now() - start;
        state.PauseTiming();
        rows.clear();
        state.ResumeTiming();
    }
    if (state.iterations() > 0)
        SecondsPerRun()["fill_table"] = busy / static_cast<double>(state.iterations());
    state.SetItemsProcessed(state.iterations() * kRows * kCols);
}

// Every cell read by its column's name, row by row, as hosts read a table,
// beside the same texts read by index from a table of std::string; in turns.
void BM_Read_RoundRobin(benchmark::State& state) {
    const Table& t = Cells();
    SRS_HANDLE set = Fill();
    std::vector<std::vector<std::string>> rows;
    for (size_t i = 0; i < static_cast<size_t>(kRows); ++i) {
        rows.emplace_back(kCols);
        for (int c = 0; c < kCols; ++c) rows.back()[static_cast<size_t>(c)] = t.m_arrCells[c][i];
    }
    // Both sides read the same texts, or the comparison means nothing.
    for (int row = 1; row <= kRows; ++row)
        for (int c = 0; c < kCols; ++c)
            if (rows[static_cast<size_t>(row - 1)][static_cast<size_t>(c)] !=
                SRS_GetText(set, row, bench::kTableNames[c])) {
                state.SkipWithError("SRS_GetText and the table differ");
                SRS_delete(set);
                return;
            }
    // Both sides hand each text to the host, which looks at its first byte.
    unsigned sum = 0;
    unsigned floorSum = 0;
    bench::RoundRobin turns;
    turns.Add("read_gettext", [&] {
        for (int row = 1; row <= kRows; ++row)
            for (int c = 0; c < kCols; ++c)
                sum += static_cast<unsigned char>(*SRS_GetText(set, row, bench::kTableNames[c]));
        benchmark::DoNotOptimize(sum);
    });
    turns.Add("read_vector", [&] {
        for (const auto& row : rows)
            for (const std::string& cell : row) {
                const char* text = cell.c_str();
                benchmark::DoNotOptimize(text);
                floorSum += static_cast<unsigned char>(*text);
            }
        benchmark::DoNotOptimize(floorSum);
    });
    for (auto _ : state) {
        turns.Run(static_cast<int>(state.range(0)));
        state.SetIterationTime(turns.Median("read_gettext"));
    }
    state.counters["gettext_ms"] = turns.Median("read_gettext") * 1e3;
    state.counters["vector_ms"] = turns.Median("read_vector") * 1e3;
    SRS_delete(set);
}

BENCHMARK(BM_ToXml_DotNet)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ToXml_ThroughCApi)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PlainLoop)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Memcpy)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Fill_SRS)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Fill_StringTable)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Read_RoundRobin)->Arg(15)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

void PrintRatio(const char* label, const char* ours, const char* peer) {
    auto& s = SecondsPerRun();
    if (s.count(ours) == 0 || s.count(peer) == 0 || s[peer] <= 0) return;
    std::printf("%-58s %7.2fx\n", label, s[ours] / s[peer]);
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    auto& s = SecondsPerRun();
    std::printf("\n%d rows x %d columns, %zu bytes of XML. Side by side (ours / peer):\n", kRows, kCols,
                OutputSize());
    PrintRatio("toXML (.NET) / plain loop appending the escaped texts", "toxml", "loop");
    PrintRatio("SRS_toXML (.NET, into the return buffer) / plain loop", "toxml_api", "loop");
    PrintRatio("toXML (.NET) / memcpy of the output's size", "toxml", "memcpy");
    PrintRatio("SRS_AddRow + SRS_SetText / filling a std::string table", "fill", "fill_table");
    if (s.count("fill") != 0)
        std::printf("%-58s %7.1f ns\n", "SRS_AddRow + SRS_SetText, per cell",
                    s["fill"] * 1e9 / (kRows * kCols));
    std::printf("\nReading every cell, medians of turns (time of ours / time of the peer):\n");
    bench::PrintTimes("SRS_GetText by name / std::string table by index", "read_gettext", "read_vector");
    const double gettext =
        bench::Rates().count("read_gettext") != 0 ? 1.0 / bench::Rates()["read_gettext"] : 0;
    if (gettext > 0)
        std::printf("%-58s %7.1f ns\n", "SRS_GetText by name, per cell", gettext * 1e9 / (kRows * kCols));
    return 0;
}
