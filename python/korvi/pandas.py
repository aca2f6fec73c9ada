"""Assets of the personal fields of a pandas DataFrame, one library call per
field for all the rows (korvi_assets_batch), mapped the way the ``korvi
assets`` command maps columns::

    import korvi.pandas as kp
    assets = kp.assets_frame(people, name=("first", "middle", "last"),
                             address="street", city_state_zip=("city", "state", "zip"),
                             email="email", ssn="ssn", phone="phone", id="customer_id")

Cells follow the command's rules: a blank cell (empty, white space only,
None or NaN) is an absent value; a name is fingerprinted when any of its
three cells is given (a blank middle name counts as no middle name), a
city-state-zip line when any of its cells is; other fields when their cell
is. Numbers are sent as their text (read ZIP codes with ``dtype=str`` to
keep leading zeros). Without an ``id`` column the frame's index labels are
the record ids.

The functions take and return plain pandas frames, so they serve as the
partition function of any engine that hands out pandas frames (Dask's
``map_partitions``, Spark's ``mapInPandas``, ...).
"""
from __future__ import annotations

import ctypes
import functools
import json
import re
from itertools import chain, islice, repeat
from dataclasses import dataclass, fields as dataclass_fields
from typing import Any, Callable, Dict, Hashable, Iterable, List, Mapping, Optional, Sequence, Tuple, TypeVar, Union

import numpy as np
import pandas as pd

from . import _batch
from ._api import Text, _key_handle, encode
from ._key import Key
from ._lib import Library, PathLike, default_library, load_library

__all__ = [
    "ASSET_COLUMNS",
    "FIELDS",
    "ColumnMapping",
    "LibraryLike",
    "NameColumns",
    "assets_frame",
    "empty_assets_frame",
    "empty_fingerprints_frame",
    "fingerprints_frame",
    "parse_assets",
    "parse_fingerprints",
    "fingerprint_rows_frame",
    "assets_from_fingerprint_rows",
]

FIELDS: Tuple[str, ...] = ("name", "address", "city_state_zip", "email_address", "ssn", "phone_number")
"""Output fields, in the order they are produced for each record."""

ASSET_COLUMNS: Tuple[str, ...] = ("record_id", "field", "variant_id", "fingerprints")
"""Columns of assets_frame()."""

LibraryLike = Union[Library, PathLike, None]
NameColumns = Union[Sequence[Hashable], Mapping[str, Hashable]]

_EXPORTS = {
    "name": "assets_from_name",
    "address": "assets_from_address",
    "city_state_zip": "assets_from_city_state_zip",
    "email_address": "assets_from_email_address",
    "ssn": "assets_from_ssn",
    "phone_number": "assets_from_phone_number",
}
_BLANK = b" \t\r\n"


@dataclass(frozen=True)
class ColumnMapping:
    """Which column holds each input value; None where none does."""

    first_name: Optional[Hashable] = None
    middle_name: Optional[Hashable] = None
    last_name: Optional[Hashable] = None
    address: Optional[Hashable] = None
    city: Optional[Hashable] = None
    state: Optional[Hashable] = None
    zip: Optional[Hashable] = None
    email: Optional[Hashable] = None
    ssn: Optional[Hashable] = None
    phone: Optional[Hashable] = None
    id: Optional[Hashable] = None

    @classmethod
    def build(cls, name: Optional[NameColumns] = None, address: Optional[Hashable] = None,
              city_state_zip: Optional[NameColumns] = None, email: Optional[Hashable] = None,
              ssn: Optional[Hashable] = None, phone: Optional[Hashable] = None,
              id: Optional[Hashable] = None) -> "ColumnMapping":
        """A mapping written like the command's options: ``name`` as
        (first, middle, last), (first, last) or {"first": .., "middle": ..,
        "last": ..}; ``city_state_zip`` as (city, state, zip) or {"city": ..,
        "state": .., "zip": ..}; the others as one column each."""
        first = middle = last = city = state = zip_code = None
        if name is not None:
            first, middle, last = _split(name, "name", ("first", "middle", "last"), optional="middle")
        if city_state_zip is not None:
            city, state, zip_code = _split(city_state_zip, "city_state_zip", ("city", "state", "zip"))
        mapping = cls(first, middle, last, address, city, state, zip_code, email, ssn, phone, id)
        if not mapping.fields():
            raise ValueError("map at least one field: name, address, city_state_zip, email, ssn or phone")
        return mapping

    def slots(self) -> Dict[str, Tuple[Optional[Hashable], ...]]:
        """For each field, the columns that feed its library call, in the
        call's argument order (None where a column is not mapped)."""
        return {
            "name": (self.first_name, self.middle_name, self.last_name),
            "address": (self.address,),
            "city_state_zip": (self.city, self.state, self.zip),
            "email_address": (self.email,),
            "ssn": (self.ssn,),
            "phone_number": (self.phone,),
        }

    def fields(self) -> Tuple[str, ...]:
        """The output fields this mapping produces, in output order."""
        on = {
            "name": self.first_name is not None,
            "address": self.address is not None,
            "city_state_zip": self.city is not None,
            "email_address": self.email is not None,
            "ssn": self.ssn is not None,
            "phone_number": self.phone is not None,
        }
        return tuple(field for field in FIELDS if on[field])

    def columns(self) -> Dict[str, Hashable]:
        """The mapped columns by slot ("first_name", ..., "id")."""
        return {f.name: getattr(self, f.name) for f in dataclass_fields(self) if getattr(self, f.name) is not None}

    def check(self, columns: Iterable[Hashable]) -> None:
        """Raises ValueError naming each mapped column that is missing."""
        present = set(columns)
        missing = ["%s=%r" % (slot, column) for slot, column in self.columns().items() if column not in present]
        if missing:
            raise ValueError("columns not in the frame: " + ", ".join(missing))


