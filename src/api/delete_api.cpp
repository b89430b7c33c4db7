#include <orvex.h>

#include "api/guard.h"
#include "api/handles.h"

// One function under five names: it destroys any object of the library
// through its virtual destructor.
extern "C" void HTTP_delete(HTTP_HANDLE handle) {
    api::Guard([&] { delete api::FromHandle<CHandleObject>(handle); });
}

extern "C" void SOAP_delete(SOAP_HANDLE handle) __attribute__((alias("HTTP_delete")));
extern "C" void SRS_delete(SRS_HANDLE handle) __attribute__((alias("HTTP_delete")));
extern "C" void XML_delete(void* handle) __attribute__((alias("HTTP_delete")));
extern "C" void WSDL_delete(WSDL_HANDLE handle) __attribute__((alias("HTTP_delete")));
