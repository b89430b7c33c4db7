// Reading stored responses: the three shapes, nil, indexes, faults, failures.
#include <orvex.h>

#include "recordset/srs.h"
#include "soap/capped_child.h"
#include "soap/soap_message.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

const std::string kApacheOpen =
    "<SOAP-ENV:Envelope xmlns:SOAP-ENV=\"http://schemas.xmlsoap.org/soap/envelope/\" "
    "xmlns:SOAP-ENC=\"http://schemas.xmlsoap.org/soap/encoding/\" "
    "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" xmlns:xsd=\"http://www.w3.org/2001/XMLSchema\">"
    "<SOAP-ENV:Body><ns1:getResponse xmlns:ns1=\"urn:orders\" "
    "SOAP-ENV:encodingStyle=\"http://schemas.xmlsoap.org/soap/encoding/\">";
const std::string kApacheClose = "</ns1:getResponse></SOAP-ENV:Body></SOAP-ENV:Envelope>";

// A message holding an Apache-style response whose return element is given.
class Stored {
public:
    explicit Stored(const std::string& returnElement, bool wrap = true)
        : m_handle(SOAP_new("apache", "get")) {
        const std::string text = wrap ? kApacheOpen + returnElement + kApacheClose : returnElement;
        SOAP_SetSoap(m_handle, text.c_str());
    }
    ~Stored() { SOAP_delete(m_handle); }
    Stored(const Stored&) = delete;
    Stored& operator=(const Stored&) = delete;
    SOAP_HANDLE handle() const { return m_handle; }
    std::string Error() const { return SOAP_GetLastError(m_handle); }

private:
    SOAP_HANDLE m_handle;
};

std::string Columns(SRS_HANDLE set) {
    std::string names;
    for (int c = 1; c <= SRS_ColCount(set); ++c) {
        if (c > 1) names += ",";
        const std::string name = SRS_GetColName(set, c);  // copied: the next call reuses the text
        names += name + ":" + SRS_GetColType(set, name.c_str());
    }
    return names;
}

CSoapMessage& Message(SOAP_HANDLE handle) {
    return *static_cast<CSoapMessage*>(reinterpret_cast<CHandleObject*>(handle));
}

TEST(SoapReader, EncodedArrayIsATableWithTypesFromTheFirstField) {
    Stored stored(
        "<return xsi:type=\"SOAP-ENC:Array\" SOAP-ENC:arrayType=\"ns1:Order[3]\">"
        "<item xsi:type=\"ns1:Order\"><id xsi:type=\"xsd:int\">1</id><note xsi:type=\"xsd:string\">a &amp; "
        "b</note>"
        "</item>"
        "<item xsi:type=\"ns1:Order\"><note xsi:type=\"xsd:string\" xsi:nil=\"true\">ignored</note>"
        "<id xsi:type=\"xsd:double\">2</id></item>"
        "<entry><paid xsi:type=\"xsd:boolean\">true</paid></entry>"
        "</return>");
    SRS_HANDLE set = SOAP_GetSRS(stored.handle());
    ASSERT_EQ(SRS_RowCount(set), 3);
    EXPECT_EQ(Columns(set), "id:int,note:string,paid:boolean");
    EXPECT_STREQ(SRS_GetColTypeName(set, 1), "xsd:int");
    EXPECT_STREQ(SRS_GetColTypeName(set, 3), "xsd:boolean");
    EXPECT_STREQ(SRS_GetText(set, 1, "note"), "a & b");
    EXPECT_STREQ(SRS_GetText(set, 2, "id"), "2");
    auto* recordSet = Message(stored.handle()).m_pSRS;
    EXPECT_EQ(recordSet->IsNull(1, 1), 1);  // nil wins over its text
    EXPECT_EQ(recordSet->IsNull(0, 2), 1);  // column added by a later row
    EXPECT_EQ(recordSet->IsNull(2, 2), 0);
}

