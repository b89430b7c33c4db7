// The one place that knows which class each kind of request is.
#ifndef ORVEX_HTTP_REQUEST_FACTORY_H
#define ORVEX_HTTP_REQUEST_FACTORY_H

#include "http/http_request.h"

// soap 0: a plain request; nonzero: the SOAP variant.
CHttpRequest* NewHttpRequest(int soap);

#endif
