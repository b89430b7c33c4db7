"""Record sets: tables of named, typed columns and rows of cells, held in
Python. One read from a response is copied out of the library at once; one
passed as a parameter is copied into the library when it is added."""

from __future__ import annotations

import collections
import datetime
import decimal
import functools
from collections.abc import Iterable, Iterator, Mapping, Sequence
from typing import Any, NamedTuple, Union, overload

from ._handle import Handle
from ._native import codec_name, decode, encode, lib, text_of
from ._values import fold, value_of, value_type
from .errors import CellValueError

__all__ = ["Column", "Row", "RecordSet"]

# A column given to RecordSet: a name (type "string"), or a name and a type name.
ColumnSpec = Union[str, tuple[str, str]]


class Column(NamedTuple):
    """A column: its name as the set holds it; the XML Schema type its cells
    are read as ("string", "int", "decimal", "double", "boolean", "dateTime",
    "date", "base64Binary"...); and the type name it was made with, as given
    ("xsd:decimal" from a response, "nvarchar(20)"), "" when none was."""

    name: str
    type: str
    type_name: str = ""


def _type_of(value: object) -> str:
    """The column type a Python value asks for in RecordSet.from_dicts."""
    if isinstance(value, bool):
        return "boolean"
    if isinstance(value, int):
        return "int"
    if isinstance(value, float):
        return "double"
    if isinstance(value, decimal.Decimal):
        return "decimal"
    if isinstance(value, datetime.datetime):
        return "dateTime"
    if isinstance(value, datetime.date):
        return "date"
    if isinstance(value, datetime.time):
        return "time"
    if isinstance(value, (bytes, bytearray)):
        return "base64Binary"
    return "string"


def _keys(names: list[str], qualified: bool) -> list[str]:
    """Dict keys for columns: their local names ("Id" for "tns:Id"), as the
    orvex command shows them, except where two columns share one."""
    if qualified:
        return names
    local = [name.rpartition(":")[2] for name in names]
    shared = collections.Counter(local)
    return [short if shared[short] == 1 else name for name, short in zip(names, local)]


@functools.lru_cache(maxsize=256)
def _library_type(type_name: str) -> str:
    """SRS_GetColType's name for a column made with type_name, asked of a
    one-column set so that the library's own rule decides."""
    api = lib()
    scratch = api.SRS_new(None, None, None)
    try:
        api.SRS_AddCol(scratch, b"c", encode(type_name))
        return decode(api.SRS_GetColType(scratch, b"c"))
    finally:
        api.SRS_delete(scratch)


def _column(name: str, type_name: str) -> Column:
    return Column(name, value_type(type_name, _library_type(type_name)), type_name)


class _Columns:
    """A set's columns and the library's rule for finding one by name: the
    first whose name matches ignoring ASCII case; failing that, for a name
    without ':', the first whose local name (after its last ':') matches."""

    __slots__ = ("list", "_by_name", "_by_local_name")

    def __init__(self, columns: list[Column]) -> None:
        self.list = columns
        self._by_name: dict[str, int] = {}
        self._by_local_name: dict[str, int] = {}
        for index, column in enumerate(columns):
            self._by_name.setdefault(fold(column.name), index)
            _, colon, local = column.name.rpartition(":")
            if colon:
                self._by_local_name.setdefault(fold(local), index)

    def find(self, name: str) -> int:
        """The column's index, -1 when no column answers to name."""
        folded = fold(name)
        index = self._by_name.get(folded)
        if index is None and name and ":" not in name:
            index = self._by_local_name.get(folded)
        return -1 if index is None else index