TEST(SoapReader, ScalarAndSingleRowShapes) {
    {
        Stored stored("<return xsi:type=\"xsd:int\">42</return>");
        SRS_HANDLE set = SOAP_GetSRS(stored.handle());
        EXPECT_EQ(Columns(set), "return:int");
        EXPECT_EQ(SRS_GetInt(set, 1, "x"), 42);
    }
    {
        Stored stored("<return><ns1:a>1</ns1:a><b xsi:type='xsd:boolean'>true</b><ns1:a>3</ns1:a></return>");
        SRS_HANDLE set = SOAP_GetSRS(stored.handle());
        ASSERT_EQ(SRS_RowCount(set), 1);
        EXPECT_EQ(Columns(set), "ns1:a:string,b:boolean,ns1:a:string");  // always appended
        EXPECT_STREQ(SRS_GetText(set, 1, "NS1:A"), "1");
        EXPECT_EQ(SRS_GetBoolean(set, 1, "b"), 1);
    }
    {
        // One child holding only text: a table of one row whose column is the text node.
        Stored stored("<return><item>7</item></return>");
        SRS_HANDLE set = SOAP_GetSRS(stored.handle());
        ASSERT_EQ(SRS_RowCount(set), 1);
        EXPECT_STREQ(SRS_GetColName(set, 1), "#text");
        EXPECT_STREQ(SRS_GetText(set, 1, "#text"), "7");
    }
    {
        // One child with fields: a table of one row.
        Stored stored("<return><item><x>1</x><y>2</y></item></return>");
        SRS_HANDLE set = SOAP_GetSRS(stored.handle());
        EXPECT_EQ(SRS_RowCount(set), 1);
        EXPECT_EQ(SRS_ColCount(set), 2);
    }
    {
        // An empty child without content: scalar of the return element.
        Stored stored("<return><item/></return>");
        SRS_HANDLE set = SOAP_GetSRS(stored.handle());
        EXPECT_STREQ(SRS_GetColName(set, 1), "return");
        EXPECT_EQ(SRS_RowCount(set), 1);
    }
}

TEST(SoapReader, NilAndEmptyAnswersAreEmptySets) {
    for (const std::string& body :
         {kApacheOpen + "<return xsi:nil=\"true\"><a>1</a></return>" + kApacheClose,
          kApacheOpen + kApacheClose,
          std::string("<e:Envelope xmlns:e='http://www.w3.org/2003/05/soap-envelope'><e:body/></e:Envelope>"),
          std::string("<Envelope xmlns='http://schemas.xmlsoap.org/soap/envelope/'><Header/></Envelope>")}) {
        Stored stored(body, false);
        SRS_HANDLE set = SOAP_GetSRS(stored.handle());
        ASSERT_NE(set, nullptr) << body;
        EXPECT_EQ(SRS_ColCount(set), 0) << body;
        EXPECT_EQ(SRS_RowCount(set), 0) << body;
        EXPECT_EQ(stored.Error(), "") << body;
    }
    {
        // "TRUE" is not nil: the text is read.
        Stored stored("<return xsi:nil=\"TRUE\">5</return>");
        EXPECT_STREQ(SRS_GetText(SOAP_GetSRS(stored.handle()), 1, ""), "5");
    }
}

TEST(SoapReader, ColumnsKeepTheirPrefixesAndAreFoundByLocalNameToo) {
    Stored stored(
        "<return xmlns:a='urn:a'><item><a:x>1</a:x><x>2</x><a:y>3</a:y></item>"
        "<item><a:x>4</a:x><x>5</x><a:y>6</a:y></item></return>");
    SRS_HANDLE set = SOAP_GetSRS(stored.handle());
    ASSERT_EQ(SRS_RowCount(set), 2);
    EXPECT_EQ(Columns(set), "a:x:string,x:string,a:y:string");
    EXPECT_STREQ(SRS_GetText(set, 2, "a:x"), "4");
    EXPECT_STREQ(SRS_GetText(set, 2, "x"), "5");  // the column of that exact name first
    EXPECT_STREQ(SRS_GetText(set, 2, "y"), "6");
}

