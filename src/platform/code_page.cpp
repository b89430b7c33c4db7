#include "platform/code_page.h"

#include "platform/ascii.h"
#include "platform/utf.h"

#include <iconv.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string_view>
#include <strings.h>
#include <vector>

namespace codepage {
namespace {

struct State {
    std::string name = "UTF-8";
    bool utf8 = true;
    bool multiByte = false;  // lengths holds the character lengths
    unsigned char lengths[256] = {};
    bool singleByte = false;  // every character one byte; byteValid tells which bytes are text
    bool byteValid[256] = {};
};

// 1 when iconv reads the bytes as whole characters, 0 when they start a
// longer one, -1 when they are no text.
int Probe(iconv_t cd, const unsigned char* bytes, size_t n) {
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    char* in = reinterpret_cast<char*>(const_cast<unsigned char*>(bytes));
    size_t inLeft = n;
    char out[32];
    char* dst = out;
    size_t outLeft = sizeof out;
    if (iconv(cd, &in, &inLeft, &dst, &outLeft) != static_cast<size_t>(-1)) return inLeft == 0 ? 1 : -1;
    return errno == EINVAL ? 0 : -1;
}

// Asks iconv, once per code page, how long a character each byte starts
// is: a lead byte takes the shortest sequence iconv completes. The lengths
// are kept when some lead byte takes a trail below 0x80.
void FillLengths(State& s) {
    iconv_t cd = iconv_open("UTF-16LE", s.name.c_str());
    if (cd == reinterpret_cast<iconv_t>(-1)) return;
    unsigned char(&lengths)[256] = s.lengths;
    bool asciiTrail = false;
    bool lead = false;
    for (int b = 0; b < 256; ++b) {
        lengths[b] = 1;
        unsigned char seq[4] = {static_cast<unsigned char>(b), 0, 0, 0};
        const int alone = Probe(cd, seq, 1);
        s.byteValid[b] = alone == 1;
        if (alone != 0) continue;
        lead = true;
        for (size_t n = 2; n <= 4 && lengths[b] == 1; ++n) {
            for (int t = 1; t < 256; ++t) {
                for (size_t k = 1; k < n; ++k) seq[k] = static_cast<unsigned char>(t);
                if (Probe(cd, seq, n) != 1) continue;
                lengths[b] = static_cast<unsigned char>(n);
                if (t < 0x80) {
                    asciiTrail = true;
                    break;
                }
            }
        }
    }
    iconv_close(cd);
    s.multiByte = asciiTrail;
    s.singleByte = !lead;
}

std::mutex g_lock;
// Read without the lock once set.
std::atomic<const State*> g_state{nullptr};
// Every state made, each kept alive (another thread may still be reading one
// Reload replaced); a code page asked for again takes its state from here,
// so reloading costs memory once per code page, never per call.
std::vector<const State*>* g_made = nullptr;

// The code page the environment asks for; State's name, "UTF-8", by default.
std::string Wanted() {
    const std::string utf8 = State().name;
    const char* env = std::getenv("ORVEX_CODEPAGE");
    if (env == nullptr || *env == '\0') return utf8;
    if (strcasecmp(env, "UTF-8") == 0 || strcasecmp(env, "UTF8") == 0) return utf8;
    // An encoding iconv does not know leaves the default in force.
    iconv_t probe = iconv_open("UTF-16LE", env);
    if (probe == reinterpret_cast<iconv_t>(-1)) return utf8;
    iconv_close(probe);
    return env;
}

// The state of the code page the environment asks for; under g_lock.
const State* Load() {
    const std::string name = Wanted();
    if (g_made == nullptr) g_made = new std::vector<const State*>;
    for (const State* made : *g_made)
        if (made->name == name) return made;
    auto* s = new State;
    if (name != s->name) {
        s->name = name;
        s->utf8 = false;
        FillLengths(*s);
    }
    g_made->push_back(s);
    return s;
}

// Makes s the state in force; under g_lock.
void Publish(const State* s) {
    g_state.store(s, std::memory_order_release);
    detail::g_pCharLengths.store(s->multiByte ? s->lengths : nullptr, std::memory_order_release);
}

[[gnu::noinline]] const State& LoadOnce() {
    std::lock_guard<std::mutex> guard(g_lock);
    const State* s = g_state.load(std::memory_order_relaxed);
    if (s == nullptr) {
        s = Load();
        Publish(s);
    }
    return *s;
}

// One load and a test once the code page is known: the case-free
// comparisons ask on every call.
inline const State& Current() {
    const State* s = g_state.load(std::memory_order_acquire);
    return s != nullptr ? *s : LoadOnce();
}

// Byte compares, so that the loops over whole texts become vector code.
using ascii::Lower;
using ascii::Upper;

// sub (n bytes) at t: multi-byte characters byte for byte, others with ASCII case ignored.
bool MatchAt(const unsigned char* t, const unsigned char* sub, size_t n, const unsigned char* lengths) {
    size_t whole = 0;  // bytes left of a multi-byte character
    for (size_t k = 0; k < n; ++k) {
        if (whole > 0 || lengths[sub[k]] > 1) {
            whole = whole > 0 ? whole - 1 : lengths[sub[k]] - 1u;
            if (t[k] != sub[k]) return false;
        } else if (Lower(t[k]) != Lower(sub[k])) {
            return false;
        }
    }
    return true;
}

}  // namespace

namespace detail {

const unsigned char kUnread[1] = {0};
std::atomic<const unsigned char*> g_pCharLengths{kUnread};

const unsigned char* ReadCharLengths() {
    const State& s = Current();
    return s.multiByte ? s.lengths : nullptr;
}

}  // namespace detail

int CompareNoCase(const char* a, const char* b) {
    const auto* p = reinterpret_cast<const unsigned char*>(a);
    const auto* q = reinterpret_cast<const unsigned char*>(b);
    const unsigned char* lengths = CharLengths();
    if (lengths == nullptr) {
        for (;; ++p, ++q) {
            const unsigned char ca = Lower(*p);
            const unsigned char cb = Lower(*q);
            if (ca != cb) return ca < cb ? -1 : 1;
            if (ca == 0) return 0;
        }
    }
    // Both texts are equal up to p, so a character starts at p in both.
    size_t whole = 0;  // bytes left of a multi-byte character
    for (;; ++p, ++q) {
        unsigned char ca = *p;
        unsigned char cb = *q;
        if (whole > 0) {
            --whole;
        } else if (lengths[ca] > 1) {
            whole = lengths[ca] - 1u;
        } else {
            ca = Lower(ca);
            cb = Lower(cb);
        }
        if (ca != cb) return ca < cb ? -1 : 1;
        if (ca == 0) return 0;
    }
}

size_t FindNoCase(const char* text, size_t length, const char* sub, size_t subLength, size_t start) {
    if (subLength == 0 || start > length || length - start < subLength) return std::string::npos;
    const auto* t = reinterpret_cast<const unsigned char*>(text);
    const auto* s = reinterpret_cast<const unsigned char*>(sub);
    const size_t last = length - subLength;
    const unsigned char* lengths = CharLengths();
    if (lengths == nullptr) {
        const unsigned char first = Lower(s[0]);
        for (size_t i = start; i <= last; ++i) {
            if (Lower(t[i]) != first) continue;
            size_t k = 1;
            while (k < subLength && Lower(t[i + k]) == Lower(s[k])) ++k;
            if (k == subLength) return i;
        }
        return std::string::npos;
    }
    for (size_t i = start; i <= last; i += lengths[t[i]]) {
        if (MatchAt(t + i, s, subLength, lengths)) return i;
    }
    return std::string::npos;
}

void FoldCase(char* text, size_t length, bool upper) {
    auto* p = reinterpret_cast<unsigned char*>(text);
    const unsigned char* lengths = CharLengths();
    if (lengths == nullptr) {
        // Two plain loops the compiler turns into vector code.
        if (upper)
            for (size_t i = 0; i < length; ++i) p[i] = Upper(p[i]);
        else
            for (size_t i = 0; i < length; ++i) p[i] = Lower(p[i]);
        return;
    }
    for (size_t i = 0; i < length;) {
        if (lengths[p[i]] > 1) {
            i += lengths[p[i]];
            continue;
        }
        p[i] = upper ? Upper(p[i]) : Lower(p[i]);
        ++i;
    }
}

namespace {

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
    Publish(Load());
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

namespace {

bool IsXmlSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// True when the code page decodes every byte sequence of the text.
bool IsValid(const char* bytes, size_t length) {
    const State& s = Current();
    if (s.utf8) return utf::IsValidUtf8(bytes, length);
    if (s.singleByte) {
        for (size_t i = 0; i < length; ++i)
            if (!s.byteValid[static_cast<unsigned char>(bytes[i])]) return false;
        return true;
    }
    iconv_t cd = iconv_open("UTF-16LE", s.name.c_str());
    if (cd == reinterpret_cast<iconv_t>(-1)) return true;
    char* src = const_cast<char*>(bytes);
    size_t srcLeft = length;
    bool valid = true;
    while (srcLeft > 0) {
        char block[4096];
        char* dst = block;
        size_t dstLeft = sizeof block;
        if (iconv(cd, &src, &srcLeft, &dst, &dstLeft) == static_cast<size_t>(-1) && errno != E2BIG) {
            valid = false;
            break;
        }
    }
    iconv_close(cd);
    return valid;
}

}  // namespace

std::string DeclaredEncoding(const char* text, size_t length) {
    size_t i = 0;
    while (i < length && IsXmlSpace(text[i])) ++i;
    if (length - i < 6 || std::memcmp(text + i, "<?xml", 5) != 0 || !IsXmlSpace(text[i + 5]))
        return std::string();
    // A declaration is short; its end is "?>".
    std::string_view decl(text + i, std::min<size_t>(length - i, 256));
    decl = decl.substr(0, decl.find("?>"));
    size_t at = decl.find("encoding");
    if (at == std::string_view::npos) return std::string();
    at += 8;
    while (at < decl.size() && IsXmlSpace(decl[at])) ++at;
    if (at >= decl.size() || decl[at] != '=') return std::string();
    ++at;
    while (at < decl.size() && IsXmlSpace(decl[at])) ++at;
    if (at >= decl.size() || (decl[at] != '"' && decl[at] != '\'')) return std::string();
    const size_t close = decl.find(decl[at], at + 1);
    if (close == std::string_view::npos) return std::string();
    const std::string_view name = decl.substr(at + 1, close - at - 1);
    for (const char c : name) {
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '.' && c != '_' && c != '-')
            return std::string();
    }
    return std::string(name);
}

bool DecodeDeclared(const char* bytes, size_t length, std::string& utf8) {
    const std::string name = DeclaredEncoding(bytes, length);
    // UTF-8 declared but broken keeps the replacement of decision 19, one maximal subpart at a time.
    if (name.empty() || strcasecmp(name.c_str(), "UTF-8") == 0 || strcasecmp(name.c_str(), "UTF8") == 0)
        return false;
    if (IsValid(bytes, length)) return false;
    std::string decoded = Convert("UTF-8", name.c_str(), bytes, length, "\xEF\xBF\xBD", 3, 1);
    // An encoding iconv does not know gives nothing; one that cannot have
    // written the declaration (UTF-16 named in 8-bit text) does not read it back.
    if (decoded.empty() ||
        strcasecmp(DeclaredEncoding(decoded.data(), decoded.size()).c_str(), name.c_str()) != 0)
        return false;
    utf8.swap(decoded);
    return true;
}

SystemName::SystemName(const char* name) : m_name(name) {
    if (name == nullptr || IsUtf8()) return;
    m_converted = ToUtf8(name, std::strlen(name));
    m_name = m_converted.c_str();
}

std::string FromSystem(const char* text, size_t length) {
    if (text == nullptr) return std::string();
    return FromUtf8(text, length);
}

std::string FromUtf8(const char* bytes, size_t length) {
    if (IsUtf8()) return std::string(bytes, length);
    std::u16string wide;
    utf::AppendUtf8AsUtf16(bytes, length, wide);
    return FromUtf16(wide.data(), wide.size());
}

}  // namespace codepage
