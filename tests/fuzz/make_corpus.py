#!/usr/bin/env python3
"""Writes the seed corpora of the fuzz targets, tests/fuzz/corpus/<target>/.

Seeds are the unit tests' own inputs (the string literals of tests/*/*_test.cc
and the arguments of their assets_from_* calls) and the JSON conformance files
of tests/json/jsontestsuite/, put into each target's input layout (see the
comment at the top of each tests/fuzz/fuzz_<target>.cc). Files are named by
the SHA-1 of their content, as libFuzzer names what it adds, and each corpus
is capped so the checked-in set stays small. Rerun after changing the tests:

    python3 tests/fuzz/make_corpus.py            # every target
    python3 tests/fuzz/make_corpus.py keyed      # only the targets named
"""

import hashlib
import json
import re
import shutil
import struct
import sys
from pathlib import Path

ROOT = Path(__file__).resolve().parents[2]
TESTS = ROOT / "tests"
SUITE = TESTS / "json" / "jsontestsuite"
CORPUS = TESTS / "fuzz" / "corpus"

MAX_SEED_BYTES = 2048  # keeps libFuzzer's default input length small
MAX_SEEDS = 160        # per target, except the JSON parser's, which takes the whole suite
MAX_JSON_SEEDS = 480

BOOLEAN, RAW, TILED, SHORT, PARSE_ONLY = 0x01, 0x02, 0x04, 0x08, 0x10
FLAG_WORDS = [0, RAW, TILED, SHORT, TILED | SHORT | RAW, BOOLEAN, BOOLEAN | PARSE_ONLY,
              BOOLEAN | TILED | SHORT, 0xFFFFFFFF]
MODES = [0, 1, 2, 3, -1]


# ---- string literals of C++ sources ----

SIMPLE_ESCAPES = {"n": 10, "t": 9, "r": 13, "0": 0, "\\": 92, '"': 34, "'": 39,
                  "a": 7, "b": 8, "f": 12, "v": 11, "?": 63}


def unescape(body):
    """Bytes of the body of an ordinary C++ string literal (UTF-8 source)."""
    out = bytearray()
    i = 0
    while i < len(body):
        c = body[i]
        if c != "\\":
            out += c.encode("utf-8")
            i += 1
            continue
        e = body[i + 1]
        if e == "x":
            m = re.match(r"[0-9A-Fa-f]{1,2}", body[i + 2:])
            out.append(int(m.group(0), 16))
            i += 2 + len(m.group(0))
        elif e in "01234567":
            m = re.match(r"[0-7]{1,3}", body[i + 1:])
            out.append(int(m.group(0), 8) & 0xFF)
            i += 1 + len(m.group(0))
        elif e in "uU":
            n = 4 if e == "u" else 8
            out += chr(int(body[i + 2:i + 2 + n], 16)).encode("utf-8", "surrogatepass")
            i += 2 + n
        else:
            out.append(SIMPLE_ESCAPES.get(e, ord(e)))
            i += 2
    return bytes(out)


TOKEN = re.compile(
    r'//[^\n]*|/\*.*?\*/'                       # comments
    r'|(?:u8|u|U|L)?R"(?P<delim>[^(\s]*)\((?P<raw>.*?)\)(?P=delim)"'  # raw strings
    r'|(?:u8|u|U|L)?"(?P<body>(?:[^"\\\n]|\\.)*)"'   # ordinary strings
    r"|'(?:[^'\\\n]|\\.)*'"                      # character literals
    r'|nullptr|NULL'
    r'|assets_from_[a-z_]+\s*\('
    r'|[(),]',
    re.S)


def tokens(source):
    """(kind, value) pairs: ("str", bytes), ("null", None), ("call", name), ("punct", c)."""
    for m in TOKEN.finditer(source):
        text = m.group(0)
        if m.group("raw") is not None:
            yield "str", m.group("raw").encode("utf-8")
        elif m.group("body") is not None:
            yield "str", unescape(m.group("body"))
        elif text in ("nullptr", "NULL"):
            yield "null", None
        elif text.startswith("assets_from_"):
            yield "call", text.rstrip("( \t\n")
        elif text in "(),":
            yield "punct", text


