"""Calls made from the sample services' WSDLs through the binding."""

from __future__ import annotations

import datetime
import decimal
import functools

import pytest

import orvex


# Each peer's sample service: its description, the port called, and the type of an order's Amount.
_SAMPLES = {
    "spyne-soap11": ("soap_url", "?wsdl", "Application", float),
    "spyne-soap12": ("soap_url", "soap12?wsdl", "Application", float),
    "asmx-soap11": ("asmx_url", "Service.asmx?wsdl", "ServiceSoap", decimal.Decimal),
    "asmx-soap12": ("asmx_url", "Service.asmx?wsdl", "ServiceSoap12", decimal.Decimal),
}


@pytest.mark.parametrize("sample", list(_SAMPLES))
def test_answers_are_shaped_and_typed_by_the_description(request: pytest.FixtureRequest,
                                                          sample: str) -> None:
    fixture, path, port, amount = _SAMPLES[sample]
    client = orvex.Client(request.getfixturevalue(fixture) + path)
    call = functools.partial(client.call, port=port)
    assert [op["Operation"] for op in client.operations][:2] == ["Add", "Echo"]
    assert client.service.Add(b=40, a=2) == 42
    assert call("Add", b=40, a=2) == 42
    orders = call("GetOrders", customer="ACME")
    assert [(row["Id"], row["Paid"], row["Amount"]) for row in orders] == [(1, True, 12.5), (2, False, 99)]
    assert type(orders[0]["Amount"]) is amount
    assert orders[0]["Placed"] == datetime.datetime(2005, 3, 7, 10, 20, 30, tzinfo=datetime.timezone.utc)
    assert (orders[0]["Note"], orders[1]["Note"]) == ("first & <urgent>", None)
    assert call("GetOrders", customer="nobody") == []
    customer = call("GetCustomer", id=7)
    assert (customer["Name"], customer["Since"]) == ("ACME", datetime.date(1999, 12, 31))
    assert call("FindCustomer", id=1) is None
    assert call("CountPaid", orders=[{"Id": 1, "Paid": True, "Note": None}]) == 1
    with pytest.raises(orvex.SoapFault) as fault:
        call("Fail", reason="Bad input")
    assert fault.value.faultstring == "Bad input"
    with pytest.raises(orvex.HttpError, match="part a is int"):
        call("Add", a="x")
    with pytest.raises(orvex.WsdlError):
        client.service.NoSuch()


def test_a_description_that_cannot_be_read_says_why(tmp_path) -> None:
    missing = str(tmp_path / "missing.wsdl")
    with pytest.raises(orvex.WsdlError, match="^Cannot read " + missing):
        orvex.Client(missing)


def _zeep_parts(io) -> str:
    """A message's parts as zeep reads them, written as orvex lists them."""
    if io.body is None:
        return ""
    parts = []
    for name, element in io.body.type.elements:
        repeats = element.max_occurs == "unbounded" or (
            isinstance(element.max_occurs, int) and element.max_occurs > 1)
        type_name = element.type.name
        if getattr(element.type, "_array_type", None) is not None:  # a SOAP-encoded array
            type_name, repeats = element.type._array_type.array_type.name, True
        parts.append(f"{name} {type_name}{'[]' if repeats else ''}"
                     f"{'?' if element.min_occurs == 0 else ''}")
    return ", ".join(parts)


# Where the SOAP encoding schema is named, zeep fetches it from its public address; offline,
# it is given the part of it that SOAP-encoded arrays need.
_SOAP_ENCODING = "http://schemas.xmlsoap.org/soap/encoding/"
_SOAP_ENCODING_SCHEMA = f"""<xs:schema xmlns:xs="http://www.w3.org/2001/XMLSchema"
    xmlns:enc="{_SOAP_ENCODING}" targetNamespace="{_SOAP_ENCODING}">
  <xs:attribute name="arrayType" type="xs:string"/>
  <xs:attribute name="offset" type="xs:string"/>
  <xs:complexType name="Array">
    <xs:sequence><xs:any minOccurs="0" maxOccurs="unbounded" processContents="lax"/></xs:sequence>
    <xs:attribute name="id" type="xs:ID"/><xs:attribute name="href" type="xs:anyURI"/>
    <xs:attribute ref="enc:arrayType"/><xs:attribute ref="enc:offset"/>
  </xs:complexType>
</xs:schema>""".encode()


def _zeep_client(location: str):
    zeep = pytest.importorskip("zeep")

    class OfflineTransport(zeep.Transport):
        def load(self, url: str) -> bytes:
            if url.rstrip("/") == _SOAP_ENCODING.rstrip("/"):
                return _SOAP_ENCODING_SCHEMA
            return super().load(url)

    return zeep.Client(location, transport=OfflineTransport())


