#!/usr/bin/env python3
"""Independent reference for the asset tests: prints the expected asset JSON
of each case, computed here from first principles (hashlib SHA-512 with the
salt, ASCII-only cleaning, tiles of 14 code points) rather than by the
library. Run with /usr/bin/python3 and paste the results into assets_test.cc.
"""

import hashlib
import json

SALT = b"Qm7pZ2vX+9LcT4nB8rKs1A"
TEXT, CODE, DIGITS = 0, 1, 2


def fingerprint(data, digits=16):
    return hashlib.sha512(data.encode("utf-8") + SALT).hexdigest()[:digits]


def clean(text, mode):
    """Cleaning for ASCII input: upper-case, keep by mode, collapse spaces."""
    out = []
    for ch in text.upper():
        if mode == DIGITS:
            if ch.isdigit():
                out.append(ch)
            continue
        keep = ch.isalnum() or ch == " " if mode == TEXT else ("!" <= ch <= "~" or ch == " ")
        ch = ch if keep else " "
        if ch == " " and out and out[-1] == " ":
            continue
        out.append(ch)
    return "".join(out)


def tiles(text, digits=16, sliding=False):
    """Fingerprints of the 14-code-point tiles (or sliding windows) of a
    cleaned text, or None."""
    n = len(text)
    if n <= 11:
        return None
    if n < 14:
        text, n = " " + text + " ", n + 2
    if sliding:
        windows = [text[k:k + 14] for k in range(n - 13)]
    else:
        windows = [text[k:k + 14] for k in range(0, n - n % 14, 14)]
        if n % 14:
            windows.append(text[n - 14:])
    return sorted({fingerprint(w, digits) for w in windows})


def variant_fingerprints(variant):
    if len(variant) > 11:
        return tiles(clean(variant, TEXT))
    return [fingerprint(variant)]


def asset(fingerprints, record_type, record_id, field, number):
    return {"fingerprints": fingerprints,
            "metadata": {"record_type": record_type, "record_id": record_id,
                         "field": field, "variant_id": str(number)}}


def assets(variants, record_type, record_id, field):
    out = []
    for number, variant in enumerate(variants, 1):
        fps = None if variant is None else variant_fingerprints(variant)
        if fps is not None:
            out.append(asset(fps, record_type, record_id, field, number))
    return out


def compact(value):
    return json.dumps(value, separators=(",", ":"), ensure_ascii=False)


def name_variants(givens, middle, last):
    out = []
    for g in givens:
        out += [f" {g} {last} ", f" {last}, {g} "]
        if middle is not None:
            i = middle[0]
            out += [f" {g} {middle} {last} ", f" {last}, {g} {middle} ",
                    f" {g} {i} {last} ", f" {last}, {g} {i} "]
    return out


def product(lists):
    lines = [""]
    for forms in lists:
        lines = [f"{a} {b}" if a else b for a in lines for b in forms]
    return lines


def show(label, value):
    print(f"{label}:\n{value}\n")


def main():
    rt, rid = "person", "42"
    # KEVIN is not a key of the name table.
    show("name kevin/James/Doe",
         compact(assets(name_variants(["KEVIN"], "JAMES", "DOE"), rt, rid, "name")))
    # 123 N. Main St. cleans to "123 N MAIN ST "; N and ST have address forms.
    show("address 123 N. Main St.",
         compact(assets(product([["123"], ["N", "NORTH"], ["MAIN"], ["ST", "STRT", "STREET", "STR"]]),
                        rt, rid, "address")))
    show("city_state_zip Austin/tx/78701-1234",
         compact(assets([" AUSTIN TX 78701 1234 ", " AUSTIN TEXAS 78701 1234 "], rt, rid, "city_state_zip")))
    email = clean("John.Doe@Example.com", CODE)
    show("email John.Doe@Example.com (cleaned " + email + ")",
         compact([asset([fingerprint(fingerprint(email))], rt, rid, "email_address", 1)]))
    show("ssn 123-45-6789", compact([asset([fingerprint(clean("123-45-6789", DIGITS))], rt, rid, "ssn", 1)]))
    show("phone (555) 123-4567",
         compact([asset([fingerprint(clean("(555) 123-4567", DIGITS))], rt, rid, "phone_number", 1)]))

    bob = ["BOB", "HOB", "BOBBY", "DOB", "ROBERTO", "BILLY", "RUPERT", "DOBBIN", "ROB", "BILL", "ROBIN",
           "HOBKIN", "ROBBY", "ROBERT"]
    made = assets(name_variants(bob, None, "SMITH"), rt, rid, "name")
    show("BOB SMITH variant ids", [a["metadata"]["variant_id"] for a in made])
    show("BOB SMITH first two assets' fingerprints", [a["fingerprints"] for a in made[:2]])
    mike = ["MIKE", "MICKEY", "MICHAEL", "CHELLE", "MICAH", "MITCH", "MICK", "ISAAC", "MICA", "MICHELLE",
            "SHELLY", "IKE", "MICHE", "MITCHELL", "MICHA", "ZEKE"]
    made = assets(name_variants(mike, None, "ROSS"), rt, rid, "name")
    show("MIKE ROSS variant ids", [a["metadata"]["variant_id"] for a in made])
    show("MIKE ROSS first three assets' fingerprints", [a["fingerprints"] for a in made[:3]])

    for address in ["ABCDE FGHIJ", "ABCDE FGHIJK", "AAAAAAAAAAAAAA AAAAAAAAAAAAAA"]:
        show(f"address {address!r} fingerprints", variant_fingerprints(address))
    for text in ["johndoe@example.com", "john.doe+x@example.com"]:
        show(f"email {text} asset fingerprint", fingerprint(fingerprint(clean(text, CODE))))
    show("fingerprint of JOHN.DOE@EXAMPLE.COM itself", fingerprint(email))
    show("fingerprint of the empty text", fingerprint(""))
    show("fingerprint of 5551234567", fingerprint("5551234567"))

    # The record and list exports (records_test.cc).
    for text in ["ABCDEFGHIJKL", "ABCDEFGHIJKLM", "ABCDEFGHIJKLMN", "ABCDEFGHIJKLMNOPQRSTUVWXYZ"]:
        show(f"tiled short {text!r}", tiles(text))
    show("sliding long 'abcde fghijk'", tiles(clean("abcde fghijk", TEXT), 64, sliding=True))
    show("sliding short 18 x 'A'", tiles("A" * 18, 16, sliding=True))
    for data in ["", "abc ", "ABC", "o'Brien"]:
        show(f"whole long {data!r}", fingerprint(data, 64))
    variants = [" AB CD ", "abcde fghij", "abcde fghijk", " SMITH, HOB ", None,
                "aaaaaaaaaaaaaa aaaaaaaaaaaaaa"]
    show("variants (t, 7, nickname)", compact(assets(variants, "t", "7", "nickname")))
    show("raw tax_id digits 123-45-6789",
         compact([asset([fingerprint(clean("123-45-6789", DIGITS))], "t", "7", "tax_id", 1)]))
    show("raw nick text \"  o'Brien \" (cleaned " + repr(clean("  o'Brien ", TEXT)) + ")",
         compact([asset([fingerprint(clean("  o'Brien ", TEXT))], "t", "7", "nick", 1)]))
    for mode, value in [(CODE, "John.Doe@Example.com"), (TEXT, "john.doe@example.com")]:
        show(f"email login mode {mode} {value}",
             compact([asset([fingerprint(fingerprint(clean(value, mode)))], "t", "7", "login", 1)]))


if __name__ == "__main__":
    main()
