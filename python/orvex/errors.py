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
    "XmlError",
    "TransferError",
    "TransferCancelled",
    "Cancelled",
]


class Error(Exception):
    """Base of every exception of the binding. ``text`` is the library's own text."""

    def __init__(self, text: str) -> None:
        super().__init__(text)
        self.text = text


class StaleHandleError(Error):
    """An object was used after it was closed, or after the object that
    handed it out read again, was emptied or was closed."""


# "Return Error Code=404(Requested URL not found)": the status of a failed request.
_STATUS = re.compile(r"Return Error Code=(\d+)")


class HttpError(Error):
    """An HTTP request failed: ``text`` is HTTP_GetLastError, ``status`` the
    HTTP status when a response arrived (None for a connection failure, a
    timeout, a refused redirect), ``content`` the bytes of any response."""

    def __init__(self, text: str, content: bytes = b"") -> None:
        super().__init__(text)
        match = _STATUS.search(text)
        self.status: int | None = int(match.group(1)) if match else None
        self.content = content


class SoapFault(HttpError):
    """A SOAP call answered with a fault. ``fault`` is SOAP_GetLastError (the
    "faultcode = ..." and "faultstring = ..." lines); ``faultcode`` and
    ``faultstring`` are those lines' values ("" when absent)."""

    def __init__(self, text: str, fault: str) -> None:
        super().__init__(text)
        self.fault = fault
        self.faultcode = _line_value(fault, "faultcode")
        self.faultstring = _line_value(fault, "faultstring")


def _line_value(fault: str, name: str) -> str:
    prefix = name + " = "
    for line in fault.splitlines():
        if line.startswith(prefix):
            return line[len(prefix):]
    return ""


class ResponseError(Error):
    """A SOAP response could not be read (SOAP_GetLastError after the read):
    not a SOAP envelope, malformed XML, a table past its bound."""


class XmlError(Error):
    """XML_new refused a document: not well-formed, no such file, no root."""


class TransferError(Error):
    """DownloadFile or UploadFile failed; ``text`` is the reason it gave."""


class TransferCancelled(TransferError):
    """The progress callback raised Cancelled: the transfer stopped and left
    nothing behind. The Cancelled raised is the ``__cause__``."""


class Cancelled(Exception):
    """Raise it inside a progress callback to stop the transfer; download()
    or upload() then raises TransferCancelled. What a callback returns never
    cancels."""