def _split(given: NameColumns, option: str, keys: Tuple[str, str, str],
           optional: Optional[str] = None) -> Tuple[Optional[Hashable], ...]:
    if isinstance(given, Mapping):
        unknown = set(given) - set(keys)
        if unknown:
            raise ValueError("%s: unknown keys %s (keys: %s)" % (option, sorted(unknown), ", ".join(keys)))
        values = tuple(given.get(key) for key in keys)
    elif isinstance(given, (str, bytes)) or not isinstance(given, Sequence):
        raise ValueError("%s: give a tuple of columns or a dict, not %r" % (option, given))
    elif len(given) == 3:
        values = tuple(given)
    elif len(given) == 2 and optional is not None:
        values = (given[0], None, given[1])
    else:
        raise ValueError("%s: give %s columns, or a dict" % (option, "2 or 3" if optional else "3"))
    for key, value in zip(keys, values):
        if value is None and key != optional:
            raise ValueError("%s: missing %s" % (option, key))
    return values


def _resolve(mapping: Optional[ColumnMapping], columns: Dict[str, Any]) -> ColumnMapping:
    given = {key: value for key, value in columns.items() if value is not None}
    if mapping is not None:
        if given:
            raise TypeError("pass either a ColumnMapping or column keywords, not both")
        return mapping
    return ColumnMapping.build(**given)


def _library(library: LibraryLike) -> Library:
    if library is None:
        return default_library()
    if isinstance(library, Library):
        return library
    return load_library(library)


def _cells(frame: pd.DataFrame, column: Optional[Hashable]) -> List[bytes]:
    """The bytes sent for each cell of a column: absent cells as empty texts."""
    if column is None:
        return [b""] * len(frame)
    return [_batch._cell_bytes(value, column, label) for label, value in zip(frame.index, frame[column].tolist())]


def _present(cell: bytes) -> bool:
    return bool(cell.strip(_BLANK))


def _record_ids(frame: pd.DataFrame, mapping: ColumnMapping) -> Tuple[List[bytes], List[str]]:
    if mapping.id is None:
        labels = [str(label) for label in frame.index]
        return [encode(label, "record id") for label in labels], labels
    raw = _cells(frame, mapping.id)
    return raw, [cell.decode("utf-8") for cell in raw]


# The library writes every asset as {"fingerprints":["…",…],"metadata":{…,
# "variant_id":"N"}}. Inside JSON strings every quote is escaped, so caller
# metadata cannot forge these patterns; when the counts disagree with the
# number of "variant_id" keys the answer is read with the json module.
_FINGERPRINTS = re.compile(rb'"fingerprints":\["([^\]]*)"\]')
_VARIANT_IDS = re.compile(rb'"variant_id":"([0-9]+)"\}\}')
_VARIANT_KEY = b'"variant_id"'

