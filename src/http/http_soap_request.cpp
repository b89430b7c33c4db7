#include "http/http_soap_request.h"

#include "soap/soap_message.h"

#include <string>
#include <utility>

CHttpSoapRequest::CHttpSoapRequest() {
    m_nKind = 1;
    m_nVerb = 0;
    m_strContentType = "text/xml";
}

CHttpSoapRequest::~CHttpSoapRequest() = default;

int CHttpSoapRequest::AttachSoap(CHandleObject* message) {
    if (message == nullptr) {
        m_pSoap = nullptr;
        return 1;
    }
    auto* soap = dynamic_cast<CSoapMessage*>(message);
    if (soap == nullptr) return 0;
    m_pSoap = soap;
    return 1;
}

int CHttpSoapRequest::Request(const char* url, const char* user, const char* password) {
    if (m_pSoap == nullptr) {
        m_strLastError = "Soap object not set";
        return 0;
    }
    std::string misfit;
    if (!m_pSoap->CheckPlan(misfit)) {
        // Nothing is sent for parameters the description does not allow,
        // and nothing of the last response stays.
        ForgetResponse();
        m_strLastError = misfit.c_str();
        m_pSoap->SetFailure(m_strLastError);
        return 0;
    }
    m_pSoap->GetSoap(m_strContent);
    m_bodySecrets = m_pSoap->m_Header.Secrets();
    const int result = CHttpRequest::Request(url, user, password);
    if (!ResponseArrived()) {
        // Part of a body cut off by the deadline or a stall is no answer, not even a fault.
        m_pSoap->SetFailure(m_strLastError);
        return result;
    }
    CString text;
    m_Response.GetText(text);
    if (result != 0) {
        m_pSoap->SetSoap(std::move(text));
    } else {
        m_pSoap->SetFault(text);
        if (!m_pSoap->m_strError.IsEmpty()) {
            CString combined;
            combined.Format("%s\r\nReturn Soap Error:%s", m_strLastError.GetString(),
                            m_pSoap->m_strError.GetString());
            m_strLastError = combined;
        }
    }
    return result;
}

void CHttpSoapRequest::BuildHeaders(CString& headers) {
    CHttpRequest::BuildHeaders(headers);
    if (m_pSoap == nullptr) return;
    const CString action = m_pSoap->Action();
    if (m_pSoap->m_nSoapVersion != 12) {
        headers.AppendFormat("\r\nSOAPAction: \"%s\"", action.GetString());
        return;
    }
    // SOAP 1.2 names the action in the media type, and a SOAPAction line
    // beside a 1.2 body makes some servers read it as 1.1.
    if (m_pCompress != nullptr && m_pCompress->IsCompress() != 0) return;
    headers = "Content-Type:application/soap+xml; charset=" + m_strCharset;
    if (!action.IsEmpty()) headers += "; action=\"" + action + "\"";
}
