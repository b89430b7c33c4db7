// CHttpRequest: a reusable object that performs one HTTP(S) exchange at a
// time and keeps what came back, for the HTTP_* functions and the SOAP
// variant that derives from it.
#ifndef ORVEX_HTTP_HTTP_REQUEST_H
#define ORVEX_HTTP_HTTP_REQUEST_H

#include <orvex/buffer.h>
#include <orvex/cstring.h>
#include <orvex/handle_object.h>
#include <orvex/http_compress.h>

#include "net/http_transport.h"
#include "net/http_url.h"

#include <memory>
#include <string>
#include <vector>

class CCallbackCompress;
struct HttpCompressCallbacks;

class CHttpRequest : public CHandleObject {
public:
    CHttpRequest();
    ~CHttpRequest() override;
    CHttpRequest(const CHttpRequest&) = delete;
    CHttpRequest& operator=(const CHttpRequest&) = delete;

    // One exchange: 1 when a response with status 200 arrived whole, else 0
    // with m_strLastError set. user and password may be null.
    virtual int Request(const char* url, const char* user, const char* password);
    // The request's header lines, separated by CR LF, no line end at the end.
    virtual void BuildHeaders(CString& headers);
    // Only the SOAP variant carries a message; a plain request answers 0.
    virtual int AttachSoap(CHandleObject* message);

    // Empties the body text and releases the response memory.
    void Empty();
    // Splits a URL into the secure flag, host (an IPv6 literal with its
    // brackets), port and object path as platform/http_url.h reads it, and
    // takes the credentials (null is empty). 0, with m_strLastError, for a
    // URL that reader refuses; the fields then stay as they were.
    int ParseURL(const char* url, const char* user, const char* password);
    // Seconds; 0 or less returns to the process default.
    void SetTimeouts(int connectSeconds, int stallSeconds);
    // The whole-request limit in seconds; 0 or less returns to the process default.
    void SetDeadline(int seconds);
    // Wraps a host's plain callbacks as the compression object (all null: off).
    void SetCompressCallbacks(const HttpCompressCallbacks& callbacks);
    // The first value of a header of the last final response, the name
    // compared ignoring ASCII case; null when absent (or for a null name).
    const char* GetResponseHeader(const char* name) const;

    CString m_strLastError;
    int m_nKind = 0;
    IHTTPCompress* m_pCompress = nullptr;
    int m_bSecure = 0;
    int m_nStatusCode = 0;
    CString m_strHost;
    int m_nPort = 80;
    CString m_strUser;
    CString m_strPassword;
    CString m_strObject;
    int m_nVerb = 1;  // 0 POST, 1 GET, 2 HEAD, 3 PUT, 4 LINK, 5 DELETE, 6 UNLINK
    CString m_strCharset = "UTF-8";
    CString m_strContentType = "text/html";
    CString m_strContent;
    int m_nBodyBytesRequest = 0;
    CString m_strResponseContentType;
    // The last request's final response arrived whole: the transport holds its headers.
    bool m_bResponseHeaders = false;
    CBuffer m_Response{1024};
    int m_nBodyBytesResponse = 0;
    int m_nMilliSeconds = 0;
    int m_nConnectSeconds = 0;  // 0: the process default
    int m_nStallSeconds = 0;
    int m_nDeadlineSeconds = 0;

protected:
    // The exchange itself: nonzero when a whole response arrived.
    int SendHttp();
    // Whether the last Request got a whole response (of any status): what
    // arrived of one cut off is no answer to read.
    bool ResponseArrived() const { return m_bResponseArrived; }
    // Nothing of the last response stays: body, status, headers.
    void ForgetResponse();

    // Texts of the next body that the trace must not show.
    std::vector<std::string> m_bodySecrets;

private:
    // The URL of the parsed fields, as libcurl takes it.
    std::string BuildUrl() const;
    // The body bytes as content type, charset and compression choose them.
    std::string ChooseBody();

    bool m_bResponseArrived = false;
    // The last URL read whole, with the secure flag it was read under.
    bool m_bUrlRead = false;
    bool m_bUrlReadSecure = false;
    std::string m_strUrlRead;
    net::HttpUrl m_UrlRead;
    // The URL built from it, empty until the next request builds it.
    std::string m_strUrlBuilt;
    // The header text the exchange's lines were split from, and the next one's.
    CString m_strHeaders;
    CString m_strHeaderScratch;
    net::HttpExchange m_Exchange;
    net::CHttpTransport m_Transport;
    std::unique_ptr<CCallbackCompress> m_pCallbackCompress;
};

#endif
