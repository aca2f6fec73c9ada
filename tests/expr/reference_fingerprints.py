#!/usr/bin/env python3
"""Independent reference for the expression tests: the fingerprints of the
operands those tests use, computed with hashlib from the rules (salt
appended, 14-code-point windows, 12 and 13 padded with a space at each end,
tiles flush with the end, sorted, unique). Texts are given already cleaned.
Prints the C++ constants that boolean_road_test.cc holds verbatim."""
import os
import sys

# The fingerprint rules themselves live in the core tests' reference.
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "core"))
from reference_fingerprints import prints  # noqa: E402


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
