#include <orvex/text_util.h>

#include <gtest/gtest.h>

#include "common/test_support.h"
#include "recordset/value_text.h"
#include "support/pub.h"

#include <ctime>
#include <string>
#include <vector>

using testing_support::ScopedTimeZone;

namespace {

const char kCentralEurope[] = "CET-1CEST,M3.5.0,M10.5.0/3";

std::string Encoded(int code, const char* value) {
    CString text(value);
    CTextUtil::XMLEncode(code, text);
    return text.str();
}

std::string Encoded(const char* typeName, const char* value) {
    CString text(value);
    CTextUtil::XMLEncode(typeName, text);
    return text.str();
}

struct NameCase {
    const char* m_pszName;
    int m_nCode;
};

}  // namespace

TEST(TextUtilTypes, KeywordsDecideInTableOrder) {
    const NameCase cases[] = {
        {"string", TYPE_STRING},
        {"xsd:string", TYPE_STRING},
        {"nvarchar", TYPE_STRING},
        {"VARCHAR2", TYPE_STRING},
        {"int", TYPE_INT},
        {"xsd:int", TYPE_INT},
        {"bigint", TYPE_INT},
        {"smallint", TYPE_INT},
        {"integer", TYPE_INT},
        {"long", TYPE_INT},
        {"dateTime", TYPE_DATETIME},
        {"DateTime", TYPE_DATETIME},
        {"smalldatetime", TYPE_DATETIME},
        {"date", TYPE_DATE},
        {"boolean", TYPE_BOOLEAN},
        {"bool", TYPE_BOOLEAN},
        {"double", TYPE_DOUBLE},
        {"decimal", TYPE_DOUBLE},
        {"number", TYPE_DOUBLE},
        {"Number(10,2)", TYPE_DOUBLE},
        {"float", TYPE_UNKNOWN},
        {"real", TYPE_UNKNOWN},
        {"char", TYPE_UNKNOWN},
        {"text", TYPE_UNKNOWN},
        {"numeric", TYPE_UNKNOWN},
        {"money", TYPE_UNKNOWN},
        {"xml", TYPE_UNKNOWN},
        {"", TYPE_UNKNOWN},
        // Two keywords: the earlier one in the table wins.
        {"intstring", TYPE_STRING},
        {"dateint", TYPE_DATE},
        {"boolint", TYPE_BOOLEAN},
        {"longdouble", TYPE_DOUBLE},
        {"date_string", TYPE_STRING},
    };
    for (const NameCase& c : cases) EXPECT_EQ(CTextUtil::ConvertType(c.m_pszName), c.m_nCode) << c.m_pszName;
    EXPECT_EQ(CTextUtil::ConvertType(static_cast<const char*>(nullptr)), TYPE_UNKNOWN);
}

TEST(TextUtilTypes, CodesToCanonicalNames) {
    const std::pair<int, const char*> cases[] = {
        {0, "string"},  {1, "string"}, {2, "int"},    {3, "dateTime"}, {4, "date"},
        {5, "boolean"}, {6, "double"}, {7, "string"}, {99, "string"},  {-1, "string"},
    };
    for (const auto& c : cases) {
        CString out("old content");
        CTextUtil::ConvertType(c.first, out);
        EXPECT_EQ(out.str(), c.second) << c.first;
    }
}

TEST(TextUtilEncode, UnknownCodesAndNamesLeaveTheValue) {
    EXPECT_EQ(Encoded(0, " a<b & 'c' "), " a<b & 'c' ");
    EXPECT_EQ(Encoded(99, "<x>"), "<x>");
    EXPECT_EQ(Encoded(-5, ""), "");
    EXPECT_EQ(Encoded("xml", "<x/>"), "<x/>");
    EXPECT_EQ(Encoded("float", " 1.5 "), " 1.5 ");
}

TEST(TextUtilEncode, StringsGetTheFiveEntities) {
    EXPECT_EQ(Encoded(TYPE_STRING, "a<b & \"c\""), "a&lt;b &amp; &quot;c&quot;");
    EXPECT_EQ(Encoded("nvarchar", "it's > &amp;"), "it&apos;s &gt; &amp;amp;");
    EXPECT_EQ(Encoded(TYPE_STRING, "plain"), "plain");
    EXPECT_EQ(Encoded(TYPE_STRING, ""), "");
    CString withZero(std::string("a\0<", 3));
    CTextUtil::XMLEncode_String(withZero);
    EXPECT_EQ(withZero.str(), std::string("a\0&lt;", 6));
}

