#include <orvex.h>

#include "api/guard.h"
#include "api/handles.h"
#include "recordset/srs.h"
#include "support/return_buf.h"

#include <algorithm>
#include <climits>
#include <cstring>

namespace {

SRS* Set(SRS_HANDLE handle) { return api::FromHandle<SRS>(handle); }

// 1-based numbers to the set's indexes; INT_MIN cannot take the step down.
int Index(int number) { return number > INT_MIN ? number - 1 : -1; }

const char* Return(CString&& text) { return CReturnBuf::CString2LPSTR(std::move(text)); }
// Copied into the buffer's own room: a cell's text reaches the host in one copy, without an allocation.
const char* Return(std::string_view text) { return CReturnBuf::Copy(text); }

// Copies at most size - 1 bytes and the zero; no room, no write.
void CopyOut(char* buffer, int size, const CString& text) {
    if (buffer == nullptr || size <= 0) return;
    const size_t n = std::min(static_cast<size_t>(size - 1), static_cast<size_t>(text.GetLength()));
    std::memcpy(buffer, text.GetString(), n);
    buffer[n] = '\0';
}

const char* GetDatetimeInto(SRS_HANDLE handle, int row, const char* colName, char* date, int dateSize,
                            char* time, int timeSize) {
    if (handle == nullptr) return nullptr;
    CString datetime;
    CString datePart;
    CString timePart;
    Set(handle)->GetDatetime(Index(row), colName, datetime, datePart, timePart);
    CopyOut(date, dateSize, datePart);
    CopyOut(time, timeSize, timePart);
    return Return(std::move(datetime));
}

}  // namespace

extern "C" SRS_HANDLE SRS_new(const char* name, const char* nameSpace, const char* type) {
    return api::Guard<SRS_HANDLE>(nullptr,
                                  [&] { return api::ToHandle<SRS_HANDLE>(new SRS(name, nameSpace, type)); });
}

extern "C" int SRS_AddCol(SRS_HANDLE handle, const char* name, const char* type) {
    return api::Guard(0, [&] { return handle != nullptr ? Set(handle)->AddCol(name, type) : 0; });
}

extern "C" int SRS_AddRow(SRS_HANDLE handle) {
    return api::Guard(0, [&] { return handle != nullptr ? Set(handle)->AddRow() + 1 : 0; });
}

extern "C" int SRS_RowCount(SRS_HANDLE handle) {
    return api::Guard(0, [&] { return handle != nullptr ? Set(handle)->RowCount() : 0; });
}

extern "C" int SRS_ColCount(SRS_HANDLE handle) {
    return api::Guard(0, [&] { return handle != nullptr ? Set(handle)->ColCount() : 0; });
}

extern "C" void SRS_SetText(SRS_HANDLE handle, int row, const char* colName, const char* text) {
    api::Guard([&] {
        if (handle != nullptr) Set(handle)->SetText(Index(row), colName, text);
    });
}

extern "C" const char* SRS_GetText(SRS_HANDLE handle, int row, const char* colName) {
    return api::Guard<const char*>(nullptr, [&]() -> const char* {
        return handle != nullptr ? Return(Set(handle)->CellView(Index(row), colName)) : nullptr;
    });
}

extern "C" const char* SRS_GetTextAt(SRS_HANDLE handle, int row, int col) {
    return api::Guard<const char*>(nullptr, [&]() -> const char* {
        return handle != nullptr ? Return(Set(handle)->CellView(Index(row), Index(col))) : nullptr;
    });
}

extern "C" int SRS_IsNull(SRS_HANDLE handle, int row, int col) {
    return api::Guard(0, [&] { return handle != nullptr ? Set(handle)->IsNull(Index(row), Index(col)) : 0; });
}

extern "C" const char* SRS_GetString(SRS_HANDLE handle, int row, const char* colName) {
    return api::Guard<const char*>(nullptr, [&]() -> const char* {
        if (handle == nullptr) return nullptr;
        CString out;
        Set(handle)->GetString(Index(row), colName, out);
        return Return(std::move(out));
    });
}

extern "C" const char* SRS_GetDate(SRS_HANDLE handle, int row, const char* colName) {
    return api::Guard<const char*>(nullptr, [&]() -> const char* {
        if (handle == nullptr) return nullptr;
        CString out;
        Set(handle)->GetDate(Index(row), colName, out);
        return Return(std::move(out));
    });
}

extern "C" const char* SRS_GetDatetime(SRS_HANDLE handle, int row, const char* colName, char* date,
                                       char* time) {
    return api::Guard<const char*>(nullptr, [&] {
        return GetDatetimeInto(handle, row, colName, date, SRS_DATETIME_BUFFER, time, SRS_DATETIME_BUFFER);
    });
}

extern "C" const char* SRS_GetDatetimeEx(SRS_HANDLE handle, int row, const char* colName, char* date,
                                         int dateSize, char* time, int timeSize) {
    return api::Guard<const char*>(
        nullptr, [&] { return GetDatetimeInto(handle, row, colName, date, dateSize, time, timeSize); });
}

extern "C" int SRS_GetBoolean(SRS_HANDLE handle, int row, const char* colName) {
    return api::Guard(0,
                      [&] { return handle != nullptr ? Set(handle)->GetBoolean(Index(row), colName) : 0; });
}

extern "C" int SRS_GetInt(SRS_HANDLE handle, int row, const char* colName) {
    return api::Guard(0, [&] { return handle != nullptr ? Set(handle)->GetInt(Index(row), colName) : 0; });
}

extern "C" double SRS_GetDouble(SRS_HANDLE handle, int row, const char* colName) {
    return api::Guard(0.0,
                      [&] { return handle != nullptr ? Set(handle)->GetDouble(Index(row), colName) : 0.0; });
}

extern "C" const char* SRS_GetColType(SRS_HANDLE handle, const char* colName) {
    return api::Guard<const char*>(nullptr, [&]() -> const char* {
        if (handle == nullptr) return nullptr;
        CString out;
        SRS* set = Set(handle);
        set->GetColType(set->FindCol(colName), out);
        return Return(std::move(out));
    });
}

extern "C" const char* SRS_GetColName(SRS_HANDLE handle, int col) {
    return api::Guard<const char*>(nullptr, [&]() -> const char* {
        if (handle == nullptr) return nullptr;
        CString out;
        Set(handle)->GetColName(Index(col), out);
        return Return(std::move(out));
    });
}

extern "C" const char* SRS_GetName(SRS_HANDLE handle) {
    return api::Guard<const char*>(nullptr, [&]() -> const char* {
        if (handle == nullptr) return nullptr;
        return Return(std::string_view(Set(handle)->m_strName.str()));
    });
}

extern "C" const char* SRS_GetColTypeName(SRS_HANDLE handle, int col) {
    return api::Guard<const char*>(nullptr, [&]() -> const char* {
        return handle != nullptr ? Return(Set(handle)->ColTypeName(Index(col))) : nullptr;
    });
}

extern "C" const char* SRS_toXML(SRS_HANDLE handle, const char* dialect, const char* elementName,
                                 int asArray) {
    return api::Guard<const char*>(nullptr, [&]() -> const char* {
        if (handle == nullptr) return nullptr;
        CString out;
        Set(handle)->toXML(out, dialect, elementName, asArray);
        return Return(std::move(out));
    });
}
