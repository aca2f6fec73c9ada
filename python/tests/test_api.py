"""The library's exports as Python functions: vectors from hashlib, errors
with the library's messages, strings in and out, loading, versions."""
from __future__ import annotations

import os
import pickle
import re
import shutil
import tomllib
from pathlib import Path

import pytest

import korvi
from korvi import _json, _lib
from korvi_reference import CLEAN_CODE, clean_ascii, fp, name_variants, prints, product
from korvi_reference import assets as reference_assets

REPO = Path(__file__).resolve().parents[2]
MULTI_BYTE = "\u00c0\u00c9\u00ce\u00d5\u00dc\U00010400\u4e2d\u6587KLMNOPQ"

# (input, mode, tiled, short, the input's cleaned form worked out by hand)
VECTORS = [
    ("john smith jr", "text", False, False, "JOHN SMITH JR"),
    ("john smith jr", "text", False, True, "JOHN SMITH JR"),
    (b"john smith jr", korvi.CleanMode.TEXT, True, False, "JOHN SMITH JR"),
    ("  o'Brien-Smith, Jr. ", "text", False, False, " O BRIEN SMITH JR "),
    ("abcdefghijkl", "text", False, False, "ABCDEFGHIJKL"),
    ("abcdefghijklmn", 0, False, False, "ABCDEFGHIJKLMN"),
    ("\u00e0\u00e9\u00ee\u00f5\u00fc\U00010428\u4e2d\u6587klmnopq", "text", False, False, MULTI_BYTE),
    (MULTI_BYTE, "text", True, False, MULTI_BYTE),
    ("abcdefghijklmnopqrstuvwxyz012", "text", True, True, "ABCDEFGHIJKLMNOPQRSTUVWXYZ012"),
    ("ABCDEFGHIJKLMNOPQRSTUVWXYZ01", "TEXT", True, False, "ABCDEFGHIJKLMNOPQRSTUVWXYZ01"),
    ("john.doe+x@example.com", "code", False, False, "JOHN.DOE+X@EXAMPLE.COM"),
    ("john.doe+x@example.com", 7, False, False, "JOHN DOE X EXAMPLE COM"),
    ("(555) 123-4567 ext 89", korvi.CleanMode.DIGITS, False, True, "555123456789"),
    ("a" * 30, "text", False, False, "A" * 30),
]


@pytest.mark.parametrize("text, mode, tiled, short, cleaned", VECTORS)
def test_fingerprints_match_hashlib(lib, text, mode, tiled, short, cleaned):
    expected = prints(cleaned, tiled, short)
    assert korvi.fingerprint(text, mode, tiled=tiled, short=short) == expected
    assert korvi.fingerprint(text, mode, tiled=tiled, short=short, raw=True) == expected


# (input, mode, exception, the library's message)
REFUSED = [
    ("", "text", korvi.InputTooShortError, "Input length too short"),
    ("a,b;c d!", "text", korvi.InputTooShortError, "Input length too short"),
    ("call 555-1234 now please", "digits", korvi.InputTooShortError, "Input length too short"),
    (b"a perfectly long text \xc3", "text", korvi.InvalidUtf8Error, "Failed utf8 conversion"),
    (b"a perfectly long text \xed\xa0\x80", "text", korvi.InvalidUtf8Error, "Failed utf8 conversion"),
    ("a perfectly long text \udc80", "code", korvi.InvalidUtf8Error, "Failed utf8 conversion"),
]


@pytest.mark.parametrize("text, mode, error, message", REFUSED)
@pytest.mark.parametrize("flags", [{}, {"raw": True}, {"tiled": True, "short": True}])
def test_refusals_raise_the_library_message(lib, text, mode, error, message, flags):
    with pytest.raises(error) as caught:
        korvi.fingerprint(text, mode, **flags)
    assert caught.value.message == message == str(caught.value)
    assert caught.value.status == {korvi.InputTooShortError: 1, korvi.InvalidUtf8Error: 2}[error]
    assert isinstance(caught.value, korvi.KorviError) and isinstance(caught.value, ValueError)


@pytest.mark.parametrize("call", [
    lambda t: korvi.fingerprint(t),
    lambda t: korvi.fingerprint_expression(t),
    lambda t: korvi.clean(t),
    lambda t: korvi.fingerprint_chunk(t),
    lambda t: korvi.assets_from_address("person", "1", t),
])
@pytest.mark.parametrize("text", ["john smith\0 jr and more", b"\0"])
def test_nul_bytes_are_refused_not_truncated(lib, call, text):
    with pytest.raises(korvi.EmbeddedNulError, match="NUL byte"):
        call(text)


