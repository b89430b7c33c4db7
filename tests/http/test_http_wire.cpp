// What goes on the wire: request line, header text and body bytes, as the
// test server echoes them back.
#include "common/test_support.h"
#include "http/http_request.h"
#include "http/http_test_server.h"
#include "http/http_test_util.h"

#include <orvex.h>
#include <orvex/buffer.h>
#include <orvex/http_compress.h>

#include <gtest/gtest.h>

#include <cctype>
#include <cstring>
#include <stdexcept>

using testing_support::ExpectedHead;
using testing_support::HttpHandle;
using testing_support::HttpTestServer;
using testing_support::Response;
using testing_support::ScopedCodePage;
using testing_support::ScopedEnv;

namespace {

struct ParseCase {
    const char* url;
    int secureBefore;
    int secure;
    const char* host;
    int port;
    const char* object;
};

TEST(HttpParseUrl, SplitsSchemeHostPortAndObject) {
    const ParseCase cases[] = {
        {"  HTTPS://Example.COM:8443/path/x?q=1&r=2  ", 0, 1, "Example.COM", 8443, "path/x?q=1&r=2"},
        {"http://host", 1, 0, "host", 80, ""},
        {"http://host/", 0, 0, "host", 80, ""},
        {"https://host/a/b", 0, 1, "host", 443, "a/b"},
        {"hTtP://host:8080", 1, 0, "host", 8080, ""},
        {"http://host:/x", 0, 0, "host", 80, "x"},
        {"https://host:?q", 0, 1, "host", 443, "?q"},
        {"host:/x", 1, 1, "host", 443, "x"},
        {"http://host:00081/x", 0, 0, "host", 81, "x"},
        {"http://host:65535", 0, 0, "host", 65535, ""},
        {"host/p?x=1#f", 0, 0, "host", 80, "p?x=1#f"},
        {"host/p", 1, 1, "host", 443, "p"},
        {"host:81/p", 1, 1, "host", 81, "p"},
        {"\t http://h/ a b \r\n", 0, 0, "h", 80, " a b"},
        {"http://h:81?x=1", 0, 0, "h", 81, "?x=1"},
        {"http://h?x=1", 0, 0, "h", 80, "?x=1"},
        {"h:82?a/b", 1, 1, "h", 82, "?a/b"},
        {"https://h#f/g", 0, 1, "h", 443, "#f/g"},
        {"http://[::1]:8080/x", 0, 0, "[::1]", 8080, "x"},
        {"https://[fe80::1%25eth0]/y", 0, 1, "[fe80::1%25eth0]", 443, "y"},
        {"[2001:db8::7]?q", 0, 0, "[2001:db8::7]", 80, "?q"},
        {"http://[::1]:/x", 0, 0, "[::1]", 80, "x"},
    };
    for (const ParseCase& c : cases) {
        SCOPED_TRACE(c.url);
        CHttpRequest request;
        request.m_bSecure = c.secureBefore;
        EXPECT_EQ(request.ParseURL(c.url, "user", nullptr), 1);
        EXPECT_EQ(request.m_bSecure, c.secure);
        EXPECT_STREQ(request.m_strHost, c.host);
        EXPECT_EQ(request.m_nPort, c.port);
        EXPECT_STREQ(request.m_strObject, c.object);
        EXPECT_STREQ(request.m_strUser, "user");
        EXPECT_STREQ(request.m_strPassword, "");
    }
}

TEST(HttpParseUrl, CredentialsInTheUrlAreNoPartOfTheHost) {
    CHttpRequest request;
    request.ParseURL("http://bob:p%40ss:w@[::1]:81/x", nullptr, nullptr);
    EXPECT_STREQ(request.m_strHost, "[::1]");
    EXPECT_EQ(request.m_nPort, 81);
    EXPECT_STREQ(request.m_strUser, "bob");
    EXPECT_STREQ(request.m_strPassword, "p@ss:w");
    // Credentials given as arguments win.
    request.ParseURL("http://bob:pw@h/x", "ann", "s3cret");
    EXPECT_STREQ(request.m_strHost, "h");
    EXPECT_STREQ(request.m_strUser, "ann");
    EXPECT_STREQ(request.m_strPassword, "s3cret");
}

// One reading for HTTP_Request and DownloadFile: the same URL is refused by
// both, with the same text, which shows no password.
TEST(HttpParseUrl, JunkAfterThePortOrAnotherSchemeIsRefusedByRequestsAndDownloads) {
    struct RefusalCase {
        const char* url;
        const char* text;
    };
    const RefusalCase cases[] = {
        {"http://h:8080abc/x", "Port \"8080abc\" is not a port number (1-65535): http://h:8080abc/x"},
        {"http://h:8080:9/x", "Port \"8080:9\" is not a port number (1-65535): http://h:8080:9/x"},
        {"HTTPS://ann:s3cret@h:12ab?q=1",
         "Port \"12ab\" is not a port number (1-65535): HTTPS://ann@h:12ab?q=1"},
        {"http://h:0/x", "Port \"0\" is not a port number (1-65535): http://h:0/x"},
        {"http://h:65536/x", "Port \"65536\" is not a port number (1-65535): http://h:65536/x"},
        {"http://h:+80/x", "Port \"+80\" is not a port number (1-65535): http://h:+80/x"},
        {"http://h: 80/x", "Port \" 80\" is not a port number (1-65535): http://h: 80/x"},
        {"http://[::1]x/y", "Bad host \"[::1]x\": http://[::1]x/y"},
        {"http://u:p@[::1/y", "Bad host \"[::1\": http://u@[::1/y"},
    };
    testing_support::TempDir dir;
    const std::string target = dir.Path("t");
    HttpHandle h;
    for (const RefusalCase& c : cases) {
        SCOPED_TRACE(c.url);
        EXPECT_EQ(HTTP_Request(h, c.url, nullptr, nullptr), 0);
        EXPECT_STREQ(HTTP_GetLastError(h), c.text);
        EXPECT_STREQ(DownloadFile(c.url, target.c_str(), 0), c.text);
    }
    EXPECT_TRUE(testing_support::FileNames(dir.path()).empty());
}

TEST(HttpParseUrl, AnotherSchemeIsNoHttpRequest) {
    HttpHandle h;
    EXPECT_EQ(HTTP_Request(h, "ftp://u:pw@h/x", nullptr, nullptr), 0);
    EXPECT_STREQ(HTTP_GetLastError(h), "Unsupported scheme \"ftp\" (only http and https): ftp://u@h/x");
}

// Through a proxy (the test server) the request line names the URL as
// libcurl understood it, so both readings of an empty port show.
TEST(HttpParseUrl, AnEmptyPortIsTheSchemesDefaultForRequestsAndDownloads) {
    auto& server = HttpTestServer::Get();
    ScopedEnv viaProxy("http_proxy", server.Http("").c_str());
    const char* const url = "http://proxied.invalid:/echo";
    const std::string line = "GET http://proxied.invalid/echo HTTP/1.1\r\nHost: proxied.invalid\r\n";
    HttpHandle h;
    ASSERT_EQ(HTTP_Request(h, url, nullptr, nullptr), 1) << HTTP_GetLastError(h);
    EXPECT_EQ(Response(h).substr(0, line.size()), line);
    testing_support::TempDir dir;
    ASSERT_STREQ(DownloadFile(url, dir.Path("t").c_str(), 0), "");
    EXPECT_EQ(testing_support::ReadFile(dir.Path("t")).substr(0, line.size()), line);
}

TEST(HttpParseUrl, NewObjectDefaults) {
    CHttpRequest request;
    EXPECT_EQ(request.m_nKind, 0);
    EXPECT_EQ(request.m_nVerb, 1);
    EXPECT_STREQ(request.m_strContentType, "text/html");
    EXPECT_STREQ(request.m_strCharset, "UTF-8");
    EXPECT_EQ(request.m_nPort, 80);
    EXPECT_EQ(request.m_bSecure, 0);
    EXPECT_EQ(request.m_pCompress, nullptr);
}

TEST(HttpWire, QueryAndCapitalSchemeGoOutAsWritten) {
    auto& server = HttpTestServer::Get();
    HttpHandle h;
    const std::string url = "  HTTP://127.0.0.1:" + std::to_string(server.HttpPort()) + "/echo?a=1&b=%20x  ";
    ASSERT_EQ(HTTP_Request(h, url.c_str(), nullptr, nullptr), 1) << HTTP_GetLastError(h);
    EXPECT_EQ(Response(h), ExpectedHead("GET /echo?a=1&b=%20x HTTP/1.1", server.HttpPort(),
                                        "Content-Type:text/html; charset=UTF-8", -1));
    EXPECT_STREQ(HTTP_GetResponseContentType(h), "application/octet-stream");
}

TEST(HttpWire, QueryWithoutPathGoesToTheRoot) {
    auto& server = HttpTestServer::Get();
    HttpHandle h;
    const std::string url = "http://127.0.0.1:" + std::to_string(server.HttpPort()) + "?a=1";
    ASSERT_EQ(HTTP_Request(h, url.c_str(), nullptr, nullptr), 1) << HTTP_GetLastError(h);
    EXPECT_EQ(Response(h), ExpectedHead("GET /?a=1 HTTP/1.1", server.HttpPort(),
                                        "Content-Type:text/html; charset=UTF-8", -1));
}

TEST(HttpWire, Ipv6LiteralHost) {
    auto& server = HttpTestServer::Get();
    if (server.Http6Port() == 0) GTEST_SKIP() << "no IPv6 loopback on this machine";
    HttpHandle h;
    ASSERT_EQ(HTTP_Request(h, server.Http6("/echo").c_str(), nullptr, nullptr), 1) << HTTP_GetLastError(h);
    const std::string echoed = Response(h);
    EXPECT_EQ(echoed.substr(0, echoed.find("\r\nUser-Agent")),
              "GET /echo HTTP/1.1\r\nHost: [::1]:" + std::to_string(server.Http6Port()));
}

TEST(HttpWire, EachVerbSendsItsMethodAndBody) {
    struct VerbCase {
        int verb;
        const char* method;
    };
    const VerbCase cases[] = {{0, "POST"}, {1, "GET"}, {3, "PUT"}, {4, "LINK"}, {5, "DELETE"}, {6, "UNLINK"}};
    auto& server = HttpTestServer::Get();
    HttpHandle h;
    HTTP_SetContent(h, "abc");
    HTTP_SetContentType(h, "text/plain");
    for (const VerbCase& c : cases) {
        SCOPED_TRACE(c.method);
        HTTP_SetVerb(h, c.verb);
        ASSERT_EQ(HTTP_Request(h, server.Http("/echo").c_str(), nullptr, nullptr), 1) << HTTP_GetLastError(h);
        EXPECT_EQ(Response(h), ExpectedHead(std::string(c.method) + " /echo HTTP/1.1", server.HttpPort(),
                                            "Content-Type:text/plain; charset=UTF-8", 3) +
                                   "abc");
        EXPECT_EQ(HTTP_GetBodyBytes_Request(h), 3);
    }
}

// A handle keeps its settings from one request to the next like it: each
// repeat still sends its own body, and a change of verb or body brings no
// leftover of the one before.
TEST(HttpWire, RepeatedRequestsOnOneHandleSendEachTheirOwnBody) {
    struct Step {
        int verb;
        const char* content;
        const char* method;
        int length;  // -1: no Content-Length
    };
    const Step steps[] = {{0, "abc", "POST", 3},  {0, "defgh", "POST", 5}, {0, "", "POST", 0},
                          {1, "", "GET", -1},     {1, "", "GET", -1},      {3, "put me", "PUT", 6},
                          {3, "again", "PUT", 5}, {1, "", "GET", -1},      {5, "", "DELETE", 0},
                          {0, "last", "POST", 4}};
    auto& server = HttpTestServer::Get();
    HttpHandle h;
    HTTP_SetContentType(h, "text/plain");
    for (const Step& step : steps) {
        SCOPED_TRACE(std::string(step.method) + " " + step.content);
        HTTP_SetVerb(h, step.verb);
        HTTP_SetContent(h, step.content);
        ASSERT_EQ(HTTP_Request(h, server.Http("/echo").c_str(), nullptr, nullptr), 1) << HTTP_GetLastError(h);
        EXPECT_EQ(Response(h), ExpectedHead(std::string(step.method) + " /echo HTTP/1.1", server.HttpPort(),
                                            "Content-Type:text/plain; charset=UTF-8", step.length) +
                                   step.content);
    }
}

// A URL used again, after a redirect or another URL, still names where the request goes.
TEST(HttpWire, RepeatedRequestsOnOneHandleGoEachToTheirOwnUrl) {
    struct Step {
        const char* path;
        const char* requestLine;  // as the last hop's server receives it
    };
    const Step steps[] = {{"/echo?a", "GET /echo?a HTTP/1.1"},
                          {"/echo?a", "GET /echo?a HTTP/1.1"},
                          {"/redirect/302?to=%2Fecho%3Fb", "GET /echo?b HTTP/1.1"},
                          {"/echo?a", "GET /echo?a HTTP/1.1"},
                          {"/redirect/302?to=%2Fecho%3Fb", "GET /echo?b HTTP/1.1"},
                          {"/redirect/302?to=%2Fecho%3Fb", "GET /echo?b HTTP/1.1"},
                          {"/echo?c", "GET /echo?c HTTP/1.1"}};
    auto& server = HttpTestServer::Get();
    HttpHandle h;
    for (const Step& step : steps) {
        SCOPED_TRACE(step.path);
        ASSERT_EQ(HTTP_Request(h, server.Http(step.path).c_str(), nullptr, nullptr), 1)
            << HTTP_GetLastError(h);
        EXPECT_EQ(Response(h), ExpectedHead(step.requestLine, server.HttpPort(),
                                            "Content-Type:text/html; charset=UTF-8", -1));
    }
}

TEST(HttpWire, UnknownVerbNumberCannotOpen) {
    auto& server = HttpTestServer::Get();
    HttpHandle h;
    for (int verb : {7, -1}) {
        HTTP_SetVerb(h, verb);
        EXPECT_EQ(HTTP_Request(h, server.Http("/echo?x").c_str(), nullptr, nullptr), 0);
        EXPECT_STREQ(HTTP_GetLastError(h), "Can't open echo?x");
    }
}

TEST(HttpWire, HeadReadsNoBody) {
    auto& server = HttpTestServer::Get();
    HttpHandle h;
    HTTP_SetVerb(h, 2);
    HTTP_SetContent(h, "ignored");
    ASSERT_EQ(HTTP_Request(h, server.Http("/bytes/5000").c_str(), nullptr, nullptr), 1)
        << HTTP_GetLastError(h);
    EXPECT_EQ(HTTP_GetResponseContentLength(h), 0);
    EXPECT_EQ(HTTP_GetBodyBytes_Response(h), 0);
    EXPECT_EQ(HTTP_GetBodyBytes_Request(h), 0);
}

TEST(HttpWire, EmptyBody) {
    auto& server = HttpTestServer::Get();
    HttpHandle h;
    HTTP_SetVerb(h, 0);
    ASSERT_EQ(HTTP_Request(h, server.Http("/echo").c_str(), nullptr, nullptr), 1) << HTTP_GetLastError(h);
    EXPECT_EQ(Response(h), ExpectedHead("POST /echo HTTP/1.1", server.HttpPort(),
                                        "Content-Type:text/html; charset=UTF-8", 0));
    EXPECT_EQ(HTTP_GetBodyBytes_Request(h), 0);

    HTTP_SetVerb(h, 1);
    ASSERT_EQ(HTTP_Request(h, server.Http("/echo").c_str(), nullptr, nullptr), 1) << HTTP_GetLastError(h);
    EXPECT_EQ(Response(h), ExpectedHead("GET /echo HTTP/1.1", server.HttpPort(),
                                        "Content-Type:text/html; charset=UTF-8", -1));
    EXPECT_EQ(HTTP_GetBodyBytes_Request(h), 0);
}

struct CharsetCase {
    const char* codePage;
    const char* contentType;
    const char* charset;
    const char* content;
    std::string body;
};

TEST(HttpWire, BodyBytesFollowContentTypeAndCharset) {
    const CharsetCase cases[] = {
        {"CP1252", "TEXT/xml", "utf-8", "\xE9t\xE9", "\xC3\xA9t\xC3\xA9"},
        {"CP1252", "textual/x", "UTF-8", "\x80", "\xE2\x82\xAC"},
        {"UTF-8", "text/plain", "UTF-8", "caf\xC3\xA9", "caf\xC3\xA9"},
        {"CP1252", "text/plain", "UTF-16", "A\xE9", std::string("A\0\xE9\0", 4)},
        {"UTF-8", "Text/plain", "utf-16", "\xE2\x82\xAC", "\xAC\x20"},
        {"CP1252", "application/octet-stream", "UTF-8", "\xE9\x01", "\xE9\x01"},
        {"CP1252", "text/plain", "ISO-8859-1", "\xE9", "\xE9"},
        {"CP1252", "tex", "UTF-8", "\xE9", "\xE9"},
    };
    auto& server = HttpTestServer::Get();
    for (const CharsetCase& c : cases) {
        SCOPED_TRACE(std::string(c.codePage) + " " + c.contentType + " " + c.charset);
        ScopedCodePage page(c.codePage);
        HttpHandle h;
        HTTP_SetVerb(h, 0);
        HTTP_SetContentType(h, c.contentType);
        HTTP_SetCharset(h, c.charset);
        HTTP_SetContent(h, c.content);
        ASSERT_EQ(HTTP_Request(h, server.Http("/echo").c_str(), nullptr, nullptr), 1) << HTTP_GetLastError(h);
        const std::string header = std::string("Content-Type:") + c.contentType + "; charset=" + c.charset;
        EXPECT_EQ(Response(h), ExpectedHead("POST /echo HTTP/1.1", server.HttpPort(), header,
                                            static_cast<int>(c.body.size())) +
                                   c.body);
        EXPECT_EQ(HTTP_GetBodyBytes_Request(h), static_cast<int>(c.body.size()));
    }
}

TEST(HttpWire, HttpsTakesTheSamePath) {
    auto& server = HttpTestServer::Get();
    ScopedEnv ca("ORVEX_CA_BUNDLE", server.CaFile().c_str());
    ScopedCodePage page("CP1252");
    HttpHandle h;
    HTTP_SetVerb(h, 0);
    HTTP_SetContentType(h, "text/xml");
    HTTP_SetContent(h, "<a>\xE9</a>");
    ASSERT_EQ(HTTP_Request(h, server.Https("/echo").c_str(), nullptr, nullptr), 1) << HTTP_GetLastError(h);
    EXPECT_EQ(Response(h), ExpectedHead("POST /echo HTTP/1.1", server.HttpsPort(),
                                        "Content-Type:text/xml; charset=UTF-8", 9) +
                               "<a>\xC3\xA9</a>");
    EXPECT_EQ(HTTP_GetBodyBytes_Request(h), 9);
}

TEST(HttpWire, UrlWithoutSchemeKeepsThePreviousOne) {
    auto& server = HttpTestServer::Get();
    ScopedEnv ca("ORVEX_CA_BUNDLE", server.CaFile().c_str());
    const std::string tlsNoScheme = "127.0.0.1:" + std::to_string(server.HttpsPort()) + "/echo";
    HttpHandle h;
    ASSERT_EQ(HTTP_Request(h, server.Https("/status/200").c_str(), nullptr, nullptr), 1)
        << HTTP_GetLastError(h);
    // The TLS port speaks only TLS, so an answer proves the scheme.
    ASSERT_EQ(HTTP_Request(h, tlsNoScheme.c_str(), nullptr, nullptr), 1) << HTTP_GetLastError(h);
    EXPECT_EQ(Response(h).substr(0, 20), "GET /echo HTTP/1.1\r\n");

    HttpHandle fresh;
    const std::string plainNoScheme = "127.0.0.1:" + std::to_string(server.HttpPort()) + "/echo";
    ASSERT_EQ(HTTP_Request(fresh, plainNoScheme.c_str(), nullptr, nullptr), 1) << HTTP_GetLastError(fresh);
    EXPECT_EQ(Response(fresh).substr(0, 20), "GET /echo HTTP/1.1\r\n");
}

// Reverses the body and marks it; decompression upper-cases the response.
class ReversingCompress : public IHTTPCompress {
public:
    int IsCompress() override {
        ++m_nAsked;
        return m_bOn ? 1 : 0;
    }
    int Compress(CString* content) override {
        std::string s = content->str();
        *content = CString(std::string("Z:") + std::string(s.rbegin(), s.rend()));
        return 1;
    }
    int Decompress(CBuffer* response) override {
        ++m_nDecompressed;
        std::string s(reinterpret_cast<char*>(response->GetBuf()), static_cast<size_t>(response->GetSize()));
        for (char& ch : s) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
        s += "!";
        response->SetBuf(reinterpret_cast<unsigned char*>(s.data()), static_cast<int>(s.size()));
        return 1;
    }
    bool m_bOn = true;
    int m_nAsked = 0;
    int m_nDecompressed = 0;
};

TEST(HttpWire, CompressionReplacesHeaderAndBody) {
    auto& server = HttpTestServer::Get();
    HttpHandle h;
    ReversingCompress compress;
    HTTP_SetIHTTPCompress(h, &compress);
    HTTP_SetVerb(h, 0);
    HTTP_SetContentType(h, "application/json");
    HTTP_SetCharset(h, "UTF-16");
    HTTP_SetContent(h, "abc");
    ASSERT_EQ(HTTP_Request(h, server.Http("/echo").c_str(), nullptr, nullptr), 1) << HTTP_GetLastError(h);
    std::string expected =
        ExpectedHead("POST /echo HTTP/1.1", server.HttpPort(), "Content-Type:text/HTML; charset=ansi", 5) +
        "Z:cba";
    std::string upper = expected;
    for (char& ch : upper) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    EXPECT_EQ(Response(h), upper + "!");
    EXPECT_EQ(compress.m_nAsked, 2);
    EXPECT_EQ(compress.m_nDecompressed, 1);
    EXPECT_EQ(HTTP_GetBodyBytes_Request(h), 5);
    EXPECT_EQ(HTTP_GetBodyBytes_Response(h), static_cast<int>(expected.size()));
    EXPECT_EQ(HTTP_GetResponseContentLength(h), static_cast<int>(expected.size()) + 1);

    // A failed request keeps its bytes as they came.
    ASSERT_EQ(HTTP_Request(h, server.Http("/status/404").c_str(), nullptr, nullptr), 0);
    EXPECT_EQ(Response(h), "status 404");
    EXPECT_EQ(compress.m_nDecompressed, 1);

    compress.m_bOn = false;
    HTTP_SetContentType(h, "text/plain");
    HTTP_SetCharset(h, "x");
    ASSERT_EQ(HTTP_Request(h, server.Http("/echo").c_str(), nullptr, nullptr), 1) << HTTP_GetLastError(h);
    // Decompression follows the object's presence, not IsCompress().
    EXPECT_NE(Response(h).find("CONTENT-TYPE:TEXT/PLAIN; CHARSET=X\r\n"), std::string::npos);

    HTTP_SetIHTTPCompress(h, nullptr);
    compress.m_nAsked = 0;
    ASSERT_EQ(HTTP_Request(h, server.Http("/echo").c_str(), nullptr, nullptr), 1) << HTTP_GetLastError(h);
    EXPECT_EQ(compress.m_nAsked, 0);
}

TEST(HttpWire, CompressionLeavesTheBodyAsSet) {
    auto& server = HttpTestServer::Get();
    HttpHandle h;
    ReversingCompress compress;
    HTTP_SetIHTTPCompress(h, &compress);
    HTTP_SetVerb(h, 0);
    HTTP_SetContent(h, "abc");
    for (int i = 0; i < 2; ++i) {
        ASSERT_EQ(HTTP_Request(h, server.Http("/echo").c_str(), nullptr, nullptr), 1) << HTTP_GetLastError(h);
        EXPECT_EQ(Response(h).substr(Response(h).size() - 10), "\r\n\r\nZ:CBA!") << "request " << i;
    }
}

// Plain-function compression: the body grows past the first room offered.
int g_nCompressCalls = 0;
int Expand(void* user, const unsigned char* data, int length, unsigned char* out, int capacity) {
    ++g_nCompressCalls;
    const int size = *static_cast<int*>(user);
    if (size <= capacity)
        for (int i = 0; i < size; ++i) out[i] = length > 0 ? data[i % length] : '-';
    return size;
}
int Refuse(void*, const unsigned char*, int, unsigned char*, int) { return -1; }

TEST(HttpWire, CompressCallbacks) {
    auto& server = HttpTestServer::Get();
    HttpHandle h;
    int size = 3000;
    HTTP_SetCompressCallbacks(h, nullptr, Expand, Refuse, &size);
    HTTP_SetVerb(h, 0);
    HTTP_SetContent(h, "ab");
    g_nCompressCalls = 0;
    ASSERT_EQ(HTTP_Request(h, server.Http("/echo").c_str(), nullptr, nullptr), 1) << HTTP_GetLastError(h);
    EXPECT_EQ(g_nCompressCalls, 2);
    std::string body;
    for (int i = 0; i < size; ++i) body += "ab"[i % 2];
    EXPECT_EQ(Response(h), ExpectedHead("POST /echo HTTP/1.1", server.HttpPort(),
                                        "Content-Type:text/HTML; charset=ansi", size) +
                               body);
    EXPECT_EQ(HTTP_GetBodyBytes_Response(h), HTTP_GetResponseContentLength(h));

    HTTP_SetCompressCallbacks(h, nullptr, nullptr, nullptr, nullptr);
    HTTP_SetContent(h, "ab");
    ASSERT_EQ(HTTP_Request(h, server.Http("/echo").c_str(), nullptr, nullptr), 1) << HTTP_GetLastError(h);
    EXPECT_EQ(Response(h), ExpectedHead("POST /echo HTTP/1.1", server.HttpPort(),
                                        "Content-Type:text/html; charset=UTF-8", 2) +
                               "ab");
}

class ThrowingCompress : public IHTTPCompress {
public:
    int IsCompress() override { return 1; }
    int Compress(CString* content) override {
        if (m_bThrowOnCompress) throw std::runtime_error("compressor broke");
        return content != nullptr;
    }
    int Decompress(CBuffer*) override { throw 42; }
    bool m_bThrowOnCompress = true;
};

TEST(HttpWire, ThrowingCompressionFailsTheRequestWithAText) {
    auto& server = HttpTestServer::Get();
    HttpHandle h;
    ThrowingCompress compress;
    HTTP_SetIHTTPCompress(h, &compress);
    EXPECT_EQ(HTTP_Request(h, server.Http("/echo").c_str(), nullptr, nullptr), 0);
    EXPECT_STREQ(HTTP_GetLastError(h), "compressor broke\r\nPerhaps Internet HTTP Request Error.");
    EXPECT_EQ(HTTP_GetResponseContentLength(h), 0);

    compress.m_bThrowOnCompress = false;
    EXPECT_EQ(HTTP_Request(h, server.Http("/echo").c_str(), nullptr, nullptr), 0);
    EXPECT_STREQ(HTTP_GetLastError(h), "Decompress failed: unknown exception");
}

}  // namespace
