#include <orvex.h>

#include "api/guard.h"
#include "api/handles.h"
#include "http/callback_compress.h"
#include "http/request_factory.h"

namespace {

CHttpRequest* Req(HTTP_HANDLE handle) { return api::FromHandle<CHttpRequest>(handle); }

// A failure at the boundary leaves its text where HTTP_GetLastError reads it.
api::ErrorText ErrorOf(HTTP_HANDLE handle) {
    return {handle != nullptr ? &Req(handle)->m_strLastError : nullptr};
}

}  // namespace

extern "C" HTTP_HANDLE HTTP_new(int soap) {
    return api::Guard<HTTP_HANDLE>(nullptr, [&] { return api::ToHandle<HTTP_HANDLE>(NewHttpRequest(soap)); });
}

extern "C" void HTTP_Empty(HTTP_HANDLE handle) {
    api::Guard(ErrorOf(handle), [&] {
        if (handle != nullptr) Req(handle)->Empty();
    });
}

extern "C" void HTTP_SetVerb(HTTP_HANDLE handle, int verb) {
    api::Guard(ErrorOf(handle), [&] {
        if (handle != nullptr) Req(handle)->m_nVerb = verb;
    });
}

extern "C" void HTTP_SetContentType(HTTP_HANDLE handle, const char* contentType) {
    api::Guard(ErrorOf(handle), [&] {
        if (handle != nullptr) Req(handle)->m_strContentType = contentType;
    });
}

extern "C" void HTTP_SetCharset(HTTP_HANDLE handle, const char* charset) {
    api::Guard(ErrorOf(handle), [&] {
        if (handle != nullptr) Req(handle)->m_strCharset = charset;
    });
}

extern "C" void HTTP_SetContent(HTTP_HANDLE handle, const char* content) {
    api::Guard(ErrorOf(handle), [&] {
        if (handle != nullptr && content != nullptr) Req(handle)->m_strContent = content;
    });
}

extern "C" void HTTP_SetIHTTPCompress(HTTP_HANDLE handle, IHTTPCompress* compress) {
    api::Guard(ErrorOf(handle), [&] {
        if (handle != nullptr) Req(handle)->m_pCompress = compress;
    });
}

extern "C" void HTTP_SetCompressCallbacks(HTTP_HANDLE handle, HTTP_IsCompressFunc isCompress,
                                          HTTP_TransformFunc compress, HTTP_TransformFunc decompress,
                                          void* user) {
    api::Guard(ErrorOf(handle), [&] {
        if (handle != nullptr) Req(handle)->SetCompressCallbacks({isCompress, compress, decompress, user});
    });
}

extern "C" void HTTP_SetTimeouts(HTTP_HANDLE handle, int connectSeconds, int stallSeconds) {
    api::Guard(ErrorOf(handle), [&] {
        if (handle != nullptr) Req(handle)->SetTimeouts(connectSeconds, stallSeconds);
    });
}

extern "C" void HTTP_SetDeadline(HTTP_HANDLE handle, int seconds) {
    api::Guard(ErrorOf(handle), [&] {
        if (handle != nullptr) Req(handle)->SetDeadline(seconds);
    });
}

extern "C" int HTTP_AttachSoap(HTTP_HANDLE handle, SOAP_HANDLE message) {
    return api::Guard(0, ErrorOf(handle), [&] {
        return handle != nullptr ? Req(handle)->AttachSoap(api::FromHandle<CHandleObject>(message)) : 0;
    });
}

extern "C" int HTTP_Request(HTTP_HANDLE handle, const char* url, const char* user, const char* password) {
    return api::Guard(0, ErrorOf(handle),
                      [&] { return handle != nullptr ? Req(handle)->Request(url, user, password) : 0; });
}

extern "C" const char* HTTP_GetLastError(HTTP_HANDLE handle) {
    return api::Guard<const char*>("", ErrorOf(handle), [&] {
        return handle != nullptr ? Req(handle)->m_strLastError.GetString() : "";
    });
}

extern "C" unsigned char* HTTP_GetResponse(HTTP_HANDLE handle) {
    return api::Guard<unsigned char*>(nullptr, ErrorOf(handle), [&] {
        return handle != nullptr ? Req(handle)->m_Response.GetBuf() : nullptr;
    });
}

extern "C" CBuffer* HTTP_GetResponseBuffer(HTTP_HANDLE handle) {
    return api::Guard<CBuffer*>(nullptr, ErrorOf(handle),
                                [&] { return handle != nullptr ? &Req(handle)->m_Response : nullptr; });
}

extern "C" int HTTP_GetResponseContentLength(HTTP_HANDLE handle) {
    return api::Guard(0, ErrorOf(handle),
                      [&] { return handle != nullptr ? Req(handle)->m_Response.GetSize() : 0; });
}

extern "C" const char* HTTP_GetResponseContentType(HTTP_HANDLE handle) {
    return api::Guard<const char*>("", ErrorOf(handle), [&] {
        return handle != nullptr ? Req(handle)->m_strResponseContentType.GetString() : "";
    });
}

extern "C" int HTTP_GetStatusCode(HTTP_HANDLE handle) {
    return api::Guard(0, ErrorOf(handle), [&] { return handle != nullptr ? Req(handle)->m_nStatusCode : 0; });
}

extern "C" const char* HTTP_GetResponseHeader(HTTP_HANDLE handle, const char* name) {
    return api::Guard<const char*>(nullptr, ErrorOf(handle), [&] {
        return handle != nullptr ? Req(handle)->GetResponseHeader(name) : nullptr;
    });
}

extern "C" int HTTP_GetBodyBytes_Request(HTTP_HANDLE handle) {
    return api::Guard(0, ErrorOf(handle),
                      [&] { return handle != nullptr ? Req(handle)->m_nBodyBytesRequest : 0; });
}

extern "C" int HTTP_GetBodyBytes_Response(HTTP_HANDLE handle) {
    return api::Guard(0, ErrorOf(handle),
                      [&] { return handle != nullptr ? Req(handle)->m_nBodyBytesResponse : 0; });
}

extern "C" int HTTP_GetMilliSeconds(HTTP_HANDLE handle) {
    return api::Guard(0, ErrorOf(handle),
                      [&] { return handle != nullptr ? Req(handle)->m_nMilliSeconds : 0; });
}