def test_sources():
    return sorted(p for p in TESTS.glob("*/*_test.cc") if p.parent.name != "fuzz")


def literals(sources):
    seen, out = set(), []
    for path in sources:
        for kind, value in tokens(path.read_text(encoding="utf-8")):
            if kind == "str" and value not in seen and len(value) <= MAX_SEED_BYTES:
                seen.add(value)
                out.append(value)
    return out


def asset_calls(sources):
    """(export, [bytes or None, ...]) for every assets_from_* call whose
    arguments are all literals or null pointers (adjacent literals joined)."""
    calls = []
    for path in sources:
        toks = list(tokens(path.read_text(encoding="utf-8")))
        for i, (kind, value) in enumerate(toks):
            if kind != "call":
                continue
            args, current, depth, ok = [], None, 0, True
            for kind2, value2 in toks[i + 1:]:
                if kind2 == "punct" and value2 == "(":
                    depth += 1
                    ok = False
                elif kind2 == "punct" and value2 == ")":
                    if depth == 0:
                        break
                    depth -= 1
                elif kind2 == "punct" and value2 == "," and depth == 0:
                    args.append(current)
                    current = None
                elif kind2 == "str":
                    current = (current or b"") + value2
                elif kind2 == "null":
                    current = None
                elif kind2 == "call":
                    ok = False
                    break
            args.append(current)
            if ok:
                calls.append((value, args))
    return calls


# ---- target layouts ----

def le32(value):
    return struct.pack("<I", value & 0xFFFFFFFF)


def assets_input(args):
    nulls = sum(1 << i for i, a in enumerate(args) if a is None)
    return bytes([nulls]) + b"\0".join(a or b"" for a in args)


def stringify_program(value, space_choice):
    """The fuzz_json_stringify operations that build value."""
    out = bytearray([space_choice])

    def text(b):
        b = b[:23]
        return bytes([len(b)]) + b

    def emit(v):
        if v is None:
            out.append(0)
        elif v is True or v is False:
            out.append(133 if v else 1)  # operation 1; the high bit says true
        elif isinstance(v, (int, float)):
            out.append(2)
            try:
                out.extend(struct.pack("<d", float(v)))
            except OverflowError:
                out.extend(struct.pack("<d", float("inf")))
        elif isinstance(v, str):
            out.append(4)
            out.extend(text(v.encode("utf-8", "surrogatepass")))
        elif isinstance(v, list):
            out.append(5)
            for item in v:
                emit(item)
            out.append(7)
        else:
            out.append(6)
            for k, item in v.items():
                out.append(11)
                out.extend(text(k.encode("utf-8", "surrogatepass")))
                emit(item)
            out.append(7)

    emit(value)
    return bytes(out)


def pick(seeds, cap, keep_first=0):
    """The first keep_first seeds, then those of the rest with the lowest
    SHA-1: a sample drawn from every test file alike, which a new or changed
    test literal alters by one seed at most."""
    head, rest = seeds[:keep_first], seeds[keep_first:]
    room = max(cap - len(head), 0)
    return head + sorted(rest, key=lambda seed: hashlib.sha1(seed).digest())[:room]


def suite_files():
    return sorted(p for p in SUITE.glob("[yni]_*.json") if p.stat().st_size <= MAX_SEED_BYTES)


def keyed_input(key_length, flags, mode, which, args):
    """fuzz_keyed's layout: key length, 32 bytes of material, flags, mode,
    which export, then the arguments as for the asset targets."""
    material = bytes((7 * i + key_length) & 0xFF for i in range(32))
    return (struct.pack("<H", key_length) + material + le32(flags) + struct.pack("<b", mode)
            + bytes([which]) + assets_input(args))


