"""Record sets: tables of named, typed columns and rows of text cells."""

from __future__ import annotations

import collections
import datetime
import decimal
from collections.abc import Iterable, Iterator, Mapping, Sequence
from typing import Any, NamedTuple, Union, overload

from ._handle import Handle, Lease
from ._native import decode, encode, lib, text_of

__all__ = ["Column", "Row", "RecordSet"]

# A column given to RecordSet: a name (type "string"), or a name and a type name.
ColumnSpec = Union[str, tuple[str, str]]


class Column(NamedTuple):
    """A column: its name as the set holds it and its XML Schema type
    ("string", "int", "dateTime", "date", "boolean", "double")."""

    name: str
    type: str


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
    return "string"


def _keys(names: list[str], qualified: bool) -> list[str]:
    """Dict keys for columns: their local names ("Id" for "tns:Id"), as the
    orvex command shows them, except where two columns share one."""
    if qualified:
        return names
    local = [name.rpartition(":")[2] for name in names]
    shared = collections.Counter(local)
    return [short if shared[short] == 1 else name for name, short in zip(names, local)]


class Row:
    """One row of a record set, a live view: ``row["Id"]`` reads the cell of
    column Id through the library's lookup (letter case ignored, "Id" finds
    "tns:Id"), ``row[0]`` the first column's. Iteration gives the cells in
    column order, as sqlite3.Row does. Cells are texts; a null cell reads "".
    """

    __slots__ = ("_set", "_number")

    def __init__(self, record_set: RecordSet, number: int) -> None:
        self._set = record_set
        self._number = number  # 1-based, as the C API counts

    def _column(self, key: str | int) -> bytes:
        """The encoded name of a column given by name or 0-based index."""
        handle = self._set._ptr()
        if isinstance(key, int):
            count = lib().SRS_ColCount(handle)
            index = key + count if key < 0 else key
            if not 0 <= index < count:
                raise IndexError(f"column {key} out of range ({count} columns)")
            return lib().SRS_GetColName(handle, index + 1) or b""
        name = encode(key)
        # The library reads unknown names as ""; a Python mapping says KeyError.
        if not lib().SRS_GetColType(handle, name):
            raise KeyError(key)
        return name

    def __getitem__(self, key: str | int) -> str:
        name = self._column(key)
        return decode(lib().SRS_GetText(self._set._ptr(), self._number, name))

    def __setitem__(self, key: str | int, value: object) -> None:
        name = self._column(key)
        lib().SRS_SetText(self._set._ptr(), self._number, name, encode(text_of(value)))

    def get(self, key: str | int, default: str | None = None) -> str | None:
        """The cell's text, or default for an unknown column."""
        try:
            return self[key]
        except (KeyError, IndexError):
            return default

    def get_string(self, key: str | int) -> str:
        """SRS_GetString: a dateTime column's cell as "date time", others as written."""
        return decode(lib().SRS_GetString(self._set._ptr(), self._number, self._column(key)))

    def get_int(self, key: str | int) -> int:
        """SRS_GetInt: the cell's leading integer ("42abc" is 42), 0 without one."""
        return lib().SRS_GetInt(self._set._ptr(), self._number, self._column(key))

    def get_float(self, key: str | int) -> float:
        """SRS_GetDouble: the cell's leading number, '.' as decimal point."""
        return lib().SRS_GetDouble(self._set._ptr(), self._number, self._column(key))

    def get_bool(self, key: str | int) -> bool:
        """SRS_GetBoolean: True when the cell is "true", letter case ignored."""
        return bool(lib().SRS_GetBoolean(self._set._ptr(), self._number, self._column(key)))

    def get_datetime(self, key: str | int) -> datetime.datetime | None:
        """SRS_GetDatetimeEx: the cell's XML Schema date-time as a naive
        datetime (its zone dropped, a "Z" value in local time), or None when
        the cell holds none."""
        text = decode(lib().SRS_GetDatetimeEx(self._set._ptr(), self._number, self._column(key),
                                              None, 0, None, 0))
        return datetime.datetime.fromisoformat(text) if text else None

    def keys(self, qualified: bool = False) -> list[str]:
        """The column names: local names unless qualified (see RecordSet.to_dicts)."""
        return _keys([column.name for column in self._set.columns], qualified)

    def values(self) -> list[str]:
        """The cells in column order."""
        return list(self)

    def items(self, qualified: bool = False) -> list[tuple[str, str]]:
        return list(zip(self.keys(qualified), self))

    def to_dict(self, qualified: bool = False) -> dict[str, str]:
        """The row as a dict of column name to text."""
        return dict(self.items(qualified))

    def __len__(self) -> int:
        return lib().SRS_ColCount(self._set._ptr())

    def __iter__(self) -> Iterator[str]:
        handle = self._set._ptr()
        api = lib()
        for index in range(1, api.SRS_ColCount(handle) + 1):
            name = api.SRS_GetColName(handle, index)
            yield decode(api.SRS_GetText(handle, self._number, name))

    def __repr__(self) -> str:
        return f"<orvex.Row {self._number - 1} of {self._set!r}>"


