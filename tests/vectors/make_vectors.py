#!/usr/bin/env python3
"""Writes tests/vectors/vectors.tsv: inputs and expected outputs of every
export, which tests/vectors/check_vectors.c replays on each platform (Linux
x86-64, Linux 32-bit x86, Windows x64 under wine).

Expected values never come from the library: fingerprints are hashlib
SHA-512 with the salt, over texts cleaned by the small ASCII model of
tests/reference/korvi_reference.py or, for non-ASCII texts, cleaned by hand below;
expression trees, JSON texts and cleaned texts are written by hand. Keyed
rows take their fingerprints from Python's hmac with the test key 0x00..0x1f.

    /usr/bin/python3 tests/vectors/make_vectors.py          # rewrite the file
    /usr/bin/python3 tests/vectors/make_vectors.py --check  # fail if it is stale

File format, one vector per line, fields separated by tabs:
    call  argument...  expected
Lines starting with # are comments. In a field, \\\\ \\t \\n \\r and \\xHH
stand for a backslash, a tab, a line feed, a carriage return and any byte;
a field that is exactly \\N is a NULL pointer.
"""
import pathlib
import sys

HERE = pathlib.Path(__file__).resolve().parent
TESTS = HERE.parent
OUTPUT = HERE / "vectors.tsv"
sys.path.insert(0, str(TESTS / "reference"))
import korvi_reference as ref  # noqa: E402

BOOLEAN, RAW, TILED, SHORT, PARSE_ONLY = 0x01, 0x02, 0x04, 0x08, 0x10
NULL = None

# ---------------------------------------------------------------- encoding


def escape(field):
    if field is None:
        return "\\N"
    data = field.encode("utf-8") if isinstance(field, str) else bytes(field)
    try:
        data.decode("utf-8")
        valid = True
    except UnicodeDecodeError:
        valid = False
    out = bytearray()
    for b in data:
        if b == 0x5C:
            out += b"\\\\"
        elif b == 0x09:
            out += b"\\t"
        elif b == 0x0A:
            out += b"\\n"
        elif b == 0x0D:
            out += b"\\r"
        elif b < 0x20 or b == 0x7F or (b >= 0x80 and not valid):
            out += b"\\x%02X" % b
        else:
            out.append(b)
    return out.decode("utf-8")


lines = []


def comment(text):
    lines.append("# " + text)


def vector(call, *fields):
    lines.append("\t".join([call] + [escape(f) if not isinstance(f, int) else str(f) for f in fields]))


# ---------------------------------------------------------------- model


def prints(cleaned, flags):
    """Sorted unique fingerprints of a cleaned text, or None when too short."""
    return ref.prints(cleaned, bool(flags & TILED), bool(flags & SHORT))


def quoted(items):
    return "[" + ",".join('"%s"' % p for p in items) + "]"


def error(message):
    return '{"success":false,"error":"%s"}' % message


TOO_SHORT = (1, error("Input length too short"))
BAD_UTF8 = (2, error("Failed utf8 conversion"))
PARSE_ERROR = (3, error("Expression parse error"))


def plain_answer(cleaned, flags):
    """(status, text) of the plain road for an already cleaned text."""
    found = prints(cleaned, flags)
    if found is None:
        return TOO_SHORT
    if flags & RAW:
        return 0, "".join(found)
    return 0, '{"success":true,"data":{"fingerprints":%s}}' % quoted(found)


def success(data):
    return 0, '{"success":true,"data":%s}' % data


# ---------------------------------------------------------------- fingerprint

