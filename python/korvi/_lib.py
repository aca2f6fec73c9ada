"""Finding, loading and declaring libkorvi with ctypes.

Lookup order when no path is given: the ``KORVI_LIBRARY`` environment
variable, a build tree of the repository this package sits in
(``build/*/libkorvi.so*`` or ``build/libkorvi.so*``, newest first, for use in
place), then the system's library search (``ctypes.util.find_library``).
Build trees made with a sanitizer or for fuzzing are passed over: their
libraries need their sanitizer's runtime loaded first, which Python does not
do, so loading one fails or aborts the process. When a candidate fails to
load, the next is tried.
"""
from __future__ import annotations

import ctypes
import ctypes.util
import mmap
import os
import sys
import threading
from pathlib import Path
from typing import Any, Callable, Dict, List, Optional, Tuple, Union

__all__ = [
    "Library",
    "LibraryNotFoundError",
    "default_library",
    "find_library_path",
    "load_library",
    "set_default_library",
]

PathLike = Union[str, "os.PathLike[str]"]

ENVIRONMENT_VARIABLE = "KORVI_LIBRARY"

# The file names a shared build of the library gets on each platform.
if sys.platform == "darwin":
    _PATTERNS: Tuple[str, ...] = ("libkorvi*.dylib",)
elif sys.platform == "win32":
    _PATTERNS = ("korvi*.dll", "libkorvi*.dll")
else:
    _PATTERNS = ("libkorvi.so*",)


class LibraryNotFoundError(OSError):
    """No libkorvi was found, or the file found could not be loaded."""


class FingerprintResult(ctypes.Structure):
    """The record fingerprint() returns; released with free_result()."""

    _fields_ = [("status", ctypes.c_int32), ("text", ctypes.c_char_p)]


_ResultPointer = ctypes.POINTER(FingerprintResult)


class TextColumn(ctypes.Structure):
    """A column of texts for assets_batch(): bytes back to back, rows + 1 offsets."""

    _fields_ = [("bytes", ctypes.c_char_p), ("offsets", ctypes.POINTER(ctypes.c_uint64))]


class AssetBatch(ctypes.Structure):
    """The record assets_batch() returns; one korvi_free() releases it all."""

    _fields_ = [
        ("rows", ctypes.c_uint64),
        ("assets", ctypes.c_uint64),
        ("fingerprints", ctypes.c_uint64),
        ("assets_per_row", ctypes.c_void_p),
        ("variant_ids", ctypes.c_void_p),
        ("fingerprints_per_asset", ctypes.c_void_p),
        ("hex", ctypes.c_void_p),
        ("words", ctypes.c_void_p),
    ]

_ASSET_EXPORTS: Dict[str, int] = {  # export name: number of string arguments
    "assets_from_name": 5,
    "assets_from_address": 3,
    "assets_from_city_state_zip": 5,
    "assets_from_email_address": 3,
    "assets_from_ssn": 3,
    "assets_from_phone_number": 3,
}


_REPOSITORY = Path(__file__).resolve().parent.parent.parent

# Names that only an instrumented library refers to (ASan, TSan, UBSan, MSan,
# libFuzzer's coverage counters); they sit in its dynamic symbol table.
_INSTRUMENTED_MARKERS = (b"__asan_", b"__tsan_", b"__ubsan_", b"__msan_", b"__sanitizer_")


def _is_instrumented(path: Path) -> bool:
    """Whether the library at path was built with a sanitizer or for fuzzing."""
    try:
        with open(path, "rb") as f, mmap.mmap(f.fileno(), 0, access=mmap.ACCESS_READ) as data:
            return any(data.find(marker) >= 0 for marker in _INSTRUMENTED_MARKERS)
    except (OSError, ValueError):  # unreadable or empty: loading it will say why
        return False


def _build_tree_files(repo: Optional[Path] = None) -> List[Path]:
    """Every shared library in build/ or build/*/, newest tree first."""
    found: List[Path] = []
    build = (repo or _REPOSITORY) / "build"
    if build.is_dir():
        for pattern in _PATTERNS:
            for tree in ("", "*/"):
                found.extend(p for p in build.glob(tree + pattern) if p.is_file())
    # The most recently built tree wins; the plain name before versioned ones.
    found.sort(key=lambda p: (-p.stat().st_mtime, len(p.name)))
    return found


