// The PE version resource parser on arbitrary bytes as a whole file: no crash,
// no read outside them, and a file without a version leaves the answer alone.
#include "platform/pe_version.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > (1u << 20)) return 0;
    pe::FixedFileInfo info;
    info.fileVersionMS = info.fileVersionLS = info.productVersionMS = info.productVersionLS = 0xDEADBEEF;
    if (!pe::ReadFixedFileInfo(data, size, info) &&
        (info.fileVersionMS != 0xDEADBEEF || info.fileVersionLS != 0xDEADBEEF ||
         info.productVersionMS != 0xDEADBEEF || info.productVersionLS != 0xDEADBEEF))
        std::abort();
    return 0;
}