class Row:
    """One row of a record set, a live view: ``row["Id"]`` reads the cell of
    column Id (letter case ignored, "Id" finds "tns:Id", as the library finds
    columns), ``row[0]`` the first column's. Iteration gives the values in
    column order, as sqlite3.Row does.

    A value is read by its column's type (Column.type): int, Decimal, float,
    bool, datetime (aware when the text names a zone, UTC for "Z", naive
    without one), date, time, bytes (base64Binary, hexBinary) or str; None
    for a null cell, and for a typed cell holding only white space. A text
    the type cannot hold raises CellValueError; ``row.text(key)`` gives any
    cell's text as written (None when null).
    """

    __slots__ = ("_set", "_index")

    def __init__(self, record_set: RecordSet, index: int) -> None:
        self._set = record_set
        self._index = index

    def _column(self, key: str | int) -> int:
        """The index of a column given by name or index."""
        count = len(self._set._columns.list)
        if isinstance(key, int):
            index = key + count if key < 0 else key
            if not 0 <= index < count:
                raise IndexError(f"column {key} out of range ({count} columns)")
            return index
        index = self._set._columns.find(key)
        if index < 0:
            raise KeyError(key)
        return index

    def __getitem__(self, key: str | int) -> Any:
        return self._set._value(self._index, self._column(key))

    def __setitem__(self, key: str | int, value: object) -> None:
        """Writes the value's text (see SoapMessage.add); None makes the cell null."""
        self._set._rows[self._index][self._column(key)] = _cell_text(value)

    def text(self, key: str | int) -> str | None:
        """The cell's text as written, whatever the column's type; None when null."""
        return self._set._rows[self._index][self._column(key)]

    def get(self, key: str | int, default: Any = None) -> Any:
        """The cell's value, or default for an unknown column."""
        try:
            return self[key]
        except (KeyError, IndexError):
            return default

    def keys(self, qualified: bool = False) -> list[str]:
        """The column names: local names unless qualified (see RecordSet.to_dicts)."""
        return _keys([column.name for column in self._set._columns.list], qualified)

    def values(self) -> list[Any]:
        """The values in column order."""
        return list(self)

    def items(self, qualified: bool = False) -> list[tuple[str, Any]]:
        return list(zip(self.keys(qualified), self))

    def to_dict(self, qualified: bool = False) -> dict[str, Any]:
        """The row as a dict of column name to value."""
        return dict(self.items(qualified))

    def __len__(self) -> int:
        return len(self._set._columns.list)

    def __iter__(self) -> Iterator[Any]:
        for index in range(len(self)):
            yield self._set._value(self._index, index)

    def __repr__(self) -> str:
        return f"<orvex.Row {self._index} of {self._set!r}>"


def _cell_text(value: object) -> str | None:
    """A value as a cell's text, checked now so that a mistake shows where it is made."""
    if value is None:
        return None
    text = text_of(value)
    encode(text)  # a NUL, or a character the code page lacks, raises here
    return text


class _LibrarySet(Handle):
    """A record set in the library, made from a RecordSet to be passed to it."""

    _what = "record set"


