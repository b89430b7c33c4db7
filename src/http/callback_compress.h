// CCallbackCompress: IHTTPCompress over plain C callbacks, for hosts that
// cannot implement a C++ interface (HTTP_SetCompressCallbacks).
#ifndef ORVEX_HTTP_CALLBACK_COMPRESS_H
#define ORVEX_HTTP_CALLBACK_COMPRESS_H

#include <orvex/http_compress.h>

// Returns the size of the transformed bytes; when that passes `capacity`
// it is called again with room for them; a negative answer leaves the
// bytes as they are.
using HttpTransformFn = int (*)(void* user, const unsigned char* data, int length, unsigned char* out,
                                int capacity);
using HttpIsCompressFn = int (*)(void* user);

struct HttpCompressCallbacks {
    HttpIsCompressFn isCompress = nullptr;  // null: in force whenever compress is given
    HttpTransformFn compress = nullptr;
    HttpTransformFn decompress = nullptr;
    void* user = nullptr;
};

class CCallbackCompress : public IHTTPCompress {
public:
    explicit CCallbackCompress(const HttpCompressCallbacks& callbacks) : m_Callbacks(callbacks) {}
    int IsCompress() override;
    int Compress(CString* content) override;
    int Decompress(CBuffer* response) override;

private:
    HttpCompressCallbacks m_Callbacks;
};

#endif
