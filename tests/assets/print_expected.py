#!/usr/bin/env python3
"""Prints the expected asset JSON of each case of tests/assets/assets_test.cc,
computed by the reference model (tests/reference/korvi_reference.py: hashlib
SHA-512 with the salt, ASCII-only cleaning, tiles of 14 code points) rather
than by the library. Run with /usr/bin/python3 and paste the results into
assets_test.cc.
"""
import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "reference"))
from korvi_reference import (CLEAN_CODE, CLEAN_DIGITS, CLEAN_TEXT, asset, assets,  # noqa: E402
                             clean_ascii, compact, fp, name_variants, prints, product,
                             variant_prints)


def fingerprint(text):
    return fp(text, short=True)


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
    email = clean_ascii("John.Doe@Example.com", CLEAN_CODE)
    show("email John.Doe@Example.com (cleaned " + email + ")",
         compact([asset([fingerprint(fingerprint(email))], rt, rid, "email_address", 1)]))
    show("ssn 123-45-6789", compact([asset([fingerprint(clean_ascii("123-45-6789", CLEAN_DIGITS))], rt, rid, "ssn", 1)]))
    show("phone (555) 123-4567",
         compact([asset([fingerprint(clean_ascii("(555) 123-4567", CLEAN_DIGITS))], rt, rid, "phone_number", 1)]))

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
        show(f"address {address!r} fingerprints", variant_prints(address))
    for text in ["johndoe@example.com", "john.doe+x@example.com"]:
        show(f"email {text} asset fingerprint", fingerprint(fingerprint(clean_ascii(text, CLEAN_CODE))))
    show("fingerprint of JOHN.DOE@EXAMPLE.COM itself", fingerprint(email))
    show("fingerprint of the empty text", fingerprint(""))
    show("fingerprint of 5551234567", fingerprint("5551234567"))

    # The record and list exports (records_test.cc).
    for text in ["ABCDEFGHIJKL", "ABCDEFGHIJKLM", "ABCDEFGHIJKLMN", "ABCDEFGHIJKLMNOPQRSTUVWXYZ"]:
        show(f"tiled short {text!r}", prints(text, tiled=True, short=True))
    show("sliding long 'abcde fghijk'", prints(clean_ascii("abcde fghijk", CLEAN_TEXT)))
    show("sliding short 18 x 'A'", prints("A" * 18, short=True))
    for data in ["", "abc ", "ABC", "o'Brien"]:
        show(f"whole long {data!r}", fp(data))
    variants = [" AB CD ", "abcde fghij", "abcde fghijk", " SMITH, HOB ", None,
                "aaaaaaaaaaaaaa aaaaaaaaaaaaaa"]
    show("variants (t, 7, nickname)", compact(assets(variants, "t", "7", "nickname")))
    show("raw tax_id digits 123-45-6789",
         compact([asset([fingerprint(clean_ascii("123-45-6789", CLEAN_DIGITS))], "t", "7", "tax_id", 1)]))
    show("raw nick text \"  o'Brien \" (cleaned " + repr(clean_ascii("  o'Brien ", CLEAN_TEXT)) + ")",
         compact([asset([fingerprint(clean_ascii("  o'Brien ", CLEAN_TEXT))], "t", "7", "nick", 1)]))
    for mode, value in [(CLEAN_CODE, "John.Doe@Example.com"), (CLEAN_TEXT, "john.doe@example.com")]:
        show(f"email login mode {mode} {value}",
             compact([asset([fingerprint(fingerprint(clean_ascii(value, mode)))], "t", "7", "login", 1)]))


if __name__ == "__main__":
    main()
