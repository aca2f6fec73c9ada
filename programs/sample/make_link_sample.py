#!/usr/bin/env python3
"""Writes two CSV files of made-up people and the true pairs between them, to
measure how well `korvi link` finds the same person in two parties' files.

The left file is a population of people (some living in one household: same
last name, address and phone). The right file holds corrupted copies of a
share of them, in shuffled order, plus people of its own. The truth file lists
every (left_id, right_id) pair that is one person, with the corruptions that
copy received, so that recall can be reported per kind of corruption.

Corruptions, each drawn independently per copied record at its rate:

  nickname        given name replaced by a nickname (ROBERT -> BOB), from
                  data/nicknames/names.csv, for names that have one
  name_typo       one or two character edits in the first or last name
  street_typo     one or two character edits in the street name
  street_type     street type abbreviated, or an abbreviation written out
                  (Street <-> St, North <-> N)
  name_swap       first and last name swapped
  missing         one or two of ssn, phone, email, dob, address, middle name
                  left blank
  new_phone       another phone number
  new_email       another e-mail address
  moved           another address, city, state and ZIP code
  dob_transposed  two adjacent digits of the date of birth swapped
  state_name      state code written as the state's name, or the reverse
  accent_dropped  (names with accents only) accents left out: JOSE for JOSÉ

Every value is drawn by a seeded generator, so the files are the same on
every machine and describe no real person (SSN area numbers 900-999, phone
numbers 555-01xx, reserved e-mail domains), as in make_sample.py.

usage: make_link_sample.py [--count N] [--overlap F] [--seed S] PREFIX
writes PREFIX-left.csv, PREFIX-right.csv and PREFIX-truth.csv
"""
import argparse
import csv
import os
import random
import sys
import unicodedata

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import make_sample as base  # noqa: E402  (word lists shared with the sample)

NICKNAMES_CSV = os.path.join(HERE, "..", "..", "data", "nicknames", "names.csv")

RATES = {
    "nickname": 0.15,
    "name_typo": 0.12,
    "street_typo": 0.08,
    "street_type": 0.20,
    "name_swap": 0.03,
    "missing": 0.15,
    "new_phone": 0.10,
    "new_email": 0.12,
    "moved": 0.08,
    "dob_transposed": 0.05,
    "state_name": 0.10,
    "accent_dropped": 0.50,
}
KINDS = list(RATES)
HOUSEHOLD_RATE = 0.15   # people added to the household of someone already drawn
ACCENTED_RATE = 0.05    # people whose first or last name is written with accents

ACCENTED_FIRST = ["José", "Zoë", "Renée", "André", "Chloé", "Jérôme", "Noémie", "Inés", "Joël",
                  "Béatrice", "François", "Björn", "Søren", "Ángel", "Mónica", "Raúl"]
ACCENTED_LAST = ["Müller", "Núñez", "García", "Peña", "Ibáñez", "Gómez", "Jiménez", "Désirée",
                 "Lefèvre", "Schröder", "Håkansson", "Çelik", "Łukasz", "Dvořák", "Muñoz", "Hernández"]

STREET_TYPES = [("Street", "St"), ("Avenue", "Ave"), ("Road", "Rd"), ("Drive", "Dr"), ("Lane", "Ln"),
                ("Boulevard", "Blvd"), ("Court", "Ct"), ("Place", "Pl"), ("North", "N"), ("South", "S"),
                ("East", "E"), ("West", "W")]
STATE_NAMES = {"TN": "Tennessee", "UT": "Utah", "CA": "California", "WI": "Wisconsin", "CO": "Colorado",
               "SC": "South Carolina", "CT": "Connecticut", "OR": "Oregon", "IA": "Iowa", "TX": "Texas",
               "MA": "Massachusetts", "OH": "Ohio", "AL": "Alabama", "DE": "Delaware", "NY": "New York",
               "IN": "Indiana", "RI": "Rhode Island", "VA": "Virginia", "WA": "Washington", "NV": "Nevada",
               "IL": "Illinois", "MS": "Mississippi", "MO": "Missouri"}
STATE_CODES = {name: code for code, name in STATE_NAMES.items()}
HEADER = ["id", "first_name", "middle_name", "last_name", "dob", "address", "city", "state", "zip",
          "email", "ssn", "phone"]
LETTERS = "abcdefghijklmnopqrstuvwxyz"


