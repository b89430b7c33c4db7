"""SOAP calls to the sample service through the binding."""

from __future__ import annotations

import urllib.parse

import pytest
from conftest import run_python

import orvex

NS = "http://orvex.test/sample/"


# Each peer answering Add built by hand: its address, namespace and SOAP version.
_ADD_PEERS = {
    "spyne": ("soap_url", "", NS, 11),
    "spyne-soap12": ("soap_url", "soap12", NS, 12),
    "asmx": ("asmx_url", "Service.asmx", "http://orvex.test/asmx/", 11),
    "asmx-soap12": ("asmx_url", "Service.asmx", "http://orvex.test/asmx/", 12),
}


@pytest.mark.parametrize("peer", list(_ADD_PEERS))
def test_scalar_result_is_one_cell(request: pytest.FixtureRequest, peer: str) -> None:
    fixture, path, namespace, version = _ADD_PEERS[peer]
    url = request.getfixturevalue(fixture) + path
    with orvex.SoapRequest("dotnet", "Add", namespace=namespace, soap_version=version) as add:
        result = add.add("a", "int", 2).add("b", "int", 40).call(url)
        assert (len(result), result[0][0], result[0]["AddResult"]) == (1, "42", "42")


def test_rows_read_by_name_index_and_as_dicts(soap_url: str) -> None:
    with orvex.SoapRequest("dotnet", "GetOrders", namespace=NS) as call:
        orders = call.add("customer", "string", "ACME").call(soap_url)
        assert [row["Id"] for row in orders] == ["1", "2"]
        assert (orders[0]["customer"], orders[-1][0]) == ("ACME", "2")
        # The service types no field: texts, and None for its xsi:nil Note.
        assert orders.to_dicts()[1] == {"Id": "2", "Customer": "ACME", "Amount": "99.0",
                                        "Paid": "false", "Placed": "2005-03-08T08:00:00+00:00",
                                        "Note": None}
        with pytest.raises(KeyError):
            orders[0]["NoSuchColumn"]


def test_record_set_parameter_from_dicts(soap_url: str) -> None:
    orders = [{"Id": 1, "Amount": 2.5, "Paid": True, "Note": None},
              {"Id": 2, "Amount": 4.0, "Paid": False, "Note": "late"}]
    with orvex.SoapRequest("dotnet", "SumOrders", namespace=NS) as call:
        call.add_records("orders[]", orders, row_name="Order")
        assert call.call(soap_url)[0][0] == "6.5"


def test_record_set_parameter_from_rows_and_columns(soap_url: str) -> None:
    with orvex.SoapRequest("dotnet", "CountPaid", namespace=NS) as call:
        # The service requires Note in each row: a null cell is sent as xsi:nil.
        call.add_records("orders[]", [[1, True, None], [2, False, "x"], [3, True, None]],
                         [("Id", "int"), ("Paid", "boolean"), ("Note", "string")], row_name="Order")
        assert call.call(soap_url)[0][0] == "2"


def test_soap12_call_and_fault(soap_url: str) -> None:
    with orvex.SoapRequest("dotnet", "Add", namespace=NS, soap_version=12) as add:
        assert "http://www.w3.org/2003/05/soap-envelope" in add.add("a", "int", 2).envelope
        assert add.add("b", "int", 40).call(soap_url + "soap12")[0][0] == "42"
    with orvex.SoapRequest("dotnet", "Fail", namespace=NS, soap_version=12) as call:
        call.add("reason", "string", "Bad input")
        with pytest.raises(orvex.SoapFault) as caught:
            call.call(soap_url + "soap12")
    assert caught.value.faultstring == "Bad input"
    with orvex.SoapMessage("dotnet", "Add") as message:
        for wrong in (lambda: message.set_soap_version(13), lambda: message.set_action('a"b')):
            with pytest.raises(ValueError):
                wrong()


def test_apache_dialect_takes_the_target_object_uri() -> None:
    with orvex.SoapMessage("apache", "Add", target_object_uri="urn:calc") as message:
        envelope = message.add("a", "int", 2).envelope
    assert '<ns1:Add xmlns:ns1="urn:calc"' in envelope
    assert '<a xsi:type="xsd:int">2</a>' in envelope


def test_fault_raises_soap_fault(soap_url: str) -> None:
    with orvex.SoapRequest("dotnet", "Fail", namespace=NS) as call:
        call.add("reason", "string", "Bad input")
        with pytest.raises(orvex.SoapFault) as caught:
            call.call(soap_url)
    fault = caught.value
    assert (str(fault), fault.faultstring, fault.detail, fault.status) == (
        "Bad input", "Bad input", "Bad input", 500)
    assert fault.faultcode.endswith("Server")
    assert "Return Error Code=500" in fault.text and "faultstring = Bad input" in fault.fault


def test_fault_string_of_several_lines_is_read_whole(soap_url: str) -> None:
    reason = "first line\nsecond line\nfaultstring = third"
    with orvex.SoapRequest("dotnet", "Fail", namespace=NS) as call:
        call.add("reason", "string", reason)
        with pytest.raises(orvex.SoapFault) as caught:
            call.call(soap_url)
    assert (str(caught.value), caught.value.detail) == (reason, reason)


def test_error_page_without_a_fault_is_no_soap_fault(http_url: str) -> None:
    query = urllib.parse.urlencode({"ct": "text/html", "body": "<html><p>down</html>"})
    with orvex.SoapRequest("dotnet", "Add", namespace=NS) as call:
        with pytest.raises(orvex.HttpError) as caught:
            call.call(f"{http_url}/status/500?{query}")
    assert type(caught.value) is orvex.HttpError and caught.value.status == 500


def test_response_that_is_no_envelope_raises(http_url: str) -> None:
    query = urllib.parse.urlencode({"ct": "text/html", "body": "<html><body>hi</body></html>"})
    with orvex.SoapRequest("dotnet", "Add", namespace=NS) as call:
        with pytest.raises(orvex.ResponseError, match="Not a SOAP response"):
            call.call(f"{http_url}/status/200?{query}")


def test_non_ascii_text_round_trip(soap_url: str) -> None:
    text = "Grüße, 東京 € <&> \U0001F600"
    with orvex.SoapRequest("dotnet", "Echo", namespace=NS) as echo:
        assert echo.add("text", "string", text).call(soap_url)[0][0] == text


def test_code_page_round_trip(soap_url: str) -> None:
    script = f"""
import orvex
with orvex.SoapRequest("dotnet", "Echo", namespace={NS!r}) as echo:
    assert echo.add("text", "string", "Grüße €").call({soap_url!r})[0][0] == "Grüße €"
    try:
        echo.add("text", "string", "東京")
    except UnicodeEncodeError:
        print("ok")
"""
    run = run_python(script, ORVEX_CODEPAGE="CP1252")
    assert (run.returncode, run.stdout, run.stderr) == (0, "ok\n", "")
