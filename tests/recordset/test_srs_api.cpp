#include <orvex.h>

#include <gtest/gtest.h>

#include "common/test_support.h"

#include <climits>
#include <cstring>
#include <string>
#include <utility>

using testing_support::ScopedCodePage;
using testing_support::ScopedTimeZone;

namespace {

// Owns a record set made through the C functions.
class RecordSet {
public:
    RecordSet() : m_hSet(SRS_new("Order", "urn:shop", "OrderType")) {}
    ~RecordSet() { SRS_delete(m_hSet); }
    RecordSet(const RecordSet&) = delete;
    RecordSet& operator=(const RecordSet&) = delete;
    operator SRS_HANDLE() const { return m_hSet; }  // NOLINT(google-explicit-constructor)

private:
    SRS_HANDLE m_hSet;
};

std::string Str(const char* text) { return text != nullptr ? text : "(null)"; }

}  // namespace

TEST(RecordSetApi, NumbersStartAtOne) {
    RecordSet set;
    ASSERT_NE(static_cast<SRS_HANDLE>(set), nullptr);
    EXPECT_EQ(SRS_AddCol(set, "Id", "int"), 1);
    EXPECT_EQ(SRS_AddCol(set, "Note", "varchar2"), 1);
    EXPECT_EQ(SRS_AddRow(set), 1);
    EXPECT_EQ(SRS_AddRow(set), 2);
    EXPECT_EQ(SRS_RowCount(set), 2);
    EXPECT_EQ(SRS_ColCount(set), 2);
    SRS_SetText(set, 1, "Id", "10");
    SRS_SetText(set, 2, "ID", "20");
    SRS_SetText(set, 0, "Id", "0");   // no row 0
    SRS_SetText(set, 3, "Id", "30");  // beyond the last row
    SRS_SetText(set, INT_MIN, "Id", "x");
    SRS_SetText(set, INT_MAX, "Id", "x");
    SRS_SetText(set, 1, "Missing", "x");
    EXPECT_EQ(Str(SRS_GetText(set, 1, "id")), "10");
    EXPECT_EQ(Str(SRS_GetText(set, 2, "Id")), "20");
    EXPECT_EQ(Str(SRS_GetText(set, 0, "Id")), "");
    EXPECT_EQ(Str(SRS_GetText(set, 3, "Id")), "");
    EXPECT_EQ(Str(SRS_GetText(set, INT_MIN, "Id")), "");
    EXPECT_EQ(Str(SRS_GetText(set, 1, "Note")), "");
    EXPECT_EQ(SRS_GetInt(set, 2, "Id"), 20);
    EXPECT_DOUBLE_EQ(SRS_GetDouble(set, 1, "Id"), 10.0);
    EXPECT_EQ(Str(SRS_GetColName(set, 1)), "Id");
    EXPECT_EQ(Str(SRS_GetColName(set, 2)), "Note");
    EXPECT_EQ(Str(SRS_GetColName(set, 0)), "");
    EXPECT_EQ(Str(SRS_GetColName(set, 3)), "");
    EXPECT_EQ(Str(SRS_GetColName(set, INT_MIN)), "");
    EXPECT_EQ(Str(SRS_GetColType(set, "NOTE")), "string");
    EXPECT_EQ(Str(SRS_GetColType(set, "id")), "int");
    EXPECT_EQ(Str(SRS_GetColType(set, "other")), "");
    EXPECT_EQ(Str(SRS_GetColType(set, nullptr)), "");
    EXPECT_EQ(Str(SRS_GetColTypeName(set, 2)), "varchar2");  // as given, not folded
    EXPECT_EQ(Str(SRS_GetColTypeName(set, 3)), "");
}

