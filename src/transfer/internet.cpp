#include <orvex/internet.h>

#include "platform/atomic_file.h"
#include "platform/code_page.h"
#include "net/http_url.h"
#include "net/trace_note.h"
#include "net/url_password.h"
#include "support/global_info.h"
#include "support/pub.h"

#include <algorithm>
#include <chrono>
#include <climits>
#include <ctime>
#include <memory>
#include <new>
#include <stdexcept>
#include <sys/stat.h>
#include <vector>

namespace {

// Large blocks: a big download costs a few thousand reads and writes, not a
// million, and memory stays one block whatever the size.
constexpr unsigned kBlockBytes = 1u << 20;
// Platform messages are kept to this many bytes, the zero included.
constexpr unsigned kMessageRoom = 512;
constexpr int kDefaultMaxAge = 60;
constexpr int kFtpPort = 21;

CString Text(const char* text) { return CString(text != nullptr ? text : ""); }

// A name as every text shows it: "scheme://user@host/...", "user@host",
// never a password.
CString ForText(const char* name) { return CString(net::WithoutUrlPasswords(Text(name).str())); }

template <typename Exception>
CString MessageOf(const Exception& e) {
    char text[kMessageRoom];
    e.GetErrorMessage(text, kMessageRoom);
    return CString(text);
}

// Runs one transfer step, turning whatever it throws into the error text.
template <typename Step>
int Attempt(CString& error, Step&& step) {
    try {
        return step();
    } catch (const CInternetException& e) {
        error = MessageOf(e);
    } catch (const CFileException& e) {
        error = MessageOf(e);
    } catch (const std::bad_alloc&) {
        error = "Out of memory";
    } catch (const std::exception& e) {
        error = e.what();
    }
    return 0;
}

// Deleting what an operation opened closes it; a remote file deleted
// before its Close abandons its transfer, so a failed upload is never
// finished as if it were whole.
template <typename Object>
std::unique_ptr<Object> Own(Object* object) {
    return std::unique_ptr<Object>(object);
}

bool IsFresh(const char* localFile, int maxAge) {
    struct stat st {};
    if (!CPub::FileExists(localFile) || ::stat(codepage::SystemName(localFile), &st) != 0) return false;
    // A file dated in the future counts as fresh.
    return static_cast<long long>(std::time(nullptr)) - static_cast<long long>(st.st_mtime) <= maxAge;
}

// A step's failure ends in "!\t", or in ":\r\n" and the platform's message.
void AppendCause(CString& error, const CString& cause) {
    error += cause.IsEmpty() ? CString("!\t") : ":\r\n" + cause;
}

// Opens what an FTP step names, or explains why not: "KIND \"NAME\" FAILURE"
// and the cause the step gives or throws. `open` fills the cause and returns
// null when it refuses before trying.
template <typename Open>
auto OpenOrExplain(const char* kind, const char* name, const char* failure, CString& error, Open&& open) {
    CString cause;
    decltype(open(cause)) opened = nullptr;
    try {
        opened = open(cause);
    } catch (const CInternetException& e) {
        cause = MessageOf(e);
    }
    if (opened == nullptr) {
        error.Format("%s \"%s\" %s", kind, ForText(name).GetString(), failure);
        AppendCause(error, cause);
    }
    return opened;
}

void CollapseSlashes(CString& path) {
    while (path.Replace("//", "/") > 0) {
    }
}

// One operation's watch: progress reports after each block, once at the
// end and while its session waits for the network, and for a download the
// process's deadline. A cancel or the deadline is remembered, so that
// whatever failure it caused reads as that.
class Watch {
public:
    Watch(CInternet::ProgressFunc progress, void* user, bool download)
        : m_progress(progress),
          m_user(user),
          m_deadline(download ? CInternetSession::GetDownloadDeadline() : 0),
          m_start(std::chrono::steady_clock::now()) {}
    Watch(const Watch&) = delete;
    Watch& operator=(const Watch&) = delete;

    void SetTotal(long long total) { m_total = total; }
    // False when the caller cancels.
    bool Moved(long long count) {
        m_done += count;
        return Report(m_done, m_total);
    }
    bool Finished() { return Report(m_done, m_done); }

