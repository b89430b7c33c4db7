// The request envelope, byte for byte, in both dialects.
#include <orvex.h>
#include <orvex/text_util.h>

#include "recordset/srs.h"
#include "soap/soap_message.h"

#include <gtest/gtest.h>

#include "common/test_support.h"

#include <string>
#include <vector>

using testing_support::ScopedTimeZone;

namespace {

const std::string kDotNetHead =
    "<?xml version='1.0' encoding='UTF-8'?>\r\n"
    "<soap:Envelope xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" "
    "xmlns:xsd=\"http://www.w3.org/2001/XMLSchema\" "
    "xmlns:soap=\"http://schemas.xmlsoap.org/soap/envelope/\">\r\n"
    "<soap:Body>\r\n";
const std::string kDotNetTail = "</soap:Body>\r\n</soap:Envelope>\r\n";

const std::string kApacheHead =
    "<?xml version='1.0' encoding='UTF-8'?>\r\n"
    "<SOAP-ENV:Envelope xmlns:SOAP-ENV=\"http://schemas.xmlsoap.org/soap/envelope/\" "
    "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" "
    "xmlns:xsd=\"http://www.w3.org/2001/XMLSchema\">\r\n"
    "<SOAP-ENV:Body>\r\n";
const std::string kApacheTail = "</SOAP-ENV:Body>\r\n</SOAP-ENV:Envelope>\r\n";

std::string ApacheMethodStart(const std::string& method, const std::string& uri) {
    return "<ns1:" + method + " xmlns:ns1=\"" + uri +
           "\" SOAP-ENV:encodingStyle=\"http://schemas.xmlsoap.org/soap/encoding/\">\r\n";
}

// The five entities, one character at a time.
std::string Escaped(const std::string& text) {
    std::string out;
    for (const char c : text) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            case '\'':
                out += "&apos;";
                break;
            default:
                out += c;
        }
    }
    return out;
}

// A one-column set named R with the texts given, and the parameter P the
// .NET dialect writes for it; each text's form on the wire comes from wire.
template <class Wire>
std::string FillOneColumn(SRS_HANDLE set, const char* type, const std::vector<std::string>& texts,
                          Wire wire) {
    SRS_AddCol(set, "C", type);
    std::string element = "<P>";
    for (const std::string& text : texts) {
        SRS_SetText(set, SRS_AddRow(set), "C", text.c_str());
        element += "<R><C>" + wire(text) + "</C></R>";
    }
    return element + "</P>";
}

std::string DotNetEnvelope(const std::string& method, const std::string& parameters) {
    return kDotNetHead + "<" + method + " xmlns=\"http://tempuri.org/\">\r\n" + parameters + "</" + method +
           ">\r\n" + kDotNetTail;
}

std::string Envelope(CSoapMessage& message) {
    CString out = "stale";
    message.GetSoap(out);
    return out.str();
}

TEST(SoapEnvelope, DialectFollowsTheServerKind) {
    for (const char* kind : {"ASP.NET", "DotNet Server", "dot net", "MS .NET 2"}) {
        CSoapMessage message(kind, "M");
        EXPECT_EQ(message.m_bDotNet, 1) << kind;
        EXPECT_STREQ(message.m_strNameSpace, "http://tempuri.org/") << kind;
    }
    for (const char* kind : {"Apache SOAP", "", "dotn et", "Axis"}) {
        CSoapMessage message(kind, "M");
        EXPECT_EQ(message.m_bDotNet, 0) << kind;
        EXPECT_STREQ(message.m_strNameSpace, "") << kind;
    }
}

TEST(SoapEnvelope, DotNetDocumentLiteral) {
    CSoapMessage message(".net", "GetOrders");
    message.AddElement("customer", "varchar", "A&B");
    message.AddElement("since", "DATETIME", "");
    message.AddElement("raw", "xml", "<a b='1'>&amp;</a>");
    message.AddElement("count", "Number(10)", " 7 ");
    EXPECT_EQ(Envelope(message),
              kDotNetHead + "<GetOrders xmlns=\"http://tempuri.org/\">\r\n" +
                  "<customer>A&amp;B</customer>\r\n<since>0001-01-01T00:00:00.0Z</since>\r\n" +
                  "<raw><a b='1'>&amp;</a></raw>\r\n<count>7</count>\r\n" + "</GetOrders>\r\n" + kDotNetTail);
}

TEST(SoapEnvelope, ApacheRpcEncoded) {
    CSoapMessage message("Apache SOAP", "getQuote");
    message.SetTargetObjectURI("urn:xmethods-quotes");
    message.SetEncoding("ISO-8859-1");
    message.AddElement("symbol", "VARCHAR(20)", "a<b");
    message.AddElement("x", "Float", "1.5");
    message.AddElement("doc", "XML", "<q/>");
    message.AddElement("plain", "", "t&");
    message.AddElement("flag", "Boolean", "yes");
    std::string expected = kApacheHead;
    expected.replace(expected.find("UTF-8"), 5, "ISO-8859-1");
    expected += ApacheMethodStart("getQuote", "urn:xmethods-quotes") +
                "<symbol xsi:type=\"xsd:string\">a&lt;b</symbol>\r\n" +
                "<x xsi:type=\"xsd:Float\">1.5</x>\r\n" +
                "<doc SOAP-ENV:encodingStyle=\"http://xml.apache.org/xml-soap/literalxml\"><q/></doc>\r\n" +
                "<plain>t&</plain>\r\n" + "<flag xsi:type=\"xsd:boolean\">false</flag>\r\n" +
                "</ns1:getQuote>\r\n" + kApacheTail;
    EXPECT_EQ(Envelope(message), expected);
}

