#!/usr/bin/env python3
"""Independent reference for the fingerprint tests: computes the expected
fingerprints with hashlib from the rules (salt appended, 14-code-point
windows, padding of 12 and 13, tiles flush with the end, sorted, unique).
Inputs are already clean, so no cleaning is modelled here. Prints C++ table
rows that tests/core/fingerprint_test.cc holds verbatim."""
import hashlib

SALT = b"Qm7pZ2vX+9LcT4nB8rKs1A"


def fp(data: bytes, short: bool = False) -> str:
    digest = hashlib.sha512(data + SALT).hexdigest()
    return digest[:16] if short else digest[:64]


def windows(text: str, tiled: bool) -> list:
    n = len(text)
    if tiled:
        out = [text[14 * k:14 * k + 14] for k in range(n // 14)]
        if n % 14:
            out.append(text[n - 14:])
        return out
    return [text[i:i + 14] for i in range(n - 13)]


def prints(cleaned: str, tiled: bool = False, short: bool = False):
    if len(cleaned) <= 11:
        return None
    if len(cleaned) < 14:
        cleaned = " " + cleaned + " "
    return sorted({fp(w.encode(), short) for w in windows(cleaned, tiled)})


CASES = [  # (name, cleaned text, tiled, short)
    ("thirteen code points are padded", "JOHN SMITH JR", False, False),
    ("thirteen code points, short", "JOHN SMITH JR", False, True),
    ("twelve code points give one window", "ABCDEFGHIJKL", False, False),
    ("fourteen give one window", "ABCDEFGHIJKLMN", False, False),
    ("multi-byte windows", "\u00c0\u00c9\u00ce\u00d5\u00dc\U00010400\u4e2d\u6587KLMNOPQ", False, False),
    ("multi-byte tiles", "\u00c0\u00c9\u00ce\u00d5\u00dc\U00010400\u4e2d\u6587KLMNOPQ", True, False),
    ("29 code points tiled short", "ABCDEFGHIJKLMNOPQRSTUVWXYZ012", True, True),
    ("28 code points tiled", "ABCDEFGHIJKLMNOPQRSTUVWXYZ01", True, False),
]

if __name__ == "__main__":
    for name, text, tiled, short in CASES:
        escaped = "".join(c if ord(c) < 128 else "\\U%08X" % ord(c) for c in text)
        items = ", ".join('"%s"' % p for p in prints(text, tiled, short))
        print('    {"%s", "%s", %s, %s, {%s}},' % (name, escaped, str(tiled).lower(),
                                                 str(short).lower(), items))
    for data in [b"", b"abc", b"ABC", b"abc "]:
        print('    {"%s", "%s"},' % (data.decode(), fp(data)))
