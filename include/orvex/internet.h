// CInternet: downloads a URL (http, https, a local file) or an FTP name into
// a local file or a CBuffer, and uploads a local file over FTP. Results are
// 1 for success (also when a fresh local file makes a download needless) and
// 0 for failure, with the reason in the caller's error text.
//
// Downloads to a file lose nothing: the bytes go to a new file beside the
// target, which replaces the target only when the whole body has arrived.
// A failure leaves an existing target as it was and no partial file behind.
//
// Downloads keep to the process's download deadline, if one is set
// (CInternetSession::GetDownloadDeadline): past it they fail with
// "Download deadline of N seconds reached (NAME)". Uploads have none.
#ifndef ORVEX_INTERNET_H
#define ORVEX_INTERNET_H

#include <orvex/buffer.h>
#include <orvex/cstring.h>
#include <orvex/export.h>
#include <orvex/internet_session.h>

class ORVEX_EXPORT CInternet {
public:
    // Progress of a transfer: done bytes of total (-1 when not known),
    // after each block, once at the end, and at least every 250 ms while
    // the transfer waits for the network (no new bytes then). Nonzero
    // cancels: the operation fails with "Transfer cancelled: NAME". It runs
    // on the caller's thread, inside the operation, and may call the library
    // on anything but this object (see Threads in orvex.h).
    typedef int (*ProgressFunc)(void* user, long long done, long long total);

    CInternet();
    CInternet(const CInternet& other);
    CInternet& operator=(const CInternet& other);
    virtual ~CInternet();

    // 0 for an empty name or one whose first three letters are "ftp" (any
    // case), 1 for any other: only the first three letters are looked at.
    virtual int IsHttp(const char* name);
    // The http way with maxAge 60, or the ftp way anonymously on port 21.
    virtual int Download(const char* url, const char* localFile, CString& error);
    virtual int Download_ToDir_SameFilename(const char* url, const char* dir, CString& localFile,
                                            CString& error);
    virtual int Download_ToTempDir_SameFilename(const char* url, CString& localFile, CString& error);
    // maxAge > 0: an existing local file modified no more than maxAge seconds
    // ago (or dated in the future) is fresh, and nothing is transferred.
    virtual int Http_Download(const char* url, const char* localFile, CString& error, int maxAge);
    // The whole body into buffer (at most 2 GiB); on failure buffer is empty.
    virtual int Http_Download(const char* url, CBuffer& buffer, CString& error);
    // localFile receives dir joined with the URL's file name, even when the
    // transfer then fails.
    virtual int Http_Download_ToDir_SameFilename(const char* url, const char* dir, CString& localFile,
                                                 CString& error, int maxAge);
    virtual int Http_Download_ToTempDir_SameFilename(const char* url, CString& localFile, CString& error,
                                                     int maxAge);
    // user and password null: anonymous login. port applies when the name
    // writes none.
    virtual int Ftp_Download(const char* ftpName, const char* localFile, CString& error, const char* user,
                             const char* password, int port);
    virtual int Ftp_Download_ToDir_SameFilename(const char* ftpName, const char* dir, CString& localFile,
                                                CString& error, const char* user, const char* password,
                                                int port);
    virtual int Ftp_Download_ToTempDir_SameFilename(const char* ftpName, CString& localFile, CString& error,
                                                    const char* user, const char* password, int port);
    // Replaces the remote file. Reported done only when the server took
    // every byte of the local file.
    virtual int Ftp_Upload(const char* ftpName, const char* localFile, CString& error, const char* user,
                           const char* password, int port);

    // Splits a URL (trimmed, '\' read as '/') at its last '/': 0 for an
    // empty URL, one ending in '/' or one without '/'.
    static int parseURLname(const char* url, CString& fileName, CString& dir);
    // "scheme://server/path": server is what lies between "//" and the next
    // '/', path the rest, fileName the part after path's last '/'. 0 without
    // "//" or without a '/' after the server; the outputs then keep what
    // they held.
    static int parseFtpname(const char* ftpName, CString& fileName, CString& path, CString& server);

    // Progress reporting for this object's transfers (null: none).
    void SetProgress(ProgressFunc progress, void* user);

protected:
    // The steps the operations above go through; a derived class may
    // replace any of them. Each returns null with error set on failure, and
    // what it returns is the caller's to close and delete.
    virtual CStdioFile* OpenURL(CInternetSession& session, const char* url, CString& error);
    virtual CFtpConnection* OpenFtpServer(CInternetSession& session, const char* server, const char* user,
                                          const char* password, int port, CString& error);
    virtual CInternetFile* OpenFtpFile(CFtpConnection* connection, const char* path, unsigned long access,
                                       CString& error);

private:
    ProgressFunc m_pfnProgress = nullptr;
    void* m_pProgressUser = nullptr;
};

#endif
