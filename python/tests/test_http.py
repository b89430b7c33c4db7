"""Plain HTTP requests through the binding."""

from __future__ import annotations

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
    assert (caught.value.status, caught.value.content) == (404, b"status 404")


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
