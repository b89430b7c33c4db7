"""SOAP-encoded answers from peers nobody here wrote, whose shared objects are
written once and pointed to."""

from __future__ import annotations

import datetime
from decimal import Decimal

import pytest

import orvex


# Each peer's operation answering an array in which two items are the same object.
_SHARED = {
    "asmx-soap11": ("asmx_url", "Encoded.asmx", "GetParts", "EncodedSoap"),
    "asmx-soap12": ("asmx_url", "Encoded.asmx", "GetParts", "EncodedSoap12"),
    "gsoap": ("gsoap_url", "", "getShared", None),
}


@pytest.mark.parametrize("peer", list(_SHARED))
def test_a_shared_object_is_read_wherever_it_is_pointed_to(request: pytest.FixtureRequest, peer: str) -> None:
    fixture, path, operation, port = _SHARED[peer]
    client = orvex.Client(request.getfixturevalue(fixture) + path + "?wsdl")
    rows = client.call(operation, port=port, **({"key": 3} if peer == "gsoap" else {}))
    assert len(rows) >= 2 and dict(rows[0]) == dict(rows[1])
    assert all(value not in ("", None) for value in rows[0].values())
    if peer.startswith("asmx"):
        assert rows[0]["Price"] == Decimal("0.25")
        assert rows[2]["Made"] == datetime.datetime(2010, 5, 2, 12, tzinfo=datetime.timezone.utc)