comment("fingerprint  text  clean_mode  flags  status  text")
comment("Plain road, ASCII texts, cleaned by the reference model; modes 7 and -1 act as 0;")
comment("0x10 without 0x01 changes nothing.")
ASCII_TEXTS = [
    "John Smith Jr",                  # 13 code points: padded
    "  o'Brien-Smith, Jr. ",          # punctuation becomes spaces in mode 0
    "john.doe+tag@example-mail.com",  # kept whole in mode 1
    "(555) 123-4567 ext. 89",         # 12 digits in mode 2
    "ABCDEFGHIJKL",                   # 12: one padded window
    "ABCDEFGHIJK",                    # 11: too short
    "a\tb\nc  d!!!e???fgh ijk lmnop",  # control characters and runs
    "",
]
FLAG_WORDS = [0, RAW, TILED, SHORT, TILED | SHORT, RAW | TILED | SHORT, PARSE_ONLY, PARSE_ONLY | SHORT]
for text in ASCII_TEXTS:
    for mode in (0, 1, 2, 7, -1):
        cleaned = ref.clean_ascii(text, mode)
        for flags in FLAG_WORDS:
            vector("fingerprint", text, mode, flags, *plain_answer(cleaned, flags))

comment("Plain road, a long text: sliding windows and tiles differ.")
LONG = "The quick brown fox jumps over the lazy dog, 0123456789 times!"
for mode in (0, 1, 2):
    for flags in (0, TILED, SHORT, TILED | SHORT, RAW | TILED):
        vector("fingerprint", LONG, mode, flags,
               *plain_answer(ref.clean_ascii(LONG, mode), flags))

comment("Plain road, non-ASCII texts with their cleaned forms worked out by hand.")
NON_ASCII = [
    # (text, {mode: cleaned})
    ("M\u00fcller-L\u00fcdenscheidt Stra\u00dfe 5",
     {0: "M\u00dcLLER L\u00dcDENSCHEIDT STRA\u00dfE 5",
      1: "M\u00dcLLER-L\u00dcDENSCHEIDT STRA\u00dfE 5", 2: "5"}),
    ("\u00c6r\u00f8sk\u00f8bing\u00a0\u00a0Havn\u30005970",
     {0: "\u00c6R\u00d8SK\u00d8BING HAVN 5970", 2: "5970"}),
    ("\u01c6emal \u01c5oki\u0107-Ivanovi\u0107",
     {0: "\u01c4EMAL \u01c4OKI\u0106 IVANOVI\u0106", 1: "\u01c4EMAL \u01c4OKI\u0106-IVANOVI\u0106"}),
    ("Jose\u0301 Garci\u0301a Ma\u0301rquez", {0: "JOSE GARCI A MA RQUEZ"}),
    ("\u0647\u0627\u062a\u0641: \u0660\u0661\u0662\u0663\u0664\u0665\u0666\u0667\u0668\u0669 / \uff10\uff11\uff12",
     {2: "\u0660\u0661\u0662\u0663\u0664\u0665\u0666\u0667\u0668\u0669\uff10\uff11\uff12",
      0: "\u0647\u0627\u062a\u0641 \u0660\u0661\u0662\u0663\u0664\u0665\u0666\u0667\u0668\u0669 \uff10\uff11\uff12"}),
    ("\U00010400\u4e2d\u6587 \u1f80 \u0345 \ufb01 o\u02bcneil",
     {0: "\U00010400\u4e2d\u6587 \u0399 \ufb01 O\u02bcNEIL"}),
]
for text, by_mode in NON_ASCII:
    for mode, cleaned in by_mode.items():
        for flags in (0, TILED | SHORT, RAW):
            vector("fingerprint", text, mode, flags, *plain_answer(cleaned, flags))

comment("Plain road failures: the JSON error envelope, in raw mode too.")
for text in (b"abcdefghijklmnop\xff", b"\xc0\xafABCDEFGHIJKLMNOP", b"ABCDEFGHIJKLMNOP\xed\xa0\x80",
             b"ABCDEFGHIJKLMNOP\xf4\x90\x80\x80", b"ABCDEFGHIJKLMNOP\xe2\x82"):
    for flags in (0, RAW, RAW | SHORT):
        vector("fingerprint", text, 0, flags, *BAD_UTF8)
vector("fingerprint", NULL, 0, 0, *BAD_UTF8)
vector("fingerprint", NULL, 0, RAW, *BAD_UTF8)

comment("Boolean road: trees written by hand, operands fingerprinted one by one.")
vector("fingerprint", "a OR b", 0, BOOLEAN | PARSE_ONLY,
       *success('{"operator":"OR","operands":["a","b"]}'))
