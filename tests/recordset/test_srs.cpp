#include "recordset/srs.h"

#include <orvex/text_util.h>

#include <gtest/gtest.h>

#include "common/test_support.h"

#include <climits>
#include <string>

using testing_support::ScopedCodePage;
using testing_support::ScopedTimeZone;

namespace {

const char kCentralEurope[] = "CET-1CEST,M3.5.0,M10.5.0/3";

std::string Text(SRS& set, int row, const char* col) {
    CString out("stale");
    set.GetText(row, col, out);
    return out.str();
}

std::string Text(SRS& set, int row, int col) {
    CString out("stale");
    set.GetText(row, col, out);
    return out.str();
}

struct Datetime {
    std::string m_strDatetime;
    std::string m_strDate;
    std::string m_strTime;
};

Datetime ReadDatetime(SRS& set, int row, const char* col) {
    CString datetime("stale");
    CString date("stale");
    CString time("stale");
    set.GetDatetime(row, col, datetime, date, time);
    return {datetime.str(), date.str(), time.str()};
}

// A one-row set with a dateTime column D and a string column S holding value.
Datetime ParseCell(const char* value) {
    SRS set;
    set.AddCol("D", "dateTime");
    set.AddCol("S", "string");
    set.AddRow();
    set.SetText(0, "D", value);
    return ReadDatetime(set, 0, "D");
}

}  // namespace

TEST(RecordSet, StartsEmptyWithItsThreeTexts) {
    SRS set("Order", "urn:shop", "OrderType");
    EXPECT_EQ(set.ColCount(), 0);
    EXPECT_EQ(set.RowCount(), 0);
    EXPECT_STREQ(set.GetName(), "Order");
    EXPECT_EQ(set.m_strNameSpace.str(), "urn:shop");
    EXPECT_EQ(set.m_strType.str(), "OrderType");
    SRS unnamed(nullptr, nullptr, nullptr);
    EXPECT_STREQ(unnamed.GetName(), "");
}

TEST(RecordSet, RowsAndColumnsGrowTogether) {
    SRS set;
    EXPECT_EQ(set.AddCol("Id", "int"), 1);
    EXPECT_EQ(set.AddCol("Note", "nvarchar"), 1);
    EXPECT_EQ(set.AddRow(), 0);
    EXPECT_EQ(set.AddRow(), 1);
    EXPECT_EQ(set.AddRow(), 2);
    set.SetText(0, "Id", "1");
    set.SetText(2, 1, "c");
    // A column added after rows is null in each of them.
    EXPECT_EQ(set.AddCol("When", "dateTime"), 1);
    ASSERT_EQ(set.ColCount(), 3);
    for (int row = 0; row < 3; ++row) EXPECT_EQ(set.IsNull(row, 2), 1);
    set.SetText(1, "when", "");
    EXPECT_EQ(set.IsNull(1, 2), 0);
    EXPECT_EQ(set.IsNull(0, 2), 1);
    EXPECT_EQ(Text(set, 0, 0), "1");
    EXPECT_EQ(Text(set, 2, 1), "c");
    EXPECT_EQ(set.IsNull(0, 0), 0);
    EXPECT_EQ(set.IsNull(0, 1), 1);
    EXPECT_EQ(set.AddRow(), 3);
    EXPECT_EQ(set.IsNull(3, 0), 1);
}

