#include <orvex/internet_session.h>

#include "net/http_transport.h"
#include "net/http_url.h"
#include "net/internet_file.h"
#include "platform/ascii.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <memory>

namespace {

// Large reads: a big download moves at close to the socket's speed.
constexpr long kReceiveBufferBytes = 512L * 1024;
constexpr long kUploadBufferBytes = 512L * 1024;
constexpr int kDefaultFtpPort = 21;

std::string Text(const char* text) { return text != nullptr ? text : ""; }

// A path as a URL takes it: '/' kept, unreserved bytes kept, the rest escaped.
std::string PercentEncodePath(const std::string& path) {
    std::string out;
    for (unsigned char c : path) {
        if (std::isalnum(c) || std::strchr("/-._~", c) != nullptr) {
            out += static_cast<char>(c);
        } else {
            out += '%';
            ascii::AppendHexByte(out, c, true);
        }
    }
    return out;
}

// "[user[:password]@]host[:port]", host possibly "[v6 address]".
struct FtpServerName {
    bool hasUser = false;
    std::string user;
    std::string password;
    std::string host;  // as a URL writes it, brackets kept
    long port = 0;     // 0: none written
};

bool ParseServerName(const std::string& server, FtpServerName& out, std::string& problem) {
    std::string rest = server;
    const size_t at = rest.rfind('@');
    if (at != std::string::npos) {
        const std::string userInfo = rest.substr(0, at);
        const size_t colon = userInfo.find(':');
        out.hasUser = true;
        out.user = net::PercentDecode(userInfo.substr(0, colon));
        if (colon != std::string::npos) out.password = net::PercentDecode(userInfo.substr(colon + 1));
        rest = rest.substr(at + 1);
    }
    size_t portColon = std::string::npos;
    if (!rest.empty() && rest[0] == '[') {
        const size_t close = rest.find(']');
        if (close == std::string::npos) {
            problem = "Bad IPv6 address in the server name";
            return false;
        }
        if (close + 1 < rest.size()) {
            if (rest[close + 1] != ':') {
                problem = "Bad server name";
                return false;
            }
            portColon = close + 1;
        }
    } else {
        portColon = rest.find(':');
    }
    out.host = rest.substr(0, portColon);
    if (out.host.empty() || out.host.find_first_of(" \t\r\n/?#") != std::string::npos) {
        problem = "Bad host name";
        return false;
    }
    // As in http(s) URLs: an empty port is none written.
    const std::string digits = portColon != std::string::npos ? rest.substr(portColon + 1) : "";
    if (!digits.empty()) {
        out.port = net::PortNumber(digits);
        if (out.port < 0) {
            problem = "Port \"" + digits + "\" is not a port number (1-65535)";
            return false;
        }
    }
    return true;
}

// Runs a transfer that moves no data (a login) to its end.
void RunToEnd(net::CurlHandles& handles, const std::string& url, const net::Watch& watch) {
    CURLMcode added = curl_multi_add_handle(handles.Multi(), handles.Easy());
    if (added != CURLM_OK) throw CInternetException(curl_multi_strerror(added));
    CURLcode result = CURLE_OK;
    bool done = false;
    net::Waiter waiter(watch);
    while (!done) {
        int running = 0;
        const CURLMcode code = curl_multi_perform(handles.Multi(), &running);
        if (code != CURLM_OK) {
            curl_multi_remove_handle(handles.Multi(), handles.Easy());
            throw CInternetException(curl_multi_strerror(code));
        }
        int queued = 0;
        while (CURLMsg* message = curl_multi_info_read(handles.Multi(), &queued)) {
            if (message->msg == CURLMSG_DONE && message->easy_handle == handles.Easy()) {
                done = true;
                result = message->data.result;
            }
        }
        // A login moves no data, and libcurl's steps need short waits.
        if (!done && !waiter.Wait(handles, 10)) {
            curl_multi_remove_handle(handles.Multi(), handles.Easy());
            throw CInternetException(waiter.StopText().c_str(), waiter.StopCode());
        }
    }
    curl_multi_remove_handle(handles.Multi(), handles.Easy());
    if (result != CURLE_OK)
        throw CInternetException(net::FailureText(result, handles.ErrorText(), 0, url).c_str(), result);
}

// Why OpenURL reads no such name, for the trace: the library's text only
// says that it could not.
std::string RefusalReason(const std::string& name) {
    const size_t end = name.find("://");
    const bool scheme =
        end != std::string::npos && end > 0 && std::isalpha(static_cast<unsigned char>(name[0])) &&
        std::all_of(name.begin(), name.begin() + static_cast<long>(end), [](char c) {
            return std::isalnum(static_cast<unsigned char>(c)) || std::strchr("+-.", c) != nullptr;
        });
    if (!scheme)
        return "no scheme: a URL starts with http:// or https://, an FTP name with ftp://, a local file with "
               "file:// or /";
    const std::string kind = name.substr(0, end);
    if (ascii::StartsWithNoCase(kind, "file") && kind.size() == 4) {
        const std::string rest = name.substr(end + 3);
        return "a file name of another host, \"" + rest.substr(0, rest.find('/')) +
               "\": only local files are read (file:///path, file://localhost/path)";
    }
    if (ascii::StartsWithNoCase(kind, "ftp") && kind.size() == 3)
        return "an FTP name, read through an FTP connection (GetFtpConnection)";
    return "unknown scheme \"" + kind + "\": downloads read http, https, ftp and file names";
}

}  // namespace

