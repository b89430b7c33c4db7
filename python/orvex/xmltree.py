"""XML trees: a document read by XML_new, or a SOAP response's tree, as nodes
copied out of the library when read."""

from __future__ import annotations

import os
from collections.abc import Iterator
from typing import Any

from ._native import codec_name, encode, lib
from ._values import fold
from .errors import XmlError

__all__ = ["XmlNode", "parse_xml"]


def parse_xml(source: str | os.PathLike[str], soap_body: bool = False) -> XmlNode:
    """Reads an XML document into a tree and returns its root.

    source is the document's text, or a file: a path object, or a text that
    does not start with '<' and names an existing file (XML_new's rule).
    soap_body starts the tree at the first element inside a SOAP Body and
    drops namespace prefixes. Raises XmlError, with the library's reason
    (XML_GetLastError), when it reads no tree."""
    text = os.fspath(source)
    api = lib()
    pointer = api.XML_new(encode(text), int(soap_body))
    if not pointer:
        raise XmlError((api.XML_GetLastError() or b"").decode(codec_name(), "replace"))
    try:
        return XmlNode._copy_of(pointer)
    finally:
        api.XML_delete(pointer)


class XmlNode:
    """A node of an XML tree: name, text (of a leaf), attributes and children.

    A node reads as the sequence of its children (len, index, iteration).
    The whole tree is copied out of the library when it is read, so every
    node lives as long as it is referenced: nothing here holds library
    memory, and close() and with blocks are accepted and change nothing.
    """

    __slots__ = ("_name", "_text", "_attributes", "_children", "_parent")

    def __init__(self, name: str, text: str, attributes: dict[str, str],
                 parent: XmlNode | None) -> None:
        self._name = name
        self._text = text
        self._attributes = attributes
        self._children: list[XmlNode] = []
        self._parent = parent

    @classmethod
    def _copy_of(cls, pointer: int) -> XmlNode:
        """The tree below a node the library holds, copied: names, texts, attributes."""
        api = lib()
        codec = codec_name()
        get_name, get_text, get_props = api.XML_GetName, api.XML_GetText, api.XML_GetProps
        get_children, get_child = api.XML_GetChildren, api.XML_GetChild

        def node(at: int, parent: XmlNode | None) -> XmlNode:
            attributes = {}
            for i in range(1, get_props(at) + 1):
                # Name and value share one return text: each is copied before the next call.
                name = (api.XML_GetPropName(at, i) or b"").decode(codec, "replace")
                attributes[name] = (api.XML_GetPropValue(at, i) or b"").decode(codec, "replace")
            return cls((get_name(at) or b"").decode(codec, "replace"),
                       (get_text(at) or b"").decode(codec, "replace"), attributes, parent)

        root = node(pointer, None)
        # A walk of our own, not recursion: trees may be as deep as the library reads them.
        pending = [(root, pointer)]
        while pending:
            parent, at = pending.pop()
            children = parent._children
            for index in range(1, get_children(at) + 1):
                child_pointer = get_child(at, index)
                child = node(child_pointer, parent)
                children.append(child)
                pending.append((child, child_pointer))
        return root

    @property
    def name(self) -> str:
        """The element's name, prefix included unless read in SOAP body mode."""
        return self._name

    @property
    def text(self) -> str:
        """The text of a leaf, entities decoded; "" for a node with children."""
        return self._text

    @property
    def attributes(self) -> dict[str, str]:
        """The attributes in document order, namespace declarations included."""
        return dict(self._attributes)

    def attribute(self, name: str) -> str:
        """The attribute so named, ASCII letter case ignored, as XML_GetProperty
        finds it; "" when none."""
        wanted = fold(name)
        return next((value for key, value in self._attributes.items() if fold(key) == wanted), "")

    @property
    def parent(self) -> XmlNode | None:
        return self._parent

    @property
    def children(self) -> list[XmlNode]:
        return list(self._children)

    def find(self, name: str) -> XmlNode | None:
        """The first child of that name, or None."""
        return next((child for child in self._children if child._name == name), None)

    def findall(self, name: str) -> list[XmlNode]:
        """Every child of that name, in order."""
        return [child for child in self._children if child._name == name]

    def close(self) -> None:
        """Nothing to free. Kept, with the with block, for code written when a
        root held the library's tree."""

    def __enter__(self) -> XmlNode:
        return self

    def __exit__(self, *exc_info: Any) -> None:
        pass

    def __len__(self) -> int:
        return len(self._children)

    def __getitem__(self, index: int) -> XmlNode:
        count = len(self._children)
        if not -count <= index < count:
            raise IndexError(f"child {index} out of range ({count} children)")
        return self._children[index]

    def __iter__(self) -> Iterator[XmlNode]:
        return iter(list(self._children))

    def __repr__(self) -> str:
        return f"<orvex.XmlNode {self._name!r}, {len(self._children)} children>"
