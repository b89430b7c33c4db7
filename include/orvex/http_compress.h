// IHTTPCompress: a compression scheme that a host lends to a request
// (HTTP_SetIHTTPCompress). The library never creates, copies or deletes one;
// the host keeps it alive while a request may use it.
#ifndef ORVEX_HTTP_COMPRESS_H
#define ORVEX_HTTP_COMPRESS_H

#include <orvex/export.h>

class CString;
class CBuffer;

class ORVEX_EXPORT IHTTPCompress {
public:
    // Never called by the library.
    virtual ~IHTTPCompress();
    // Nonzero while compression is in force; asked twice per request, once
    // for the header and once for the body.
    virtual int IsCompress() = 0;
    // Replaces the request body in place with its compressed bytes (the
    // string's length is the byte count). The result is not used.
    virtual int Compress(CString* content) = 0;
    // Replaces the response bytes in place with their decompressed form,
    // after a successful request only. The result is not used.
    virtual int Decompress(CBuffer* response) = 0;
};

#endif
