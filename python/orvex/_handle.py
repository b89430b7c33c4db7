"""Handles: owned ones freed once (close(), a with block or the garbage
collector), and borrowed ones that check their owner before every use."""

from __future__ import annotations

import weakref
from typing import Callable, Self

from .errors import StaleHandleError

__all__ = ["Handle", "Lease"]


class Lease:
    """What a borrowed handle holds of its owner: a strong reference (so the
    owner is not freed under it) and the owner's generation of that kind of
    object when it was handed out. The owner bumps the generation whenever
    the library frees what it handed out (a new read, emptying, closing)."""

    __slots__ = ("_owner", "_kind", "_generation")

    def __init__(self, owner: Handle, kind: str) -> None:
        self._owner = owner
        self._kind = kind
        self._generation = owner._generations[kind]

    @property
    def valid(self) -> bool:
        return self._owner._generations[self._kind] == self._generation

    def check(self, what: str) -> None:
        if not self.valid:
            raise StaleHandleError(
                f"this {what} is gone: the {self._owner._what} that handed it out has "
                "read again, been emptied or been closed since")


class Handle:
    """A library object: owned (``delete`` given: freed exactly once) or
    borrowed (``lease`` given: valid while its owner keeps it)."""

    _what = "object"

    def __init__(self, pointer: int, delete: Callable[[int], None] | None = None,
                 lease: Lease | None = None, kinds: tuple[str, ...] = ()) -> None:
        if not pointer:
            raise MemoryError(f"liborvex could not make a {self._what}")
        self._pointer: int | None = pointer
        self._lease = lease
        # Generations of what this object hands out; see Lease.
        self._generations = dict.fromkeys(kinds, 0)
        # finalize holds the pointer, not self, and runs at most once.
        self._finalizer = weakref.finalize(self, delete, pointer) if delete else None

    def _ptr(self) -> int:
        """The pointer to pass to C, or StaleHandleError instead of a crash."""
        if self._pointer is None:
            raise StaleHandleError(f"this {self._what} is closed")
        if self._lease is not None:
            self._lease.check(self._what)
        return self._pointer

    def _retire(self, *kinds: str) -> None:
        """What this object handed out of these kinds (all when none given) is gone."""
        for kind in kinds or tuple(self._generations):
            self._generations[kind] += 1

    @property
    def closed(self) -> bool:
        """True once closed, or once its owner no longer keeps it."""
        return self._pointer is None or (self._lease is not None and not self._lease.valid)

    def close(self) -> None:
        """Frees the object now if it is owned; a borrowed one is only let go.
        Anything it handed out becomes invalid. Calling it again does nothing."""
        if self._pointer is None:
            return
        self._retire()
        self._pointer = None
        self._lease = None
        if self._finalizer is not None:
            self._finalizer()

    def __enter__(self) -> Self:
        return self

    def __exit__(self, *exc_info: object) -> None:
        self.close()

    def __repr__(self) -> str:
        state = "closed" if self.closed else hex(self._pointer or 0)
        return f"<orvex.{type(self).__name__} {state}>"
