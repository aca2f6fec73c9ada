#!/usr/bin/env python3
"""Independent reference for keyed fingerprints, with Python's hmac and
hashlib only: HKDF-SHA512 (RFC 5869) of the key material, then
HMAC-SHA512 of exactly the bytes the public-salt mode hashes.

    /usr/bin/python3 tests/core/reference_keyed.py   # prints the test tables

tests/core/keyed_test.cc holds the printed values; tests/vectors/make_vectors.py
uses keyed_fp() for the keyed rows of the cross-platform vectors."""
import hashlib
import hmac

KEY_SALT = b"korvi keyed fingerprints v1"
SALT = b"Qm7pZ2vX+9LcT4nB8rKs1A"
TEST_KEY = bytes(range(32))  # the key of the cross-platform vectors


def hkdf_extract(salt, material):
    return hmac.new(salt, material, hashlib.sha512).digest()


def hkdf_expand(prk, info, length):
    out, block, counter = b"", b"", 1
    while len(out) < length:
        block = hmac.new(prk, block + info + bytes([counter]), hashlib.sha512).digest()
        out += block
        counter += 1
    return out[:length]


def derive(material):
    """(fingerprint key K, key id) of some key material."""
    prk = hkdf_extract(KEY_SALT, material)
    return hkdf_expand(prk, b"fingerprint", 64), hkdf_expand(prk, b"key id", 8).hex()


def keyed_fp(material, data, short=False):
    k, _ = derive(material)
    digest = hmac.new(k, data + SALT, hashlib.sha512).hexdigest()
    return digest[:16] if short else digest[:64]


def c_bytes(data):
    return '"' + "".join("\\x%02x" % b for b in data) + '"'


if __name__ == "__main__":
    for material in (TEST_KEY, b"0123456789abcdef", bytes([0xA5]) * 1024):
        k, key_id = derive(material)
        print("material %d bytes: prk %s" % (len(material), hkdf_extract(KEY_SALT, material).hex()))
        print("  K %s\n  id %s" % (k.hex(), key_id))
    for data in (b"", b"abc", b" JOHN SMITH JR", b"JOHN SMITH JR ", b"x" * 89, b"x" * 90, b"x" * 300):
        print("keyed %d bytes: %s" % (len(data), keyed_fp(TEST_KEY, data)))
