"""Calls made from the sample service's WSDL through the binding."""

from __future__ import annotations

import datetime

import pytest

import orvex


@pytest.mark.parametrize("path", ["", "soap12"])
def test_answers_are_shaped_and_typed_by_the_description(soap_url: str, path: str) -> None:
    client = orvex.Client(soap_url + path + "?wsdl")
    assert [op["Operation"] for op in client.operations][:2] == ["Add", "Echo"]
    assert client.service.Add(b=40, a=2) == 42
    orders = client.service.GetOrders(customer="ACME")
    assert [(row["Id"], row["Paid"]) for row in orders] == [(1, True), (2, False)]
    assert orders[0]["Placed"] == datetime.datetime(2005, 3, 7, 10, 20, 30, tzinfo=datetime.timezone.utc)
    assert client.service.GetOrders(customer="nobody") == []
    customer = client.service.GetCustomer(id=7)
    assert (customer["Name"], customer["Since"]) == ("ACME", datetime.date(1999, 12, 31))
    assert client.service.FindCustomer(id=1) is None
    assert client.service.CountPaid(orders=[{"Id": 1, "Paid": True, "Note": None}]) == 1
    with pytest.raises(orvex.SoapFault) as fault:
        client.service.Fail(reason="Bad input")
    assert fault.value.faultstring == "Bad input"
    with pytest.raises(orvex.HttpError, match="part a is integer"):
        client.service.Add(a="x")
    with pytest.raises(orvex.WsdlError):
        client.service.NoSuch()


def test_a_description_that_cannot_be_read_says_why(tmp_path) -> None:
    missing = str(tmp_path / "missing.wsdl")
    with pytest.raises(orvex.WsdlError, match="^Cannot read " + missing):
        orvex.Client(missing)


def _zeep_parts(io) -> str:
    """A message's parts as zeep reads them, written as orvex lists them."""
    parts = []
    for name, element in io.body.type.elements:
        repeats = element.max_occurs == "unbounded" or (
            isinstance(element.max_occurs, int) and element.max_occurs > 1)
        parts.append(f"{name} {element.type.name}{'[]' if repeats else ''}"
                     f"{'?' if element.min_occurs == 0 else ''}")
    return ", ".join(parts)


@pytest.mark.parametrize("path", ["", "soap12"])
def test_the_description_reads_as_zeep_reads_it(soap_url: str, path: str) -> None:
    zeep = pytest.importorskip("zeep")
    location = soap_url + path + "?wsdl"
    peer = zeep.Client(location)
    theirs = []
    for service in peer.wsdl.services.values():
        for port in service.ports.values():
            for name, operation in port.binding._operations.items():
                theirs.append((service.name, port.name, name, operation.soapaction, operation.style,
                               _zeep_parts(operation.input), _zeep_parts(operation.output),
                               port.binding_options["address"]))
    ours = [(op["Service"], op["Port"], op["Operation"], op["Action"], op["Style"], op["Input"],
             op["Output"], op["Endpoint"]) for op in orvex.Client(location).operations]
    assert ours == theirs
    # And a call made from it answers as zeep's does.
    assert orvex.Client(location).service.Add(a=2, b=40) == peer.service.Add(a=2, b=40)
