// WSDL descriptions read from the sample service, from files that import
// one another, and the ones refused.
#include "common/test_support.h"
#include "http/http_test_server.h"
#include "soap/asmx_test_service.h"
#include "soap/soap_test_service.h"

#include "wsdl/wsdl_fetch.h"

#include <orvex.h>

#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <string>
#include <tuple>
#include <vector>

namespace {

using testing_support::AsmxTestService;
using testing_support::HttpTestServer;
using testing_support::SoapTestService;
using testing_support::TempDir;
using testing_support::WriteFile;

// The operations as rows of texts, column by column.
std::vector<std::vector<std::string>> Rows(WSDL_HANDLE wsdl) {
    std::vector<std::vector<std::string>> rows;
    SRS_HANDLE set = WSDL_GetOperations(wsdl);
    if (set == nullptr) return rows;
    for (int r = 1; r <= SRS_RowCount(set); ++r) {
        std::vector<std::string> row;
        for (int c = 1; c <= SRS_ColCount(set); ++c) row.emplace_back(SRS_GetTextAt(set, r, c));
        rows.push_back(row);
    }
    return rows;
}

TEST(Wsdl, TheSampleServiceInBothSoapVersions) {
    const std::string base = SoapTestService::Get().Url();
    for (const auto& [path, version] : {std::pair<std::string, std::string>{"", "1.1"}, {"soap12", "1.2"}}) {
        WSDL_HANDLE wsdl = WSDL_new((base + path + "?wsdl").c_str(), 0);
        ASSERT_STREQ(WSDL_GetLastError(wsdl), "");
        SRS_HANDLE set = WSDL_GetOperations(wsdl);
        const char* const columns[] = {"Service",   "Port",   "SoapVersion", "Style", "Use",
                                       "Operation", "Action", "Endpoint",    "Input", "Output"};
        ASSERT_EQ(SRS_ColCount(set), 10);
        for (int c = 0; c < 10; ++c) EXPECT_STREQ(SRS_GetColName(set, c + 1), columns[c]);
        const auto rows = Rows(wsdl);
        ASSERT_EQ(rows.size(), 8u);
        const std::vector<std::string> add = {"SampleService",
                                              "Application",
                                              version,
                                              "document",
                                              "literal",
                                              "Add",
                                              "Add",
                                              base + path,
                                              "a integer?, b integer?",
                                              "AddResult integer?"};
        EXPECT_EQ(rows[0], add);
        EXPECT_EQ(rows[4][5], "GetOrders");
        EXPECT_EQ(rows[4][9], "GetOrdersResult OrderArray?");
        EXPECT_STREQ(WSDL_GetEndpoint(wsdl, "Add", nullptr), (base + path).c_str());
        EXPECT_STREQ(WSDL_GetEndpoint(wsdl, "Add", "Application"), (base + path).c_str());
        EXPECT_EQ(WSDL_GetEndpoint(wsdl, "NoSuch", nullptr), nullptr);
        EXPECT_EQ(WSDL_GetEndpoint(wsdl, "Add", "NoSuchPort"), nullptr);
        WSDL_delete(wsdl);
    }
}

// A call made from the description, its parameters added out of order and untyped.
TEST(Wsdl, CallsFromTheDescriptionAreTypedOrderedAndChecked) {
    const std::string base = SoapTestService::Get().Url();
    for (const std::string path : {"", "soap12"}) {
        WSDL_HANDLE wsdl = WSDL_new((base + path + "?wsdl").c_str(), 0);
        ASSERT_STREQ(WSDL_GetLastError(wsdl), "");
        HTTP_HANDLE request = HTTP_new(1);
        SOAP_HANDLE add = WSDL_NewCall(wsdl, "Add", nullptr);
        ASSERT_NE(add, nullptr);
        SOAP_AddElement(add, "b", nullptr, " 40 ");
        SOAP_AddElement(add, "a", "", "2");
        const std::string envelope = SOAP_GetSoap(add);
        EXPECT_LT(envelope.find("<a>2</a>"), envelope.find("<b>40</b>")) << envelope;
        HTTP_AttachSoap(request, add);
        ASSERT_EQ(HTTP_Request(request, WSDL_GetEndpoint(wsdl, "Add", nullptr), nullptr, nullptr), 1)
            << HTTP_GetLastError(request);
        SRS_HANDLE sum = SOAP_GetSRS(add);
        EXPECT_EQ(SRS_GetInt(sum, 1, ""), 42);
        EXPECT_STREQ(SRS_GetColTypeName(sum, 1), "integer");

        // Columns of a table take their fields' types.
        SOAP_HANDLE orders = WSDL_NewCall(wsdl, "GetOrders", nullptr);
        SOAP_AddElement(orders, "customer", nullptr, "ACME");
        HTTP_AttachSoap(request, orders);
        ASSERT_EQ(HTTP_Request(request, WSDL_GetEndpoint(wsdl, "GetOrders", nullptr), nullptr, nullptr), 1)
            << HTTP_GetLastError(request);
        SRS_HANDLE table = SOAP_GetSRS(orders);
        ASSERT_EQ(SRS_RowCount(table), 2);
        const char* const types[] = {"integer", "string", "double", "boolean", "dateTime", "string"};
        for (int c = 0; c < 6; ++c) EXPECT_STREQ(SRS_GetColTypeName(table, c + 1), types[c]) << c;

        // Nothing is sent for what the description does not allow.
        const struct {
            const char* name;
            const char* value;
            const char* error;
        } misfits[] = {
            {"c", "1", "Add has no part c"},
            {"a", "2x", "Add: part a is integer, which \"2x\" is not"},
        };
        for (const auto& m : misfits) {
            SOAP_HANDLE wrong = WSDL_NewCall(wsdl, "Add", nullptr);
            SOAP_AddElement(wrong, m.name, nullptr, m.value);
            HTTP_AttachSoap(request, wrong);
            EXPECT_EQ(HTTP_Request(request, WSDL_GetEndpoint(wsdl, "Add", nullptr), nullptr, nullptr), 0);
            EXPECT_STREQ(HTTP_GetLastError(request), m.error);
            EXPECT_STREQ(SOAP_GetLastError(wrong), m.error);
            EXPECT_EQ(HTTP_GetStatusCode(request), 0);
            HTTP_AttachSoap(request, nullptr);
            SOAP_delete(wrong);
        }
        EXPECT_EQ(WSDL_NewCall(wsdl, "NoSuch", nullptr), nullptr);
        HTTP_delete(request);
        SOAP_delete(add);
        SOAP_delete(orders);
        WSDL_delete(wsdl);
    }
}

// A .NET service lists each operation under its SOAP 1.1 port and again
// under its SOAP 1.2 one, and answers calls made through either, typed.
TEST(Wsdl, ADotNetServiceThroughBothSoapPorts) {
    AsmxTestService& asmx = AsmxTestService::Get();
    if (!asmx.Running()) GTEST_SKIP() << asmx.Missing();
    const std::string endpoint = asmx.Url() + "Service.asmx";
    WSDL_HANDLE wsdl = WSDL_new((endpoint + "?WSDL").c_str(), 0);
    ASSERT_STREQ(WSDL_GetLastError(wsdl), "");
    const auto rows = Rows(wsdl);
    ASSERT_EQ(rows.size(), 16u);
    HTTP_HANDLE request = HTTP_new(1);
    for (const auto& [first, port, version, envelope] :
         {std::tuple<size_t, std::string, std::string, std::string>{
              0, "ServiceSoap", "1.1", "http://schemas.xmlsoap.org/soap/envelope/"},
          {8, "ServiceSoap12", "1.2", "http://www.w3.org/2003/05/soap-envelope"}}) {
        const std::vector<std::string> add = {"Service",
                                              port,
                                              version,
                                              "document",
                                              "literal",
                                              "Add",
                                              "http://orvex.test/asmx/Add",
                                              endpoint,
                                              "a int, b int",
                                              "AddResult int"};
        EXPECT_EQ(rows[first], add);

        SOAP_HANDLE call = WSDL_NewCall(wsdl, "GetOrders", port.c_str());
        ASSERT_NE(call, nullptr);
        SOAP_AddElement(call, "customer", nullptr, "ACME");
        EXPECT_NE(std::string(SOAP_GetSoap(call)).find(envelope), std::string::npos) << port;
        HTTP_AttachSoap(request, call);
        ASSERT_EQ(HTTP_Request(request, WSDL_GetEndpoint(wsdl, "GetOrders", port.c_str()), nullptr, nullptr),
                  1)
            << HTTP_GetLastError(request);
        SRS_HANDLE orders = SOAP_GetSRS(call);
        ASSERT_EQ(SRS_RowCount(orders), 2) << port;
        const char* const types[] = {"int", "string", "decimal", "boolean", "dateTime", "string"};
        for (int c = 0; c < 6; ++c) EXPECT_STREQ(SRS_GetColTypeName(orders, c + 1), types[c]) << port << c;
        EXPECT_EQ(SRS_GetInt(orders, 2, "Id"), 2);
        EXPECT_STREQ(SRS_GetText(orders, 1, "Amount"), "12.50");
        HTTP_AttachSoap(request, nullptr);
        SOAP_delete(call);
    }
    HTTP_delete(request);
    WSDL_delete(wsdl);
}

const char kMain[] = R"(<?xml version="1.0"?>
<definitions xmlns="http://schemas.xmlsoap.org/wsdl/" xmlns:soap="http://schemas.xmlsoap.org/wsdl/soap/"
    xmlns:xs="http://www.w3.org/2001/XMLSchema" xmlns:t="urn:t" targetNamespace="urn:t">
  <types><xs:schema targetNamespace="urn:wrap"><xs:import namespace="urn:t" schemaLocation="sub/types.xsd"/></xs:schema></types>
  <message name="PutIn"><part name="items" type="t:ItemArray"/><part name="code" type="t:Code"/><part name="blob" type="t:Missing"/></message>
  <message name="PutOut"><part name="count" type="xs:int"/></message>
  <portType name="P"><operation name="Put"><input message="t:PutIn"/><output message="t:PutOut"/></operation></portType>
  <binding name="B" type="t:P"><soap:binding style="rpc" transport="http://schemas.xmlsoap.org/soap/http"/>
    <operation name="Put"><soap:operation soapAction="urn:t#Put"/>
      <input><soap:body use="encoded" namespace="urn:t" encodingStyle="http://schemas.xmlsoap.org/soap/encoding/"/></input>
      <output><soap:body use="encoded"/></output></operation></binding>
</definitions>)";

