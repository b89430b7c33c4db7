"""Finding and loading liborvex, the C functions' prototypes, and texts at the
boundary (arguments encoded in the library's code page, results decoded)."""

from __future__ import annotations

import base64
import codecs
import ctypes
import ctypes.util
import datetime
import decimal
import os
import threading
from pathlib import Path
from typing import Iterator, overload

__all__ = ["lib", "library_path", "code_page", "codec_name", "encode", "decode", "text_of",
           "PROGRESS_FUNC"]

_P = ctypes.c_void_p
_S = ctypes.c_char_p  # as a result: copied into bytes at once, so shared buffers are safe
_I = ctypes.c_int

# int (*)(void* user, long long done, long long total)
PROGRESS_FUNC = ctypes.CFUNCTYPE(_I, _P, ctypes.c_longlong, ctypes.c_longlong)

PROTOTYPES: dict[str, tuple[object, list[object]]] = {
    "Orvex_Version": (_S, []),
    "Orvex_SetDownloadDeadline": (None, [_I]),
    "Orvex_CodePage": (_S, []),
    "HTTP_delete": (None, [_P]),
    "SOAP_delete": (None, [_P]),
    "SRS_delete": (None, [_P]),
    "XML_delete": (None, [_P]),
    "WSDL_delete": (None, [_P]),
    # HTTP requests
    "HTTP_new": (_P, [_I]),
    "HTTP_Empty": (None, [_P]),
    "HTTP_SetVerb": (None, [_P, _I]),
    "HTTP_SetContentType": (None, [_P, _S]),
    "HTTP_SetCharset": (None, [_P, _S]),
    "HTTP_SetContent": (None, [_P, _S]),
    "HTTP_SetTimeouts": (None, [_P, _I, _I]),
    "HTTP_SetDeadline": (None, [_P, _I]),
    "HTTP_AttachSoap": (_I, [_P, _P]),
    "HTTP_Request": (_I, [_P, _S, _S, _S]),
    "HTTP_GetLastError": (_S, [_P]),
    "HTTP_GetResponse": (_P, [_P]),
    "HTTP_GetResponseContentLength": (_I, [_P]),
    "HTTP_GetResponseContentType": (_S, [_P]),
    "HTTP_GetStatusCode": (_I, [_P]),
    "HTTP_GetResponseHeader": (_S, [_P, _S]),
    "HTTP_GetBodyBytes_Request": (_I, [_P]),
    "HTTP_GetBodyBytes_Response": (_I, [_P]),
    "HTTP_GetMilliSeconds": (_I, [_P]),
    # Record sets
    "SRS_new": (_P, [_S, _S, _S]),
    "SRS_AddCol": (_I, [_P, _S, _S]),
    "SRS_AddRow": (_I, [_P]),
    "SRS_RowCount": (_I, [_P]),
    "SRS_ColCount": (_I, [_P]),
    "SRS_SetText": (None, [_P, _I, _S, _S]),
    "SRS_GetTextAt": (_S, [_P, _I, _I]),
    "SRS_IsNull": (_I, [_P, _I, _I]),
    "SRS_GetColType": (_S, [_P, _S]),
    "SRS_GetColName": (_S, [_P, _I]),
    "SRS_GetName": (_S, [_P]),
    "SRS_GetColTypeName": (_S, [_P, _I]),
    "SRS_toXML": (_S, [_P, _S, _S, _I]),
    # XML trees
    "XML_new": (_P, [_S, _I]),
    "XML_GetLastError": (_S, []),
    "XML_GetChildren": (_I, [_P]),
    "XML_GetChild": (_P, [_P, _I]),
    "XML_GetParent": (_P, [_P]),
    "XML_GetName": (_S, [_P]),
    "XML_GetText": (_S, [_P]),
    "XML_GetProps": (_I, [_P]),
    "XML_GetPropName": (_S, [_P, _I]),
    "XML_GetPropValue": (_S, [_P, _I]),
    "XML_GetProperty": (_S, [_P, _S]),
    # SOAP messages
    "SOAP_new": (_P, [_S, _S]),
    "SOAP_Empty": (None, [_P]),
    "SOAP_GetSoap": (_S, [_P]),
    "SOAP_SetEncoding": (None, [_P, _S]),
    "SOAP_SetTargetObjectURI": (None, [_P, _S]),
    "SOAP_SetNameSpace": (None, [_P, _S]),
    "SOAP_SetSoapVersion": (_I, [_P, _I]),
    "SOAP_SetAction": (_I, [_P, _S]),
    "SOAP_AddElement": (None, [_P, _S, _S, _S]),
    "SOAP_AddNodes": (None, [_P, _S, _P]),
    "SOAP_SetSoap": (None, [_P, _S]),
    "SOAP_GetSRS": (_P, [_P]),
    "SOAP_GetMultiSRS": (_P, [_P, _I]),
    "SOAP_GetXMLTree": (_P, [_P]),
    "SOAP_GetLastError": (_S, [_P]),
    "SOAP_AddHeader": (_I, [_P, _S]),
    "SOAP_GetHeaderTree": (_P, [_P]),
    "SOAP_SetUsernameToken": (_I, [_P, _S, _S, _I, _I]),
    # WSDL descriptions
    "WSDL_new": (_P, [_S, _I]),
    "WSDL_GetLastError": (_S, [_P]),
    "WSDL_GetOperations": (_P, [_P]),
    "WSDL_GetEndpoint": (_S, [_P, _S, _S]),
    "WSDL_NewCall": (_P, [_P, _S, _S]),
    "WSDL_GetOutputShape": (_S, [_P, _S, _S]),
    # File transfer
    "DownloadFile": (_S, [_S, _S, _I]),
    "UploadFile": (_S, [_S, _S]),
    "DownloadFileEx": (_S, [_S, _S, _I, PROGRESS_FUNC, _P]),
    "UploadFileEx": (_S, [_S, _S, PROGRESS_FUNC, _P]),
}

