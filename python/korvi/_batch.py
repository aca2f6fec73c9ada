"""Whole columns through the library's batch export (korvi_assets_batch):
one call per field for all the rows of a frame, one buffer back, read with
numpy instead of a call and a JSON parse per row."""
from __future__ import annotations

import ctypes
import math
from dataclasses import dataclass
from itertools import islice, repeat
from typing import Any, Hashable, List, Optional, Sequence, Tuple

import numpy as np
import pandas as pd
from pandas.api.types import infer_dtype

from ._errors import EmbeddedNulError, InvalidUtf8Error
from ._lib import Library, TextColumn

__all__ = ["Column", "FieldAssets", "field_assets", "text_column", "text_column_from_bytes"]

DISTINCT = 0x01  # KORVI_BATCH_DISTINCT


# A column for the library: its texts back to back and len + 1 offsets, or
# None for a field part that no column maps.
Column = Optional[Tuple[bytes, np.ndarray]]


def _bad_cell(column: Hashable, label: Any, nul: bool) -> Exception:
    if nul:
        return EmbeddedNulError("NUL byte in column %r, row %r" % (column, label))
    return InvalidUtf8Error("Failed utf8 conversion: column %r, row %r" % (column, label))


def _cell_bytes(value: Any, column: Hashable, label: Any) -> bytes:
    """One cell as the library receives it; absent values as empty texts."""
    if isinstance(value, str):
        try:
            data = value.encode("utf-8")
        except UnicodeEncodeError:
            raise _bad_cell(column, label, False) from None
    elif value is None or value is pd.NA or value is pd.NaT or (isinstance(value, float) and math.isnan(value)):
        data = b""
    elif isinstance(value, (bytes, bytearray, memoryview)):
        data = bytes(value)
        try:
            data.decode("utf-8")
        except UnicodeDecodeError:
            raise _bad_cell(column, label, False) from None
    else:
        data = str(value).encode("utf-8")
    if b"\0" in data:
        raise _bad_cell(column, label, True)
    return data


def text_column_from_bytes(cells: Sequence[bytes]) -> Tuple[bytes, np.ndarray]:
    """The library's column of texts given as bytes."""
    offsets = np.zeros(len(cells) + 1, dtype=np.uint64)
    np.cumsum(np.fromiter(map(len, cells), dtype=np.uint64, count=len(cells)), out=offsets[1:])
    return b"".join(cells), offsets


def text_column(frame: pd.DataFrame, column: Hashable) -> Tuple[Tuple[bytes, np.ndarray], List[Any]]:
    """The library's column for a frame's column, and the column's values.
    A column of str only is encoded in one sweep; anything else (missing
    values, numbers, bytes, a text that cannot be encoded or holds a NUL)
    cell by cell, so that an error names its row."""
    values = frame[column].tolist()
    if infer_dtype(values, skipna=False) == "string":
        try:
            cells = list(map(str.encode, values))
        except UnicodeEncodeError:
            pass  # found again below, with its row
        else:
            answer = text_column_from_bytes(cells)
            if b"\0" not in answer[0]:
                return answer, values
    cells = [_cell_bytes(value, column, label) for label, value in zip(frame.index, values)]
    return text_column_from_bytes(cells), values


@dataclass
class FieldAssets:
    """One field's answer for every row."""

    assets_per_row: np.ndarray  # uint32, one per row
    variant_ids: np.ndarray  # uint32, one per asset
    fingerprints_per_asset: np.ndarray  # uint32, one per asset
    hex: str  # every fingerprint, 16 hex digits and a space each
    words: np.ndarray  # uint64, the same fingerprints as numbers

    def tuples(self) -> List[Tuple[str, ...]]:
        """Each asset's fingerprints as a tuple of hex strings."""
        prints = iter(self.hex.split())
        return list(map(tuple, map(islice, repeat(prints), self.fingerprints_per_asset.tolist())))


def _array(address: Optional[int], count: int, dtype: Any) -> np.ndarray:
    if count == 0:
        return np.zeros(0, dtype=dtype)
    size = np.dtype(dtype).itemsize * count
    return np.frombuffer(ctypes.string_at(address, size), dtype=dtype)


# Rows per library call: the answer of one call is held twice for a moment
# (the library's buffer and its copy), so it is kept to some hundred MB.
ROWS_PER_CALL = 1 << 17


def field_assets(library: Library, field: str, rows: int, columns: Sequence[Column],
                 distinct: bool = False) -> FieldAssets:
    """The assets of one field (a name of FIELDS) for rows records."""
    parts = [_call(library, field, start, min(rows, start + ROWS_PER_CALL), columns, distinct)
             for start in range(0, rows, ROWS_PER_CALL)] or [_call(library, field, 0, 0, columns, distinct)]
    if len(parts) == 1:
        return parts[0]
    return FieldAssets(*(np.concatenate([getattr(p, name) for p in parts])
                         for name in ("assets_per_row", "variant_ids", "fingerprints_per_asset")),
                       "".join(p.hex for p in parts), np.concatenate([p.words for p in parts]))


def _call(library: Library, field: str, start: int, end: int, columns: Sequence[Column],
          distinct: bool) -> FieldAssets:
    """One library call for rows start to end: offsets are absolute, so a
    slice of each column's offsets selects the rows."""
    texts = (TextColumn * len(columns))()
    for slot, column in zip(texts, columns):
        if column is not None:
            data, offsets = column
            slot.bytes = data
            slot.offsets = offsets[start:].ctypes.data_as(ctypes.POINTER(ctypes.c_uint64))
    pointer = library.assets_batch(field.encode("ascii"), end - start, texts, len(columns),
                                   DISTINCT if distinct else 0)
    if not pointer:
        raise MemoryError("libkorvi could not allocate its result")
    try:
        batch = pointer.contents
        assets, prints = batch.assets, batch.fingerprints
        answer = FieldAssets(
            _array(batch.assets_per_row, batch.rows, np.uint32),
            _array(batch.variant_ids, assets, np.uint32),
            _array(batch.fingerprints_per_asset, assets, np.uint32),
            ctypes.string_at(batch.hex, 17 * prints).decode("ascii") if prints else "",
            _array(batch.words, prints, np.uint64),
        )
    finally:
        library.free(ctypes.cast(pointer, ctypes.c_void_p).value)
    return answer