vector("fingerprint", "a OR b c", 0, BOOLEAN | PARSE_ONLY,
       *success('{"operator":"AND","operands":[{"operator":"OR","operands":["a","b"]},"c"]}'))
vector("fingerprint", "a and (b Or c)", 0, BOOLEAN | PARSE_ONLY,
       *success('{"operator":"AND","operands":["a",{"operator":"OR","operands":["b","c"]}]}'))
vector("fingerprint", "x - y -z", 0, BOOLEAN | PARSE_ONLY,
       *success('{"operator":"AND","operands":[{"operator":"AND_NOT","operands":["x","y"]},"-z"]}'))
vector("fingerprint", "((a))", 0, BOOLEAN | PARSE_ONLY | RAW, *success('"a"'))
vector("fingerprint", '""', 0, BOOLEAN | PARSE_ONLY, *success('""'))
EXPR = '"John Smith Jr" OR ("Jane Doe-Smith" - Springfield_Illinois)'
for mode in (0, 1):
    for flags in (BOOLEAN, BOOLEAN | RAW, BOOLEAN | TILED | SHORT):
        ops = [prints(ref.clean_ascii(t, mode), flags)
               for t in ("John Smith Jr", "Jane Doe-Smith", "Springfield_Illinois")]
        vector("fingerprint", EXPR, mode, flags, *success(
            '{"operator":"OR","operands":[%s,{"operator":"AND_NOT","operands":[%s,%s]}]}'
            % tuple(quoted(o) for o in ops)))
vector("fingerprint", "ABCDEFGHIJKLMN", 0, BOOLEAN,
       *success(quoted(prints("ABCDEFGHIJKLMN", BOOLEAN))))
comment("An operand that is too short fails the expression as bad UTF-8.")
vector("fingerprint", '"John Smith Jr" AND short', 0, BOOLEAN, *BAD_UTF8)
vector("fingerprint", '""', 0, BOOLEAN, *BAD_UTF8)
vector("fingerprint", b'"ABCDEFGHIJKLMNOP\xff"', 0, BOOLEAN, *BAD_UTF8)
comment("Expressions that do not parse give an error envelope, never a process exit.")
for text in ("a AND", "(a", "a ) b", "OR a", "a OR AND b", "()", "", "   "):
    vector("fingerprint", text, 0, BOOLEAN, *PARSE_ERROR)
    vector("fingerprint", text, 0, BOOLEAN | PARSE_ONLY, *PARSE_ERROR)

# ---------------------------------------------------------------- clean_string

comment("clean_string  text  clean_mode  cleaned (\\N: NULL)")
for text in ("  o'Brien-Smith, Jr. ", "john_doe-1+x@mail.example.org", "(555) 123-4567",
             "!!!", " ", "", "JOHN.DOE@EXAMPLE.COM", " O BRIEN SMITH JR ", "a\tb\nc\x7fd~e"):
    for mode in (0, 1, 2, 7, -1):
        vector("clean_string", text, mode, ref.clean_ascii(text, mode))
