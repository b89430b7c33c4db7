// SOAP requests on the wire, as the local HTTP server echoes them, and the
// error texts of failed calls.
#include "http/http_test_server.h"
#include "common/test_support.h"
#include "http/http_test_util.h"

#include <orvex.h>
#include <orvex/buffer.h>
#include <orvex/cstring.h>
#include <orvex/http_compress.h>

#include <gtest/gtest.h>

#include <cctype>
#include <string>

using testing_support::HttpTestServer;
using testing_support::Response;

namespace {

class SoapRequest {
public:
    SoapRequest(const char* kind, const char* method)
        : m_message(SOAP_new(kind, method)), m_request(HTTP_new(1)) {
        EXPECT_EQ(HTTP_AttachSoap(m_request, m_message), 1);
    }
    ~SoapRequest() {
        HTTP_delete(m_request);
        SOAP_delete(m_message);
    }
    SoapRequest(const SoapRequest&) = delete;
    SoapRequest& operator=(const SoapRequest&) = delete;
    SOAP_HANDLE message() const { return m_message; }
    HTTP_HANDLE request() const { return m_request; }
    int Send(const std::string& url) { return HTTP_Request(m_request, url.c_str(), nullptr, nullptr); }

private:
    SOAP_HANDLE m_message;
    HTTP_HANDLE m_request;
};

// The header lines of an echoed request, from Content-Type on.
std::string EchoedHeaders(HTTP_HANDLE request) {
    const std::string echoed = Response(request);
    const size_t start = echoed.find("Content-Type:");
    const size_t end = echoed.find("\r\nContent-Length:");
    return start == std::string::npos || end == std::string::npos ? echoed
                                                                  : echoed.substr(start, end - start);
}

std::string EchoedBody(HTTP_HANDLE request) {
    const std::string echoed = Response(request);
    const size_t start = echoed.find("\r\n\r\n");
    return start == std::string::npos ? std::string() : echoed.substr(start + 4);
}

TEST(SoapWire, ActionLinePerDialectAndVersion) {
    const HttpTestServer& server = HttpTestServer::Get();
    const char* const soap11 = "http://schemas.xmlsoap.org/soap/envelope/";
    const char* const soap12 = "http://www.w3.org/2003/05/soap-envelope";
    const struct {
        const char* kind;
        const char* nameSpace;
        int version;
        const char* action;  // set with SOAP_SetAction unless null
        const char* headers;
    } cases[] = {
        {"dotnet", nullptr, 11, nullptr,
         "Content-Type:text/xml; charset=UTF-8\r\nSOAPAction: \"http://tempuri.org/Get\""},
        {"dotnet", "urn:a/b/", 11, nullptr,
         "Content-Type:text/xml; charset=UTF-8\r\nSOAPAction: \"urn:a/b/Get\""},
        {"dotnet", "urn:a", 11, nullptr, "Content-Type:text/xml; charset=UTF-8\r\nSOAPAction: \"urn:a/Get\""},
        {"apache", "urn:a", 11, nullptr, "Content-Type:text/xml; charset=UTF-8\r\nSOAPAction: \"\""},
        {"apache", "urn:a", 11, "urn:a#Get",
         "Content-Type:text/xml; charset=UTF-8\r\nSOAPAction: \"urn:a#Get\""},
        {"dotnet", "urn:a", 12, nullptr,
         "Content-Type:application/soap+xml; charset=UTF-8; action=\"urn:a/Get\""},
        {"dotnet", "urn:a", 12, "urn:other",
         "Content-Type:application/soap+xml; charset=UTF-8; action=\"urn:other\""},
        {"apache", "urn:a", 12, nullptr, "Content-Type:application/soap+xml; charset=UTF-8"},
    };
    for (const auto& c : cases) {
        SoapRequest soap(c.kind, "Get");
        if (c.nameSpace != nullptr) SOAP_SetNameSpace(soap.message(), c.nameSpace);
        ASSERT_EQ(SOAP_SetSoapVersion(soap.message(), c.version), 1);
        if (c.action != nullptr) {
            ASSERT_EQ(SOAP_SetAction(soap.message(), c.action), 1);
        }
        HTTP_SetContent(soap.request(), "replaced by the envelope");
        SOAP_AddElement(soap.message(), "name", "string", "Caf\xc3\xa9 & co");
        const std::string envelope = SOAP_GetSoap(soap.message());
        ASSERT_EQ(soap.Send(server.Http("/echo")), 1) << HTTP_GetLastError(soap.request());
        EXPECT_EQ(EchoedHeaders(soap.request()), c.headers);
        EXPECT_EQ(EchoedBody(soap.request()), envelope);
        EXPECT_NE(envelope.find(">Caf\xc3\xa9 &amp; co</name>"), std::string::npos) << envelope;
        EXPECT_NE(envelope.find(c.version == 12 ? soap12 : soap11), std::string::npos) << envelope;
        EXPECT_EQ(envelope.find(c.version == 12 ? soap11 : soap12), std::string::npos) << envelope;
        // The echo is no SOAP response, but it was stored for reading.
        EXPECT_NE(SOAP_GetSRS(soap.message()), nullptr);
    }
}

TEST(SoapWire, VersionAndActionRefuseWhatCannotBeSent) {
    SoapRequest soap("dotnet", "Get");
    for (const int version : {0, 10, 13, -12}) EXPECT_EQ(SOAP_SetSoapVersion(soap.message(), version), 0);
    for (const char* action : {"a\"b", "a\r\nX-Injected: 1", "a\nb"})
        EXPECT_EQ(SOAP_SetAction(soap.message(), action), 0) << action;
    EXPECT_EQ(SOAP_SetSoapVersion(nullptr, 12), 0);
    EXPECT_EQ(SOAP_SetAction(nullptr, "a"), 0);
    // What was refused changed nothing; NULL restores the derived action.
    ASSERT_EQ(SOAP_SetAction(soap.message(), "urn:set"), 1);
    ASSERT_EQ(SOAP_SetAction(soap.message(), nullptr), 1);
    const HttpTestServer& server = HttpTestServer::Get();
    ASSERT_EQ(soap.Send(server.Http("/echo")), 1) << HTTP_GetLastError(soap.request());
    EXPECT_EQ(EchoedHeaders(soap.request()),
              "Content-Type:text/xml; charset=UTF-8\r\nSOAPAction: \"http://tempuri.org/Get\"");
}

TEST(SoapWire, OverHttpsTheEnvelopeAndActionTravelToo) {
    const HttpTestServer& server = HttpTestServer::Get();
    testing_support::ScopedEnv ca("ORVEX_CA_BUNDLE", server.CaFile().c_str());
    SoapRequest soap("dotnet", "Get");
    ASSERT_EQ(soap.Send(server.Https("/echo")), 1) << HTTP_GetLastError(soap.request());
    EXPECT_EQ(EchoedHeaders(soap.request()),
              "Content-Type:text/xml; charset=UTF-8\r\nSOAPAction: \"http://tempuri.org/Get\"");
    EXPECT_EQ(EchoedBody(soap.request()).substr(0, 38), "<?xml version='1.0' encoding='UTF-8'?>");
}

class Packer : public IHTTPCompress {
public:
    int IsCompress() override { return 1; }
    int Compress(CString* text) override {
        *text = "packed";
        return 1;
    }
    int Decompress(CBuffer* /*buffer*/) override { return 1; }
};

TEST(SoapWire, CompressionKeepsTheActionLine) {
    const HttpTestServer& server = HttpTestServer::Get();
    SoapRequest soap("apache", "Get");
    Packer compress;
    HTTP_SetIHTTPCompress(soap.request(), &compress);
    ASSERT_EQ(soap.Send(server.Http("/echo")), 1) << HTTP_GetLastError(soap.request());
    EXPECT_EQ(EchoedHeaders(soap.request()), "Content-Type:text/HTML; charset=ansi\r\nSOAPAction: \"\"");
    EXPECT_EQ(EchoedBody(soap.request()), "packed");
}

TEST(SoapWire, FailedCallsAppendWhatTheBodySays) {
    const HttpTestServer& server = HttpTestServer::Get();
    const struct {
        const char* path;
        const char* error;
        const char* soapError;
    } cases[] = {
        {"/status/500?body=%3Ce%3AEnvelope%20xmlns%3Ae%3D'urn%3Ae'%3E%3Ce%3ABody%3E%3Ce%3AFault%3E"
         "%3Cfaultcode%3Ee%3AServer%3C%2Ffaultcode%3E%3Cfaultstring%3EBad%3C%2Ffaultstring%3E"
         "%3C%2Fe%3AFault%3E%3C%2Fe%3ABody%3E%3C%2Fe%3AEnvelope%3E",
         "Return Error Code=500(Unknown server error)\r\nReturn Soap Error:\r\nfaultcode = e:Server\r\n"
         "faultstring = Bad",
         "\r\nfaultcode = e:Server\r\nfaultstring = Bad"},
        {"/status/503?body=%3Chtml%3E%3Cbody%3EDown%3Cbr%3E%3C%2Fbody%3E%3C%2Fhtml%3E",
         "Return Error Code=503(Server capacity reached)\r\nReturn Soap Error:Invalid SOAP XML!",
         "Invalid SOAP XML!"},
        {"/status/404?body=", "Return Error Code=404(Requested URL not found)", ""},
        {"/status/500?body=%3Cok%2F%3E", "Return Error Code=500(Unknown server error)", ""},
    };
    for (const auto& c : cases) {
        SoapRequest soap("dotnet", "Get");
        EXPECT_EQ(soap.Send(server.Http(c.path)), 0);
        EXPECT_EQ(std::string(HTTP_GetLastError(soap.request())), c.error) << c.path;
        EXPECT_EQ(std::string(SOAP_GetLastError(soap.message())), c.soapError) << c.path;
    }
}

// The query form of a body for the server's /status route.
std::string Query(const std::string& body) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (const unsigned char c : body) {
        if (std::isalnum(c) != 0) {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 15];
        }
    }
    return out;
}