TEST(RecordSet, OnlyWrittenCellsTakeRoomInTheirRow) {
    SRS set("R");
    for (const char* name : {"A", "B", "C", "D", "E"}) set.AddCol(name, "string");
    set.AddRow();
    set.AddRow();
    EXPECT_EQ(set.m_arrRows[0]->m_arrCells.size(), 0u);
    // Written out of column order, with gaps: found by column all the same.
    for (int col : {3, 1, 4, 0}) set.SetText(0, col, std::to_string(col).c_str());
    set.SetText(0, 3, "again");
    EXPECT_EQ(set.m_arrRows[0]->m_arrCells.size(), 4u);
    EXPECT_EQ(set.m_arrRows[1]->m_arrCells.size(), 0u);
    const char* expected[] = {"0", "1", "", "again", "4"};
    for (int col = 0; col < 5; ++col) {
        EXPECT_EQ(Text(set, 0, col), expected[col]) << col;
        EXPECT_EQ(set.IsNull(0, col), col == 2 ? 1 : 0) << col;
        EXPECT_EQ(set.IsNull(1, col), 1) << col;
    }
    set.SetText(1, 4, "");
    EXPECT_EQ(set.IsNull(1, 4), 0);
    EXPECT_EQ(set.IsNull(1, 3), 1);
    CString xml;
    set.toXML(xml, ".net", "T", 1);
    EXPECT_EQ(xml.str(),
              "<T><R><A>0</A><B>1</B><C xsi:nil=\"true\"/><D>again</D><E>4</E></R>"
              "<R><A xsi:nil=\"true\"/><B xsi:nil=\"true\"/><C xsi:nil=\"true\"/><D "
              "xsi:nil=\"true\"/><E/></R></T>");
}

TEST(RecordSet, NullFlagsAndRanges) {
    SRS set;
    set.AddCol("A", "string");
    set.AddCol("B", "string");
    set.AddRow();
    for (int row : {-1, 1, INT_MIN, INT_MAX})
        for (int col : {-1, 0, 2, INT_MIN, INT_MAX}) {
            EXPECT_EQ(set.IsNull(row, col), 1);
            EXPECT_EQ(Text(set, row, col), "");
            set.SetText(row, col, "x");  // nothing happens
        }
    EXPECT_EQ(set.IsNull(0, 0), 1);
    set.SetText(0, 0, "");
    EXPECT_EQ(set.IsNull(0, 0), 0);
    EXPECT_EQ(Text(set, 0, 0), "");
    set.SetText(0, 1, nullptr);  // a null text changes nothing
    EXPECT_EQ(set.IsNull(0, 1), 1);
    set.SetText(0, 1, "b");
    set.SetText(0, 1, nullptr);
    EXPECT_EQ(Text(set, 0, 1), "b");
    EXPECT_EQ(set.RowCount(), 1);
    EXPECT_EQ(set.ColCount(), 2);
}

TEST(RecordSet, FindColIgnoresCaseAndTakesTheFirst) {
    SRS set;
    set.AddCol("NAME", "string");
    set.AddCol("Other", "int");
    set.AddCol("name", "int");
    EXPECT_EQ(set.FindCol("Name"), 0);
    EXPECT_EQ(set.FindCol("OTHER"), 1);
    EXPECT_EQ(set.FindCol("missing"), -1);
    EXPECT_EQ(set.FindCol(""), -1);
    EXPECT_EQ(set.FindCol(nullptr), -1);
    set.AddCol("", "int");
    EXPECT_EQ(set.FindCol(""), 3);
    EXPECT_EQ(set.FindCol(nullptr), 3);
}

TEST(RecordSet, ColumnNamesOfADoubleByteCodePageMatchWholeCharacters) {
    ScopedCodePage cp("CP932");
    SRS set;
    set.AddCol("\x83\x61", "string");  // katakana DI: 83 61
    set.AddCol("\x83\x41", "string");  // katakana A: 83 41
    set.AddRow();
    EXPECT_EQ(set.FindCol("\x83\x41"), 1);
    set.SetText(0, "\x83\x41", "a");
    EXPECT_EQ(Text(set, 0, 1), "a");
    EXPECT_EQ(set.IsNull(0, 0), 1);
}