// --- FTP ---------------------------------------------------------------------

void CFtpConnection::Link::Configure(const std::string& url) {
    handles.Reset();
    CURL* easy = handles.Easy();
    curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
    net::ApplyCommon(easy, connectSeconds, stallSeconds, kReceiveBufferBytes);
    net::ApplyMinimumRate(easy);
    curl_easy_setopt(easy, CURLOPT_UPLOAD_BUFFERSIZE, kUploadBufferBytes);
    curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "ftp");
    // A server that stops answering commands is a stall like any other.
    curl_easy_setopt(easy, CURLOPT_SERVER_RESPONSE_TIMEOUT,
                     static_cast<long>(stallSeconds > 0 ? stallSeconds : net::DefaultStallSeconds()));
    if (!user.empty()) {
        curl_easy_setopt(easy, CURLOPT_USERNAME, user.c_str());
        curl_easy_setopt(easy, CURLOPT_PASSWORD, password.c_str());
    }
}

CFtpConnection::CFtpConnection(Link* link, const char* server) : m_pLink(link), m_strServer(server) {}

CFtpConnection::~CFtpConnection() { CFtpConnection::Close(); }

void CFtpConnection::Close() {
    if (m_pLink == nullptr) return;
    if (m_pLink->open != nullptr) m_pLink->open->Orphan();
    delete m_pLink;
    m_pLink = nullptr;
}

CInternetFile* CFtpConnection::OpenFile(const char* fileName, unsigned long access, unsigned long /*flags*/,
                                        unsigned long /*context*/) {
    if (m_pLink == nullptr) throw CInternetException("The FTP connection is closed");
    if (m_pLink->open != nullptr) throw CInternetException("Another file is open on this FTP connection");
    const std::string path = Text(fileName);
    if (path.empty() || path.back() == '/') throw CInternetException("The path names no file");
    const std::string url = m_pLink->baseUrl + PercentEncodePath(path);
    m_pLink->Configure(url);
    using Transfer = CInternetFile::Transfer;
    const Transfer::Kind kind = (access & GENERIC_WRITE) != 0 ? Transfer::kFtpWrite : Transfer::kFtpRead;
    std::unique_ptr<Transfer> transfer(new Transfer(&m_pLink->handles, false, kind, url, m_pLink->password));
    transfer->m_link = m_pLink;
    transfer->m_watch = m_pLink->watch;
    m_pLink->open = transfer.get();
    transfer->Start();
    auto* file = new CInternetFile(transfer.get(), path.c_str());
    static_cast<void>(transfer.release());  // the file owns it now
    return file;
}

// --- session -----------------------------------------------------------------

CInternetSession::CInternetSession(const char* /*agent*/, unsigned long /*context*/,
                                   unsigned long /*accessType*/, const char* /*proxy*/,
                                   const char* /*proxyBypass*/, unsigned long /*flags*/) {}

CInternetSession::~CInternetSession() = default;

void CInternetSession::Close() {}

void CInternetSession::SetTimeouts(int connectSeconds, int stallSeconds) {
    m_nConnectSeconds = connectSeconds > 0 ? connectSeconds : 0;
    m_nStallSeconds = stallSeconds > 0 ? stallSeconds : 0;
}

void CInternetSession::SetWaitHandler(WaitFunc wait, void* user) {
    m_pfnWait = wait;
    m_pWaitUser = user;
}