def build(only=()):
    sources = test_sources()
    texts = literals(sources)
    json_texts = literals([p for p in sources if p.parent.name == "json"])
    calls = asset_calls(sources)

    corpora = {name: [] for name in (
        "fingerprint", "clean_string", "fingerprint_chunk", "json_decode", "json_stringify",
        "assets_from_name", "assets_from_address", "assets_from_city_state_zip",
        "assets_from_email_address", "assets_from_ssn", "assets_from_phone_number",
        "sha512_batch", "keyed")}

    # Windows hashed with the salt, as the fingerprinting core batches them.
    salt = re.search(r'kSalt = "([^"]*)"', (ROOT / "lib/core/fingerprints.h").read_text()).group(1).encode()
    for t in texts:
        seed = bytearray([len(salt)]) + salt
        for at in range(0, min(len(t), 8 * 7), 7):  # overlapping windows, as shingles overlap
            window = t[at:at + 14]
            seed += bytes([len(window)]) + window
        corpora["sha512_batch"].append(bytes(seed))

    for i, t in enumerate(texts):
        corpora["fingerprint"].append(le32(FLAG_WORDS[i % len(FLAG_WORDS)]) + le32(MODES[i % len(MODES)]) + t)
        corpora["clean_string"].append(le32(MODES[i % len(MODES)]) + t)
        corpora["fingerprint_chunk"].append(le32(FLAG_WORDS[i % len(FLAG_WORDS)]) + t)

    first = {"json_decode": [p.read_bytes() for p in suite_files()]}  # kept whatever the cap
    corpora["json_decode"] = first["json_decode"] + json_texts

    for i, path in enumerate(p for p in suite_files() if p.name.startswith("y_")):
        try:
            value = json.loads(path.read_bytes().decode("utf-8"))
        except (UnicodeDecodeError, ValueError):
            continue
        corpora["json_stringify"].append(stringify_program(value, i % 8))

    # The tests' own export calls are kept whatever the cap too.
    for export, args in calls:
        if export in corpora:
            first.setdefault(export, []).append(assets_input(args))
    for name in corpora:
        if name.startswith("assets_from_"):
            first[name] = list(dict.fromkeys(first.get(name, [])))
            corpora[name][:0] = first[name]
    # Every test literal is also tried as the field of each single-field export.
    for i, t in enumerate(texts):
        for name in ("assets_from_address", "assets_from_email_address", "assets_from_ssn",
                     "assets_from_phone_number"):
            corpora[name].append(assets_input([b"person", b"42", t]))
        corpora["assets_from_name"].append(assets_input([b"person", b"42", t, None, b"Smith"]))
        corpora["assets_from_city_state_zip"].append(assets_input([b"person", b"42", t, b"TX", b"78701"]))

    # Keyed exports: key lengths around both bounds, every export, test texts.
    key_lengths = [32, 0, 15, 16, 64, 1024, 1025, 200]
    for i, t in enumerate(texts):
        which = i % 8
        args = [t] if which in (0, 1) else (
            [b"person", b"42", t, None, b"Smith"] if which == 2 else
            [b"person", b"42", t, b"TX", b"78701"] if which == 4 else [b"person", b"42", t])
        corpora["keyed"].append(keyed_input(key_lengths[i % len(key_lengths)],
                                            FLAG_WORDS[i % len(FLAG_WORDS)], MODES[i % len(MODES)], which, args))

    for name, seeds in corpora.items():
        if only and name not in only:
            continue
        folder = CORPUS / name
        if folder.exists():
            shutil.rmtree(folder)
        folder.mkdir(parents=True)
        unique = list(dict.fromkeys(s for s in seeds if len(s) <= MAX_SEED_BYTES + 16))
        cap = MAX_JSON_SEEDS if name == "json_decode" else MAX_SEEDS
        chosen = pick(unique, cap, keep_first=len(first.get(name, [])))
        for seed in chosen:
            (folder / hashlib.sha1(seed).hexdigest()).write_bytes(seed)
        print(f"{name}: {len(chosen)} seeds")


if __name__ == "__main__":
    build(tuple(sys.argv[1:]))
    sys.exit(0)