def _build_tree_candidates(repo: Optional[Path] = None) -> List[Path]:
    """Loadable libraries of the repository's build trees, newest first, each
    file once (libkorvi.so and its versioned links are one), instrumented
    builds left out."""
    found: List[Path] = []
    seen = set()
    for path in _build_tree_files(repo):
        real = os.path.realpath(path)
        if real not in seen:
            seen.add(real)
            if not _is_instrumented(path):
                found.append(path)
    return found


def _not_found_message(tried: List[str]) -> str:
    lines = ["libkorvi not found: pass its path, set %s, build it under build/ "
             "(cmake -S . -B build/release && cmake --build build/release --target korvi), "
             "or install it" % ENVIRONMENT_VARIABLE]
    lines += ["  tried: %s" % why for why in tried]
    passed_over = {}  # one line per file, not per link to it
    for path in _build_tree_files():
        if _is_instrumented(path):
            passed_over.setdefault(os.path.realpath(path), path)
    lines += ["  passed over %s: built with a sanitizer or for fuzzing" % p
              for p in passed_over.values()]
    return "\n".join(lines)


def _candidates() -> List[str]:
    """What the lookup order tries when neither a path nor KORVI_LIBRARY is given."""
    candidates = [str(p) for p in _build_tree_candidates()]
    system = ctypes.util.find_library("korvi")
    if system:
        candidates.append(system)
    return candidates


def find_library_path(path: Optional[PathLike] = None) -> str:
    """The file or name to load: path, else the first of the lookup order.

    Raises LibraryNotFoundError when nothing is found.
    """
    if path is not None:
        return os.fspath(path)
    from_env = os.environ.get(ENVIRONMENT_VARIABLE)
    if from_env:
        return from_env
    candidates = _candidates()
    if candidates:
        return candidates[0]
    raise LibraryNotFoundError(_not_found_message([]))