// Names are remembered with their answers; every change of the columns, or
// of the case folding, must be seen by the next lookup.
TEST(RecordSet, FindColFollowsTheColumnsAsTheyChange) {
    ScopedCodePage utf8("UTF-8");
    SRS set;
    set.AddCol("tns:Id", "string");
    set.AddCol("Name", "string");
    for (int round = 0; round < 3; ++round) {
        EXPECT_EQ(set.FindCol("Id"), 0);
        EXPECT_EQ(set.FindCol("NAME"), 1);
        EXPECT_EQ(set.FindCol("Name"), 1);
        EXPECT_EQ(set.FindCol("Note"), -1);
    }
    set.AddCol("ID", "string");  // equal ignoring case wins over the local name
    set.AddCol("note", "string");
    EXPECT_EQ(set.FindCol("Note"), 3);
    EXPECT_EQ(set.FindCol("Id"), 2);
    set.RemoveAll();
    EXPECT_EQ(set.FindCol("Id"), -1);
    set.AddCol("Name", "string");
    set.AddCol("Id", "string");
    EXPECT_EQ(set.FindCol("Id"), 1);
    EXPECT_EQ(set.FindCol("NAME"), 0);
    // A trail byte is a letter under UTF-8 rules and none under CP932's.
    SRS dbcs;
    dbcs.AddCol("\x83\x61", "string");
    dbcs.AddCol("\x83\x41", "string");
    EXPECT_EQ(dbcs.FindCol("\x83\x41"), 0);
    ScopedCodePage cp932("CP932");
    EXPECT_EQ(dbcs.FindCol("\x83\x41"), 1);
}

TEST(RecordSet, ANameWithoutPrefixFindsTheFirstColumnOfThatLocalName) {
    SRS set;
    for (const char* name : {"tns:Id", "Name", "a:Name", "x:Note", "y:note", "b:Ref", "Ref", "p:q:Deep"})
        set.AddCol(name, "string");
    const struct {
        const char* name;
        int col;
    } cases[] = {
        {"tns:Id", 0}, {"Id", 0},      {"ID", 0},    {"Name", 1}, {"a:name", 2},
        {"Note", 3},   {"Ref", 6},     {"b:Ref", 5}, {"Deep", 7}, {"z:Id", -1},
        {":Id", -1},   {"q:Deep", -1}, {"tns", -1},  {"x:", -1},  {"", -1},
    };
    for (const auto& c : cases) EXPECT_EQ(set.FindCol(c.name), c.col) << c.name;
    set.AddRow();
    set.SetText(0, "Id", "7");
    EXPECT_EQ(Text(set, 0, "tns:Id"), "7");
    EXPECT_EQ(set.GetInt(0, "id"), 7);
}

TEST(RecordSet, OneColumnAnswersEveryNameButSetTextDoesNot) {
    SRS set;
    set.AddCol("Qty", "int");
    set.AddRow();
    set.SetText(0, "wrong", "5");
    EXPECT_EQ(set.IsNull(0, 0), 1);
    set.SetText(0, "qty", "42abc");
    for (const char* name : {"Qty", "wrong", "", static_cast<const char*>(nullptr)}) {
        EXPECT_EQ(Text(set, 0, name), "42abc");
        EXPECT_EQ(set.GetInt(0, name), 42);
        EXPECT_DOUBLE_EQ(set.GetDouble(0, name), 42.0);
        CString out;
        set.GetString(0, name, out);
        EXPECT_EQ(out.str(), "42abc");
        set.GetDate(0, name, out);
        EXPECT_EQ(out.str(), "42abc");
    }
    // With a second column the rule is gone.
    set.AddCol("Price", "double");
    EXPECT_EQ(Text(set, 0, "wrong"), "");
    EXPECT_EQ(set.GetInt(0, "wrong"), 0);
    EXPECT_DOUBLE_EQ(set.GetDouble(0, "wrong"), 0.0);
    CString out("stale");
    set.GetString(0, "wrong", out);
    EXPECT_EQ(out.str(), "");
}