TEST(RecordSetApi, CellsByNumberTellNullFromEmpty) {
    RecordSet set;
    SRS_AddCol(set, "Id", "int");
    SRS_AddCol(set, "id", "string");  // a second column of the same name
    SRS_AddRow(set);
    SRS_SetText(set, 1, "Id", "");
    SRS_SetText(set, 1, "Id", "7");
    EXPECT_EQ(Str(SRS_GetTextAt(set, 1, 1)), "7");
    EXPECT_EQ(Str(SRS_GetTextAt(set, 1, 2)), "");
    EXPECT_EQ(SRS_IsNull(set, 1, 1), 0);
    EXPECT_EQ(SRS_IsNull(set, 1, 2), 1);
    SRS_AddRow(set);
    SRS_SetText(set, 2, "Id", "");
    EXPECT_EQ(SRS_IsNull(set, 2, 1), 0);  // "" is a value
    for (const auto& [row, col] : {std::pair{0, 1}, {3, 1}, {1, 0}, {1, 3}, {INT_MIN, 1}, {1, INT_MIN}}) {
        EXPECT_EQ(Str(SRS_GetTextAt(set, row, col)), "") << row << "," << col;
        EXPECT_EQ(SRS_IsNull(set, row, col), 1) << row << "," << col;
    }
    EXPECT_EQ(SRS_GetTextAt(nullptr, 1, 1), nullptr);
    EXPECT_EQ(SRS_IsNull(nullptr, 1, 1), 0);
    EXPECT_EQ(SRS_GetColTypeName(nullptr, 1), nullptr);
}

TEST(RecordSetApi, CodePageNamesTheOneInForce) {
    EXPECT_STREQ(Orvex_CodePage(), "UTF-8");
    {
        ScopedCodePage latin("CP1252");
        EXPECT_STREQ(Orvex_CodePage(), "CP1252");
    }
    ScopedCodePage unknown("no-such-code-page");
    EXPECT_STREQ(Orvex_CodePage(), "UTF-8");
}

TEST(RecordSetApi, OneColumnSet) {
    RecordSet set;
    SRS_AddCol(set, "Only", "string");
    SRS_AddRow(set);
    SRS_SetText(set, 1, "wrong", "x");
    EXPECT_EQ(Str(SRS_GetText(set, 1, "Only")), "");
    SRS_SetText(set, 1, "only", "kept");
    EXPECT_EQ(Str(SRS_GetText(set, 1, "anything")), "kept");
    EXPECT_EQ(Str(SRS_GetText(set, 1, nullptr)), "kept");
    EXPECT_EQ(Str(SRS_GetString(set, 1, "")), "kept");
    EXPECT_EQ(Str(SRS_GetDate(set, 1, "x")), "kept");
    // The column type is looked up by name only.
    EXPECT_EQ(Str(SRS_GetColType(set, "anything")), "");
}

TEST(RecordSetApi, NullHandles) {
    SRS_delete(nullptr);
    EXPECT_EQ(SRS_AddCol(nullptr, "A", "int"), 0);
    EXPECT_EQ(SRS_AddRow(nullptr), 0);
    EXPECT_EQ(SRS_RowCount(nullptr), 0);
    EXPECT_EQ(SRS_ColCount(nullptr), 0);
    SRS_SetText(nullptr, 1, "A", "x");
    EXPECT_EQ(SRS_GetText(nullptr, 1, "A"), nullptr);
    EXPECT_EQ(SRS_GetString(nullptr, 1, "A"), nullptr);
    EXPECT_EQ(SRS_GetDate(nullptr, 1, "A"), nullptr);
    char date[8] = "keep";
    char time[8] = "keep";
    EXPECT_EQ(SRS_GetDatetime(nullptr, 1, "A", date, time), nullptr);
    EXPECT_EQ(SRS_GetDatetimeEx(nullptr, 1, "A", date, sizeof date, time, sizeof time), nullptr);
    EXPECT_STREQ(date, "keep");
    EXPECT_STREQ(time, "keep");
    EXPECT_EQ(SRS_GetBoolean(nullptr, 1, "A"), 0);
    EXPECT_EQ(SRS_GetInt(nullptr, 1, "A"), 0);
    EXPECT_EQ(SRS_GetDouble(nullptr, 1, "A"), 0.0);
    EXPECT_EQ(SRS_GetColType(nullptr, "A"), nullptr);
    EXPECT_EQ(SRS_GetColName(nullptr, 1), nullptr);
    EXPECT_EQ(SRS_toXML(nullptr, "dotnet", "P", 0), nullptr);
}

