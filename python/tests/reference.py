"""Expected fingerprints computed here with hashlib from the rules (salt
appended, 14-code-point windows, 12 and 13 padded with one space at each
end, tiles flush with the end, sorted, unique), independently of libkorvi.
Texts handed to prints() are already in cleaned form."""
from __future__ import annotations

import hashlib
from typing import List, Optional

SALT = b"Qm7pZ2vX+9LcT4nB8rKs1A"


def fp(data: bytes, short: bool = False) -> str:
    digest = hashlib.sha512(data + SALT).hexdigest()
    return digest[:16] if short else digest[:64]


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
    return sorted({fp(w.encode(), short) for w in windows(cleaned, tiled)})


def clean_ascii(text: str, mode: str) -> str:
    """Cleaning of ASCII text: upper-case, keep by mode, collapse spaces."""
    out: List[str] = []
    for ch in text.upper():
        if mode == "digits":
            if ch.isdigit():
                out.append(ch)
            continue
        keep = (ch.isalnum() or ch == " ") if mode == "text" else ("!" <= ch <= "~" or ch == " ")
        ch = ch if keep else " "
        if ch == " " and out and out[-1] == " ":
            continue
        out.append(ch)
    return "".join(out)


def variant_prints(variant: str) -> Optional[List[str]]:
    """Asset fingerprints of one variant: tiles when longer than 11 code
    points (cleaned again), else one hash of the variant as it stands."""
    if len(variant) > 11:
        return prints(clean_ascii(variant, "text"), tiled=True, short=True)
    return [fp(variant.encode(), short=True)]


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
    lines = [""]
    for forms in lists:
        lines = [f"{a} {b}" if a else b for a in lines for b in forms]
    return lines


def assets(variants: List[str]) -> List[tuple]:
    """(variant id, fingerprints) of the variants that give fingerprints."""
    out = []
    for number, variant in enumerate(variants, 1):
        made = variant_prints(variant)
        if made is not None:
            out.append((number, made))
    return out