TEST(RecordSet, TypedGetters) {
    SRS set;
    set.AddCol("B", "boolean");
    set.AddCol("S", "string");
    set.AddCol("D", "double");
    for (const char* value : {"true", "TRUE", "1", "yes", "", " true", "-12.5e1x", "99999999999"}) {
        const int row = set.AddRow();
        set.SetText(row, "B", value);
        set.SetText(row, "S", value);
        set.SetText(row, "D", value);
    }
    const int expectedBoolean[] = {1, 1, 0, 0, 0, 0, 0, 0};
    const int expectedInt[] = {0, 0, 1, 0, 0, 0, -12, INT_MAX};
    const double expectedDouble[] = {0.0, 0.0, 1.0, 0.0, 0.0, 0.0, -125.0, 99999999999.0};
    for (int row = 0; row < set.RowCount(); ++row) {
        EXPECT_EQ(set.GetBoolean(row, "S"), expectedBoolean[row]) << row;
        EXPECT_EQ(set.GetBoolean(row, "B"), expectedBoolean[row]) << row;
        // A boolean column reads as 1 or 0 only for "true".
        EXPECT_EQ(set.GetInt(row, "B"), expectedBoolean[row]) << row;
        EXPECT_DOUBLE_EQ(set.GetDouble(row, "B"), expectedBoolean[row]) << row;
        EXPECT_EQ(set.GetInt(row, "S"), expectedInt[row]) << row;
        EXPECT_DOUBLE_EQ(set.GetDouble(row, "D"), expectedDouble[row]) << row;
    }
    set.SetText(0, "S", "-99999999999");
    EXPECT_EQ(set.GetInt(0, "S"), INT_MIN);
    EXPECT_EQ(set.GetBoolean(99, "S"), 0);
    EXPECT_EQ(set.GetInt(99, "S"), 0);
}

TEST(RecordSet, NumbersReadTheSameInEveryLocale) {
    SRS set;
    set.AddCol("D", "double");
    set.AddRow();
    set.SetText(0, "D", "3.25");
    const char* old = setlocale(LC_NUMERIC, nullptr);
    const std::string saved = old != nullptr ? old : "C";
    // A locale with a decimal comma, where one is installed.
    const bool switched = setlocale(LC_NUMERIC, "de_DE.UTF-8") != nullptr;
    EXPECT_DOUBLE_EQ(set.GetDouble(0, "D"), 3.25);
    setlocale(LC_NUMERIC, saved.c_str());
    if (!switched) GTEST_LOG_(INFO) << "no de_DE locale here; read in the C locale only";
}

TEST(RecordSet, ColumnTypesAndNames) {
    SRS set;
    set.AddCol("A", "VARCHAR2");
    set.AddCol("B", "smalldatetime");
    set.AddCol("C", "money");
    CString out("stale");
    set.GetColType(0, out);
    EXPECT_EQ(out.str(), "string");
    set.GetColType(1, out);
    EXPECT_EQ(out.str(), "dateTime");
    set.GetColType(2, out);
    EXPECT_EQ(out.str(), "string");
    EXPECT_EQ(set.GetColType(1), TYPE_DATETIME);
    EXPECT_EQ(set.GetColType(2), TYPE_UNKNOWN);
    for (int col : {-1, 3, INT_MIN, INT_MAX}) {
        EXPECT_EQ(set.GetColType(col), 0);
        set.GetColType(col, out);
        EXPECT_EQ(out.str(), "");
        out = "stale";
        set.GetColName(col, out);
        EXPECT_EQ(out.str(), "");
    }
    set.GetColName(1, out);
    EXPECT_EQ(out.str(), "B");
}

TEST(RecordSet, RemoveAllKeepsTheTexts) {
    SRS set("Row", "urn:x", "RowType");
    set.AddCol("A", "int");
    set.AddRow();
    set.RemoveAll();
    EXPECT_EQ(set.ColCount(), 0);
    EXPECT_EQ(set.RowCount(), 0);
    EXPECT_STREQ(set.GetName(), "Row");
    EXPECT_EQ(set.m_strType.str(), "RowType");
    set.AddCol("B", "int");
    EXPECT_EQ(set.AddRow(), 0);
}