# One field's answer for one record: variant ids and their fingerprints.
# Tuples of strings drop out of the garbage collector's sight, which matters
# with tens of millions of them alive.
Parsed = Tuple[List[int], List[Tuple[str, ...]]]
_NOTHING: Parsed = ([], [])


def parse_assets(text: bytes) -> Parsed:
    """Variant ids and fingerprints of an assets_from_* answer, read in one pass."""
    blocks = _FINGERPRINTS.findall(text)
    ids = _VARIANT_IDS.findall(text)
    count = text.count(_VARIANT_KEY)
    if len(blocks) == count and len(ids) == count:
        return [int(i) for i in ids], [tuple(block.decode("ascii").split('","')) for block in blocks]
    items = json.loads(text)
    return ([int(item["metadata"]["variant_id"]) for item in items],
            [tuple(item["fingerprints"]) for item in items])


def parse_fingerprints(text: bytes) -> List[str]:
    """Every fingerprint of an assets_from_* answer, asset after asset."""
    blocks = _FINGERPRINTS.findall(text)
    if len(blocks) == text.count(_VARIANT_KEY):
        return b'","'.join(blocks).decode("ascii").split('","') if blocks else []
    return [p for item in json.loads(text) for p in item["fingerprints"]]


T = TypeVar("T")
_FieldCall = Callable[[bytes, Tuple[bytes, ...]], T]


def _field_calls(library: Library, record_type: bytes, mapping: ColumnMapping, frame: pd.DataFrame,
                 parse: Callable[[bytes], T], nothing: T,
                 key: Optional[Key] = None) -> List[Tuple[str, List[List[bytes]], _FieldCall[T]]]:
    """For each mapped field: its name, its cell columns and its call, which
    answers parse(the library's text), or nothing for absent values."""
    free = library.free
    string_at = ctypes.string_at
    export: Dict[str, Callable[..., Optional[int]]]
    if key is not None:
        handle = _key_handle(key, library)
        export = {field: functools.partial(library.assets_keyed[_EXPORTS[field]], handle) for field in FIELDS}
    else:
        export = {field: library.assets[_EXPORTS[field]] for field in FIELDS}

    def answer(pointer: Optional[int]) -> T:
        if not pointer:
            raise MemoryError("libkorvi could not allocate its result")
        try:
            text = string_at(pointer)
        finally:
            free(pointer)
        return parse(text)

    def name(record_id: bytes, cells: Tuple[bytes, ...]) -> T:
        first, middle, last = cells
        if not (_present(first) or _present(middle) or _present(last)):
            return nothing
        return answer(export["name"](record_type, record_id, first, middle if _present(middle) else None, last))

    def city_state_zip(record_id: bytes, cells: Tuple[bytes, ...]) -> T:
        if not (_present(cells[0]) or _present(cells[1]) or _present(cells[2])):
            return nothing
        return answer(export["city_state_zip"](record_type, record_id, *cells))

    def single(field: str) -> _FieldCall[T]:
        function = export[field]

        def call(record_id: bytes, cells: Tuple[bytes, ...]) -> T:
            return answer(function(record_type, record_id, cells[0])) if _present(cells[0]) else nothing

        return call

    slots = mapping.slots()
    calls: Dict[str, _FieldCall[T]] = {"name": name, "city_state_zip": city_state_zip}
    return [
        (field, [_cells(frame, column) for column in slots[field]], calls.get(field) or single(field))
        for field in mapping.fields()
    ]


def _answers(frame: pd.DataFrame, mapping: ColumnMapping, record_type: Text, library: LibraryLike,
             parse: Callable[[bytes], T], nothing: T,
             key: Optional[Key] = None) -> Tuple[List[str], List[Tuple[str, List[T]]]]:
    """Record ids, and for each mapped field the parsed answer for every row."""
    mapping.check(frame.columns)
    if len(frame) == 0:
        return [], [(field, []) for field in mapping.fields()]
    lib = _library(library)
    raw_ids, ids = _record_ids(frame, mapping)
    rtype = encode(record_type, "record type")
    out = []
    for field, columns, call in _field_calls(lib, rtype, mapping, frame, parse, nothing, key):
        out.append((field, [call(rid, cells) for rid, cells in zip(raw_ids, zip(*columns))]))
    return ids, out


