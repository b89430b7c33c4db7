"""SOAP messages (SOAP_new) and SOAP calls over HTTP."""

from __future__ import annotations

import weakref
from collections.abc import Iterable, Mapping, Sequence
from typing import Any, Self

from ._handle import Handle
from ._native import decode, encode, lib, text_of
from .errors import ResponseError
from .httprequest import HttpRequest
from .recordset import ColumnSpec, RecordSet, _LibrarySet
from .xmltree import XmlNode

__all__ = ["SoapMessage", "SoapRequest"]


class SoapMessage(Handle):
    """A SOAP message: one call's method, namespace and parameters, and what
    is read from its response.

    server_kind picks the dialect as SOAP_new does: a text containing
    ".net", "dotnet" or "dot net" (any case) is the .NET dialect
    (document/literal), anything else ("apache") the Apache dialect
    (RPC/encoded). What the message hands out (record_set(), tree()) is
    copied out of the library when it is read, and lives as long as it is
    referenced, whatever the message does next. A message used after close()
    raises StaleHandleError.
    """

    _what = "SOAP message"

    def __init__(self, server_kind: str, method: str, *, namespace: str | None = None,
                 target_object_uri: str | None = None, encoding: str | None = None,
                 soap_version: int = 11, action: str | None = None, _pointer: int | None = None) -> None:
        api = lib()
        # _pointer: a message the library made already (WSDL_NewCall), taken over.
        pointer = _pointer if _pointer is not None else api.SOAP_new(encode(server_kind), encode(method))
        super().__init__(pointer, api.SOAP_delete)
        # Record-set parameters: the library keeps only their pointers.
        self._parameters: list[tuple[str, _LibrarySet]] = []
        self._namespace = ""
        self._target_object_uri = ""
        if namespace is not None:
            self.set_namespace(namespace)
        if target_object_uri is not None:
            self.set_target_object_uri(target_object_uri)
        if encoding is not None:
            self.set_encoding(encoding)
        if soap_version != 11:
            self.set_soap_version(soap_version)
        if action is not None:
            self.set_action(action)

    def set_namespace(self, namespace: str) -> None:
        """The .NET dialect's method namespace ("" restores http://tempuri.org/)."""
        lib().SOAP_SetNameSpace(self._ptr(), encode(namespace))
        self._namespace = namespace

    def set_target_object_uri(self, uri: str) -> None:
        """The Apache dialect's target object URI."""
        lib().SOAP_SetTargetObjectURI(self._ptr(), encode(uri))
        self._target_object_uri = uri

    def set_encoding(self, encoding: str) -> None:
        """The encoding named in the envelope's XML declaration ("UTF-8")."""
        lib().SOAP_SetEncoding(self._ptr(), encode(encoding))

    def set_soap_version(self, version: int) -> None:
        """11 or 12: under 12 the envelope is SOAP 1.2 and a call posts it as
        application/soap+xml, the action in the media type. ValueError for
        another version."""
        if lib().SOAP_SetSoapVersion(self._ptr(), version) != 1:
            raise ValueError(f"SOAP version {version!r} is not 11 or 12")

    def set_action(self, action: str | None) -> None:
        """The action a call names instead of the one the dialect derives;
        None restores that. ValueError for a text with a double quote or a
        line end, which cannot stand in a header."""
        if lib().SOAP_SetAction(self._ptr(), None if action is None else encode(action)) != 1:
            raise ValueError(f"action {action!r} cannot stand in a header")

    def add(self, name: str, type_name: str, value: Any) -> Self:
        """Appends a scalar parameter and returns the message. type_name as
        SOAP_AddElement reads it ("int", "string", "dateTime", "boolean",
        "double"..., or any other name, whose value goes in unescaped).
        value: str, bool, int, float, Decimal, datetime or date."""
        lib().SOAP_AddElement(self._ptr(), encode(name), encode(type_name),
                              encode(text_of(value)))
        return self

    def add_records(self, name: str,
                    records: RecordSet | Iterable[Mapping[str, Any] | Sequence[Any]],
                    columns: Iterable[ColumnSpec] | Mapping[str, str] | None = None, *,
                    row_name: str | None = None, namespace: str | None = None,
                    type_name: str | None = None) -> Self:
        """Appends a record-set parameter, an array of rows when name ends in
        "[]", and returns the message. records is a RecordSet, dicts (columns
        typed as in RecordSet.from_dicts unless columns are given), or
        sequences with columns. A set made here takes row_name (default: name
        without "[]") as its row element, and namespace (default: the
        message's namespace, else its target object URI) and type_name
        (default: row_name) as its row type. The rows are copied as they are
        now: changing the RecordSet afterwards changes nothing sent."""
        if isinstance(records, RecordSet):
            record_set = records
        else:
            row = row_name or name.removesuffix("[]")
            if namespace is None:
                namespace = self._namespace or self._target_object_uri
            options = {"name": row, "namespace": namespace, "type_name": type_name or row}
            if columns is None:
                record_set = RecordSet.from_dicts(records, **options)  # type: ignore[arg-type]
            else:
                record_set = RecordSet(columns, records, **options)
        copy = record_set._to_library()
        lib().SOAP_AddNodes(self._ptr(), encode(name), copy._ptr())
        self._parameters.append((name, copy))
        return self

    def add_header(self, xml: str) -> Self:
        """Adds a SOAP header block of literal XML (SOAP_AddHeader), sent with
        every call until empty(), and returns the message. ValueError, with
        the library's reason, for a text that is no block."""
        if lib().SOAP_AddHeader(self._ptr(), encode(xml)) != 1:
            raise ValueError(self.last_error)
        return self

    def username_token(self, user: str | None, password: str = "", *, digest: bool = False,
                       nonce: bool = False, milliseconds: bool = False, must_understand: bool = False,
                       ttl: int = 0) -> Self:
        """Sends a WS-Security UsernameToken with every call until empty()
        (SOAP_SetUsernameToken), and returns the message: the password as
        text, or as a digest with a nonce and a time (digest); a nonce and a
        time with the text too (nonce); times with milliseconds; mustUnderstand
        on the Security header; a timestamp expiring ttl seconds after each
        call. None as user drops the token. ValueError for a negative ttl."""
        flags = ((1 if digest else 0) | (2 if nonce else 0) | (4 if milliseconds else 0)
                 | (8 if must_understand else 0))
        if lib().SOAP_SetUsernameToken(self._ptr(), None if user is None else encode(user),
                                       encode(password), flags, ttl) != 1:
            raise ValueError(self.last_error)
        return self

    @property
    def envelope(self) -> str:
        """The request envelope (SOAP_GetSoap), lines ending in CR LF."""
        return decode(lib().SOAP_GetSoap(self._ptr()))

    def set_response(self, response: str) -> None:
        """Clears the message, parameters included, and stores a response to read."""
        handle = self._ptr()
        self._forget()
        lib().SOAP_SetSoap(handle, encode(response))

    def empty(self) -> None:
        """Discards the parameters, the header blocks and token, the response,
        what was read and the error text."""
        handle = self._ptr()
        self._forget()
        lib().SOAP_Empty(handle)

    def _forget(self) -> None:
        self._parameters.clear()

    def _before_request(self) -> None:
        """A request writes the envelope: the message must be there."""
        self._ptr()

    def _after_response(self) -> None:
        """A successful call stores its response as SOAP_SetSoap does: the parameters are gone."""
        self._parameters.clear()

    def record_set(self, index: int | None = None) -> RecordSet | None:
        """The response's return element as a record set (SOAP_GetSRS), or with
        an index record set number index (SOAP_GetMultiSRS: 0 the whole
        return element, 1.. its children; None past the last), copied out of
        the library. Raises ResponseError when the response could not be read."""
        handle = self._ptr()
        if index is None:
            pointer = lib().SOAP_GetSRS(handle)
        else:
            pointer = lib().SOAP_GetMultiSRS(handle, index)
        error = self.last_error
        if error:
            raise ResponseError(error)
        return RecordSet._copy_of(pointer) if pointer else None

    def tables(self) -> list[RecordSet]:
        """The response's tables: for a DataSet (or DataTable) answer each of
        its tables, named after it (RecordSet.name) and typed by its schema;
        for any other answer a list of the one record set."""
        first = self.record_set()
        assert first is not None  # SOAP_GetSRS gives a set for any stored response
        tables = [first]
        while first.name:
            table = self.record_set(len(tables) + 1)
            if table is None:
                break
            tables.append(table)
        return tables

    def tree(self) -> XmlNode | None:
        """The response as a tree from the method response element, prefixes
        removed (SOAP_GetXMLTree), copied out of the library; None without a
        response. Raises ResponseError when the response could not be read."""
        handle = self._ptr()
        pointer = lib().SOAP_GetXMLTree(handle)
        error = self.last_error
        if error:
            raise ResponseError(error)
        return XmlNode._copy_of(pointer) if pointer else None

    def header_tree(self) -> XmlNode | None:
        """The response's Header as a tree, prefixes removed
        (SOAP_GetHeaderTree), copied out of the library; None without a
        response or a Header. Raises ResponseError when the response could
        not be read."""
        pointer = lib().SOAP_GetHeaderTree(self._ptr())
        error = self.last_error
        if error:
            raise ResponseError(error)
        return XmlNode._copy_of(pointer) if pointer else None

    @property
    def last_error(self) -> str:
        """SOAP_GetLastError: the last call's fault or why the last read failed; "" when none."""
        return decode(lib().SOAP_GetLastError(self._ptr()))