TEST(RecordSet, CellsSetOverAndOverKeepTheirRoomSmall) {
    SRS set;
    set.AddCol("A", "string");
    set.AddCol("B", "string");
    for (int row = 0; row < 3; ++row) set.AddRow();
    set.SetText(1, 0, "left as it is");
    std::string text;
    for (int i = 0; i < 1000000; ++i) {
        // Lengths that rise and fall: a longer text cannot take the last one's place.
        text.assign(static_cast<size_t>(1 + i % 97), static_cast<char>('a' + i % 26));
        set.SetText(i % 2 == 0 ? 0 : 2, i % 4 < 2 ? 0 : 1, text.c_str());
    }
    EXPECT_LE(set.TextRoom(), 4 * SRSTexts::kFirstBlock);
    EXPECT_EQ(Text(set, 2, 1), text);
    EXPECT_EQ(Text(set, 0, 1),
              std::string(static_cast<size_t>(1 + 999998 % 97), static_cast<char>('a' + 999998 % 26)));
    EXPECT_EQ(Text(set, 1, 0), "left as it is");
    EXPECT_EQ(set.IsNull(1, 1), 1);
}

TEST(RecordSet, FilledReadEmptiedAndFilledAgain) {
    SRS set;
    const std::string longText(100000, 'x');
    for (const char* tag : {"first", "second"}) {
        set.AddCol("Id", "int");
        set.AddCol("Note", "string");
        for (int row = 0; row < 20000; ++row) {
            set.AddRow();
            set.SetText(row, "Id", std::to_string(row).c_str());
            const std::string note =
                row == 7 ? longText : std::string(tag) + " note of row " + std::to_string(row);
            set.SetCellText(row, 1, note.data(), row % 5 == 0 ? 0 : note.size());
        }
        for (int row = 0; row < 20000; ++row) {
            const std::string note =
                row == 7 ? longText : std::string(tag) + " note of row " + std::to_string(row);
            ASSERT_EQ(set.GetInt(row, "Id"), row);
            ASSERT_EQ(set.CellView(row, "Note"), row % 5 == 0 ? "" : note) << row;
            ASSERT_EQ(set.IsNull(row, 1), 0);
        }
        EXPECT_GT(set.TextRoom(), 0u);
        set.RemoveAll();
        EXPECT_EQ(set.TextRoom(), 0u);
        EXPECT_EQ(set.RowCount(), 0);
    }
}

TEST(RecordSetDatetime, StringAndDateOfDatetimeColumns) {
    SRS set;
    set.AddCol("When", "dateTime");
    set.AddCol("Day", "date");
    set.AddRow();
    set.SetText(0, "When", "2005-03-07 10:20:30");
    set.SetText(0, "Day", "2005-03-07 10:20:30");
    CString out("stale");
    set.GetString(0, "When", out);
    EXPECT_EQ(out.str(), "");  // no 'T': no date-time
    set.GetString(0, "Day", out);
    EXPECT_EQ(out.str(), "2005-03-07 10:20:30");
    set.GetDate(0, "Day", out);
    EXPECT_EQ(out.str(), "2005-03-07 10:20:30");
    set.SetText(0, "When", "2005-03-07T10:20:30.5");
    set.GetString(0, "When", out);
    EXPECT_EQ(out.str(), "2005-03-07 10:20:30.5");
    set.GetDate(0, "When", out);
    EXPECT_EQ(out.str(), "2005-03-07");
    EXPECT_EQ(Text(set, 0, "When"), "2005-03-07T10:20:30.5");
}

TEST(RecordSetDatetime, TextsWithoutZone) {
    const struct {
        const char* m_pszCell;
        const char* m_pszDatetime;
        const char* m_pszDate;
        const char* m_pszTime;
    } cases[] = {
        {"2005-03-07T10:20:30.1234567+08:00", "2005-03-07 10:20:30.123456", "2005-03-07", "10:20:30.123456"},
        {"2005-03-07T10:20:30.123456", "2005-03-07 10:20:30.123456", "2005-03-07", "10:20:30.123456"},
        {"2005-03-07T10:20:30.12", "2005-03-07 10:20:30.12", "2005-03-07", "10:20:30.12"},
        {"2005-03-07T10:20:30-05:00", "2005-03-07 10:20:30", "2005-03-07", "10:20:30"},
        {"-2005-01-02T03:04:05", "2005-01-02 03:04:05", "2005-01-02", "03:04:05"},
        {"  2005-03-07T10:20  ", "2005-03-07 10:20", "2005-03-07", "10:20"},
        {"2005-3-7xT1", "2005-3-7x 1", "2005-3-7x", "1"},
        {"2005-03-07T", "2005-03-07 ", "2005-03-07", ""},
        {"2005-3-7T10:20", "2005-3-7 10:20", "2005-3-7", "10:20"},  // 'T' at position 8 is enough
        {"2005-03-07T.12345678", "2005-03-07 .12345678", "2005-03-07", ".12345678"},  // '.' first: not cut
        {"1971-01-01T00:00:00", "1971-01-01 00:00:00", "1971-01-01", "00:00:00"},
        {"2038-12-31T23:59:59", "2038-12-31 23:59:59", "2038-12-31", "23:59:59"},
    };
    for (const auto& c : cases) {
        const Datetime d = ParseCell(c.m_pszCell);
        EXPECT_EQ(d.m_strDatetime, c.m_pszDatetime) << c.m_pszCell;
        EXPECT_EQ(d.m_strDate, c.m_pszDate) << c.m_pszCell;
        EXPECT_EQ(d.m_strTime, c.m_pszTime) << c.m_pszCell;
    }
}