TEST(SoapReader, BodyUnderAnyPrefixAndCaseAtAnyDepth) {
    Stored stored(
        "<x:ENVELOPE xmlns:x='http://schemas.xmlsoap.org/soap/envelope/'><x:wrapper><x:BODY><r><v>9</v></r>"
        "</x:BODY></x:wrapper></x:ENVELOPE>",
        false);
    EXPECT_STREQ(SRS_GetText(SOAP_GetSRS(stored.handle()), 1, "v"), "9");
}

TEST(SoapReader, MultipleRecordSetsByIndex) {
    Stored stored("<return><A><x>1</x><x>2</x></A><B><p>a</p><q>b</q></B><C>c</C></return>");
    SRS_HANDLE whole = SOAP_GetMultiSRS(stored.handle(), 0);
    EXPECT_EQ(SRS_ColCount(whole), 3);  // single row: A, B, C
    SRS_HANDLE first = SOAP_GetMultiSRS(stored.handle(), 1);
    EXPECT_EQ(SRS_RowCount(first), 2);  // table of x rows
    EXPECT_STREQ(SRS_GetColName(first, 1), "#text");
    SRS_HANDLE second = SOAP_GetMultiSRS(stored.handle(), 2);
    EXPECT_EQ(Columns(second), "p:string,q:string");
    SRS_HANDLE last = SOAP_GetMultiSRS(stored.handle(), 3);
    EXPECT_EQ(Columns(last), "C:string");
    EXPECT_STREQ(SRS_GetText(last, 1, "C"), "c");
    EXPECT_EQ(SOAP_GetMultiSRS(stored.handle(), 4), nullptr);
    EXPECT_EQ(stored.Error(), "");
    EXPECT_EQ(SRS_RowCount(SOAP_GetMultiSRS(stored.handle(), -3)), 2);  // below 1: the first

    Stored childless("<return>text</return>");
    EXPECT_EQ(SOAP_GetMultiSRS(childless.handle(), 2), nullptr);
}

TEST(SoapReader, FailedReadsKeepAnEmptySetAndTheReason) {
    for (const char* text : {"", "<html><body><p>Server Error<br></body></html>", "<a><b></a>", "\x01\xff"}) {
        SOAP_HANDLE message = SOAP_new("dotnet", "M");
        SOAP_SetSoap(message, text);
        SRS_HANDLE set = SOAP_GetSRS(message);
        ASSERT_NE(set, nullptr) << text;
        EXPECT_EQ(SRS_ColCount(set), 0);
        EXPECT_STREQ(SOAP_GetLastError(message), "Invalid SOAP XML!") << text;
        EXPECT_EQ(SOAP_GetXMLTree(message), nullptr);
        SOAP_delete(message);
    }
    SOAP_HANDLE fresh = SOAP_new("dotnet", "M");
    EXPECT_EQ(SOAP_GetXMLTree(fresh), nullptr);
    EXPECT_STREQ(SOAP_GetLastError(fresh), "");
    SOAP_delete(fresh);
}

TEST(SoapReader, ARootThatIsNoSoapEnvelopeIsNoData) {
    const struct {
        const char* text;
        const char* error;
    } cases[] = {
        {"<html><head><title>Busy</title></head><body><p>Try later</p></body></html>",
         "Not a SOAP response: the root element is <html>, not a SOAP 1.1 or 1.2 Envelope"},
        {"<GetResponse><Body><r>1</r></Body></GetResponse>",
         "Not a SOAP response: the root element is <GetResponse>, not a SOAP 1.1 or 1.2 Envelope"},
        {"<echo xmlns='urn:other'><Body><r>1</r></Body></echo>",
         "Not a SOAP response: the root element is <echo> in namespace \"urn:other\", not a SOAP 1.1 or 1.2 "
         "Envelope"},
        {"<EnvelopeX><Body><r>1</r></Body></EnvelopeX>",
         "Not a SOAP response: the root element is <EnvelopeX>, not a SOAP 1.1 or 1.2 Envelope"},
        {"<s:Body xmlns:s='http://schemas.xmlsoap.org/soap/envelope/'><r>1</r></s:Body>",
         "Not a SOAP response: the root element is <s:Body> in namespace "
         "\"http://schemas.xmlsoap.org/soap/envelope/\", not a SOAP 1.1 or 1.2 Envelope"},
    };
    for (const auto& c : cases) {
        Stored stored(c.text, false);
        SRS_HANDLE set = SOAP_GetSRS(stored.handle());
        ASSERT_NE(set, nullptr) << c.text;
        EXPECT_EQ(SRS_ColCount(set), 0) << c.text;
        EXPECT_EQ(SRS_RowCount(set), 0) << c.text;
        EXPECT_EQ(stored.Error(), c.error);
        EXPECT_EQ(SOAP_GetXMLTree(stored.handle()), nullptr) << c.text;
        EXPECT_EQ(stored.Error(), c.error);
    }
}

