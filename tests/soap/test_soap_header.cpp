// Header blocks on the way out, in both dialects and versions, and the
// Header of an answer as a tree.
#include <orvex.h>

#include "http/http_test_server.h"
#include "http/http_test_util.h"

#include <gtest/gtest.h>

#include <string>

using testing_support::HttpTestServer;
using testing_support::Response;

namespace {

const char* const kBlock = "<h:Session xmlns:h=\"urn:orvex:test\">S-1</h:Session>";

// What lies between the envelope's start line and the Body's.
std::string BeforeBody(const std::string& envelope) {
    const size_t start = envelope.find(">\r\n", envelope.find("Envelope ")) + 3;
    const size_t body = envelope.find("Body>");
    const size_t end = envelope.rfind('<', body);
    return envelope.substr(start, end - start);
}

}  // namespace

TEST(SoapHeader, BlocksStandInTheEnvelopesHeaderInEveryDialectAndVersion) {
    const char* const block2 = "<!-- next --><t:Trace xmlns:t=\"urn:t\" t:level=\"2\"/>";
    const struct {
        const char* kind;
        int version;
        const char* prefix;
    } cases[] = {{"dotnet", 11, "soap"},
                 {"dotnet", 12, "soap"},
                 {"apache", 11, "SOAP-ENV"},
                 {"apache", 12, "SOAP-ENV"}};
    for (const auto& c : cases) {
        SOAP_HANDLE message = SOAP_new(c.kind, "Get");
        ASSERT_EQ(SOAP_SetSoapVersion(message, c.version), 1);
        EXPECT_EQ(BeforeBody(SOAP_GetSoap(message)), "") << c.kind << c.version;
        ASSERT_EQ(SOAP_AddHeader(message, kBlock), 1) << SOAP_GetLastError(message);
        ASSERT_EQ(SOAP_AddHeader(message, block2), 1) << SOAP_GetLastError(message);
        const std::string prefix = c.prefix;
        EXPECT_EQ(BeforeBody(SOAP_GetSoap(message)), "<" + prefix + ":Header>\r\n" + kBlock + "\r\n" +
                                                         block2 + "\r\n</" + prefix + ":Header>\r\n")
            << c.kind << c.version;
        SOAP_delete(message);
    }
}

TEST(SoapHeader, BlocksGoWithEveryCallUntilEmpty) {
    const HttpTestServer& server = HttpTestServer::Get();
    SOAP_HANDLE message = SOAP_new("dotnet", "Get");
    HTTP_HANDLE request = HTTP_new(1);
    ASSERT_EQ(HTTP_AttachSoap(request, message), 1);
    ASSERT_EQ(SOAP_AddHeader(message, kBlock), 1);
    for (int call = 0; call < 2; ++call) {
        SOAP_AddElement(message, "id", "int", "7");
        ASSERT_EQ(HTTP_Request(request, server.Http("/echo").c_str(), nullptr, nullptr), 1);
        const std::string echoed = Response(request);
        EXPECT_NE(
            echoed.find(std::string("<soap:Header>\r\n") + kBlock + "\r\n</soap:Header>\r\n<soap:Body>"),
            std::string::npos)
            << call << echoed;
        // The call took the parameters and left the header.
        const std::string after = SOAP_GetSoap(message);
        EXPECT_EQ(after.find("<id>"), std::string::npos);
        EXPECT_NE(after.find(kBlock), std::string::npos);
    }
    SOAP_SetSoap(message, "<e/>");
    EXPECT_NE(std::string(SOAP_GetSoap(message)).find(kBlock), std::string::npos);
    SOAP_Empty(message);
    EXPECT_EQ(BeforeBody(SOAP_GetSoap(message)), "");
    HTTP_delete(request);
    SOAP_delete(message);
}

