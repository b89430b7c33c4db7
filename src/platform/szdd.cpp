#include "platform/szdd.h"

#include "platform/atomic_file.h"
#include "platform/code_page.h"

#include <mspack.h>

namespace szdd {
namespace {

struct Decompressor {
    Decompressor() : d(mspack_create_szdd_decompressor(nullptr)) {}
    ~Decompressor() {
        if (d != nullptr) mspack_destroy_szdd_decompressor(d);
    }
    Decompressor(const Decompressor&) = delete;
    Decompressor& operator=(const Decompressor&) = delete;
    msszdd_decompressor* d;
};

const char* ErrorText(int code) {
    switch (code) {
        case MSPACK_ERR_OPEN:
            return "cannot open the file";
        case MSPACK_ERR_READ:
            return "read error";
        case MSPACK_ERR_WRITE:
            return "write error";
        case MSPACK_ERR_SIGNATURE:
            return "not an SZDD-compressed file";
        case MSPACK_ERR_DATAFORMAT:
            return "corrupt compressed data";
        case MSPACK_ERR_NOMEMORY:
            return "out of memory";
        default:
            return "expansion failed";
    }
}

}  // namespace

bool IsCompressed(const char* path) {
    Decompressor dec;
    if (dec.d == nullptr || path == nullptr) return false;
    msszddd_header* h = dec.d->open(dec.d, codepage::SystemName(path));
    if (h == nullptr) return false;
    dec.d->close(dec.d, h);
    return true;
}

char MissingChar(const char* path) {
    Decompressor dec;
    if (dec.d == nullptr || path == nullptr) return 0;
    msszddd_header* h = dec.d->open(dec.d, codepage::SystemName(path));
    if (h == nullptr) return 0;
    const char c = h->missing_char;
    dec.d->close(dec.d, h);
    return c;
}

bool Expand(const char* source, const char* target, CString& error) {
    Decompressor dec;
    if (dec.d == nullptr) {
        error = "Cannot create the SZDD decompressor";
        return false;
    }
    // Expanded beside the target and renamed over it, so a failure halfway
    // leaves the target as it was.
    CAtomicFile out;
    if (!out.Create(target, error)) return false;
    // The temporary name is the file system's already; a device or pipe is written by its own.
    const codepage::SystemName direct(target);
    const char* written = out.TempPath().IsEmpty() ? direct.c_str() : out.TempPath().GetString();
    const int r = dec.d->decompress(dec.d, codepage::SystemName(source), written);
    if (r != MSPACK_ERR_OK) {
        error.Format("%s: %s", source, ErrorText(r));
        return false;
    }
    return out.Commit(error);
}

}  // namespace szdd
