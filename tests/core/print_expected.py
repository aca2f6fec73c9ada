#!/usr/bin/env python3
"""Prints the table rows of tests/core/fingerprint_test.cc, which holds them
verbatim: expected fingerprints of already cleaned texts from the reference
model (tests/reference/korvi_reference.py, hashlib), and the key derivations
and keyed fingerprints of tests/core/keyed_test.cc (hmac)."""
import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "reference"))

from korvi_reference import KEY_SALT, TEST_KEY, derive, fp, hkdf_extract, keyed_fp, prints  # noqa: E402

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
    for material in (TEST_KEY, b"0123456789abcdef", bytes([0xA5]) * 1024):
        k, key_id = derive(material)
        print("material %d bytes: prk %s" % (len(material), hkdf_extract(KEY_SALT, material).hex()))
        print("  K %s\n  id %s" % (k.hex(), key_id))
    for data in (b"", b"abc", b" JOHN SMITH JR", b"JOHN SMITH JR ", b"x" * 89, b"x" * 90, b"x" * 300):
        print("keyed %d bytes: %s" % (len(data), keyed_fp(TEST_KEY, data)))
