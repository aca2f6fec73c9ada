#!/usr/bin/env python3
"""Independent reference for the expression tests: the fingerprints of the
operands those tests use, computed with hashlib from the rules (salt
appended, 14-code-point windows, 12 and 13 padded with a space at each end,
tiles flush with the end, sorted, unique). Texts are given already cleaned.
Prints the C++ constants that boolean_road_test.cc holds verbatim."""
import hashlib

SALT = b"Qm7pZ2vX+9LcT4nB8rKs1A"


def fp(data: bytes, short: bool) -> str:
    digest = hashlib.sha512(data + SALT).hexdigest()
    return digest[:16] if short else digest[:64]


def prints(cleaned: str, tiled: bool = False, short: bool = False) -> list:
    if len(cleaned) < 14:
        cleaned = " " + cleaned + " "
    n = len(cleaned)
    if tiled:
        windows = [cleaned[14 * k:14 * k + 14] for k in range(n // 14)]
        if n % 14:
            windows.append(cleaned[n - 14:])
    else:
        windows = [cleaned[i:i + 14] for i in range(n - 13)]
    return sorted({fp(w.encode(), short) for w in windows})


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
