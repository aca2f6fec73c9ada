"""JSON reading for the library's answers.

Expression trees nest one level per operator, so a long expression is
deeper than the json module's recursion allows; such texts are read again
by a decoder that keeps its own stack.
"""
from __future__ import annotations

import json
import re
from json import decoder
from typing import Any, Callable, Dict, List, Tuple, Union

__all__ = ["loads"]

_NUMBER = re.compile(r"-?(?:0|[1-9]\d*)(?:\.\d+)?(?:[eE][-+]?\d+)?")
_SPACE = " \t\n\r"
_LITERALS = (("true", True), ("false", False), ("null", None))
scanstring: Callable[[str, int], Tuple[str, int]] = decoder.scanstring  # type: ignore[attr-defined]


def loads(text: Union[str, bytes]) -> Any:
    """Parses one JSON value of any nesting depth."""
    try:
        return json.loads(text)
    except RecursionError:
        return _loads_deep(text.decode("utf-8") if isinstance(text, bytes) else text)


def _skip(text: str, pos: int) -> int:
    while pos < len(text) and text[pos] in _SPACE:
        pos += 1
    return pos


def _loads_deep(text: str) -> Any:
    # Each open container is (container, key of the member being read or None).
    stack: List[Tuple[Union[List[Any], Dict[str, Any]], Any]] = []
    pos = _skip(text, 0)
    while True:
        if pos >= len(text):
            raise ValueError("JSON text ends early")
        char = text[pos]
        if char in "[{":
            container: Union[List[Any], Dict[str, Any]] = [] if char == "[" else {}
            pos = _skip(text, pos + 1)
            if text.startswith("]" if char == "[" else "}", pos):
                value: Any = container
                pos += 1
            else:
                key: Any = None
                if char == "{":
                    key, pos = _read_key(text, pos)
                stack.append((container, key))
                continue
        elif char == '"':
            value, pos = scanstring(text, pos + 1)
        else:
            match = _NUMBER.match(text, pos)
            if match:
                number = match.group()
                value = float(number) if any(c in number for c in ".eE") else int(number)
                pos = match.end()
            else:
                for word, literal in _LITERALS:
                    if text.startswith(word, pos):
                        value, pos = literal, pos + len(word)
                        break
                else:
                    raise ValueError("unexpected character at %d" % pos)
        # A value is complete: store it, then close every container it ends.
        while True:
            if not stack:
                if _skip(text, pos) != len(text):
                    raise ValueError("extra data after JSON value")
                return value
            container, key = stack[-1]
            if isinstance(container, list):
                container.append(value)
            else:
                container[key] = value
            pos = _skip(text, pos)
            if pos < len(text) and text[pos] == ",":
                pos = _skip(text, pos + 1)
                if isinstance(container, dict):
                    key, pos = _read_key(text, pos)
                    stack[-1] = (container, key)
                break
            closer = "]" if isinstance(container, list) else "}"
            if not text.startswith(closer, pos):
                raise ValueError("expected , or %s at %d" % (closer, pos))
            stack.pop()
            value, pos = container, pos + 1


def _read_key(text: str, pos: int) -> Tuple[str, int]:
    if not text.startswith('"', pos):
        raise ValueError("expected a member name at %d" % pos)
    key, pos = scanstring(text, pos + 1)
    pos = _skip(text, pos)
    if not text.startswith(":", pos):
        raise ValueError("expected : at %d" % pos)
    return key, _skip(text, pos + 1)
