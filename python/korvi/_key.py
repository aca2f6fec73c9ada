"""Keys for keyed fingerprints, which nobody without the key can reverse.

A key is 16 to 1024 bytes of random material, shared by the two sides of one
partnership. Key.from_file and Key.from_env read it as 32 to 2048 hex digits
(what ``korvi keygen`` writes), white space around them ignored. The key id
(16 hex digits) is safe to show and compare; the key is not.

A Key read from a file or a variable pickles as that file's path or the
variable's name together with its key id, never as the secret: a process
that unpickles it (a Dask worker) reads the key itself, and refuses it when
the id differs. A Key made from bytes cannot be pickled at all.
"""
from __future__ import annotations

import ctypes
import os
import stat
import threading
import warnings
from typing import Any, Callable, Dict, Optional, Tuple, Union

from ._lib import Library, PathLike, default_library, load_library

__all__ = ["Key", "KeyMismatchError"]

_MIN_DIGITS, _MAX_DIGITS = 32, 2048
_HEX = frozenset(b"0123456789abcdefABCDEF")


class KeyMismatchError(ValueError):
    """A key read again (in another process) has another id than the original."""


def _decode_hex(text: bytes, where: str) -> bytes:
    digits = text.strip()
    if any(c not in _HEX for c in digits):
        raise ValueError("%s does not hold a key: only hex digits 0-9 and a-f are allowed" % where)
    if not _MIN_DIGITS <= len(digits) <= _MAX_DIGITS or len(digits) % 2:
        raise ValueError("%s holds %d hex digits; a key needs an even number from 32 to 2048 "
                         "(korvi keygen makes one)" % (where, len(digits)))
    return bytes.fromhex(digits.decode("ascii"))


def _read_file(path: str) -> bytes:
    with open(path, "rb") as f:
        mode = os.fstat(f.fileno()).st_mode
        if stat.S_ISREG(mode) and mode & (stat.S_IRGRP | stat.S_IROTH):
            warnings.warn("key file %s is readable by group or others (chmod 600 %s)" % (path, path),
                          stacklevel=4)
        text = f.read(2 * _MAX_DIGITS + 4096)
    return _decode_hex(text, "key file %s" % path)


def _read_env(name: str) -> bytes:
    value = os.environ.get(name)
    if value is None:
        raise ValueError("environment variable %s is not set" % name)
    return _decode_hex(value.encode("utf-8", "surrogateescape"), "environment variable %s" % name)


def _library_of(library: Union[Library, PathLike, None]) -> Library:
    if library is None:
        return default_library()
    return library if isinstance(library, Library) else load_library(library)


class Key:
    """A key for keyed fingerprints: pass it as ``key=`` to korvi's functions."""

    def __init__(self, source: str, name: str, material: Optional[bytes], expected_id: Optional[str],
                 library: Union[Library, PathLike, None] = None) -> None:
        # Use Key.from_file, Key.from_env or Key.from_bytes.
        self._source = source  # "file", "env" or "bytes"
        self._name = name
        self._material = material if source == "bytes" else None
        self._handles: Dict[str, Tuple[Library, int]] = {}
        self._lock = threading.Lock()
        self._key_id = expected_id
        if material is not None:
            self._make_handle(_library_of(library), material)

    @classmethod
    def from_file(cls, path: PathLike, *, library: Union[Library, PathLike, None] = None) -> "Key":
        """The key in a file of 32 to 2048 hex digits (warns when the file is
        readable by group or others)."""
        name = os.fspath(path)
        return cls("file", name, _read_file(name), None, library)

    @classmethod
    def from_env(cls, name: str, *, library: Union[Library, PathLike, None] = None) -> "Key":
        """The key in an environment variable holding 32 to 2048 hex digits."""
        return cls("env", name, _read_env(name), None, library)

    @classmethod
    def from_bytes(cls, material: bytes, *, library: Union[Library, PathLike, None] = None) -> "Key":
        """A key from 16 to 1024 bytes of key material. Such a key cannot be
        pickled: for Dask, use from_file or from_env."""
        if not isinstance(material, (bytes, bytearray, memoryview)):
            raise TypeError("key material must be bytes, not %s" % type(material).__name__)
        return cls("bytes", "", bytes(material), None, library)

    @property
    def key_id(self) -> str:
        """16 lower-case hex digits naming the key: safe to show and compare."""
        if self._key_id is None:
            self.handle(default_library())
        assert self._key_id is not None
        return self._key_id

    def _make_handle(self, library: Library, material: bytes) -> int:
        if not 16 <= len(material) <= 1024:
            raise ValueError("key material must be 16 to 1024 bytes, not %d" % len(material))
        handle = library.key_new(material, len(material))
        if not handle:
            raise MemoryError("libkorvi could not allocate a key")
        buffer = ctypes.create_string_buffer(17)
        library.key_id(handle, buffer)
        key_id = buffer.value.decode("ascii")
        if self._key_id is not None and key_id != self._key_id:
            library.key_free(handle)
            raise KeyMismatchError("the key read from %s %s has id %s, not %s" % (
                "file" if self._source == "file" else "variable", self._name, key_id, self._key_id))
        self._key_id = key_id
        self._handles[library.path] = (library, handle)
        return handle

    def handle(self, library: Library) -> int:
        """The library's handle of this key (made on first use in a process)."""
        found = self._handles.get(library.path)
        if found is not None:
            return found[1]
        with self._lock:
            found = self._handles.get(library.path)
            if found is not None:
                return found[1]
            if self._source == "bytes":
                material = self._material
            elif self._source == "file":
                material = _read_file(self._name)
            else:
                material = _read_env(self._name)
            assert material is not None
            return self._make_handle(library, material)

    def __reduce__(self) -> Tuple[Callable[..., "Key"], Tuple[Any, ...]]:
        if self._source == "bytes":
            raise TypeError("a Key made from bytes is not sent to other processes: use "
                            "Key.from_file or Key.from_env, which workers read themselves")
        return (_restore, (self._source, self._name, self.key_id))

    def __repr__(self) -> str:
        where = {"file": " from file %s" % self._name, "env": " from $%s" % self._name}.get(self._source, "")
        return "<korvi.Key %s%s>" % (self.key_id, where)

    def __del__(self) -> None:
        for library, handle in getattr(self, "_handles", {}).values():
            try:
                library.key_free(handle)
            except Exception:  # interpreter shutdown
                pass


def _restore(source: str, name: str, key_id: str) -> Key:
    """A pickled Key: read again where it is first used, and checked by id."""
    return Key(source, name, None, key_id)
