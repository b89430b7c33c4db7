// SOAP calls through the C API against the sample document/literal service.
#include <orvex.h>

#include "soap/soap_test_service.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using testing_support::SoapTestService;

// One call on a fresh request and message; the message stays for reading.
class SoapCall {
public:
    // Version 12 goes to the service's SOAP 1.2 endpoint, which reads nothing else.
    explicit SoapCall(const char* method, int version = 11)
        : m_message(SOAP_new("DotNet", method)),
          m_request(HTTP_new(1)),
          m_url(SoapTestService::Get().Url() + (version == 12 ? "soap12" : "")) {
        SOAP_SetNameSpace(m_message, SoapTestService::kNamespace);
        SOAP_SetSoapVersion(m_message, version);
        HTTP_AttachSoap(m_request, m_message);
    }
    ~SoapCall() {
        HTTP_delete(m_request);
        SOAP_delete(m_message);
    }
    SoapCall(const SoapCall&) = delete;
    SoapCall& operator=(const SoapCall&) = delete;

    int Send() { return HTTP_Request(m_request, m_url.c_str(), nullptr, nullptr); }
    std::string Error() const { return HTTP_GetLastError(m_request); }
    SOAP_HANDLE message() const { return m_message; }

private:
    SOAP_HANDLE m_message;
    HTTP_HANDLE m_request;
    std::string m_url;
};

std::string Text(SRS_HANDLE set, int row, const char* column) { return SRS_GetText(set, row, column); }

TEST(SoapCall, ScalarResult) {
    SoapCall call("Add");
    SOAP_AddElement(call.message(), "a", "int", "2");
    SOAP_AddElement(call.message(), "b", "bigint", " 40 ");
    ASSERT_EQ(call.Send(), 1) << call.Error();
    SRS_HANDLE set = SOAP_GetSRS(call.message());
    ASSERT_EQ(SRS_ColCount(set), 1);
    ASSERT_EQ(SRS_RowCount(set), 1);
    EXPECT_NE(std::string(SRS_GetColName(set, 1)).find("AddResult"), std::string::npos);
    EXPECT_EQ(SRS_GetInt(set, 1, "anything"), 42);
}

TEST(SoapCall, EscapedTextRoundTrips) {
    SoapCall call("Echo");
    SOAP_AddElement(call.message(), "text", "nvarchar(50)", "a<b & \"c\" 'd'");
    ASSERT_EQ(call.Send(), 1) << call.Error();
    EXPECT_EQ(Text(SOAP_GetSRS(call.message()), 1, ""), "a<b & \"c\" 'd'");
}

TEST(SoapCall, StructResultIsOneRow) {
    SoapCall call("GetCustomer");
    SOAP_AddElement(call.message(), "id", "int", "7");
    ASSERT_EQ(call.Send(), 1) << call.Error();
    SRS_HANDLE set = SOAP_GetSRS(call.message());
    ASSERT_EQ(SRS_RowCount(set), 1);
    ASSERT_EQ(SRS_ColCount(set), 4);
    EXPECT_EQ(Text(set, 1, "tns:Name"), "ACME");
    EXPECT_EQ(Text(set, 1, "tns:City"), "Springfield");
    EXPECT_EQ(Text(set, 1, "tns:Since"), "1999-12-31");
    EXPECT_EQ(SRS_GetInt(set, 1, "tns:Id"), 7);
}

TEST(SoapCall, ArrayOfStructsIsATableWithNilCells) {
    SoapCall call("GetOrders");
    SOAP_AddElement(call.message(), "customer", "string", "");
    ASSERT_EQ(call.Send(), 1) << call.Error();
    SRS_HANDLE set = SOAP_GetSRS(call.message());
    ASSERT_EQ(SRS_RowCount(set), 3);
    ASSERT_EQ(SRS_ColCount(set), 6);
    // Qualified names as written: the service prefixes its elements.
    const char* expectedColumns[] = {"tns:Id",   "tns:Customer", "tns:Amount",
                                     "tns:Paid", "tns:Placed",   "tns:Note"};
    for (int c = 0; c < 6; ++c) EXPECT_STREQ(SRS_GetColName(set, c + 1), expectedColumns[c]);
    EXPECT_EQ(Text(set, 1, "tns:Note"), "first & <urgent>");
    EXPECT_EQ(Text(set, 3, "tns:Customer"), "Globex");
    EXPECT_DOUBLE_EQ(SRS_GetDouble(set, 1, "tns:Amount"), 12.5);
    EXPECT_EQ(SRS_GetBoolean(set, 1, "tns:Paid"), 1);
    EXPECT_EQ(SRS_GetBoolean(set, 2, "tns:Paid"), 0);
    EXPECT_EQ(Text(set, 2, "tns:Note"), "");  // nil: the cell stays null
    EXPECT_EQ(Text(set, 1, "tns:Placed").substr(0, 10), "2005-03-07");

    // The tree of the same response: from the method response element, prefixes gone.
    XML_NODE root = SOAP_GetXMLTree(call.message());
    ASSERT_NE(root, nullptr);
    EXPECT_STREQ(XML_GetName(root), "GetOrdersResponse");
    EXPECT_EQ(SOAP_GetXMLTree(call.message()), root);  // built once
}

