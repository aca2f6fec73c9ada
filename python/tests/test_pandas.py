"""The pandas helpers: column mappings, the command's rules for blank cells,
the shape of both frames, and errors naming the cell at fault."""
from __future__ import annotations

import json
import math

import pandas as pd
import pytest

import korvi
import korvi.pandas as kp
from korvi_reference import fp

PEOPLE = pd.DataFrame({
    "id": ["C1", "C2", "C3", "C4"],
    "first": ["Robert", "mary", "", None],
    "middle": ["J", "", "Ann", None],
    "last": ["Smith", "O'Neil", "", None],
    "street": ["123 N. Main St.", "  ", "9 West Oak Avenue Apt 4", None],
    "city": ["Austin", "Dover", None, ""],
    "state": ["tx", "DE", None, ""],
    "zip": ["78701", "70360", None, "19901"],
    "email": ["Bob@Example.com", None, "x@example.org", ""],
    "ssn": ["123-45-6789", "", float("nan"), "987654321"],
    "phone": ["(555) 010-0100", "555 0101", None, pd.NA],
}, index=pd.Index([10, 20, 30, 40], name="row"))
COLUMNS = dict(name=("first", "middle", "last"), address="street", city_state_zip=("city", "state", "zip"),
               email="email", ssn="ssn", phone="phone", id="id")


def _present(value) -> bool:
    return isinstance(value, str) and value.strip() != ""


def _expected_assets(frame: pd.DataFrame, record_type: str = "person", id_column="id"):
    """Rows built from the single-call functions, by the command's rules."""
    rows = []
    for label, row in frame.iterrows():
        rid = row[id_column] if id_column else str(label)
        cell = {k: (v if isinstance(v, str) else "") for k, v in row.items()}
        fields = []
        if any(_present(row[c]) for c in ("first", "middle", "last")):
            fields.append(korvi.assets_from_name(record_type, rid, cell["first"],
                                                 cell["middle"] if _present(row["middle"]) else None,
                                                 cell["last"]))
        if _present(row["street"]):
            fields.append(korvi.assets_from_address(record_type, rid, cell["street"]))
        if any(_present(row[c]) for c in ("city", "state", "zip")):
            fields.append(korvi.assets_from_city_state_zip(record_type, rid, cell["city"], cell["state"],
                                                           cell["zip"]))
        for column, function in (("email", korvi.assets_from_email_address), ("ssn", korvi.assets_from_ssn),
                                 ("phone", korvi.assets_from_phone_number)):
            if _present(row[column]):
                fields.append(function(record_type, rid, cell[column]))
        for assets in fields:
            for a in assets:
                assert a.record_id == rid and a.record_type == record_type
                rows.append((label, a.record_id, a.field, a.variant_id, a.fingerprints))
    return rows


def _rows(frame: pd.DataFrame):
    return [(label, *values) for label, values in zip(frame.index, frame.itertuples(index=False, name=None))]


def test_assets_frame_follows_the_single_calls(lib):
    got = kp.assets_frame(PEOPLE, record_type="customer", **COLUMNS)
    assert list(got.columns) == list(kp.ASSET_COLUMNS)
    assert got.index.name == "row"
    assert str(got["variant_id"].dtype) == "int64"
    assert _rows(got) == _expected_assets(PEOPLE, "customer")
    # Order: records as given, fields in output order within each record.
    order = {field: i for i, field in enumerate(kp.FIELDS)}
    keys = [(PEOPLE.index.get_loc(label), order[field]) for label, field in zip(got.index, got["field"])]
    assert keys == sorted(keys)


def test_blank_cells_are_absent_values(lib):
    got = kp.assets_frame(PEOPLE, **COLUMNS)
    fields = got.groupby(level=0)["field"].agg(lambda f: sorted(set(f))).to_dict()
    assert fields[20] == ["city_state_zip", "name", "phone_number"]  # blank street, email, ssn
    # A middle name alone reaches the library, which makes nothing without
    # a first and last name; a ZIP code alone makes a city-state-zip line.
    assert fields[30] == ["address", "email_address"]
    assert fields[40] == ["city_state_zip", "ssn"]