// The root goes by its local name alone, whatever namespace it is in, if any.
TEST(SoapReader, EnvelopesUnderAnyPrefixAndNamespaceAreRead) {
    for (const char* text :
         {"<Envelope><body><r><v>9</v></r></body></Envelope>",
          "<S:Envelope xmlns:S='urn:other'><S:Body><r><v>9</v></r></S:Body></S:Envelope>",
          "<ENVELOPE xmlns='urn:other'><Body><r><v>9</v></r></Body></ENVELOPE>",
          "<soap:Envelope xmlns:soap='http://schemas.xmlsoap.org/soap/envelope/'><soap:Body><r><v>9</v></r>"
          "</soap:Body></soap:Envelope>",
          "<env:Envelope xmlns:env='http://www.w3.org/2003/05/soap-envelope'><env:Body><r><v>9</v></r>"
          "</env:Body></env:Envelope>",
          "<Envelope xmlns='http://www.w3.org/2003/05/soap-envelope'><Body><r><v>9</v></r></Body></Envelope>",
          "<?xml version='1.0'?><!-- answer --><e:Envelope "
          "xmlns:e='http://schemas.xmlsoap.org/soap/envelope/' "
          "xmlns='urn:default'><e:Body><r><v>9</v></r></e:Body></e:Envelope>"}) {
        Stored stored(text, false);
        EXPECT_STREQ(SRS_GetText(SOAP_GetSRS(stored.handle()), 1, "v"), "9") << text;
        EXPECT_EQ(stored.Error(), "") << text;
        XML_NODE tree = SOAP_GetXMLTree(stored.handle());
        ASSERT_NE(tree, nullptr) << text;
        EXPECT_STREQ(XML_GetName(tree), "r");
    }
}

// A table whose every row brings a field of a new name: rows x rows cells,
// all but one per row null. The first field may carry a long text.
std::string EverNewFields(int rows, size_t firstTextLength = 1) {
    std::string text = "<return>";
    for (int i = 0; i < rows; ++i) {
        const std::string name = "f" + std::to_string(i);
        text += "<item><" + name + ">" + (i == 0 ? std::string(firstTextLength, 'x') : std::to_string(i)) +
                "</" + name + "></item>";
    }
    return text + "</return>";
}

TEST(SoapReader, NullCellsOfATableCostNoMemory) {
    Stored stored(EverNewFields(3000));
    const size_t before = testing_support::HeapInUse();
    SRS_HANDLE set = SOAP_GetSRS(stored.handle());
    const size_t grown = testing_support::HeapInUse() - before;
    ASSERT_EQ(SRS_RowCount(set), 3000);
    ASSERT_EQ(SRS_ColCount(set), 3000);
    EXPECT_STREQ(SRS_GetText(set, 3000, "f2999"), "2999");
    EXPECT_STREQ(SRS_GetText(set, 3000, "f2998"), "");
    EXPECT_EQ(Message(stored.handle()).m_pSRS->IsNull(2999, 0), 1);
    // 9,000,000 cells, 3,000 of them written: what the written ones, the rows
    // and the columns need, not a cell's worth for each null one.
    EXPECT_LT(grown, size_t{4} << 20);
}

