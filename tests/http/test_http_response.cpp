// What a request keeps of its final response besides the body: the status
// and the headers, against the local test server.
#include "http/http_test_server.h"
#include "http/http_test_util.h"

#include <orvex.h>

#include <gtest/gtest.h>

#include <string>

using testing_support::HttpHandle;
using testing_support::HttpTestServer;

namespace {

// The header's value, or "(none)" for NULL, so that a missing header reads plainly in a failure.
std::string Header(HTTP_HANDLE h, const char* name) {
    const char* value = HTTP_GetResponseHeader(h, name);
    return value != nullptr ? value : "(none)";
}

TEST(HttpResponse, StatusIsTheFinalResponses) {
    struct StatusCase {
        const char* path;
        int result;
        int status;
    };
    const StatusCase cases[] = {
        {"/status/200", 1, 200},
        {"/hops/3", 1, 200},
        {"/status/404", 0, 404},
        {"/redirect/302?to=/status/503", 0, 503},
        {"/redirect/307?to=/redirect/301%3Fto%3D/status/201", 0, 201},
    };
    auto& server = HttpTestServer::Get();
    HttpHandle h;
    EXPECT_EQ(HTTP_GetStatusCode(h), 0);
    for (const StatusCase& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(HTTP_Request(h, server.Http(c.path).c_str(), nullptr, nullptr), c.result);
        EXPECT_EQ(HTTP_GetStatusCode(h), c.status);
    }
}

TEST(HttpResponse, HeaderByNameIgnoringCaseFirstValueWins) {
    auto& server = HttpTestServer::Get();
    HttpHandle h;
    const std::string url = server.Http("/headers?X-One=first&X-Two=%20two%20&x-ONE=second&X-Empty=");
    ASSERT_EQ(HTTP_Request(h, url.c_str(), nullptr, nullptr), 1) << HTTP_GetLastError(h);
    EXPECT_EQ(Header(h, "X-One"), "first");
    EXPECT_EQ(Header(h, "x-one"), "first");
    EXPECT_EQ(Header(h, "X-ONE"), "first");
    EXPECT_EQ(Header(h, "X-Two"), "two");
    EXPECT_EQ(Header(h, "X-Empty"), "");
    EXPECT_EQ(Header(h, "Content-Length"), "7");
    EXPECT_EQ(Header(h, "X-Three"), "(none)");
    EXPECT_EQ(Header(h, "X-On"), "(none)");
    EXPECT_EQ(Header(h, ""), "(none)");
    EXPECT_EQ(HTTP_GetResponseHeader(h, nullptr), nullptr);
}

TEST(HttpResponse, HeadersAreTheFinalResponsesOnly) {
    auto& server = HttpTestServer::Get();
    HttpHandle h;
    ASSERT_EQ(HTTP_Request(h, server.Http("/redirect/302?to=/headers%3FX-A%3D1").c_str(), nullptr, nullptr),
              1)
        << HTTP_GetLastError(h);
    EXPECT_EQ(Header(h, "X-A"), "1");
    EXPECT_EQ(Header(h, "Location"), "(none)");
    // A later request's response replaces them all.
    ASSERT_EQ(HTTP_Request(h, server.Http("/headers?X-B=2").c_str(), nullptr, nullptr), 1);
    EXPECT_EQ(Header(h, "X-A"), "(none)");
    EXPECT_EQ(Header(h, "X-B"), "2");
}

TEST(HttpResponse, FailedStatusKeepsItsHeadersNoWholeResponseLeavesNone) {
    auto& server = HttpTestServer::Get();
    HttpHandle h;
    ASSERT_EQ(HTTP_Request(h, server.Http("/status/503?ct=text/x-busy").c_str(), nullptr, nullptr), 0);
    EXPECT_EQ(HTTP_GetStatusCode(h), 503);
    EXPECT_EQ(Header(h, "Content-Type"), "text/x-busy");
    // A body cut short, a refused connection, one redirect too many.
    const std::string failing[] = {server.Http("/cut/100/10"), "http://127.0.0.1:1/x",
                                   server.Http("/hops/11")};
    for (const std::string& url : failing) {
        SCOPED_TRACE(url);
        ASSERT_EQ(HTTP_Request(h, server.Http("/headers?X-A=1").c_str(), nullptr, nullptr), 1);
        ASSERT_EQ(HTTP_GetStatusCode(h), 200);
        EXPECT_EQ(HTTP_Request(h, url.c_str(), nullptr, nullptr), 0);
        EXPECT_EQ(HTTP_GetStatusCode(h), 0);
        EXPECT_EQ(Header(h, "X-A"), "(none)");
        EXPECT_EQ(Header(h, "Content-Type"), "(none)");
    }
}

TEST(HttpResponse, NullHandleOrName) {
    EXPECT_EQ(HTTP_GetStatusCode(nullptr), 0);
    EXPECT_EQ(HTTP_GetResponseHeader(nullptr, "Content-Type"), nullptr);
    HttpHandle h;
    EXPECT_EQ(HTTP_GetResponseHeader(h, nullptr), nullptr);
    EXPECT_EQ(HTTP_GetResponseHeader(h, "Content-Type"), nullptr);
}

}  // namespace