HAND_CLEANED = [
    # (text, mode, cleaned): Unicode cases worked out from the category rules
    ("a\tb\nc\u2028d\u200be\u00adf", 0, "A B C D E F"),
    ("a\u00a0\u00a0b\u3000 c", 0, "A B C"),
    ("a\u00a0\u00a0b\u3000 c", 2, ""),
    ("stra\u00dfe \ufb01sh", 0, "STRA\u00dfE \ufb01SH"),
    ("\u1f80x", 0, " X"),
    ("\u1f80x", 1, " X"),
    ("\u1f88", 0, " "),
    ("\u01c5\u01c6\u01c4", 0, "\u01c4\u01c4\u01c4"),
    ("\u0345", 0, "\u0399"),
    ("o\u02bcneil o'neil o\u2019neil", 0, "O\u02bcNEIL O NEIL O NEIL"),
    ("o\u02bcneil o'neil o\u2019neil", 1, "O\u02bcNEIL O'NEIL O\u2019NEIL"),
    ("e\u0301", 0, "E "),
    ("\u00e9", 0, "\u00c9"),
    ("\u0661\uff11 2", 2, "\u0661\uff112"),
    ("\u0661\uff11 2", 0, "\u0661\uff11 2"),
    ("\u20ac5 \u00bd", 0, " 5 \u00bd"),
    ("\u20ac5 \u00bd", 1, "\u20ac5 \u00bd"),
    ("\u00bd\u2163", 2, ""),
    ("\U0001F600 smile", 0, " SMILE"),
    ("\U0001F600 smile", 1, "\U0001F600 SMILE"),
    ("\u0430\u0431\u0432 \u03b1\u03b2\u03b3", 0, "\u0410\u0411\u0412 \u0391\u0392\u0393"),
    ("\ue000\u0378x", 0, " X"),
]
for text, mode, cleaned in HAND_CLEANED:
    vector("clean_string", text, mode, cleaned)
for text in (b"x\xffy", b"\xc0\xaf", b"\xed\xa0\x80", b"\xf4\x90\x80\x80", b"abc\xe2\x82", b"\x80"):
    for mode in (0, 1, 2):
        vector("clean_string", text, mode, NULL)
vector("clean_string", NULL, 0, NULL)

# ---------------------------------------------------------------- fingerprint_chunk

comment("fingerprint_chunk  text  flags  fingerprint of the bytes as given (\\N: NULL)")


def chunk(data, flags):
    return ref.fp(data, short=bool(flags & SHORT))


for text in (b"", b"abc", b"ABC ", b"Stra\xc3\x9fe", b"john smith jr", b"\xff\xfe", b"x" * 200):
    for flags in (0, SHORT, 0x1F, RAW | TILED):
        vector("fingerprint_chunk", text, flags, chunk(text, flags))
vector("fingerprint_chunk", NULL, 0, NULL)

# ---------------------------------------------------------------- assets


def short_fp(text):
    return ref.fp(text, short=True)


comment("assets_from_*  record_type  record_id  field...  JSON array of assets")
comment("Variants as worked out in tests/assets/reference.py from the alternates tables.")
compact = ref.compact
RT, RID = "person", "42"
names = ref.name_variants
vector("assets_from_name", RT, RID, "kevin", "James", "Doe", compact(
    ref.assets(names(["KEVIN"], "JAMES", "DOE"), RT, RID, "name")))
vector("assets_from_name", RT, RID, "kevin", NULL, "Doe", compact(
    ref.assets(names(["KEVIN"], None, "DOE"), RT, RID, "name")))
BOB = ["BOB", "HOB", "BOBBY", "DOB", "ROBERTO", "BILLY", "RUPERT", "DOBBIN", "ROB", "BILL", "ROBIN",
       "HOBKIN", "ROBBY", "ROBERT"]
vector("assets_from_name", RT, RID, "Bob", NULL, "Smith", compact(
    ref.assets(names(BOB, None, "SMITH"), RT, RID, "name")))
MIKE = ["MIKE", "MICKEY", "MICHAEL", "CHELLE", "MICAH", "MITCH", "MICK", "ISAAC", "MICA", "MICHELLE",
        "SHELLY", "IKE", "MICHE", "MITCHELL", "MICHA", "ZEKE"]
vector("assets_from_name", "rec", "x-1", "MIKE", NULL, "ROSS", compact(
    ref.assets(names(MIKE, None, "ROSS"), "rec", "x-1", "name")))
vector("assets_from_address", RT, RID, "123 N. Main St.", compact(ref.assets(
    ref.product([["123"], ["N", "NORTH"], ["MAIN"], ["ST", "STRT", "STREET", "STR"]]),
    RT, RID, "address")))
for address in ("abcde fghij", "abcde fghijk", "aaaaaaaaaaaaaa aaaaaaaaaaaaaa"):
    vector("assets_from_address", RT, RID, address, compact(
        ref.assets([address.upper()], RT, RID, "address")))
