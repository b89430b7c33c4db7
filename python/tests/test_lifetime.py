"""Lifetimes at the boundary: what a message hands out lives as long as the
Python objects that hold it, whatever the message does next; handles are
freed once; only an object used after its own close raises."""

from __future__ import annotations

from typing import Callable

import pytest
from conftest import run_python

import orvex

NS = "http://orvex.test/sample/"

RESPONSE = """<?xml version="1.0"?>
<soap:Envelope xmlns:soap="http://schemas.xmlsoap.org/soap/envelope/">
<soap:Body><m:GetResponse xmlns:m="urn:x"><m:GetResult>
<m:Item><m:Id>1</m:Id><m:Name>a</m:Name></m:Item>
<m:Item><m:Id>2</m:Id><m:Name>b</m:Name></m:Item>
</m:GetResult></m:GetResponse></soap:Body></soap:Envelope>"""

# Everything after which the C API no longer keeps what a message handed out.
EVENTS: dict[str, Callable[[orvex.SoapMessage], object]] = {
    "close": lambda m: m.close(),
    "empty": lambda m: m.empty(),
    "set_response": lambda m: m.set_response(RESPONSE.replace(">a<", ">z<")),
    "record_set again": lambda m: m.record_set(),
    "record_set(2)": lambda m: m.record_set(2),
    "tree again": lambda m: m.tree(),
}


@pytest.mark.parametrize("event", EVENTS)
def test_record_set_and_tree_outlive_what_their_message_does_next(event: str) -> None:
    message = orvex.SoapMessage("dotnet", "Get")
    message.set_response(RESPONSE)
    records, first, tree = message.record_set(), message.record_set(1), message.tree()
    row, item = records[1], tree[0][1]
    EVENTS[event](message)
    assert [row["Name"] for row in records] == ["a", "b"]
    assert (row["Id"], first[0]["Name"], item.name, item[0].text) == ("2", "a", "Item", "2")


def test_result_used_after_the_with_block(soap_url: str) -> None:
    with orvex.SoapRequest("dotnet", "GetOrders", namespace=NS) as call:
        orders = call.add("customer", "string", "ACME").call(soap_url)
    assert [order["Id"] for order in orders] == ["1", "2"]


def test_results_of_two_calls_kept_side_by_side(soap_url: str) -> None:
    with orvex.SoapRequest("dotnet", "Add", namespace=NS) as add:
        # A successful call clears the parameters, as storing a response does.
        first = add.add("a", "int", 1).add("b", "int", 2).call(soap_url)
        second = add.add("a", "int", 3).add("b", "int", 4).call(soap_url)
    assert (first[0][0], second[0][0]) == ("3", "7")


def test_iterating_a_result_while_making_another_call(soap_url: str) -> None:
    with orvex.SoapRequest("dotnet", "GetOrders", namespace=NS) as call:
        seen = []
        for order in call.add("customer", "string", "ACME").call(soap_url):
            others = call.add("customer", "string", "Globex").call(soap_url)
            seen.append((order["Id"], others[0]["Id"]))
    assert seen == [("1", "3"), ("2", "3")]


def test_tree_kept_after_the_message_is_closed() -> None:
    with orvex.SoapMessage("dotnet", "Get") as message:
        message.set_response(RESPONSE)
        result = message.tree()[0]
    assert [item.find("Name").text for item in result] == ["a", "b"]


def test_record_set_parameter_is_sent_as_it_was_when_added() -> None:
    records = orvex.RecordSet([("Id", "int")], [[1]])
    with orvex.SoapMessage("dotnet", "Sum") as message:
        message.add_records("items[]", records, row_name="Item")
        records.append([2])
        records[0]["Id"] = 9
        del records
        envelope = message.envelope
    assert "<Id>1</Id>" in envelope and "<Id>2</Id>" not in envelope


def test_closed_message_raises_instead_of_crashing() -> None:
    with orvex.SoapMessage("dotnet", "Get") as message:
        message.set_response(RESPONSE)
    message.close()  # a second close does nothing
    assert message.closed
    with pytest.raises(orvex.StaleHandleError):
        message.record_set()


def test_garbage_collector_frees_every_handle_once() -> None:
    script = r"""
import gc, orvex
RESPONSE = ('<soap:Envelope xmlns:soap="http://schemas.xmlsoap.org/soap/envelope/">'
            '<soap:Body><R><X>1</X><X>2</X></R></soap:Body></soap:Envelope>')
finalizers = []
for i in range(2000):
    message = orvex.SoapMessage("dotnet", "Get")
    message.add_records("rows[]", [{"Id": i, "Name": "n"}])
    finalizers.append(message._parameters[0][1]._finalizer)
    message.set_response(RESPONSE)
    records, tree = message.record_set(), message.tree()
    root = orvex.parse_xml("<a x='1'><b>t</b><c>u</c></a>")
    request = orvex.SoapRequest("apache", "Get")
    request.add_records("rows", orvex.RecordSet(["Id"], [[i]]))
    http = orvex.HttpRequest("POST", body="x")
    finalizers += [o._finalizer for o in (message, request, request.http,
                                          request._parameters[0][1], http)]
    if i % 2:  # half closed by hand, half left to the collector
        for o in (message, request, http):
            o.close()
    del message, records, tree, root, request, http
    if i % 100 == 0:
        cycle = [orvex.SoapMessage("dotnet", "Get")]
        cycle.append(cycle)
        finalizers.append(cycle[0]._finalizer)
        del cycle
gc.collect()
print(sum(f.alive for f in finalizers), len(finalizers))
"""
    run = run_python(script, "-X", "dev")
    assert (run.returncode, run.stdout, run.stderr) == (0, "0 12020\n", "")
