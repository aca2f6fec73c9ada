#!/usr/bin/env python3
"""Prints the constants of tests/expr/boolean_road_test.cc, which holds them
verbatim: the fingerprints of the operands those tests use, texts given
already cleaned, from the reference model (tests/reference/korvi_reference.py,
hashlib)."""
import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "reference"))

from korvi_reference import prints  # noqa: E402


CONSTANTS = [  # (name, cleaned text, tiled, short)
    ("kBalloons", "RED BALLOONS FLY", False, False),
    ("kBalloonsShort", "RED BALLOONS FLY", False, True),
    ("kTwelve", "TWELVE CHARS", False, False),
    ("kAlphabetTiles", "ABCDEFGHIJKLMNOPQRSTUVWXYZ012", True, False),
    ("kAlphabetTilesShort", "ABCDEFGHIJKLMNOPQRSTUVWXYZ012", True, True),
    ("kPhoneDigits", "55512345678901", False, False),
    ("kPhoneText", "555 123 4567 8901", False, False),
]

if __name__ == "__main__":
    for name, text, tiled, short in CONSTANTS:
        items = ",".join('"%s"' % p for p in prints(text, tiled, short))
        print('// %s%s%s\nconstexpr std::string_view %s =\n    R"([%s])";'
              % (text, ", tiled" if tiled else "", ", short" if short else "", name, items))
