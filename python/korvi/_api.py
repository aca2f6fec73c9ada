"""The library's exports as Python functions."""
from __future__ import annotations

import ctypes
import enum
import json
from dataclasses import dataclass
from typing import Any, Dict, Iterable, List, Optional, Tuple, TypedDict, Union, overload

from ._errors import EmbeddedNulError, InvalidUtf8Error, error_for_status
from ._json import loads
from ._key import Key
from ._lib import Library, default_library

__all__ = [
    "Asset",
    "CleanMode",
    "ExpressionTree",
    "Operator",
    "Text",
    "assets_from_address",
    "assets_from_city_state_zip",
    "assets_from_email_address",
    "assets_from_name",
    "assets_from_phone_number",
    "assets_from_ssn",
    "clean",
    "fingerprint",
    "fingerprint_chunk",
    "fingerprint_expression",
    "fingerprint_many",
    "library_version",
    "sha512_implementation",
    "unicode_version",
]

Text = Union[str, bytes]
"""A text for the library: str (sent as UTF-8) or bytes (sent as they are)."""

# Flag bits of fingerprint().
_BOOLEAN, _RAW, _TILED, _SHORT, _PARSE_ONLY = 0x01, 0x02, 0x04, 0x08, 0x10
_DIGITS = {False: 64, True: 16}


class CleanMode(enum.IntEnum):
    """Cleaning modes: what survives besides letters and digits."""

    TEXT = 0  # letters, digits and spaces; everything else becomes a space
    CODE = 1  # punctuation and symbols kept too (e-mail addresses)
    DIGITS = 2  # decimal digits only


ModeLike = Union[str, int]


class Operator(TypedDict):
    """An operator node of an expression tree."""

    operator: str  # "AND", "OR" or "AND_NOT"
    operands: List["ExpressionTree"]  # exactly two


ExpressionTree = Union[str, List[str], Operator]
"""An operand (its text with parse_only, else its fingerprints) or an operator."""


@dataclass(frozen=True)
class Asset:
    """The fingerprints of one spelling variant of a personal field (keyed
    when the function that made it was given a key)."""

    fingerprints: Tuple[str, ...]  # 16 hex digits each
    record_type: str
    record_id: str
    field: str  # "name", "address", "city_state_zip", "email_address", "ssn" or "phone_number"
    variant_id: int  # position among the field's variants, from 1 (skipped ones leave gaps)

    @classmethod
    def from_json(cls, item: Dict[str, Any]) -> "Asset":
        """An asset from one element of an assets_from_* answer."""
        meta = item["metadata"]
        return cls(tuple(item["fingerprints"]), meta["record_type"], meta["record_id"],
                   meta["field"], int(meta["variant_id"]))


def _library(library: Optional[Library]) -> Library:
    return library if library is not None else default_library()


def _mode(mode: ModeLike) -> int:
    if isinstance(mode, str):
        try:
            return int(CleanMode[mode.upper()])
        except KeyError:
            raise ValueError("unknown cleaning mode %r (text, code or digits)" % mode) from None
    if isinstance(mode, bool) or not isinstance(mode, int):
        raise TypeError("cleaning mode must be a str or an int, not %s" % type(mode).__name__)
    return int(mode)


def encode(text: Text, what: str = "text") -> bytes:
    """The bytes the library receives for text. Lone surrogates in a str are
    kept as (ill-formed) bytes so that the library reports them itself."""
    if isinstance(text, str):
        data = text.encode("utf-8", "surrogatepass")
    elif isinstance(text, bytes):
        data = text
    elif isinstance(text, (bytearray, memoryview)):
        data = bytes(text)
    else:
        raise TypeError("%s must be str or bytes, not %s" % (what, type(text).__name__))
    if b"\0" in data:
        raise EmbeddedNulError("%s holds a NUL byte" % what)
    return data


def _key_handle(key: Key, library: Library) -> int:
    if not isinstance(key, Key):
        raise TypeError("key must be a korvi.Key, not %s" % type(key).__name__)
    return key.handle(library)


def _encode_optional(text: Optional[Text], what: str) -> Optional[bytes]:
    return None if text is None else encode(text, what)


def _fingerprint_call(library: Library, data: bytes, mode: int, flags: int,
                      key: Optional[Key] = None) -> bytes:
    """The text of a successful fingerprint() call (fingerprint_keyed() with a
    key); raises its error otherwise."""
    if key is not None:
        result = library.fingerprint_keyed(_key_handle(key, library), data, mode, flags)
    else:
        result = library.fingerprint(data, mode, flags)
    if not result:
        raise MemoryError("libkorvi could not allocate its result")
    try:
        record = result.contents  # type: ignore[attr-defined]
        status: int = record.status
        text: Optional[bytes] = record.text
    finally:
        library.free_result(result)
    if text is None:
        raise MemoryError("libkorvi could not allocate its result")
    if status != 0:
        raise error_for_status(status, json.loads(text)["error"])
    return text


