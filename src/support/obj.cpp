#include "support/obj.h"

#include "platform/message_box.h"

CObj::~CObj() = default;

void CObj::Error(int code, const char* text) {
    CString message(text);
    if (code != 0) message.AppendFormat(" (code %d)", code);
    Error(message);
}

void CObj::Error(int code) {
    CString message;
    message.Format("Error code %d", code);
    Error(message);
}

void CObj::Error(const char* text) { Error(CString(text)); }

void CObj::Error(const CString& text) {
    m_strError = text;
    if (m_bShowError) msgbox::Show(nullptr, m_strError, nullptr, msgbox::kOk);
}
