#include <orvex.h>

#include "api/guard.h"
#include "support/return_buf.h"
#include "transfer/transfer_functions.h"

namespace {

// Even a failure the transfer could not describe must not read as "" (success).
const char kUnknownDownload[] = "DownloadFile cause an unknown Error!\t";
const char kUnknownUpload[] = "UploadFile cause an unknown Error!\t";

}  // namespace

extern "C" const char* DownloadFile(const char* url, const char* localFile, int maxAge) {
    return DownloadFileEx(url, localFile, maxAge, nullptr, nullptr);
}

extern "C" const char* UploadFile(const char* ftpName, const char* localFile) {
    return UploadFileEx(ftpName, localFile, nullptr, nullptr);
}

extern "C" const char* DownloadFileEx(const char* url, const char* localFile, int maxAge,
                                      OrvexProgressFunc progress, void* user) {
    return api::Guard<const char*>(kUnknownDownload, [&] {
        return CReturnBuf::CString2LPSTR(DownloadFileText(url, localFile, maxAge, progress, user));
    });
}

extern "C" const char* UploadFileEx(const char* ftpName, const char* localFile, OrvexProgressFunc progress,
                                    void* user) {
    return api::Guard<const char*>(kUnknownUpload, [&] {
        return CReturnBuf::CString2LPSTR(UploadFileText(ftpName, localFile, progress, user));
    });
}

extern "C" void Orvex_SetDownloadDeadline(int seconds) { CInternetSession::SetDownloadDeadline(seconds); }
