// The wire trace: with ORVEX_TRACE=FILE (or "-" for standard error) every
// exchange the library runs over libcurl is written out, line by line,
// each line carrying the exchange's id, for the people who support a host.
// Secrets never reach the trace. Included only by the libcurl users here.
#ifndef ORVEX_NET_TRACE_H
#define ORVEX_NET_TRACE_H

#include "net/trace_note.h"

#include <curl/curl.h>

#include <chrono>
#include <string>
#include <vector>

namespace net {

// True when a trace is being written. ORVEX_TRACE is read, and its file
// opened (appending, created 0600), on the first call of the process; a
// trace that cannot be opened says so once on standard error and is off.
bool Enabled();

// Closes the trace and reads ORVEX_TRACE again at the next Enabled(); for
// tests that switch the trace within one process.
void Reload();

// Bodies are shown up to this many bytes each; the rest is only counted.
constexpr size_t kBodyBytesShown = 64 * 1024;

// One exchange: a request with its redirects, a download, an FTP login or
// transfer, a local file read. Used by one thread at a time, like the
// handle it traces; lines reach the trace in blocks as the exchange goes.
class CExchange {
public:
    // what: "request POST", "download", "FTP login"...; target: the URL or
    // path; password: one the caller handed over, never written anywhere.
    CExchange(const char* what, const std::string& target, const std::string& password);
    ~CExchange();  // ends the record if End was not called
    CExchange(const CExchange&) = delete;
    CExchange& operator=(const CExchange&) = delete;

    // Routes the handle's traffic here (debug callback, verbose) and back out.
    // Detach before the exchange or the handle goes.
    void Attach(CURL* easy);
    static void Detach(CURL* easy);

    // A text cut wherever it appears from here on, bodies included, as the caller's password is.
    void AddSecret(const std::string& secret);
    // A line of ours ("* text").
    void Note(const std::string& text);
    // The last line, "end: OUTCOME after N ms[: DETAIL]", and everything
    // still held is written. Later calls, and traffic after it, change nothing.
    void End(const std::string& outcome, const std::string& detail = std::string());

private:
    static int OnDebug(CURL* easy, curl_infotype type, char* data, size_t size, void* user);
    void Take(curl_infotype type, const char* data, size_t size);
    void AddLine(const char* marker, const std::string& text, bool header);
    void CloseBody();
    void Flush();
    long long Elapsed() const;
    std::string Redacted(std::string line) const;

    std::string m_id;
    std::chrono::steady_clock::time_point m_Start;
    bool m_ftp;
    bool m_ended = false;
    std::string m_pending;  // lines not yet written
    std::vector<std::string> m_Secrets;

    // The body being sent ('>') or received ('<'), kept up to kBodyBytesShown.
    char m_cBody = 0;
    std::string m_body;
    unsigned long long m_bodyBytes = 0;
    long long m_bodyEndMs = 0;
};

}  // namespace net

#endif
