"""HTTP and HTTPS requests (HTTP_new), plain or carrying a SOAP message."""

from __future__ import annotations

import ctypes
from dataclasses import dataclass
from typing import TYPE_CHECKING, Callable

from ._handle import Handle
from ._native import decode, encode, lib
from .errors import HttpError, SoapFault, StaleHandleError, fault_parts

if TYPE_CHECKING:
    from .soap import SoapMessage

__all__ = ["HttpRequest", "HttpResponse", "VERBS"]

# The HTTP_VERB_* numbers.
VERBS = {"POST": 0, "GET": 1, "HEAD": 2, "PUT": 3, "LINK": 4, "DELETE": 5, "UNLINK": 6}


@dataclass(frozen=True)
class HttpResponse:
    """What a successful request brought back, copied out of the library."""

    status: int
    content: bytes
    content_type: str
    milliseconds: int
    bytes_sent: int
    bytes_received: int

    @property
    def text(self) -> str:
        """The content decoded by the charset its content type names (UTF-8 when none)."""
        charset = "utf-8"
        for part in self.content_type.split(";")[1:]:
            key, _, value = part.strip().partition("=")
            if key.lower() == "charset" and value:
                charset = value.strip('"')
        try:
            return self.content.decode(charset, errors="replace")
        except LookupError:
            return self.content.decode("utf-8", errors="replace")


class HttpRequest(Handle):
    """One request object (HTTP_new): settings that stay between requests,
    kept connections, and one exchange at a time. ``soap=True`` makes a SOAP
    request (POST, text/xml) that posts an attached SoapMessage."""

    _what = "HTTP request"

    def __init__(self, verb: str | int | None = None, *, content_type: str | None = None,
                 charset: str | None = None, body: str | bytes | None = None,
                 soap: bool = False) -> None:
        """verb, content_type, charset and body as the setters take them;
        None keeps the library's default (GET, text/html and UTF-8 for a plain
        request; POST and text/xml for a SOAP one)."""
        api = lib()
        super().__init__(api.HTTP_new(int(soap)), delete=api.HTTP_delete)
        # The attached message, through a call: a strong reference from
        # attach(), a weak one from a SoapRequest (which holds this request).
        self._attached: Callable[[], SoapMessage | None] | None = None
        if verb is not None:
            self.set_verb(verb)
        if content_type is not None:
            self.set_content_type(content_type)
        if charset is not None:
            self.set_charset(charset)
        if body is not None:
            self.set_body(body)

    def set_verb(self, verb: str | int) -> None:
        """"GET", "POST", "HEAD", "PUT", "DELETE", "LINK", "UNLINK" or an HTTP_VERB_* number."""
        number = VERBS[verb.upper()] if isinstance(verb, str) else verb
        lib().HTTP_SetVerb(self._ptr(), number)

    def set_content_type(self, content_type: str) -> None:
        lib().HTTP_SetContentType(self._ptr(), encode(content_type))

    def set_charset(self, charset: str) -> None:
        """"UTF-8" and "UTF-16" convert a text body; other names are only named."""
        lib().HTTP_SetCharset(self._ptr(), encode(charset))

    def set_body(self, body: str | bytes) -> None:
        """The body: a str in the code page, or bytes as they are. The C API
        takes a zero-ended text, so neither may hold a NUL."""
        if isinstance(body, bytes):
            if b"\0" in body:
                raise ValueError("the request body cannot hold NUL bytes")
            data = body
        else:
            data = encode(body)
        lib().HTTP_SetContent(self._ptr(), data)

    def set_timeouts(self, connect: int = 0, stall: int = 0) -> None:
        """Seconds to connect and that a transfer may move no byte; 0 is the default."""
        lib().HTTP_SetTimeouts(self._ptr(), connect, stall)

    def set_deadline(self, seconds: int) -> None:
        """Seconds a whole request may take, redirects included; 0 is the default."""
        lib().HTTP_SetDeadline(self._ptr(), seconds)

    def attach(self, message: SoapMessage | None) -> None:
        """Attaches the SOAP message this SOAP request posts (None detaches).
        The request keeps the message alive while attached."""
        self._attach(message, (lambda: message) if message is not None else None)

    def _attach(self, message: SoapMessage | None,
                reference: Callable[[], SoapMessage | None] | None) -> None:
        pointer = message._ptr() if message is not None else None
        if not lib().HTTP_AttachSoap(self._ptr(), pointer):
            raise ValueError("only a SOAP request (soap=True) takes a SOAP message")
        self._attached = reference

    def empty(self) -> None:
        """Empties the body and releases the response memory."""
        lib().HTTP_Empty(self._ptr())

    def request(self, url: str, user: str | None = None,
                password: str | None = None) -> HttpResponse:
        """Performs one exchange. Returns the response when status 200 arrived
        whole; raises HttpError otherwise (SoapFault when an attached
        message read a fault, with its faultcode or faultstring, from the
        answer)."""
        handle = self._ptr()
        api = lib()
        message = self._attached() if self._attached is not None else None
        if self._attached is not None and message is None:
            raise StaleHandleError("the SOAP message attached to this request is gone")
        if message is not None:
            message._before_request()
        ok = api.HTTP_Request(handle, encode(url), encode(user), encode(password))
        content = self._content()
        if not ok:
            text = decode(api.HTTP_GetLastError(handle))
            fault = message.last_error if message is not None else ""
            # A failed answer that is no fault (an error page) is a plain HTTP failure.
            if fault_parts(fault) is not None:
                raise SoapFault(text, fault, content, self.status)
            raise HttpError(text, content, self.status)
        if message is not None:
            message._after_response()
        return HttpResponse(
            status=api.HTTP_GetStatusCode(handle),
            content=content,
            content_type=decode(api.HTTP_GetResponseContentType(handle)),
            milliseconds=api.HTTP_GetMilliSeconds(handle),
            bytes_sent=api.HTTP_GetBodyBytes_Request(handle),
            bytes_received=api.HTTP_GetBodyBytes_Response(handle),
        )

    @property
    def status(self) -> int | None:
        """The status of the last request's final response (after redirects),
        200 included; None before any, or when none arrived whole."""
        return lib().HTTP_GetStatusCode(self._ptr()) or None

    def header(self, name: str) -> str | None:
        """The first value of the last final response's header name (ASCII case
        ignored); None when it has none, or when no response arrived."""
        value = lib().HTTP_GetResponseHeader(self._ptr(), encode(name))
        return None if value is None else decode(value)

    def _content(self) -> bytes:
        handle = self._ptr()
        address = lib().HTTP_GetResponse(handle)
        length = lib().HTTP_GetResponseContentLength(handle)
        return ctypes.string_at(address, length) if address and length > 0 else b""