TEST(SoapEnvelope, NoParametersAndAfterAResponse) {
    CSoapMessage message("dotnet", "Ping");
    message.SetNameSpace("urn:x");
    const std::string empty = kDotNetHead + "<Ping xmlns=\"urn:x\">\r\n</Ping>\r\n" + kDotNetTail;
    EXPECT_EQ(Envelope(message), empty);
    message.AddElement("a", "int", "1");
    message.SetSoap("<r/>");
    EXPECT_EQ(Envelope(message), empty);
    EXPECT_STREQ(message.m_strSoap, "<r/>");
}

TEST(SoapEnvelope, NamespaceResetRestoresThePlaceholderOnlyForDotNet) {
    CSoapMessage dotNet(".net", "M");
    dotNet.SetNameSpace("urn:a");
    dotNet.SetNameSpace("");
    EXPECT_STREQ(dotNet.m_strNameSpace, "http://tempuri.org/");
    CSoapMessage apache("apache", "M");
    apache.SetNameSpace("urn:a");
    apache.SetNameSpace("");
    EXPECT_STREQ(apache.m_strNameSpace, "");
}

TEST(SoapEnvelope, RecordSetParameters) {
    SRS orders;
    orders.AddCol("Id", "int");
    orders.AddCol("Note", "string");
    orders.SetText(orders.AddRow(), 0, "7");
    orders.SetText(0, 1, "a&b");

    CSoapMessage message(".net", "Put");
    message.AddNodes("one", 0, &orders);
    message.AddNodes("many", 1, &orders);
    message.AddNodes("none", 0, nullptr);
    CString one, many, none;
    orders.toXML(one, ".net", "one", 0);
    orders.toXML(many, ".net", "many", 1);
    SRS empty;
    empty.toXML(none, ".net", "none", 0);
    EXPECT_NE(one, many);  // the array form wraps its one row
    EXPECT_EQ(Envelope(message), kDotNetHead + "<Put xmlns=\"http://tempuri.org/\">\r\n" + one.str() +
                                     "\r\n" + many.str() + "\r\n" + none.str() + "\r\n</Put>\r\n" +
                                     kDotNetTail);
    EXPECT_STREQ(message.m_arrTypes[0], "_SRS_");
    EXPECT_STREQ(message.m_arrTypes[1], "_SRS_ARRAY");
}

TEST(SoapEnvelope, Soap12ApacheArraysNameTheirItemTypeAndSize) {
    SRS orders("Order", "urn:shop", "OrderType");
    orders.AddCol("Id", "int");
    orders.SetText(orders.AddRow(), 0, "7");
    orders.SetText(orders.AddRow(), 0, "8");
    SRS none("Order", "urn:shop", "OrderType");
    CSoapMessage message("apache", "Put");
    ASSERT_TRUE(message.SetSoapVersion(12));
    message.AddNodes("many", 1, &orders);
    message.AddNodes("empty", 1, &none);
    const std::string envelope = Envelope(message);
    for (const char* part :
         {"xmlns:SOAP-ENV=\"http://www.w3.org/2003/05/soap-envelope\"",
          "SOAP-ENV:encodingStyle=\"http://www.w3.org/2003/05/soap-encoding\"",
          "<many xmlns:ns3=\"http://www.w3.org/2003/05/soap-encoding\" xmlns:ns2=\"urn:shop\" "
          "ns3:itemType=\"ns2:OrderType\" ns3:arraySize=\"2\">",
          "<empty xmlns:ns3=\"http://www.w3.org/2003/05/soap-encoding\" xmlns:ns2=\"urn:shop\" "
          "ns3:itemType=\"ns2:OrderType\" ns3:arraySize=\"0\" xsi:nil=\"true\"/>"})
        EXPECT_NE(envelope.find(part), std::string::npos) << part << "\n" << envelope;
    EXPECT_EQ(envelope.find("schemas.xmlsoap.org"), std::string::npos) << envelope;
}

TEST(SoapEnvelope, ScalarWithRecordSetTypeTextStaysScalar) {
    CSoapMessage message("apache", "M");
    message.AddElement("p", "_SRS_", "12345");
    message.AddElement("q", "_SRS_ARRAY", "0");
    EXPECT_EQ(Envelope(message), kApacheHead + ApacheMethodStart("M", "") +
                                     "<p xsi:type=\"xsd:_SRS_\">12345</p>\r\n" +
                                     "<q xsi:type=\"xsd:_SRS_ARRAY\">0</q>\r\n</ns1:M>\r\n" + kApacheTail);
}

