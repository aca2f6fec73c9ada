"""Every result the library allocates is released exactly once, memory stays
flat over a million calls, and calls from many threads agree with calls
from one."""
from __future__ import annotations

import ctypes
import os
from concurrent.futures import ThreadPoolExecutor

import pandas as pd
import pytest

import korvi
import korvi.pandas as kp


class CountingLibrary(korvi.Library):
    """A library whose allocating calls and releases are recorded."""

    def __init__(self, path: str) -> None:
        super().__init__(path)
        self.calls = 0
        self.events: list = []  # ("new" | "free", address), in call order

        def returning(function):
            def call(*args):
                result = function(*args)
                self.calls += 1
                if _address(result):  # NULL: nothing was allocated
                    self.events.append(("new", _address(result)))
                return result
            return call

        def releasing(function):
            def call(pointer):
                self.events.append(("free", _address(pointer)))
                function(pointer)
            return call

        self.fingerprint = returning(self.fingerprint)
        self.fingerprint_chunk = returning(self.fingerprint_chunk)
        self.clean_string = returning(self.clean_string)
        self.assets = {name: returning(f) for name, f in self.assets.items()}
        self.assets_batch = returning(self.assets_batch)
        self.free = releasing(self.free)
        self.free_result = releasing(self.free_result)


def _address(pointer) -> int:
    if isinstance(pointer, int) or pointer is None:
        return pointer or 0
    return ctypes.cast(pointer, ctypes.c_void_p).value or 0


CALLS = [
    lambda lib: korvi.fingerprint("john smith jr", library=lib),
    lambda lib: korvi.fingerprint("john smith jr", raw=True, short=True, library=lib),
    lambda lib: korvi.fingerprint("", library=lib),
    lambda lib: korvi.fingerprint(b"bad \xff utf-8 text", library=lib),
    lambda lib: korvi.fingerprint_expression("a OR", library=lib),
    lambda lib: korvi.fingerprint_expression('"red balloons fly" b', library=lib),
    lambda lib: korvi.fingerprint_expression("a OR b", parse_only=True, library=lib),
    lambda lib: korvi.clean("o'Brien", library=lib),
    lambda lib: korvi.clean(b"\xff", library=lib),
    lambda lib: korvi.fingerprint_chunk("abc", library=lib),
    lambda lib: korvi.assets_from_name("p", "1", "Bob", "J", "Smith", library=lib),
    lambda lib: korvi.assets_from_name("p", "1", None, None, "Smith", library=lib),
    lambda lib: korvi.assets_from_address("p", "1", "1 Main St", library=lib),
    lambda lib: korvi.assets_from_city_state_zip("p", "1", "Austin", "TX", "78701", library=lib),
    lambda lib: korvi.assets_from_email_address("p", "1", "a@example.com", library=lib),
    lambda lib: korvi.assets_from_ssn("p", "1", "123-45-6789", library=lib),
    lambda lib: korvi.assets_from_phone_number("p", "1", "555 0100", library=lib),
    lambda lib: kp.assets_frame(pd.DataFrame({"f": ["Bob", "", None], "l": ["Smith", "Doe", "Roe"],
                                              "e": ["a@example.com", " ", None]}),
                                name=("f", "l"), email="e", library=lib),
    lambda lib: kp.fingerprints_frame(pd.DataFrame({"s": ["123-45-6789", None]}), ssn="s", library=lib),
]


@pytest.mark.parametrize("number", range(len(CALLS)))
def test_every_result_is_released_exactly_once(lib, number):
    counting = CountingLibrary(lib.path)
    try:
        CALLS[number](counting)
    except korvi.KorviError:
        pass
    assert counting.calls > 0, "the call reached the library"
    # Addresses come back after a release, so pair the events in order.
    live = set()
    for event, address in counting.events:
        if event == "new":
            assert address not in live
            live.add(address)
        else:
            assert address in live, "released twice, or never allocated"
            live.remove(address)
    assert not live, "never released"


def _resident_bytes() -> int:
    with open("/proc/self/statm") as f:
        return int(f.read().split()[1]) * os.sysconf("SC_PAGE_SIZE")


def _churn(count: int) -> None:
    chunk, clean, fingerprint = korvi.fingerprint_chunk, korvi.clean, korvi.fingerprint
    for i in range(count // 4):
        chunk("abc")
        clean("o'Brien-Smith")
        fingerprint("john smith jr", short=True, raw=True)
        try:
            fingerprint("too short")
        except korvi.InputTooShortError:
            pass


def test_memory_stays_flat_over_a_million_calls(lib):
    _churn(40_000)  # let allocator and interpreter caches settle
    before = _resident_bytes()
    _churn(1_000_000)
    grown = _resident_bytes() - before
    # A leak of the smallest result (17 bytes) per call would be over 16 MiB.
    assert grown < 2 * 1024 * 1024, "resident memory grew by %d bytes" % grown


def test_memory_stays_flat_over_asset_calls(lib):
    frame = pd.DataFrame({"first": ["Robert", "Mary"] * 50, "last": ["Smith", "Jones"] * 50,
                          "street": ["123 N. Main St.", "9 West Oak Avenue Apt 4"] * 50,
                          "email": ["a@example.com", "b@example.org"] * 50})
    columns = dict(name=("first", "last"), address="street", email="email")
    for _ in range(20):
        kp.assets_frame(frame, **columns)
    before = _resident_bytes()
    for _ in range(200):  # 60,000 library calls
        kp.assets_frame(frame, **columns)
    grown = _resident_bytes() - before
    assert grown < 2 * 1024 * 1024, "resident memory grew by %d bytes" % grown


def test_threads_agree_with_one_thread(lib):
    texts = ["record number %05d of the thread test" % i for i in range(400)]
    work = [
        lambda t: korvi.fingerprint(t, tiled=True),
        lambda t: korvi.clean(t, "digits"),
        lambda t: korvi.fingerprint_chunk(t, short=True),
        lambda t: korvi.fingerprint_expression('"%s" OR "%s"' % (t, t[::-1])),
        lambda t: korvi.assets_from_address("p", t[-5:], t),
        lambda t: korvi.assets_from_name("p", t[-5:], "Robert", t[14:20], "Smith"),
    ]
    jobs = [(f, t) for f in work for t in texts]
    alone = [f(t) for f, t in jobs]
    with ThreadPoolExecutor(max_workers=8) as pool:
        for _ in range(3):
            assert list(pool.map(lambda job: job[0](job[1]), jobs)) == alone