TEST(SoapReader, ATableMayHoldSixteenMillionCellsOrOnePerByteOfTheResponse) {
    const struct {
        int rows;
        size_t firstTextLength;
        const char* error;
    } cases[] = {
        {4096, 1, ""},
        {4097, 1, "Record set too large: 4097 rows x 4096 columns pass the limit of 16777216 cells"},
        // Past 16 MiB of response the limit is its length in bytes.
        {4097, 17u << 20, ""},
    };
    for (const auto& c : cases) {
        Stored stored(EverNewFields(c.rows, c.firstTextLength));
        SRS_HANDLE set = SOAP_GetSRS(stored.handle());
        ASSERT_NE(set, nullptr) << c.rows;
        EXPECT_EQ(stored.Error(), c.error);
        EXPECT_EQ(SRS_RowCount(set), *c.error == '\0' ? c.rows : 0) << c.rows;
        EXPECT_EQ(SRS_ColCount(set), *c.error == '\0' ? c.rows : 0) << c.rows;
    }
}

TEST(SoapReader, RunningOutOfMemoryGivesTheEmptySetTheTextAndTheMemoryBack) {
    if (!testing_support::kAddressSpaceCapWorks)
        GTEST_SKIP() << "no address-space cap under AddressSanitizer";
    std::string table = "<return>";
    for (int i = 0; i < 200000; ++i) table += "<r><a>" + std::to_string(i) + "</a><b>text</b><c>1.5</c></r>";
    table += "</return>";
    const struct {
        const char* where;
        std::string returned;
        size_t headroom;
    } cases[] = {
        {"while parsing", table, size_t{16} << 20},
        // The document fits; the cell's copy of its 40 MB text does not.
        {"while filling the set", "<return>" + std::string(size_t{40} << 20, 'x') + "</return>",
         size_t{60} << 20},
    };
    for (const auto& c : cases) {
        SOAP_HANDLE message = nullptr;
        size_t before = 0;
        const std::string answer = testing_support::RunCapped(
            c.headroom,
            [&] {
                message = SOAP_new("apache", "get");
                SOAP_SetSoap(message, (kApacheOpen + c.returned + kApacheClose).c_str());
                before = testing_support::HeapInUse();
            },
            [&]() -> std::string {
                SRS_HANDLE set = SOAP_GetSRS(message);
                if (set == nullptr) return "no set";
                if (SRS_RowCount(set) != 0 || SRS_ColCount(set) != 0) return "a set that is not empty";
                const std::string error = SOAP_GetLastError(message);
                if (error != "Out of memory while reading the XML") return "the text \"" + error + "\"";
                if (testing_support::HeapInUse() > before + (size_t{1} << 20)) return "memory kept";
                return "";
            });
        EXPECT_EQ(answer, "") << c.where;
    }
}

TEST(SoapReader, FaultLines) {
    CSoapMessage message("apache", "m");
    message.SetFault(
        "<s:Envelope xmlns:s='urn:s'><s:Body><s:Fault><faultcode>s:Server</faultcode>"
        "<faultstring>Bad input</faultstring><detail></detail></s:Fault></s:Body></s:Envelope>");
    EXPECT_STREQ(message.m_strError, "\r\nfaultcode = s:Server\r\nfaultstring = Bad input");
    message.SetFault(
        "<r><x:DETAIL xmlns:x='urn:x'><why>deep</why></x:DETAIL><FaultString>up</FaultString></r>");
    EXPECT_STREQ(message.m_strError, "\r\nfaultstring = up\r\ndetail = deep");
    // SOAP 1.2 writes Code/Value and Reason/Text; the first Text is taken.
    message.SetFault(
        "<e:Envelope xmlns:e='http://www.w3.org/2003/05/soap-envelope'><e:Body><e:Fault>"
        "<e:Code><e:Value>e:Sender</e:Value></e:Code><e:Reason><e:Text xml:lang='en'>Bad input</e:Text>"
        "<e:Text xml:lang='de'>Falsch</e:Text></e:Reason><e:Detail><why>deep</why></e:Detail>"
        "</e:Fault></e:Body></e:Envelope>");
    EXPECT_STREQ(message.m_strError, "\r\nfaultcode = e:Sender\r\nfaultstring = Bad input\r\ndetail = deep");
    message.SetFault("<html><body>Internal error</body></html>");
    EXPECT_STREQ(message.m_strError, "");
    message.SetFault("<html><body>Internal error<br></body></html>");
    EXPECT_STREQ(message.m_strError, "Invalid SOAP XML!");
    message.SetFault("");
    EXPECT_STREQ(message.m_strError, "");
}

