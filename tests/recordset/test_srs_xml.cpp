#include "recordset/srs.h"

#include <orvex/text_util.h>

#include <gtest/gtest.h>

#include "common/test_support.h"

#include <string>
#include <vector>

using testing_support::ScopedTimeZone;

namespace {

const char kEnc[] = "http://schemas.xmlsoap.org/soap/encoding/";

std::string Xml(SRS& set, const char* dialect, const char* element, int asArray) {
    CString out("stale");
    set.toXML(out, dialect, element, asArray);
    return out.str();
}

// The Orders set: Id int, Note string; row 1 (1, "a&b"), row 2 (2, never set).
void FillOrders(SRS& set, int rows) {
    set.AddCol("Id", "int");
    set.AddCol("Note", "string");
    for (int i = 0; i < rows; ++i) {
        const int row = set.AddRow();
        set.SetText(row, "Id", std::to_string(row + 1).c_str());
        if (row == 0) set.SetText(row, "Note", "a&b");
    }
}

}  // namespace

TEST(RecordSetXml, ASetFilledAgainAfterRemoveAllWritesOnlyItsNewContent) {
    SRS set("Order", "urn:shop", "OrderType");
    FillOrders(set, 2);
    const std::string first = Xml(set, ".net", "Orders", 1);
    EXPECT_EQ(first,
              "<Orders><Order><Id>1</Id><Note>a&amp;b</Note></Order>"
              "<Order><Id>2</Id><Note xsi:nil=\"true\"/></Order></Orders>");
    CString out;
    set.toXML(out, ".net", "Orders", 1);
    set.toXML(out, ".net", "Orders", 1);  // written again into the same text
    EXPECT_EQ(out.str(), first);

    set.RemoveAll();
    set.AddCol("Note", "string");
    set.AddRow();
    EXPECT_EQ(set.IsNull(0, 0), 1);  // nothing of the first filling comes back
    set.SetText(0, "Note", "x");
    set.toXML(out, ".net", "Orders", 1);
    EXPECT_EQ(out.str(), "<Orders><Order><Note>x</Note></Order></Orders>");
    set.RemoveAll();
    FillOrders(set, 2);
    EXPECT_EQ(Xml(set, ".net", "Orders", 1), first);
}

TEST(RecordSetXml, EmptySets) {
    SRS noRows("Order", "urn:shop", "OrderType");
    noRows.AddCol("Id", "int");
    SRS nothing("Order", "urn:shop", "OrderType");
    for (SRS* set : {&noRows, &nothing}) {
        EXPECT_EQ(Xml(*set, "dot net", "Orders", 0), "<Orders xsi:nil=\"true\"/>");
        EXPECT_EQ(Xml(*set, ".NET", "Orders", 1), "<Orders xsi:nil=\"true\"/>");
        EXPECT_EQ(Xml(*set, "apache soap", "Orders", 0),
                  "<Orders xmlns:ns2=\"urn:shop\" xsi:type=\"ns2:OrderType\" xsi:nil=\"true\"/>");
        EXPECT_EQ(Xml(*set, "apache soap", "Orders", 1),
                  std::string("<Orders xmlns:ns3=\"") + kEnc +
                      "\" xsi:type=\"ns3:Array\" xmlns:ns2=\"urn:shop\" ns3:arrayType=\"ns2:OrderType[0]\" "
                      "xsi:nil=\"true\"/>");
    }
    // Rows without columns: the row count stands in the brackets.
    SRS rowsOnly("Order", "urn:shop", "OrderType");
    rowsOnly.AddRow();
    rowsOnly.AddRow();
    EXPECT_EQ(Xml(rowsOnly, "", "P", 1),
              std::string("<P xmlns:ns3=\"") + kEnc +
                  "\" xsi:type=\"ns3:Array\" xmlns:ns2=\"urn:shop\" ns3:arrayType=\"ns2:OrderType[2]\" "
                  "xsi:nil=\"true\"/>");
}

TEST(RecordSetXml, OneRowDotNet) {
    SRS set("Order", "urn:shop", "OrderType");
    FillOrders(set, 1);
    EXPECT_EQ(Xml(set, "DotNet", "Orders", 0), "<Orders><Id>1</Id><Note>a&amp;b</Note></Orders>");
    EXPECT_EQ(Xml(set, "DotNet", "Orders", 7),
              "<Orders><Order><Id>1</Id><Note>a&amp;b</Note></Order></Orders>");
}

