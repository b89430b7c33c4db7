// What every libcurl transfer of ours shares: the one global init, the
// timeouts, TLS checking, redirects and the failure texts. Included only by
// the libcurl users in this folder.
#ifndef ORVEX_NET_CURL_SETUP_H
#define ORVEX_NET_CURL_SETUP_H

#include <curl/curl.h>

#include <string>

namespace net {

// libcurl's global state, set up once per process and never torn down: we
// live inside a host that may still run other users of libcurl at exit.
CURLcode GlobalInit();

// Process defaults: ORVEX_CONNECT_TIMEOUT / ORVEX_STALL_TIMEOUT (seconds),
// else 30 and 60.
int DefaultConnectSeconds();
int DefaultStallSeconds();
// The whole-download deadline, 0 for none: the one the host set, else
// ORVEX_DOWNLOAD_DEADLINE (seconds), else none. Setting 0 or less returns
// to the environment's.
int DownloadDeadlineSeconds();
void SetDownloadDeadlineSeconds(int seconds);

// Certificate checks as ORVEX_INSECURE_TLS and ORVEX_CA_BUNDLE say at the time of reading.
struct TlsSettings {
    bool insecure = false;
    std::string caBundle;  // "" for none
};
TlsSettings ReadTlsSettings();

// What a request takes from the environment, read in one pass over it: the
// defaults above and the whole-request deadline (ORVEX_REQUEST_TIMEOUT,
// seconds, else 100; never for downloads), the certificate checks, and whether any variable names a
// proxy for http(s) (http_proxy, https_proxy, all_proxy or no_proxy, in any
// case), which libcurl then reads for itself.
struct RequestEnvironment {
    int connectSeconds = 0;
    int stallSeconds = 0;
    int deadlineSeconds = 0;
    TlsSettings tls;
    bool proxyVariables = false;
};
RequestEnvironment ReadRequestEnvironment();
// No signals, the timeouts (0 or less: the defaults), our agent, the read
// buffer, and certificate checks as ORVEX_CA_BUNDLE / ORVEX_INSECURE_TLS say
// (now, or as read into `tls`).
void ApplyCommon(CURL* easy, int connectSeconds, int stallSeconds, long bufferBytes);
void ApplyCommon(CURL* easy, int connectSeconds, int stallSeconds, long bufferBytes, const TlsSettings& tls);

// For file transfers, after ApplyCommon: one that keeps below ORVEX_MIN_RATE
// bytes a second (else 100) for the whole stall time has stalled.
void ApplyMinimumRate(CURL* easy);

// Redirects a chain follows at most.
constexpr int kMaxRedirects = 10;

// Only http and https; redirects followed by libcurl at most 10 times, and a
// chain that has been on https never leaves it (each hop is checked).
void ApplyHttpProtocols(CURL* easy, const std::string& url);

// For a caller that follows redirects itself, one hop at a time: only http
// and https, or https alone once the chain has been on https; libcurl
// follows nothing.
void ApplyHopProtocols(CURL* easy, bool httpsOnly);

// The text of a failed transfer: libcurl's words (its error buffer when it
// wrote one), made specific where they do not say which URL or that a
// redirect was refused; never a URL's password.
std::string FailureText(CURLcode code, const char* errorBuffer, long status, const std::string& url);

}  // namespace net

#endif