vector("assets_from_city_state_zip", RT, RID, "Austin", "tx", "78701-1234", compact(ref.assets(
    [" AUSTIN TX 78701 1234 ", " AUSTIN TEXAS 78701 1234 "], RT, RID, "city_state_zip")))
for email in ("John.Doe@Example.com", "johndoe@example.com", "john.doe+x@example.com"):
    fp = short_fp(short_fp(ref.clean_ascii(email, ref.CLEAN_CODE)))
    vector("assets_from_email_address", RT, RID, email,
           compact([ref.asset([fp], RT, RID, "email_address", 1)]))
for ssn in ("123-45-6789", " 123.45.6789 ", "n/a"):
    fp = short_fp(ref.clean_ascii(ssn, ref.CLEAN_DIGITS))
    vector("assets_from_ssn", RT, RID, ssn, compact([ref.asset([fp], RT, RID, "ssn", 1)]))
for phone in ("(555) 123-4567", "555.123.4567"):
    fp = short_fp(ref.clean_ascii(phone, ref.CLEAN_DIGITS))
    vector("assets_from_phone_number", RT, RID, phone,
           compact([ref.asset([fp], RT, RID, "phone_number", 1)]))
comment("Metadata is written back as JSON strings, escaped.")
fp = short_fp(ref.clean_ascii("123456789", ref.CLEAN_DIGITS))
vector("assets_from_ssn", 'type "q"\t\\', "id/\u00e9", "123456789",
       '[{"fingerprints":["%s"],"metadata":{"record_type":"type \\"q\\"\\t\\\\",'
       '"record_id":"id/\u00e9","field":"ssn","variant_id":"1"}}]' % fp)
comment("Absent or invalid input: an empty array.")
vector("assets_from_name", NULL, "1", "KEVIN", NULL, "DOE", "[]")
vector("assets_from_name", "p", "1", b"\xff", NULL, "DOE", "[]")
vector("assets_from_address", "p", NULL, "1 MAIN ST", "[]")
vector("assets_from_address", "p", "1", " ,. ", "[]")
vector("assets_from_city_state_zip", "p", "1", "AUSTIN", NULL, "Z", "[]")
vector("assets_from_email_address", "p", "1", b"a@b\xc3", "[]")
vector("assets_from_ssn", "p", "1", NULL, "[]")
vector("assets_from_phone_number", "p", "1", b"555\xc3", "[]")

# ---------------------------------------------------------------- keyed

comment("korvi_key_new  key material (hex)  key id (\\N: refused)")
comment("*_keyed  key material (hex, \\N: a NULL key)  then the unkeyed call's fields")
TEST_KEY_HEX = ref.TEST_KEY.hex()
for material in (ref.TEST_KEY, b"0123456789abcdef", bytes([0xA5]) * 1024):
    vector("korvi_key_new", material.hex(), ref.derive(material)[1])
for material in (b"", b"0123456789abcde", bytes(1025)):
    vector("korvi_key_new", material.hex(), NULL)