def test_single_value_fields_match_hashlib(lib):
    got = kp.assets_frame(PEOPLE, ssn="ssn", phone="phone", email="email")
    by_row = {(label, field): prints for label, field, prints in zip(got.index, got["field"], got["fingerprints"])}
    assert by_row[(10, "ssn")] == (fp(b"123456789", True),)
    assert by_row[(40, "ssn")] == (fp(b"987654321", True),)
    assert by_row[(20, "phone_number")] == (fp(b"5550101", True),)
    assert by_row[(10, "email_address")] == (fp(fp(b"BOB@EXAMPLE.COM", True).encode(), True),)
    assert set(got["variant_id"]) == {1}
    # Without an id column the index labels are the record ids.
    assert list(got["record_id"].unique()) == ["10", "20", "30", "40"]


def test_numbers_are_sent_as_text(lib):
    frame = pd.DataFrame({"ssn": [123456789, 987654321], "zip": [78701, 19901], "city": ["Austin", "Dover"],
                          "state": ["TX", "DE"]})
    got = kp.assets_frame(frame, ssn="ssn", city_state_zip=("city", "state", "zip"))
    as_text = frame.astype(str)
    assert _rows(got) == _rows(kp.assets_frame(as_text, ssn="ssn", city_state_zip=("city", "state", "zip")))
    assert got["fingerprints"].iloc[-1] == (fp(b"987654321", True),)


def test_fingerprints_frame_unites_the_variants(lib):
    assets = kp.assets_frame(PEOPLE, **COLUMNS)
    got = kp.fingerprints_frame(PEOPLE, **COLUMNS)
    assert list(got.columns) == ["record_id"] + list(kp.FIELDS)
    assert got.index.equals(PEOPLE.index)
    assert list(got["record_id"]) == list(PEOPLE["id"])
    for label, row in got.iterrows():
        for field in kp.FIELDS:
            mine = assets[(assets.index == label) & (assets["field"] == field)]["fingerprints"]
            assert row[field] == tuple(sorted({p for prints in mine for p in prints}))
    assert got.loc[20, "address"] == () and got.loc[40, "name"] == ()


@pytest.mark.parametrize("given", [
    dict(name=("first", "middle", "last")),
    dict(name={"first": "first", "middle": "middle", "last": "last"}),
    dict(name=["first", "middle", "last"]),
])
def test_name_mappings_agree(lib, given):
    expected = kp.ColumnMapping(first_name="first", middle_name="middle", last_name="last")
    assert kp.ColumnMapping.build(**given) == expected
    assert _rows(kp.assets_frame(PEOPLE, **given)) == _rows(kp.assets_frame(PEOPLE, expected))


def test_two_name_columns_mean_first_and_last(lib):
    mapping = kp.ColumnMapping.build(name=("first", "last"), city_state_zip={"city": "c", "state": "s", "zip": "z"})
    assert (mapping.first_name, mapping.middle_name, mapping.last_name) == ("first", None, "last")
    assert (mapping.city, mapping.state, mapping.zip) == ("c", "s", "z")
    assert mapping.fields() == ("name", "city_state_zip")


@pytest.mark.parametrize("given, error, message", [
    (dict(), ValueError, "map at least one field"),
    (dict(id="id"), ValueError, "map at least one field"),
    (dict(name="first"), ValueError, "tuple of columns"),
    (dict(name=("first",)), ValueError, "2 or 3 columns"),
    (dict(name={"first": "first", "surname": "last"}), ValueError, "unknown keys"),
    (dict(name={"first": "first"}), ValueError, "missing last"),
    (dict(city_state_zip=("city", "state")), ValueError, "give 3 columns"),
    (dict(address="street_name", email="mail"), ValueError, "address='street_name', email='mail'"),
])
def test_bad_mappings(lib, given, error, message):
    with pytest.raises(error, match=message):
        kp.assets_frame(PEOPLE, **given)


def test_mapping_and_keywords_are_exclusive(lib):
    with pytest.raises(TypeError):
        kp.assets_frame(PEOPLE, kp.ColumnMapping.build(email="email"), ssn="ssn")


