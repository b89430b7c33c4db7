"""Calls made from a WSDL description (WSDL_new, WSDL_NewCall)."""

from __future__ import annotations

from collections.abc import Mapping, Sequence
from typing import Any

from ._handle import Handle
from ._native import decode, encode, lib
from .errors import WsdlError
from .recordset import RecordSet, Row
from .soap import SoapRequest

__all__ = ["Client"]


class _Service:
    """``client.service.NAME(**parts)`` calls operation NAME."""

    def __init__(self, client: Client) -> None:
        self._client = client

    def __getattr__(self, operation: str) -> Any:
        if operation.startswith("_"):
            raise AttributeError(operation)
        return lambda **parts: self._client.call(operation, **parts)


class Client(Handle):
    """A WSDL 1.1 description read with everything it imports, and calls
    made from it.

    >>> client = Client("http://127.0.0.1:8080/?wsdl")
    >>> client.service.Add(a=2, b=40)
    42

    max_age > 0 keeps fetched documents in the cache directory
    (ORVEX_CACHE_DIR, else $XDG_CACHE_HOME/orvex, else ~/.cache/orvex) and
    reads a copy younger than that many seconds. Raises WsdlError when the
    description cannot be read, with the library's reason.

    An answer is shaped as the description says: a value for a simple
    output, a Row for a structure, a list of Rows for an array (empty when
    it holds no item), None for a nil or empty answer; values typed as in a
    RecordSet. A fault raises SoapFault; a part the operation does not have,
    a required one missing or a value its type cannot hold fails before
    anything is sent, as HttpError naming the part.
    """

    _what = "WSDL description"

    def __init__(self, location: str, max_age: int = 0) -> None:
        api = lib()
        super().__init__(api.WSDL_new(encode(location), max_age), api.WSDL_delete)
        error = decode(api.WSDL_GetLastError(self._ptr()))
        if error:
            self.close()
            raise WsdlError(error)
        self.service = _Service(self)
        # Sent with every call: header blocks, and username_token's arguments.
        self._headers: list[str] = []
        self._token: tuple[tuple[Any, ...], dict[str, Any]] | None = None

    def add_header(self, xml: str) -> Client:
        """A SOAP header block of literal XML sent with every call of the
        client, as SoapMessage.add_header; a block that is no block raises
        ValueError at the call."""
        self._headers.append(xml)
        return self

    def username_token(self, user: str | None, password: str = "", **options: Any) -> Client:
        """A WS-Security UsernameToken sent with every call of the client, as
        SoapMessage.username_token (digest, nonce, milliseconds,
        must_understand, ttl); None as user drops it."""
        self._token = None if user is None else ((user, password), options)
        return self

    @property
    def operations(self) -> list[dict[str, Any]]:
        """One dict per operation of each SOAP port: Service, Port,
        SoapVersion, Style, Use, Operation, Action, Endpoint, Input, Output."""
        pointer = lib().WSDL_GetOperations(self._ptr())
        return RecordSet._copy_of(pointer).to_dicts() if pointer else []

    def endpoint(self, operation: str, port: str | None = None) -> str | None:
        """The address of the port that offers the operation (None: no port has it)."""
        text = lib().WSDL_GetEndpoint(self._ptr(), encode(operation), encode(port))
        return None if text is None else decode(text)

    def call(self, operation: str, port: str | None = None, url: str | None = None, **parts: Any) -> Any:
        """Calls the operation through the port (default: the first SOAP 1.1
        port that has it, else the first 1.2 one) or at url. A part given as
        a mapping is sent as a structure, a sequence of mappings as an array."""
        api = lib()
        handle = self._ptr()
        pointer = api.WSDL_NewCall(handle, encode(operation), encode(port))
        if not pointer:
            raise WsdlError(f"the description has no operation {operation}"
                            + (f" on port {port}" if port else ""))
        shape = decode(api.WSDL_GetOutputShape(handle, encode(operation), encode(port)))
        address = url if url is not None else self.endpoint(operation, port)
        if not address:
            raise WsdlError(f"the description gives {operation} no address: pass url")
        with SoapRequest("", "", _pointer=pointer) as request:
            for xml in self._headers:
                request.add_header(xml)
            if self._token is not None:
                request.username_token(*self._token[0], **self._token[1])
            for name, value in parts.items():
                if isinstance(value, Mapping):
                    request.add_records(name, [value])
                elif isinstance(value, Sequence) and not isinstance(value, (str, bytes)):
                    # The description names the array's items when the part wraps them.
                    request.add_records(name + "[]", value)
                else:
                    request.add(name, "", value)
            result = request.call(address)
            if result.name:  # a DataSet: its named tables
                return request.tables()
        return _shaped(result, shape)


def _shaped(result: RecordSet, shape: str) -> Any:
    rows: list[Row] = list(result)
    if shape == "array":
        return rows
    if not rows:
        return None
    if shape == "scalar":
        return rows[0][0]
    return rows[0]