class SoapRequest(SoapMessage):
    """A SOAP call: a message with the SOAP request that posts it.

    >>> with SoapRequest("dotnet", "Add", namespace="http://orvex.test/sample/") as add:
    ...     add.add("a", "int", 2).add("b", "int", 40)
    ...     add.call(url)[0][0]
    '42'
    """

    _what = "SOAP request"

    def __init__(self, server_kind: str, method: str, **options: Any) -> None:
        """As SoapMessage; options: namespace, target_object_uri, encoding,
        soap_version, action."""
        super().__init__(server_kind, method, **options)
        self.http = HttpRequest(soap=True)
        # Weakly: the request is ours, and a strong reference back would make a cycle.
        self.http._attach(self, weakref.ref(self))

    def set_timeouts(self, connect: int = 0, stall: int = 0) -> None:
        """Seconds to connect and that a transfer may move no byte; 0 is the default."""
        self.http.set_timeouts(connect, stall)

    def set_deadline(self, seconds: int) -> None:
        """Seconds the whole call may take, redirects included; 0 is the default."""
        self.http.set_deadline(seconds)

    def call(self, url: str, user: str | None = None, password: str | None = None) -> RecordSet:
        """Posts the message and returns the response's record set, copied
        out of the library. Raises SoapFault for a fault,
        HttpError for any other failed request, ResponseError for a response
        that could not be read. A successful call stores the response as
        set_response() does, which clears the parameters: add them again
        before calling again."""
        self.http.request(url, user, password)
        record_set = self.record_set()
        assert record_set is not None  # SOAP_GetSRS gives a set for any stored response
        return record_set

    def close(self) -> None:
        """Frees the request, then the message."""
        self.http.close()
        super().close()