# Each peer's description, and its operation adding a and b.
_PEERS = {
    "spyne-soap11": ("soap_url", "", "Add"),
    "spyne-soap12": ("soap_url", "soap12", "Add"),
    "gsoap-rpc-encoded": ("gsoap_url", "", "add"),
    "asmx": ("asmx_url", "Service.asmx", "Add"),
    "asmx-rpc-encoded": ("asmx_url", "Encoded.asmx", "Add"),
}


@pytest.mark.parametrize("peer", list(_PEERS))
def test_the_description_reads_as_zeep_reads_it(request: pytest.FixtureRequest, peer: str) -> None:
    fixture, path, add = _PEERS[peer]
    location = request.getfixturevalue(fixture) + path + "?wsdl"
    zeep_client = _zeep_client(location)
    theirs = []
    for service in zeep_client.wsdl.services.values():
        for port in service.ports.values():
            for name, operation in port.binding._operations.items():
                theirs.append((service.name, port.name, name, operation.soapaction, operation.style,
                               _zeep_parts(operation.input), _zeep_parts(operation.output),
                               port.binding_options["address"]))
    ours = [(op["Service"], op["Port"], op["Operation"], op["Action"], op["Style"], op["Input"],
             op["Output"], op["Endpoint"]) for op in orvex.Client(location).operations]
    assert ours == theirs
    # And a call made from it answers as zeep's does.
    assert getattr(orvex.Client(location).service, add)(a=2, b=40) == getattr(zeep_client.service, add)(a=2, b=40)


# The rpc/encoded peer on gSOAP's runtime: calls made from its description.

def _plain(value):
    """Either client's answer as plain values: rows and zeep's objects as dicts."""
    if isinstance(value, list):
        return [_plain(item) for item in value]
    if isinstance(value, orvex.Row):
        return _plain(value.to_dict())
    if isinstance(value, dict):
        return {key: _plain(item) for key, item in value.items()}
    return value


def _zeep_answer(location: str, operation: str, **parts):
    zeep = pytest.importorskip("zeep")
    answer = getattr(_zeep_client(location).service, operation)(**parts)
    return _plain(zeep.helpers.serialize_object(answer, dict))


@pytest.mark.parametrize("operation, parts", [
    ("add", {"a": -2, "b": 40}),
    ("echo", {"text": "caf\u00e9 & <b>\U0001F600</b>"}),
    ("getOrder", {"id": 7}),
    ("getOrders", {"customer": "ACME"}),
    ("getOrders", {"customer": "nobody"}),
])
def test_rpc_encoded_answers_read_as_zeep_reads_them(gsoap_url: str, operation: str, parts: dict) -> None:
    location = gsoap_url + "?wsdl"
    ours = _plain(getattr(orvex.Client(location).service, operation)(**parts))
    assert ours == _zeep_answer(location, operation, **parts)


def test_rpc_encoded_answers_are_typed_by_the_description(gsoap_url: str) -> None:
    client = orvex.Client(gsoap_url + "?wsdl")
    assert {(op["Style"], op["Use"]) for op in client.operations} == {("rpc", "encoded")}
    placed = datetime.datetime(2005, 3, 7, 10, 20, 30, tzinfo=datetime.timezone.utc)
    for order in [client.service.getOrder(id=7), client.service.getOrders(customer="ACME")[0]]:
        assert [type(value) for value in order.values()] == [int, str, float, datetime.datetime]
        assert (order["amount"], order["placed"]) == (12.5, placed)
    assert client.service.getOrders(customer="nobody") == []
    # gSOAP writes the null order as xsi:nil; zeep reads it as an order whose fields are None.
    assert client.service.findOrder(id=1) is None
    with pytest.raises(orvex.SoapFault) as fault:
        client.service.fail(reason="Bad input")
    assert fault.value.faultstring == "Bad input"


def test_a_soap_encoded_array_request_is_read_by_the_server(gsoap_url: str) -> None:
    placed = datetime.datetime(2005, 3, 7, 10, 20, 30, tzinfo=datetime.timezone.utc)
    orders = [{"id": 1, "customer": "x", "amount": 1.5, "placed": placed},
              {"id": 2, "customer": "y", "amount": 2.25, "placed": placed}]
    location = gsoap_url + "?wsdl"
    total = sum(order["amount"] for order in orders)
    assert _zeep_answer(location, "totalAmount", orders=orders) == total
    assert orvex.Client(location).service.totalAmount(orders=orders) == total


# gSOAP writes an order two items share in full twice (tree), once beside the answer with both
# items pointing at it (encoded: <id id="_2" xsi:type="ns:Order"> after the response element),
# or in the first item, which the second points at (graph). Each reads as the copies in full, as
# zeep reads them (zeep follows the encoded form's references, not the graph form's).
@pytest.mark.parametrize("mode", ["tree", "encoded", "graph"])
def test_an_order_two_items_share_reads_as_each_copy_in_full(gsoap_peer, mode: str) -> None:
    copies = _zeep_answer(gsoap_peer("tree") + "?wsdl", "getShared", key=3)
    assert _plain(orvex.Client(gsoap_peer(mode) + "?wsdl").service.getShared(key=3)) == copies
