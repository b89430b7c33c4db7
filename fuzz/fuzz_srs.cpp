// Arbitrary texts as column names, type names and cells of a record set,
// then every getter, the date-time reader and both XML forms. Checks that
// nothing overflows and that what the writer encodes agrees with CTextUtil.
#include <orvex.h>
#include <orvex/text_util.h>

#include "recordset/srs.h"
#include "support/pub.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

namespace {

// Pieces of the input, split at 0x01 bytes.
std::vector<std::string> Split(const uint8_t* data, size_t size) {
    std::vector<std::string> pieces(1);
    for (size_t i = 0; i < size; ++i) {
        if (data[i] == 0x01)
            pieces.emplace_back();
        else
            pieces.back() += static_cast<char>(data[i]);
    }
    return pieces;
}

void Check(bool condition) {
    if (!condition) std::abort();
}

void ReadEverything(SRS_HANDLE set, const std::vector<std::string>& pieces) {
    const int rows = SRS_RowCount(set);
    const int cols = SRS_ColCount(set);
    for (int row = -1; row <= rows + 1; ++row) {
        for (const std::string& name : pieces) {
            const char* col = name.c_str();
            Check(SRS_GetText(set, row, col) != nullptr);
            Check(SRS_GetString(set, row, col) != nullptr);
            Check(SRS_GetDate(set, row, col) != nullptr);
            SRS_GetBoolean(set, row, col);
            SRS_GetInt(set, row, col);
            SRS_GetDouble(set, row, col);
            // Guard bytes after the room the function may use.
            char date[SRS_DATETIME_BUFFER + 8];
            char time[SRS_DATETIME_BUFFER + 8];
            std::memset(date, '#', sizeof date);
            std::memset(time, '#', sizeof time);
            Check(SRS_GetDatetime(set, row, col, date, time) != nullptr);
            for (size_t i = SRS_DATETIME_BUFFER; i < sizeof date; ++i)
                Check(date[i] == '#' && time[i] == '#');
            Check(std::strlen(date) < SRS_DATETIME_BUFFER && std::strlen(time) < SRS_DATETIME_BUFFER);
        }
    }
    for (int col = -1; col <= cols + 1; ++col) Check(SRS_GetColName(set, col) != nullptr);
    for (const std::string& name : pieces) Check(SRS_GetColType(set, name.c_str()) != nullptr);
    for (const char* dialect : {"dotnet", "apache soap"})
        for (int asArray : {0, 1}) Check(SRS_toXML(set, dialect, pieces[0].c_str(), asArray) != nullptr);
}

// The writer's cached date-time path against the encoder's.
void CompareDatetime(const std::string& text) {
    SRS set;
    set.AddCol("W", "dateTime");
    set.SetText(set.AddRow(), 0, text.c_str());
    CString xml;
    set.toXML(xml, "dotnet", "P", 0);
    CString expected(text.c_str());
    CTextUtil::XMLEncode_Datetime(expected);
    Check(xml.str() == "<P><W>" + expected.str() + "</W></P>");
    // And against the support library's reading and the C library's UTC breakdown.
    std::string wanted = "0001-01-01T00:00:00.0Z";
    const int year = text.size() >= 4 ? std::atoi(text.substr(0, 4).c_str()) : 2000;
    time_t t = 0;
    if (!text.empty() && year > 1970 && year < 2039 && CPub::CString2CTime(text.c_str(), t)) {
        struct tm utc {};
        gmtime_r(&t, &utc);
        char buffer[64];
        std::strftime(buffer, sizeof buffer, "%Y-%m-%dT%H:%M:%S.0Z", &utc);
        wanted = buffer;
    }
    Check(expected.str() == wanted);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool zoneSet = [] {
        setenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3", 1);
        tzset();
        return true;
    }();
    (void)zoneSet;
    if (size > 8192) return 0;
    const std::vector<std::string> pieces = Split(data, size);
    // Pieces: column names and type names in pairs, as many as the first
    // byte says (at most 4 columns), then cells row by row.
    const size_t cols = size > 0 ? data[0] % 5 : 0;
    SRS_HANDLE set = SRS_new(pieces[0].c_str(), pieces.size() > 1 ? pieces[1].c_str() : nullptr, nullptr);
    if (set == nullptr) return 0;
    size_t next = 0;
    for (size_t c = 0; c < cols && next + 1 < pieces.size(); ++c, next += 2)
        SRS_AddCol(set, pieces[next].c_str(), pieces[next + 1].c_str());
    while (next < pieces.size()) {
        const int row = SRS_AddRow(set);
        for (int c = 1; c <= SRS_ColCount(set) && next < pieces.size(); ++c, ++next)
            SRS_SetText(set, row, SRS_GetColName(set, c), pieces[next].c_str());
        if (SRS_ColCount(set) == 0) break;
    }
    ReadEverything(set, pieces);
    SRS_delete(set);
    for (const std::string& piece : pieces) {
        CompareDatetime(piece);
        for (int code = 0; code <= 7; ++code) {
            CString value(piece.c_str());
            CTextUtil::XMLEncode(code, value);
        }
    }
    return 0;
}
