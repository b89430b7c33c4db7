#include <orvex.h>

#include "api/guard.h"
#include "api/handles.h"

#include "recordset/srs.h"
#include "soap/soap_message.h"
#include "wsdl/wsdl.h"

namespace {

CWsdl* Wsdl(WSDL_HANDLE handle) { return api::FromHandle<CWsdl>(handle); }

}  // namespace

extern "C" WSDL_HANDLE WSDL_new(const char* location, int maxAgeSeconds) {
    return api::Guard<WSDL_HANDLE>(nullptr, [&] {
        return api::ToHandle<WSDL_HANDLE>(static_cast<CHandleObject*>(new CWsdl(location, maxAgeSeconds)));
    });
}

extern "C" const char* WSDL_GetLastError(WSDL_HANDLE handle) {
    return api::Guard<const char*>("",
                                   [&] { return handle != nullptr ? Wsdl(handle)->Error().c_str() : ""; });
}

extern "C" SRS_HANDLE WSDL_GetOperations(WSDL_HANDLE handle) {
    return api::Guard<SRS_HANDLE>(nullptr, [&]() -> SRS_HANDLE {
        SRS* set = handle != nullptr ? Wsdl(handle)->Operations() : nullptr;
        return set != nullptr ? api::ToHandle<SRS_HANDLE>(static_cast<CHandleObject*>(set)) : nullptr;
    });
}

extern "C" const char* WSDL_GetEndpoint(WSDL_HANDLE handle, const char* operation, const char* port) {
    return api::Guard<const char*>(nullptr, [&]() -> const char* {
        return handle != nullptr ? Wsdl(handle)->Endpoint(operation, port) : nullptr;
    });
}

extern "C" SOAP_HANDLE WSDL_NewCall(WSDL_HANDLE handle, const char* operation, const char* port) {
    return api::Guard<SOAP_HANDLE>(nullptr, [&]() -> SOAP_HANDLE {
        CSoapMessage* message = handle != nullptr ? Wsdl(handle)->NewCall(operation, port) : nullptr;
        return message != nullptr ? api::ToHandle<SOAP_HANDLE>(static_cast<CHandleObject*>(message))
                                  : nullptr;
    });
}

extern "C" const char* WSDL_GetOutputShape(WSDL_HANDLE handle, const char* operation, const char* port) {
    return api::Guard<const char*>(nullptr, [&]() -> const char* {
        const CWsdl::Operation* row = handle != nullptr ? Wsdl(handle)->Find(operation, port) : nullptr;
        return row != nullptr ? row->shape : nullptr;
    });
}
