"""Handles the binding owns: each freed exactly once, by close(), a with
block or the garbage collector."""

from __future__ import annotations

import weakref
from typing import Callable, Self

from .errors import StaleHandleError

__all__ = ["Handle"]


class Handle:
    """A library object this binding made and frees with ``delete``."""

    _what = "object"

    def __init__(self, pointer: int, delete: Callable[[int], None]) -> None:
        if not pointer:
            raise MemoryError(f"liborvex could not make a {self._what}")
        self._pointer: int | None = pointer
        # finalize holds the pointer, not self, and runs at most once.
        self._finalizer = weakref.finalize(self, delete, pointer)

    def _ptr(self) -> int:
        """The pointer to pass to C, or StaleHandleError instead of a crash."""
        if self._pointer is None:
            raise StaleHandleError(f"this {self._what} is closed")
        return self._pointer

    @property
    def closed(self) -> bool:
        return self._pointer is None

    def close(self) -> None:
        """Frees the object now. Calling it again does nothing."""
        if self._pointer is None:
            return
        self._pointer = None
        self._finalizer()

    def __enter__(self) -> Self:
        return self

    def __exit__(self, *exc_info: object) -> None:
        self.close()

    def __repr__(self) -> str:
        state = "closed" if self.closed else hex(self._pointer or 0)
        return f"<orvex.{type(self).__name__} {state}>"
