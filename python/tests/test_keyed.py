"""Keyed fingerprints from Python: korvi.Key and key= on every function,
against HKDF and HMAC computed here with Python's hmac and hashlib."""
from __future__ import annotations

import hashlib
import hmac
import os
import pickle

import pandas as pd
import pytest

import korvi
import korvi.pandas as kp
import korvi_reference as reference

MATERIAL = bytes(range(32))
KEY_HEX = MATERIAL.hex()


def derive(material: bytes):
    """(fingerprint key, key id) by RFC 5869 with the salt of keyed mode."""
    prk = hmac.new(b"korvi keyed fingerprints v1", material, hashlib.sha512).digest()
    expand = lambda info: hmac.new(prk, info + b"\x01", hashlib.sha512).digest()  # noqa: E731
    return expand(b"fingerprint"), expand(b"key id")[:8].hex()


@pytest.fixture
def keyed_reference(monkeypatch):
    """reference.fp made keyed, so every reference model gives keyed values."""
    fingerprint_key, _ = derive(MATERIAL)

    def fp(data, short: bool = False) -> str:
        if isinstance(data, str):
            data = data.encode("utf-8")
        digest = hmac.new(fingerprint_key, data + reference.SALT, hashlib.sha512).hexdigest()
        return digest[:16] if short else digest[:64]

    monkeypatch.setattr(reference, "fp", fp)
    return fp


@pytest.fixture
def key_file(tmp_path):
    path = tmp_path / "partner.key"
    path.write_text("  %s\n" % KEY_HEX)
    path.chmod(0o600)
    return path


def test_the_three_sources_give_one_key_with_pythons_id(lib, key_file, monkeypatch):
    monkeypatch.setenv("KORVI_TEST_KEY", KEY_HEX.upper())
    ids = {korvi.Key.from_bytes(MATERIAL).key_id, korvi.Key.from_file(key_file).key_id,
           korvi.Key.from_env("KORVI_TEST_KEY").key_id}
    assert ids == {derive(MATERIAL)[1]} == {"9e2e5239f5f042e6"}
    assert repr(korvi.Key.from_file(key_file)) == "<korvi.Key 9e2e5239f5f042e6 from file %s>" % key_file


def test_every_function_is_keyed(lib, keyed_reference):
    key = korvi.Key.from_bytes(MATERIAL)
    assert korvi.fingerprint("john smith jr", key=key) == reference.prints("JOHN SMITH JR")
    assert korvi.fingerprint("john smith jr", key=key, tiled=True, short=True, raw=True) == \
        reference.prints("JOHN SMITH JR", tiled=True, short=True)
    assert korvi.fingerprint_many(["john smith jr", "al", "red balloons fly"], key=key, short=True) == \
        [reference.prints("JOHN SMITH JR", short=True), None, reference.prints("RED BALLOONS FLY", short=True)]
    assert korvi.fingerprint_expression('"red balloons fly" OR "green pears ripen"', key=key, short=True) == {
        "operator": "OR", "operands": [reference.prints("RED BALLOONS FLY", short=True),
                                       reference.prints("GREEN PEARS RIPEN", short=True)]}
    for data in (b"abc", b"x" * 300):  # one block, and the long road
        assert korvi.fingerprint_chunk(data, key=key) == keyed_reference(data)
    fp16 = lambda text: keyed_reference(text.encode(), True)  # noqa: E731
    assert [a.fingerprints for a in korvi.assets_from_ssn("p", "1", "123-45-6789", key=key)] == \
        [(fp16("123456789"),)]
    assert [a.fingerprints for a in korvi.assets_from_phone_number("p", "1", "(555) 123-4567", key=key)] == \
        [(fp16("5551234567"),)]
    assert [a.fingerprints for a in korvi.assets_from_email_address("p", "1", "Jo@Ex.com", key=key)] == \
        [(fp16(fp16("JO@EX.COM")),)]
    names = korvi.assets_from_name("p", "1", "kevin", None, "Doe", key=key)
    assert [(a.variant_id, list(a.fingerprints)) for a in names] == \
        [(int(made["metadata"]["variant_id"]), made["fingerprints"])
         for made in reference.assets(reference.name_variants(["KEVIN"], None, "DOE"), "p", "1", "name")]
    assert korvi.assets_from_address("p", "1", "abcde fghijk", key=key)[0].fingerprints == \
        tuple(reference.variant_prints("ABCDE FGHIJK"))
    places = korvi.assets_from_city_state_zip("p", "1", "Austin", "tx", "78701", key=key)
    assert [list(a.fingerprints) for a in places] == \
        [reference.variant_prints(v) for v in (" AUSTIN TX 78701 ", " AUSTIN TEXAS 78701 ")]


def test_bad_keys_are_refused_without_showing_them(lib, tmp_path, monkeypatch):
    secret = "0123456789abcdef" * 2
    cases = [("file", secret[:30]), ("file", secret[:-1] + "g"), ("file", secret + "0"), ("env", secret[:20])]
    for source, text in cases:
        if source == "file":
            path = tmp_path / "bad.key"
            path.write_text(text)
            path.chmod(0o600)
            with pytest.raises(ValueError) as caught:
                korvi.Key.from_file(path)
        else:
            monkeypatch.setenv("KORVI_TEST_KEY", text)
            with pytest.raises(ValueError) as caught:
                korvi.Key.from_env("KORVI_TEST_KEY")
        assert text not in str(caught.value) and text[:16] not in str(caught.value)
    with pytest.raises(ValueError, match="not set"):
        korvi.Key.from_env("KORVI_NO_SUCH_KEY")
    with pytest.raises(ValueError, match="16 to 1024 bytes"):
        korvi.Key.from_bytes(b"x" * 15)
    with pytest.raises(TypeError):
        korvi.fingerprint_chunk("abc", key=KEY_HEX)  # a key is a korvi.Key, never a str


def test_a_key_file_others_can_read_is_warned_about(lib, key_file):
    key_file.chmod(0o644)
    with pytest.warns(UserWarning, match="readable by group or others"):
        korvi.Key.from_file(key_file)


def test_pickles_carry_the_source_and_id_never_the_secret(lib, key_file):
    with pytest.raises(TypeError, match="from_file or Key.from_env"):
        pickle.dumps(korvi.Key.from_bytes(MATERIAL))
    key = korvi.Key.from_file(key_file)
    data = pickle.dumps(key)
    assert KEY_HEX.encode() not in data and MATERIAL not in data
    restored = pickle.loads(data)
    assert korvi.fingerprint_chunk("abc", key=restored) == korvi.fingerprint_chunk("abc", key=key)
    # The file changed under the pickle: the reader refuses the other key.
    key_file.write_text("ab" * 16)
    with pytest.raises(korvi.KeyMismatchError, match="9e2e5239f5f042e6"):
        korvi.fingerprint_chunk("abc", key=pickle.loads(data))


def test_pandas_helpers_take_the_key(lib, keyed_reference):
    key = korvi.Key.from_bytes(MATERIAL)
    people = pd.DataFrame({"ssn": ["123-45-6789", ""], "email": ["Jo@Ex.com", None]})
    prints = kp.fingerprints_frame(people, ssn="ssn", email="email", key=key)
    fp16 = lambda text: keyed_reference(text.encode(), True)  # noqa: E731
    assert list(prints["ssn"]) == [(fp16("123456789"),), ()]
    assert list(prints["email_address"]) == [(fp16(fp16("JO@EX.COM")),), ()]
    plain = kp.fingerprints_frame(people, ssn="ssn")
    assert plain["ssn"][0] != prints["ssn"][0]
