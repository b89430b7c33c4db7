// CHttpSoapRequest: the request variant that carries one SOAP call. It posts
// the attached message's envelope with a SOAPAction line and hands the answer
// back to the message, as a result or as a fault.
#ifndef ORVEX_HTTP_HTTP_SOAP_REQUEST_H
#define ORVEX_HTTP_HTTP_SOAP_REQUEST_H

#include "http/http_request.h"

class CSoapMessage;

class CHttpSoapRequest : public CHttpRequest {
public:
    CHttpSoapRequest();
    ~CHttpSoapRequest() override;

    // 0 with "Soap object not set" when no message is attached.
    int Request(const char* url, const char* user, const char* password) override;
    void BuildHeaders(CString& headers) override;
    // Attaches a message (not owned) and answers 1; null detaches. Any other
    // kind of object is refused with 0 and nothing changes.
    int AttachSoap(CHandleObject* message) override;

    CSoapMessage* m_pSoap = nullptr;
};

#endif
