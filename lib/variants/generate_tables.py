#!/usr/bin/env python3
"""Builds lib/variants/tables_generated.cc, the compiled-in alternates tables.

Run on request, not by the build:

    python3 lib/variants/generate_tables.py          # rewrite the table source
    python3 lib/variants/generate_tables.py --check  # exit 1 if it is out of date

Inputs (all under data/):
  alternates/address.txt, alternates/state.txt  the address and state groups,
      one group per line, key first, alternates in variant order;
  alternates/name_keys.txt       the keys of the given-name table;
  alternates/name_fixed.txt      given-name groups kept exactly as written;
  alternates/name_supplement.txt reviewed given-name pairs the nickname list
                                 lacks (key, then names linked to it);
  nicknames/names.csv            the public given-name/nickname list.

The given-name table: take the nickname pairs whose both names are keys, add
the supplement pairs, make the links symmetric, and replace the links of every
fixed key by its fixed group. A key's group is then the key, its direct
neighbours and the neighbours of those that are not fixed (two steps), each
part in byte order;
a fixed key stays out of every group it does not list itself, so membership
remains symmetric. Every table is checked before anything is written.
"""

import csv
import json
import os
import re
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
DATA = os.path.join(ROOT, "data")
OUTPUT = os.path.join(ROOT, "lib", "variants", "tables_generated.cc")

ENTRY = re.compile(r'\s*("(?:[^"\\]|\\.)*"|[^,"]*[^,"\s])\s*(,|$)')


def parse_line(line, where):
    """Splits one group line into entries; quoted entries use JSON escapes."""
    entries, pos = [], 0
    while pos < len(line):
        match = ENTRY.match(line, pos)
        if not match:
            raise SystemExit(f"{where}: cannot read entry at column {pos + 1}")
        token = match.group(1)
        entries.append(json.loads(token) if token.startswith('"') else token)
        pos = match.end()
        if match.group(2) == "" and pos < len(line):
            raise SystemExit(f"{where}: trailing text")
    return entries


def read_groups(relative):
    path = os.path.join(DATA, relative)
    groups = []
    with open(path, encoding="utf-8") as handle:
        for number, raw in enumerate(handle, 1):
            line = raw.rstrip("\n")
            if not line.strip() or line.startswith("#"):
                continue
            groups.append(parse_line(line, f"{relative}:{number}"))
    return groups


def read_keys(relative):
    with open(os.path.join(DATA, relative), encoding="utf-8") as handle:
        return [l.rstrip("\n") for l in handle if l.strip() and not l.startswith("#")]


def build_name_groups():
    keys = read_keys("alternates/name_keys.txt")
    fixed = read_groups("alternates/name_fixed.txt")
    supplement = read_groups("alternates/name_supplement.txt")

    fixed_by_key = {group[0]: group for group in fixed}
    all_keys = list(keys) + [k for k in fixed_by_key if k not in keys]
    key_set = set(all_keys)
    if len(key_set) != len(all_keys):
        raise SystemExit("name_keys.txt holds a key twice")

    links = {key: set() for key in all_keys}

    def link(a, b, source):
        for name in (a, b):
            if name not in key_set:
                raise SystemExit(f"{source}: {name!r} is not a key")
        if a != b:
            links[a].add(b)
            links[b].add(a)

    with open(os.path.join(DATA, "nicknames", "names.csv"), encoding="utf-8", newline="") as handle:
        for row in csv.DictReader(handle):
            a, b = row["name1"].upper(), row["name2"].upper()
            if a in key_set and b in key_set:
                link(a, b, "names.csv")
    for group in supplement:
        for other in group[1:]:
            link(group[0], other, "name_supplement.txt")

    # Fixed groups replace whatever the data says about their keys.
    for key in fixed_by_key:
        for other in links[key]:
            links[other].discard(key)
        links[key] = set()
    for key, group in fixed_by_key.items():
        for other in group[1:]:
            if other not in key_set:
                raise SystemExit(f"name_fixed.txt: {other!r} is not a key")
            links[key].add(other)
            links[other].add(key)

    groups = []
    for key in sorted(all_keys, key=lambda k: k.encode("utf-8")):
        if key in fixed_by_key:
            groups.append(list(fixed_by_key[key]))
            continue
        near = set(links[key])
        far = set()
        for other in near:
            if other not in fixed_by_key:
                far |= links[other]
        far -= near | {key}
        far = {name for name in far if name not in fixed_by_key}
        order = lambda names: sorted(names, key=lambda n: n.encode("utf-8"))
        groups.append([key] + order(near) + order(far))
    return groups