def fingerprint(text: Text, mode: ModeLike = "text", tiled: bool = False, short: bool = False,
                raw: bool = False, *, key: Optional[Key] = None,
                library: Optional[Library] = None) -> List[str]:
    """Fingerprints of a text: sorted, distinct lower-case hex strings.

    The text is cleaned by ``mode`` ("text", "code", "digits", or a
    CleanMode), cut into 14-code-point sliding windows (side-by-side tiles
    with ``tiled``) and every window hashed; ``short`` gives 16 hex digits
    instead of 64. ``raw`` takes the library's JSON-free answer; the list is
    the same. With ``key`` (a korvi.Key) the fingerprints are keyed.

    Raises InputTooShortError ("Input length too short") when the cleaned
    text has 11 code points or fewer, InvalidUtf8Error ("Failed utf8
    conversion") for text that is not well-formed UTF-8, EmbeddedNulError
    for a NUL byte.
    """
    lib = _library(library)
    flags = (_TILED if tiled else 0) | (_SHORT if short else 0) | (_RAW if raw else 0)
    answer = _fingerprint_call(lib, encode(text), _mode(mode), flags, key)
    if raw:
        width = _DIGITS[short]
        hex_text = answer.decode("ascii")
        return [hex_text[i:i + width] for i in range(0, len(hex_text), width)]
    return json.loads(answer)["data"]["fingerprints"]  # type: ignore[no-any-return]


def fingerprint_many(texts: Iterable[Text], mode: ModeLike = "text", tiled: bool = False,
                     short: bool = False, *, key: Optional[Key] = None,
                     library: Optional[Library] = None) -> List[Optional[List[str]]]:
    """fingerprint() of each text with one set of options, in one call into
    the library (whose windows of several texts share the hashing lanes):
    a list as long as texts, with None where fingerprint() would raise a
    KorviError (a text too short, not well-formed UTF-8, with a NUL byte).
    A text that is neither str nor bytes raises TypeError naming its index.
    """
    lib = _library(library)
    flags = (_TILED if tiled else 0) | (_SHORT if short else 0)
    data: List[Optional[bytes]] = []
    for index, text in enumerate(texts):
        try:
            data.append(encode(text, "texts[%d]" % index))
        except EmbeddedNulError:
            data.append(None)  # the library refuses a NULL text in turn
    count = len(data)
    pointers = (ctypes.c_char_p * count)(*data)
    counts = (ctypes.c_int64 * count)()
    if key is not None:
        answer = lib.fingerprint_many_keyed(_key_handle(key, lib), pointers, count, _mode(mode), flags, counts)
    else:
        answer = lib.fingerprint_many(pointers, count, _mode(mode), flags, counts)
    digits = lib.take_string(answer).decode("ascii")
    width = _DIGITS[short]
    results: List[Optional[List[str]]] = []
    at = 0
    for found in counts:
        if found < 0:
            results.append(None)
            continue
        end = at + found * width
        results.append([digits[i:i + width] for i in range(at, end, width)])
        at = end
    return results


def fingerprint_expression(expr: Text, parse_only: bool = False, mode: ModeLike = "text",
                           tiled: bool = False, short: bool = False, *, key: Optional[Key] = None,
                           library: Optional[Library] = None) -> ExpressionTree:
    """The tree of a boolean expression, each operand replaced by its fingerprints.

    Operands are bare words or "double-quoted" texts; side by side or joined
    by AND they mean both, OR either, a lone hyphen the first but not the
    second; parentheses group; operators group from the left. An operator
    is ``{"operator": "AND" | "OR" | "AND_NOT", "operands": [left, right]}``;
    an operand is the list of its fingerprints (``mode``, ``tiled`` and
    ``short`` as for fingerprint), or with ``parse_only`` its text as a str.

    Raises ExpressionParseError ("Expression parse error") when the text
    does not parse, and InvalidUtf8Error ("Failed utf8 conversion") when it
    is not UTF-8 or any operand is too short to fingerprint.
    """
    lib = _library(library)
    flags = _BOOLEAN | (_PARSE_ONLY if parse_only else 0) | (_TILED if tiled else 0) | (_SHORT if short else 0)
    answer = _fingerprint_call(lib, encode(expr, "expression"), _mode(mode), flags, key)
    return loads(answer)["data"]  # type: ignore[no-any-return]


@overload
def clean(text: str, mode: ModeLike = ..., *, library: Optional[Library] = ...) -> str: ...
@overload
def clean(text: bytes, mode: ModeLike = ..., *, library: Optional[Library] = ...) -> bytes: ...


