"""The batch export (korvi_assets_batch) against the one-record exports, row
by row, on the sample people and on texts chosen to hit the edges of
tiling, cleaning and the blank-cell rules; and its refusals."""
from __future__ import annotations

import csv
import ctypes
from pathlib import Path
from typing import List, Optional

import numpy as np
import pytest

import korvi
from korvi import _batch
from korvi._lib import TextColumn
from korvi_reference import fp

SAMPLE = Path(__file__).resolve().parents[2] / "programs" / "sample" / "people.csv"

EDGE_NAMES = [  # first, middle, last
    ("Robert", "J", "Smith"), ("Al", None, "Li"), ("Bo", "", "Xu"), ("", "", "Nguyen"), ("  ", "\t", " "),
    ("José", "Ñ", "Müller-Lüdenscheidt"), ("Ολυμπία", None, "Παπαδοπούλου"), ("山田", "", "太郎"),
    ("Ann", b"\xff", "Lee"), (b"Bad\xc3", None, "Byte"), ("Mary Ann", "Q", "O'Neil Smith"),
    ("Elizabeth", "Alexandra", "Montgomery-Worthington"), ("Jo\x00hn", None, "Doe"),
    ("Anne", None, "Leeds"), ("Anne", None, "Leed"),  # variants of 12 and 13 code points; one cleans to 11
]
EDGE_STREETS = ["1 Main St", "123 N. Main St. Apt 4B", "PO Box 7", "  ", "", "9 West Oak Avenue Apt 4",
                "Straße 12", "1 N S E W St Ave Rd Blvd Ln Dr Ct", b"\xfe street", "12 Rue de l'Église"]


def _column(cells: List[Optional[object]]):
    data = [c if isinstance(c, bytes) else (c or "").encode() for c in cells]
    return _batch.text_column_from_bytes(data)


def _one_row(lib, field, record_id, values):
    function = {"name": korvi.assets_from_name, "address": korvi.assets_from_address,
                "city_state_zip": korvi.assets_from_city_state_zip,
                "email_address": korvi.assets_from_email_address, "ssn": korvi.assets_from_ssn,
                "phone_number": korvi.assets_from_phone_number}[field]
    blank = [v is None or (v.strip(b" \t\r\n") if isinstance(v, bytes) else v.strip(" \t\r\n")) in ("", b"")
             for v in values]
    if all(blank):
        return []
    args = [v.split(b"\0")[0] if isinstance(v, bytes) else (v or "").split("\0")[0] for v in values]
    if field == "name" and blank[1]:
        args[1] = None
    elif field != "name" and field != "city_state_zip" and blank[0]:
        return []
    return function("person", record_id, *args, library=lib)


def _check_field(lib, field, rows):
    """The batch answer equals the one-record exports row for row."""
    columns = [_column([row[c] for row in rows]) for c in range(len(rows[0]))]
    batch = _batch.field_assets(lib, field, len(rows), columns)
    distinct = _batch.field_assets(lib, field, len(rows), columns, distinct=True)
    tuples = iter(batch.tuples())
    groups = iter(distinct.tuples())
    variant_ids = iter(batch.variant_ids.tolist())
    assert batch.words.tolist() == [int(h, 16) for h in batch.hex.split()]
    for i, row in enumerate(rows):
        expected = _one_row(lib, field, str(i), row)
        got = [(next(variant_ids), next(tuples)) for _ in range(int(batch.assets_per_row[i]))]
        assert got == [(a.variant_id, a.fingerprints) for a in expected], (field, row)
        every = sorted({p for a in expected for p in a.fingerprints})
        assert (list(next(groups)) if distinct.assets_per_row[i] else []) == every, (field, row)


def test_batch_equals_one_record_calls_on_the_sample(lib):
    with open(SAMPLE, newline="", encoding="utf-8") as f:
        people = list(csv.DictReader(f))
    _check_field(lib, "name", [(p["first_name"], p["middle_name"], p["last_name"]) for p in people])
    _check_field(lib, "address", [(p["address"],) for p in people])
    _check_field(lib, "city_state_zip", [(p["city"], p["state"], p["zip"]) for p in people])
    _check_field(lib, "email_address", [(p["email"],) for p in people])
    _check_field(lib, "ssn", [(p["ssn"],) for p in people])
    _check_field(lib, "phone_number", [(p["phone"],) for p in people])