TEST(SoapReader, ResultsBelongToTheMessage) {
    Stored stored("<return><a>1</a><b>2</b></return>");
    CSoapMessage& message = Message(stored.handle());
    SRS_HANDLE first = SOAP_GetSRS(stored.handle());
    ASSERT_NE(first, nullptr);
    SRS_HANDLE second = SOAP_GetSRS(stored.handle());
    EXPECT_EQ(reinterpret_cast<CHandleObject*>(second), static_cast<CHandleObject*>(message.m_pSRS));
    XML_NODE tree = SOAP_GetXMLTree(stored.handle());
    ASSERT_NE(tree, nullptr);
    EXPECT_STREQ(XML_GetName(tree), "getResponse");
    SOAP_Empty(stored.handle());
    EXPECT_EQ(message.m_pSRS, nullptr);
    EXPECT_EQ(message.m_pXMLTree, nullptr);
    EXPECT_EQ(SOAP_GetXMLTree(stored.handle()), nullptr);
}

TEST(SoapReader, TheSameMessageReadAgainAnswersForItsLastResponse) {
    const std::string good =
        kApacheOpen + "<return><item><a>1</a></item><item><a>2</a></item></return>" + kApacheClose;
    Stored stored("<html><body>Busy</body></html>", false);
    SOAP_HANDLE message = stored.handle();
    EXPECT_EQ(SRS_RowCount(SOAP_GetSRS(message)), 0);
    EXPECT_NE(stored.Error(), "");
    // A new response clears what the last one left, before and after reading it.
    SOAP_SetSoap(message, good.c_str());
    EXPECT_EQ(stored.Error(), "");
    for (int read = 0; read < 2; ++read) {
        SRS_HANDLE set = SOAP_GetSRS(message);
        ASSERT_EQ(SRS_RowCount(set), 2) << read;
        EXPECT_STREQ(SRS_GetText(set, 2, "a"), "2") << read;
        EXPECT_EQ(stored.Error(), "") << read;
    }
    SOAP_SetSoap(message, "<a>");
    EXPECT_EQ(SOAP_GetXMLTree(message), nullptr);
    EXPECT_EQ(stored.Error(), "Invalid SOAP XML!");
    SOAP_SetSoap(message, good.c_str());
    XML_NODE tree = SOAP_GetXMLTree(message);
    ASSERT_NE(tree, nullptr);
    EXPECT_EQ(XML_GetChildren(tree), 1);  // the return element
    EXPECT_EQ(stored.Error(), "");
    // A failed call leaves no response to read: the set is empty and its fault stays.
    Message(message).SetFault(
        "<s:Envelope xmlns:s='http://schemas.xmlsoap.org/soap/envelope/'><s:Body><s:Fault>"
        "<faultstring>Down</faultstring></s:Fault></s:Body></s:Envelope>");
    EXPECT_EQ(SRS_RowCount(SOAP_GetSRS(message)), 0);
    EXPECT_EQ(SOAP_GetXMLTree(message), nullptr);
    EXPECT_EQ(stored.Error(), "\r\nfaultstring = Down");
}