class RecordSet(Handle, Sequence[Row]):
    """A record set: a sequence of rows readable by column name or index.

    Made here (``RecordSet(columns, rows)``, ``RecordSet.from_dicts(...)``)
    it is owned and freed by close(), a with block or the garbage collector.
    One read from a SOAP response belongs to its message and raises
    StaleHandleError once the message reads again, is emptied or is closed:
    copy it with ``to_dicts()`` to keep it.
    """

    _what = "record set"

    def __init__(self, columns: Iterable[ColumnSpec] | Mapping[str, str] = (),
                 rows: Iterable[Mapping[str, Any] | Sequence[Any]] = (), *,
                 name: str = "", namespace: str = "", type_name: str = "") -> None:
        """columns: names (type "string"), (name, type) pairs or a dict of
        name to type, the type a free name as SRS_AddCol reads it ("int",
        "nvarchar", "smalldatetime"...). rows: dicts by column name or
        sequences in column order; None leaves a cell null. name is the row
        element, namespace and type_name the row type (Apache dialect)."""
        api = lib()
        pointer = api.SRS_new(encode(name), encode(namespace), encode(type_name))
        super().__init__(pointer, delete=api.SRS_delete)
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
        None (bool boolean, int int, float double, datetime dateTime, date
        date, anything else string). options: name, namespace, type_name."""
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
    def _borrowed(cls, pointer: int, lease: Lease) -> RecordSet:
        record_set = cls.__new__(cls)
        Handle.__init__(record_set, pointer, lease=lease)
        return record_set

    @property
    def columns(self) -> list[Column]:
        """The columns in order, with their XML Schema types."""
        handle = self._ptr()
        api = lib()
        result = []
        for index in range(1, api.SRS_ColCount(handle) + 1):
            name = api.SRS_GetColName(handle, index)
            result.append(Column(decode(name), decode(api.SRS_GetColType(handle, name))))
        return result

    def add_column(self, name: str, type_name: str = "string") -> None:
        """Appends a column; rows already there get a null cell."""
        lib().SRS_AddCol(self._ptr(), encode(name), encode(type_name))

    def append(self, values: Mapping[str, Any] | Sequence[Any] = ()) -> Row:
        """Appends a row: cells from a dict by column name or from a sequence
        in column order; None and missing values stay null."""
        row = Row(self, lib().SRS_AddRow(self._ptr()))
        if isinstance(values, Mapping):
            cells: Iterable[tuple[str | int, Any]] = values.items()
        else:
            values = list(values)
            if len(values) > len(row):
                raise ValueError(f"{len(values)} values for {len(row)} columns")
            cells = enumerate(values)
        for key, value in cells:
            if value is not None:
                row[key] = value
        return row

    def to_dicts(self, qualified: bool = False) -> list[dict[str, str]]:
        """The rows as dicts of column name to text, detached from the
        library. Keys are local names ("Id" for a response's "tns:Id") unless
        qualified is true or two columns share a local name."""
        handle = self._ptr()
        api = lib()
        names = [api.SRS_GetColName(handle, c) for c in range(1, api.SRS_ColCount(handle) + 1)]
        keys = _keys([decode(name) for name in names], qualified)
        return [
            {key: decode(api.SRS_GetText(handle, r, name)) for key, name in zip(keys, names)}
            for r in range(1, api.SRS_RowCount(handle) + 1)
        ]

    def to_xml(self, dialect: str, element_name: str, as_array: bool = False) -> str:
        """SRS_toXML: the set as one SOAP parameter element, in the .NET
        dialect when dialect holds ".net", "dotnet" or "dot net", else Apache."""
        return decode(lib().SRS_toXML(self._ptr(), encode(dialect), encode(element_name),
                                      int(as_array)))

    def __len__(self) -> int:
        return lib().SRS_RowCount(self._ptr())

    @overload
    def __getitem__(self, index: int) -> Row: ...

    @overload
    def __getitem__(self, index: slice) -> list[Row]: ...

    def __getitem__(self, index: int | slice) -> Row | list[Row]:
        count = len(self)
        if isinstance(index, slice):
            return [Row(self, i + 1) for i in range(*index.indices(count))]
        position = index + count if index < 0 else index
        if not 0 <= position < count:
            raise IndexError(f"row {index} out of range ({count} rows)")
        return Row(self, position + 1)

    def __repr__(self) -> str:
        if self.closed:
            return super().__repr__()
        return f"<orvex.RecordSet {len(self)} rows x {lib().SRS_ColCount(self._ptr())} columns>"