    // Runs the operation named `name` in a session attached to this watch:
    // whatever `work` throws becomes the error text, and a failure caused by
    // a cancel or the deadline says so.
    template <typename Work>
    int Run(const char* name, CString& error, Work&& work) {
        const int result = Attempt(error, [&] {
            CInternetSession session;
            Attach(session);
            return work(session);
        });
        return Settle(result, name, error);
    }

private:
    // The session counts its deadline from here on, so it ends after ours.
    void Attach(CInternetSession& session) {
        if (m_progress != nullptr) session.SetWaitHandler(OnWait, this);
        session.SetDeadline(m_deadline);
    }
    int Settle(int result, const char* name, CString& error) const {
        if (result != 0) return result;
        if (m_cancelled) {
            error.Format("Transfer cancelled: %s", ForText(name).GetString());
        } else if (m_deadline > 0 &&
                   std::chrono::steady_clock::now() >= m_start + std::chrono::seconds(m_deadline)) {
            error.Format("Download deadline of %d %s reached (%s)", m_deadline,
                         m_deadline == 1 ? "second" : "seconds", ForText(name).GetString());
        }
        return result;
    }
    static int OnWait(void* self) {
        auto* watch = static_cast<Watch*>(self);
        return watch->Report(watch->m_done, watch->m_total) ? 0 : 1;
    }
    bool Report(long long done, long long total) {
        if (m_progress != nullptr && !m_cancelled) m_cancelled = m_progress(m_user, done, total) != 0;
        return !m_cancelled;
    }

    CInternet::ProgressFunc m_progress;
    void* m_user;
    int m_deadline;  // seconds, 0 for none
    std::chrono::steady_clock::time_point m_start;
    long long m_total = -1;
    long long m_done = 0;
    bool m_cancelled = false;
};

// Copies a remote file to its end into the target; 0 on failure (a cancel
// leaves the text to Watch::Settle).
int ReceiveInto(CStdioFile& remote, CAtomicFile& target, Watch& watch) {
    std::vector<char> block(kBlockBytes);
    for (;;) {
        const unsigned got = remote.ReadSome(block.data(), kBlockBytes);
        if (got == 0) break;
        target.Write(block.data(), got);
        if (!watch.Moved(got)) return 0;
    }
    return watch.Finished() ? 1 : 0;
}

// An ftp name split as parseFtpname splits it.
struct FtpName {
    CString fileName;
    CString path;
    CString server;

    // False, with the text, for a name that cannot be split; the trace
    // (what: "FTP download", "FTP upload") is told why.
    bool Parse(const char* name, const char* what, CString& error) {
        if (CInternet::parseFtpname(name, fileName, path, server)) return true;
        error.Format("Invalid Ftp filename: %s", ForText(name).GetString());
        net::Refused(what, Text(name).str(), Refusal(Text(name)));
        return false;
    }

private:
    static std::string Refusal(const CString& name) {
        if (name.IsEmpty()) return "an empty name";
        const int scheme = name.Find("//");
        if (scheme < 0)
            return "no \"//\" in it: an FTP name is ftp://host/path (downloads take any name starting with "
                   "\"ftp\" for one)";
        return "no path after the server \"" + name.Mid(scheme + 2).str() + "\"";
    }
};

// Receives an opened remote file into localFile through a file renamed into place.
int SaveTo(CStdioFile& remote, const char* localFile, Watch& watch, CString& error) {
    CAtomicFile target;
    if (!target.Create(localFile, error)) return 0;
    watch.SetTotal(remote.GetAnnouncedLength());
    target.ExpectSize(remote.GetAnnouncedLength());
    if (!ReceiveInto(remote, target, watch)) return 0;
    return target.Commit(error) ? 1 : 0;
}

}  // namespace

CInternet::CInternet() = default;

CInternet::CInternet(const CInternet& other) = default;

CInternet& CInternet::operator=(const CInternet& other) = default;

CInternet::~CInternet() = default;

void CInternet::SetProgress(ProgressFunc progress, void* user) {
    m_pfnProgress = progress;
    m_pProgressUser = user;
}

int CInternet::IsHttp(const char* name) {
    const CString text = Text(name);
    return text.IsEmpty() || text.Left(3).CompareNoCase("ftp") == 0 ? 0 : 1;
}

int CInternet::Download(const char* url, const char* localFile, CString& error) {
    error.Empty();
    if (IsHttp(url)) return Http_Download(url, localFile, error, kDefaultMaxAge);
    return Ftp_Download(url, localFile, error, nullptr, nullptr, kFtpPort);
}

int CInternet::Download_ToDir_SameFilename(const char* url, const char* dir, CString& localFile,
                                           CString& error) {
    error.Empty();
    if (IsHttp(url)) return Http_Download_ToDir_SameFilename(url, dir, localFile, error, kDefaultMaxAge);
    return Ftp_Download_ToDir_SameFilename(url, dir, localFile, error, nullptr, nullptr, kFtpPort);
}

