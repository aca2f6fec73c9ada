"""korvi: salted fingerprints of personal identifiers, from Python.

A thin client of the shared library libkorvi (loaded with ctypes): texts go
in as str (UTF-8) or bytes, fingerprints come back as lists of lower-case
hex strings, and whatever the library refuses is raised as a KorviError
carrying the library's message. The library is found through the
KORVI_LIBRARY environment variable, a build tree of this repository, or the
system's library path; load_library(path) loads a given file.

    >>> import korvi
    >>> korvi.fingerprint("john smith jr", short=True)
    ['07e965b4d1d8a439', 'cb0ca6abc12be5b4']

korvi.pandas and korvi.dask apply the assets_from_* functions to data frames;
korvi.link(left, right) links two `korvi assets` outputs into a frame of pairs.
Every fingerprinting function takes ``key=`` (a korvi.Key) for keyed
fingerprints, which only holders of the same key can compute.
"""
from ._api import (
    Asset,
    CleanMode,
    ExpressionTree,
    Operator,
    Text,
    assets_from_address,
    assets_from_city_state_zip,
    assets_from_email_address,
    assets_from_name,
    assets_from_phone_number,
    assets_from_ssn,
    clean,
    fingerprint,
    fingerprint_chunk,
    fingerprint_expression,
    fingerprint_many,
    library_version,
    sha512_implementation,
    unicode_version,
)
from ._key import Key, KeyMismatchError
from ._errors import (
    EmbeddedNulError,
    ExpressionParseError,
    InputTooShortError,
    InvalidUtf8Error,
    KorviError,
)
from ._link import LinkInputError, link
from ._lib import (
    Library,
    LibraryNotFoundError,
    default_library,
    find_library_path,
    load_library,
    set_default_library,
)

__version__ = "0.1.0"
"""This package's version; library_version() gives the loaded library's."""

__all__ = [
    "LinkInputError",
    "link",
    "Asset",
    "CleanMode",
    "EmbeddedNulError",
    "ExpressionParseError",
    "ExpressionTree",
    "InputTooShortError",
    "InvalidUtf8Error",
    "Key",
    "KeyMismatchError",
    "KorviError",
    "Library",
    "LibraryNotFoundError",
    "Operator",
    "Text",
    "assets_from_address",
    "assets_from_city_state_zip",
    "assets_from_email_address",
    "assets_from_name",
    "assets_from_phone_number",
    "assets_from_ssn",
    "clean",
    "default_library",
    "find_library_path",
    "fingerprint",
    "fingerprint_chunk",
    "fingerprint_expression",
    "fingerprint_many",
    "library_version",
    "load_library",
    "set_default_library",
    "sha512_implementation",
    "unicode_version",
]
