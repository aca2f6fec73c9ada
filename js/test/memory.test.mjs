// A million calls of every kind, failures included, in a process of its own,
// unkeyed and keyed (keys made and freed among them):
// the module's memory starts at 16 MiB here, so leaking even 16 bytes a call
// would make it grow.
import assert from 'node:assert/strict';
import { test } from 'node:test';

import * as korvi from '../src/korvi.js';

const bytes = (...values) => Uint8Array.from(values);

test('a million calls leave the module memory as it was', () => {
  const calls = [
    () => korvi.fingerprint('john smith jr', { short: true }),
    () => korvi.fingerprint('jane q public', { raw: true, tiled: true }),
    () => korvi.fingerprintMany(['jane q public', 'too short', 'a\0b', bytes(0x61, 0xff), new TextEncoder().encode('jos\u00e9 smith jr')], { short: true }),
    () => assert.throws(() => korvi.fingerprint('too short')),
    () => assert.throws(() => korvi.fingerprint(bytes(0x61, 0xff, 0x62, 0x63, 0x64, 0x65, 0x66, 0x67, 0x68, 0x69, 0x6a, 0x6b, 0x6c, 0x6d))),
    () => korvi.fingerprintExpression('"red balloons fly" OR ("green pears grow" - "ripen slowly")', { short: true }),
    () => assert.throws(() => korvi.fingerprintExpression('red OR')),
    () => korvi.clean("  o'Brien-Smith, Jr. "),
    () => korvi.fingerprintChunk('exact bytes'),
    () => korvi.assetsFromName('person', 'C1', 'bob', 'j', 'smith'),
    () => korvi.assetsFromAddress('person', 'C1', '12 north main st apt 4'),
    () => korvi.assetsFromCityStateZip('person', 'C1', 'springfield', 'il', '62704'),
    () => korvi.assetsFromEmailAddress('person', 'C1', 'john.doe@example.com'),
    () => korvi.assetsFromSsn('person', 'C1', '123-45-6789'),
    () => korvi.assetsFromPhoneNumber('person', 'C1', '(555) 123-4567'),
  ];
  for (let i = 0; i < 20_000; ++i) calls[i % calls.length]();
  const before = korvi.heapSize();
  for (let i = 0; i < 1_000_000; ++i) calls[i % calls.length]();
  assert.equal(korvi.heapSize(), before);
});

test('a million keyed calls and key lifetimes leave the module memory as it was', () => {
  const material = Uint8Array.from({ length: 32 }, (_, i) => i);
  const key = korvi.Key.fromBytes(material);
  const freed = korvi.Key.fromBytes(material);
  freed.free();
  const calls = [
    () => korvi.fingerprint('john smith jr', { short: true, key }),
    () => korvi.fingerprint('jane q public', { raw: true, tiled: true, key }),
    () => assert.throws(() => korvi.fingerprint('too short', { key })),
    () => assert.throws(() => korvi.fingerprint('john smith jr', { key: freed }), TypeError),
    () => korvi.fingerprintExpression('"red balloons fly" OR "green pears grow"', { short: true, key }),
    () => korvi.fingerprintChunk('exact bytes', { key }),
    () => korvi.assetsFromName('person', 'C1', 'bob', 'j', 'smith', { key }),
    () => korvi.assetsFromAddress('person', 'C1', '12 north main st apt 4', { key }),
    () => korvi.assetsFromCityStateZip('person', 'C1', 'springfield', 'il', '62704', { key }),
    () => korvi.assetsFromEmailAddress('person', 'C1', 'john.doe@example.com', { key }),
    () => korvi.assetsFromSsn('person', 'C1', '123-45-6789', { key }),
    () => korvi.assetsFromPhoneNumber('person', 'C1', '(555) 123-4567', { key }),
    () => korvi.Key.fromBytes(material).free(),
    () => korvi.Key.fromHex('000102030405060708090a0b0c0d0e0f').free(),
  ];
  for (let i = 0; i < 20_000; ++i) calls[i % calls.length]();
  const before = korvi.heapSize();
  for (let i = 0; i < 1_000_000; ++i) calls[i % calls.length]();
  assert.equal(korvi.heapSize(), before);
  key.free();
});