with ref.keyed(ref.TEST_KEY):
    comment("Keyed plain road: sliding windows, tiles, short and raw forms.")
    for text in ("John Smith Jr", LONG, "M\u00fcller-L\u00fcdenscheidt Stra\u00dfe 5", "ABCDEFGHIJK"):
        for mode in (0, 1, 2):
            cleaned = ref.clean_ascii(text, mode) if text.isascii() else NON_ASCII[0][1].get(mode)
            if cleaned is None:
                continue
            for flags in (0, RAW, TILED | SHORT, RAW | TILED | SHORT):
                vector("fingerprint_keyed", TEST_KEY_HEX, text, mode, flags,
                       *plain_answer(cleaned, flags))
    vector("fingerprint_keyed", TEST_KEY_HEX, b"abcdefghijklmnop\xff", 0, 0, *BAD_UTF8)
    vector("fingerprint_keyed", TEST_KEY_HEX, NULL, 0, 0, *BAD_UTF8)
    comment("Keyed boolean road: every operand keyed.")
    for flags in (BOOLEAN, BOOLEAN | TILED | SHORT):
        ops = [prints(ref.clean_ascii(t, ref.CLEAN_TEXT), flags)
               for t in ("John Smith Jr", "Jane Doe-Smith", "Springfield_Illinois")]
        vector("fingerprint_keyed", TEST_KEY_HEX, EXPR, 0, flags, *success(
            '{"operator":"OR","operands":[%s,{"operator":"AND_NOT","operands":[%s,%s]}]}'
            % tuple(quoted(o) for o in ops)))
    vector("fingerprint_keyed", TEST_KEY_HEX, "a OR b", 0, BOOLEAN | PARSE_ONLY,
           *success('{"operator":"OR","operands":["a","b"]}'))
    comment("Keyed fingerprint_chunk: one block, just over, and several blocks.")
    for text in (b"", b"abc", b"x" * 89, b"x" * 90, b"x" * 200, b"\xff\xfe"):
        for flags in (0, SHORT):
            vector("fingerprint_chunk_keyed", TEST_KEY_HEX, text, flags, ref.fp(text, bool(flags & SHORT)))
    comment("Keyed assets: tiles, whole variants, and the e-mail double hash keyed at both steps.")
    vector("assets_from_name_keyed", TEST_KEY_HEX, RT, RID, "kevin", "James", "Doe", compact(
        ref.assets(names(["KEVIN"], "JAMES", "DOE"), RT, RID, "name")))
    vector("assets_from_name_keyed", TEST_KEY_HEX, RT, RID, "Bob", NULL, "Smith", compact(
        ref.assets(names(BOB, None, "SMITH"), RT, RID, "name")))
    vector("assets_from_address_keyed", TEST_KEY_HEX, RT, RID, "123 N. Main St.", compact(
        ref.assets(ref.product([["123"], ["N", "NORTH"], ["MAIN"], ["ST", "STRT", "STREET", "STR"]]),
                   RT, RID, "address")))
    vector("assets_from_city_state_zip_keyed", TEST_KEY_HEX, RT, RID, "Austin", "tx", "78701-1234",
           compact(ref.assets([" AUSTIN TX 78701 1234 ", " AUSTIN TEXAS 78701 1234 "],
                              RT, RID, "city_state_zip")))
    fp = short_fp(short_fp(ref.clean_ascii("John.Doe@Example.com", ref.CLEAN_CODE)))
    vector("assets_from_email_address_keyed", TEST_KEY_HEX, RT, RID, "John.Doe@Example.com",
           compact([ref.asset([fp], RT, RID, "email_address", 1)]))
    fp = short_fp("123456789")
    vector("assets_from_ssn_keyed", TEST_KEY_HEX, RT, RID, "123-45-6789",
           compact([ref.asset([fp], RT, RID, "ssn", 1)]))
    fp = short_fp("5551234567")
    vector("assets_from_phone_number_keyed", TEST_KEY_HEX, RT, RID, "(555) 123-4567",
           compact([ref.asset([fp], RT, RID, "phone_number", 1)]))
comment("A NULL key is refused like a NULL text, never replaced by the public salt.")
vector("fingerprint_keyed", NULL, "John Smith Jr", 0, 0, *BAD_UTF8)
vector("fingerprint_chunk_keyed", NULL, "abc", 0, NULL)
vector("assets_from_name_keyed", NULL, RT, RID, "kevin", NULL, "Doe", "[]")
vector("assets_from_address_keyed", NULL, RT, RID, "123 N. Main St.", "[]")
vector("assets_from_city_state_zip_keyed", NULL, RT, RID, "Austin", "tx", "78701", "[]")
vector("assets_from_email_address_keyed", NULL, RT, RID, "a@b.example", "[]")
vector("assets_from_ssn_keyed", NULL, RT, RID, "123-45-6789", "[]")
vector("assets_from_phone_number_keyed", NULL, RT, RID, "(555) 123-4567", "[]")

# ---------------------------------------------------------------- JSON