TEST(RecordSetXml, OneRowApache) {
    SRS set("Order", "urn:shop", "OrderType");
    FillOrders(set, 1);
    EXPECT_EQ(Xml(set, "apache soap", "Orders", 0),
              "<Orders xmlns:ns2=\"urn:shop\" xsi:type=\"ns2:OrderType\"><Id xsi:type=\"xsd:int\">1</Id>"
              "<Note xsi:type=\"xsd:string\">a&amp;b</Note></Orders>");
    // asArray wraps the row but keeps the struct opening element.
    EXPECT_EQ(Xml(set, "apache soap", "Orders", 1),
              "<Orders xmlns:ns2=\"urn:shop\" xsi:type=\"ns2:OrderType\"><Order xsi:type=\"ns2:OrderType\">"
              "<Id xsi:type=\"xsd:int\">1</Id><Note xsi:type=\"xsd:string\">a&amp;b</Note></Order></Orders>");
}

TEST(RecordSetXml, TwoRowsAlwaysWrapped) {
    SRS set("Order", "urn:shop", "OrderType");
    FillOrders(set, 2);
    for (int asArray : {0, 1}) {
        EXPECT_EQ(
            Xml(set, ".net", "Orders", asArray),
            "<Orders><Order><Id>1</Id><Note>a&amp;b</Note></Order><Order><Id>2</Id><Note xsi:nil=\"true\"/>"
            "</Order></Orders>");
        EXPECT_EQ(Xml(set, "Apache", "Orders", asArray),
                  std::string("<Orders xmlns:ns3=\"") + kEnc +
                      "\" xsi:type=\"ns3:Array\" xmlns:ns2=\"urn:shop\" ns3:arrayType=\"ns2:OrderType[2]\">"
                      "<Order xsi:type=\"ns2:OrderType\"><Id xsi:type=\"xsd:int\">1</Id>"
                      "<Note xsi:type=\"xsd:string\">a&amp;b</Note></Order>"
                      "<Order xsi:type=\"ns2:OrderType\"><Id xsi:type=\"xsd:int\">2</Id>"
                      "<Note xsi:type=\"xsd:string\" xsi:nil=\"true\"/></Order></Orders>");
    }
}

TEST(RecordSetXml, NilAndEmptyFormsFollowTheEncodedValue) {
    ScopedTimeZone tz("UTC0");
    SRS set("R", "urn:x", "T");
    set.AddCol("S", "string");
    set.AddCol("U", "money");
    set.AddCol("I", "int");
    set.AddCol("B", "bool");
    set.AddCol("D", "date");
    set.AddCol("W", "dateTime");
    set.AddRow();  // every cell null
    set.AddRow();  // every cell ""
    set.AddRow();  // cells with values
    for (const char* col : {"S", "U", "I", "B", "D", "W"}) set.SetText(1, col, "");
    set.SetText(2, "S", "<'x'>");
    set.SetText(2, "U", "<raw & kept>");
    set.SetText(2, "I", " 12 ");
    set.SetText(2, "B", "TRUE");
    set.SetText(2, "D", "20050307");  // no separator: encoded empty
    set.SetText(2, "W", "2005-03-07 10:20:30");
    EXPECT_EQ(Xml(set, "dotnet", "P", 0),
              "<P>"
              "<R><S xsi:nil=\"true\"/><U xsi:nil=\"true\"/><I>0</I><B>false</B><D>0001-01-01</D>"
              "<W>0001-01-01T00:00:00.0Z</W></R>"
              "<R><S/><U/><I>0</I><B>false</B><D>0001-01-01</D><W>0001-01-01T00:00:00.0Z</W></R>"
              "<R><S>&lt;&apos;x&apos;&gt;</S><U><raw & kept></U><I>12</I><B>true</B><D/>"
              "<W>2005-03-07T10:20:30.0Z</W></R>"
              "</P>");
    EXPECT_EQ(Xml(set, "apache", "P", 0),
              std::string("<P xmlns:ns3=\"") + kEnc +
                  "\" xsi:type=\"ns3:Array\" xmlns:ns2=\"urn:x\" ns3:arrayType=\"ns2:T[3]\">"
                  "<R xsi:type=\"ns2:T\"><S xsi:type=\"xsd:string\" xsi:nil=\"true\"/>"
                  "<U xsi:type=\"xsd:string\" xsi:nil=\"true\"/><I xsi:type=\"xsd:int\">0</I>"
                  "<B xsi:type=\"xsd:boolean\">false</B><D xsi:type=\"xsd:date\">0001-01-01</D>"
                  "<W xsi:type=\"xsd:dateTime\">0001-01-01T00:00:00.0Z</W></R>"
                  "<R xsi:type=\"ns2:T\"><S xsi:type=\"xsd:string\"/><U xsi:type=\"xsd:string\"/>"
                  "<I xsi:type=\"xsd:int\">0</I><B xsi:type=\"xsd:boolean\">false</B>"
                  "<D xsi:type=\"xsd:date\">0001-01-01</D><W "
                  "xsi:type=\"xsd:dateTime\">0001-01-01T00:00:00.0Z</W></R>"
                  "<R xsi:type=\"ns2:T\"><S xsi:type=\"xsd:string\">&lt;&apos;x&apos;&gt;</S>"
                  "<U xsi:type=\"xsd:string\"><raw & kept></U><I xsi:type=\"xsd:int\">12</I>"
                  "<B xsi:type=\"xsd:boolean\">true</B><D xsi:type=\"xsd:date\"/>"
                  "<W xsi:type=\"xsd:dateTime\">2005-03-07T10:20:30.0Z</W></R></P>");
}

