"""Makes the package importable in place (here and in Dask worker processes)
and loads the library under test: KORVI_LIBRARY, or the newest build tree."""
from __future__ import annotations

import os
import sys
from pathlib import Path

import pytest

PACKAGE_ROOT = Path(__file__).resolve().parent.parent
TESTS = Path(__file__).resolve().parent
# The reference model shared with the library's own tests.
REFERENCE = PACKAGE_ROOT.parent / "tests" / "reference"
for path in (str(PACKAGE_ROOT), str(TESTS), str(REFERENCE)):
    if path not in sys.path:
        sys.path.insert(0, path)
# Worker processes started by the tests import korvi and the reference too.
os.environ["PYTHONPATH"] = os.pathsep.join(
    [str(PACKAGE_ROOT), str(TESTS), str(REFERENCE)]
    + [p for p in os.environ.get("PYTHONPATH", "").split(os.pathsep) if p])

import korvi  # noqa: E402


@pytest.fixture(scope="session")
def lib() -> korvi.Library:
    # A missing library fails every test that needs it rather than skipping.
    library = korvi.load_library()
    korvi.set_default_library(library)
    return library
