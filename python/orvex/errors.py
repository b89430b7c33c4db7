"""The exceptions of the binding: every failure the C API reports as a result
and an error text becomes one of these, carrying that text."""

from __future__ import annotations

import re

__all__ = [
    "Error",
    "StaleHandleError",
    "HttpError",
    "SoapFault",
    "ResponseError",
    "WsdlError", "XmlError",
    "TransferError",
    "TransferCancelled",
    "Cancelled",
    "CellValueError",
]


class Error(Exception):
    """Base of every exception of the binding. ``text`` is the library's own text."""

    def __init__(self, text: str) -> None:
        super().__init__(text)
        self.text = text


class StaleHandleError(Error):
    """An object was used after it was closed, or after the object that
    handed it out read again, was emptied or was closed."""


class HttpError(Error):
    """An HTTP request failed: ``text`` is HTTP_GetLastError, ``status`` the
    HTTP status when a response arrived (None for a connection failure, a
    timeout, a refused redirect), ``content`` the bytes of any response."""

    def __init__(self, text: str, content: bytes = b"", status: int | None = None) -> None:
        super().__init__(text)
        self.status = status
        self.content = content


class SoapFault(HttpError):
    """A SOAP call answered with a fault. ``str(fault)`` is its faultstring;
    ``faultcode``, ``faultstring`` and ``detail`` are the fault's texts ("" when
    absent), ``fault`` is SOAP_GetLastError's text and ``text`` the request's
    error text (HTTP_GetLastError), as for any HttpError."""

    def __init__(self, text: str, fault: str, content: bytes = b"",
                 status: int | None = None) -> None:
        super().__init__(text, content, status)
        parts = fault_parts(fault) or {}
        self.fault = fault
        self.faultcode = parts.get("faultcode", "")
        self.faultstring = parts.get("faultstring", "")
        self.detail = parts.get("detail", "")
        self.args = (self.faultstring or self.faultcode,)


# SOAP_GetLastError's fault text: "\r\nfaultcode = ", "\r\nfaultstring = ", "\r\ndetail = ",
# each followed by its element's text and present only when that text is not empty. A text
# may run over several lines, so the pieces are found by these markers, not by lines.
_FAULT = re.compile(r"(?:\r\nfaultcode = (?P<faultcode>.*?))?(?:\r\nfaultstring = "
                    r"(?P<faultstring>.*?))?(?:\r\ndetail = (?P<detail>.*?))?", re.S)


def fault_parts(fault: str) -> dict[str, str] | None:
    """The texts of a fault text, by name; None when it names neither a faultcode
    nor a faultstring (a response that was no fault, or no XML)."""
    match = _FAULT.fullmatch(fault)
    if match is None or not (match["faultcode"] or match["faultstring"]):
        return None
    return {name: text for name, text in match.groupdict().items() if text}


class ResponseError(Error):
    """A SOAP response could not be read (SOAP_GetLastError after the read):
    not a SOAP envelope, malformed XML, a table past its bound."""


class WsdlError(Error):
    """A WSDL description that could not be read (the text is WSDL_GetLastError's),
    or an operation it does not describe."""


class XmlError(Error):
    """XML_new read no tree; the text is its reason (XML_GetLastError): the
    document is not well-formed XML, the file cannot be read, and so on."""


class TransferError(Error):
    """DownloadFile or UploadFile failed; ``text`` is the reason it gave."""


class TransferCancelled(TransferError):
    """The progress callback raised Cancelled: the transfer stopped and left
    nothing behind. The Cancelled raised is the ``__cause__``."""


class CellValueError(Error, ValueError):
    """A cell holds a text its column's type cannot hold ("abc" in an int
    column). ``row`` is the row's index, ``column`` the column's name, ``type``
    the type it is read as and ``cell_text`` the text, which Row.text() still
    reads."""

    def __init__(self, row: int, column: str, type_: str, cell_text: str) -> None:
        super().__init__(f"row {row}, column {column!r}: {cell_text!r} is no {type_} value")
        self.row = row
        self.column = column
        self.type = type_
        self.cell_text = cell_text


class Cancelled(Exception):
    """Raise it inside a progress callback to stop the transfer; download()
    or upload() then raises TransferCancelled. What a callback returns never
    cancels."""
