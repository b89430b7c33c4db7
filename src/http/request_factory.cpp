#include "http/request_factory.h"

#include "http/http_soap_request.h"

CHttpRequest* NewHttpRequest(int soap) {
    if (soap != 0) return new CHttpSoapRequest();
    return new CHttpRequest();
}
