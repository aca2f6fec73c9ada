#!/usr/bin/env python3
"""Writes korvi's deterministic synthetic benchmark data (no real people) into
the folder given as the only argument:
  names.txt      100,000 full names of 20-40 characters
  texts.txt      20 texts of 10,000 characters
  addresses.txt  10,000 six-word street addresses
  emails.txt     10,000 e-mail addresses
  ssns.txt       10,000 social-security numbers with hyphens
  mixed.txt      10,000 lines mixing Latin, Greek, Cyrillic, CJK and marks
  document.json  a JSON document of about 1 MB
"""
import json
import os
import random
import sys

FIRST = ("MICHAEL JAMES JOHN ROBERT DAVID WILLIAM MARY PATRICIA JENNIFER LINDA "
         "ELIZABETH BARBARA SUSAN JESSICA SARAH KAREN NANCY LISA BETTY MARGARET "
         "SANDRA ASHLEY KIMBERLY EMILY DONNA MICHELLE CAROL AMANDA MELISSA DEBORAH "
         "THOMAS CHARLES CHRISTOPHER DANIEL MATTHEW ANTHONY MARK DONALD STEVEN PAUL "
         "ANDREW JOSHUA KENNETH KEVIN BRIAN GEORGE TIMOTHY RONALD EDWARD JASON").split()
LAST = ("SMITH JOHNSON WILLIAMS BROWN JONES GARCIA MILLER DAVIS RODRIGUEZ MARTINEZ "
        "HERNANDEZ LOPEZ GONZALEZ WILSON ANDERSON THOMAS TAYLOR MOORE JACKSON MARTIN "
        "LEE PEREZ THOMPSON WHITE HARRIS SANCHEZ CLARK RAMIREZ LEWIS ROBINSON WALKER "
        "YOUNG ALLEN KING WRIGHT SCOTT TORRES NGUYEN HILL FLORES GREEN ADAMS NELSON "
        "BAKER HALL RIVERA CAMPBELL MITCHELL CARTER ROBERTS").split()
STREET = ("MAIN OAK PINE MAPLE CEDAR ELM WASHINGTON LAKE HILL PARK VIEW SUNSET "
          "RIVER SPRING CHURCH MILL").split()
SUFFIX = "STREET ST AVENUE AVE ROAD RD BOULEVARD BLVD DRIVE DR LANE LN COURT CT".split()
DIRECTION = "N S E W NORTH SOUTH EAST WEST NE NW".split()
UNIT = "APT SUITE STE UNIT BLDG".split()
DOMAINS = "example.com example.org example.net mail.example.com".split()
SCRIPTS = ["Müller", "Straße", "Ελένη", "Παπαδόπουλος", "Иван", "Петров", "王小明",
           "東京都", "José", "François", "e\u0301cole", "Ñandú", "Øre", "Ærø"]


def name(rng: random.Random) -> str:
    while True:
        parts = [rng.choice(FIRST), rng.choice(FIRST), rng.choice(LAST)]
        if rng.random() < 0.5:
            parts[1] = parts[1][0] + "."
        text = " ".join(parts).title()
        if 20 <= len(text) <= 40:
            return text


def address(rng: random.Random) -> str:
    return " ".join([str(rng.randint(1, 9999)), rng.choice(DIRECTION), rng.choice(STREET),
                     rng.choice(SUFFIX), rng.choice(UNIT), str(rng.randint(1, 999))])


def main(folder: str) -> None:
    rng = random.Random(20261208)
    os.makedirs(folder, exist_ok=True)

    def write(filename, lines):
        with open(os.path.join(folder, filename), "w", encoding="utf-8") as f:
            for line in lines:
                f.write(line + "\n")

    write("names.txt", (name(rng) for _ in range(100_000)))
    words = [w.lower() for w in FIRST + LAST + STREET]
    texts = []
    for _ in range(20):
        text = ""
        while len(text) < 10_000:
            text += rng.choice(words) + rng.choice([" ", ", ", ". ", " "])
        texts.append(text[:10_000])
    write("texts.txt", texts)
    write("addresses.txt", (address(rng) for _ in range(10_000)))
    write("emails.txt", (f"{rng.choice(FIRST).lower()}.{rng.choice(LAST).lower()}"
                         f"{rng.randint(1, 999)}@{rng.choice(DOMAINS)}" for _ in range(10_000)))
    write("ssns.txt", (f"{rng.randint(1, 899):03d}-{rng.randint(1, 99):02d}-{rng.randint(1, 9999):04d}"
                       for _ in range(10_000)))
    write("mixed.txt", (" ".join(rng.choice(SCRIPTS) for _ in range(5)) for _ in range(10_000)))
    records = []
    size = 0
    while size < 1_000_000:
        record = {"id": len(records), "name": name(rng), "address": address(rng),
                  "score": rng.random() * 1000, "active": rng.random() < 0.5,
                  "tags": [rng.choice(words) for _ in range(3)], "note": None}
        size += len(json.dumps(record))
        records.append(record)
    with open(os.path.join(folder, "document.json"), "w", encoding="utf-8") as f:
        json.dump({"records": records}, f, ensure_ascii=False)
    # City, state and zip separated by tabs; phone numbers as people type them.
    cities = [("Springfield", "IL"), ("Portland", "Oregon"), ("Saint Paul", "MN"),
              ("Fort Worth", "TX"), ("New York", "NY"), ("Lake Charles", "Louisiana")]
    write("city_state_zips.txt", ("\t".join((*rng.choice(cities), f"{rng.randint(501, 99950):05d}"))
                                  for _ in range(10_000)))
    write("phones.txt", (f"({rng.randint(201, 989)}) {rng.randint(200, 999)}-{rng.randint(0, 9999):04d}"
                         for _ in range(10_000)))


if __name__ == "__main__":
    main(sys.argv[1])
