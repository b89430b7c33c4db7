"""Orvex from Python: SOAP calls, HTTP requests, record sets, XML trees and
file transfer through liborvex's C API (include/orvex.h), loaded with ctypes.

Every operation is a call into the library; this package only converts
values, keeps ownership straight and turns error texts into exceptions.

Finding the library, at first use:

1. ``ORVEX_LIBRARY=/path/to/liborvex.so.1`` in the environment wins, and
   nothing else is tried.
2. Otherwise the build tree next to this package: ``../build*/src/liborvex.so.1``
   relative to the ``python/`` folder, the most recently built first;
   sanitizer builds (``ORVEX_SANITIZE=ON``) are skipped, as their runtime
   would have to be preloaded.
3. Then the system: ``ctypes.util.find_library("orvex")``, else
   ``liborvex.so.1`` through the dynamic loader's search path.

Texts are str. Arguments are encoded and results decoded in the library's
code page, as ``Orvex_CodePage`` names it (``code_page()``): UTF-8 unless
``ORVEX_CODEPAGE`` names another that iconv knows. A character the code page lacks
raises UnicodeEncodeError; bytes it cannot decode read as U+FFFD. Every
text the library returns is copied at once, so its shared per-thread
buffers never show through. Response bodies are bytes. Record-set cells
are read as values of their column's type (int, Decimal, float, bool,
datetime, date, time, bytes or str) and None when null; see Row.

Lifetimes: record sets and XML trees are held in Python. One read from a
response, or by ``parse_xml``, is copied out of the library when it is
read, so it lives as long as it is referenced, whatever its message does
next; a record-set parameter is copied into the library when it is added.
The library objects made here (``SoapMessage``, ``SoapRequest``,
``HttpRequest``) are freed exactly once, by ``close()``, a ``with`` block
or the garbage collector, and one used after its close raises
``StaleHandleError`` instead of crashing. A handle is used by one thread at
a time, as in C.

>>> import orvex
>>> with orvex.SoapRequest("dotnet", "GetOrders", namespace="http://orvex.test/sample/") as call:
...     call.add("customer", "string", "ACME")
...     orders = call.call("http://127.0.0.1:8080/").to_dicts()
"""

from ._native import code_page, library_path, lib
from .errors import (Cancelled, CellValueError, Error, HttpError, ResponseError, SoapFault,
                     StaleHandleError, TransferCancelled, TransferError, WsdlError, XmlError)
from .httprequest import VERBS, HttpRequest, HttpResponse
from .recordset import Column, RecordSet, Row
from .soap import SoapMessage, SoapRequest
from .transfer import download, set_download_deadline, upload
from .wsdl import Client
from .xmltree import XmlNode, parse_xml

__all__ = [
    "Cancelled", "CellValueError", "Client", "Column", "Error", "HttpError", "HttpRequest", "HttpResponse",
    "RecordSet", "ResponseError", "Row", "SoapFault", "SoapMessage", "SoapRequest",
    "StaleHandleError", "TransferCancelled", "TransferError", "VERBS", "WsdlError", "XmlError", "XmlNode",
    "code_page", "download", "library_path", "library_version", "parse_xml",
    "set_download_deadline", "upload",
]


def library_version() -> str:
    """Orvex_Version: the loaded library's "MAJOR.MINOR.PATCH"."""
    return (lib().Orvex_Version() or b"").decode("ascii")