def load_nicknames():
    table = {}
    with open(NICKNAMES_CSV, encoding="utf-8") as f:
        for row in csv.DictReader(f):
            if row["relationship"] == "has_nickname":
                table.setdefault(row["name1"].lower(), []).append(row["name2"])
    return table


def strip_accents(text):
    decomposed = unicodedata.normalize("NFKD", text.replace("ø", "o").replace("Ø", "O")
                                       .replace("ł", "l").replace("Ł", "L"))
    return "".join(c for c in decomposed if not unicodedata.combining(c))


def phone(rng):
    exchange, line = rng.randint(201, 989), rng.randint(100, 199)
    return rng.choice([f"({exchange}) 555-{line:04d}", f"{exchange}-555-{line:04d}",
                       f"+1 {exchange} 555 {line:04d}"])


def email(rng, first, last):
    first, last = strip_accents(first), strip_accents(last)
    return rng.choice([f"{first}.{last}", f"{first[0]}{last}", f"{first}{rng.randint(1, 99)}",
                       f"{last}.{first[0]}"]).lower() + "@" + rng.choice(base.DOMAINS)


def address(rng):
    parts = [str(rng.randint(1, 9999)), rng.choice(base.DIRECTIONS), rng.choice(base.STREETS),
             rng.choice(base.SUFFIXES)]
    text = " ".join(p for p in parts if p)
    unit = rng.choice(base.UNITS)
    return text + " " + unit if unit else text


def place(rng):
    city, state = rng.choice(base.PLACES)
    return {"city": city, "state": state, "zip": f"{rng.randint(501, 99950):05d}"}


def person(rng, accented):
    first, last = rng.choice(base.FIRST), rng.choice(base.LAST)
    if accented:
        if rng.random() < 0.5:
            first = rng.choice(ACCENTED_FIRST)
        else:
            last = rng.choice(ACCENTED_LAST)
    middle = rng.choice(["", "", rng.choice(base.FIRST), rng.choice(base.FIRST)[0]])
    p = {"first_name": first, "middle_name": middle, "last_name": last,
         "dob": (rng.randint(1930, 2006), rng.randint(1, 12), rng.randint(1, 28)),
         "address": address(rng), "email": email(rng, first, last),
         "ssn": f"{rng.randint(900, 999)}-{rng.randint(1, 99):02d}-{rng.randint(1, 9999):04d}",
         "phone": phone(rng)}
    p.update(place(rng))
    return p


def household_member(rng, other):
    p = person(rng, False)
    for key in ("last_name", "address", "city", "state", "zip", "phone"):
        p[key] = other[key]
    p["email"] = email(rng, p["first_name"], p["last_name"])
    return p


def typo(rng, word):
    """One or two edits: substitution, deletion, insertion or adjacent swap."""
    for _ in range(rng.choice([1, 1, 2])):
        if len(word) < 3:
            break
        i = rng.randrange(1, len(word) - 1)
        edit = rng.choice(["sub", "del", "ins", "swap"])
        c = rng.choice(LETTERS)
        c = c.upper() if word[i].isupper() else c
        if edit == "sub":
            word = word[:i] + c + word[i + 1:]
        elif edit == "del":
            word = word[:i] + word[i + 1:]
        elif edit == "ins":
            word = word[:i] + c + word[i:]
        else:
            word = word[:i - 1] + word[i] + word[i - 1] + word[i + 1:]
    return word


