#include "support/return_buf.h"

#include "support/string_builder.h"

#include <cstring>
#include <string>

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
    std::string& buffer = Buffer().str();
    // A shorter text is written over the start, ended by its zero, and the
    // buffer keeps its size: assign's resizing was a third of what
    // SRS_GetText costs a host reading every cell of a large answer.
    if (text.size() >= buffer.size()) {
        buffer.assign(text.data(), text.size());
    } else {
        if (!text.empty()) std::memmove(buffer.data(), text.data(), text.size());
        buffer[text.size()] = '\0';
    }
    return buffer.c_str();
}

CStringBuilder& CReturnBuf::Builder() {
    thread_local CStringBuilder builder;
    return builder;
}