TEST(RecordSetXml, DialectTexts) {
    SRS set("R", "urn:x", "T");
    set.AddCol("A", "int");
    set.AddRow();
    set.SetText(0, "A", "1");
    const std::string dotNet = "<P><A>1</A></P>";
    for (const char* dialect : {"DotNet", ".NET", "dot net", "Microsoft .Net 4", "xDOTNETx"})
        EXPECT_EQ(Xml(set, dialect, "P", 0), dotNet) << dialect;
    for (const char* dialect :
         {"apache soap", "", "net", "dot-net", "Dot  Net", static_cast<const char*>(nullptr)})
        EXPECT_NE(Xml(set, dialect, "P", 0), dotNet) << (dialect != nullptr ? dialect : "(null)");
}

TEST(RecordSetXml, NamesAreWrittenAsGiven) {
    SRS set("r&w", "urn:\"q\"", "t<1>");
    set.AddCol("a b", "string");
    set.AddRow();
    set.SetText(0, 0, "v");
    EXPECT_EQ(Xml(set, "dotnet", "e<", 1), "<e<><r&w><a b>v</a b></r&w></e<>");
    EXPECT_EQ(Xml(set, "apache", nullptr, 0),
              "< xmlns:ns2=\"urn:\"q\"\" xsi:type=\"ns2:t<1>\"><a b xsi:type=\"xsd:string\">v</a b></>");
}

TEST(RecordSetXml, DatetimeColumnsMatchTheEncoderInEveryZone) {
    // The writer remembers each day's zone offset; it must agree with the
    // encoder, which asks the C library for every value, across changes.
    for (const char* zone : {"UTC0", "CET-1CEST,M3.5.0,M10.5.0/3", "EST5EDT,M3.2.0,M11.1.0",
                             "LHST-10:30LHDT-11,M10.1.0,M4.1.0", "<+0545>-5:45"}) {
        ScopedTimeZone tz(zone);
        SRS set("R", "", "");
        set.AddCol("W", "dateTime");
        std::vector<std::string> cells;
        for (int month : {1, 3, 4, 10, 11, 12})
            for (int day : {1, 2, 3, 6, 13, 26, 27, 28, 30, 31})
                for (int minute = 0; minute < 24 * 60; minute += 29) {
                    CString text;
                    text.Format("2005-%d-%d %d:%02d:%02d", month, day, minute / 60, minute % 60, minute % 61);
                    cells.push_back(text.str());
                }
        for (const char* edge : {"1971-01-01 00:00:00", "2038-12-31 23:59:60", "2016-12-31 23:59:60"})
            cells.emplace_back(edge);
        for (const std::string& cell : cells) set.SetText(set.AddRow(), 0, cell.c_str());
        const std::string xml = Xml(set, "dotnet", "P", 0);
        size_t at = 0;
        for (const std::string& cell : cells) {
            const size_t open = xml.find("<W>", at);
            const size_t close = xml.find("</W>", open);
            ASSERT_NE(close, std::string::npos) << zone << " " << cell;
            CString expected(cell.c_str());
            CTextUtil::XMLEncode_Datetime(expected);
            EXPECT_EQ(xml.substr(open + 3, close - open - 3), expected.str()) << zone << " " << cell;
            at = close;
        }
    }
}
