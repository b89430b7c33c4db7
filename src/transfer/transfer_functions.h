// The one-call transfers behind DownloadFile and UploadFile: "" on success,
// else the reason.
#ifndef ORVEX_TRANSFER_TRANSFER_FUNCTIONS_H
#define ORVEX_TRANSFER_TRANSFER_FUNCTIONS_H

#include <orvex/cstring.h>
#include <orvex/internet.h>

CString DownloadFileText(const char* name, const char* localFile, int maxAge,
                         CInternet::ProgressFunc progress, void* user);
CString UploadFileText(const char* ftpName, const char* localFile, CInternet::ProgressFunc progress,
                       void* user);

#endif