def check_table(name, groups):
    """The table invariants: unique keys covering every entry, no repeats or
    empty entries within a group, symmetric membership, key first."""
    members = {}
    for group in groups:
        if len(group) < 2:
            raise SystemExit(f"{name}: group {group[0]!r} has no alternate")
        if group[0] in members:
            raise SystemExit(f"{name}: key {group[0]!r} appears twice")
        if len(set(group)) != len(group) or "" in group:
            raise SystemExit(f"{name}: group {group[0]!r} repeats an entry or holds an empty one")
        members[group[0]] = set(group)
    for group in groups:
        for entry in group[1:]:
            if entry not in members:
                raise SystemExit(f"{name}: {entry!r} in group {group[0]!r} has no group")
            if group[0] not in members[entry]:
                raise SystemExit(f"{name}: {entry!r} is in {group[0]!r} but not the reverse")


def cpp_string(text):
    out = ['"']
    for ch in text:
        if ch == '"' or ch == "\\":
            out.append("\\" + ch)
        elif ch == "\t":
            out.append("\\t")
        elif " " <= ch <= "~":
            out.append(ch)
        else:
            raise SystemExit(f"unexpected character {ch!r} in {text!r}")
    out.append('"')
    return "".join(out)


def key_hash(key):
    """32-bit FNV-1a of the key's UTF-8 bytes; lookup_alternates computes the same."""
    h = 0x811C9DC5
    for byte in key.encode("utf-8"):
        h = ((h ^ byte) * 0x01000193) & 0xFFFFFFFF
    return h


def hash_slots(groups):
    """Open addressing with linear probing over a power-of-two slot count at
    least twice the group count; a slot holds group index + 1, 0 when empty."""
    size = 1
    while size < 2 * len(groups):
        size *= 2
    slots = [0] * size
    for index, group in enumerate(groups):
        slot = key_hash(group[0]) & (size - 1)
        while slots[slot]:
            slot = (slot + 1) & (size - 1)
        slots[slot] = index + 1
    return slots


def emit_table(lines, ident, label, groups):
    groups = sorted(groups, key=lambda g: g[0].encode("utf-8"))
    lines.append(f"// {label}: {len(groups)} groups, {sum(map(len, groups))} entries.")
    lines.append(f"constexpr std::string_view k{ident}Entries[] = {{")
    starts, offset = [], 0
    for group in groups:
        starts.append(offset)
        offset += len(group)
        lines.append("    " + ", ".join(cpp_string(e) for e in group) + ",")
    starts.append(offset)
    lines.append("};")
    lines.append(f"constexpr uint32_t k{ident}Starts[] = {{")
    for i in range(0, len(starts), 12):
        lines.append("    " + ", ".join(str(s) for s in starts[i:i + 12]) + ",")
    lines.append("};")
    slots = hash_slots(groups)
    lines.append(f"constexpr uint16_t k{ident}Slots[] = {{")
    for i in range(0, len(slots), 16):
        lines.append("    " + ", ".join(str(s) for s in slots[i:i + 16]) + ",")
    lines.append("};")
    lines.append("")


def render():
    tables = [
        ("Name", "Given names and nicknames", build_name_groups()),
        ("Address", "Street-address words", read_groups("alternates/address.txt")),
        ("State", "State and territory names and postal codes", read_groups("alternates/state.txt")),
    ]
    for ident, _, groups in tables:
        check_table(ident, groups)
    lines = [
        "// generated by lib/variants/generate_tables.py; do not edit",
        "// Regenerate with: python3 lib/variants/generate_tables.py",
        "//",
        "// Each table lists its groups sorted by key (byte order), key first and",
        "// then the alternates in variant order; kXStarts[i] is where group i",
        "// begins and the last value is the entry count; kXSlots is a hash index",
        "// of the keys (FNV-1a, linear probing, group index + 1, 0 when empty).",
        "#include <cstdint>",
        "#include <string_view>",
        "",
        '#include "variants/variants.h"',
        "",
        "namespace korvi::variants {",
        "namespace {",
        "",
    ]
    for ident, label, groups in tables:
        emit_table(lines, ident, label, groups)
    lines.append("}  // namespace")
    lines.append("")
    for ident, _, _ in tables:
        lines.append(f"constinit const AlternatesTable k{ident}Alternates{{k{ident}Entries, k{ident}Starts, "
                     f"k{ident}Slots}};")
    lines.append("")
    lines.append("}  // namespace korvi::variants")
    return "\n".join(lines) + "\n"


def main(argv):
    text = render()
    if argv[1:] == ["--check"]:
        try:
            with open(OUTPUT, encoding="utf-8") as handle:
                current = handle.read()
        except FileNotFoundError:
            current = None
        if current != text:
            print(f"{os.path.relpath(OUTPUT, ROOT)} is out of date; run lib/variants/generate_tables.py")
            return 1
        return 0
    if argv[1:]:
        print(__doc__)
        return 2
    with open(OUTPUT, "w", encoding="utf-8", newline="\n") as handle:
        handle.write(text)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