const char kTypes[] = R"(<xs:schema xmlns:xs="http://www.w3.org/2001/XMLSchema" targetNamespace="urn:t">
  <xs:include schemaLocation="more.xsd"/>
  <xs:simpleType name="Code"><xs:restriction base="xs:string"><xs:maxLength value="8"/></xs:restriction></xs:simpleType>
</xs:schema>)";

// Included back by types.xsd's include: read once, the cycle ends there.
const char kMore[] = R"(<xs:schema xmlns:xs="http://www.w3.org/2001/XMLSchema"
    xmlns:soapenc="http://schemas.xmlsoap.org/soap/encoding/" xmlns:wsdl="http://schemas.xmlsoap.org/wsdl/"
    xmlns:t="urn:t">
  <xs:include schemaLocation="types.xsd"/>
  <xs:complexType name="Item"><xs:sequence><xs:element name="id" type="xs:int"/></xs:sequence></xs:complexType>
  <xs:complexType name="ItemArray"><xs:complexContent><xs:restriction base="soapenc:Array">
    <xs:attribute ref="soapenc:arrayType" wsdl:arrayType="t:Item[]"/></xs:restriction></xs:complexContent></xs:complexType>
</xs:schema>)";

TEST(Wsdl, ImportsAndIncludesFromFilesAndTheirTypes) {
    TempDir dir;
    mkdir(dir.Path("sub").c_str(), 0700);
    WriteFile(dir.Path("main.wsdl"), kMain);
    WriteFile(dir.Path("sub/types.xsd"), kTypes);
    WriteFile(dir.Path("sub/more.xsd"), kMore);
    for (const std::string& location : {dir.Path("main.wsdl"), "file://" + dir.Path("main.wsdl")}) {
        WSDL_HANDLE wsdl = WSDL_new(location.c_str(), 0);
        ASSERT_STREQ(WSDL_GetLastError(wsdl), "") << location;
        const auto rows = Rows(wsdl);
        ASSERT_EQ(rows.size(), 1u);
        // No service: the binding's operations, without a port or an address.
        const std::vector<std::string> put = {"",          "",        "1.1",
                                              "rpc",       "encoded", "Put",
                                              "urn:t#Put", "",        "items Item[], code string, blob xml",
                                              "count int"};
        EXPECT_EQ(rows[0], put);
        EXPECT_STREQ(WSDL_GetEndpoint(wsdl, "Put", nullptr), "");
        // An rpc/encoded call: the Apache dialect, in the body's namespace, every part required.
        SOAP_HANDLE call = WSDL_NewCall(wsdl, "Put", nullptr);
        SOAP_AddElement(call, "code", nullptr, "a<b");
        EXPECT_NE(std::string(SOAP_GetSoap(call)).find("<ns1:Put xmlns:ns1=\"urn:t\""), std::string::npos);
        EXPECT_NE(std::string(SOAP_GetSoap(call)).find(">a&lt;b</code>"), std::string::npos);
        HTTP_HANDLE request = HTTP_new(1);
        HTTP_AttachSoap(request, call);
        EXPECT_EQ(HTTP_Request(request, "http://127.0.0.1:9/", nullptr, nullptr), 0);
        EXPECT_STREQ(HTTP_GetLastError(request), "Put needs its part items");
        HTTP_delete(request);
        SOAP_delete(call);
        WSDL_delete(wsdl);
    }
}

