"""The one reference model of korvi's outputs for every test and generator:
fingerprints computed with hashlib from the rules (salt appended, windows of
14 code points, 12 and 13 padded with one space at each end, tiles flush with
the end, sorted, unique), ASCII cleaning, the written forms of names and
addresses, and assets; keyed fingerprints with hmac (HKDF-SHA512 of the key
material, then HMAC-SHA512 of exactly the bytes the public-salt mode hashes).
Nothing here calls the library.

Imported by tests/core, tests/expr and tests/assets (print_expected.py),
tests/vectors/make_vectors.py and python/tests."""
from __future__ import annotations

import contextlib
import hashlib
import hmac
import json
from typing import List, Optional, Union

SALT = b"Qm7pZ2vX+9LcT4nB8rKs1A"
CLEAN_TEXT, CLEAN_CODE, CLEAN_DIGITS = 0, 1, 2


KEY_SALT = b"korvi keyed fingerprints v1"
TEST_KEY = bytes(range(32))  # the key of the cross-platform vectors
_fingerprint_key: Optional[bytes] = None  # K while keyed() is in force


def hkdf_extract(salt: bytes, material: bytes) -> bytes:
    return hmac.new(salt, material, hashlib.sha512).digest()


def hkdf_expand(prk: bytes, info: bytes, length: int) -> bytes:
    out, block, counter = b"", b"", 1
    while len(out) < length:
        block = hmac.new(prk, block + info + bytes([counter]), hashlib.sha512).digest()
        out += block
        counter += 1
    return out[:length]


def derive(material: bytes):
    """(fingerprint key K, key id) of some key material."""
    prk = hkdf_extract(KEY_SALT, material)
    return hkdf_expand(prk, b"fingerprint", 64), hkdf_expand(prk, b"key id", 8).hex()


@contextlib.contextmanager
def keyed(material: bytes):
    """Every fingerprint made inside is keyed with material."""
    global _fingerprint_key
    saved, _fingerprint_key = _fingerprint_key, derive(material)[0]
    try:
        yield
    finally:
        _fingerprint_key = saved


def fp(data: Union[bytes, str], short: bool = False) -> str:
    """Fingerprint of the bytes (a str is taken as UTF-8) with the salt,
    keyed inside keyed()."""
    if isinstance(data, str):
        data = data.encode("utf-8")
    if _fingerprint_key is None:
        digest = hashlib.sha512(data + SALT).hexdigest()
    else:
        digest = hmac.new(_fingerprint_key, data + SALT, hashlib.sha512).hexdigest()
    return digest[:16] if short else digest[:64]


def keyed_fp(material: bytes, data: Union[bytes, str], short: bool = False) -> str:
    with keyed(material):
        return fp(data, short)


def windows(text: str, tiled: bool) -> List[str]:
    n = len(text)
    if tiled:
        out = [text[14 * k:14 * k + 14] for k in range(n // 14)]
        if n % 14:
            out.append(text[n - 14:])
        return out
    return [text[i:i + 14] for i in range(n - 13)]


def prints(cleaned: str, tiled: bool = False, short: bool = False) -> Optional[List[str]]:
    """Fingerprints of a cleaned text, or None when it is too short."""
    if len(cleaned) <= 11:
        return None
    if len(cleaned) < 14:
        cleaned = " " + cleaned + " "
    return sorted({fp(w, short) for w in windows(cleaned, tiled)})


def clean_ascii(text: str, mode: int) -> str:
    """Cleaning of ASCII text: upper-case, keep by mode (any mode other than
    CLEAN_CODE and CLEAN_DIGITS cleans as CLEAN_TEXT), collapse spaces."""
    out: List[str] = []
    for ch in text.upper():
        if mode == CLEAN_DIGITS:
            if ch.isdigit():
                out.append(ch)
            continue
        keep = ("!" <= ch <= "~" or ch == " ") if mode == CLEAN_CODE else (ch.isalnum() or ch == " ")
        ch = ch if keep else " "
        if ch == " " and out and out[-1] == " ":
            continue
        out.append(ch)
    return "".join(out)


def variant_prints(variant: str) -> Optional[List[str]]:
    """Asset fingerprints of one variant: short tiles when longer than 11
    code points (cleaned again), else one short hash of the variant as it
    stands."""
    if len(variant) > 11:
        return prints(clean_ascii(variant, CLEAN_TEXT), tiled=True, short=True)
    return [fp(variant, short=True)]


def name_variants(givens: List[str], middle: Optional[str], last: str) -> List[str]:
    """Written forms of a name: each given name in both orders, with the
    middle name, its initial, or neither."""
    out: List[str] = []
    for g in givens:
        out += [f" {g} {last} ", f" {last}, {g} "]
        if middle is not None:
            i = middle[0]
            out += [f" {g} {middle} {last} ", f" {last}, {g} {middle} ",
                    f" {g} {i} {last} ", f" {last}, {g} {i} "]
    return out


def product(lists: List[List[str]]) -> List[str]:
    """Every line made of one form from each list, in order, space-separated."""
    lines = [""]
    for forms in lists:
        lines = [f"{a} {b}" if a else b for a in lines for b in forms]
    return lines


def asset(fingerprints: List[str], record_type: str, record_id: str, field: str, number: int) -> dict:
    return {"fingerprints": fingerprints,
            "metadata": {"record_type": record_type, "record_id": record_id,
                         "field": field, "variant_id": str(number)}}


def assets(variants: List[Optional[str]], record_type: str, record_id: str, field: str) -> List[dict]:
    """The assets of the variants that give fingerprints, numbered by their
    place among all variants; a None variant is skipped but keeps its number."""
    out = []
    for number, variant in enumerate(variants, 1):
        made = None if variant is None else variant_prints(variant)
        if made is not None:
            out.append(asset(made, record_type, record_id, field, number))
    return out


def compact(value) -> str:
    """JSON text as the library writes it: no white space, UTF-8 as is."""
    return json.dumps(value, separators=(",", ":"), ensure_ascii=False)