def corrupt(rng, p, nicknames):
    """A corrupted copy of p and the kinds of corruption applied."""
    q = dict(p)
    kinds = []

    def hit(kind):
        return rng.random() < RATES[kind]

    words = q["address"].split(" ")
    if hit("nickname") and q["first_name"].lower() in nicknames:
        q["first_name"] = rng.choice(nicknames[q["first_name"].lower()]).capitalize()
        kinds.append("nickname")
    if hit("name_typo"):
        key = rng.choice(["first_name", "last_name"])
        q[key] = typo(rng, q[key])
        kinds.append("name_typo")
    if hit("street_typo"):
        # The street name is the longest word that is not a number.
        names = [i for i, w in enumerate(words) if w.isalpha() and len(w) > 3]
        if names:
            i = max(names, key=lambda j: len(words[j]))
            words[i] = typo(rng, words[i])
            kinds.append("street_typo")
    if hit("street_type"):
        changeable = [i for i, w in enumerate(words) for long, short in STREET_TYPES if w in (long, short)]
        if changeable:
            i = rng.choice(changeable)
            for long, short in STREET_TYPES:
                if words[i] in (long, short):
                    words[i] = short if words[i] == long else long
                    break
            kinds.append("street_type")
    q["address"] = " ".join(words)
    if hit("name_swap"):
        q["first_name"], q["last_name"] = q["last_name"], q["first_name"]
        kinds.append("name_swap")
    if hit("new_phone"):
        q["phone"] = phone(rng)
        kinds.append("new_phone")
    if hit("new_email"):
        q["email"] = email(rng, q["first_name"], q["last_name"])
        if q["email"] != p["email"]:
            kinds.append("new_email")
    if hit("moved"):
        q["address"] = address(rng)
        q.update(place(rng))
        kinds.append("moved")
    if hit("dob_transposed"):
        digits = "%04d%02d%02d" % q["dob"]
        i = rng.choice([2, 3, 4, 6])  # year's last digits, month, day
        swapped = digits[:i] + digits[i + 1] + digits[i] + digits[i + 2:]
        year, month, day = int(swapped[:4]), int(swapped[4:6]), int(swapped[6:])
        if swapped != digits and 1 <= month <= 12 and 1 <= day <= 31:
            q["dob"] = (year, month, day)
            kinds.append("dob_transposed")
    if hit("state_name"):
        q["state"] = STATE_NAMES.get(q["state"]) or STATE_CODES[q["state"]]
        kinds.append("state_name")
    if hit("missing"):
        for key in rng.sample(["ssn", "phone", "email", "dob", "address", "middle_name"], rng.choice([1, 2])):
            q[key] = ""
        kinds.append("missing")
    if (strip_accents(q["first_name"]) != q["first_name"] or strip_accents(q["last_name"]) != q["last_name"]) \
            and hit("accent_dropped"):
        q["first_name"], q["last_name"] = strip_accents(q["first_name"]), strip_accents(q["last_name"])
        kinds.append("accent_dropped")
    return q, kinds


def row(record_id, p, dob_format):
    dob = ""
    if p["dob"]:
        year, month, day = p["dob"]
        dob = dob_format.format(year=year, month=month, day=day)
    return [record_id] + [dob if key == "dob" else p[key] for key in HEADER[1:]]


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--count", type=int, default=1000, help="records in each file")
    parser.add_argument("--overlap", type=float, default=0.5, help="share of the right file copied from the left")
    parser.add_argument("--seed", type=int, default=20261208)
    parser.add_argument("prefix")
    args = parser.parse_args()
    rng = random.Random(args.seed)
    nicknames = load_nicknames()

    left = []
    for _ in range(args.count):
        if left and rng.random() < HOUSEHOLD_RATE:
            left.append(household_member(rng, rng.choice(left)))
        else:
            left.append(person(rng, rng.random() < ACCENTED_RATE))
    copied = sorted(rng.sample(range(args.count), round(args.count * args.overlap)))
    right = []  # (person, left index or None, kinds)
    for i in copied:
        q, kinds = corrupt(rng, left[i], nicknames)
        right.append((q, i, kinds))
    while len(right) < args.count:
        if right and rng.random() < HOUSEHOLD_RATE:
            right.append((household_member(rng, rng.choice(right)[0]), None, []))
        else:
            right.append((person(rng, rng.random() < ACCENTED_RATE), None, []))
    rng.shuffle(right)

    def writer(path):
        f = open(path, "w", newline="", encoding="utf-8")
        return f, csv.writer(f, lineterminator="\n")

    width = max(7, len(str(args.count)))
    left_file, out = writer(args.prefix + "-left.csv")
    with left_file:
        out.writerow(HEADER)
        for n, p in enumerate(left, 1):
            out.writerow(row(f"L{n:0{width}d}", p, "{year:04d}-{month:02d}-{day:02d}"))
    right_file, out = writer(args.prefix + "-right.csv")
    truth_file, truth = writer(args.prefix + "-truth.csv")
    with right_file, truth_file:
        out.writerow(HEADER)
        truth.writerow(["left_id", "right_id", "corruptions"])
        pairs = []
        for n, (q, i, kinds) in enumerate(right, 1):
            out.writerow(row(f"R{n:0{width}d}", q, "{month:02d}/{day:02d}/{year:04d}"))
            if i is not None:
                pairs.append((f"L{i + 1:0{width}d}", f"R{n:0{width}d}", ";".join(kinds)))
        for pair in sorted(pairs):
            truth.writerow(pair)


if __name__ == "__main__":
    main()
