"""Record sets: columns found by name as the library finds them."""

from __future__ import annotations

import ctypes
from typing import Iterator

import pytest

import orvex

COLUMNS = ["tns:Id", "a:x", "x", "Name", "NAME", "b:Name2", "Ä"]
KEYS = ["id", "TNS:ID", "z:Id", "x", "a:X", "name", "Name2", "b:name2", "", "ä", "Ä", "nothing"]


@pytest.fixture(scope="module")
def library_set() -> Iterator[int]:
    """The columns in a set of the library's, each cell holding its column's number; the
    first of two alike names written last, as the library writes by name."""
    api = orvex.lib()
    handle = api.SRS_new(None, None, None)
    for name in COLUMNS:
        api.SRS_AddCol(handle, name.encode(), b"string")
    api.SRS_AddRow(handle)
    for number in range(len(COLUMNS), 0, -1):
        api.SRS_SetText(handle, 1, COLUMNS[number - 1].encode(), str(number).encode())
    yield handle
    api.SRS_delete(handle)


@pytest.mark.parametrize("key", KEYS)
def test_column_found_by_name_as_the_library_finds_it(library_set: int, key: str) -> None:
    get_text = orvex.lib().SRS_GetText
    get_text.restype, get_text.argtypes = ctypes.c_char_p, [ctypes.c_void_p, ctypes.c_int,
                                                            ctypes.c_char_p]
    by_library = get_text(library_set, 1, key.encode()).decode() or None
    records = orvex.RecordSet(COLUMNS, [[str(n) for n in range(1, len(COLUMNS) + 1)]])
    assert records[0].get(key) == by_library


def single_row(fields: str) -> orvex.RecordSet:
    """The record set of a response whose return element holds these fields."""
    with orvex.SoapMessage("dotnet", "Get") as message:
        message.set_response(
            '<s:Envelope xmlns:s="http://schemas.xmlsoap.org/soap/envelope/"><s:Body>'
            f"<GetResponse><GetResult>{fields}</GetResult></GetResponse></s:Body></s:Envelope>")
        return message.record_set()


def test_columns_sharing_a_name_are_each_read() -> None:
    row = single_row("<A>1</A><B>2</B><B>3</B>")[0]
    assert (list(row), row["B"]) == (["1", "2", "3"], "2")


def test_set_whose_second_alike_column_holds_a_value_is_refused_as_a_parameter() -> None:
    records = single_row("<A>1</A><B>2</B><B>3</B>")
    with orvex.SoapMessage("dotnet", "Put") as message:
        with pytest.raises(ValueError, match="column 2 is named 'B'"):
            message.add_records("rows", records)


def test_untyped_response_text_goes_back_escaped() -> None:
    records = single_row("<Id>1</Id><Note>a &amp; &lt;b&gt;</Note>")
    with orvex.SoapMessage("dotnet", "Put") as message:
        envelope = message.add_records("rows", records).envelope
    assert records[0]["Note"] == "a & <b>" and "<Note>a &amp; &lt;b&gt;</Note>" in envelope
