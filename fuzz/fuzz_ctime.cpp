// CPub::CString2CTime of arbitrary text: no undefined behaviour, and every
// accepted text reads back through CTime2CString to the same time.
#include "support/pub.h"

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 4096) return 0;
    const std::string text(reinterpret_cast<const char*>(data), size);
    time_t t = 0;
    if (CPub::CString2CTime(text.c_str(), t)) {
        const CString back = CPub::CTime2CString(t);
        time_t again = 0;
        // Times in a daylight-saving gap or fold may land an hour apart; the
        // text written must still read back.
        if (!CPub::CString2CTime(back, again)) std::abort();
    }
    return 0;
}