_lock = threading.Lock()
# The library, where it was found, its code page and that code page's Python codec.
_loaded: tuple[ctypes.CDLL, str, str, str] | None = None


def _sanitized(build_dir: Path) -> bool:
    """A sanitizer build's library cannot be loaded without its runtime preloaded."""
    try:
        cache = (build_dir / "CMakeCache.txt").read_text(errors="replace")
    except OSError:
        return False
    return "ORVEX_SANITIZE:BOOL=ON" in cache


def _build_tree_libraries() -> list[Path]:
    """The libraries under ../build*/src/ beside this package, newest first."""
    root = Path(__file__).resolve().parent.parent.parent
    found = [p for p in root.glob("build*/src/liborvex.so.1")
             if p.is_file() and not _sanitized(p.parent.parent)]
    return sorted(found, key=lambda p: p.stat().st_mtime, reverse=True)


def _candidates() -> Iterator[str]:
    explicit = os.environ.get("ORVEX_LIBRARY")
    if explicit:
        yield explicit  # chosen by the user: nothing else is tried
        return
    for path in _build_tree_libraries():
        yield str(path)
    # Installed by cmake, the package knows where the library went with it.
    try:
        from ._installed import LIBDIR
    except ImportError:
        pass  # a source tree, or a copy pip made: the loader finds the library
    else:
        installed = os.path.normpath(Path(__file__).resolve().parent / LIBDIR / "liborvex.so.1")
        if os.path.isfile(installed):
            yield installed
    yield ctypes.util.find_library("orvex") or "liborvex.so.1"


def _codec(library: ctypes.CDLL) -> tuple[str, str]:
    """The library's code page (Orvex_CodePage) and its Python codec: asked of the
    library, so that a name iconv refuses, which leaves the library in UTF-8, does
    the same here."""
    name = (library.Orvex_CodePage() or b"UTF-8").decode("ascii", errors="replace")
    try:
        return name, codecs.lookup(name).name
    except LookupError:
        raise OSError(f"liborvex's code page {name!r} (ORVEX_CODEPAGE) is an encoding Python "
                      "does not know; name it as Python does") from None


def _load() -> tuple[ctypes.CDLL, str, str, str]:
    global _loaded
    with _lock:
        if _loaded is not None:
            return _loaded
        failures = []
        for candidate in _candidates():
            try:
                library = ctypes.CDLL(candidate)
                for name, (restype, argtypes) in PROTOTYPES.items():
                    function = getattr(library, name)  # an older library may lack one
                    function.restype = restype
                    function.argtypes = argtypes
            except (OSError, AttributeError) as error:
                failures.append(str(error))
                continue
            _loaded = (library, candidate, *_codec(library))
            return _loaded
        raise OSError("liborvex not found (set ORVEX_LIBRARY to its path): " + "; ".join(failures))


def lib() -> ctypes.CDLL:
    """The loaded library, its functions declared; loaded at first use."""
    return (_loaded or _load())[0]


def library_path() -> str:
    """The path or name the library was loaded from."""
    return (_loaded or _load())[1]


def code_page() -> str:
    """Orvex_CodePage: the code page texts pass in and out in ("UTF-8", "CP1252")."""
    return (_loaded or _load())[2]


def codec_name() -> str:
    """The Python codec of the library's code page."""
    return (_loaded or _load())[3]


@overload
def encode(text: str) -> bytes: ...


@overload
def encode(text: None) -> None: ...


def encode(text: str | None) -> bytes | None:
    """A text argument in the code page; None stays NULL. Characters the code
    page lacks raise UnicodeEncodeError; a NUL would cut the text short, so
    it raises ValueError."""
    if text is None:
        return None
    if not isinstance(text, str):
        raise TypeError(f"expected str, got {type(text).__name__}")
    if "\0" in text:
        raise ValueError("a text passed to liborvex cannot hold NUL characters")
    return text.encode(codec_name())


def decode(data: bytes | None) -> str:
    """A returned text (already copied by ctypes) as str; NULL is ""."""
    if not data:
        return ""
    return data.decode(codec_name(), errors="replace")


def text_of(value: object) -> str:
    """A Python value as the text the library takes for a parameter or cell:
    booleans "true"/"false", numbers in Python's notation, dates and times in
    ISO form (a naive date-time is local time, an aware one keeps its zone),
    bytes in Base64."""
    if isinstance(value, str):
        return value
    if isinstance(value, (bytes, bytearray)):
        return base64.b64encode(value).decode("ascii")
    if isinstance(value, bool):
        return "true" if value else "false"
    if isinstance(value, (int, float, decimal.Decimal)):
        return str(value)
    if isinstance(value, datetime.datetime):
        sep = "T" if value.tzinfo is not None else " "
        return value.isoformat(sep=sep, timespec="seconds")
    if isinstance(value, (datetime.date, datetime.time)):
        return value.isoformat()
    raise TypeError(f"cannot pass a {type(value).__name__} as a text")
