#include "net/trace.h"

#include "net/percent_coding.h"
#include "net/url_password.h"
#include "platform/ascii.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <mutex>
#include <unistd.h>

namespace net {
namespace {

constexpr int kUnread = -2;
constexpr int kOff = -1;
constexpr const char* kRedacted = "[redacted]";
// Lines held by an exchange are written once they pass this, whatever else.
constexpr size_t kPendingLimit = 256 * 1024;

// Opening and every write happen under this lock, so that a block of lines
// from one thread is never cut by another's. O_APPEND keeps blocks of
// several processes whole in a shared file too.
std::mutex g_Lock;
std::atomic<int> g_nFd{kUnread};
bool g_bOwnFd = false;
std::atomic<unsigned long> g_nExchanges{0};

int OpenLocked() {
    int fd = g_nFd.load(std::memory_order_relaxed);
    if (fd != kUnread) return fd;
    fd = kOff;
    const char* name = std::getenv("ORVEX_TRACE");
    if (name != nullptr && std::strcmp(name, "-") == 0) {
        fd = STDERR_FILENO;
        g_bOwnFd = false;
    } else if (name != nullptr && *name != '\0') {
        // Traces hold bodies: only the owner reads a new one.
        fd = open(name, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
        if (fd < 0) {
            std::fprintf(stderr, "orvex: ORVEX_TRACE: %s: %s; no trace is written\n", name,
                         std::strerror(errno));
            fd = kOff;
        }
        g_bOwnFd = fd >= 0;
    }
    g_nFd.store(fd, std::memory_order_release);
    return fd;
}

void WriteAll(const std::string& text) {
    if (text.empty()) return;
    std::lock_guard<std::mutex> lock(g_Lock);
    const int fd = OpenLocked();
    if (fd < 0) return;
    const char* p = text.data();
    size_t left = text.size();
    // A trace that fails to take its lines loses them; the call goes on.
    while (left > 0) {
        const ssize_t n = write(fd, p, left);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        p += n;
        left -= static_cast<size_t>(n);
    }
}

// "2025-03-07T10:20:30.123Z"
std::string WallClock() {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    tm parts{};
    gmtime_r(&now.tv_sec, &parts);
    char text[96];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03ldZ", parts.tm_year + 1900,
                  parts.tm_mon + 1, parts.tm_mday, parts.tm_hour, parts.tm_min, parts.tm_sec,
                  now.tv_nsec / 1000000);
    return text;
}

bool HasName(const std::string& line, size_t colon, const char* name) {
    return ascii::EqualNoCase(std::string_view(line).substr(0, colon), name);
}

bool NameContains(const std::string& name, const char* part) {
    const size_t n = std::strlen(part);
    for (size_t i = 0; i + n <= name.size(); ++i)
        if (ascii::EqualNoCase(std::string_view(name).substr(i, n), part)) return true;
    return false;
}

// Cookie values this long are taken for session keys and kept out of the
// rest of the exchange too; shorter ones ("en", "1") would only garble it.
constexpr size_t kCookieSecretBytes = 8;

// "a=1; b=2" becomes "a=[redacted]; b=[redacted]"; with firstOnly (Set-Cookie),
// only the cookie itself, its attributes (Path, Expires...) kept.
std::string RedactCookies(const std::string& value, bool firstOnly, std::vector<std::string>& secrets) {
    std::string out;
    size_t at = 0;
    bool first = true;
    while (at <= value.size()) {
        size_t end = value.find(';', at);
        if (end == std::string::npos) end = value.size();
        std::string pair = value.substr(at, end - at);
        const size_t equals = pair.find('=');
        if ((first || !firstOnly) && equals != std::string::npos) {
            if (pair.size() - equals - 1 >= kCookieSecretBytes) secrets.push_back(pair.substr(equals + 1));
            pair = pair.substr(0, equals + 1) + kRedacted;
        }
        out += pair;
        if (end < value.size()) out += ';';
        first = false;
        at = end + 1;
    }
    return out;
}

// Header lines and FTP commands with credentials keep their names only, and
// what they hid goes to `secrets`. Authorization keeps its scheme word
// ("Basic [redacted]"): which scheme was used is what support asks first.
void RedactHeader(std::string& line, std::vector<std::string>& secrets) {
    if (line.size() > 5 && ascii::StartsWithNoCase(line, "PASS ")) {
        secrets.push_back(line.substr(5));
        line = std::string("PASS ") + kRedacted;
        return;
    }
    const size_t colon = line.find(':');
    if (colon == std::string::npos || colon == 0 || line.find(' ') < colon) return;
    const size_t valueAt = line.find_first_not_of(' ', colon + 1);
    const std::string value = valueAt == std::string::npos ? std::string() : line.substr(valueAt);
    const std::string head = line.substr(0, colon + 1) + " ";
    if (HasName(line, colon, "Authorization") || HasName(line, colon, "Proxy-Authorization")) {
        const size_t space = value.find(' ');
        const std::string scheme = space == std::string::npos ? std::string() : value.substr(0, space + 1);
        line = head + scheme + kRedacted;
        secrets.push_back(space == std::string::npos ? value : value.substr(space + 1));
        return;
    }
    if (HasName(line, colon, "Cookie") || HasName(line, colon, "Set-Cookie")) {
        line = head + RedactCookies(value, colon == std::strlen("Set-Cookie"), secrets);
        return;
    }
    const std::string name = line.substr(0, colon);
    for (const char* part : {"token", "secret", "password", "api-key", "apikey"}) {
        if (NameContains(name, part)) {
            line = head + kRedacted;
            secrets.push_back(value);
            return;
        }
    }
}

// Control bytes are shown escaped, so a trace read on a terminal cannot drive it.
void AppendEscaped(std::string& out, const char* data, size_t size) {
    for (size_t i = 0; i < size; ++i) {
        const unsigned char c = static_cast<unsigned char>(data[i]);
        if ((c < 0x20 && c != '\t') || c == 0x7f) {
            out += "\\x";
            ascii::AppendHexByte(out, c);
        } else {
            out += static_cast<char>(c);
        }
    }
}

// Text is what has no NUL byte and few control bytes besides white space;
// bytes from 0x80 up count as text (UTF-8 or the code page).
bool LooksBinary(const std::string& bytes) {
    size_t controls = 0;
    for (unsigned char c : bytes) {
        if (c == 0) return true;
        if ((c < 0x20 && c != '\t' && c != '\n' && c != '\r' && c != '\f') || c == 0x7f) ++controls;
    }
    return controls * 10 > bytes.size();
}

// Calls `line` for each line of a text, LF or CR LF ending them.
template <typename Line>
void EachLine(const char* data, size_t size, Line line) {
    size_t start = 0;
    while (start < size) {
        const char* lf = static_cast<const char*>(std::memchr(data + start, '\n', size - start));
        size_t end = lf != nullptr ? static_cast<size_t>(lf - data) : size;
        const size_t next = lf != nullptr ? end + 1 : size;
        if (end > start && data[end - 1] == '\r' && lf != nullptr) --end;
        line(data + start, end - start);
        start = next;
    }
}

}  // namespace

bool Enabled() {
    const int fd = g_nFd.load(std::memory_order_acquire);
    if (fd != kUnread) return fd >= 0;
    std::lock_guard<std::mutex> lock(g_Lock);
    return OpenLocked() >= 0;
}

void Reload() {
    std::lock_guard<std::mutex> lock(g_Lock);
    const int fd = g_nFd.load(std::memory_order_relaxed);
    if (fd >= 0 && g_bOwnFd) close(fd);
    g_bOwnFd = false;
    g_nFd.store(kUnread, std::memory_order_release);
}

CExchange::CExchange(const char* what, const std::string& target, const std::string& password)
    : m_id(std::to_string(getpid()) + "-" + std::to_string(++g_nExchanges)),
      m_Start(std::chrono::steady_clock::now()),
      m_ftp(ascii::StartsWithNoCase(target, "ftp:")) {
    AddSecret(password);
    AddSecret(net::UrlPassword(target));
    // libcurl names the proxy it takes, credentials and all, in its own texts.
    for (const char* name : {"http_proxy", "HTTP_PROXY", "https_proxy", "HTTPS_PROXY", "ftp_proxy",
                             "FTP_PROXY", "all_proxy", "ALL_PROXY"}) {
        const char* proxy = std::getenv(name);
        if (proxy != nullptr) AddSecret(net::UrlPassword(proxy));
    }
    std::string title;
    AppendEscaped(title, target.data(), target.size());
    m_pending = m_id + " " + WallClock() + " " + what + " " + Redacted(title) + "\n";
    Flush();
}

CExchange::~CExchange() { End("ended"); }

void CExchange::AddSecret(const std::string& secret) {
    for (const std::string& form : {secret, net::PercentDecode(secret)}) {
        if (form.empty() || std::find(m_Secrets.begin(), m_Secrets.end(), form) != m_Secrets.end()) continue;
        m_Secrets.push_back(form);
    }
    // Longer first, so that a secret inside another cannot leave the rest of it.
    std::sort(m_Secrets.begin(), m_Secrets.end(),
              [](const std::string& a, const std::string& b) { return a.size() > b.size(); });
}

void CExchange::Attach(CURL* easy) {
    curl_easy_setopt(easy, CURLOPT_DEBUGFUNCTION, OnDebug);
    curl_easy_setopt(easy, CURLOPT_DEBUGDATA, this);
    curl_easy_setopt(easy, CURLOPT_VERBOSE, 1L);
}

void CExchange::Detach(CURL* easy) {
    curl_easy_setopt(easy, CURLOPT_VERBOSE, 0L);
    curl_easy_setopt(easy, CURLOPT_DEBUGFUNCTION, nullptr);
    curl_easy_setopt(easy, CURLOPT_DEBUGDATA, nullptr);
}

long long CExchange::Elapsed() const {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - m_Start)
        .count();
}

