// The byte buffer and Base64 beside what a user would otherwise reach for:
// appends against std::vector, encode and decode against a memcpy of the
// same size in the same run.
#include <orvex/base64.h>
#include <orvex/buffer.h>

#include <benchmark/benchmark.h>

#include <cstring>
#include <random>
#include <vector>

namespace {

constexpr int kTotal = 64 << 20;
constexpr int kPiece = 1020;

const std::vector<unsigned char>& RandomBytes() {
    static const std::vector<unsigned char> bytes = [] {
        std::vector<unsigned char> v(kTotal);
        std::mt19937_64 rng(42);
        for (size_t i = 0; i < v.size(); i += 8) {
            const uint64_t r = rng();
            std::memcpy(&v[i], &r, 8);
        }
        return v;
    }();
    return bytes;
}

void BM_CBufferAppend(benchmark::State& state) {
    const auto& src = RandomBytes();
    for (auto _ : state) {
        CBuffer buffer(1024);
        for (int done = 0; done < kTotal; done += kPiece)
            buffer.AddBuf(const_cast<unsigned char*>(&src[done]), std::min(kPiece, kTotal - done));
        benchmark::DoNotOptimize(buffer.GetBuf());
    }
    state.SetBytesProcessed(state.iterations() * int64_t{kTotal});
}

void BM_VectorAppend(benchmark::State& state) {
    const auto& src = RandomBytes();
    for (auto _ : state) {
        std::vector<unsigned char> v;
        for (int done = 0; done < kTotal; done += kPiece)
            v.insert(v.end(), &src[done], &src[done] + std::min(kPiece, kTotal - done));
        benchmark::DoNotOptimize(v.data());
    }
    state.SetBytesProcessed(state.iterations() * int64_t{kTotal});
}

void BM_Memcpy(benchmark::State& state) {
    const auto& src = RandomBytes();
    std::vector<unsigned char> dst(kTotal);
    for (auto _ : state) {
        std::memcpy(dst.data(), src.data(), kTotal);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * int64_t{kTotal});
}

void BM_Base64Encode(benchmark::State& state) {
    const auto& src = RandomBytes();
    CBuffer out(1024);
    for (auto _ : state) {
        CBase64::Encode(const_cast<unsigned char*>(src.data()), kTotal, out);
        benchmark::DoNotOptimize(out.GetBuf());
    }
    state.SetBytesProcessed(state.iterations() * int64_t{kTotal});
}

void BM_Base64Decode(benchmark::State& state) {
    const auto& src = RandomBytes();
    CString text;
    CBase64::Encode(const_cast<unsigned char*>(src.data()), kTotal, text);
    CBuffer out(1024);
    for (auto _ : state) {
        CBase64::Decode(text, out);
        benchmark::DoNotOptimize(out.GetBuf());
    }
    state.SetBytesProcessed(state.iterations() * int64_t{kTotal});
}

}  // namespace

BENCHMARK(BM_CBufferAppend)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_VectorAppend)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Memcpy)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Base64Encode)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Base64Decode)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