TEST(TextUtilEncode, Booleans) {
    for (const char* on : {"true", "TRUE", "True", "1", "-1", " 7", "2x", "not true", "+3"})
        EXPECT_EQ(Encoded(TYPE_BOOLEAN, on), "true") << on;
    for (const char* off : {"", "0", "false", "no", "yes", "x1", "0x1", "  ", "-0", "tru"})
        EXPECT_EQ(Encoded(TYPE_BOOLEAN, off), "false") << off;
    // A leading number far beyond int is still a nonzero number.
    EXPECT_EQ(Encoded(TYPE_BOOLEAN, "99999999999999999999999"), "true");
}

TEST(TextUtilEncode, IntsAndDoublesAreTrimmedOnly) {
    for (int code : {TYPE_INT, TYPE_DOUBLE}) {
        EXPECT_EQ(Encoded(code, "  "), "0");
        EXPECT_EQ(Encoded(code, ""), "0");
        EXPECT_EQ(Encoded(code, " 12 "), "12");
        EXPECT_EQ(Encoded(code, "\t-3.5\r\n"), "-3.5");
        EXPECT_EQ(Encoded(code, "abc"), "abc");
        EXPECT_EQ(Encoded(code, "1 2"), "1 2");
    }
}

TEST(TextUtilEncode, DateRewritesTheText) {
    const std::pair<const char*, const char*> cases[] = {
        {"2005-03-07", "2005-03-07"},
        {"2005/3/7", "2005-03-07"},
        {"2005.3.7", "2005-03-07"},
        {"2005-3-7", "2005-03-07"},
        {"2005-03", "2005-00-00"},
        {"2005-", "2005-00-00"},
        {"2005--7", "2005-00-00"},
        {"2005-3-", "2005-03-00"},
        {"2005", ""},
        {"20050307", ""},
        {"2005-3-7 10:20", "2005-03-7 10:20"},
        {"2005/3-7", "2005/3-00-00"},  // "-" is looked for first
        {"2005-3/7-1", "2005-3/7-01"},
        {"1971-01-01", "1971-01-01"},
        {"2038-12-31", "2038-12-31"},
        {"1970-12-31", "0001-01-01"},
        {"2039-01-01", "0001-01-01"},
        {"1900-01-01", "0001-01-01"},
        {"7/3/2005", "0001-01-01"},  // its year reads as 7
        {"", "0001-01-01"},
        {"abc", ""},  // too short for the year test, and no separator
        {"-12", ""},  // a separator at the first character does not count
        {"x-y", "x-00-00"},
    };
    for (const auto& c : cases) EXPECT_EQ(Encoded(TYPE_DATE, c.first), c.second) << c.first;
    EXPECT_EQ(Encoded("date", "2005.3.7"), "2005-03-07");
}

TEST(TextUtilEncode, DatetimeInUtc) {
    ScopedTimeZone tz("UTC0");
    const std::pair<const char*, const char*> cases[] = {
        {"2005-03-07 10:20:30", "2005-03-07T10:20:30.0Z"},
        {"2005-3-7 9:5", "2005-03-07T09:05:00.0Z"},
        {"2005/03/07T10:20:30.999", "2005-03-07T10:20:30.0Z"},
        {"2005-03-07", "2005-03-07T00:00:00.0Z"},
        {"1971-01-01 00:00:00", "1971-01-01T00:00:00.0Z"},
        {"2038-12-31 23:59:59", "2038-12-31T23:59:59.0Z"},
    };
    for (const auto& c : cases) EXPECT_EQ(Encoded(TYPE_DATETIME, c.first), c.second) << c.first;
}

TEST(TextUtilEncode, DatetimeWithDaylightSaving) {
    ScopedTimeZone tz(kCentralEurope);
    const std::pair<const char*, const char*> cases[] = {
        {"2005-03-07 10:20:30", "2005-03-07T09:20:30.0Z"},  // winter, UTC+1
        {"2005-07-01 00:30:00", "2005-06-30T22:30:00.0Z"},  // summer, UTC+2
        {"2005-10-30 03:00:00", "2005-10-30T02:00:00.0Z"},  // the hour after the change back
        {"1971-01-01 00:30:00", "1970-12-31T23:30:00.0Z"},  // the UTC year may leave the window
        {"2038-12-31 23:59:59", "2038-12-31T22:59:59.0Z"}, {"dateTime: 2005", "0001-01-01T00:00:00.0Z"},
    };
    for (const auto& c : cases) EXPECT_EQ(Encoded("dateTime", c.first), c.second) << c.first;
}