std::string CExchange::Redacted(std::string line) const {
    line = net::MarkUrlPasswords(line, kRedacted);
    for (const std::string& secret : m_Secrets) {
        for (size_t at = line.find(secret); at != std::string::npos; at = line.find(secret, at)) {
            line.replace(at, secret.size(), kRedacted);
            at += std::strlen(kRedacted);
        }
    }
    return line;
}

void CExchange::AddLine(const char* marker, const std::string& text, bool header) {
    std::string line;
    AppendEscaped(line, text.data(), text.size());
    if (header) {
        // What we sent is kept out of the rest too (a server may echo it);
        // what a server sent is only cut from its own line.
        std::vector<std::string> secrets;
        RedactHeader(line, secrets);
        if (std::strcmp(marker, ">") == 0)
            for (const std::string& secret : secrets) AddSecret(secret);
    }
    m_pending += m_id + " +" + std::to_string(Elapsed()) + "ms " + marker + " " + Redacted(line) + "\n";
}

void CExchange::Note(const std::string& text) {
    if (m_ended) return;
    try {
        CloseBody();
        AddLine("*", text, false);
    } catch (...) {
        // Out of memory: the trace loses the note, the call goes on.
    }
}

void CExchange::CloseBody() {
    if (m_cBody == 0) return;
    const std::string stamp = m_id + " +" + std::to_string(m_bodyEndMs) + "ms " + m_cBody + " ";
    std::string summary = "body: " + std::to_string(m_bodyBytes) + " bytes";
    const bool binary = LooksBinary(m_body);
    if (binary)
        summary += ", binary, not shown";
    else if (m_bodyBytes > m_body.size())
        summary += " (the first " + std::to_string(m_body.size()) + " shown, " +
                   std::to_string(m_bodyBytes - m_body.size()) + " left out)";
    m_pending += stamp + summary + "\n";
    if (!binary) {
        EachLine(m_body.data(), m_body.size(), [&](const char* data, size_t size) {
            std::string line;
            AppendEscaped(line, data, size);
            m_pending += stamp + "| " + Redacted(line) + "\n";
        });
    }
    m_cBody = 0;
    m_body.clear();
    m_bodyBytes = 0;
}

