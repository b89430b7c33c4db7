#include "platform/code_page.h"

#include "platform/utf.h"

#include <iconv.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <strings.h>

namespace codepage {
namespace {

struct State {
    std::string name = "UTF-8";
    bool utf8 = true;
};

std::mutex g_lock;
State* g_state = nullptr;

State Load() {
    State s;
    const char* env = std::getenv("ORVEX_CODEPAGE");
    if (env == nullptr || *env == '\0') return s;
    if (strcasecmp(env, "UTF-8") == 0 || strcasecmp(env, "UTF8") == 0) return s;
    // An encoding iconv does not know leaves the default in force.
    iconv_t probe = iconv_open("UTF-16LE", env);
    if (probe == reinterpret_cast<iconv_t>(-1)) return s;
    iconv_close(probe);
    s.name = env;
    s.utf8 = false;
    return s;
}

const State& Current() {
    std::lock_guard<std::mutex> guard(g_lock);
    if (g_state == nullptr) g_state = new State(Load());
    return *g_state;
}

// One iconv pass; on a sequence it cannot convert it writes `bad` (already
// in the target encoding) and skips `skip` input bytes.
std::string Convert(const char* to, const char* from, const char* in, size_t inLen, const char* bad,
                    size_t badLen, size_t skip) {
    std::string out;
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1)) return out;
    out.resize(inLen * 4 + 16);
    char* src = const_cast<char*>(in);
    size_t srcLeft = inLen;
    size_t used = 0;
    while (srcLeft > 0) {
        char* dst = &out[used];
        size_t dstLeft = out.size() - used;
        const size_t r = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
        used = out.size() - dstLeft;
        if (r != static_cast<size_t>(-1)) break;
        if (errno == E2BIG) {
            out.resize(out.size() * 2);
            continue;
        }
        // EILSEQ or EINVAL: a byte sequence the source encoding cannot read,
        // or a character the target lacks.
        if (out.size() - used < badLen) out.resize(out.size() * 2 + badLen);
        std::memcpy(&out[used], bad, badLen);
        used += badLen;
        const size_t n = skip < srcLeft ? skip : srcLeft;
        src += n;
        srcLeft -= n;
    }
    out.resize(used);
    iconv_close(cd);
    return out;
}

}  // namespace

const std::string& Name() { return Current().name; }
bool IsUtf8() { return Current().utf8; }

void Reload() {
    std::lock_guard<std::mutex> guard(g_lock);
    delete g_state;
    g_state = new State(Load());
}

std::u16string ToUtf16(const char* bytes, size_t length) {
    std::u16string out;
    if (IsUtf8()) {
        utf::AppendUtf8AsUtf16(bytes, length, out);
        return out;
    }
    static const char kBad[2] = {'\xFD', '\xFF'};  // U+FFFD, little-endian
    const std::string raw = Convert("UTF-16LE", Name().c_str(), bytes, length, kBad, 2, 1);
    out.resize(raw.size() / 2);
    std::memcpy(out.data(), raw.data(), out.size() * 2);
    return out;
}

std::string FromUtf16(const char16_t* units, size_t count) {
    if (IsUtf8()) {
        std::string out;
        utf::AppendUtf16AsUtf8(units, count, out);
        return out;
    }
    return Convert(Name().c_str(), "UTF-16LE", reinterpret_cast<const char*>(units), count * 2, "?", 1, 2);
}

std::string ToUtf8(const char* bytes, size_t length) {
    if (IsUtf8()) {
        if (utf::IsValidUtf8(bytes, length)) return std::string(bytes, length);
        return utf::SanitizeUtf8(bytes, length);
    }
    const std::u16string wide = ToUtf16(bytes, length);
    std::string out;
    utf::AppendUtf16AsUtf8(wide.data(), wide.size(), out);
    return out;
}

std::string FromUtf8(const char* bytes, size_t length) {
    if (IsUtf8()) return std::string(bytes, length);
    std::u16string wide;
    utf::AppendUtf8AsUtf16(bytes, length, wide);
    return FromUtf16(wide.data(), wide.size());
}

}  // namespace codepage
