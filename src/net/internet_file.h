// The libcurl side of the internet files of orvex/internet_session.h: a
// transfer driven from the caller's side, which pulls a body with Read or
// pushes an upload with Write while libcurl's multi interface moves the
// bytes in between on the caller's thread. Memory stays at one receive
// buffer whatever the size.
#ifndef ORVEX_NET_INTERNET_FILE_H
#define ORVEX_NET_INTERNET_FILE_H

#include <orvex/internet_session.h>

#include "net/curl_setup.h"
#include "net/trace.h"

#include <chrono>
#include <memory>
#include <string>

namespace net {

// One easy handle in a multi handle of its own. The multi handle holds the
// connection cache, so an FTP login is reused by the transfers after it.
class CurlHandles {
public:
    CurlHandles();  // throws CInternetException when libcurl cannot make them
    ~CurlHandles();
    CurlHandles(const CurlHandles&) = delete;
    CurlHandles& operator=(const CurlHandles&) = delete;

    CURL* Easy() const { return m_easy; }
    CURLM* Multi() const { return m_multi; }
    // Waits for the sockets, or for libcurl's own next timer, at most capMs.
    void Wait(int capMs) const;
    // Options start afresh, the error buffer set; connections stay.
    void Reset();
    const char* ErrorText() const { return m_error; }

private:
    CURLM* m_multi = nullptr;
    CURL* m_easy = nullptr;
    char m_error[CURL_ERROR_SIZE] = {0};
};

// How often a waiting loop calls the session's wait handler: well inside the
// quarter second hosts are promised, so a cancel ends a stalled transfer at once.
constexpr int kWaitReportMs = 200;

// What a session asks of every loop that its connections and files run:
// its wait handler, called while they wait, and its deadline.
struct Watch {
    CInternetSession::WaitFunc function = nullptr;
    void* user = nullptr;
    int deadlineSeconds = 0;  // 0: none
    std::chrono::steady_clock::time_point deadline;
};

// One run of a loop that drives libcurl until something its caller wants
// happens: waits on the handles, calls the handler each kWaitReportMs the
// loop goes on without returning to its caller, and keeps the deadline.
class Waiter {
public:
    explicit Waiter(const Watch& watch);
    // False once the deadline has passed.
    bool InTime();
    // Waits at most capMs, less when the handler or the deadline is due
    // sooner; false when the handler cancels or the deadline has passed.
    bool Wait(const CurlHandles& handles, int capMs);
    // Why the loop must end, once InTime or Wait said so, and libcurl's
    // code for it.
    std::string StopText() const;
    CURLcode StopCode() const { return m_cancelled ? CURLE_ABORTED_BY_CALLBACK : CURLE_OPERATION_TIMEDOUT; }

private:
    Watch m_watch;
    std::chrono::steady_clock::time_point m_due;
    bool m_cancelled = false;
};

}  // namespace net

struct CInternetFile::Transfer {
    enum Kind { kHttp, kFtpRead, kFtpWrite };

    // handles are owned when the transfer has them to itself (an http URL),
    // borrowed from an FTP connection otherwise. The easy handle is
    // configured by the caller, URL included; callbacks are set here, and
    // the trace when one is written (password: the login's, kept out of it).
    Transfer(net::CurlHandles* handles, bool owned, Kind kind, std::string url,
             const std::string& password = std::string());
    ~Transfer();
    Transfer(const Transfer&) = delete;
    Transfer& operator=(const Transfer&) = delete;

    // Runs the transfer until its body begins (a download: an http status
    // outside 200-299 is a failure) or the server asks for the first bytes
    // (an upload). Throws CInternetException on failure.
    void Start();
    // Fills count bytes unless the end comes first; without whole, returns
    // as soon as some bytes are in.
    size_t Read(char* dest, size_t count, bool whole);
    void Write(const char* source, size_t count);
    // Ends an upload (or abandons a download). Throws unless an upload
    // finished whole.
    void Finish();
    long long Announced() const { return m_announced; }
    // The connection goes first: the transfer ends as a failure.
    void Orphan();
    // Set by the FTP connection whose file this is, so that closing the
    // connection first cannot leave the file on freed handles.
    CFtpConnection::Link* m_link = nullptr;
    // The opening session's wait handler and deadline.
    net::Watch m_watch;

private:
    static size_t OnBody(char* data, size_t size, size_t count, void* user);
    static size_t OnUpload(char* buffer, size_t size, size_t count, void* user);
    static size_t OnHeader(char* data, size_t size, size_t count, void* user);

    // One round of libcurl's work; false once the transfer has ended.
    bool Pump();
    // Pumps until the condition holds or the transfer ends.
    template <typename Satisfied>
    void RunUntil(Satisfied satisfied);
    void Resume();
    // The waiter said stop (a cancel, the deadline): the transfer ends as a failure.
    void Stop(const net::Waiter& waiter);
    bool Failed() const;
    std::string FailureText() const;
    [[noreturn]] void ThrowFailure();
    void Detach();
    // Ends the trace with what became of the transfer, and lets go of the handle.
    void EndTrace();

    net::CurlHandles* m_handles;
    bool m_owned;
    Kind m_kind;
    std::string m_url;
    bool m_attached = false;
    bool m_done = false;
    CURLcode m_result = CURLE_OK;
    std::string m_failure;  // a failure of our own, ahead of libcurl's
    bool m_paused = false;
    long long m_announced = -1;
    std::string m_statusLine;

    // download: where the caller wants bytes, and what came beyond that
    char* m_dest = nullptr;
    size_t m_room = 0;
    std::string m_spill;
    size_t m_spillAt = 0;

    // upload: what the caller gave and libcurl has not taken yet
    const char* m_source = nullptr;
    size_t m_sourceLeft = 0;
    bool m_finishing = false;
    bool m_askedForData = false;
    bool m_flowing = false;  // the first body or upload bytes have moved

    std::unique_ptr<net::CExchange> m_trace;  // null unless a trace is written
};

struct CFtpConnection::Link {
    net::CurlHandles handles;
    std::string baseUrl;  // "ftp://host:port/"
    std::string user;
    std::string password;
    int connectSeconds = 0;
    int stallSeconds = 0;
    net::Watch watch;
    CInternetFile::Transfer* open = nullptr;

    // The options of every command on this connection, after a reset.
    void Configure(const std::string& url);
};

#endif