TEST(SoapCall, NilResultIsAnEmptySet) {
    SoapCall call("FindCustomer");
    SOAP_AddElement(call.message(), "id", "int", "1");
    ASSERT_EQ(call.Send(), 1) << call.Error();
    SRS_HANDLE set = SOAP_GetSRS(call.message());
    ASSERT_NE(set, nullptr);
    EXPECT_EQ(SRS_ColCount(set), 0);
    EXPECT_EQ(SRS_RowCount(set), 0);
    EXPECT_STREQ(SOAP_GetLastError(call.message()), "");
}

TEST(SoapCall, RecordSetParameterIsReadByTheService) {
    SRS_HANDLE orders = SRS_new("Order", "", "");
    SRS_AddCol(orders, "Id", "int");
    SRS_AddCol(orders, "Amount", "double");
    SRS_AddCol(orders, "Paid", "bit");
    SRS_AddCol(orders, "Note", "string");  // never set: sent as nil, as the service requires
    const char* rows[][3] = {{"1", "2.5", "true"}, {"2", "4", "0"}, {"3", "0.25", "1"}};
    for (const auto& row : rows) {
        const int r = SRS_AddRow(orders);
        SRS_SetText(orders, r, "Id", row[0]);
        SRS_SetText(orders, r, "Amount", row[1]);
        SRS_SetText(orders, r, "Paid", row[2]);
    }
    {
        SoapCall call("SumOrders");
        SOAP_AddNodes(call.message(), "orders []", orders);
        ASSERT_EQ(call.Send(), 1) << call.Error();
        EXPECT_DOUBLE_EQ(SRS_GetDouble(SOAP_GetSRS(call.message()), 1, ""), 6.75);
    }
    {
        // One row, still sent as an array because of the brackets.
        SRS_HANDLE one = SRS_new("Order", "", "");
        SRS_AddCol(one, "Paid", "boolean");
        SRS_AddCol(one, "Note", "string");
        SRS_SetText(one, SRS_AddRow(one), "Paid", "true");
        SoapCall call("CountPaid");
        SOAP_AddNodes(call.message(), "orders[]", one);
        ASSERT_EQ(call.Send(), 1) << call.Error();
        EXPECT_EQ(SRS_GetInt(SOAP_GetSRS(call.message()), 1, ""), 1);
        SRS_delete(one);
    }
    SRS_delete(orders);
}

TEST(SoapCall, FaultTextFollowsTheStatusText) {
    SoapCall call("Fail");
    SOAP_AddElement(call.message(), "reason", "string", "Bad input");
    EXPECT_EQ(call.Send(), 0);
    const std::string error = call.Error();
    EXPECT_EQ(
        error.rfind("Return Error Code=500(Unknown server error)\r\nReturn Soap Error:\r\nfaultcode = ", 0),
        0u)
        << error;
    EXPECT_NE(error.find("\r\nfaultstring = Bad input"), std::string::npos) << error;
    EXPECT_NE(error.find("\r\ndetail = Bad input"), std::string::npos) << error;
    EXPECT_EQ(SOAP_GetLastError(call.message()), error.substr(error.find("Return Soap Error:") + 18));
}

TEST(SoapCall, Soap12CallsReadAsSoap11Ones) {
    {
        SoapCall call("Add", 12);
        SOAP_AddElement(call.message(), "a", "int", "2");
        SOAP_AddElement(call.message(), "b", "int", "40");
        ASSERT_EQ(call.Send(), 1) << call.Error();
        EXPECT_EQ(SRS_GetInt(SOAP_GetSRS(call.message()), 1, ""), 42);
    }
    {
        SoapCall call("GetOrders", 12);
        SOAP_AddElement(call.message(), "customer", "string", "");
        ASSERT_EQ(call.Send(), 1) << call.Error();
        SRS_HANDLE set = SOAP_GetSRS(call.message());
        ASSERT_EQ(SRS_RowCount(set), 3);
        EXPECT_EQ(Text(set, 1, "tns:Note"), "first & <urgent>");
    }
    {
        SoapCall call("Fail", 12);
        SOAP_AddElement(call.message(), "reason", "string", "Bad input");
        EXPECT_EQ(call.Send(), 0);
        EXPECT_NE(call.Error().find("\r\nfaultstring = Bad input"), std::string::npos) << call.Error();
    }
    {
        // The endpoint reads SOAP 1.2 alone: a 1.1 envelope sent there fails.
        SoapCall call("Add", 11);
        HTTP_HANDLE request = HTTP_new(1);
        HTTP_AttachSoap(request, call.message());
        const std::string url = SoapTestService::Get().Url() + "soap12";
        EXPECT_EQ(HTTP_Request(request, url.c_str(), nullptr, nullptr), 0);
        HTTP_delete(request);
    }
}

TEST(SoapCall, WithoutAMessageNothingIsSent) {
    HTTP_HANDLE request = HTTP_new(1);
    EXPECT_EQ(HTTP_Request(request, SoapTestService::Get().Url().c_str(), nullptr, nullptr), 0);
    EXPECT_STREQ(HTTP_GetLastError(request), "Soap object not set");
    EXPECT_EQ(HTTP_GetResponseContentLength(request), 0);
    HTTP_delete(request);
}

}  // namespace