def empty_assets_frame(index: Optional[pd.Index] = None) -> pd.DataFrame:
    """An assets frame without rows (index of the given index's type)."""
    return pd.DataFrame({
        "record_id": pd.Series([], dtype=object),
        "field": pd.Series([], dtype=object),
        "variant_id": pd.Series([], dtype="int64"),
        "fingerprints": pd.Series([], dtype=object),
    }, index=index[:0] if index is not None else None)


def empty_fingerprints_frame(mapping: ColumnMapping, index: Optional[pd.Index] = None) -> pd.DataFrame:
    """A fingerprints frame without rows for a mapping."""
    columns = {"record_id": pd.Series([], dtype=object)}
    columns.update({field: pd.Series([], dtype=object) for field in mapping.fields()})
    return pd.DataFrame(columns, index=index[:0] if index is not None else None)


def _objects(items: List[Any]) -> np.ndarray:
    """A one-dimensional object array of items, tuples kept whole."""
    out = np.empty(len(items), dtype=object)
    out[:] = items  # slice assignment stores each tuple as one element
    return out


def _field_batches(frame: pd.DataFrame, mapping: ColumnMapping, record_type: Text, library: LibraryLike,
                   distinct: bool) -> Tuple[List[str], List[Tuple[str, _batch.FieldAssets]]]:
    """Record ids, and for each mapped field its answer for all the rows
    from one batch call (frames without rows: no call)."""
    mapping.check(frame.columns)
    encode(record_type, "record type")
    if len(frame) == 0:
        return [], []
    lib = _library(library)
    columns: Dict[Hashable, Tuple[Tuple[bytes, np.ndarray], List[Any]]] = {}

    def column(name: Optional[Hashable]) -> _batch.Column:
        if name is None:
            return None
        if name not in columns:
            columns[name] = _batch.text_column(frame, name)
        return columns[name][0]

    slots = mapping.slots()
    answers = [(field, _batch.field_assets(lib, field, len(frame), [column(c) for c in slots[field]], distinct))
               for field in mapping.fields()]
    if mapping.id is None:
        ids = list(map(str, frame.index))
        if any("\0" in label for label in ids):
            for label in ids:
                encode(label, "record id")
    else:
        column(mapping.id)  # checks every cell
        values = columns[mapping.id][1]
        ids = values if all(type(v) is str for v in values) else [c.decode("utf-8") for c in _cells(frame, mapping.id)]
    return ids, answers


def _keyed_assets_frame(frame: pd.DataFrame, mapping: ColumnMapping, record_type: Text,
                        library: LibraryLike, key: Key) -> pd.DataFrame:
    """assets_frame with keyed fingerprints, one library call per cell."""
    ids, answers = _answers(frame, mapping, record_type, library, parse_assets, _NOTHING, key)
    positions: List[int] = []
    record_ids: List[str] = []
    field_names: List[str] = []
    variant_ids: List[int] = []
    prints: List[Tuple[str, ...]] = []
    names = [field for field, _ in answers]
    # Row-major order: every field of record 0, then of record 1, ...
    for position, row in enumerate(zip(*(rows for _, rows in answers))):
        record_id = ids[position]
        for field, (variants, lists) in zip(names, row):
            count = len(variants)
            if count:
                positions.extend([position] * count)
                record_ids.extend([record_id] * count)
                field_names.extend([field] * count)
                variant_ids.extend(variants)
                prints.extend(lists)
    if not positions:
        return empty_assets_frame(frame.index)
    return pd.DataFrame({
        "record_id": pd.Series(record_ids, dtype=object),
        "field": pd.Series(field_names, dtype=object),
        "variant_id": pd.Series(variant_ids, dtype="int64"),
        "fingerprints": pd.Series(prints, dtype=object),
    }).set_axis(frame.index.take(positions), axis=0)