comment("json_encode  text  compact text of json_decode(text) (\\N: the text does not decode)")
JSON_ROUND_TRIPS = [
    (' { "b" : [1, 2.50, -0, 1e21, 1E-7, 0.1, 123456789012345678, 0.33333333333333331] , "a":null } ',
     '{"b":[1,2.5,-0,1e+21,1e-07,0.1,1.234567890123457e+17,0.3333333333333333],"a":null}'),
    # Numbers are written with 16 significant digits, or 17 where the 16-digit
    # text would read back as a number that writes otherwise: the largest
    # double (whose 16 digits read as infinity) and 1.0000000000000001e23
    # (whose "1e+23" reads as 9.999999999999999e22).
    ("[1e400, -1e400, 1e-400, 5e-324, 1.7976931348623157e308, -2.2250738585072014e-308]",
     "[null,null,0,4.940656458412465e-324,1.7976931348623157e+308,-2.225073858507201e-308]"),
    ("[1e23, 1.0000000000000001e23]", "[9.999999999999999e+22,1.0000000000000001e+23]"),
    ("[100, 1e15, 1e16, 1e17, 12345678901234567890, 0.000001, 0.0000001]",
     "[100,1000000000000000,1e+16,1e+17,1.234567890123457e+19,1e-06,1e-07]"),
    ('"tab\\there \\"q\\" \\u00e9 \\/ \\u001f \\u0001 \\ud83d\\ude00 \\u20AC"',
     '"tab\\there \\"q\\" \u00e9 / \\u001F \\u0001 \U0001F600 \u20ac"'),
    ('"\\b\\f\\n\\r\\t\x7f \u00e9\U00010400"', '"\\b\\f\\n\\r\\t\x7f \u00e9\U00010400"'),
    (" [ [ ] , { } , true , false , null ] ", "[[],{},true,false,null]"),
    ('{"a":1,"a":2,"":{"":[]}}', '{"a":1,"a":2,"":{"":[]}}'),
    ("\t\r\n 42 \n", "42"),
    ("[01]", NULL), ("[1,]", NULL), ('"\\u0000"', NULL), ('"\\ud800"', NULL), ('"\\udc00x"', NULL),
    ('{"a" 1}', NULL), ("", NULL), ("nul", NULL), (b'"\x80"', NULL), ("+1", NULL), (".5", NULL),
    ("1.", NULL), ("-", NULL), ('"a\x01"', NULL), ("true false", NULL), ('"\\U0041"', NULL),
    ("{,}", NULL), ("[1 2]", NULL), ("TRUE", NULL), ("/* c */ 1", NULL),
]
for text, expected in JSON_ROUND_TRIPS:
    vector("json_encode", text, expected)

comment("json_stringify  text  indent  indented text of json_decode(text)")
vector("json_stringify", '{"a":[1,2],"b":{}}', "  ", '{\n  "a": [\n    1,\n    2\n  ],\n  "b": {}\n}')
vector("json_stringify", '[[],[{"k":"v"}],0.5]', "\t", '[\n\t[],\n\t[\n\t\t{\n\t\t\t"k": "v"\n\t\t}\n\t],\n\t0.5\n]')
vector("json_stringify", '"x"', "    ", '"x"')
vector("json_stringify", '{"a":[1,2],"b":{}}', NULL, '{"a":[1,2],"b":{}}')

# ---------------------------------------------------------------- output

HEADER = [
    "# Cross-platform test vectors of korvi: written by tests/vectors/make_vectors.py",
    "# (do not edit by hand), replayed by tests/vectors/check_vectors.c.",
]
text = "\n".join(HEADER + lines) + "\n"
if "--check" in sys.argv[1:]:
    if OUTPUT.read_text(encoding="utf-8") != text:
        sys.exit(f"{OUTPUT} is out of date: run /usr/bin/python3 {pathlib.Path(__file__).relative_to(TESTS.parent)}")
    print(f"{OUTPUT.name} is up to date ({sum(1 for l in lines if not l.startswith('#'))} vectors)")
else:
    OUTPUT.write_text(text, encoding="utf-8")
    print(f"wrote {OUTPUT} ({sum(1 for l in lines if not l.startswith('#'))} vectors)")