def test_batch_equals_one_record_calls_at_the_edges(lib):
    _check_field(lib, "name", EDGE_NAMES)
    _check_field(lib, "address", [(s,) for s in EDGE_STREETS])
    _check_field(lib, "city_state_zip", [("Austin", "tx", "78701"), ("", "", "19901"), ("  ", "", ""),
                                         ("São Paulo", "SP", "01000"), ("Dover", b"\xff", "1")])
    _check_field(lib, "email_address", [("Bob@Example.com",), ("",), (" x@y.org ",), (b"\xffa@b.c",)])
    _check_field(lib, "ssn", [("123-45-6789",), ("abc",), ("",), ("12\x003",)])


def test_single_value_fields_by_hand(lib):
    """SSN and phone: one fingerprint of the digits; e-mail: of the hex text
    of the fingerprint of the upper-cased address (computed with hashlib)."""
    ssn = _batch.field_assets(lib, "ssn", 2, [_column(["123-45-6789", " "])])
    assert ssn.assets_per_row.tolist() == [1, 0]
    assert ssn.hex.split() == [fp(b"123456789", short=True)]
    assert ssn.words.tolist() == [int(fp(b"123456789", short=True), 16)]
    email = _batch.field_assets(lib, "email_address", 1, [_column(["Bob@Example.com"])])
    inner = fp(b"BOB@EXAMPLE.COM", short=True)
    assert email.hex.split() == [fp(inner.encode(), short=True)]
    assert email.variant_ids.tolist() == [1] and email.fingerprints_per_asset.tolist() == [1]


def _raw_call(lib, field, rows, columns, count):
    pointer = lib.assets_batch(field, rows, columns, count, 0)
    if not pointer:
        return None
    try:
        return pointer.contents.rows, pointer.contents.assets
    finally:
        lib.free(ctypes.cast(pointer, ctypes.c_void_p).value)


def test_refusals_and_empty_input(lib):
    data, offsets = _column(["123456789", "987654321"])
    one = (TextColumn * 1)()
    one[0].bytes = data
    one[0].offsets = offsets.ctypes.data_as(ctypes.POINTER(ctypes.c_uint64))
    assert _raw_call(lib, b"ssn", 2, one, 1) == (2, 2)
    assert _raw_call(lib, b"ssn", 0, None, 1) == (0, 0)
    assert _raw_call(lib, b"ssn", 2, None, 1) is None  # no columns for two rows
    assert _raw_call(lib, b"SSN", 2, one, 1) is None  # unknown field
    assert _raw_call(lib, None, 2, one, 1) is None
    assert _raw_call(lib, b"name", 2, one, 1) is None  # a name needs three columns
    none = (TextColumn * 3)()  # columns without texts: every row absent
    assert _raw_call(lib, b"name", 2, none, 3) == (2, 0)
    backwards = np.array([0, 9, 4], dtype=np.uint64)
    one[0].offsets = backwards.ctypes.data_as(ctypes.POINTER(ctypes.c_uint64))
    assert _raw_call(lib, b"ssn", 2, one, 1) is None


def test_columns_longer_than_one_call(lib, monkeypatch):
    """Frames of more rows than one call takes are cut into calls whose
    answers join up to the answer of one call."""
    streets = ["%d Main St Apt %d" % (i, i % 7) if i % 5 else "" for i in range(23)]
    column = [_column(streets)]
    whole = _batch.field_assets(lib, "address", len(streets), column)
    monkeypatch.setattr(_batch, "ROWS_PER_CALL", 4)
    cut = _batch.field_assets(lib, "address", len(streets), column)
    assert cut.assets_per_row.tolist() == whole.assets_per_row.tolist()
    assert cut.tuples() == whole.tuples() and cut.variant_ids.tolist() == whole.variant_ids.tolist()
    assert cut.words.tolist() == whole.words.tolist()