void CExchange::Flush() {
    WriteAll(m_pending);
    m_pending.clear();
}

int CExchange::OnDebug(CURL* /*easy*/, curl_infotype type, char* data, size_t size, void* user) {
    try {
        static_cast<CExchange*>(user)->Take(type, data, size);
    } catch (...) {
        // Out of memory: the trace loses these bytes, the transfer goes on.
    }
    return 0;
}

void CExchange::Take(curl_infotype type, const char* data, size_t size) {
    if (m_ended) return;
    if (type == CURLINFO_DATA_IN || type == CURLINFO_DATA_OUT) {
        const char direction = type == CURLINFO_DATA_IN ? '<' : '>';
        if (m_cBody != direction) {
            CloseBody();
            m_cBody = direction;
        }
        if (m_body.size() < kBodyBytesShown)
            m_body.append(data, std::min(size, kBodyBytesShown - m_body.size()));
        m_bodyBytes += size;
        m_bodyEndMs = Elapsed();
        return;
    }
    if (type != CURLINFO_TEXT && type != CURLINFO_HEADER_IN && type != CURLINFO_HEADER_OUT) return;
    CloseBody();
    const char* marker = type == CURLINFO_TEXT ? "*" : type == CURLINFO_HEADER_IN ? "<" : ">";
    bool blank = false;
    EachLine(data, size, [&](const char* line, size_t length) {
        if (length == 0) {
            blank = true;
            return;
        }
        AddLine(marker, std::string(line, length), type != CURLINFO_TEXT);
    });
    // Blocks go out as they complete: a request, a response's headers, each
    // FTP command and reply. A response header line waits for the rest.
    const bool headerLine = type == CURLINFO_HEADER_IN && !m_ftp && !blank;
    if ((type != CURLINFO_TEXT && !headerLine) || m_pending.size() > kPendingLimit) Flush();
}

void CExchange::End(const std::string& outcome, const std::string& detail) {
    if (m_ended) return;
    m_ended = true;
    try {
        CloseBody();
        AddLine(
            "end:",
            outcome + " after " + std::to_string(Elapsed()) + " ms" + (detail.empty() ? "" : ": ") + detail,
            false);
        Flush();
    } catch (...) {
        // Out of memory: the trace loses its last lines, the call goes on.
    }
}

void Refused(const char* what, const std::string& name, const std::string& reason) {
    if (!Enabled()) return;
    CExchange exchange(what, name, std::string());
    exchange.End("refused", reason);
}

}  // namespace net
