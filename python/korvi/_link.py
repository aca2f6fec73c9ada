"""korvi.link: the pairs of records of two `korvi assets` outputs that are the
same person, through the library's linker (korvi/link.h), as `korvi link`
finds them: the same calls in the same order, with a thread pool of this
process driving them (ctypes lets go of the GIL during each call).
"""
from __future__ import annotations

import ctypes
import json
import math
import os
from concurrent.futures import ThreadPoolExecutor
from typing import Any, Dict, Iterable, List, Optional, Tuple, Union

from ._errors import KorviError
from ._lib import Library, PathLike, default_library, load_library

__all__ = ["link", "LinkInputError"]

LEFT, RIGHT = 0, 1
MAX_FIELDS = 8
LEVELS = ("exact", "strong", "weak", "none", "missing")
FIX_U, BEST_SPLIT = 0x01, 0x02
CHUNK = 64  # right records per library call

Source = Union[PathLike, Iterable[Union[str, bytes]]]


class LinkInputError(KorviError):
    """Lines of an assets file that the linker refused: .bad_lines holds
    (side, line number, reason) for each."""

    def __init__(self, bad_lines: List[Tuple[str, int, str]]) -> None:
        self.bad_lines = bad_lines
        side, number, reason = bad_lines[0]
        message = "%s line %d: %s" % (side, number, reason)
        if len(bad_lines) > 1:
            message += " (and %d more bad lines)" % (len(bad_lines) - 1)
        super().__init__(message)


class _Pair(ctypes.Structure):
    _fields_ = [("left", ctypes.c_uint32), ("right", ctypes.c_uint32), ("probability", ctypes.c_double),
                ("match_weight", ctypes.c_double), ("levels", ctypes.c_uint8 * MAX_FIELDS)]


class _Api:
    """The linker's exports, declared once per library."""

    def __init__(self, library: Library) -> None:
        d = library._declare
        vp, u32, u64, sz = ctypes.c_void_p, ctypes.c_uint32, ctypes.c_uint64, ctypes.c_size_t
        err = ctypes.POINTER(ctypes.c_void_p)
        counts = ctypes.POINTER(ctypes.c_uint64)
        doubles = ctypes.POINTER(ctypes.c_double)
        self.library = library
        self.block_new = d("korvi_link_block_new", vp, [])
        self.block_delete = d("korvi_link_block_delete", None, [vp])
        self.block_add_line = d("korvi_link_block_add_line", ctypes.c_char_p, [vp, ctypes.c_char_p, sz])
        self.new = d("korvi_link_new", vp, [])
        self.delete = d("korvi_link_delete", None, [vp])
        self.append = d("korvi_link_append", ctypes.c_int, [vp, ctypes.c_int, vp, err])
        self.set_min_shared_fields = d("korvi_link_set_min_shared_fields", ctypes.c_int, [vp, u32, err])
        self.set_fit_records = d("korvi_link_set_fit_records", ctypes.c_int, [vp, u32, err])
        self.prepare = d("korvi_link_prepare", ctypes.c_int, [vp, ctypes.c_char_p, u32, u64, err])
        self.pattern_count = d("korvi_link_pattern_count", sz, [vp])
        self.count_patterns = d("korvi_link_count_patterns", u64, [vp, u32, u32, counts])
        self.best_left = d("korvi_link_best_left", None, [vp, u32, u32, doubles])
        self.count_best_patterns = d("korvi_link_count_best_patterns", u64, [vp, u32, u32, doubles, counts])
        self.fit = d("korvi_link_fit", ctypes.c_int, [vp, counts, u32, err])
        self.model = d("korvi_link_model", vp, [vp])
        self.set_model = d("korvi_link_set_model", ctypes.c_int, [vp, ctypes.c_char_p, err])
        self.score = d("korvi_link_score", vp, [vp, u32, u32, ctypes.c_double, ctypes.POINTER(sz)])
        self.assign = d("korvi_link_assign", sz, [vp, sz, ctypes.c_int])
        self.record_count = d("korvi_link_record_count", u32, [vp, ctypes.c_int])
        self.record_id = d("korvi_link_record_id", ctypes.c_char_p, [vp, ctypes.c_int, u32])
        self.field_count = d("korvi_link_field_count", sz, [vp])
        self.field_name = d("korvi_link_field_name", ctypes.c_char_p, [vp, sz])
        self.summary = d("korvi_link_summary", vp, [vp])

    def check(self, status: int, error: ctypes.c_void_p) -> None:
        if status != 0:
            message = self.library.take_string(error.value).decode("utf-8", "replace") if error.value else "out of memory"
            raise KorviError(message)


_apis: Dict[str, _Api] = {}


def _api(library: Union[Library, PathLike, None]) -> _Api:
    lib = library if isinstance(library, Library) else (default_library() if library is None else load_library(library))
    api = _apis.get(lib.path)
    if api is None:
        api = _apis[lib.path] = _Api(lib)
    return api


def _lines(source: Source) -> Iterable[bytes]:
    if isinstance(source, (str, bytes, os.PathLike)):
        with open(source, "rb") as f:
            for line in f:
                yield line
    else:
        for line in source:
            yield line.encode("utf-8") if isinstance(line, str) else line


