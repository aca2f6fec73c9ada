// Keyed fingerprints: the keyed rows of the cross-platform vectors byte for
// byte, a random key against node:crypto's HKDF and HMAC, and the keys the
// package refuses (wrong lengths, freed, not a Key): never the public salt.
import assert from 'node:assert/strict';
import { createHmac, hkdfSync, randomBytes } from 'node:crypto';
import { test } from 'node:test';

import * as korvi from '../src/korvi.js';
import { readVectors, text } from './vectors.js';

const { Key } = korvi;
const TEST_KEY = '000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f';
const SALT = 'Qm7pZ2vX+9LcT4nB8rKs1A';
const vectors = readVectors();
const byCall = (call) => vectors.filter((v) => v.call === call);
const asset = ({ fingerprints, metadata }) => ({
  fingerprints, recordType: metadata.record_type, recordId: metadata.record_id,
  field: metadata.field, variantId: Number(metadata.variant_id),
});

// One Key per material of the vectors; a NULL key (\N) is a freed one here,
// the nearest a JavaScript caller comes to sending NULL.
function keyFor(material, keys) {
  const hex = text(material) ?? 'freed';
  if (!keys.has(hex)) {
    const key = Key.fromHex(material === null ? TEST_KEY : hex);
    if (material === null) key.free();
    keys.set(hex, key);
  }
  return keys.get(hex);
}
const refusesFreedKey = { name: 'TypeError', message: /has been freed/ };

test('korvi_key_new vectors: key ids, and the lengths refused', () => {
  const rows = byCall('korvi_key_new');
  assert.ok(rows.length >= 5);
  for (const { line, fields: [material, expected] } of rows) {
    const bytes = Uint8Array.from(Buffer.from(text(material), 'hex'));
    if (expected === null) {
      assert.throws(() => Key.fromBytes(bytes), RangeError, `line ${line}`);
      assert.throws(() => Key.fromHex(text(material)), RangeError, `line ${line}`);
    } else {
      const key = Key.fromBytes(bytes);
      assert.equal(key.keyId, text(expected), `line ${line}`);
      key.free();
    }
  }
  assert.equal(Key.fromHex(` ${TEST_KEY.toUpperCase()}\n`).keyId, '9e2e5239f5f042e6');
});

test('fingerprint_keyed vectors, plain and boolean roads', () => {
  const keys = new Map();
  const rows = byCall('fingerprint_keyed').filter((v) => v.fields[1] !== null);
  assert.ok(rows.length > 40);
  for (const { line, fields: [material, input, mode, flags, status, expected] } of rows) {
    const key = keyFor(material, keys);
    const m = Number(text(mode)), f = Number(text(flags));
    if (key.freed) {
      assert.throws(() => korvi.jsFingerprint(input, m, f, { key }), refusesFreedKey, `line ${line}`);
      assert.throws(() => korvi.fingerprint(input, { key }), refusesFreedKey, `line ${line}`);
      continue;
    }
    assert.equal(korvi.jsFingerprint(input, m, f, { key }), text(expected), `line ${line}`);
    const options = { mode: m, tiled: (f & 4) !== 0, short: (f & 8) !== 0, key };
    const call = (f & 1) !== 0
      ? () => korvi.fingerprintExpression(input, { ...options, parseOnly: (f & 0x10) !== 0 })
      : () => korvi.fingerprint(input, { ...options, raw: (f & 2) !== 0 });
    if (text(status) !== '0') {
      assert.throws(call, { status: Number(text(status)), message: JSON.parse(text(expected)).error },
                    `line ${line}`);
    } else if ((f & 3) === 2) {
      assert.equal(call().join(''), text(expected), `line ${line}`);
    } else {
      const data = JSON.parse(text(expected)).data;
      assert.deepEqual(call(), (f & 1) !== 0 ? data : data.fingerprints, `line ${line}`);
    }
  }
  for (const key of keys.values()) key.free();
});