// A one-way operation (an input and no output) is answered by nothing.
TEST(Wsdl, AnOperationWithoutAnOutputAnswersNone) {
    TempDir dir;
    WriteFile(dir.Path("one.wsdl"), R"(<definitions xmlns="http://schemas.xmlsoap.org/wsdl/"
    xmlns:soap="http://schemas.xmlsoap.org/wsdl/soap/" xmlns:xs="http://www.w3.org/2001/XMLSchema"
    xmlns:t="urn:t" targetNamespace="urn:t">
  <types><xs:schema targetNamespace="urn:t"><xs:element name="Notify"><xs:complexType><xs:sequence>
    <xs:element name="text" type="xs:string"/></xs:sequence></xs:complexType></xs:element></xs:schema></types>
  <message name="NotifyIn"><part name="parameters" element="t:Notify"/></message>
  <portType name="P"><operation name="Notify"><input message="t:NotifyIn"/></operation></portType>
  <binding name="B" type="t:P"><soap:binding style="document" transport="http://schemas.xmlsoap.org/soap/http"/>
    <operation name="Notify"><input><soap:body use="literal"/></input></operation></binding>
</definitions>)");
    WSDL_HANDLE wsdl = WSDL_new(dir.Path("one.wsdl").c_str(), 0);
    ASSERT_STREQ(WSDL_GetLastError(wsdl), "");
    EXPECT_STREQ(WSDL_GetOutputShape(wsdl, "Notify", nullptr), "none");
    WSDL_delete(wsdl);
}

