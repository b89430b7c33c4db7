"""Cells read as Python values by their column's type; None for a null cell."""

from __future__ import annotations

import datetime
import math
from decimal import Decimal

import pytest

import orvex

UTC = datetime.timezone.utc
PLUS_2 = datetime.timezone(datetime.timedelta(hours=2))
MINUS_5_30 = datetime.timezone(-datetime.timedelta(hours=5, minutes=30))

# (type name the column was made with, cell text, value read)
VALUES = [
    ("xsd:int", " 42 ", 42),
    ("long", "-7", -7),
    ("xsd:unsignedLong", "18446744073709551615", 18446744073709551615),
    ("bigint", "9000000000", 9000000000),  # a free name: the library's type, int
    ("xsd:decimal", "12.50", Decimal("12.50")),
    ("decimal(10,2)", "-0.5", Decimal("-0.5")),
    ("xsd:double", "1.5E3", 1500.0),
    ("xsd:float", "-INF", -math.inf),
    ("Number(10,2)", "2.25", 2.25),
    ("xsd:boolean", "true", True),
    ("xsd:boolean", "0", False),
    ("bool", "TRUE", True),
    ("xsd:dateTime", "2005-03-07T10:20:30Z", datetime.datetime(2005, 3, 7, 10, 20, 30, tzinfo=UTC)),
    ("xsd:dateTime", "2005-03-07T10:20:30.1234567+02:00",
     datetime.datetime(2005, 3, 7, 10, 20, 30, 123456, tzinfo=PLUS_2)),
    ("xsd:dateTime", "2005-03-07T10:20:30-05:30",
     datetime.datetime(2005, 3, 7, 10, 20, 30, tzinfo=MINUS_5_30)),
    ("xsd:dateTime", "2005-03-07T10:20:30.5", datetime.datetime(2005, 3, 7, 10, 20, 30, 500000)),
    ("xsd:dateTime", "2005-12-31T24:00:00", datetime.datetime(2006, 1, 1)),
    ("smalldatetime", "2005-03-07 10:20:30", datetime.datetime(2005, 3, 7, 10, 20, 30)),
    ("xsd:date", "2005-03-07", datetime.date(2005, 3, 7)),
    ("xsd:date", "2005-03-07+02:00", datetime.date(2005, 3, 7)),
    ("xsd:time", "10:20:30Z", datetime.time(10, 20, 30, tzinfo=UTC)),
    ("s:base64Binary", "AAEC\r\n/w==", b"\x00\x01\x02\xff"),
    ("xsd:hexBinary", "0001ff", b"\x00\x01\xff"),
    ("xsd:base64Binary", "", b""),
    ("xsd:string", " 42 ", " 42 "),
    ("nvarchar(20)", "", ""),
    ("", "12", "12"),
    ("tns:PointType", "3,4", "3,4"),  # a service's own type is text, whatever its name holds
    ("xsd:int", "  ", None),  # no value written
    ("xsd:dateTime", "", None),
]


@pytest.mark.parametrize("type_name, text, value", VALUES)
def test_cell_reads_as_its_column_type(type_name: str, text: str, value: object) -> None:
    records = orvex.RecordSet([("v", type_name)], [[text]])
    read = records[0]["v"]
    assert (type(read), read) == (type(value), value)
    if isinstance(value, (datetime.datetime, datetime.time)):
        assert read.utcoffset() == value.utcoffset()


def test_null_cell_is_none_and_text_gives_the_cell_as_written() -> None:
    records = orvex.RecordSet([("Id", "int"), ("Note", "string")], [[7, None], [None, ""]])
    assert [list(row) for row in records] == [[7, None], [None, ""]]
    assert [(row.text("Id"), row.text("Note")) for row in records] == [("7", None), (None, "")]


# Texts a column's type cannot hold.
BAD = [
    ("xsd:int", "abc"),
    ("xsd:int", "4.5"),
    ("xsd:decimal", "1e3"),
    ("xsd:double", "1,5"),
    ("xsd:boolean", "yes"),
    ("xsd:dateTime", "2005-02-30T00:00:00"),
    ("xsd:dateTime", "2005-03-07"),
    ("xsd:dateTime", "10000-01-01T00:00:00"),
    ("xsd:date", "7/3/2005"),
    ("xsd:base64Binary", "AAE"),
    ("xsd:hexBinary", "0g"),
]


@pytest.mark.parametrize("type_name, text", BAD)
def test_text_the_type_cannot_hold_raises_naming_row_and_column(type_name: str,
                                                                text: str) -> None:
    records = orvex.RecordSet([("Name", "string"), ("Amount", type_name)],
                              [["a", None], ["b", text]])
    with pytest.raises(orvex.CellValueError) as caught:
        records.to_dicts()
    error = caught.value
    assert isinstance(error, ValueError)
    assert (error.row, error.column, error.cell_text) == (1, "Amount", text)
    assert "row 1" in str(error) and "'Amount'" in str(error)
    assert records[1].text("Amount") == text


RPC_RESPONSE = """<?xml version="1.0"?>
<soap:Envelope xmlns:soap="http://schemas.xmlsoap.org/soap/envelope/"
 xmlns:xsi="http://www.w3.org/2001/XMLSchema-instance" xmlns:xsd="http://www.w3.org/2001/XMLSchema">
<soap:Body><ns1:GetResponse xmlns:ns1="urn:shop"><return>
<item><Id xsi:type="xsd:int">1</Id><Price xsi:type="xsd:decimal">9.90</Price>
<Seen xsi:type="xsd:dateTime">2005-03-07T10:20:30Z</Seen>
<Photo xsi:type="xsd:base64Binary">AAE=</Photo><Note xsi:type="xsd:string" xsi:nil="true"/></item>
<item><Id xsi:type="xsd:int">2</Id><Price xsi:type="xsd:decimal">0.10</Price>
<Seen xsi:type="xsd:dateTime">2005-03-08T08:00:00+02:00</Seen>
<Photo xsi:type="xsd:base64Binary"></Photo><Note xsi:type="xsd:string">fragile</Note></item>
</return></ns1:GetResponse></soap:Body></soap:Envelope>"""


def test_response_cells_read_by_their_xsi_type() -> None:
    with orvex.SoapMessage("apache", "Get") as message:
        message.set_response(RPC_RESPONSE)
        records = message.record_set()
        assert [(c.name, c.type, c.type_name) for c in records.columns][:2] == [
            ("Id", "int", "xsd:int"), ("Price", "decimal", "xsd:decimal")]
        assert records.to_dicts() == [
            {"Id": 1, "Price": Decimal("9.90"),
             "Seen": datetime.datetime(2005, 3, 7, 10, 20, 30, tzinfo=UTC), "Photo": b"\0\1",
             "Note": None},
            {"Id": 2, "Price": Decimal("0.10"),
             "Seen": datetime.datetime(2005, 3, 8, 8, 0, tzinfo=PLUS_2), "Photo": b"",
             "Note": "fragile"},
        ]


def test_python_values_come_back_as_they_went_in() -> None:
    record = {"Id": 3, "Price": Decimal("2.50"), "Rate": 0.25, "Paid": False,
              "At": datetime.datetime(2005, 3, 7, 10, 20, 30, tzinfo=PLUS_2),
              "Local": datetime.datetime(2005, 3, 7, 10, 20, 30), "Day": datetime.date(2005, 3, 7),
              "Blob": b"\x00\xff", "Name": "x", "Gone": None}
    records = orvex.RecordSet.from_dicts([record], types={"Gone": "int"})
    assert records.to_dicts() == [record]