TEST(SoapHeader, TextsThatAreNoBlockAreRefusedWithTheReason) {
    const struct {
        const char* kind;
        const char* xml;
        const char* reason;  // "" for a block taken
    } cases[] = {
        {"dotnet", "<a><b></a>", "Header block is not well-formed XML: Start-end tags mismatch at offset 8"},
        {"dotnet", "<a/>tail", "Header block holds text outside its elements"},
        {"dotnet", "<![CDATA[x]]><a/>", "Header block holds text outside its elements"},
        {"dotnet", " \r\n <!-- c --> ", "Header block holds no element"},
        {"dotnet", "", "Header block holds no element"},
        {"dotnet", nullptr, "Header block holds no element"},
        {"dotnet", "<?xml version='1.0'?><a/>", "Header block is not well-formed XML: "},
        {"dotnet", "<p:a/>", "Header block is not well-formed XML: "},
        // The envelope's own prefixes are in scope where the block stands.
        {"dotnet", "<a soap:mustUnderstand=\"1\" xsi:type=\"xsd:string\"/>", ""},
        {"apache", "<a SOAP-ENV:mustUnderstand=\"1\"/>", ""},
        {"apache", "<a soap:mustUnderstand=\"1\"/>", "Header block is not well-formed XML: "},
        {"apache", "<a/>\r\n<?pi x?>\r\n<b/>", ""},
    };
    for (const auto& c : cases) {
        SOAP_HANDLE message = SOAP_new(c.kind, "Get");
        const std::string before = SOAP_GetSoap(message);
        const int added = SOAP_AddHeader(message, c.xml);
        const std::string reason = c.reason;
        const std::string label = c.xml != nullptr ? c.xml : "NULL";
        EXPECT_EQ(added, reason.empty() ? 1 : 0) << label;
        EXPECT_EQ(std::string(SOAP_GetLastError(message)).substr(0, reason.size()), reason) << label;
        if (!reason.empty()) {
            EXPECT_EQ(SOAP_GetSoap(message), before) << label;
        }
        SOAP_delete(message);
    }
    EXPECT_EQ(SOAP_AddHeader(nullptr, kBlock), 0);
}

TEST(SoapHeader, TheAnswersHeaderIsATreeTheMessageOwns) {
    SOAP_HANDLE message = SOAP_new("dotnet", "Get");
    EXPECT_EQ(SOAP_GetHeaderTree(message), nullptr);
    SOAP_SetSoap(
        message,
        "<s:Envelope xmlns:s=\"http://www.w3.org/2003/05/soap-envelope\"><s:Header>"
        "<h:Session xmlns:h=\"urn:h\" h:expires=\"60\">S-9</h:Session><h:Hop xmlns:h=\"urn:h\">2</h:Hop>"
        "</s:Header><s:Body><GetResponse><GetResult>1</GetResult></GetResponse></s:Body></s:Envelope>");
    XML_NODE header = SOAP_GetHeaderTree(message);
    ASSERT_NE(header, nullptr) << SOAP_GetLastError(message);
    EXPECT_STREQ(XML_GetName(header), "Header");
    ASSERT_EQ(XML_GetChildren(header), 2);
    XML_NODE session = XML_GetChild(header, 1);
    EXPECT_STREQ(XML_GetName(session), "Session");
    EXPECT_STREQ(XML_GetText(session), "S-9");
    EXPECT_STREQ(XML_GetProperty(session, "expires"), "60");
    EXPECT_STREQ(XML_GetName(XML_GetChild(header, 2)), "Hop");
    EXPECT_EQ(SOAP_GetHeaderTree(message), header);  // built once
    // The body's tree and the header's live side by side.
    XML_NODE body = SOAP_GetXMLTree(message);
    ASSERT_NE(body, nullptr);
    EXPECT_STREQ(XML_GetName(body), "GetResponse");
    EXPECT_STREQ(XML_GetText(XML_GetChild(header, 1)), "S-9");

    SOAP_SetSoap(message, "<Envelope><Body><R>1</R></Body></Envelope>");
    EXPECT_EQ(SOAP_GetHeaderTree(message), nullptr);
    EXPECT_STREQ(SOAP_GetLastError(message), "");
    SOAP_SetSoap(message, "<html><Header/></html>");
    EXPECT_EQ(SOAP_GetHeaderTree(message), nullptr);
    EXPECT_STREQ(SOAP_GetLastError(message),
                 "Not a SOAP response: the root element is <html>, not a SOAP 1.1 or 1.2 Envelope");
    SOAP_SetSoap(message, "<Envelope><Header>");
    EXPECT_EQ(SOAP_GetHeaderTree(message), nullptr);
    EXPECT_STREQ(SOAP_GetLastError(message), "Invalid SOAP XML!");
    EXPECT_EQ(SOAP_GetHeaderTree(nullptr), nullptr);
    SOAP_delete(message);
}
