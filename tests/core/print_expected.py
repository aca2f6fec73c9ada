#!/usr/bin/env python3
"""Prints the table rows of tests/core/fingerprint_test.cc, which holds them
verbatim: expected fingerprints of already cleaned texts from the reference
model (tests/reference/korvi_reference.py, hashlib)."""
import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "reference"))

from korvi_reference import fp, prints  # noqa: E402

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
