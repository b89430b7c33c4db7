#include <orvex/pub_ex.h>

#include "platform/ascii.h"
#include "support/pub.h"

#include <climits>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <new>
#include <string>
#include <vector>

namespace {

// atoi without its undefined overflow: the value saturates far below INT_MAX,
// so that the subtractions of a duration cannot overflow either.
int ReadInt(const char* text) {
    while (*text == ' ' || (*text >= '\t' && *text <= '\r')) ++text;
    bool negative = false;
    if (*text == '+' || *text == '-') negative = *text++ == '-';
    long long value = 0;
    for (; *text >= '0' && *text <= '9'; ++text) {
        if (value < 1000000000LL) value = value * 10 + (*text - '0');
    }
    if (value > 1000000000LL) value = 1000000000LL;
    return static_cast<int>(negative ? -value : value);
}

CString Milliseconds(int ms) {
    CString text;
    text.Format("%d", ms);
    while (text.GetLength() < 3) text.Insert(0, '0');
    return text;
}

}  // namespace

void CPubEx::MemReplace(char** buf, long& len, const CString& find, const CString& repl, int flag) {
    const long f = find.GetLength();
    if (f == 0 || buf == nullptr || *buf == nullptr || len <= 0) return;
    const long r = repl.GetLength();
    // Every occurrence first, each search starting behind the last one: the
    // same occurrences a replace-as-you-go finds, with one move of the bytes.
    std::vector<long> at;
    for (long p = CPub::memmem(*buf, find.GetString(), 0, len, f, flag); p >= 0;
         p = CPub::memmem(*buf, find.GetString(), p + f, len, f, flag)) {
        at.push_back(p);
    }
    if (at.empty()) return;
    const long long newLen = static_cast<long long>(len) + static_cast<long long>(at.size()) * (r - f);
    if (newLen > LONG_MAX) throw std::bad_alloc();
    char* out = static_cast<char*>(std::malloc(newLen > 0 ? static_cast<size_t>(newLen) : 1));
    if (out == nullptr) throw std::bad_alloc();
    long from = 0;
    char* w = out;
    for (const long p : at) {
        std::memcpy(w, *buf + from, static_cast<size_t>(p - from));
        w += p - from;
        std::memcpy(w, repl.GetString(), static_cast<size_t>(r));
        w += r;
        from = p + f;
    }
    std::memcpy(w, *buf + from, static_cast<size_t>(len - from));
    std::free(*buf);
    *buf = out;
    len = static_cast<long>(newLen);
}

int CPubEx::ReplaceStr(CString& str, const char* find, const char* repl, int bCase) {
    if (bCase != 0) return str.Replace(find, repl);
    if (find == nullptr || *find == '\0') return 0;
    const long f = static_cast<long>(std::strlen(find));
    const std::string& s = str.str();
    const long length = static_cast<long>(s.size());
    // Searching on behind each insertion is searching the text as given
    // behind each occurrence: one pass, however many there are.
    std::string out;
    long from = 0;
    int count = 0;
    for (long p = CPub::memmem(s.data(), find, 0, length, f, 1); p >= 0;
         p = CPub::memmem(s.data(), find, from, length, f, 1)) {
        if (count == 0) out.reserve(s.size());
        out.append(s, static_cast<size_t>(from), static_cast<size_t>(p - from));
        if (repl != nullptr) out += repl;
        from = p + f;
        ++count;
    }
    if (count == 0) return 0;
    out.append(s, static_cast<size_t>(from), std::string::npos);
    str.str().swap(out);
    return count;
}

int CPubEx::HTML_ToNormal(CString& str) {
    // One pass decoding all six at once gives what six passes in the order
    // nbsp, lt, gt, quot, apos, amp give: no replacement makes a new match for
    // a later pass, as each yields a character that no entity contains, and
    // "&amp;" yields a '&' that is not read again ("&amp;lt;" is "&lt;").
    static const struct {
        const char* name;
        size_t length;
        char ch;
    } kEntities[] = {{"&nbsp;", 6, ' '}, {"&lt;", 4, '<'},    {"&gt;", 4, '>'},
                     {"&quot;", 6, '"'}, {"&apos;", 6, '\''}, {"&amp;", 5, '&'}};
    const std::string& s = str.str();
    size_t p = s.find('&');
    if (p == std::string::npos) return 0;
    std::string out;
    size_t from = 0;
    int count = 0;
    while (p != std::string::npos) {
        for (const auto& e : kEntities) {
            if (s.size() - p < e.length) continue;
            size_t i = 1;
            while (i < e.length && ascii::Lower(s[p + i]) == e.name[i]) ++i;
            if (i < e.length) continue;
            if (count == 0) out.reserve(s.size());
            out.append(s, from, p - from);
            out += e.ch;
            from = p + e.length;
            ++count;
            break;
        }
        p = s.find('&', p + 1 > from ? p + 1 : from);
    }
    if (count == 0) return 0;
    out.append(s, from, std::string::npos);
    str.str().swap(out);
    return count;
}

int CPubEx::HTML_ToHTML(CString& str, int bNbsp) {
    int count = str.Replace("&", "&amp;");
    count += str.Replace("<", "&lt;");
    count += str.Replace(">", "&gt;");
    count += str.Replace("\"", "&quot;");
    count += str.Replace("'", "&apos;");
    if (bNbsp != 0) count += str.Replace(" ", "&nbsp;");
    return count;
}

int CPubEx::String_ToXML(CString& str) {
    ReplaceStr(str, "&amp;", "&", 0);
    return str.Replace("&", "&amp;");
}

CString CPubEx::GetCurFullTime() {
    tzset();
    // One reading for both parts, so the milliseconds belong to the second shown.
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    const time_t seconds = now.tv_sec;
    tm local{};
    localtime_r(&seconds, &local);
    CString text;
    text.Format("%02d:%02d:%02d", local.tm_hour, local.tm_min, local.tm_sec);
    return text + "." + Milliseconds(static_cast<int>(now.tv_nsec / 1000000));
}

CString CPubEx::GetFullTimeOut(const CString& start, const CString& end) {
    struct Stamp {
        int h, m, s, ms;
    };
    const auto read = [](const CString& text) {
        Stamp t{};
        t.ms = ReadInt(CPub::GetRight(text, "."));
        CStringArray parts;
        CPub::CString2Array(parts, CPub::GetLeft(text, "."), ":", 0);
        parts.SetSize(3);
        t.h = ReadInt(parts[0]);
        t.m = ReadInt(parts[1]);
        t.s = ReadInt(parts[2]);
        return t;
    };
    const Stamp a = read(start), b = read(end);
    int ms = b.ms - a.ms, s = b.s - a.s, m = b.m - a.m, h = b.h - a.h;
    if (ms < 0) {
        ms += 1000;
        --s;
    }
    if (s < 0) {
        s += 60;
        --m;
    }
    if (m < 0) {
        m += 60;
        --h;
    }
    CString text;
    text.Format("%d:%d:%d.", h, m, s);
    return text + Milliseconds(ms);
}