@pytest.mark.parametrize("mode, error", [("words", ValueError), (True, TypeError), (1.0, TypeError)])
def test_bad_modes(lib, mode, error):
    with pytest.raises(error):
        korvi.fingerprint("john smith jr", mode)


@pytest.mark.parametrize("text", [None, 12, ["john smith jr"]])
def test_texts_must_be_str_or_bytes(lib, text):
    with pytest.raises(TypeError):
        korvi.fingerprint(text)


@pytest.mark.parametrize("text, mode, cleaned", [
    ("  o'Brien-Smith, Jr. ", "text", " O BRIEN SMITH JR "),
    ("john.doe+x@example.com", "code", "JOHN.DOE+X@EXAMPLE.COM"),
    ("(555) 123-4567", "digits", "5551234567"),
    ("", "text", ""), ("", "code", ""), ("", "digits", ""),
    ("...!!", "text", " "), ("...!!", "code", "...!!"), ("...!!", "digits", ""),
    ("stra\u00dfe", "text", "STRA\u00dfE"),
    ("e\u0301t\u00e9", "text", "E T\u00c9"),
    ("tab\there\u2028now", "text", "TAB HERE NOW"),
    ("a-b", 7, "A B"), ("a-b", -1, "A B"),
])
def test_clean(lib, text, mode, cleaned):
    assert korvi.clean(text, mode) == cleaned
    assert korvi.clean(text.encode(), mode) == cleaned.encode()


def test_clean_refuses_invalid_utf8(lib):
    for text in (b"ok \xff", "ok \udcff"):
        with pytest.raises(korvi.InvalidUtf8Error, match="^Failed utf8 conversion$"):
            korvi.clean(text)


@pytest.mark.parametrize("data", [b"", b"abc", b"ABC", b"abc ", "stra\u00dfe".encode(), b"\xff\xfe not utf-8"])
def test_fingerprint_chunk_hashes_bytes_as_given(lib, data):
    assert korvi.fingerprint_chunk(data) == fp(data)
    assert korvi.fingerprint_chunk(data, short=True) == fp(data, short=True)
    if data.isascii():
        assert korvi.fingerprint_chunk(data.decode()) == fp(data)


def _chain(operands, operator):
    tree = operands[0]
    for operand in operands[1:]:
        tree = {"operator": operator, "operands": [tree, operand]}
    return tree


@pytest.mark.parametrize("expr, tree", [
    ("a", "a"),
    ("((a))", "a"),
    ('""', ""),
    ("a OR b c", _chain([_chain(["a", "b"], "OR"), "c"], "AND")),
    ("a - b - c", _chain(["a", "b", "c"], "AND_NOT")),
    ("a -b", _chain(["a", "-b"], "AND")),
    ("a and (b or c)", {"operator": "AND", "operands": ["a", _chain(["b", "c"], "OR")]}),
])
def test_expression_trees(lib, expr, tree):
    assert korvi.fingerprint_expression(expr, parse_only=True) == tree



@pytest.mark.parametrize("tiled,short", [(False, False), (True, True)])
def test_fingerprint_many_answers_each_text_as_hashlib_does(lib, tiled, short):
    texts = ["john smith jr", "  o'Brien-Smith, Jr. ", "al", b"x\xff" * 10, "a\0b long enough",
             "abcdefghijkl", "a" * 30, "\u00e0\u00e9\u00ee\u00f5\u00fc\U00010428\u4e2d\u6587klmnopq",
             "lone \ud800 surrogate text"]
    cleaned = ["JOHN SMITH JR", " O BRIEN SMITH JR ", None, None, None, "ABCDEFGHIJKL", "A" * 30,
               MULTI_BYTE, None]
    expected = [None if c is None else prints(c, tiled, short) for c in cleaned]
    assert korvi.fingerprint_many(texts, tiled=tiled, short=short) == expected
    # A thousand texts in one call, the windows of several hashed together.
    names = ["name %d smith%s" % (i, "x" * (i % 40)) for i in range(1000)]
    assert korvi.fingerprint_many(iter(names), tiled=tiled, short=short) == \
        [korvi.fingerprint(name, tiled=tiled, short=short) for name in names]


def test_fingerprint_many_empty_and_wrong_types(lib):
    assert korvi.fingerprint_many([]) == []
    with pytest.raises(TypeError, match=r"texts\[1\]"):
        korvi.fingerprint_many(["john smith jr", 42])
    with pytest.raises(ValueError):
        korvi.fingerprint_many(["john smith jr"], mode="binary")


