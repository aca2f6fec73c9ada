#!/usr/bin/env python3
"""Writes the seed corpora of the korvi command's fuzz targets,
tests/fuzz/corpus/cli_<target>/, from the command's own test inputs
(tests/cli/cases/*) and the first lines of the bundled sample, put into each
target's input layout (see the top of tests/fuzz/fuzz_cli_<target>.cc).
Files are named by the SHA-1 of their content. Rerun after changing the
command's tests:

    python3 tests/fuzz/make_cli_corpus.py
"""

import csv
import hashlib
import io
import json
import shlex
import shutil
from pathlib import Path

ROOT = Path(__file__).resolve().parents[2]
CASES = ROOT / "tests" / "cli" / "cases"
SAMPLE = ROOT / "programs" / "sample" / "people.csv"
CORPUS = ROOT / "tests" / "fuzz" / "corpus"

PIECES = [0, 1, 3, 7, 64]  # bytes per read (0: all at once), so seeds cut records apart
LIMITS = [0, 0, 2, 5, 40]  # record size limits in 16s (0: the default), so some seeds pass them
DELIMITERS = ",;\t|"
MAPPING_OPTIONS = ["--name", "--address", "--city-state-zip", "--email", "--ssn", "--phone", "--id"]

# Shapes the case files lack: a quote open at the end, CR-only line ends, a
# header with an open quote, nesting around the depth limit.
EXTRA_CSV = [
    b"id,ssn\n1,\"123-45-6789\n2,3\n",
    b"id,ssn\r1,2\r\r3,4",
    b"\"id,ssn\n1,2\n",
    b"id,ssn\n\"\"\n,\n\"a\"\"b\",\"c\nd\"\n",
]
EXTRA_JSONL = [
    b'{"id":"1","ssn":' + b"[" * 1001 + b"]" * 1001 + b'}\n{"id":"2","ssn":"1"}\n',
    b'{"ssn":"1","ssn":"2","id":3}\r\n\r\n \t\n{"id":"\\"[[","ssn":null}',
    b'{"a":{"b":[1,{"c":2}]},"ssn":1e400}\n[]\n"x"\n{',
]


def case_inputs(suffixes):
    for case in sorted(CASES.iterdir()):
        cmd = (case / "cmd").read_text()
        if not cmd.startswith("assets"):
            continue
        args = shlex.split(cmd)
        jsonl = "--format" in args and args[args.index("--format") + 1] == "jsonl"
        for f in sorted(case.iterdir()):
            if f.suffix in suffixes or (f.name == "stdin" and (".jsonl" in suffixes) == jsonl):
                yield args, f.read_bytes()


def mapping_seed(flags, options, columns):
    texts = [options.get(o, "") for o in MAPPING_OPTIONS] + list(columns)
    return bytes([flags]) + b"\0".join(t.encode() for t in texts)


def build():
    sample = SAMPLE.read_bytes().split(b"\n")
    corpora = {"cli_csv": [], "cli_jsonl": [], "cli_mapping": []}
    csv_texts = [data for _, data in case_inputs({".csv"})] + [b"\n".join(sample[:6]) + b"\n"] + EXTRA_CSV
    for i, text in enumerate(csv_texts):
        delimiter = DELIMITERS.index(";") if text.startswith(b"id;") or b";" in text[:40] else 0
        corpora["cli_csv"].append(bytes([PIECES[i % len(PIECES)], i % 8, LIMITS[(i // 2) % len(LIMITS)], delimiter]) + text)
    rows = list(csv.DictReader(io.StringIO(b"\n".join(sample[:6]).decode())))
    sample_jsonl = "".join(json.dumps(row) + "\n" for row in rows).encode()
    jsonl_texts = [data for _, data in case_inputs({".jsonl"})] + [sample_jsonl] + EXTRA_JSONL
    for i, text in enumerate(jsonl_texts):
        corpora["cli_jsonl"].append(bytes([PIECES[i % len(PIECES)], i % 8, LIMITS[(i // 2) % len(LIMITS)]]) + text)
    for i, (args, data) in enumerate(case_inputs({".csv", ".jsonl"})):
        options = {a: args[j + 1] for j, a in enumerate(args[:-1]) if a in MAPPING_OPTIONS}
        for a in args:
            key, _, value = a.partition("=")
            if key in MAPPING_OPTIONS and value:
                options[key] = value
        header = data.split(b"\n", 1)[0].decode("utf-8", "replace").lstrip("\ufeff").rstrip("\r")
        columns = header.split(";" if ";" in header else ",")
        flags = (0 if "--no-guess" in args else 1) | 2
        corpora["cli_mapping"].append(mapping_seed(flags, options, columns))
    sample_columns = sample[0].decode().split(",")
    corpora["cli_mapping"].append(mapping_seed(1, {}, sample_columns))
    corpora["cli_mapping"].append(mapping_seed(3, {"--name": "first_name,last_name"}, sample_columns))
    corpora["cli_mapping"].append(mapping_seed(
        2, {"--name": "first=First,middle=Mid,last=LAST", "--city-state-zip": "c,s,z"},
        ["first", "Mid", "last", "C", "S", "Z"]))

    for name, seeds in corpora.items():
        folder = CORPUS / name
        if folder.exists():
            shutil.rmtree(folder)
        folder.mkdir(parents=True)
        chosen = list(dict.fromkeys(seeds))
        for seed in chosen:
            (folder / hashlib.sha1(seed).hexdigest()).write_bytes(seed)
        print(f"{name}: {len(chosen)} seeds")


if __name__ == "__main__":
    build()