// An rpc call writes its parts SOAP-encoded, typed by the description
// (a record set of text columns still says xsd:int where the schema does,
// and an array of one item is still an array), or as plain literal XML.
TEST(Wsdl, RpcPartsAreWrittenAsTheirUseSays) {
    TempDir dir;
    mkdir(dir.Path("sub").c_str(), 0700);
    WriteFile(dir.Path("sub/types.xsd"), kTypes);
    WriteFile(dir.Path("sub/more.xsd"), kMore);
    SRS_HANDLE items = SRS_new("item", "urn:mine", "Mine");
    SRS_AddCol(items, "id", "string");
    SRS_SetText(items, SRS_AddRow(items), "id", "5");
    const struct {
        const char* use;
        std::vector<std::string> present, absent;
    } cases[] = {
        {"encoded",
         {"SOAP-ENV:encodingStyle=", "xmlns:ns2=\"urn:t\" ns3:arrayType=\"ns2:Item[1]\"",
          "<item xsi:type=\"ns2:Item\"><id xsi:type=\"xsd:int\">5</id></item>",
          "<code xsi:type=\"xsd:string\">x</code>"},
         {"urn:mine"}},
        {"literal",
         {"<ns1:Put xmlns:ns1=\"urn:t\">", "<items><item><id>5</id></item></items>", "<code>x</code>"},
         {"encodingStyle", "xsi:type"}},
    };
    for (const auto& c : cases) {
        std::string text = kMain;
        for (size_t at = 0; (at = text.find("use=\"encoded\"", at)) != std::string::npos; at += 5)
            text.replace(at + 5, 7, c.use);
        WriteFile(dir.Path("main.wsdl"), text);
        WSDL_HANDLE wsdl = WSDL_new(dir.Path("main.wsdl").c_str(), 0);
        SOAP_HANDLE call = WSDL_NewCall(wsdl, "Put", nullptr);
        ASSERT_NE(call, nullptr) << WSDL_GetLastError(wsdl);
        SOAP_AddElement(call, "code", nullptr, "x");
        SOAP_AddNodes(call, "items", items);
        const std::string soap = SOAP_GetSoap(call);
        for (const std::string& wanted : c.present)
            EXPECT_NE(soap.find(wanted), std::string::npos) << c.use << wanted << soap;
        for (const std::string& unwanted : c.absent)
            EXPECT_EQ(soap.find(unwanted), std::string::npos) << c.use << unwanted;
        SOAP_delete(call);
        WSDL_delete(wsdl);
    }
    SRS_delete(items);
}