int CInternet::Download_ToTempDir_SameFilename(const char* url, CString& localFile, CString& error) {
    error.Empty();
    if (IsHttp(url)) return Http_Download_ToTempDir_SameFilename(url, localFile, error, kDefaultMaxAge);
    return Ftp_Download_ToTempDir_SameFilename(url, localFile, error, nullptr, nullptr, kFtpPort);
}

int CInternet::Http_Download(const char* url, const char* localFile, CString& error, int maxAge) {
    error.Empty();
    if (maxAge > 0 && IsFresh(localFile, maxAge)) return 1;
    Watch watch(m_pfnProgress, m_pProgressUser, true);
    return watch.Run(url, error, [&](CInternetSession& session) {
        auto remote = Own(OpenURL(session, url, error));
        if (remote == nullptr) return 0;
        return SaveTo(*remote, localFile, watch, error);
    });
}

int CInternet::Http_Download(const char* url, CBuffer& buffer, CString& error) {
    buffer.Clear();
    error.Empty();
    Watch watch(m_pfnProgress, m_pProgressUser, true);
    const int result = watch.Run(url, error, [&](CInternetSession& session) {
        auto remote = Own(OpenURL(session, url, error));
        if (remote == nullptr) return 0;
        watch.SetTotal(remote->GetAnnouncedLength());
        std::vector<unsigned char> block(kBlockBytes);
        for (;;) {
            const unsigned got = remote->ReadSome(block.data(), kBlockBytes);
            if (got == 0) break;
            if (got > static_cast<unsigned>(INT_MAX - buffer.GetSize())) {
                error.Format("Response too large: the byte buffer holds at most 2 GiB (%s)",
                             ForText(url).GetString());
                return 0;
            }
            buffer.AddBuf(block.data(), static_cast<int>(got));
            if (!watch.Moved(got)) return 0;
        }
        return watch.Finished() ? 1 : 0;
    });
    // Half a body must not pass for the body.
    if (result == 0) buffer.Clear();
    return result;
}

int CInternet::Http_Download_ToDir_SameFilename(const char* url, const char* dir, CString& localFile,
                                                CString& error, int maxAge) {
    CString fileName;
    CString urlDir;
    if (!parseURLname(url, fileName, urlDir)) {
        error.Format("Invalid URL filename: %s", ForText(url).GetString());
        return 0;
    }
    localFile = CPub::AppendPath(dir, fileName);
    return Http_Download(url, localFile, error, maxAge);
}

int CInternet::Http_Download_ToTempDir_SameFilename(const char* url, CString& localFile, CString& error,
                                                    int maxAge) {
    return Http_Download_ToDir_SameFilename(url, CGlobalInfo::GetInstance().GetTempDir(), localFile, error,
                                            maxAge);
}

int CInternet::Ftp_Download(const char* ftpName, const char* localFile, CString& error, const char* user,
                            const char* password, int port) {
    FtpName name;
    if (!name.Parse(ftpName, "FTP download", error)) return 0;
    Watch watch(m_pfnProgress, m_pProgressUser, true);
    return watch.Run(ftpName, error, [&](CInternetSession& session) {
        auto connection = Own(OpenFtpServer(session, name.server, user, password, port, error));
        if (connection == nullptr) return 0;
        auto remote = Own(OpenFtpFile(connection.get(), name.path, GENERIC_READ, error));
        if (remote == nullptr) return 0;
        return SaveTo(*remote, localFile, watch, error);
    });
}

int CInternet::Ftp_Download_ToDir_SameFilename(const char* ftpName, const char* dir, CString& localFile,
                                               CString& error, const char* user, const char* password,
                                               int port) {
    FtpName name;
    if (!name.Parse(ftpName, "FTP download", error)) return 0;
    localFile = CPub::AppendPath(dir, name.fileName);
    return Ftp_Download(ftpName, localFile, error, user, password, port);
}

int CInternet::Ftp_Download_ToTempDir_SameFilename(const char* ftpName, CString& localFile, CString& error,
                                                   const char* user, const char* password, int port) {
    return Ftp_Download_ToDir_SameFilename(ftpName, CGlobalInfo::GetInstance().GetTempDir(), localFile, error,
                                           user, password, port);
}

