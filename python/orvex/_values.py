"""Cell texts as Python values, by the XML Schema type of their column.

A column's type is the local name of the type name it was made with ("xsd:decimal" is
decimal; a size such as "(10,2)" is ignored) when that is an XML Schema type read here.
Otherwise a free name ("bigint", "nvarchar", "Number(10,2)") takes the library's type for
it, and a qualified one ("tns:PointType", a service's own type) is text."""

from __future__ import annotations

import base64
import datetime
import decimal
import re
from typing import Callable

__all__ = ["value_type", "value_of", "fold"]

_ASCII_LOWER = str.maketrans("ABCDEFGHIJKLMNOPQRSTUVWXYZ", "abcdefghijklmnopqrstuvwxyz")


def fold(text: str) -> str:
    """ASCII letters in lower case, the library's way of ignoring case: no other letter is
    folded."""
    return text.translate(_ASCII_LOWER)


_INT = re.compile(r"[+-]?[0-9]+")
_DECIMAL = re.compile(r"[+-]?(?:[0-9]+(?:\.[0-9]*)?|\.[0-9]+)")
_DOUBLE = re.compile(r"[+-]?(?:(?:[0-9]+(?:\.[0-9]*)?|\.[0-9]+)(?:[eE][+-]?[0-9]+)?|INF)|NaN")
_ZONE = r"(Z|[+-][0-9]{2}:[0-9]{2})?"
_TIME = r"([0-9]{2}):([0-9]{2}):([0-9]{2})(?:\.([0-9]+))?"
_DATE = r"([0-9]{4,})-([0-9]{2})-([0-9]{2})"
# A blank may stand for the T: the library writes local date-times so.
_DATETIME_TEXT = re.compile(_DATE + "[T ]" + _TIME + _ZONE)
_DATE_TEXT = re.compile(_DATE + _ZONE)
_TIME_TEXT = re.compile(_TIME + _ZONE)
_HEX = re.compile(r"(?:[0-9A-Fa-f]{2})*")
_XML_WHITE = " \t\r\n"


def _checked(pattern: re.Pattern[str], text: str) -> re.Match[str]:
    match = pattern.fullmatch(text)
    if match is None:
        raise ValueError(text)
    return match


def _zone(text: str | None) -> datetime.tzinfo | None:
    """None (no zone: a naive value), UTC for "Z", else the fixed offset, at most 14:00."""
    if text is None:
        return None
    if text == "Z":
        return datetime.timezone.utc
    hours, minutes = int(text[1:3]), int(text[4:6])
    if minutes > 59 or hours * 60 + minutes > 14 * 60:
        raise ValueError(text)
    offset = datetime.timedelta(hours=hours, minutes=minutes)
    return datetime.timezone(-offset if text[0] == "-" else offset)


def _microseconds(fraction: str | None) -> int:
    """A fraction of a second in microseconds; digits past the sixth are cut."""
    return int((fraction or "").ljust(6, "0")[:6])


def _to_int(text: str) -> int:
    return int(_checked(_INT, text).group())


def _to_decimal(text: str) -> decimal.Decimal:
    return decimal.Decimal(_checked(_DECIMAL, text).group())


def _to_float(text: str) -> float:
    return float(_checked(_DOUBLE, text).group())


def _to_bool(text: str) -> bool:
    # "TRUE" is true, as the library reads it.
    folded = fold(text)
    if folded in ("true", "1"):
        return True
    if folded in ("false", "0"):
        return False
    raise ValueError(text)


def _to_datetime(text: str) -> datetime.datetime:
    year, month, day, hour, minute, second, fraction, zone = _checked(_DATETIME_TEXT, text).groups()
    at_24 = hour == "24" and minute == second == "00" and not (fraction or "").strip("0")
    value = datetime.datetime(int(year), int(month), int(day), 0 if at_24 else int(hour),
                              int(minute), int(second), _microseconds(fraction), _zone(zone))
    # 24:00:00 is the end of the day: the next day's midnight.
    return value + datetime.timedelta(days=1) if at_24 else value


def _to_date(text: str) -> datetime.date:
    # A date cannot carry a zone in Python; the zone written after it is checked and dropped.
    year, month, day, zone = _checked(_DATE_TEXT, text).groups()
    _zone(zone)
    return datetime.date(int(year), int(month), int(day))


def _to_time(text: str) -> datetime.time:
    hour, minute, second, fraction, zone = _checked(_TIME_TEXT, text).groups()
    at_24 = hour == "24" and minute == second == "00" and not (fraction or "").strip("0")
    return datetime.time(0 if at_24 else int(hour), int(minute), int(second),
                         _microseconds(fraction), _zone(zone))


def _to_base64(text: str) -> bytes:
    return base64.b64decode("".join(text.split()), validate=True)


def _to_hex(text: str) -> bytes:
    return bytes.fromhex(_checked(_HEX, text).group())


# The XML Schema types read as something other than text, by folded local name: the name
# given back as the column's type, the reader, and whether an empty text is a value (b"").
_TYPES: dict[str, tuple[str, Callable[[str], object], bool]] = {
    **{fold(name): (name, _to_int, False) for name in (
        "int", "integer", "long", "short", "byte", "unsignedInt", "unsignedLong",
        "unsignedShort", "unsignedByte", "nonNegativeInteger", "positiveInteger",
        "negativeInteger", "nonPositiveInteger")},
    "decimal": ("decimal", _to_decimal, False),
    "double": ("double", _to_float, False),
    "float": ("float", _to_float, False),
    "boolean": ("boolean", _to_bool, False),
    "datetime": ("dateTime", _to_datetime, False),
    "date": ("date", _to_date, False),
    "time": ("time", _to_time, False),
    "base64binary": ("base64Binary", _to_base64, True),
    "hexbinary": ("hexBinary", _to_hex, True),
}


def value_type(type_name: str, library_type: str) -> str:
    """The XML Schema type a column's cells are read as: by the local name of the type name
    it was made with, else library_type (SRS_GetColType's) for a free name, else "string"."""
    qualifier, colon, local = type_name.rpartition(":")
    known = _TYPES.get(fold(local.partition("(")[0].strip()))
    if known is not None:
        return known[0]
    if colon:
        return "string"
    return library_type or "string"


def value_of(type_: str, text: str | None) -> object:
    """A cell's value: None for a null cell, else its text read as type_ (a value_type
    answer). A typed cell that holds only white space has no value either (None).
    Raises ValueError for a text the type cannot hold."""
    if text is None:
        return None
    known = _TYPES.get(fold(type_))
    if known is None:
        return text
    _, read, empty_is_value = known
    trimmed = text.strip(_XML_WHITE)
    if not trimmed and not empty_is_value:
        return None
    return read(trimmed)
