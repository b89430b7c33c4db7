// The byte buffer and Base64 beside what a user would otherwise reach for:
// appends against std::vector; 256 MiB encoded and decoded against a memcpy
// of the same size and a plain scalar codec, in the same run. Each codec
// writes into a fresh buffer every round, as a host's call does, so the cost
// of the new memory is counted; the decode runs also read text broken into
// 76-character lines with CR LF, as mail and many services write it.
#include <orvex/base64.h>
#include <orvex/buffer.h>

#include <benchmark/benchmark.h>

#include <array>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr int kAppendTotal = 64 << 20;
constexpr int kTotal = 256 << 20;
constexpr int kPiece = 1020;
constexpr int kLine = 76;

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

// The library's alphabet ('*' for 63), so both codecs do the same work.
constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+*";

// The codec anyone would write first: a character at a time through a table.
size_t ScalarEncode(const unsigned char* src, size_t n, unsigned char* dst) {
    unsigned char* d = dst;
    size_t i = 0;
    for (; i + 3 <= n; i += 3) {
        const uint32_t v = uint32_t{src[i]} << 16 | uint32_t{src[i + 1]} << 8 | src[i + 2];
        *d++ = static_cast<unsigned char>(kAlphabet[v >> 18]);
        *d++ = static_cast<unsigned char>(kAlphabet[v >> 12 & 63]);
        *d++ = static_cast<unsigned char>(kAlphabet[v >> 6 & 63]);
        *d++ = static_cast<unsigned char>(kAlphabet[v & 63]);
    }
    if (i < n) {
        const uint32_t v = uint32_t{src[i]} << 16 | (i + 1 < n ? uint32_t{src[i + 1]} << 8 : 0);
        *d++ = static_cast<unsigned char>(kAlphabet[v >> 18]);
        *d++ = static_cast<unsigned char>(kAlphabet[v >> 12 & 63]);
        *d++ = i + 1 < n ? static_cast<unsigned char>(kAlphabet[v >> 6 & 63]) : '=';
        *d++ = '=';
    }
    return static_cast<size_t>(d - dst);
}

// Skips CR and LF; stops at the padding or at the first other character.
size_t ScalarDecode(const unsigned char* src, size_t n, unsigned char* dst) {
    static const auto values = [] {
        std::array<int8_t, 256> v{};
        v.fill(-1);
        for (int i = 0; i < 64; ++i) v[static_cast<unsigned char>(kAlphabet[i])] = static_cast<int8_t>(i);
        v['\r'] = -2;
        v['\n'] = -2;
        return v;
    }();
    unsigned char* d = dst;
    uint32_t bits = 0;
    int have = 0;
    for (size_t i = 0; i < n; ++i) {
        const int v = values[src[i]];
        if (v == -2) continue;
        if (v < 0) break;
        bits = bits << 6 | static_cast<uint32_t>(v);
        if (++have == 4) {
            *d++ = static_cast<unsigned char>(bits >> 16);
            *d++ = static_cast<unsigned char>(bits >> 8);
            *d++ = static_cast<unsigned char>(bits);
            have = 0;
        }
    }
    return static_cast<size_t>(d - dst);
}

const CString& EncodedText(bool lines) {
    static const CString plain = [] {
        CString text;
        CBase64::Encode(const_cast<unsigned char*>(RandomBytes().data()), kTotal, text);
        return text;
    }();
    static const CString broken = [] {
        std::string text;
        text.reserve(static_cast<size_t>(plain.GetLength()) / kLine * (kLine + 2) + kLine + 2);
        for (int at = 0; at < plain.GetLength(); at += kLine) {
            text.append(plain.GetString() + at, static_cast<size_t>(std::min(kLine, plain.GetLength() - at)));
            text += "\r\n";
        }
        return CString(text.data(), static_cast<int>(text.size()));
    }();
    return lines ? broken : plain;
}

void BM_CBufferAppend(benchmark::State& state) {
    const auto& src = RandomBytes();
    for (auto _ : state) {
        CBuffer buffer(1024);
        for (int done = 0; done < kAppendTotal; done += kPiece)
            buffer.AddBuf(const_cast<unsigned char*>(&src[done]), std::min(kPiece, kAppendTotal - done));
        benchmark::DoNotOptimize(buffer.GetBuf());
    }
    state.SetBytesProcessed(state.iterations() * int64_t{kAppendTotal});
}

void BM_VectorAppend(benchmark::State& state) {
    const auto& src = RandomBytes();
    for (auto _ : state) {
        std::vector<unsigned char> v;
        for (int done = 0; done < kAppendTotal; done += kPiece)
            v.insert(v.end(), &src[done], &src[done] + std::min(kPiece, kAppendTotal - done));
        benchmark::DoNotOptimize(v.data());
    }
    state.SetBytesProcessed(state.iterations() * int64_t{kAppendTotal});
}

// The floor: the same bytes copied into memory already in place.
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
    for (auto _ : state) {
        CBuffer out(1024);
        CBase64::Encode(const_cast<unsigned char*>(src.data()), kTotal, out);
        benchmark::DoNotOptimize(out.GetBuf());
    }
    state.SetBytesProcessed(state.iterations() * int64_t{kTotal});
}

// A host encoding one value after another into the same buffer.
void BM_Base64EncodeReused(benchmark::State& state) {
    const auto& src = RandomBytes();
    CBuffer out(1024);
    for (auto _ : state) {
        CBase64::Encode(const_cast<unsigned char*>(src.data()), kTotal, out);
        benchmark::DoNotOptimize(out.GetBuf());
    }
    state.SetBytesProcessed(state.iterations() * int64_t{kTotal});
}

void BM_ScalarEncode(benchmark::State& state) {
    const auto& src = RandomBytes();
    for (auto _ : state) {
        std::unique_ptr<unsigned char[]> out(new unsigned char[kTotal / 3 * 4 + 8]);
        benchmark::DoNotOptimize(ScalarEncode(src.data(), kTotal, out.get()));
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * int64_t{kTotal});
}

void BM_Base64Decode(benchmark::State& state) {
    const CString& text = EncodedText(state.range(0) != 0);
    for (auto _ : state) {
        CBuffer out(1024);
        CBase64::Decode(const_cast<CString&>(text), out);
        benchmark::DoNotOptimize(out.GetBuf());
    }
    state.SetBytesProcessed(state.iterations() * int64_t{kTotal});
}

void BM_Base64DecodeReused(benchmark::State& state) {
    const CString& text = EncodedText(state.range(0) != 0);
    CBuffer out(1024);
    for (auto _ : state) {
        CBase64::Decode(const_cast<CString&>(text), out);
        benchmark::DoNotOptimize(out.GetBuf());
    }
    state.SetBytesProcessed(state.iterations() * int64_t{kTotal});
}

void BM_ScalarDecode(benchmark::State& state) {
    const CString& text = EncodedText(state.range(0) != 0);
    const auto* src = reinterpret_cast<const unsigned char*>(text.GetString());
    for (auto _ : state) {
        std::unique_ptr<unsigned char[]> out(new unsigned char[kTotal + 8]);
        benchmark::DoNotOptimize(ScalarDecode(src, static_cast<size_t>(text.GetLength()), out.get()));
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * int64_t{kTotal});
}

}  // namespace

BENCHMARK(BM_CBufferAppend)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_VectorAppend)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Memcpy)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Base64Encode)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Base64EncodeReused)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ScalarEncode)->Unit(benchmark::kMillisecond);
// Argument 1: the text in lines of 76 characters ending in CR LF.
BENCHMARK(BM_Base64Decode)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Base64DecodeReused)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ScalarDecode)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
