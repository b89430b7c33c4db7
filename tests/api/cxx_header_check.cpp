// orvex.h compiles as C++, and the exported classes work from outside the library.
#include <orvex.h>
#include <orvex/base64.h>
#include <orvex/buffer.h>
#include <orvex/text_util.h>

#include <cstdio>
#include <cstring>

int main() {
    CBuffer buffer;
    CBase64::Encode(reinterpret_cast<unsigned char*>(const_cast<char*>("abc")), 3, buffer);
    CString text;
    buffer.GetText(text);
    if (std::strcmp(text.GetString(), "YWJj") != 0) {
        std::fprintf(stderr, "unexpected text %s\n", text.GetString());
        return 1;
    }
    CString value("a<b");
    CTextUtil::XMLEncode(CTextUtil::ConvertType("nvarchar"), value);
    CString typeName;
    CTextUtil::ConvertType(TYPE_DATETIME, typeName);
    if (std::strcmp(value.GetString(), "a&lt;b") != 0 || std::strcmp(typeName.GetString(), "dateTime") != 0) {
        std::fprintf(stderr, "unexpected encoding %s %s\n", value.GetString(), typeName.GetString());
        return 1;
    }
    HTTP_delete(nullptr);
    std::puts("c++ host ok");
    return 0;
}
