"""Exceptions raised for what libkorvi refuses."""
from __future__ import annotations

from typing import Dict, Optional, Type

__all__ = [
    "KorviError",
    "InputTooShortError",
    "InvalidUtf8Error",
    "ExpressionParseError",
    "EmbeddedNulError",
    "error_for_status",
]


class KorviError(Exception):
    """A text the library refused. ``message`` is the library's own message
    (such as "Input length too short"); ``status`` its status code, or None
    for refusals made on the Python side before the library is called."""

    status: Optional[int] = None

    def __init__(self, message: str, status: Optional[int] = None) -> None:
        super().__init__(message)
        self.message = message
        if status is not None:
            self.status = status


class InputTooShortError(KorviError, ValueError):
    """The cleaned text has 11 code points or fewer (status 1)."""

    status = 1


class InvalidUtf8Error(KorviError, ValueError):
    """The text is not well-formed UTF-8, or an operand of an expression has
    no fingerprints (status 2)."""

    status = 2


class ExpressionParseError(KorviError, ValueError):
    """The boolean expression does not parse (status 3)."""

    status = 3


class EmbeddedNulError(KorviError, ValueError):
    """The text holds a NUL byte, which a C string cannot carry; refused
    rather than fingerprinting only the part before it."""


_BY_STATUS: Dict[int, Type[KorviError]] = {
    1: InputTooShortError,
    2: InvalidUtf8Error,
    3: ExpressionParseError,
}


def error_for_status(status: int, message: str) -> KorviError:
    """The exception for a status of the library and its message."""
    cls = _BY_STATUS.get(status)
    return cls(message) if cls is not None else KorviError(message, status)