TEST(SoapWire, OneMessageCalledAgainReadsOnlyItsLastAnswer) {
    const HttpTestServer& server = HttpTestServer::Get();
    auto answer = [](const char* value) {
        return "<s:Envelope xmlns:s='http://schemas.xmlsoap.org/soap/envelope/'><s:Body><r><v>" +
               std::string(value) + "</v></r></s:Body></s:Envelope>";
    };
    const std::string fault =
        "<s:Envelope xmlns:s='http://schemas.xmlsoap.org/soap/envelope/'><s:Body><s:Fault>"
        "<faultcode>s:Server</faultcode><faultstring>Bad</faultstring></s:Fault></s:Body></s:Envelope>";
    const struct {
        std::string path;
        int sent;
        const char* value;  // of the set read afterwards; null for an empty set
        const char* error;
    } calls[] = {
        {"/status/200?body=" + Query(answer("1")), 1, "1", ""},
        // The failed call's answer is its fault: the one before is not read again.
        {"/status/500?body=" + Query(fault), 0, nullptr, "\r\nfaultcode = s:Server\r\nfaultstring = Bad"},
        {"/status/200?body=" + Query(answer("2")), 1, "2", ""},
        {"/echo", 1, nullptr, "Invalid SOAP XML!"},
        {"/status/200?body=" + Query("<html><body>Hello</body></html>"), 1, nullptr,
         "Not a SOAP response: the root element is <html>, not a SOAP 1.1 or 1.2 Envelope"},
        {"/status/200?body=" + Query(answer("3")), 1, "3", ""},
    };
    SoapRequest soap("dotnet", "Get");
    for (const auto& c : calls) {
        ASSERT_EQ(soap.Send(server.Http(c.path)), c.sent) << c.path;
        SRS_HANDLE set = SOAP_GetSRS(soap.message());
        ASSERT_NE(set, nullptr) << c.path;
        if (c.value != nullptr) {
            EXPECT_STREQ(SRS_GetText(set, 1, "v"), c.value) << c.path;
        } else {
            EXPECT_EQ(SRS_ColCount(set), 0) << c.path;
            EXPECT_EQ(SOAP_GetXMLTree(soap.message()), nullptr) << c.path;
        }
        EXPECT_STREQ(SOAP_GetLastError(soap.message()), c.error) << c.path;
    }
}

