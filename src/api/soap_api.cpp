#include <orvex.h>

#include "api/guard.h"
#include "api/handles.h"

#include <orvex/xml_tree.h>

#include "recordset/srs.h"
#include "soap/soap_message.h"
#include "support/return_buf.h"
#include "support/string_builder.h"

namespace {

CSoapMessage* Msg(SOAP_HANDLE handle) { return api::FromHandle<CSoapMessage>(handle); }

// A failure at the boundary leaves its text where SOAP_GetLastError reads it.
api::ErrorText ErrorOf(SOAP_HANDLE handle) {
    return {handle != nullptr ? &Msg(handle)->m_strError : nullptr};
}

// Record sets the message owns go out as handles like any other.
SRS_HANDLE SetHandle(SRS* recordSet) {
    return recordSet != nullptr ? api::ToHandle<SRS_HANDLE>(recordSet) : nullptr;
}

// "Orders[]" and "Orders [ ]" name an array parameter Orders: the first "["
// through the first "]" go, and the rest is trimmed.
void AddNodesByName(CSoapMessage& message, const char* name, SRS* recordSet) {
    CString text(name);
    if (text.IsEmpty()) return;
    const int open = text.Find('[');
    const int close = text.Find(']');
    if (open < 0 || close < 0) {
        message.AddNodes(text, 0, recordSet);
        return;
    }
    if (open < close) {
        text = text.Left(open) + text.Mid(close + 1);
        text.Trim();
    }
    message.AddNodes(text, 1, recordSet);
}

}  // namespace

extern "C" SOAP_HANDLE SOAP_new(const char* serverKind, const char* method) {
    return api::Guard<SOAP_HANDLE>(
        nullptr, [&] { return api::ToHandle<SOAP_HANDLE>(new CSoapMessage(serverKind, method)); });
}

extern "C" void SOAP_Empty(SOAP_HANDLE handle) {
    api::Guard(ErrorOf(handle), [&] {
        if (handle != nullptr) Msg(handle)->Empty();
    });
}

extern "C" const char* SOAP_GetSoap(SOAP_HANDLE handle) {
    return api::Guard<const char*>("", ErrorOf(handle), [&] {
        if (handle == nullptr) return "";
        CStringBuilder& envelope = CReturnBuf::Builder();
        Msg(handle)->GetSoap(envelope);
        return envelope.GetText();
    });
}

extern "C" void SOAP_SetEncoding(SOAP_HANDLE handle, const char* encoding) {
    api::Guard(ErrorOf(handle), [&] {
        if (handle != nullptr) Msg(handle)->SetEncoding(encoding);
    });
}

extern "C" void SOAP_SetTargetObjectURI(SOAP_HANDLE handle, const char* uri) {
    api::Guard(ErrorOf(handle), [&] {
        if (handle != nullptr) Msg(handle)->SetTargetObjectURI(uri);
    });
}

extern "C" void SOAP_SetNameSpace(SOAP_HANDLE handle, const char* nameSpace) {
    api::Guard(ErrorOf(handle), [&] {
        if (handle != nullptr) Msg(handle)->SetNameSpace(nameSpace);
    });
}

extern "C" int SOAP_SetSoapVersion(SOAP_HANDLE handle, int version) {
    return api::Guard<int>(0, ErrorOf(handle),
                           [&] { return handle != nullptr && Msg(handle)->SetSoapVersion(version) ? 1 : 0; });
}

extern "C" int SOAP_SetAction(SOAP_HANDLE handle, const char* action) {
    return api::Guard<int>(0, ErrorOf(handle),
                           [&] { return handle != nullptr && Msg(handle)->SetAction(action) ? 1 : 0; });
}

extern "C" void SOAP_AddElement(SOAP_HANDLE handle, const char* name, const char* type, const char* value) {
    api::Guard(ErrorOf(handle), [&] {
        if (handle != nullptr) Msg(handle)->AddElement(name, type, value);
    });
}

extern "C" void SOAP_AddNodes(SOAP_HANDLE handle, const char* name, SRS_HANDLE recordSet) {
    api::Guard(ErrorOf(handle), [&] {
        if (handle != nullptr) AddNodesByName(*Msg(handle), name, api::FromHandle<SRS>(recordSet));
    });
}

extern "C" void SOAP_SetSoap(SOAP_HANDLE handle, const char* response) {
    api::Guard(ErrorOf(handle), [&] {
        if (handle != nullptr) Msg(handle)->SetSoap(CString(response));
    });
}

extern "C" SRS_HANDLE SOAP_GetSRS(SOAP_HANDLE handle) {
    return api::Guard<SRS_HANDLE>(nullptr, ErrorOf(handle), [&] {
        return handle != nullptr ? SetHandle(Msg(handle)->GetSRS(0)) : nullptr;
    });
}

extern "C" SRS_HANDLE SOAP_GetMultiSRS(SOAP_HANDLE handle, int index) {
    return api::Guard<SRS_HANDLE>(nullptr, ErrorOf(handle), [&] {
        return handle != nullptr ? SetHandle(Msg(handle)->GetSRS(index)) : nullptr;
    });
}

extern "C" XML_NODE SOAP_GetXMLTree(SOAP_HANDLE handle) {
    return api::Guard<XML_NODE>(nullptr, ErrorOf(handle), [&] {
        IXMLTreeNode* tree = handle != nullptr ? Msg(handle)->GetXMLTree() : nullptr;
        return tree != nullptr ? api::ToHandle<XML_NODE>(tree) : nullptr;
    });
}

extern "C" const char* SOAP_GetLastError(SOAP_HANDLE handle) {
    return api::Guard<const char*>(
        "", ErrorOf(handle), [&] { return handle != nullptr ? Msg(handle)->m_strError.GetString() : ""; });
}

extern "C" int SOAP_AddHeader(SOAP_HANDLE handle, const char* xml) {
    return api::Guard<int>(0, ErrorOf(handle),
                           [&] { return handle != nullptr && Msg(handle)->AddHeader(xml) ? 1 : 0; });
}

extern "C" XML_NODE SOAP_GetHeaderTree(SOAP_HANDLE handle) {
    return api::Guard<XML_NODE>(nullptr, ErrorOf(handle), [&] {
        IXMLTreeNode* tree = handle != nullptr ? Msg(handle)->GetHeaderTree() : nullptr;
        return tree != nullptr ? api::ToHandle<XML_NODE>(tree) : nullptr;
    });
}

extern "C" int SOAP_SetUsernameToken(SOAP_HANDLE handle, const char* user, const char* password, int flags,
                                     int ttlSeconds) {
    return api::Guard<int>(0, ErrorOf(handle), [&] {
        return handle != nullptr && Msg(handle)->SetUsernameToken(user, password, flags, ttlSeconds) ? 1 : 0;
    });
}