@pytest.mark.parametrize("tiled, short", [(False, False), (False, True), (True, True)])
def test_expression_operands_become_fingerprints(lib, tiled, short):
    tree = korvi.fingerprint_expression('"red balloons fly" OR ("twelve chars" - "abcdefghijklmnopqrstuvwxyz012")',
                                        tiled=tiled, short=short)
    assert tree == {"operator": "OR", "operands": [
        prints("RED BALLOONS FLY", tiled, short),
        {"operator": "AND_NOT", "operands": [prints("TWELVE CHARS", tiled, short),
                                             prints("ABCDEFGHIJKLMNOPQRSTUVWXYZ012", tiled, short)]},
    ]}
    assert korvi.fingerprint_expression('"red balloons fly"', tiled=tiled, short=short) == \
        prints("RED BALLOONS FLY", tiled, short)


@pytest.mark.parametrize("expr, error, message", [
    ("a OR", korvi.ExpressionParseError, "Expression parse error"),
    ("(a", korvi.ExpressionParseError, "Expression parse error"),
    ("", korvi.ExpressionParseError, "Expression parse error"),
    ('"red balloons fly" OR tiny', korvi.InvalidUtf8Error, "Failed utf8 conversion"),
    (b'"red balloons fly" OR "\xff long operand"', korvi.InvalidUtf8Error, "Failed utf8 conversion"),
])
def test_expression_errors(lib, expr, error, message):
    with pytest.raises(error) as caught:
        korvi.fingerprint_expression(expr)
    assert caught.value.message == message


def test_long_expressions_nest_deeper_than_the_json_module_reads(lib):
    words = ["w%d" % i for i in range(3000)]
    tree = korvi.fingerprint_expression(" ".join(words), parse_only=True)
    # Walk down the left spine: comparing with == would recurse as deep.
    for word in reversed(words[1:]):
        assert tree["operator"] == "AND" and tree["operands"][1] == word
        tree = tree["operands"][0]
    assert tree == words[0]


def test_deep_json_reader_agrees_with_json_module():
    for text in ['[1,2.5e3,-0.5,true,false,null,"a\\"\\u00e9"]', '{"a":{"b":[{},[]]},"c":"d"}', ' [ { "k" : [ ] } ] ']:
        assert _json._loads_deep(text) == __import__("json").loads(text)
    deep = "[" * 5000 + '"x"' + "]" * 5000
    value = _json.loads(deep)
    for _ in range(5000):
        assert isinstance(value, list) and len(value) == 1
        value = value[0]
    assert value == "x"
    for bad in ["[1,", "[1]]", '{"a" 1}', "[tru]", "{1:2}"]:
        with pytest.raises(ValueError):
            _json._loads_deep(bad)


def _expected_assets(variants, field, record_type="person", record_id="42"):
    return [korvi.Asset(tuple(made["fingerprints"]), record_type, record_id, field,
                        int(made["metadata"]["variant_id"]))
            for made in reference_assets(variants, record_type, record_id, field)]


def test_assets_from_name(lib):
    got = korvi.assets_from_name("person", "42", "kevin", "James", "Doe")
    assert got == _expected_assets(name_variants(["KEVIN"], "JAMES", "DOE"), "name")
    assert korvi.assets_from_name(b"person", b"42", b"kevin", None, b"Doe") == \
        _expected_assets(name_variants(["KEVIN"], None, "DOE"), "name")


def test_assets_from_address_and_city_state_zip(lib):
    assert korvi.assets_from_address("person", "42", "123 N. Main St.") == _expected_assets(
        product([["123"], ["N", "NORTH"], ["MAIN"], ["ST", "STRT", "STREET", "STR"]]), "address")
    assert korvi.assets_from_city_state_zip("person", "42", "Austin", "tx", "78701-1234") == _expected_assets(
        [" AUSTIN TX 78701 1234 ", " AUSTIN TEXAS 78701 1234 "], "city_state_zip")


@pytest.mark.parametrize("function, value, field, expected", [
    (korvi.assets_from_email_address, "John.Doe@Example.com", "email_address",
     fp(fp(clean_ascii("John.Doe@Example.com", CLEAN_CODE).encode(), True).encode(), True)),
    (korvi.assets_from_ssn, "123-45-6789", "ssn", fp(b"123456789", True)),
    (korvi.assets_from_ssn, "no digits", "ssn", fp(b"", True)),
    (korvi.assets_from_phone_number, "(555) 123-4567", "phone_number", fp(b"5551234567", True)),
])
def test_single_value_assets(lib, function, value, field, expected):
    record_id = 'id "7" \\ \u00e9'
    assert function("type\t1", record_id, value) == [korvi.Asset((expected,), "type\t1", record_id, field, 1)]