// A call that ends before its whole answer arrives failed for that reason
// alone: what arrived is no answer, even when it reads as a whole envelope.
TEST(SoapWire, ACallCutOffMidBodyFailsForThatReasonAndReadsNothing) {
    const HttpTestServer& server = HttpTestServer::Get();
    const std::string table =
        "<s:Envelope xmlns:s='http://schemas.xmlsoap.org/soap/envelope/'><s:Body><r><v>part</v></r>"
        "</s:Body></s:Envelope>";
    const std::string fault =
        "<s:Envelope xmlns:s='http://schemas.xmlsoap.org/soap/envelope/'><s:Body><s:Fault>"
        "<faultcode>s:Server</faultcode><faultstring>Bad</faultstring></s:Fault></s:Body></s:Envelope>";
    const char* const stall = "Operation too slow. Less than 1 bytes/sec transferred the last 1 seconds";
    const std::string tablePart = server.Http("/part/200/5?body=" + Query(table));
    const std::string faultPart = server.Http("/part/500/5?body=" + Query(fault));
    const struct {
        std::string url;
        int deadline;  // 0: a stall limit of 1 s instead
        std::string error;
    } cases[] = {
        {tablePart, 1, "Request deadline of 1 second reached (" + tablePart + ")"},
        {faultPart, 1, "Request deadline of 1 second reached (" + faultPart + ")"},
        // libcurl takes a stall from its average speed over the last five
        // seconds, the envelope sent included: the wait must outlast that.
        {server.Http("/part/200/12?body=" + Query(table)), 0, stall},
        {server.Http("/cut/100/10"), 0, "transfer closed with 90 bytes remaining to read"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.url);
        SoapRequest soap("dotnet", "Get");
        // An earlier answer is not read as this call's either.
        ASSERT_EQ(soap.Send(server.Http("/status/200?body=" + Query(table))), 1);
        if (c.deadline > 0)
            HTTP_SetDeadline(soap.request(), c.deadline);
        else
            HTTP_SetTimeouts(soap.request(), 5, 1);
        EXPECT_EQ(soap.Send(c.url), 0);
        EXPECT_EQ(std::string(HTTP_GetLastError(soap.request())), c.error);
        EXPECT_EQ(std::string(SOAP_GetLastError(soap.message())), c.error);
        SRS_HANDLE set = SOAP_GetSRS(soap.message());
        ASSERT_NE(set, nullptr);
        EXPECT_EQ(SRS_RowCount(set), 0);
        EXPECT_EQ(SRS_ColCount(set), 0);
        EXPECT_EQ(SOAP_GetXMLTree(soap.message()), nullptr);
        EXPECT_EQ(std::string(SOAP_GetLastError(soap.message())), c.error);
    }
}

