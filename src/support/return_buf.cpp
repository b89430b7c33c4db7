#include "support/return_buf.h"

#include "support/string_builder.h"

namespace {

CString& Buffer() {
    thread_local CString buffer;
    return buffer;
}

}  // namespace

const char* CReturnBuf::CString2LPSTR(const CString& text) {
    CString& buffer = Buffer();
    buffer = text;
    return buffer.GetString();
}

const char* CReturnBuf::CString2LPSTR(CString&& text) {
    CString& buffer = Buffer();
    buffer = std::move(text);
    return buffer.GetString();
}

const char* CReturnBuf::Copy(std::string_view text) {
    CString& buffer = Buffer();
    buffer.str().assign(text.data(), text.size());
    return buffer.GetString();
}

CStringBuilder& CReturnBuf::Builder() {
    thread_local CStringBuilder builder;
    return builder;
}