TEST(RecordSetDatetime, NoValueGivesThreeEmptyTexts) {
    ScopedTimeZone tz(kCentralEurope);
    for (const char* cell :
         {"", "   ", "2005-03-07 10:20:30", "205-3-7T10:20", "1970-12-31T23:59:59", "2039-01-01T00:00:00",
          "1970-12-31T23:59:59Z", "t2005-03-07T10:00", "2005-03-07t10:20:30", "abcdefghT",
          "2005-02-30T10:00:00Z", "2005-03-07T99:00Z"}) {
        const Datetime d = ParseCell(cell);
        EXPECT_EQ(d.m_strDatetime, "") << cell;
        EXPECT_EQ(d.m_strDate, "") << cell;
        EXPECT_EQ(d.m_strTime, "") << cell;
    }
    SRS set;
    set.AddCol("A", "dateTime");
    set.AddCol("B", "dateTime");
    const Datetime none = ReadDatetime(set, 0, "A");  // no row
    EXPECT_EQ(none.m_strDatetime + none.m_strDate + none.m_strTime, "");
}

TEST(RecordSetDatetime, UtcValuesComeBackInLocalTime) {
    const struct {
        const char* m_pszZone;
        const char* m_pszCell;
        const char* m_pszDatetime;
    } cases[] = {
        {"UTC0", "2005-07-01T10:20:30Z", "2005-07-01 10:20:30"},
        {kCentralEurope, "2005-07-01T10:20:30Z", "2005-07-01 12:20:30"},  // summer time
        {kCentralEurope, "2005-01-01T23:30:00Z", "2005-01-02 00:30:00"},  // winter time
        {kCentralEurope, "2005-03-27T01:30:00Z", "2005-03-27 03:30:00"},  // after the spring change
        {kCentralEurope, "2005-03-27T00:30:00Z", "2005-03-27 01:30:00"},  // before it
        {kCentralEurope, "2005-03-07T10:20:30.1234567Z", "2005-03-07 11:20:30"},
        {kCentralEurope, "2005-03-07T10:20:30+08:00Z", "2005-03-07 11:20:30"},  // offset dropped, Z kept
        {kCentralEurope, "2005-03-07T10:20:30Z  ", "2005-03-07 11:20:30"},
        {kCentralEurope, "2038-12-31T23:00:00Z", "2039-01-01 00:00:00"},
        {"EST5", "1971-01-01T00:00:00Z", "1970-12-31 19:00:00"},
    };
    for (const auto& c : cases) {
        ScopedTimeZone tz(c.m_pszZone);
        const Datetime d = ParseCell(c.m_pszCell);
        EXPECT_EQ(d.m_strDatetime, c.m_pszDatetime) << c.m_pszZone << " " << c.m_pszCell;
        const std::string expected = c.m_pszDatetime;
        EXPECT_EQ(d.m_strDate, expected.substr(0, 10)) << c.m_pszCell;
        EXPECT_EQ(d.m_strTime, expected.substr(11)) << c.m_pszCell;
    }
}
