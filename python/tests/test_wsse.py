"""SOAP headers and WS-Security UsernameTokens through the binding."""

from __future__ import annotations

import base64
import hashlib
import xml.etree.ElementTree as ET

import pytest

import orvex

WSSE = "http://docs.oasis-open.org/wss/2004/01/oasis-200401-wss-wssecurity-secext-1.0.xsd"
WSU = "http://docs.oasis-open.org/wss/2004/01/oasis-200401-wss-wssecurity-utility-1.0.xsd"


def test_username_token_and_headers_reach_the_service(wsse_url: str) -> None:
    with orvex.SoapRequest("dotnet", "WhoAmI", namespace="urn:orvex:wsse-test") as call:
        call.username_token("alice", "s3cret&<pw>", digest=True, milliseconds=True, ttl=60)
        call.add_header('<t:Trace xmlns:t="urn:t">1</t:Trace>')
        # The digest as the profile defines it, from the nonce and time written.
        envelope = ET.fromstring(call.envelope)
        token = envelope.find(f".//{{{WSSE}}}UsernameToken")
        nonce = base64.b64decode(token.findtext(f"{{{WSSE}}}Nonce"))
        created = token.findtext(f"{{{WSU}}}Created")
        expected = base64.b64encode(hashlib.sha1(nonce + created.encode() + b"s3cret&<pw>").digest()).decode()
        assert token.findtext(f"{{{WSSE}}}Password") == expected
        assert envelope.find(".//{urn:t}Trace") is not None
        for _ in range(2):
            row = call.call(wsse_url)[0]
            assert (row["User"], row["PasswordType"], row["Timestamp"]) == ("alice", "PasswordDigest", "true")
            assert call.header_tree()[0].name == "Session"
        with pytest.raises(ValueError, match="Header block holds text outside its elements"):
            call.add_header("text")
        call.username_token("alice", "wrong")
        with pytest.raises(orvex.SoapFault, match="wrong password"):
            call.call(wsse_url)
