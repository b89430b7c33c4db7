// Arbitrary text stored as a SOAP response, then read every way a host can:
// the record sets at several indexes with every cell, the trees of the
// response and its Header, the fault; and as a header block of a request.
#include <orvex.h>

#include "soap/soap_message.h"

#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

// A set of millions of mostly null cells (rows that each bring a new field)
// is read in a corner and written only when small: all of it costs time, not coverage.
constexpr int kMaxRead = 64;
constexpr long long kMaxWritten = 1 << 20;

void ReadAll(SRS_HANDLE set) {
    if (set == nullptr) return;
    const int columns = SRS_ColCount(set);
    const int rows = SRS_RowCount(set);
    for (int c = 1; c <= columns && c <= kMaxRead; ++c) {
        const std::string name = SRS_GetColName(set, c);
        SRS_GetColType(set, name.c_str());
        for (int r = 1; r <= rows && r <= kMaxRead; ++r) {
            SRS_GetText(set, r, name.c_str());
            SRS_GetDouble(set, r, name.c_str());
        }
    }
    if (static_cast<long long>(rows) * columns <= kMaxWritten) SRS_toXML(set, ".net", "p", 1);
}

size_t Walk(XML_NODE node, int depth) {
    if (node == nullptr) return 0;
    if (depth > 2000) std::abort();  // nesting is bounded at load
    size_t count = 1;
    XML_GetName(node);
    XML_GetText(node);
    for (int i = 1; i <= XML_GetChildren(node); ++i) count += Walk(XML_GetChild(node, i), depth + 1);
    return count;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > (1u << 20)) return 0;
    const std::string text(reinterpret_cast<const char*>(data), size);
    SOAP_HANDLE message = SOAP_new("dotnet", "M");
    SOAP_SetSoap(message, text.c_str());
    ReadAll(SOAP_GetSRS(message));
    for (int index = 1; index <= 3; ++index) ReadAll(SOAP_GetMultiSRS(message, index));
    Walk(SOAP_GetXMLTree(message), 0);
    Walk(SOAP_GetHeaderTree(message), 0);
    // The same text offered as a header block: refused, or written into the envelope.
    if (SOAP_AddHeader(message, text.c_str()) == 1) SOAP_GetSoap(message);
    static_cast<CSoapMessage*>(reinterpret_cast<CHandleObject*>(message))->SetFault(CString(text.c_str()));
    SOAP_GetLastError(message);
    SOAP_delete(message);
    return 0;
}