def clean(text: Text, mode: ModeLike = "text", *, library: Optional[Library] = None) -> Text:
    """The cleaned form that fingerprints are taken from: upper-cased,
    filtered by mode, runs of spaces collapsed to one (nothing trimmed).
    Returns str for str and bytes for bytes.

    Raises InvalidUtf8Error ("Failed utf8 conversion") for text that is not
    well-formed UTF-8.
    """
    lib = _library(library)
    data = encode(text)
    pointer = lib.clean_string(data, _mode(mode))
    if not pointer:
        try:
            data.decode("utf-8")
        except UnicodeDecodeError:
            raise InvalidUtf8Error("Failed utf8 conversion") from None
    cleaned = lib.take_string(pointer)
    return cleaned.decode("utf-8") if isinstance(text, str) else cleaned


def fingerprint_chunk(text: Text, short: bool = False, *, key: Optional[Key] = None,
                      library: Optional[Library] = None) -> str:
    """The fingerprint of the text's bytes exactly as given (no cleaning, no
    windows): 64 hex digits, or 16 with short; keyed with ``key``."""
    lib = _library(library)
    flags = _SHORT if short else 0
    if key is not None:
        return lib.take_string(lib.fingerprint_chunk_keyed(_key_handle(key, lib), encode(text), flags)).decode("ascii")
    return lib.take_string(lib.fingerprint_chunk(encode(text), flags)).decode("ascii")


def call_assets(library: Library, export: str, args: Tuple[Optional[bytes], ...],
                key: Optional[Key] = None) -> List[Dict[str, Any]]:
    """The parsed JSON answer of one assets_from_* export (its keyed form with a key)."""
    if key is not None:
        pointer = library.assets_keyed[export](_key_handle(key, library), *args)
    else:
        pointer = library.assets[export](*args)
    return json.loads(library.take_string(pointer))  # type: ignore[no-any-return]


def _assets(export: str, library: Optional[Library], named: Dict[str, Optional[Text]],
            key: Optional[Key] = None) -> List[Asset]:
    args = tuple(_encode_optional(value, name) for name, value in named.items())
    return [Asset.from_json(item) for item in call_assets(_library(library), export, args, key)]


def assets_from_name(record_type: Text, record_id: Text, first_name: Optional[Text],
                     middle_name: Optional[Text], last_name: Optional[Text], *, key: Optional[Key] = None,
                     library: Optional[Library] = None) -> List[Asset]:
    """Assets of a full name: nicknames of the given name, both name orders,
    with the middle name, its initial or neither. None or an empty first or
    last name gives no assets; a None middle name means there is none."""
    return _assets("assets_from_name", library, {
        "record_type": record_type, "record_id": record_id, "first_name": first_name,
        "middle_name": middle_name, "last_name": last_name}, key)


def assets_from_address(record_type: Text, record_id: Text, address: Optional[Text], *, key: Optional[Key] = None,
                        library: Optional[Library] = None) -> List[Asset]:
    """Assets of a street address line: every combination of the written
    forms of its words (ST, STREET, ...)."""
    return _assets("assets_from_address", library, {
        "record_type": record_type, "record_id": record_id, "address": address}, key)


def assets_from_city_state_zip(record_type: Text, record_id: Text, city: Optional[Text],
                               state: Optional[Text], zip_code: Optional[Text], *, key: Optional[Key] = None,
                               library: Optional[Library] = None) -> List[Asset]:
    """Assets of a city, state and ZIP code, with the state as code and as name."""
    return _assets("assets_from_city_state_zip", library, {
        "record_type": record_type, "record_id": record_id, "city": city, "state": state,
        "zip_code": zip_code}, key)


def assets_from_email_address(record_type: Text, record_id: Text, email_address: Optional[Text], *, key: Optional[Key] = None,
                              library: Optional[Library] = None) -> List[Asset]:
    """The one asset of an e-mail address (a fingerprint of its fingerprint)."""
    return _assets("assets_from_email_address", library, {
        "record_type": record_type, "record_id": record_id, "email_address": email_address}, key)


def assets_from_ssn(record_type: Text, record_id: Text, ssn: Optional[Text], *, key: Optional[Key] = None,
                    library: Optional[Library] = None) -> List[Asset]:
    """The one asset of a social-security number, from its digits alone."""
    return _assets("assets_from_ssn", library, {
        "record_type": record_type, "record_id": record_id, "ssn": ssn}, key)


def assets_from_phone_number(record_type: Text, record_id: Text, phone_number: Optional[Text], *, key: Optional[Key] = None,
                             library: Optional[Library] = None) -> List[Asset]:
    """The one asset of a phone number, from its digits alone."""
    return _assets("assets_from_phone_number", library, {
        "record_type": record_type, "record_id": record_id, "phone_number": phone_number}, key)


def library_version(*, library: Optional[Library] = None) -> str:
    """The version of the loaded libkorvi, such as "0.1.0"."""
    return _library(library).version


def unicode_version(*, library: Optional[Library] = None) -> str:
    """The Unicode version of the character data cleaning uses."""
    return _library(library).unicode_version


def sha512_implementation(*, library: Optional[Library] = None) -> str:
    """The name of the SHA-512 implementation the library uses."""
    return _library(library).sha512_implementation
