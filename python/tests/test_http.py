"""Plain HTTP requests through the binding."""

from __future__ import annotations

import socket
import urllib.parse

import pytest
from conftest import pattern

import orvex


def test_response_is_bytes_with_its_content_type(http_url: str) -> None:
    with orvex.HttpRequest() as request:
        response = request.request(f"{http_url}/bytes/1000")
    assert (response.content, response.content_type) == (pattern(1000), "application/octet-stream")


def test_status_raises_http_error_with_the_status(http_url: str) -> None:
    with orvex.HttpRequest() as request:
        with pytest.raises(orvex.HttpError, match=r"Return Error Code=404") as caught:
            request.request(f"{http_url}/status/404")
        assert (caught.value.status, caught.value.content, request.status) == (
            404, b"status 404", 404)


def test_status_and_headers_of_the_final_response(http_url: str) -> None:
    with orvex.HttpRequest() as request:
        assert request.status is None
        target = urllib.parse.quote(f"{http_url}/headers?X-Rate=5&x-rate=6&Empty=", safe="")
        response = request.request(f"{http_url}/redirect/302?to={target}")
        assert (response.status, request.status) == (200, 200)
        assert (request.header("X-RATE"), request.header("Empty"), request.header("Location"),
                request.header("Missing")) == ("5", "", None, None)


def test_failure_without_a_response_has_no_status() -> None:
    with socket.socket() as unused:
        unused.bind(("127.0.0.1", 0))
        port = unused.getsockname()[1]
    with orvex.HttpRequest() as request:
        with pytest.raises(orvex.HttpError) as caught:
            request.request(f"http://127.0.0.1:{port}/")
        assert (caught.value.status, request.status) == (None, None)


@pytest.mark.parametrize("charset, wire", [("UTF-8", "utf-8"), ("UTF-16", "utf-16-le")])
def test_text_body_goes_out_in_its_charset(http_url: str, charset: str, wire: str) -> None:
    body = "Grüße, 東京 €"
    with orvex.HttpRequest("POST", content_type="text/plain", charset=charset,
                           body=body) as request:
        echoed = request.request(f"{http_url}/echo").content
    assert echoed.endswith(b"\r\n\r\n" + body.encode(wire))


def test_deadline_ends_the_request(http_url: str) -> None:
    with orvex.HttpRequest() as request:
        request.set_deadline(1)
        with pytest.raises(orvex.HttpError, match=r"Request deadline of 1 second reached"):
            request.request(f"{http_url}/stall/3")


def test_text_with_nul_is_refused_before_the_call() -> None:
    with orvex.HttpRequest("POST") as request:
        with pytest.raises(ValueError):
            request.set_body("a\0b")