class Library:
    """One loaded libkorvi with the prototypes of the exports this package uses.

    Objects pickle as their path, so they can be handed to worker processes,
    which load the same file again.
    """

    path: str

    def __init__(self, path: PathLike) -> None:
        self.path = os.fspath(path)
        try:
            dll = ctypes.CDLL(self.path)
        except OSError as error:
            raise LibraryNotFoundError("cannot load %s: %s" % (self.path, error)) from error
        self._dll = dll
        c_char_p, c_void_p = ctypes.c_char_p, ctypes.c_void_p

        # Pointers to library-owned results are kept as integers (c_void_p),
        # so each can be read and then released exactly once.
        self.free: Callable[[int], None] = self._declare("korvi_free", None, [c_void_p])
        self.free_result: Callable[[object], None] = self._declare("free_result", None, [_ResultPointer])
        self.fingerprint: Callable[[bytes, int, int], object] = self._declare(
            "fingerprint", _ResultPointer, [c_char_p, ctypes.c_int32, ctypes.c_uint32])
        self.fingerprint_chunk: Callable[[bytes, int], Optional[int]] = self._declare(
            "fingerprint_chunk", c_void_p, [c_char_p, ctypes.c_uint32])
        self.clean_string: Callable[[bytes, int], Optional[int]] = self._declare(
            "clean_string", c_void_p, [c_char_p, ctypes.c_int])
        self.assets: Dict[str, Callable[..., Optional[int]]] = {
            name: self._declare(name, c_void_p, [c_char_p] * count)
            for name, count in _ASSET_EXPORTS.items()
        }
        # Keyed fingerprints: the key handle (a korvi_key pointer) comes first.
        self.key_new: Callable[[bytes, int], Optional[int]] = self._declare(
            "korvi_key_new", c_void_p, [c_char_p, ctypes.c_size_t])
        self.key_free: Callable[[int], None] = self._declare("korvi_key_free", None, [c_void_p])
        self.key_id: Callable[[int, Any], bool] = self._declare(
            "korvi_key_id", ctypes.c_bool, [c_void_p, c_char_p])
        self.fingerprint_keyed: Callable[[int, bytes, int, int], object] = self._declare(
            "fingerprint_keyed", _ResultPointer, [c_void_p, c_char_p, ctypes.c_int32, ctypes.c_uint32])
        self.fingerprint_chunk_keyed: Callable[[int, bytes, int], Optional[int]] = self._declare(
            "fingerprint_chunk_keyed", c_void_p, [c_void_p, c_char_p, ctypes.c_uint32])
        self.assets_keyed: Dict[str, Callable[..., Optional[int]]] = {
            name: self._declare(name + "_keyed", c_void_p, [c_void_p] + [c_char_p] * count)
            for name, count in _ASSET_EXPORTS.items()
        }
        # texts, count, mode, flags, counts (int64 each)
        many_args = [ctypes.POINTER(c_char_p), ctypes.c_size_t, ctypes.c_int32, ctypes.c_uint32,
                     ctypes.POINTER(ctypes.c_int64)]
        self.fingerprint_many: Callable[..., Optional[int]] = self._declare(
            "korvi_fingerprint_many", c_void_p, many_args)
        self.fingerprint_many_keyed: Callable[..., Optional[int]] = self._declare(
            "korvi_fingerprint_many_keyed", c_void_p, [c_void_p] + many_args)
        # field, rows, columns, column count, flags
        self.assets_batch: Callable[..., Any] = self._declare(
            "korvi_assets_batch", ctypes.POINTER(AssetBatch),
            [c_char_p, ctypes.c_uint64, ctypes.POINTER(TextColumn), ctypes.c_size_t, ctypes.c_uint32])
        versions = {}
        for name in ("korvi_version", "korvi_unicode_version", "korvi_sha512_implementation"):
            getter = self._declare(name, c_char_p, [])
            versions[name] = getter().decode("ascii")  # static texts, never freed
        self.version: str = versions["korvi_version"]
        self.unicode_version: str = versions["korvi_unicode_version"]
        self.sha512_implementation: str = versions["korvi_sha512_implementation"]

    def _declare(self, name: str, restype: Any, argtypes: List[Any]) -> Any:
        try:
            function = getattr(self._dll, name)
        except AttributeError as error:
            raise LibraryNotFoundError("%s does not export %s" % (self.path, name)) from error
        function.restype = restype
        function.argtypes = argtypes
        return function

    def take_string(self, pointer: Optional[int]) -> bytes:
        """Copies a library-allocated string and releases it. NULL: MemoryError."""
        if not pointer:
            raise MemoryError("libkorvi could not allocate its result")
        try:
            return ctypes.string_at(pointer)
        finally:
            self.free(pointer)

    def __reduce__(self) -> Tuple[Callable[[str], "Library"], Tuple[str]]:
        return (load_library, (self.path,))

    def __repr__(self) -> str:
        return "<korvi.Library %s (libkorvi %s)>" % (self.path, self.version)


_loaded: Dict[str, Library] = {}
_default: Optional[Library] = None
_lock = threading.Lock()


def _load_once(target: str) -> Library:
    key = os.path.realpath(target) if os.path.exists(target) else target
    with _lock:
        library = _loaded.get(key)
        if library is None:
            library = Library(target)
            _loaded[key] = library
        return library


def load_library(path: Optional[PathLike] = None) -> Library:
    """The library at path (or found by the lookup order), loaded once per process.

    A path or KORVI_LIBRARY is loaded or fails as it is; otherwise the
    candidates are tried in turn and the first that loads is kept. Raises
    LibraryNotFoundError naming every candidate tried and why it failed.
    """
    if path is not None or os.environ.get(ENVIRONMENT_VARIABLE):
        return _load_once(find_library_path(path))
    tried: List[str] = []
    for candidate in _candidates():
        try:
            return _load_once(candidate)
        except LibraryNotFoundError as error:
            tried.append(str(error))
    raise LibraryNotFoundError(_not_found_message(tried))


def default_library() -> Library:
    """The library that functions use when none is passed: found once by the
    lookup order on first use, or the one set_default_library chose."""
    global _default
    library = _default
    if library is None:
        library = load_library(None)
        with _lock:
            if _default is None:
                _default = library
            library = _default
    return library


def set_default_library(library: Union[Library, PathLike, None]) -> Optional[Library]:
    """Makes library (or the one at a path) the default; None forgets the
    current default so that the next use looks it up again. Returns it."""
    global _default
    chosen = library if isinstance(library, Library) or library is None else load_library(library)
    with _lock:
        _default = chosen
    return chosen