// A URL of the test server answering with `body`.
std::string Serving(const std::string& body) {
    std::string query;
    for (const unsigned char c : body) {
        char escaped[4];
        std::snprintf(escaped, sizeof escaped, "%%%02X", c);
        query += std::isalnum(c) != 0 ? std::string(1, static_cast<char>(c)) : escaped;
    }
    return HttpTestServer::Get().Http("/status/200?ct=text/xml&body=" + query);
}

TEST(Wsdl, WhatIsRefusedSaysWhy) {
    TempDir dir;
    WriteFile(dir.Path("two.wsdl"), "<description xmlns=\"http://www.w3.org/ns/wsdl\"/>");
    WriteFile(dir.Path("plain.xml"), "<a/>");
    WriteFile(dir.Path("broken.wsdl"), "<definitions");
    const std::string importsLocal =
        "<definitions xmlns=\"http://schemas.xmlsoap.org/wsdl/\"><import location=\"file://" +
        dir.Path("two.wsdl") + "\"/></definitions>";
    const std::string served = Serving(importsLocal);
    const struct {
        std::string location;
        std::string error;  // the start of the text
    } cases[] = {
        {dir.Path("two.wsdl"), dir.Path("two.wsdl") + " is a WSDL 2.0 description, which is not read"},
        {dir.Path("plain.xml"), dir.Path("plain.xml") + " is no WSDL 1.1 description: its root is a"},
        {dir.Path("broken.wsdl"), "Invalid XML in " + dir.Path("broken.wsdl") + ": "},
        {dir.Path("missing.wsdl"), "Cannot read " + dir.Path("missing.wsdl") + ": "},
        {served,
         "An import from " + served + " names no http or https document: file://" + dir.Path("two.wsdl")},
    };
    for (const auto& c : cases) {
        WSDL_HANDLE wsdl = WSDL_new(c.location.c_str(), 0);
        ASSERT_NE(wsdl, nullptr);
        EXPECT_EQ(std::string(WSDL_GetLastError(wsdl)).rfind(c.error, 0), 0u) << WSDL_GetLastError(wsdl);
        EXPECT_EQ(WSDL_GetOperations(wsdl), nullptr);
        WSDL_delete(wsdl);
    }
}

TEST(Wsdl, ImportLocationsResolveAgainstTheirDocument) {
    const struct {
        const char* base;
        const char* reference;
        const char* target;  // "" refused
    } cases[] = {
        {"http://h/a/b.wsdl", "x.xsd", "http://h/a/x.xsd"},
        {"http://h/a/b.wsdl?wsdl", "../x.xsd", "http://h/x.xsd"},
        {"http://h/a/b", "/s/./x.xsd", "http://h/s/x.xsd"},
        {"https://h/a", "//cdn/x.xsd", "https://cdn/x.xsd"},
        {"https://h/a", "http://o/x.xsd", ""},
        {"http://h/a", "file:///etc/passwd", ""},
        {"/d/w.wsdl", "sub/x.xsd", "/d/sub/x.xsd"},
        {"/d/w.wsdl", "http://h/x.xsd", "http://h/x.xsd"},
        {"file:///d/e/w.wsdl", "../x.xsd", "file:///d/x.xsd"},
    };
    for (const auto& c : cases) {
        std::string why;
        EXPECT_EQ(wsdl::Resolve(c.base, c.reference, why), c.target) << c.base << " " << c.reference;
        EXPECT_EQ(why.empty(), *c.target != '\0') << why;
    }
}

TEST(Wsdl, AFreshCachedCopyIsReadInsteadOfTheNetwork) {
    TempDir cache;
    testing_support::ScopedEnv where("ORVEX_CACHE_DIR", cache.Path("a/b").c_str());
    const std::string url = SoapTestService::Get().Url() + "?wsdl";
    WSDL_HANDLE first = WSDL_new(url.c_str(), 3600);
    ASSERT_STREQ(WSDL_GetLastError(first), "");
    WSDL_delete(first);
    const auto names = testing_support::FileNames(cache.Path("a/b"));
    ASSERT_EQ(names.size(), 1u);
    // Changed in the cache, the copy is what the next read sees: this one
    // imports a schema the service does not have.
    WriteFile(cache.Path("a/b/" + names[0]), kMain);
    WSDL_HANDLE second = WSDL_new(url.c_str(), 3600);
    EXPECT_EQ(std::string(WSDL_GetLastError(second)).rfind("Cannot read", 0), 0u)
        << WSDL_GetLastError(second);
    WSDL_delete(second);
    WSDL_HANDLE fresh = WSDL_new(url.c_str(), 0);
    EXPECT_EQ(Rows(fresh).size(), 8u);
    WSDL_delete(fresh);
}

}  // namespace