TEST(SoapEnvelope, TextsFullOfEntitiesOutgrowTheEstimate) {
    // Every character takes an entity, so the block sized from the texts grows
    // while it is written: in cells, in a cell and a scalar longer than one escaped piece.
    const std::string entities = "&<>\"'";
    std::vector<std::string> cells;
    for (int i = 0; i < 3000; ++i) cells.push_back(entities + entities + std::to_string(i) + entities);
    std::string longText;
    while (longText.size() < 100000) longText += entities + "x";
    cells.push_back(longText);
    SRS_HANDLE set = SRS_new("R", "", "");
    const std::string element = FillOneColumn(set, "string", cells, Escaped);
    SOAP_HANDLE message = SOAP_new(".net", "Put");
    SOAP_AddElement(message, "s", "string", longText.c_str());
    SOAP_AddNodes(message, "P", set);
    const std::string expected =
        DotNetEnvelope("Put", "<s>" + Escaped(longText) + "</s>\r\n" + element + "\r\n");
    EXPECT_EQ(SOAP_GetSoap(message), expected);
    SOAP_delete(message);
    SRS_delete(set);
}

TEST(SoapEnvelope, SoapGetSoapAgainAndAfterALargerMessage) {
    std::vector<std::string> cells;
    for (int i = 0; i < 5000; ++i) cells.push_back("row " + std::to_string(i) + " & more");
    SRS_HANDLE set = SRS_new("R", "", "");
    const std::string element = FillOneColumn(set, "string", cells, Escaped);
    SOAP_HANDLE large = SOAP_new(".net", "Put");
    SOAP_AddNodes(large, "P", set);
    const std::string expected = DotNetEnvelope("Put", element + "\r\n");
    EXPECT_EQ(SOAP_GetSoap(large), expected);
    EXPECT_EQ(SOAP_GetSoap(large), expected);  // written again over the same block

    SOAP_HANDLE small = SOAP_new(".net", "Ping");
    SOAP_AddElement(small, "a", "int", " 1 ");
    const char* text = SOAP_GetSoap(small);
    EXPECT_EQ(text, DotNetEnvelope("Ping", "<a>1</a>\r\n"));  // nothing of the larger one after it
    EXPECT_EQ(SOAP_GetSoap(large), expected);
    SOAP_delete(small);
    SOAP_delete(large);
    SRS_delete(set);
}

TEST(SoapEnvelope, AnEntityAtEveryPlaceOfAStringValue) {
    // Values are checked many bytes at a time: an entity must be found
    // wherever it stands, at the edges of each block and in a short tail.
    CSoapMessage message(".net", "M");
    std::string parameters;
    for (size_t length = 1; length <= 40; ++length)
        for (size_t at = 0; at < length; ++at)
            for (const char c : std::string("&<>\"'")) {
                std::string value(length, 'a');
                value[at] = c;
                value[length - 1 - (at * 7) % length] = 'z';
                message.AddElement("v", "string", value.c_str());
                parameters += "<v>" + Escaped(value) + "</v>\r\n";
            }
    EXPECT_EQ(Envelope(message), DotNetEnvelope("M", parameters));
}

TEST(SoapEnvelope, DatetimesOfOneDayMatchTheEncoderInEveryZone) {
    // The writer works out the times of a day it has seen by arithmetic; it
    // must agree with the encoder, which reads every value on its own,
    // around midnight and zone changes and for values that only look alike.
    for (const char* zone : {"UTC0", "CET-1CEST,M3.5.0,M10.5.0/3", "EST5EDT,M3.2.0,M11.1.0",
                             "LHST-10:30LHDT-11,M10.1.0,M4.1.0", "<+0545>-5:45", "<-1130>11:30"}) {
        ScopedTimeZone tz(zone);
        std::vector<std::string> cells;
        for (const char* date : {"2005-03-26", "2005-03-27", "2005-10-30", "2005/11/06", "2005.04.03",
                                 "2005-12-31", "2006-01-01", "2005-02-29", "1971-01-01", "2038-12-31"})
            for (const char* time :
                 {"00:00:00", "00:14:59", "01:30:00", "02:30:00", "03:00:01", "11:59:59", "12:00:00",
                  "13:45:30", "22:30:00", "23:59:59", "24:00:00", "23:60:00", "23:59:60", "1a:00:00"})
                for (const char* between : {" ", "T"}) cells.push_back(std::string(date) + between + time);
        cells.emplace_back("2005-03-27 12:00:00 ");
        cells.emplace_back("2005-03-27-12:00:00");
        cells.emplace_back("2005-03-27 12:00");
        SRS_HANDLE set = SRS_new("R", "", "");
        const std::string element = FillOneColumn(set, "dateTime", cells, [](const std::string& text) {
            CString value(text.c_str());
            CTextUtil::XMLEncode_Datetime(value);
            return value.str();
        });
        SOAP_HANDLE message = SOAP_new(".net", "Put");
        SOAP_AddNodes(message, "P", set);
        EXPECT_EQ(SOAP_GetSoap(message), DotNetEnvelope("Put", element + "\r\n")) << zone;
        SOAP_delete(message);
        SRS_delete(set);
    }
}

}  // namespace