@pytest.mark.parametrize("cell, error, message", [
    ("a\0b@example.com", korvi.EmbeddedNulError, "NUL byte in column 'email', row 2"),
    ("bad \udc80@example.com", korvi.InvalidUtf8Error, "column 'email', row 2"),
    (b"bad \xff@example.com", korvi.InvalidUtf8Error, "column 'email', row 2"),
])
def test_cells_the_library_cannot_take(lib, cell, error, message):
    frame = pd.DataFrame({"email": ["a@example.com", "b@example.com", cell]})
    with pytest.raises(error, match=message):
        kp.assets_frame(frame, email="email")


def test_bytes_cells_are_sent_as_they_are(lib):
    frame = pd.DataFrame({"email": [b"Bob@Example.com", "Bob@Example.com"]})
    got = kp.assets_frame(frame, email="email")
    assert got["fingerprints"].iloc[0] == got["fingerprints"].iloc[1]


def test_empty_frames_keep_their_shape(lib):
    empty = PEOPLE.iloc[:0]
    assets = kp.assets_frame(empty, **COLUMNS)
    assert list(assets.columns) == list(kp.ASSET_COLUMNS) and len(assets) == 0
    assert str(assets["variant_id"].dtype) == "int64"
    prints = kp.fingerprints_frame(empty, **COLUMNS)
    assert list(prints.columns) == ["record_id"] + list(kp.FIELDS) and len(prints) == 0
    blank = pd.DataFrame({"email": ["", None]})
    assert len(kp.assets_frame(blank, email="email")) == 0


@pytest.mark.parametrize("record_id", ["plain", 'forged "variant_id":"9"}} "fingerprints":["x"]', "\\", "\u00e9\t"])
def test_reading_answers_in_one_pass_agrees_with_json(lib, record_id):
    text = lib.take_string(lib.assets["assets_from_address"](b"person", record_id.encode(), b"123 N. Main St."))
    items = json.loads(text)
    expected = ([int(i["metadata"]["variant_id"]) for i in items], [tuple(i["fingerprints"]) for i in items])
    assert kp.parse_assets(text) == expected
    assert kp.parse_fingerprints(text) == [p for prints in expected[1] for p in prints]
    # Another layout of the same JSON is read by the json module instead.
    spaced = json.dumps(items, indent=1).encode()
    assert kp.parse_assets(spaced) == expected
    assert kp.parse_fingerprints(spaced) == [p for prints in expected[1] for p in prints]
    assert kp.parse_assets(b"[]") == ([], []) and kp.parse_fingerprints(b"[]") == []


def test_nan_ids_and_labels(lib):
    frame = pd.DataFrame({"ssn": ["1", "2"], "id": [None, math.nan]}, index=["a", "b"])
    assert list(kp.assets_frame(frame, ssn="ssn", id="id")["record_id"]) == ["", ""]
    assert list(kp.assets_frame(frame, ssn="ssn")["record_id"]) == ["a", "b"]


def test_fingerprint_rows_are_the_assets_in_compact_form(lib):
    """One row per fingerprint, numbers equal to the hex digits, and the
    conversion back gives assets_frame exactly, ids from a column or the index."""
    for columns in (COLUMNS, dict(COLUMNS, id=None)):
        assets = kp.assets_frame(PEOPLE, **columns)
        rows = kp.fingerprint_rows_frame(PEOPLE, **columns)
        assert len(rows) == sum(len(prints) for prints in assets["fingerprints"])
        assert ["%016x" % v for v in rows["fingerprint"]] == [p for t in assets["fingerprints"] for p in t]
        assert rows["fingerprint"].dtype == "uint64" and rows["field"].dtype == "category"
        pd.testing.assert_frame_equal(kp.assets_from_fingerprint_rows(rows), assets)
    nothing = kp.fingerprint_rows_frame(PEOPLE.iloc[2:3], ssn="ssn")
    assert len(nothing) == 0
    pd.testing.assert_frame_equal(kp.assets_from_fingerprint_rows(nothing), kp.empty_assets_frame(PEOPLE.index))
