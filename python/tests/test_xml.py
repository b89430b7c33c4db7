"""XML trees through the binding."""

from __future__ import annotations

from pathlib import Path

import pytest

import orvex

DOCUMENT = """<?xml version="1.0"?>
<shop xmlns:p="urn:p" name="Café">
  <p:item id="1" Kind="book"><title>Grüße &amp; more</title><price>9.5</price></p:item>
  <p:item id="2"><title>東京</title></p:item>
  <note>n</note>
</shop>"""


def test_tree_reads_names_texts_and_attributes() -> None:
    with orvex.parse_xml(DOCUMENT) as shop:
        item = shop[0]
        assert (shop.name, len(shop), item.name, item[0].text, shop.text) == (
            "shop", 3, "p:item", "Grüße & more", "")
        assert shop.attributes == {"xmlns:p": "urn:p", "name": "Café"}
        assert (item.attribute("kind"), item.attribute("missing")) == ("book", "")
        assert item.parent == shop and shop.parent is None


def test_find_by_name() -> None:
    with orvex.parse_xml(DOCUMENT) as shop:
        assert [item.attributes["id"] for item in shop.findall("p:item")] == ["1", "2"]
        assert (shop.find("note").text, shop.find("nothing")) == ("n", None)


def test_soap_body_mode_starts_inside_the_body_without_prefixes() -> None:
    envelope = ('<s:Envelope xmlns:s="http://schemas.xmlsoap.org/soap/envelope/"><s:Body>'
                '<m:R xmlns:m="urn:m"><m:X>1</m:X></m:R></s:Body></s:Envelope>')
    with orvex.parse_xml(envelope, soap_body=True) as root:
        assert [root.name, [child.name for child in root]] == ["R", ["X"]]


def test_malformed_document_raises() -> None:
    with pytest.raises(orvex.XmlError):
        orvex.parse_xml("<a><b></a>")


def test_the_error_gives_the_librarys_reason() -> None:
    with pytest.raises(orvex.XmlError) as refused:
        orvex.parse_xml("<a><b></a>")
    assert str(refused.value).startswith("Invalid XML: ")


def test_document_read_from_a_file(tmp_path: Path) -> None:
    path = tmp_path / "données.xml"
    path.write_text(DOCUMENT, encoding="utf-8")
    with orvex.parse_xml(path) as shop:
        assert shop[1][0].text == "東京"


def test_nodes_outlive_the_with_block_of_their_root() -> None:
    with orvex.parse_xml(DOCUMENT) as shop:
        item = shop[0]
    assert (item[0].text, item.parent.name, item.attributes["id"]) == (
        "Grüße & more", "shop", "1")


def test_tree_as_deep_as_the_library_reads() -> None:
    depth = 1000
    node = orvex.parse_xml("<a>" * depth + "x" + "</a>" * depth)
    for _ in range(depth - 1):
        node = node[0]
    assert (node.text, node.name) == ("x", "a")