int CInternet::Ftp_Upload(const char* ftpName, const char* localFile, CString& error, const char* user,
                          const char* password, int port) {
    FtpName name;
    if (!name.Parse(ftpName, "FTP upload", error)) return 0;
    Watch watch(m_pfnProgress, m_pProgressUser, false);
    return watch.Run(ftpName, error, [&](CInternetSession& session) {
        auto connection = Own(OpenFtpServer(session, name.server, user, password, port, error));
        if (connection == nullptr) return 0;
        CFile local;
        CFileException cause;
        if (!local.Open(localFile, CFile::modeRead | CFile::shareDenyNone, &cause)) {
            error = MessageOf(cause);
            return 0;
        }
        auto remote = Own(OpenFtpFile(connection.get(), name.path, GENERIC_WRITE, error));
        if (remote == nullptr) return 0;
        const long long length = static_cast<long long>(local.GetLength());
        watch.SetTotal(length);
        std::vector<char> block(kBlockBytes);
        for (long long left = length; left > 0;) {
            const unsigned got =
                local.Read(block.data(), static_cast<unsigned>(std::min<long long>(left, kBlockBytes)));
            // The file shrank under us: what was announced can no longer be sent.
            if (got == 0) {
                error.Format("%s: the file shrank while it was sent (%lld of %lld bytes)",
                             Text(localFile).GetString(), length - left, length);
                return 0;
            }
            remote->Write(block.data(), got);
            left -= got;
            if (!watch.Moved(got)) return 0;
        }
        if (!watch.Finished()) return 0;
        // The server has the file only when the upload ends whole.
        remote->Close();
        return 1;
    });
}

CStdioFile* CInternet::OpenURL(CInternetSession& session, const char* url, CString& error) {
    CString name = Text(url);
    // file:///dir/x and file://localhost/dir/x name the local path /dir/x.
    if (CPub::FindNoCase(name, "file:///") == 0)
        name = name.Mid(7);
    else if (CPub::FindNoCase(name, "file://localhost/") == 0)
        name = name.Mid(16);
    if (name.Left(1) == "/") CollapseSlashes(name);
    // An http(s) URL is read as HTTP requests read it, so that its port means the same to both.
    net::HttpUrl parts;
    std::string refusal;
    if (net::IsHttpUrl(name.str()) && !net::ReadHttpUrl(name.str(), false, parts, refusal)) {
        error = CString(refusal);
        net::Refused("download", name.str(), refusal);
        return nullptr;
    }
    CStdioFile* file = nullptr;
    try {
        file = session.OpenURL(name, 1, INTERNET_FLAG_EXISTING_CONNECT | INTERNET_FLAG_TRANSFER_BINARY,
                               nullptr, 0);
        if (file == nullptr) error.Format("%s load failure!\t", ForText(name).GetString());
    } catch (const CInternetException& e) {
        error = MessageOf(e);
    } catch (const CFileException& e) {
        error = MessageOf(e);
    }
    return file;
}

CFtpConnection* CInternet::OpenFtpServer(CInternetSession& session, const char* server, const char* user,
                                         const char* password, int port, CString& error) {
    return OpenOrExplain(
        "Ftp Server", server, "connection failure", error, [&](CString& cause) -> CFtpConnection* {
            if (port < 0 || port > 65535) {
                cause.Format("Port %d is not a port number (0-65535)", port);
                return nullptr;
            }
            return session.GetFtpConnection(server, user, password, static_cast<unsigned short>(port), 1);
        });
}

CInternetFile* CInternet::OpenFtpFile(CFtpConnection* connection, const char* path, unsigned long access,
                                      CString& error) {
    return OpenOrExplain("Ftp file", path, "access failure", error, [&](CString& cause) -> CInternetFile* {
        if (connection == nullptr) {
            cause = "No FTP connection";
            return nullptr;
        }
        return connection->OpenFile(path, access, FTP_TRANSFER_TYPE_BINARY, 1);
    });
}

int CInternet::parseURLname(const char* url, CString& fileName, CString& dir) {
    CString text = Text(url);
    text.Trim();
    text.Replace('\\', '/');
    fileName.Empty();
    dir.Empty();
    if (text.IsEmpty() || text.Right(1) == "/") return 0;
    const int slash = text.ReverseFind('/');
    if (slash < 0) return 0;
    dir = text.Left(slash);
    fileName = text.Mid(slash + 1);
    return 1;
}

int CInternet::parseFtpname(const char* ftpName, CString& fileName, CString& path, CString& server) {
    const CString text = Text(ftpName);
    const int scheme = text.Find("//");
    if (scheme < 0) return 0;
    const CString rest = text.Mid(scheme + 2);
    const int slash = rest.Find('/');
    if (slash < 0) return 0;
    server = rest.Left(slash);
    path = rest.Mid(slash + 1);
    const int last = path.ReverseFind('/');
    fileName = last < 0 ? path : path.Mid(last + 1);
    return 1;
}