def link(left: Source, right: Source, *, blocking: Optional[Iterable[str]] = None, cap: int = 100,
         min_shared: int = 2, fit_records: int = 50000, threshold: float = 0.5, one_to_one: bool = True, model: Union[str, Dict[str, Any], None] = None,
         seed: int = 1, threads: Optional[int] = None, library: Union[Library, PathLike, None] = None):
    """Links two outputs of `korvi assets` (paths of JSON Lines files, or
    iterables of their lines) and returns a pandas DataFrame of pairs:
    left_id, right_id, probability, match_weight and one level column per
    field ("exact", "strong", "weak", "none", "missing"), as `korvi link`
    writes them. blocking names the fields whose fingerprints make candidate
    pairs (default: all but city_state_zip); a candidate pair shares
    fingerprints in at least min_shared blocking fields, or one fingerprint no
    other left record holds; cap leaves out of blocking the fingerprints of
    more than cap left records; the model is fitted on a sample of about
    fit_records right records; model (JSON text or dict, as
    in .attrs["model"] of an earlier result) is used instead of fitting one.
    The frame's attrs hold "model" and "summary" (dicts).

    Raises LinkInputError (with every bad line) when a line is refused, and
    KorviError when the files were made with different keys.
    """
    import pandas as pd

    api = _api(library)
    threads = threads or os.cpu_count() or 1
    linker = api.new()
    if not linker:
        raise MemoryError("libkorvi could not allocate a linker")
    block = api.block_new()
    try:
        bad: List[Tuple[str, int, str]] = []
        for side, name, source in ((LEFT, "left", left), (RIGHT, "right", right)):
            for number, line in enumerate(_lines(source), 1):
                line = line.rstrip(b"\r\n")
                if not line.strip():
                    continue
                why = api.block_add_line(block, line, len(line))
                if why is not None:
                    bad.append((name, number, why.decode("utf-8", "replace")))
            error = ctypes.c_void_p()
            api.check(api.append(linker, side, block, ctypes.byref(error)), error)
        if bad:
            raise LinkInputError(bad)
        error = ctypes.c_void_p()
        fields_text = ",".join(blocking).encode("utf-8") if blocking else None
        api.check(api.set_min_shared_fields(linker, min_shared, ctypes.byref(error)), error)
        api.check(api.set_fit_records(linker, fit_records, ctypes.byref(error)), error)
        api.check(api.prepare(linker, fields_text, cap, seed, ctypes.byref(error)), error)
        n_left, n_right = api.record_count(linker, LEFT), api.record_count(linker, RIGHT)
        chunks = [(b, min(n_right, b + CHUNK)) for b in range(0, n_right, CHUNK)]
        pool = ThreadPoolExecutor(max_workers=threads)
        with pool:
            def spread(per_worker_state, work):
                # Each worker thread owns one state; chunks are shared out in turn.
                states = [per_worker_state() for _ in range(threads)]
                list(pool.map(lambda t: [work(states[t], b, e) for b, e in chunks[t::threads]], range(threads)))
                return states

            if model is None:
                patterns = api.pattern_count(linker)
                states = spread(lambda: (ctypes.c_uint64 * patterns)(),
                                lambda c, b, e: api.count_patterns(linker, b, e, c))
                counts = (ctypes.c_uint64 * patterns)(*[sum(c[p] for c in states) for p in range(patterns)])
                api.check(api.fit(linker, counts, 0, ctypes.byref(error)), error)
                best_states = spread(lambda: (ctypes.c_double * n_left)(*([-math.inf] * n_left)),
                                     lambda best, b, e: api.best_left(linker, b, e, best))
                best = (ctypes.c_double * n_left)(*[max(s[i] for s in best_states) for i in range(n_left)])
                states = spread(lambda: (ctypes.c_uint64 * (2 * patterns))(),
                                lambda c, b, e: api.count_best_patterns(linker, b, e, best, c))
                counts = (ctypes.c_uint64 * (2 * patterns))(*[sum(c[p] for c in states) for p in range(2 * patterns)])
                api.check(api.fit(linker, counts, BEST_SPLIT, ctypes.byref(error)), error)
            else:
                text = model if isinstance(model, str) else json.dumps(model)
                api.check(api.set_model(linker, text.encode("utf-8"), ctypes.byref(error)), error)

            def score(found: List[_Pair], b: int, e: int) -> None:
                count = ctypes.c_size_t()
                pointer = api.score(linker, b, e, threshold, ctypes.byref(count))
                if not pointer:
                    raise MemoryError("libkorvi could not allocate the pairs")
                try:
                    found.extend(_Pair.from_buffer_copy(p) for p in (_Pair * count.value).from_address(pointer))
                finally:
                    api.library.free(pointer)

            found: List[_Pair] = [p for state in spread(list, score) for p in state]
        pairs = (_Pair * len(found))(*found)
        kept = api.assign(pairs, len(found), 1 if one_to_one else 0)
        fields = [api.field_name(linker, f).decode("utf-8") for f in range(api.field_count(linker))]
        ids = [[api.record_id(linker, side, i).decode("utf-8", "replace") for i in range(count)]
               for side, count in ((LEFT, n_left), (RIGHT, n_right))]
        rows = pairs[:kept]
        columns: Dict[str, Any] = {
            "left_id": [ids[0][p.left] for p in rows],
            "right_id": [ids[1][p.right] for p in rows],
            "probability": [p.probability for p in rows],
            "match_weight": [p.match_weight for p in rows],
        }
        for f, name in enumerate(fields):
            columns[name] = [LEVELS[p.levels[f]] for p in rows]
        frame = pd.DataFrame(columns)
        frame.attrs["model"] = json.loads(api.library.take_string(api.model(linker)))
        frame.attrs["summary"] = json.loads(api.library.take_string(api.summary(linker)))
        return frame
    finally:
        api.block_delete(block)
        api.delete(linker)
