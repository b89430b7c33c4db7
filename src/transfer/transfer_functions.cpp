#include "transfer/transfer_functions.h"

#include "net/url_password.h"

namespace {

constexpr int kFtpPort = 21;

// A failure that left no text still says which call failed.
CString Outcome(int result, CString& error, const char* call, const char* name) {
    if (result != 0) return CString();
    if (error.IsEmpty())
        error.Format("%s( %s ) cause an unknown Error!\t", call,
                     net::WithoutUrlPasswords(name != nullptr ? name : "").c_str());
    return error;
}

}  // namespace

CString DownloadFileText(CInternet& internet, const char* name, const char* localFile, int maxAge) {
    CString error;
    const int result = internet.IsHttp(name)
                           ? internet.Http_Download(name, localFile, error, maxAge)
                           : internet.Ftp_Download(name, localFile, error, nullptr, nullptr, kFtpPort);
    return Outcome(result, error, "DownloadFile", name);
}

CString UploadFileText(CInternet& internet, const char* ftpName, const char* localFile) {
    CString error;
    const int result = internet.Ftp_Upload(ftpName, localFile, error, nullptr, nullptr, kFtpPort);
    return Outcome(result, error, "UploadFile", ftpName);
}

CString DownloadFileText(const char* name, const char* localFile, int maxAge,
                         CInternet::ProgressFunc progress, void* user) {
    CInternet internet;
    internet.SetProgress(progress, user);
    return DownloadFileText(internet, name, localFile, maxAge);
}

CString UploadFileText(const char* ftpName, const char* localFile, CInternet::ProgressFunc progress,
                       void* user) {
    CInternet internet;
    internet.SetProgress(progress, user);
    return UploadFileText(internet, ftpName, localFile);
}