TEST(SoapApi, NullHandlesAndNodeNames) {
    SOAP_delete(nullptr);
    SOAP_Empty(nullptr);
    EXPECT_EQ(SOAP_GetSRS(nullptr), nullptr);
    EXPECT_STREQ(SOAP_GetSoap(nullptr), "");

    SRS_HANDLE set = SRS_new("Row", "", "");
    SOAP_HANDLE handle = SOAP_new("dotnet", "M");
    CSoapMessage& message = Message(handle);
    SOAP_AddNodes(handle, "", set);
    EXPECT_EQ(message.m_arrNames.GetSize(), 0);
    const struct {
        const char* given;
        const char* name;
        const char* type;
    } cases[] = {{"Items[]", "Items", "_SRS_ARRAY"},
                 {" Orders [ ] ", "Orders", "_SRS_ARRAY"},
                 {"a[1]b", "ab", "_SRS_ARRAY"},
                 {"x]y[", "x]y[", "_SRS_ARRAY"},
                 {"One", "One", "_SRS_"},
                 {"Half[", "Half[", "_SRS_"}};
    for (const auto& c : cases) {
        SOAP_Empty(handle);
        SOAP_AddNodes(handle, c.given, set);
        ASSERT_EQ(message.m_arrNames.GetSize(), 1) << c.given;
        EXPECT_STREQ(message.m_arrNames[0], c.name) << c.given;
        EXPECT_STREQ(message.m_arrTypes[0], c.type) << c.given;
    }
    SOAP_delete(handle);
    SRS_delete(set);
}

}  // namespace

namespace {

// A set's rows, cells joined by '|', rows by ';'.
std::string Cells(SRS_HANDLE set) {
    std::string out;
    for (int r = 1; r <= SRS_RowCount(set); ++r) {
        if (r > 1) out += ";";
        for (int c = 1; c <= SRS_ColCount(set); ++c)
            out += std::string(c > 1 ? "|" : "") + SRS_GetTextAt(set, r, c);
    }
    return out;
}

// After the response's end, siblings of it; then the response again for kApacheClose.
const std::string kReopen = "<ns1:getResponse xmlns:ns1=\"urn:orders\">";

// Levels of ten references each to the next level: a small text whose
// expansion would be 10^8 nodes.
std::string Laughs() {
    std::string text = "<return href=\"#l0\"/></ns1:getResponse>";
    for (int level = 0; level < 8; ++level) {
        text += "<x id=\"l" + std::to_string(level) + "\">";
        for (int i = 0; i < 10; ++i) text += "<y href=\"#l" + std::to_string(level + 1) + "\"/>";
        text += "</x>";
    }
    return text + "<x id=\"l8\">z</x>" + kReopen;
}

}  // namespace

