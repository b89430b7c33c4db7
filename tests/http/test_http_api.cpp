// The HTTP_* functions themselves: null handles, ownership of returned
// pointers, and the calls that only forward.
#include "http/http_request.h"
#include "http/http_test_server.h"
#include "http/http_test_util.h"

#include "api/guard.h"

#include <orvex.h>
#include <orvex/buffer.h>
#include <orvex/http_compress.h>

#include <gtest/gtest.h>

#include <functional>
#include <new>
#include <stdexcept>

using testing_support::ExpectedHead;
using testing_support::HttpHandle;
using testing_support::HttpTestServer;
using testing_support::Response;

namespace {

TEST(HttpApi, NullHandles) {
    HTTP_delete(nullptr);
    HTTP_Empty(nullptr);
    HTTP_SetIHTTPCompress(nullptr, nullptr);
    HTTP_SetTimeouts(nullptr, 1, 1);
    HTTP_SetDeadline(nullptr, 1);
    HTTP_SetCompressCallbacks(nullptr, nullptr, nullptr, nullptr, nullptr);
    HTTP_SetVerb(nullptr, 0);
    HTTP_SetContent(nullptr, "x");
    EXPECT_EQ(HTTP_GetBodyBytes_Request(nullptr), 0);
    EXPECT_EQ(HTTP_GetBodyBytes_Response(nullptr), 0);
    EXPECT_EQ(HTTP_GetMilliSeconds(nullptr), 0);
    EXPECT_EQ(HTTP_Request(nullptr, "http://127.0.0.1:1/", nullptr, nullptr), 0);
    EXPECT_STREQ(HTTP_GetLastError(nullptr), "");
    EXPECT_EQ(HTTP_GetResponse(nullptr), nullptr);
    EXPECT_EQ(HTTP_GetResponseBuffer(nullptr), nullptr);
    EXPECT_EQ(HTTP_AttachSoap(nullptr, nullptr), 0);
}

TEST(HttpApi, NewHandleHoldsNothing) {
    HttpHandle h;
    EXPECT_EQ(HTTP_GetResponse(h), nullptr);
    EXPECT_EQ(HTTP_GetResponseContentLength(h), 0);
    EXPECT_STREQ(HTTP_GetLastError(h), "");
    EXPECT_STREQ(HTTP_GetResponseContentType(h), "");
    EXPECT_EQ(HTTP_GetBodyBytes_Request(h), 0);
    EXPECT_EQ(HTTP_GetBodyBytes_Response(h), 0);
    EXPECT_EQ(HTTP_GetMilliSeconds(h), 0);
}

TEST(HttpApi, AttachSoapOnAPlainRequestChangesNothing) {
    HttpHandle h;
    HttpHandle other;
    EXPECT_EQ(HTTP_AttachSoap(h, reinterpret_cast<SOAP_HANDLE>(static_cast<HTTP_HANDLE>(other))), 0);
    EXPECT_EQ(HTTP_AttachSoap(h, nullptr), 0);
    auto* request = reinterpret_cast<CHttpRequest*>(static_cast<HTTP_HANDLE>(h));
    EXPECT_EQ(request->m_nKind, 0);
    EXPECT_EQ(request->m_nVerb, 1);
    EXPECT_STREQ(request->m_strContentType, "text/html");
}

TEST(HttpApi, NullContentKeepsTheBodyAndEmptyClearsIt) {
    auto& server = HttpTestServer::Get();
    HttpHandle h;
    HTTP_SetVerb(h, 0);
    HTTP_SetContent(h, "kept");
    HTTP_SetContent(h, nullptr);
    ASSERT_EQ(HTTP_Request(h, server.Http("/echo").c_str(), nullptr, nullptr), 1) << HTTP_GetLastError(h);
    const std::string type = "Content-Type:text/html; charset=UTF-8";
    EXPECT_EQ(Response(h), ExpectedHead("POST /echo HTTP/1.1", server.HttpPort(), type, 4) + "kept");
    HTTP_SetContent(h, "");
    ASSERT_EQ(HTTP_Request(h, server.Http("/echo").c_str(), nullptr, nullptr), 1) << HTTP_GetLastError(h);
    EXPECT_EQ(Response(h), ExpectedHead("POST /echo HTTP/1.1", server.HttpPort(), type, 0));
}

TEST(HttpApi, EmptyReleasesTheResponseAndTheBody) {
    auto& server = HttpTestServer::Get();
    HttpHandle h;
    HTTP_SetVerb(h, 0);
    HTTP_SetContent(h, "body");
    ASSERT_EQ(HTTP_Request(h, server.Http("/echo").c_str(), nullptr, nullptr), 1) << HTTP_GetLastError(h);
    ASSERT_NE(HTTP_GetResponse(h), nullptr);
    EXPECT_EQ(HTTP_GetResponse(h)[0], 'P');
    HTTP_Empty(h);
    EXPECT_EQ(HTTP_GetResponse(h), nullptr);
    EXPECT_EQ(HTTP_GetResponseContentLength(h), 0);
    ASSERT_EQ(HTTP_Request(h, server.Http("/echo").c_str(), nullptr, nullptr), 1) << HTTP_GetLastError(h);
    EXPECT_EQ(HTTP_GetBodyBytes_Request(h), 0);
}

TEST(HttpApi, ResponseBufferIsTheObjects) {
    auto& server = HttpTestServer::Get();
    HttpHandle h;
    ASSERT_EQ(HTTP_Request(h, server.Http("/status/200?body=abcde").c_str(), nullptr, nullptr), 1);
    CBuffer* buffer = HTTP_GetResponseBuffer(h);
    ASSERT_NE(buffer, nullptr);
    EXPECT_EQ(buffer->GetBuf(), HTTP_GetResponse(h));
    EXPECT_EQ(buffer->GetSize(), 5);
    // The response buffer grows in steps of 1024 bytes.
    EXPECT_EQ(buffer->GetAllocSize(), 1024);
}

// A host's compression object that runs out of memory when asked.
class OutOfMemoryCompress : public IHTTPCompress {
public:
    int IsCompress() override { throw std::bad_alloc(); }
    int Compress(CString*) override { return 0; }
    int Decompress(CBuffer*) override { return 0; }
};

TEST(HttpApi, ExceptionAtTheBoundaryBecomesTheErrorText) {
    auto& server = HttpTestServer::Get();
    HttpHandle h;
    ASSERT_EQ(HTTP_Request(h, server.Http("/status/404").c_str(), nullptr, nullptr), 0);
    OutOfMemoryCompress compress;
    HTTP_SetIHTTPCompress(h, &compress);
    EXPECT_EQ(HTTP_Request(h, server.Http("/echo").c_str(), nullptr, nullptr), 0);
    EXPECT_STREQ(HTTP_GetLastError(h), "Out of memory");
}

TEST(ApiGuard, EveryExceptionBecomesTheFamilysText) {
    struct GuardCase {
        std::function<void()> fail;
        const char* text;
    };
    const GuardCase cases[] = {
        {[] { throw std::bad_alloc(); }, "Out of memory"},
        {[] { throw std::length_error("Buffer too large"); }, "Buffer too large"},
        {[] { throw 42; }, "Unknown exception"},
    };
    for (const GuardCase& c : cases) {
        SCOPED_TRACE(c.text);
        CString text = "older";
        EXPECT_EQ(api::Guard(7, api::ErrorText{&text},
                             [&] {
                                 c.fail();
                                 return 1;
                             }),
                  7);
        EXPECT_STREQ(text, c.text);
        text = "older";
        api::Guard(api::ErrorText{&text}, [&] { c.fail(); });
        EXPECT_STREQ(text, c.text);
        // Nowhere to put it: the failure answer alone.
        EXPECT_EQ(api::Guard(7, api::ErrorText{nullptr},
                             [&] {
                                 c.fail();
                                 return 1;
                             }),
                  7);
    }
    CString text = "older";
    EXPECT_EQ(api::Guard(7, api::ErrorText{&text}, [] { return 1; }), 1);
    EXPECT_STREQ(text, "older");
}

}  // namespace
