#!/usr/bin/env python3
"""Baseline: the plain road in pure Python with hashlib, on ASCII names
(clean, pad, 14-character windows, salted SHA-512, sort, de-duplicate, JSON).
Prints one JSON line: {"name": ..., "items_per_second": ...}."""
import hashlib
import json
import re
import sys
import time

SALT = b"Qm7pZ2vX+9LcT4nB8rKs1A"
NOT_KEPT = re.compile(r"[^A-Z0-9 ]+| {2,}")


def fingerprint(text: str) -> str:
    cleaned = re.sub(r" +", " ", NOT_KEPT.sub(" ", text.upper()))
    n = len(cleaned)
    if n <= 11:
        return '{"success":false,"error":"Input length too short"}'
    if n < 14:
        cleaned = " " + cleaned + " "
        n += 2
    prints = sorted({hashlib.sha512(cleaned[i:i + 14].encode() + SALT).hexdigest()[:64]
                     for i in range(n - 13)})
    return json.dumps({"success": True, "data": {"fingerprints": prints}}, separators=(",", ":"))


def main() -> None:
    with open(sys.argv[1], encoding="utf-8") as f:
        names = [line.rstrip("\n") for line in f]
    limit = int(sys.argv[2]) if len(sys.argv) > 2 else len(names)
    names = names[:limit]
    start = time.perf_counter()
    total = 0
    for name in names:
        total += len(fingerprint(name))
    elapsed = time.perf_counter() - start
    print(json.dumps({"name": "python_hashlib/names", "items_per_second": len(names) / elapsed,
                      "checksum": total}))


if __name__ == "__main__":
    main()
