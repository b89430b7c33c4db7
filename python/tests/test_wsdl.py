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