class RecordSet(Sequence[Row]):
    """A record set: named, typed columns and rows of cells, readable by
    column name or index (see Row), held in Python.

    A record set read from a response (SoapRequest.call, SoapMessage
    .record_set) is copied out of the library when it is read: it lives as
    long as it is referenced, whatever its message does next. One made here
    is passed to a message with SoapMessage.add_records, which copies it into
    the library then.
    """

    def __init__(self, columns: Iterable[ColumnSpec] | Mapping[str, str] = (),
                 rows: Iterable[Mapping[str, Any] | Sequence[Any]] = (), *,
                 name: str = "", namespace: str = "", type_name: str = "") -> None:
        """columns: names (type "string"), (name, type) pairs or a dict of
        name to type, the type a free name as SRS_AddCol reads it ("int",
        "nvarchar", "smalldatetime"...). rows: dicts by column name or
        sequences in column order; None leaves a cell null. name is the row
        element, namespace and type_name the row type (Apache dialect)."""
        self.name = name
        self.namespace = namespace
        self.type_name = type_name
        self._columns = _Columns([])
        self._rows: list[list[str | None]] = []
        entries = columns.items() if isinstance(columns, Mapping) else columns
        for entry in entries:
            column, type_name_ = (entry, "string") if isinstance(entry, str) else entry
            self.add_column(column, type_name_)
        for row in rows:
            self.append(row)

    @classmethod
    def from_dicts(cls, records: Iterable[Mapping[str, Any]],
                   types: Mapping[str, str] | None = None, **options: str) -> RecordSet:
        """A record set from dicts: columns in the order their keys first
        appear, typed by ``types`` or else by the first value that is not
        None (bool boolean, int int, float double, Decimal decimal, datetime
        dateTime, date date, time time, bytes base64Binary, anything else
        string). options: name, namespace, type_name."""
        records = list(records)
        columns: dict[str, str | None] = {}
        for record in records:
            for key, value in record.items():
                if columns.get(key) is None:
                    given = (types or {}).get(key)
                    columns[key] = given or (None if value is None else _type_of(value))
        typed = {key: type_name or "string" for key, type_name in columns.items()}
        return cls(typed, records, **options)

    @classmethod
    def _copy_of(cls, pointer: int) -> RecordSet:
        """A record set the library holds, copied: columns, texts and null cells."""
        api = lib()
        record_set = cls(name=decode(api.SRS_GetName(pointer)))
        count = api.SRS_ColCount(pointer)
        record_set._columns = _Columns([
            _column(decode(api.SRS_GetColName(pointer, number)),
                    decode(api.SRS_GetColTypeName(pointer, number)))
            for number in range(1, count + 1)])
        text_at, is_null = api.SRS_GetTextAt, api.SRS_IsNull
        codec = codec_name()
        rows = record_set._rows
        for row in range(1, api.SRS_RowCount(pointer) + 1):
            cells: list[str | None] = []
            for column in range(1, count + 1):
                text = text_at(pointer, row, column)
                # Only an empty text can be a null cell's.
                cells.append(text.decode(codec, "replace") if text else
                             None if is_null(pointer, row, column) else "")
            rows.append(cells)
        return record_set

    def _to_library(self) -> _LibrarySet:
        """A copy of the set in the library, freed with the handle returned."""
        api = lib()
        copy = _LibrarySet(api.SRS_new(encode(self.name), encode(self.namespace),
                                       encode(self.type_name)), api.SRS_delete)
        pointer = copy._ptr()
        columns = self._columns.list
        for column in columns:
            # Without a type the library would write the text unescaped, as raw XML.
            api.SRS_AddCol(pointer, encode(column.name), encode(column.type_name or column.type))
        # The library writes a cell by its column's name, which finds the first column so named.
        names = [encode(column.name) for column in columns]
        hidden = [index for index, column in enumerate(columns)
                  if self._columns.find(column.name) != index]
        for cells in self._rows:
            number = api.SRS_AddRow(pointer)
            for index in hidden:
                if cells[index] is not None:
                    raise ValueError(f"column {index} is named {columns[index].name!r} as an "
                                     "earlier column is: the library cannot write its cells")
            for name, text in zip(names, cells):
                if text is not None:
                    api.SRS_SetText(pointer, number, name, encode(text))
        return copy

    def _value(self, row: int, index: int) -> Any:
        column = self._columns.list[index]
        text = self._rows[row][index]
        try:
            return value_of(column.type, text)
        except ValueError:
            assert text is not None
            raise CellValueError(row, column.name, column.type, text) from None

    @property
    def columns(self) -> list[Column]:
        """The columns in order."""
        return list(self._columns.list)

    def add_column(self, name: str, type_name: str = "string") -> None:
        """Appends a column; rows already there get a null cell."""
        encode(name)
        self._columns = _Columns([*self._columns.list, _column(name, type_name)])
        for cells in self._rows:
            cells.append(None)

    def append(self, values: Mapping[str, Any] | Sequence[Any] = ()) -> Row:
        """Appends a row: cells from a dict by column name or from a sequence
        in column order; None and missing values stay null."""
        rows = self._rows
        count = len(self._columns.list)
        cells: list[str | None] = [None] * count
        if isinstance(values, Mapping):
            for key, value in values.items():
                index = self._columns.find(key)
                if index < 0:
                    raise KeyError(key)
                cells[index] = _cell_text(value)
        else:
            values = list(values)
            if len(values) > count:
                raise ValueError(f"{len(values)} values for {count} columns")
            cells[:len(values)] = [_cell_text(value) for value in values]
        rows.append(cells)
        return Row(self, len(rows) - 1)

    def to_dicts(self, qualified: bool = False, *, text: bool = False) -> list[dict[str, Any]]:
        """The rows as dicts of column name to value (to text as written, None
        when null, with text=True). Keys are local names ("Id" for a
        response's "tns:Id") unless qualified is true or two columns share a
        local name."""
        keys = _keys([column.name for column in self._columns.list], qualified)
        if text:
            return [dict(zip(keys, cells)) for cells in self._rows]
        return [{key: self._value(row, index) for index, key in enumerate(keys)}
                for row in range(len(self._rows))]

    def to_xml(self, dialect: str, element_name: str, as_array: bool = False) -> str:
        """SRS_toXML: the set as one SOAP parameter element, in the .NET
        dialect when dialect holds ".net", "dotnet" or "dot net", else Apache."""
        with self._to_library() as copy:
            return decode(lib().SRS_toXML(copy._ptr(), encode(dialect), encode(element_name),
                                          int(as_array)))

    def close(self) -> None:
        """Nothing to free: a record set holds no library memory. Kept, with
        the with block, for code written when it did."""

    def __enter__(self) -> RecordSet:
        return self

    def __exit__(self, *exc_info: object) -> None:
        pass

    def __len__(self) -> int:
        return len(self._rows)

    @overload
    def __getitem__(self, index: int) -> Row: ...

    @overload
    def __getitem__(self, index: slice) -> list[Row]: ...

    def __getitem__(self, index: int | slice) -> Row | list[Row]:
        count = len(self)
        if isinstance(index, slice):
            return [Row(self, i) for i in range(*index.indices(count))]
        position = index + count if index < 0 else index
        if not 0 <= position < count:
            raise IndexError(f"row {index} out of range ({count} rows)")
        return Row(self, position)

    def __repr__(self) -> str:
        return f"<orvex.RecordSet {len(self)} rows x {len(self._columns.list)} columns>"
