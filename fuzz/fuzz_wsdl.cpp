// WSDL descriptions of arbitrary bytes: the input is split at each "\n--\n"
// into documents, the first read as the description and each import, in the
// order they are named, as the next one. No crash, no unbounded memory, a
// text for every failure, and every listed operation described.
#include "wsdl/wsdl.h"

#include "recordset/srs.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > (1u << 20)) return 0;
    const std::string input(reinterpret_cast<const char*>(data), size);
    std::vector<std::string> documents;
    for (size_t at = 0;;) {
        const size_t cut = input.find("\n--\n", at);
        documents.push_back(input.substr(at, cut == std::string::npos ? std::string::npos : cut - at));
        if (cut == std::string::npos) break;
        at = cut + 4;
    }
    size_t next = 0;
    const CWsdl wsdl("http://fuzz.invalid/main.wsdl", [&](const std::string&, std::string& text) {
        if (next == documents.size()) return std::string("no such document");
        text = documents[next++];
        return std::string();
    });
    if (wsdl.Error().empty() == (wsdl.Operations() == nullptr)) std::abort();
    if (wsdl.Operations() != nullptr && wsdl.Operations()->ColCount() != 10) std::abort();
    wsdl.Endpoint("Add", nullptr);
    // Every listed operation described as a call would be: that is done when one is named.
    if (SRS* operations = wsdl.Operations())
        for (int row = 0; row < operations->RowCount(); ++row) {
            CString name, port;
            operations->GetText(row, 5, name);
            operations->GetText(row, 1, port);
            wsdl.Find(name.GetString(), port.GetString());
        }
    return 0;
}
