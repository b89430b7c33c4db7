"""Ownership at the boundary: what a message hands out dies with what it
holds, handles are freed once, and a use too late raises instead of crashing."""

from __future__ import annotations

from typing import Callable

import pytest
from conftest import run_python

import orvex

RESPONSE = """<?xml version="1.0"?>
<soap:Envelope xmlns:soap="http://schemas.xmlsoap.org/soap/envelope/">
<soap:Body><m:GetResponse xmlns:m="urn:x"><m:GetResult>
<m:Item><m:Id>1</m:Id><m:Name>a</m:Name></m:Item>
<m:Item><m:Id>2</m:Id><m:Name>b</m:Name></m:Item>
</m:GetResult></m:GetResponse></soap:Body></soap:Envelope>"""

# What the C API says kills the record set and the tree a message handed out.
EVENTS: dict[str, Callable[[orvex.SoapMessage], object]] = {
    "close": lambda m: m.close(),
    "empty": lambda m: m.empty(),
    "set_response": lambda m: m.set_response(RESPONSE),
    "record_set again": lambda m: m.record_set(),
    "tree again": lambda m: m.tree(),
}


def read_message() -> orvex.SoapMessage:
    message = orvex.SoapMessage("dotnet", "Get")
    message.set_response(RESPONSE)
    return message


@pytest.mark.parametrize("event", ["close", "empty", "set_response", "record_set again"])
def test_record_set_after_its_message_moved_on_raises(event: str) -> None:
    message = read_message()
    records = message.record_set()
    row = records[0]
    EVENTS[event](message)
    with pytest.raises(orvex.StaleHandleError):
        len(records)
    with pytest.raises(orvex.StaleHandleError):
        row["Id"]


@pytest.mark.parametrize("event", ["close", "empty", "set_response", "tree again"])
def test_tree_after_its_message_moved_on_raises(event: str) -> None:
    message = read_message()
    child = message.tree()[0]
    EVENTS[event](message)
    with pytest.raises(orvex.StaleHandleError):
        child.name


def test_record_set_after_the_next_call_raises(soap_url: str) -> None:
    with orvex.SoapRequest("dotnet", "Add", namespace="http://orvex.test/sample/") as add:
        first = add.add("a", "int", 1).add("b", "int", 2).call(soap_url)
        # A successful call clears the parameters, as storing a response does.
        assert add.add("a", "int", 3).add("b", "int", 4).call(soap_url)[0][0] == "7"
        with pytest.raises(orvex.StaleHandleError):
            first[0][0]


def test_borrowed_record_set_keeps_its_message_alive() -> None:
    records = read_message().record_set()  # the message has no other reference
    assert [row["Name"] for row in records] == ["a", "b"]


def test_closed_record_set_parameter_raises_before_sending() -> None:
    with orvex.SoapMessage("dotnet", "Sum") as message:
        records = message.add_records("items[]", [{"Id": 1}])
        records.close()
        with pytest.raises(orvex.StaleHandleError, match="items"):
            message.envelope


def test_context_manager_frees_once() -> None:
    with orvex.RecordSet(["Id"], [["1"]]) as records:
        pass
    records.close()  # a second close does nothing
    assert records.closed
    with pytest.raises(orvex.StaleHandleError):
        records[0]


def test_garbage_collector_frees_every_handle_once() -> None:
    script = r"""
import gc, orvex
RESPONSE = ('<soap:Envelope xmlns:soap="http://schemas.xmlsoap.org/soap/envelope/">'
            '<soap:Body><R><X>1</X><X>2</X></R></soap:Body></soap:Envelope>')
finalizers = []
for i in range(2000):
    message = orvex.SoapMessage("dotnet", "Get")
    message.add_records("rows[]", [{"Id": i, "Name": "n"}])
    message.set_response(RESPONSE)
    records, tree = message.record_set(), message.tree()
    root = orvex.parse_xml("<a x='1'><b>t</b><c>u</c></a>")
    child = root[1]
    request = orvex.SoapRequest("apache", "Get")
    request.add_records("rows", orvex.RecordSet(["Id"], [[i]]))
    http = orvex.HttpRequest("POST", body="x")
    finalizers += [o._finalizer for o in (message, root, request, request.http, http)]
    if i % 2:  # half closed by hand, half left to the collector
        for o in (message, root, request, http):
            o.close()
    del message, records, tree, root, child, request, http
    if i % 100 == 0:
        cycle = [orvex.RecordSet(["Id"])]
        cycle.append(cycle)
        finalizers.append(cycle[0]._finalizer)
        del cycle
gc.collect()
print(sum(f.alive for f in finalizers), len(finalizers))
"""
    run = run_python(script, "-X", "dev")
    assert (run.returncode, run.stdout, run.stderr) == (0, "0 10020\n", "")