TEST(SoapWire, AttachingAndDetaching) {
    const HttpTestServer& server = HttpTestServer::Get();
    HTTP_HANDLE plain = HTTP_new(0);
    SOAP_HANDLE message = SOAP_new("dotnet", "M");
    EXPECT_EQ(HTTP_AttachSoap(plain, message), 0);

    HTTP_HANDLE soap = HTTP_new(1);
    EXPECT_EQ(HTTP_AttachSoap(soap, message), 1);
    ASSERT_EQ(HTTP_Request(soap, server.Http("/echo").c_str(), nullptr, nullptr), 1);
    const std::string before = Response(soap);
    EXPECT_EQ(HTTP_AttachSoap(soap, nullptr), 1);
    EXPECT_EQ(HTTP_Request(soap, server.Http("/echo").c_str(), nullptr, nullptr), 0);
    EXPECT_STREQ(HTTP_GetLastError(soap), "Soap object not set");
    EXPECT_EQ(Response(soap), before);  // nothing was exchanged
    // A handle that is no message is refused and the old state stays.
    EXPECT_EQ(HTTP_AttachSoap(soap, reinterpret_cast<SOAP_HANDLE>(plain)), 0);
    EXPECT_EQ(HTTP_Request(soap, server.Http("/echo").c_str(), nullptr, nullptr), 0);

    HTTP_delete(soap);
    HTTP_delete(plain);
    SOAP_delete(message);
}

}  // namespace
