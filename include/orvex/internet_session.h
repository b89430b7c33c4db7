// The internet session that file transfers work through, and what it opens:
// a session opens URLs (http, https, local files) and FTP connections; what
// they open is read, or for an FTP upload written, like any CFile.
//
// Failures are thrown: CInternetException for the network (libcurl's words,
// made specific), CFileException for local files.
#ifndef ORVEX_INTERNET_SESSION_H
#define ORVEX_INTERNET_SESSION_H

#include <orvex/cstring.h>
#include <orvex/export.h>
#include <orvex/file.h>

#include <chrono>

// Access and flag values of the open calls, as hosts know them.
constexpr unsigned long GENERIC_READ = 0x80000000UL;
constexpr unsigned long GENERIC_WRITE = 0x40000000UL;
constexpr unsigned long FTP_TRANSFER_TYPE_BINARY = 0x2UL;
constexpr unsigned long INTERNET_FLAG_TRANSFER_BINARY = 0x2UL;
constexpr unsigned long INTERNET_FLAG_EXISTING_CONNECT = 0x20000000UL;
constexpr unsigned long INTERNET_OPEN_TYPE_PRECONFIG = 0UL;

class ORVEX_EXPORT CInternetException {
public:
    explicit CInternetException(const CString& message, int code = 0);
    virtual ~CInternetException();

    // The message, cut to maxLength - 1 bytes.
    int GetErrorMessage(char* text, unsigned maxLength) const;
    CString GetErrorMessage() const { return m_strMessage; }

    int m_dwError;  // libcurl's code; 0 for a failure found by the library itself
    CString m_strMessage;
};

// A file a session opened: a local file here, a remote one in CInternetFile.
class ORVEX_EXPORT CStdioFile : public CFile {
public:
    CStdioFile();
    ~CStdioFile() override;
    // The number of bytes a reader will get, -1 when it is not known
    // beforehand (a body without a length).
    virtual long long GetAnnouncedLength();
    // Like Read, but returns as soon as some bytes are at hand (0 only at
    // the end), so that a slow transfer still shows progress.
    virtual unsigned ReadSome(void* buffer, unsigned count);
};

// A remote file being received (a download) or sent (an FTP upload). Read
// fills the whole count unless the end comes first; a transfer that fails
// or breaks off throws CInternetException from Read, Write or Close. Close
// ends an upload and throws unless the server took all of it; deleting an
// unclosed file abandons its transfer.
class ORVEX_EXPORT CInternetFile : public CStdioFile {
public:
    ~CInternetFile() override;
    CInternetFile(const CInternetFile&) = delete;
    CInternetFile& operator=(const CInternetFile&) = delete;

    bool Open(const char* fileName, unsigned openFlags, CFileException* error = nullptr) override;
    unsigned Read(void* buffer, unsigned count) override;
    unsigned ReadSome(void* buffer, unsigned count) override;
    void Write(const void* buffer, unsigned count) override;
    int64_t Seek(int64_t offset, unsigned from) override;
    uint64_t GetLength() const override;
    void Close() override;
    long long GetAnnouncedLength() override;

    struct Transfer;  // the libcurl side, private to the library

private:
    friend class CInternetSession;
    friend class CFtpConnection;
    CInternetFile(Transfer* transfer, const char* name);

    Transfer* m_pTransfer;
};

// A logged-in FTP server. One file is open on it at a time.
class ORVEX_EXPORT CFtpConnection {
public:
    virtual ~CFtpConnection();
    CFtpConnection(const CFtpConnection&) = delete;
    CFtpConnection& operator=(const CFtpConnection&) = delete;

    // Opens a remote file, its path taken from the login directory, for
    // reading (GENERIC_READ) or writing (GENERIC_WRITE; an existing file is
    // replaced). Binary always. Throws CInternetException: a missing file
    // or directory, a refused store, a path that names no file.
    virtual CInternetFile* OpenFile(const char* fileName, unsigned long access = GENERIC_READ,
                                    unsigned long flags = FTP_TRANSFER_TYPE_BINARY,
                                    unsigned long context = 1);
    virtual void Close();
    const CString& GetServerName() const { return m_strServer; }

    struct Link;  // the libcurl side, private to the library

private:
    friend class CInternetSession;
    CFtpConnection(Link* link, const char* server);

    Link* m_pLink;
    CString m_strServer;
};

class ORVEX_EXPORT CInternetSession {
public:
    // The arguments are those hosts pass; proxies come from the environment
    // (http_proxy, https_proxy, ftp_proxy, no_proxy) as curl reads them.
    explicit CInternetSession(const char* agent = nullptr, unsigned long context = 1,
                              unsigned long accessType = INTERNET_OPEN_TYPE_PRECONFIG,
                              const char* proxy = nullptr, const char* proxyBypass = nullptr,
                              unsigned long flags = 0);
    virtual ~CInternetSession();
    CInternetSession(const CInternetSession&) = delete;
    CInternetSession& operator=(const CInternetSession&) = delete;

    // Opens an http or https URL (redirects followed, the final status
    // 200-299) or a local file named by an absolute path. Returns null for
    // a name of any other kind.
    virtual CStdioFile* OpenURL(const char* url, unsigned long context = 1,
                                unsigned long flags = INTERNET_FLAG_TRANSFER_BINARY,
                                const char* headers = nullptr, unsigned long headersLength = 0);

    // Connects and logs in. server is "[user[:password]@]host[:port]"; a
    // port written there wins over `port` (0: 21), and a user written
    // there applies when `user` is null; no user at all is anonymous.
    // Passive mode always: active mode fails behind NAT and firewalls.
    virtual CFtpConnection* GetFtpConnection(const char* server, const char* user = nullptr,
                                             const char* password = nullptr, unsigned short port = 21,
                                             int passive = 1);
    virtual void Close();

    // Seconds; 0 or less: ORVEX_CONNECT_TIMEOUT / ORVEX_STALL_TIMEOUT, else 30 and 60.
    void SetTimeouts(int connectSeconds, int stallSeconds);

    // Called at least every 250 ms while this session, or a connection or
    // file it opened, waits for the network (connecting, logging in, a
    // server that sends nothing), so that a host can cancel a transfer that
    // moves nothing. Nonzero cancels: the waiting call throws
    // CInternetException "Transfer cancelled". Null: none.
    typedef int (*WaitFunc)(void* user);
    void SetWaitHandler(WaitFunc wait, void* user);

    // Seconds that everything this session does from now on may take in
    // all: connecting, logging in, receiving. Past it the call at work
    // throws CInternetException "Download deadline of N seconds reached"
    // ("1 second" for 1). 0 or less: none, as a new session has.
    void SetDeadline(int seconds);

    // The process's download deadline in seconds, 0 for none: the last
    // SetDownloadDeadline above 0 (Orvex_SetDownloadDeadline), else
    // ORVEX_DOWNLOAD_DEADLINE, else none. CInternet's downloads keep to it;
    // its uploads have none. Setting 0 or less returns to the environment's.
    static int GetDownloadDeadline();
    static void SetDownloadDeadline(int seconds);

private:
    int m_nConnectSeconds = 0;
    int m_nStallSeconds = 0;
    WaitFunc m_pfnWait = nullptr;
    void* m_pWaitUser = nullptr;
    int m_nDeadlineSeconds = 0;
    std::chrono::steady_clock::time_point m_Deadline;
};

#endif
