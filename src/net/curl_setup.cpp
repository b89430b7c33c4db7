#include "net/curl_setup.h"

#include "net/url_password.h"
#include "platform/ascii.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string_view>

extern char** environ;

namespace net {
namespace {

constexpr int kDefaultConnectSeconds = 30;
constexpr int kDefaultStallSeconds = 60;
// As .NET's HttpClient: long enough for any ordinary exchange, short enough
// that a server dripping bytes cannot hold a caller for good.
constexpr int kDefaultDeadlineSeconds = 100;
// Far below any working link (a 9600-baud modem moves 960 bytes a second),
// far above a peer that drips a few bytes to keep a transfer alive.
constexpr int kDefaultMinimumRate = 100;
constexpr const char* kUserAgent = "Orvex/1.0";

// The download deadline a host set; 0: the environment's.
std::atomic<int> g_nDownloadDeadline{0};

// A whole number above 0 from a variable's value (null: unset), else the fallback.
int PositiveOr(const char* text, int fallback) {
    if (text == nullptr || *text == '\0') return fallback;
    errno = 0;
    char* end = nullptr;
    const long value = std::strtol(text, &end, 10);
    if (errno != 0 || *end != '\0' || value <= 0 || value > INT_MAX) return fallback;
    return static_cast<int>(value);
}

// A whole number above 0 from the environment, else the fallback.
int PositiveFromEnv(const char* name, int fallback) { return PositiveOr(std::getenv(name), fallback); }

TlsSettings TlsFrom(const char* insecure, const char* bundle) {
    TlsSettings tls;
    tls.insecure = insecure != nullptr && std::strcmp(insecure, "1") == 0;
    if (!tls.insecure && bundle != nullptr) tls.caBundle = bundle;
    return tls;
}

// The value of an environment entry "NAME=value" when it has this name
// (ASCII case ignored with anyCase), else null.
const char* ValueOf(const char* entry, std::string_view name, bool anyCase = false) {
    for (size_t i = 0; i < name.size(); ++i) {
        // A shorter entry ends in a NUL, which matches no letter of a name.
        if (anyCase ? ascii::Lower(entry[i]) != name[i] : entry[i] != name[i]) return nullptr;
    }
    return entry[name.size()] == '=' ? entry + name.size() + 1 : nullptr;
}

// libcurl's proxy variables for http(s), any case: "http_proxy", "HTTPS_PROXY"...
bool NamesProxy(const char* entry) {
    using namespace std::string_view_literals;
    switch (ascii::Lower(entry[0])) {
        case 'h':
            return ValueOf(entry, "http_proxy"sv, true) != nullptr ||
                   ValueOf(entry, "https_proxy"sv, true) != nullptr;
        case 'a':
            return ValueOf(entry, "all_proxy"sv, true) != nullptr;
        case 'n':
            return ValueOf(entry, "no_proxy"sv, true) != nullptr;
        default:
            return false;
    }
}

void ApplyTls(CURL* easy, const TlsSettings& tls) {
    if (tls.insecure) {
        curl_easy_setopt(easy, CURLOPT_SSL_VERIFYPEER, 0L);
        curl_easy_setopt(easy, CURLOPT_SSL_VERIFYHOST, 0L);
        return;
    }
    curl_easy_setopt(easy, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(easy, CURLOPT_SSL_VERIFYHOST, 2L);
    // A private CA joins the system's: the bundle file replaces libcurl's
    // default file, while the hashed system directory (CAPATH) stays in force.
    if (!tls.caBundle.empty()) {
        curl_easy_setopt(easy, CURLOPT_CAINFO, tls.caBundle.c_str());
        const curl_version_info_data* info = curl_version_info(CURLVERSION_NOW);
        curl_easy_setopt(easy, CURLOPT_CAPATH, info->capath != nullptr ? info->capath : "/etc/ssl/certs");
    }
}

// Runs before every request of a transfer, each redirect's included: once a
// hop is on https, the hops after it may only be https. libcurl checks the
// redirect protocols afresh at each hop, so narrowing them here holds.
int KeepToHttps(void* easy, char* /*remoteIp*/, char* /*localIp*/, int /*remotePort*/, int /*localPort*/) {
    char* url = nullptr;
    if (curl_easy_getinfo(static_cast<CURL*>(easy), CURLINFO_EFFECTIVE_URL, &url) == CURLE_OK &&
        url != nullptr && ascii::StartsWithNoCase(url, "https:"))
        curl_easy_setopt(static_cast<CURL*>(easy), CURLOPT_REDIR_PROTOCOLS_STR, "https");
    return CURL_PREREQFUNC_OK;
}

}  // namespace

CURLcode GlobalInit() {
    static std::once_flag once;
    static CURLcode result = CURLE_OK;
    std::call_once(once, [] { result = curl_global_init(CURL_GLOBAL_DEFAULT); });
    return result;
}

int DefaultConnectSeconds() { return PositiveFromEnv("ORVEX_CONNECT_TIMEOUT", kDefaultConnectSeconds); }

int DefaultStallSeconds() { return PositiveFromEnv("ORVEX_STALL_TIMEOUT", kDefaultStallSeconds); }

int DownloadDeadlineSeconds() {
    const int set = g_nDownloadDeadline.load(std::memory_order_relaxed);
    return set > 0 ? set : PositiveFromEnv("ORVEX_DOWNLOAD_DEADLINE", 0);
}

void SetDownloadDeadlineSeconds(int seconds) {
    g_nDownloadDeadline.store(seconds > 0 ? seconds : 0, std::memory_order_relaxed);
}

TlsSettings ReadTlsSettings() {
    return TlsFrom(std::getenv("ORVEX_INSECURE_TLS"), std::getenv("ORVEX_CA_BUNDLE"));
}

// One pass where a getenv for each name would walk the environment five
// times: 1,500 instructions of a small request, a third of our own share.
RequestEnvironment ReadRequestEnvironment() {
    using namespace std::string_view_literals;
    // As getenv: the first entry of a name counts.
    const char* connect = nullptr;
    const char* stall = nullptr;
    const char* deadline = nullptr;
    const char* insecure = nullptr;
    const char* bundle = nullptr;
    RequestEnvironment env;
    for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry) {
        const char* text = *entry;
        if (text[0] == 'O' && std::strncmp(text, "ORVEX_", 6) == 0) {
            const auto take = [text](const char*& slot, std::string_view name) {
                if (slot == nullptr) slot = ValueOf(text, name);
            };
            take(connect, "ORVEX_CONNECT_TIMEOUT"sv);
            take(stall, "ORVEX_STALL_TIMEOUT"sv);
            take(deadline, "ORVEX_REQUEST_TIMEOUT"sv);
            take(insecure, "ORVEX_INSECURE_TLS"sv);
            take(bundle, "ORVEX_CA_BUNDLE"sv);
        } else if (!env.proxyVariables) {
            env.proxyVariables = NamesProxy(text);
        }
    }
    env.connectSeconds = PositiveOr(connect, kDefaultConnectSeconds);
    env.stallSeconds = PositiveOr(stall, kDefaultStallSeconds);
    env.deadlineSeconds = PositiveOr(deadline, kDefaultDeadlineSeconds);
    env.tls = TlsFrom(insecure, bundle);
    return env;
}

void ApplyCommon(CURL* easy, int connectSeconds, int stallSeconds, long bufferBytes) {
    ApplyCommon(easy, connectSeconds, stallSeconds, bufferBytes, ReadTlsSettings());
}

void ApplyCommon(CURL* easy, int connectSeconds, int stallSeconds, long bufferBytes, const TlsSettings& tls) {
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT,
                     static_cast<long>(connectSeconds > 0 ? connectSeconds : DefaultConnectSeconds()));
    // A transfer that moves less than a byte a second for the stall time has stalled.
    curl_easy_setopt(easy, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(easy, CURLOPT_LOW_SPEED_TIME,
                     static_cast<long>(stallSeconds > 0 ? stallSeconds : DefaultStallSeconds()));
    curl_easy_setopt(easy, CURLOPT_USERAGENT, kUserAgent);
    curl_easy_setopt(easy, CURLOPT_BUFFERSIZE, bufferBytes);
    ApplyTls(easy, tls);
}

void ApplyMinimumRate(CURL* easy) {
    curl_easy_setopt(easy, CURLOPT_LOW_SPEED_LIMIT,
                     static_cast<long>(PositiveFromEnv("ORVEX_MIN_RATE", kDefaultMinimumRate)));
}

void ApplyHttpProtocols(CURL* easy, const std::string& url) {
    curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR,
                     ascii::StartsWithNoCase(url, "https:") ? "https" : "http,https");
    curl_easy_setopt(easy, CURLOPT_PREREQFUNCTION, KeepToHttps);
    curl_easy_setopt(easy, CURLOPT_PREREQDATA, easy);
    curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(easy, CURLOPT_MAXREDIRS, static_cast<long>(kMaxRedirects));
}

void ApplyHopProtocols(CURL* easy, bool httpsOnly) {
    curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, httpsOnly ? "https" : "http,https");
    curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 0L);
}

std::string FailureText(CURLcode code, const char* errorBuffer, long status, const std::string& url) {
    std::string text =
        errorBuffer != nullptr && errorBuffer[0] != '\0' ? errorBuffer : curl_easy_strerror(code);
    if (code == CURLE_UNSUPPORTED_PROTOCOL && status >= 300 && status <= 399)
        text = "Redirect refused (only http and https are followed, never https to http): " + text;
    else if (code == CURLE_URL_MALFORMAT)
        text += ": " + url;
    // A URL's password may stand in the URL or in libcurl's words about it.
    return net::WithoutUrlPasswords(text);
}

}  // namespace net
