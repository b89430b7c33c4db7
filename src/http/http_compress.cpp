#include <orvex/http_compress.h>

// Out of line so that the interface's type information lives in liborvex.
IHTTPCompress::~IHTTPCompress() = default;