test('fingerprint_chunk_keyed and assets_from_*_keyed vectors', () => {
  const keys = new Map();
  const chunks = byCall('fingerprint_chunk_keyed');
  assert.ok(chunks.length > 10);
  for (const { line, fields: [material, input, flags, expected] } of chunks) {
    const key = keyFor(material, keys);
    const call = () => korvi.fingerprintChunk(input, { short: (Number(text(flags)) & 8) !== 0, key });
    if (key.freed) assert.throws(call, refusesFreedKey, `line ${line}`);
    else assert.equal(call(), text(expected), `line ${line}`);
  }
  const functions = {
    assets_from_name_keyed: korvi.assetsFromName,
    assets_from_address_keyed: korvi.assetsFromAddress,
    assets_from_city_state_zip_keyed: korvi.assetsFromCityStateZip,
    assets_from_email_address_keyed: korvi.assetsFromEmailAddress,
    assets_from_ssn_keyed: korvi.assetsFromSsn,
    assets_from_phone_number_keyed: korvi.assetsFromPhoneNumber,
  };
  for (const [call, assetsFrom] of Object.entries(functions)) {
    const rows = byCall(call);
    assert.ok(rows.some((v) => v.fields[0] === null) && rows.some((v) => v.fields[0] !== null), call);
    for (const { line, fields: [material, ...fields] } of rows) {
      const key = keyFor(material, keys);
      const run = () => assetsFrom(...fields.slice(0, -1), { key });
      if (key.freed) assert.throws(run, refusesFreedKey, `line ${line}`);
      else assert.deepEqual(run(), JSON.parse(text(fields.at(-1))).map(asset), `line ${line}`);
    }
  }
  for (const key of keys.values()) key.free();
});

test('a random key agrees with HKDF-SHA512 and HMAC-SHA512 of node:crypto', () => {
  const material = randomBytes(48);
  const derive = (info, length) =>
    Buffer.from(hkdfSync('sha512', material, 'korvi keyed fingerprints v1', info, length));
  const hmac = (...parts) => parts.reduce((h, part) => h.update(part), createHmac('sha512', derive('fingerprint', 64)))
    .digest('hex');
  const key = Key.fromHex(material.toString('hex'));
  assert.equal(key.keyId, derive('key id', 8).toString('hex'));
  assert.equal(korvi.fingerprintChunk('exact bytes', { key }), hmac('exact bytes', SALT).slice(0, 64));
  // 16 letters: three windows of 14, cleaned to upper case.
  const windows = [0, 1, 2].map((i) => hmac('ABCDEFGHIJKLMNOP'.slice(i, i + 14), SALT).slice(0, 16));
  assert.deepEqual(korvi.fingerprint('abcdefghijklmnop', { short: true, key }), windows.sort());
  assert.notDeepEqual(korvi.fingerprint('abcdefghijklmnop', { short: true }), windows);
  key.free();
});

test('keys refused: lengths, hex, types, and a freed key everywhere', () => {
  for (const length of [0, 15, 1025]) {
    assert.throws(() => Key.fromBytes(new Uint8Array(length)), { name: 'RangeError', message: /16 to 1024/ });
  }
  for (const hex of ['ab'.repeat(15), 'ab'.repeat(1025), 'a'.repeat(33), `${'a'.repeat(31)}g`, '0x' + 'a'.repeat(32)]) {
    assert.throws(() => Key.fromHex(hex), RangeError, hex);
  }
  assert.throws(() => Key.fromBytes(TEST_KEY), TypeError);
  assert.throws(() => Key.fromBytes([...Array(32).keys()]), TypeError);
  assert.throws(() => new Key(), TypeError);
  assert.throws(() => korvi.fingerprint('john smith jr', { key: TEST_KEY }), TypeError);
  assert.throws(() => korvi.fingerprintChunk('abc', { key: {} }), TypeError);

  const key = Key.fromHex(TEST_KEY);
  key.free();
  key.free();  // harmless
  assert.equal(key.keyId, '9e2e5239f5f042e6');
  for (const call of [
    () => korvi.fingerprint('john smith jr', { key }),
    () => korvi.fingerprintExpression('red OR blue', { key }),
    () => korvi.jsFingerprint('john smith jr', 0, 0, { key }),
    () => korvi.fingerprintChunk('abc', { key }),
    () => korvi.assetsFromName('person', '1', 'bob', null, 'smith', { key }),
    () => korvi.assetsFromAddress('person', '1', '1 main st', { key }),
    () => korvi.assetsFromCityStateZip('person', '1', 'austin', 'tx', '78701', { key }),
    () => korvi.assetsFromEmailAddress('person', '1', 'a@b.example', { key }),
    () => korvi.assetsFromSsn('person', '1', '123-45-6789', { key }),
    () => korvi.assetsFromPhoneNumber('person', '1', '5551234567', { key }),
  ]) {
    assert.throws(call, refusesFreedKey);
  }
});