// Shared references of SOAP-encoded answers, in the forms services write:
// the object written once beside the response (Axis' multiRef, gSOAP's and
// .NET's siblings), items of an array pointing at it, SOAP 1.2's ref/id
// with the rpc:result that names the return element.
TEST(SoapReader, SharedReferencesAreReadAsTheElementsTheyName) {
    const std::string part = "<Id xsi:type=\"xsd:int\">1</Id><Name>Bolt</Name>";
    const std::string soap12 =
        "<env:Envelope xmlns:env=\"http://www.w3.org/2003/05/soap-envelope\" "
        "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" "
        "xmlns:enc=\"http://www.w3.org/2003/05/soap-encoding\" "
        "xmlns:rpc=\"http://www.w3.org/2003/05/soap-rpc\">"
        "<env:Body><m:GetResponse xmlns:m=\"urn:m\"><rpc:result>Parts</rpc:result><Parts>"
        "<Item enc:id=\"p1\">" +
        part +
        "</Item><Item enc:ref=\"p1\"/><Item><Id>2</Id><Name>Nut</Name></Item>"
        "</Parts></m:GetResponse></env:Body></env:Envelope>";
    const struct {
        std::string text;
        bool wrap;
        std::string columns, cells, error;
    } cases[] = {
        {"<return href=\"#a\"/></ns1:getResponse><SOAP-ENC:Array id=\"a\"><item href=\"#p\"/><item "
         "href=\"#p\"/>"
         "</SOAP-ENC:Array><Part id=\"p\">" +
             part + "</Part>" + kReopen,
         true, "Id:int,Name:string", "1|Bolt;1|Bolt", ""},
        {"<return href=\"#id0\"/></ns1:getResponse><multiRef id=\"id0\" SOAP-ENC:root=\"0\" "
         "xsi:type=\"ns1:Part\">" +
             part + "</multiRef>" + kReopen,
         true, "Id:int,Name:string", "1|Bolt", ""},
        {soap12, false, "Id:int,Name:string", "1|Bolt;1|Bolt;2|Nut", ""},
        {"<return href=\"#gone\"/>", true, "", "", "Unresolved reference: no element has the id \"gone\""},
        {"<return href=\"#a\"/></ns1:getResponse><x id=\"a\"><y href=\"#a\"/></x>" + kReopen, true, "", "",
         "Reference cycle: the element with the id \"a\" holds a reference to itself"},
        {Laughs(), true, "", "", "References expand past the limit of 1048576 nodes"},
    };
    for (const auto& c : cases) {
        Stored stored(c.text, c.wrap);
        SRS_HANDLE set = SOAP_GetSRS(stored.handle());
        EXPECT_EQ(stored.Error(), c.error);
        EXPECT_EQ(Columns(set), c.columns) << c.text;
        EXPECT_EQ(Cells(set), c.cells) << c.text;
        // The tree of the answer resolves them as well.
        XML_NODE tree = SOAP_GetXMLTree(stored.handle());
        EXPECT_EQ(tree == nullptr, !c.error.empty());
        EXPECT_EQ(stored.Error(), c.error);
    }
    // In a literal answer href is data.
    SOAP_HANDLE literal = SOAP_new("dotnet", "get");
    SOAP_SetSoap(
        literal,
        "<soap:Envelope xmlns:soap=\"http://schemas.xmlsoap.org/soap/envelope/\"><soap:Body><getResponse>"
        "<getResult><a href=\"#top\">up</a><b>2</b></getResult></getResponse></soap:Body></soap:Envelope>");
    EXPECT_EQ(Cells(SOAP_GetSRS(literal)), "up|2");
    SOAP_delete(literal);
}

// A diffgram without a schema: tables in the order their rows first come,
// columns in the order their fields do, names decoded, a missing field null.
TEST(SoapReader, ADiffgramWithoutASchemaIsReadAsItsRows) {
    const std::string diffgram =
        "<soap:Envelope xmlns:soap=\"http://schemas.xmlsoap.org/soap/envelope/\"><soap:Body><GetResponse>"
        "<GetResult><diffgr:diffgram xmlns:diffgr=\"urn:schemas-microsoft-com:xml-diffgram-v1\"><Data>"
        "<A_x0020_B><x>1</x></A_x0020_B><C><z>9</z></C><A_x0020_B><y_x0021_/><x>2</x></A_x0020_B>"
        "</Data><diffgr:before><C><z>8</z></C></diffgr:before></diffgr:diffgram></GetResult>"
        "</GetResponse></soap:Body></soap:Envelope>";
    SOAP_HANDLE message = SOAP_new("dotnet", "Get");
    SOAP_SetSoap(message, diffgram.c_str());
    const struct {
        int index;
        const char* name;
        const char* columns;
        const char* cells;
    } cases[] = {
        {0, "A B", "x:string,y!:string", "1|;2|"},
        {1, "A B", "x:string,y!:string", "1|;2|"},
        {2, "C", "z:string", "9"},
    };
    for (const auto& c : cases) {
        SRS_HANDLE set = SOAP_GetMultiSRS(message, c.index);
        ASSERT_NE(set, nullptr);
        EXPECT_STREQ(SRS_GetName(set), c.name);
        EXPECT_EQ(Columns(set), c.columns);
        EXPECT_EQ(Cells(set), c.cells);
    }
    SRS_HANDLE first = SOAP_GetSRS(message);
    EXPECT_TRUE(SRS_IsNull(first, 1, 2) != 0 && SRS_IsNull(first, 2, 2) == 0);  // left out; written empty
    EXPECT_EQ(SOAP_GetMultiSRS(message, 3), nullptr);
    SOAP_delete(message);
}
