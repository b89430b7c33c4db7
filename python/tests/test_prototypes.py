"""The binding's C prototypes against include/orvex.h: every function the
binding declares exists there, with as many arguments, each of a ctypes type
that carries that C type, and a compatible result."""

from __future__ import annotations

import ctypes
import re
from typing import Any

import pytest
from conftest import ROOT

from orvex import _native

HEADER = ROOT / "include" / "orvex.h"

# ctypes types that carry each C type the header uses. Any other pointer (a
# handle, void*, a struct) travels as c_void_p.
_CARRIERS: dict[str, tuple[Any, ...]] = {
    "void": (None,),
    "int": (ctypes.c_int,),
    "unsigned": (ctypes.c_uint,),
    "long long": (ctypes.c_longlong,),
    "double": (ctypes.c_double,),
    "const char*": (ctypes.c_char_p,),
    "char*": (ctypes.c_char_p, ctypes.c_void_p, ctypes.POINTER(ctypes.c_char)),
    "unsigned char*": (ctypes.c_void_p, ctypes.POINTER(ctypes.c_ubyte)),
    "const unsigned char*": (ctypes.c_void_p, ctypes.c_char_p, ctypes.POINTER(ctypes.c_ubyte)),
}


class Header:
    """The functions and function-pointer types orvex.h declares, as C type texts."""

    def __init__(self, text: str) -> None:
        text = re.sub(r"/\*.*?\*/", " ", text, flags=re.S)
        text = re.sub(r"^\s*#.*$", " ", text, flags=re.M)
        text = " ".join(text.split())
        self.handles = set(re.findall(r"typedef struct \w+\* ?(\w+);", text))
        self.callbacks = {
            name: (result, _parameters(parameters))
            for result, name, parameters in re.findall(
                r"typedef ([\w\s*]+?) ?\(\*(\w+)\)\(([^)]*)\);", text)
        }
        self.functions = {
            name: (_normal(result), _parameters(parameters))
            for result, name, parameters in re.findall(
                r"ORVEX_EXPORT ([\w\s*]+?) ?(\w+)\(([^)]*)\);", text)
        }

    def disagreements(self, name: str, result: Any, arguments: list[Any]) -> list[str]:
        """What is wrong with the binding's prototype of name; [] when it agrees."""
        if name not in self.functions:
            return [f"{name} is not declared in orvex.h"]
        c_result, c_arguments = self.functions[name]
        found = []
        if not self.carries(c_result, result):
            found.append(f"{name} returns {c_result}, declared {_shown(result)}")
        if len(arguments) != len(c_arguments):
            found.append(f"{name} takes {len(c_arguments)} arguments, declared {len(arguments)}")
        else:
            for number, (c_type, given) in enumerate(zip(c_arguments, arguments), 1):
                if not self.carries(c_type, given):
                    found.append(f"{name} argument {number} is {c_type}, declared {_shown(given)}")
        return found

    def carries(self, c_type: str, given: Any) -> bool:
        if c_type in self.callbacks:
            c_result, c_arguments = self.callbacks[c_type]
            return (isinstance(given, type) and issubclass(given, ctypes._CFuncPtr)
                    and self.carries(_normal(c_result), given._restype_)
                    and len(given._argtypes_) == len(c_arguments)
                    and all(self.carries(c, g) for c, g in zip(c_arguments, given._argtypes_)))
        if c_type in _CARRIERS:
            return given in _CARRIERS[c_type]
        # Handles, void* and other pointers.
        return given is ctypes.c_void_p and (c_type.endswith("*") or c_type in self.handles)


def _normal(c_type: str) -> str:
    """A C type as one text: "const char *" and "const char*" alike."""
    return re.sub(r"\s*\*", "*", c_type.strip())


def _parameters(text: str) -> list[str]:
    """The parameters' types, names dropped; (void) is none."""
    text = text.strip()
    if text in ("", "void"):
        return []
    types = []
    for parameter in text.split(","):
        declaration = _normal(parameter)
        # Drop the parameter's name: the last word, unless the type is all there is.
        named = re.fullmatch(r"(.*[\s*])(\w+)", declaration)
        types.append(_normal(named.group(1)) if named else declaration)
    return types


def _shown(given: Any) -> str:
    return "void" if given is None else getattr(given, "__name__", repr(given))


@pytest.fixture(scope="module")
def header() -> Header:
    return Header(HEADER.read_text())


@pytest.mark.parametrize("name", sorted(_native.PROTOTYPES))
def test_binding_prototype_agrees_with_the_header(header: Header, name: str) -> None:
    result, arguments = _native.PROTOTYPES[name]
    assert header.disagreements(name, result, arguments) == []


# Prototypes that disagree with the header, and what the check must say of each.
WRONG = [
    ("SRS_GetNothing", (ctypes.c_int, []), "is not declared"),
    ("SRS_GetText", (ctypes.c_char_p, [ctypes.c_void_p, ctypes.c_int]), "takes 3 arguments"),
    ("SRS_GetText", (ctypes.c_char_p, [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_char_p]),
     "argument 2 is int"),
    ("SRS_GetDouble", (ctypes.c_int, [ctypes.c_void_p, ctypes.c_int, ctypes.c_char_p]),
     "returns double"),
    ("SRS_delete", (ctypes.c_int, [ctypes.c_void_p]), "returns void"),
    ("SRS_RowCount", (ctypes.c_int, [ctypes.c_char_p]), "argument 1 is SRS_HANDLE"),
    ("DownloadFileEx", (ctypes.c_char_p, [ctypes.c_char_p, ctypes.c_char_p, ctypes.c_int,
                                          ctypes.CFUNCTYPE(ctypes.c_int, ctypes.c_void_p,
                                                           ctypes.c_int, ctypes.c_longlong),
                                          ctypes.c_void_p]), "argument 4 is OrvexProgressFunc"),
]


@pytest.mark.parametrize("name, prototype, said", WRONG)
def test_a_disagreement_is_found(header: Header, name: str, prototype: tuple[Any, list[Any]],
                                 said: str) -> None:
    found = header.disagreements(name, *prototype)
    assert len(found) == 1 and said in found[0]