TEST(TextUtilEncode, DatetimeWithAZoneIsTheInstantItNames) {
    ScopedTimeZone tz(kCentralEurope);  // the local zone plays no part
    const std::pair<const char*, const char*> cases[] = {
        {"2005-03-07T10:20:30Z", "2005-03-07T10:20:30.0Z"},
        {"2005-03-07T10:20:30.0Z", "2005-03-07T10:20:30.0Z"},  // what we write reads back the same
        {"2005-03-07T10:20:30+02:00", "2005-03-07T08:20:30.0Z"},
        {"2005-03-07T10:20:30.1234567-05:00", "2005-03-07T15:20:30.0Z"},
        {"2005-03-07T00:30:00+01:00", "2005-03-06T23:30:00.0Z"},
        {"2005-03-07 10:20+05:45", "2005-03-07T04:35:00.0Z"},
        {"2005-03-27T02:30:00Z", "2005-03-27T02:30:00.0Z"},  // in the local spring gap, but UTC
        {"2005-03-07T10:20:30-00:00", "2005-03-07T10:20:30.0Z"},
        {"1971-01-01T00:00:00+14:00", "1970-12-31T10:00:00.0Z"},  // the window is the text's year
        {"2038-12-31T23:00:00-14:00", "2039-01-01T13:00:00.0Z"},
        {"2005-03-07T10:20:30Z  ", "2005-03-07T10:20:30.0Z"},
    };
    for (const auto& c : cases) EXPECT_EQ(Encoded(TYPE_DATETIME, c.first), c.second) << c.first;
}

TEST(TextUtilEncode, TheWritersDayCacheAgreesOnZonedAndLocalValuesAlike) {
    ScopedTimeZone tz(kCentralEurope);
    valuetext::CLocalTimeCache cache;
    // Zoned and local values of the same days, around both changes of 2005.
    for (const char* text : {"2005-03-27 01:30:00", "2005-03-27T01:30:00Z", "2005-03-27T03:30:00+02:00",
                             "2005-03-27 03:30:00", "2005-10-30T02:30:00+02:00", "2005-10-30 02:30:00",
                             "2005-10-30T00:30:00Z", "2005-10-30 04:00:00", "2005-07-01T23:59:59-12:00",
                             "2005-07-01 23:59:59", "2005-07-02T00:00:00+14:00", "2005-07-02 00:00:00"}) {
        char wire[valuetext::kDatetimeWire];
        const size_t length = valuetext::EncodeDatetime(text, wire, &cache);
        EXPECT_EQ(std::string(wire, length), Encoded(TYPE_DATETIME, text)) << text;
    }
}

TEST(TextUtilEncode, DatetimeWithoutValueGivesTheDefault) {
    ScopedTimeZone tz(kCentralEurope);
    for (const char* none : {"",
                             "1970-12-31 23:59:59",
                             "1970-01-01 00:00:00",
                             "2039-01-01 00:00:00",
                             "2005-02-30 10:00:00",
                             "2005-03-07 25:00:00",
                             "2005-03-07x",
                             "2005",
                             "abc",
                             "20",
                             "  2005-03-07 10:00:00",
                             "0001-01-01T00:00:00.0Z",
                             "2005-03-07T10:20:30+2:00",
                             "2005-03-07T10:20:30+0200",
                             "2005-03-07T10:20:30+14:01",
                             "2005-03-07T10:20:30-15:00",
                             "2005-03-07T10:20:30+02:60",
                             "2005-03-07T10:20:30 Z",
                             "2005-03-07T10:20:30z",
                             "2005-03-07T10:20:30ZZ",
                             "2005-03-07T10:20:30+08:00Z",
                             "2005-03-07Z",
                             "2005-03-07T10:20:30+02",
                             "2039-01-01T00:00:00+01:00",
                             "2005-02-30T10:00:00Z"})
        EXPECT_EQ(Encoded(TYPE_DATETIME, none), "0001-01-01T00:00:00.0Z") << none;
}

TEST(TextUtilEncode, DatetimeMatchesTheSupportLibrary) {
    // The encoder's UTC breakdown against the C library's, around both changes of 2005.
    for (const char* zone : {"UTC0", kCentralEurope, "EST5EDT,M3.2.0,M11.1.0", "<+0545>-5:45"}) {
        ScopedTimeZone tz(zone);
        for (int day : {6, 13, 27, 30}) {
            for (int month : {3, 10, 11}) {
                for (int minute = 0; minute < 24 * 60; minute += 37) {
                    CString text;
                    text.Format("2005-%02d-%02d %02d:%02d:%02d", month, day, minute / 60, minute % 60,
                                minute % 60);
                    time_t t = 0;
                    ASSERT_TRUE(CPub::CString2CTime(text, t));
                    struct tm utc {};
                    gmtime_r(&t, &utc);
                    char expected[40];
                    strftime(expected, sizeof expected, "%Y-%m-%dT%H:%M:%S.0Z", &utc);
                    EXPECT_EQ(Encoded(TYPE_DATETIME, text), expected) << zone << " " << text.str();
                }
            }
        }
    }
}
