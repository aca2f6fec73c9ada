"""The pandas helpers of korvi.pandas over a Dask DataFrame, one partition
at a time (``map_partitions``), on whatever scheduler or cluster is active::

    import dask.dataframe as dd
    import korvi.dask as kd
    people = dd.read_csv("people-*.csv", dtype=str, keep_default_na=False)
    assets = kd.assets_frame(people, name=("first_name", "middle_name", "last_name"),
                             email="email", id="customer_id")
    assets.to_parquet("assets/")

The result equals korvi.pandas on the whole frame computed at once, row for
row and in the same order. Each worker process loads libkorvi itself: with
``library=None`` by its own lookup (KORVI_LIBRARY in the workers'
environment, a build tree, the system path); a Library object or a path is
loaded from that path on every worker.

Record ids come from the ``id`` column, or else from the index labels;
``dd.read_csv`` numbers every partition from 0, so map an id column there.

With ``key=`` (a korvi.Key made by Key.from_file or Key.from_env) every
fingerprint is keyed. The task graph carries only the file's path or the
variable's name and the key id, never the key: each worker reads the key
itself (so the file, or the variable, must be there on every worker) and
refuses one whose id differs. A Key made from bytes is refused here.
"""
from __future__ import annotations

from typing import Any, Dict, Hashable, Optional

from dask.dataframe.core import DataFrame

from . import pandas as _kp
from ._api import Text
from ._key import Key
from .pandas import ColumnMapping, LibraryLike, NameColumns

__all__ = ["assets_frame", "fingerprint_rows_frame", "fingerprints_frame"]


def _portable(key: Optional[Key]) -> Optional[Key]:
    """The key as it may enter a task graph: one that workers read themselves."""
    if key is None:
        return None
    if not isinstance(key, Key):
        raise TypeError("key must be a korvi.Key, not %s" % type(key).__name__)
    key.__reduce__()  # raises for a key made from bytes, before any task is built
    return key


def _mapping(frame: DataFrame, mapping: Optional[ColumnMapping], columns: Dict[str, Any]) -> ColumnMapping:
    chosen = _kp._resolve(mapping, columns)
    chosen.check(frame.columns)
    return chosen


def assets_frame(frame: DataFrame, mapping: Optional[ColumnMapping] = None, *,
                 name: Optional[NameColumns] = None, address: Optional[Hashable] = None,
                 city_state_zip: Optional[NameColumns] = None, email: Optional[Hashable] = None,
                 ssn: Optional[Hashable] = None, phone: Optional[Hashable] = None,
                 id: Optional[Hashable] = None, record_type: Text = "person",
                 key: Optional[Key] = None, library: LibraryLike = None) -> DataFrame:
    """korvi.pandas.assets_frame for each partition: one row per asset
    (record_id, field, variant_id, fingerprints), indexed like its record.
    The divisions are kept: the assets of a record stay in its partition."""
    chosen = _mapping(frame, mapping, dict(name=name, address=address, city_state_zip=city_state_zip,
                                           email=email, ssn=ssn, phone=phone, id=id))
    meta = _kp.empty_assets_frame(frame._meta.index)
    result: DataFrame = frame.map_partitions(  # type: ignore[no-untyped-call]
        _kp.assets_frame, chosen, record_type=record_type, key=_portable(key), library=library, meta=meta,
        align_dataframes=False)
    return result


def fingerprints_frame(frame: DataFrame, mapping: Optional[ColumnMapping] = None, *,
                       name: Optional[NameColumns] = None, address: Optional[Hashable] = None,
                       city_state_zip: Optional[NameColumns] = None, email: Optional[Hashable] = None,
                       ssn: Optional[Hashable] = None, phone: Optional[Hashable] = None,
                       id: Optional[Hashable] = None, record_type: Text = "person",
                       key: Optional[Key] = None, library: LibraryLike = None) -> DataFrame:
    """korvi.pandas.fingerprints_frame for each partition: one row per
    record with the sorted fingerprints of each mapped field."""
    chosen = _mapping(frame, mapping, dict(name=name, address=address, city_state_zip=city_state_zip,
                                           email=email, ssn=ssn, phone=phone, id=id))
    meta = _kp.empty_fingerprints_frame(chosen, frame._meta.index)
    result: DataFrame = frame.map_partitions(  # type: ignore[no-untyped-call]
        _kp.fingerprints_frame, chosen, record_type=record_type, key=_portable(key), library=library,
        meta=meta, align_dataframes=False)
    return result


def fingerprint_rows_frame(frame: DataFrame, mapping: Optional[ColumnMapping] = None, *,
                           name: Optional[NameColumns] = None, address: Optional[Hashable] = None,
                           city_state_zip: Optional[NameColumns] = None, email: Optional[Hashable] = None,
                           ssn: Optional[Hashable] = None, phone: Optional[Hashable] = None,
                           id: Optional[Hashable] = None, record_type: Text = "person",
                           library: LibraryLike = None) -> DataFrame:
    """korvi.pandas.fingerprint_rows_frame for each partition: one row per
    fingerprint, as uint64. Asset numbers count within each partition."""
    chosen = _mapping(frame, mapping, dict(name=name, address=address, city_state_zip=city_state_zip,
                                           email=email, ssn=ssn, phone=phone, id=id))
    meta = _kp.fingerprint_rows_frame(frame._meta, chosen, record_type=record_type)
    result: DataFrame = frame.map_partitions(  # type: ignore[no-untyped-call]
        _kp.fingerprint_rows_frame, chosen, record_type=record_type, library=library, meta=meta,
        align_dataframes=False)
    return result