void CInternetSession::SetDeadline(int seconds) {
    m_nDeadlineSeconds = seconds > 0 ? seconds : 0;
    m_Deadline = std::chrono::steady_clock::now() + std::chrono::seconds(m_nDeadlineSeconds);
}

int CInternetSession::GetDownloadDeadline() { return net::DownloadDeadlineSeconds(); }

void CInternetSession::SetDownloadDeadline(int seconds) { net::SetDownloadDeadlineSeconds(seconds); }

CStdioFile* CInternetSession::OpenURL(const char* url, unsigned long /*context*/, unsigned long /*flags*/,
                                      const char* /*headers*/, unsigned long /*headersLength*/) {
    const std::string name = Text(url);
    if (!name.empty() && name[0] == '/') {
        auto file = std::make_unique<CStdioFile>();
        CFileException error;
        const bool opened = file->Open(name.c_str(), CFile::modeRead | CFile::shareDenyNone, &error);
        if (net::Enabled()) {
            // A local file is read as it is on disk: its size is all the trace adds.
            net::CExchange trace("file", name, std::string());
            if (opened)
                trace.End("opened, " + std::to_string(file->GetAnnouncedLength()) + " bytes");
            else
                trace.End("failed", error.GetErrorMessage().GetString());
        }
        if (!opened) throw error;
        return file.release();
    }
    if (!ascii::StartsWithNoCase(name, "http://") && !ascii::StartsWithNoCase(name, "https://")) {
        net::Refused("download", name, RefusalReason(name));
        return nullptr;
    }

    auto handles = std::make_unique<net::CurlHandles>();
    handles->Reset();
    CURL* easy = handles->Easy();
    curl_easy_setopt(easy, CURLOPT_URL, name.c_str());
    net::ApplyCommon(easy, m_nConnectSeconds, m_nStallSeconds, kReceiveBufferBytes);
    net::ApplyMinimumRate(easy);
    net::ApplyHttpProtocols(easy, name);
    std::unique_ptr<CInternetFile::Transfer> transfer(
        new CInternetFile::Transfer(handles.get(), true, CInternetFile::Transfer::kHttp, name));
    static_cast<void>(handles.release());  // the transfer owns them now
    transfer->m_watch = {m_pfnWait, m_pWaitUser, m_nDeadlineSeconds, m_Deadline};
    transfer->Start();
    auto* file = new CInternetFile(transfer.get(), name.c_str());
    static_cast<void>(transfer.release());  // the file owns it now
    return file;
}

CFtpConnection* CInternetSession::GetFtpConnection(const char* server, const char* user, const char* password,
                                                   unsigned short port, int /*passive*/) {
    FtpServerName name;
    std::string problem;
    if (!ParseServerName(Text(server), name, problem)) throw CInternetException(problem.c_str());
    auto link = std::make_unique<CFtpConnection::Link>();
    if (user != nullptr) {
        link->user = user;
        link->password = Text(password);
    } else if (name.hasUser) {
        link->user = name.user;
        link->password = name.password;
    }
    const long usedPort = name.port != 0 ? name.port : (port != 0 ? port : kDefaultFtpPort);
    link->baseUrl = "ftp://" + name.host + ":" + std::to_string(usedPort) + "/";
    link->connectSeconds = m_nConnectSeconds;
    link->stallSeconds = m_nStallSeconds;
    link->watch = {m_pfnWait, m_pWaitUser, m_nDeadlineSeconds, m_Deadline};
    // Logging in moves no data: libcurl connects, logs in and asks where it is.
    link->Configure(link->baseUrl);
    curl_easy_setopt(link->handles.Easy(), CURLOPT_NOBODY, 1L);
    if (!net::Enabled()) {
        RunToEnd(link->handles, link->baseUrl, link->watch);
    } else {
        net::CExchange trace("FTP login", link->baseUrl, link->password);
        trace.Attach(link->handles.Easy());
        try {
            RunToEnd(link->handles, link->baseUrl, link->watch);
        } catch (const CInternetException& e) {
            trace.End("failed", e.m_strMessage.GetString());
            net::CExchange::Detach(link->handles.Easy());
            throw;
        } catch (...) {
            net::CExchange::Detach(link->handles.Easy());
            throw;
        }
        trace.End("logged in");
        net::CExchange::Detach(link->handles.Easy());
    }
    return new CFtpConnection(link.release(), Text(server).c_str());
}
