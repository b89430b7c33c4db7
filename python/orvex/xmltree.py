"""XML trees: a document read by XML_new, or a SOAP response's tree, as nodes."""

from __future__ import annotations

import os
from collections.abc import Callable, Iterator

from ._handle import Handle, Lease
from ._native import decode, encode, lib
from .errors import XmlError

__all__ = ["XmlNode", "parse_xml"]


def parse_xml(source: str | os.PathLike[str], soap_body: bool = False) -> XmlNode:
    """Reads an XML document into a tree and returns its root, which owns the
    tree: close it (or use it in a with block) to free the tree at once.

    source is the document's text, or a file: a path object, or a text that
    does not start with '<' and names an existing file (XML_new's rule).
    soap_body starts the tree at the first element inside a SOAP Body and
    drops namespace prefixes. Raises XmlError when the library refuses the
    document."""
    text = os.fspath(source)
    pointer = lib().XML_new(encode(text), int(soap_body))
    if not pointer:
        shown = text if len(text) <= 60 else text[:57] + "..."
        raise XmlError(f"not a well-formed XML document or file: {shown!r}")
    return XmlNode(pointer, delete=lib().XML_delete)


class XmlNode(Handle):
    """A node of an XML tree: name, text (of a leaf), attributes and children.

    A node reads as the sequence of its children (len, index, iteration).
    Only the root that parse_xml returned owns the tree; every other node
    raises StaleHandleError once that root is closed, or once the SOAP
    message that handed out the tree reads again, is emptied or is closed.
    """

    _what = "XML node"

    def __init__(self, pointer: int, delete: Callable[[int], None] | None = None,
                 lease: Lease | None = None) -> None:
        super().__init__(pointer, delete=delete, lease=lease, kinds=("tree",) if delete else ())
        self._address = pointer

    def _node(self, pointer: int) -> XmlNode:
        """A node of the same tree, tied to whatever keeps this one valid."""
        return XmlNode(pointer, lease=self._lease or Lease(self, "tree"))

    @property
    def name(self) -> str:
        """The element's name, prefix included unless read in SOAP body mode."""
        return decode(lib().XML_GetName(self._ptr()))

    @property
    def text(self) -> str:
        """The text of a leaf, entities decoded; "" for a node with children."""
        return decode(lib().XML_GetText(self._ptr()))

    @property
    def attributes(self) -> dict[str, str]:
        """The attributes in document order, namespace declarations included."""
        handle = self._ptr()
        api = lib()
        # Name and value share one return text: each is copied before the next call.
        return {decode(api.XML_GetPropName(handle, i)): decode(api.XML_GetPropValue(handle, i))
                for i in range(1, api.XML_GetProps(handle) + 1)}

    def attribute(self, name: str) -> str:
        """XML_GetProperty: the attribute so named, letter case ignored; "" when none."""
        return decode(lib().XML_GetProperty(self._ptr(), encode(name)))

    @property
    def parent(self) -> XmlNode | None:
        pointer = lib().XML_GetParent(self._ptr())
        return self._node(pointer) if pointer else None

    @property
    def children(self) -> list[XmlNode]:
        return list(self)

    def find(self, name: str) -> XmlNode | None:
        """The first child of that name, or None."""
        return next((child for child in self if child.name == name), None)

    def findall(self, name: str) -> list[XmlNode]:
        """Every child of that name, in order."""
        return [child for child in self if child.name == name]

    def __len__(self) -> int:
        return lib().XML_GetChildren(self._ptr())

    def __getitem__(self, index: int) -> XmlNode:
        count = len(self)
        position = index + count if index < 0 else index
        if not 0 <= position < count:
            raise IndexError(f"child {index} out of range ({count} children)")
        return self._node(lib().XML_GetChild(self._ptr(), position + 1))

    def __iter__(self) -> Iterator[XmlNode]:
        handle = self._ptr()
        for index in range(1, lib().XML_GetChildren(handle) + 1):
            yield self._node(lib().XML_GetChild(self._ptr(), index))

    def __eq__(self, other: object) -> bool:
        return isinstance(other, XmlNode) and other._address == self._address

    def __hash__(self) -> int:
        return hash(self._address)

    def __repr__(self) -> str:
        if self.closed:
            return super().__repr__()
        return f"<orvex.XmlNode {self.name!r}, {len(self)} children>"