TEST(RecordSetApi, NullTextsAndNames) {
    SRS_HANDLE set = SRS_new(nullptr, nullptr, nullptr);
    ASSERT_NE(set, nullptr);
    EXPECT_EQ(SRS_AddCol(set, nullptr, nullptr), 1);
    EXPECT_EQ(SRS_AddCol(set, "B", "int"), 1);
    SRS_AddRow(set);
    EXPECT_EQ(Str(SRS_GetColType(set, nullptr)), "string");  // the column named ""
    EXPECT_EQ(Str(SRS_GetColTypeName(set, 1)), "");          // a NULL type name
    SRS_SetText(set, 1, nullptr, "by empty name");
    SRS_SetText(set, 1, "B", nullptr);  // a null text changes nothing: the cell stays null
    EXPECT_EQ(Str(SRS_GetText(set, 1, "")), "by empty name");
    EXPECT_EQ(Str(SRS_toXML(set, nullptr, nullptr, 0)),
              "< xmlns:ns2=\"\" xsi:type=\"ns2:\">< xsi:type=\"xsd:string\">by empty name</>"
              "<B xsi:type=\"xsd:int\">0</B></>");
    SRS_delete(set);
}

TEST(RecordSetApi, DatetimeIntoCallerBuffers) {
    ScopedTimeZone tz("CET-1CEST,M3.5.0,M10.5.0/3");
    RecordSet set;
    SRS_AddCol(set, "When", "dateTime");
    SRS_AddCol(set, "Id", "int");
    SRS_AddRow(set);
    SRS_SetText(set, 1, "When", "2005-07-01T10:20:30Z");
    char date[SRS_DATETIME_BUFFER];
    char time[SRS_DATETIME_BUFFER];
    EXPECT_EQ(Str(SRS_GetDatetime(set, 1, "When", date, time)), "2005-07-01 12:20:30");
    EXPECT_STREQ(date, "2005-07-01");
    EXPECT_STREQ(time, "12:20:30");
    EXPECT_EQ(Str(SRS_GetString(set, 1, "When")), "2005-07-01 12:20:30");
    EXPECT_EQ(Str(SRS_GetDate(set, 1, "When")), "2005-07-01");
    // Either buffer may be left out.
    EXPECT_EQ(Str(SRS_GetDatetime(set, 1, "When", nullptr, time)), "2005-07-01 12:20:30");
    EXPECT_EQ(Str(SRS_GetDatetime(set, 1, "When", date, nullptr)), "2005-07-01 12:20:30");
    // No value: both buffers receive the empty text.
    SRS_SetText(set, 1, "When", "1970-01-01T00:00:00");
    EXPECT_EQ(Str(SRS_GetDatetime(set, 1, "When", date, time)), "");
    EXPECT_STREQ(date, "");
    EXPECT_STREQ(time, "");
}

