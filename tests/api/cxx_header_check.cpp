// orvex.h compiles as C++, and the exported classes work from outside the library.
#include <orvex.h>
#include <orvex/base64.h>
#include <orvex/buffer.h>
#include <orvex/internet.h>
#include <orvex/text_util.h>
#include <orvex/pub_ex.h>
#include <orvex/xml_tree.h>

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
    CString html("&amp;lt;");
    if (CPubEx::HTML_ToNormal(html) != 1 || std::strcmp(html.GetString(), "&lt;") != 0) {
        std::fprintf(stderr, "CPubEx::HTML_ToNormal gave %s\n", html.GetString());
        return 1;
    }
    // A C++ host drives the tree parser through its interface.
    auto* parser = reinterpret_cast<IXMLTreeParser*>(NewXMLTreeParser());
    CString error;
    if (parser->Load(CString("<a><b>1</b></a>"), error) != 1) return 1;
    IXMLTreeNode* root = parser->BuildTree(0);
    delete parser;
    CUIntArray leaves;
    if (root == nullptr || root->GetLeaves(leaves) != 1 ||
        std::strcmp(root->GetChild(0)->GetText(), "1") != 0) {
        std::fprintf(stderr, "tree parser failed\n");
        return 1;
    }
    delete root;
    // A per-thread member read from outside: the library's own initialisation applies.
    if (CPubEx::File2CString(text, "/nonexistent/orvex") != 0 ||
        std::strcmp(CPubEx::m_LastError.GetString(), CPubEx::GetLastError()) != 0 || CPubEx::m_LastError.IsEmpty()) {
        std::fprintf(stderr, "CPubEx::m_LastError is \"%s\"\n", CPubEx::m_LastError.GetString());
        return 1;
    }
    // A C++ host may replace a step of the transfers.
    struct Local : CInternet {
        CStdioFile* OpenURL(CInternetSession&, const char*, CString& error) override {
            error = "refused here";
            return nullptr;
        }
    } internet;
    if (internet.Download("http://127.0.0.1:1/x", "/nonexistent/x", error) != 0 ||
        std::strcmp(error.GetString(), "refused here") != 0) {
        std::fprintf(stderr, "CInternet gave %s\n", error.GetString());
        return 1;
    }
    HTTP_delete(nullptr);
    std::puts("c++ host ok");
    return 0;
}