@pytest.mark.parametrize("call", [
    lambda: korvi.assets_from_name("person", "1", None, None, "Doe"),
    lambda: korvi.assets_from_name("person", "1", "", "James", "Doe"),
    lambda: korvi.assets_from_address("person", "1", None),
    lambda: korvi.assets_from_city_state_zip("person", "1", "Austin", None, "78701"),
    lambda: korvi.assets_from_ssn("person", "1", None),
    lambda: korvi.assets_from_email_address("person", "1", b"\xff@example.com"),
])
def test_absent_or_invalid_values_give_no_assets(lib, call):
    assert call() == []


def test_versions(lib):
    cmake = (REPO / "CMakeLists.txt").read_text()
    assert korvi.library_version() == re.search(r"project\(korvi VERSION ([0-9.]+)", cmake).group(1)
    with open(REPO / "python" / "pyproject.toml", "rb") as f:
        assert korvi.__version__ == tomllib.load(f)["project"]["version"]
    assert re.fullmatch(r"\d+\.\d+\.\d+", korvi.unicode_version())
    assert korvi.sha512_implementation()
    assert korvi.library_version(library=lib) == lib.version


def test_loading(lib, monkeypatch, tmp_path):
    assert korvi.load_library(lib.path) is lib
    assert pickle.loads(pickle.dumps(lib)) is lib
    monkeypatch.setenv("KORVI_LIBRARY", str(tmp_path / "nothing.so"))
    assert korvi.find_library_path() == str(tmp_path / "nothing.so")
    assert korvi.find_library_path(lib.path) == lib.path
    with pytest.raises(korvi.LibraryNotFoundError, match="nothing.so"):
        korvi.load_library()
    not_korvi = tmp_path / "libc-copy.so"
    not_korvi.write_bytes(b"not a shared library")
    with pytest.raises(korvi.LibraryNotFoundError):
        korvi.load_library(not_korvi)


def test_build_tree_lookup_prefers_the_newest_build(lib, tmp_path):
    for tree, age in (("old", 1000), ("new", 0)):
        folder = tmp_path / "build" / tree
        folder.mkdir(parents=True)
        for name in ("libkorvi.so.0", "libkorvi.so"):
            shutil.copy(lib.path, folder / name)
            os.utime(folder / name, (0, os.path.getmtime(lib.path) - age))
    (tmp_path / "build" / "notes.txt").write_text("not a build")
    found = _lib._build_tree_candidates(tmp_path)
    assert found[0] == tmp_path / "build" / "new" / "libkorvi.so"
    assert [p.parent.name for p in found] == ["new", "new", "old", "old"]
    # A build tree may also be build/ itself.
    shutil.copy(lib.path, tmp_path / "build" / "libkorvi.so")
    assert _lib._build_tree_candidates(tmp_path)[0] == tmp_path / "build" / "libkorvi.so"
    assert _lib._build_tree_candidates(tmp_path / "elsewhere") == []


def test_lookup_passes_over_instrumented_builds_and_tries_the_next(lib, monkeypatch, tmp_path):
    # Newest first: a fuzzing build, an ASan build, a file that does not load,
    # then the only good one.
    fakes = {"fuzz": b"\x7fELF...__sanitizer_cov_8bit_counters_init...",
             "asan": b"\x7fELF...__asan_init...", "broken": b"not a shared library"}
    for age, tree in enumerate(("fuzz", "asan", "broken", "good")):
        folder = tmp_path / "build" / tree
        folder.mkdir(parents=True)
        target = folder / "libkorvi.so"
        if tree == "good":
            shutil.copy(lib.path, target)
        else:
            target.write_bytes(fakes[tree])
        os.utime(target, (0, 2_000_000_000 - 100 * age))
    monkeypatch.setattr(_lib, "_REPOSITORY", tmp_path)
    monkeypatch.delenv("KORVI_LIBRARY", raising=False)
    monkeypatch.setattr(_lib.ctypes.util, "find_library", lambda name: None)
    build = tmp_path / "build"
    assert _lib._build_tree_candidates() == [build / "broken" / "libkorvi.so", build / "good" / "libkorvi.so"]
    assert korvi.find_library_path() == str(build / "broken" / "libkorvi.so")
    loaded = korvi.load_library()
    assert loaded.path == str(build / "good" / "libkorvi.so")
    assert loaded.version == lib.version
    # When nothing loads, the error names what was tried and what was passed over.
    (build / "good" / "libkorvi.so").unlink()
    with pytest.raises(korvi.LibraryNotFoundError) as raised:
        korvi.load_library()
    message = str(raised.value)
    assert "tried: cannot load %s" % (build / "broken" / "libkorvi.so") in message
    for tree in ("asan", "fuzz"):
        assert "passed over %s: built with a sanitizer" % (build / tree / "libkorvi.so") in message
    (build / "broken" / "libkorvi.so").unlink()
    with pytest.raises(korvi.LibraryNotFoundError, match="passed over"):
        korvi.find_library_path()