TEST(RecordSetApi, LongCellsCannotOverflowTheBuffers) {
    RecordSet set;
    SRS_AddCol(set, "When", "dateTime");
    SRS_AddCol(set, "Id", "int");
    SRS_AddRow(set);
    const std::string cell = "2005-03-07" + std::string(50000, 'x') + "T" + std::string(50000, '9');
    ASSERT_EQ(cell.size(), 100011u);
    SRS_SetText(set, 1, "When", cell.c_str());
    // Guard bytes after the room the function may use.
    char date[SRS_DATETIME_BUFFER + 16];
    char time[SRS_DATETIME_BUFFER + 16];
    std::memset(date, '#', sizeof date);
    std::memset(time, '#', sizeof time);
    const std::string full = Str(SRS_GetDatetime(set, 1, "When", date, time));
    EXPECT_EQ(full, cell.substr(0, 50010) + " " + std::string(50000, '9'));
    EXPECT_EQ(std::string(date), cell.substr(0, SRS_DATETIME_BUFFER - 1));
    EXPECT_EQ(std::string(time), std::string(SRS_DATETIME_BUFFER - 1, '9'));
    for (size_t i = SRS_DATETIME_BUFFER; i < sizeof date; ++i) {
        EXPECT_EQ(date[i], '#') << i;
        EXPECT_EQ(time[i], '#') << i;
    }
    // With the sizes given, the same text is cut to what each buffer holds.
    char small[6];
    std::memset(small, '#', sizeof small);
    char untouched[4] = "abc";
    SRS_GetDatetimeEx(set, 1, "When", small, 5, untouched, 0);
    EXPECT_STREQ(small, "2005");
    EXPECT_EQ(small[5], '#');
    EXPECT_STREQ(untouched, "abc");
    SRS_GetDatetimeEx(set, 1, "When", small, -3, untouched, 1);
    EXPECT_STREQ(small, "2005");
    EXPECT_STREQ(untouched, "");
}

TEST(RecordSetApi, ReturnedTextsLiveUntilTheNextTextCall) {
    RecordSet set;
    SRS_AddCol(set, "A", "string");
    SRS_AddCol(set, "B", "string");
    SRS_AddRow(set);
    SRS_SetText(set, 1, "A", "first");
    SRS_SetText(set, 1, "B", "second");
    const char* a = SRS_GetText(set, 1, "A");
    EXPECT_STREQ(a, "first");
    EXPECT_EQ(SRS_RowCount(set), 1);  // no text returned: a stays
    EXPECT_STREQ(a, "first");
    EXPECT_EQ(Str(SRS_GetText(set, 1, "B")), "second");
}

// The returned text is the buffer's copy: changing the cell leaves it be.
TEST(RecordSetApi, AReturnedTextOutlivesAChangeOfItsCell) {
    RecordSet set;
    SRS_AddCol(set, "A", "string");
    SRS_AddCol(set, "B", "string");
    SRS_AddRow(set);
    const std::string longText(1000, 'x');
    SRS_SetText(set, 1, "A", longText.c_str());
    EXPECT_EQ(Str(SRS_GetText(set, 1, "A")), longText);
    SRS_SetText(set, 1, "A", "short");
    const char* a = SRS_GetText(set, 1, "a");
    SRS_SetText(set, 1, "A", longText.c_str());
    EXPECT_STREQ(a, "short");
    EXPECT_EQ(Str(SRS_GetText(set, 1, "B")), "");
    EXPECT_EQ(Str(SRS_GetText(set, 2, "A")), "");
}

TEST(RecordSetApi, ToXmlAndDeleteThroughAnyFamily) {
    SRS_HANDLE set = SRS_new("Order", "urn:shop", "OrderType");
    EXPECT_EQ(Str(SRS_toXML(set, "dot net", "Orders", 0)), "<Orders xsi:nil=\"true\"/>");
    SRS_AddCol(set, "Id", "int");
    SRS_AddCol(set, "Note", "string");
    SRS_AddRow(set);
    SRS_SetText(set, 1, "Id", "1");
    SRS_SetText(set, 1, "Note", "a&b");
    SRS_AddRow(set);
    SRS_SetText(set, 2, "Id", "2");
    EXPECT_EQ(Str(SRS_toXML(set, "dot net", "Orders", 0)),
              "<Orders><Order><Id>1</Id><Note>a&amp;b</Note></Order><Order><Id>2</Id>"
              "<Note xsi:nil=\"true\"/></Order></Orders>");
    HTTP_delete(reinterpret_cast<HTTP_HANDLE>(set));
}