def assets_frame(frame: pd.DataFrame, mapping: Optional[ColumnMapping] = None, *,
                 name: Optional[NameColumns] = None, address: Optional[Hashable] = None,
                 city_state_zip: Optional[NameColumns] = None, email: Optional[Hashable] = None,
                 ssn: Optional[Hashable] = None, phone: Optional[Hashable] = None,
                 id: Optional[Hashable] = None, record_type: Text = "person",
                 key: Optional[Key] = None, library: LibraryLike = None) -> pd.DataFrame:
    """One row per asset: ``record_id`` (str), ``field`` (str), ``variant_id``
    (int), ``fingerprints`` (tuple of 16-digit hex strings), indexed by the
    label of the row it came from. Rows follow the input order, and within a
    record the order of FIELDS and of the variants.

    Give the columns as a ColumnMapping or as keywords (see
    ColumnMapping.build). With ``key`` (a korvi.Key) every fingerprint is
    keyed. Raises ValueError for a missing column,
    InvalidUtf8Error or EmbeddedNulError for a cell the library cannot take.
    """
    mapping = _resolve(mapping, dict(name=name, address=address, city_state_zip=city_state_zip,
                                     email=email, ssn=ssn, phone=phone, id=id))
    if key is not None:
        # Keyed fingerprints go record by record: the batch export has no
        # keyed form.
        return _keyed_assets_frame(frame, mapping, record_type, library, key)
    ids, answers = _field_batches(frame, mapping, record_type, library, distinct=False)
    rows = np.arange(len(frame))
    positions = [np.repeat(rows, batch.assets_per_row) for _, batch in answers]
    position = np.concatenate(positions) if positions else rows[:0]
    if not len(position):
        return empty_assets_frame(frame.index)
    # Fields come one after the other; a stable sort by row gives every
    # field of record 0, then of record 1, ..., variants in their order.
    order = np.argsort(position, kind="stable")
    position = position[order]
    field_codes = np.concatenate([np.full(len(batch.variant_ids), code, dtype=np.int8)
                                  for code, (_, batch) in enumerate(answers)])[order]
    variant_ids = np.concatenate([batch.variant_ids for _, batch in answers])[order]
    prints = _objects(list(chain.from_iterable(batch.tuples() for _, batch in answers)))
    record_ids = _objects(ids)
    field_names = np.array([field for field, _ in answers], dtype=object)
    return pd.DataFrame({
        "record_id": pd.Series(record_ids[position], dtype=object, copy=False),
        "field": pd.Series(field_names[field_codes], dtype=object, copy=False),
        "variant_id": pd.Series(variant_ids.astype(np.int64), copy=False),
        "fingerprints": pd.Series(prints[order], dtype=object, copy=False),
    }).set_axis(frame.index.take(position), axis=0)


def fingerprints_frame(frame: pd.DataFrame, mapping: Optional[ColumnMapping] = None, *,
                       name: Optional[NameColumns] = None, address: Optional[Hashable] = None,
                       city_state_zip: Optional[NameColumns] = None, email: Optional[Hashable] = None,
                       ssn: Optional[Hashable] = None, phone: Optional[Hashable] = None,
                       id: Optional[Hashable] = None, record_type: Text = "person",
                       key: Optional[Key] = None, library: LibraryLike = None) -> pd.DataFrame:
    """One row per record, with the frame's index: ``record_id`` (str) and
    one column per mapped field (names as in FIELDS) holding the sorted,
    distinct fingerprints of all the field's variants (a tuple; empty when
    the field gave no assets). Arguments as for assets_frame."""
    mapping = _resolve(mapping, dict(name=name, address=address, city_state_zip=city_state_zip,
                                     email=email, ssn=ssn, phone=phone, id=id))
    if key is not None:
        ids, keyed = _answers(frame, mapping, record_type, library, parse_fingerprints, [], key)
        if len(frame) == 0:
            return empty_fingerprints_frame(mapping, frame.index)
        columns: Dict[str, pd.Series] = {"record_id": pd.Series(ids, dtype=object)}
        for field, rows in keyed:
            columns[field] = pd.Series([tuple(sorted(set(prints))) for prints in rows], dtype=object)
        return pd.DataFrame(columns).set_axis(frame.index, axis=0)
    ids, answers = _field_batches(frame, mapping, record_type, library, distinct=True)
    if len(frame) == 0:
        return empty_fingerprints_frame(mapping, frame.index)
    columns: Dict[str, pd.Series] = {"record_id": pd.Series(ids, dtype=object)}
    for field, batch in answers:
        # One distinct, sorted group per row that has any fingerprint.
        cells = np.empty(len(frame), dtype=object)
        cells[:] = [()] * len(frame)
        cells[batch.assets_per_row.astype(bool)] = _objects(batch.tuples())
        columns[field] = pd.Series(cells, dtype=object, copy=False)
    return pd.DataFrame(columns).set_axis(frame.index, axis=0)


