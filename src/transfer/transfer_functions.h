// The one-call transfers behind DownloadFile and UploadFile: "" on success,
// else the reason, through the given CInternet (the C functions pass a
// plain one).
#ifndef ORVEX_TRANSFER_TRANSFER_FUNCTIONS_H
#define ORVEX_TRANSFER_TRANSFER_FUNCTIONS_H

#include <orvex/cstring.h>
#include <orvex/internet.h>

// An http(s) or file name is downloaded with the freshness check, any other
// (an ftp name) anonymously from port 21 or the port written in it.
CString DownloadFileText(CInternet& internet, const char* name, const char* localFile, int maxAge);
CString UploadFileText(CInternet& internet, const char* ftpName, const char* localFile);

// The same through a plain CInternet of their own, reporting progress.
CString DownloadFileText(const char* name, const char* localFile, int maxAge,
                         CInternet::ProgressFunc progress, void* user);
CString UploadFileText(const char* ftpName, const char* localFile, CInternet::ProgressFunc progress,
                       void* user);

#endif
