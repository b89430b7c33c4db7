#include "http/request_factory.h"

CHttpRequest* NewHttpRequest(int soap) {
    if (soap != 0) return nullptr;
    return new CHttpRequest();
}