def fingerprint_rows_frame(frame: pd.DataFrame, mapping: Optional[ColumnMapping] = None, *,
                           name: Optional[NameColumns] = None, address: Optional[Hashable] = None,
                           city_state_zip: Optional[NameColumns] = None, email: Optional[Hashable] = None,
                           ssn: Optional[Hashable] = None, phone: Optional[Hashable] = None,
                           id: Optional[Hashable] = None, record_type: Text = "person",
                           library: LibraryLike = None) -> pd.DataFrame:
    """The assets of assets_frame in a compact form: one row per fingerprint,
    in the order of assets_frame's rows and of each asset's fingerprints,
    indexed by the label of the record: ``record_id`` (str), ``field``
    (categorical of FIELDS), ``variant_id`` (uint32), ``asset`` (int64, the
    position of the asset's row in assets_frame of this frame) and ``fingerprint`` (uint64, the 16
    hex digits read as one number; ``"%016x" % value`` gives them back).
    Every column but record_id is a plain numpy array, so a million people
    take about a third of the memory of assets_frame and nothing for the
    garbage collector to walk. assets_from_fingerprint_rows converts back.
    Arguments as for assets_frame."""
    mapping = _resolve(mapping, dict(name=name, address=address, city_state_zip=city_state_zip,
                                     email=email, ssn=ssn, phone=phone, id=id))
    ids, answers = _field_batches(frame, mapping, record_type, library, distinct=False)
    rows = np.arange(len(frame))
    positions = [np.repeat(rows, batch.assets_per_row) for _, batch in answers]
    position = np.concatenate(positions) if positions else rows[:0]
    order = np.argsort(position, kind="stable")
    counts = np.concatenate([b.fingerprints_per_asset for _, b in answers] or [rows[:0]]).astype(np.int64)
    starts = np.cumsum(counts) - counts  # of each asset's fingerprints, fields one after the other
    counts, starts = counts[order], starts[order]
    # Index of every fingerprint in the fields' joined words, assets in record order.
    within = np.arange(int(counts.sum())) - np.repeat(np.cumsum(counts) - counts, counts)
    gather = np.repeat(starts, counts) + within
    words = np.concatenate([b.words for _, b in answers] or [np.zeros(0, np.uint64)])[gather]
    asset = np.repeat(np.arange(len(order)), counts)
    at = np.repeat(position[order], counts)
    field_codes = np.concatenate([np.full(len(b.variant_ids), FIELDS.index(field), dtype=np.int8)
                                  for field, b in answers] or [np.zeros(0, np.int8)])
    variant_ids = np.concatenate([b.variant_ids for _, b in answers] or [np.zeros(0, np.uint32)])
    return pd.DataFrame({
        "record_id": pd.Series(_objects(ids)[at] if len(at) else np.zeros(0, dtype=object), dtype=object),
        "field": pd.Categorical.from_codes(np.repeat(field_codes[order], counts), categories=list(FIELDS)),
        "variant_id": pd.Series(np.repeat(variant_ids[order], counts), dtype=np.uint32),
        "asset": pd.Series(asset, dtype=np.int64),
        "fingerprint": pd.Series(words, dtype=np.uint64),
    }).set_axis(frame.index.take(at), axis=0)


def assets_from_fingerprint_rows(rows: pd.DataFrame) -> pd.DataFrame:
    """The assets_frame that a fingerprint_rows_frame was made from."""
    asset = rows["asset"].to_numpy()
    if len(asset) == 0:
        return empty_assets_frame(rows.index)
    first = np.flatnonzero(np.r_[True, asset[1:] != asset[:-1]])
    counts = np.diff(np.r_[first, len(asset)])
    hexes = iter(["%016x" % value for value in rows["fingerprint"].tolist()])
    tuples = list(map(tuple, map(islice, repeat(hexes), counts.tolist())))
    return pd.DataFrame({
        "record_id": pd.Series(rows["record_id"].to_numpy()[first], dtype=object),
        "field": pd.Series(np.asarray(rows["field"].astype(object))[first], dtype=object),
        "variant_id": pd.Series(rows["variant_id"].to_numpy()[first].astype(np.int64)),
        "fingerprints": pd.Series(_objects(tuples), dtype=object),
    }).set_axis(rows.index.take(first), axis=0)
