"""Record sets: columns found by name as the library finds them."""

from __future__ import annotations

import ctypes

import pytest

import orvex

COLUMNS = ["tns:Id", "a:x", "x", "Name", "NAME", "b:Name2", "Ä"]
KEYS = ["id", "TNS:ID", "z:Id", "x", "a:X", "name", "Name2", "b:name2", "", "ä", "Ä", "nothing"]


@pytest.mark.parametrize("key", KEYS)
def test_column_found_by_name_as_the_library_finds_it(key: str) -> None:
    records = orvex.RecordSet(COLUMNS, [[]])
    api = orvex.lib()
    handle = records._ptr()
    # Each cell holds its column's number; the first of two alike names written last.
    for number in range(len(COLUMNS), 0, -1):
        api.SRS_SetText(handle, 1, COLUMNS[number - 1].encode(), str(number).encode())
    get_text = api.SRS_GetText
    get_text.restype, get_text.argtypes = ctypes.c_char_p, [ctypes.c_void_p, ctypes.c_int,
                                                            ctypes.c_char_p]
    by_library = get_text(handle, 1, key.encode()).decode() or None
    assert records[0].get(key) == by_library
