// fingerprintMany against the cross-platform vectors (public salt and keyed:
// one call per mode and flag word, nulls where a vector is an error), its
// refusals, and texts around the size of the input buffer that one text per
// call is copied into (ASCII and not), against node:crypto.
import assert from 'node:assert/strict';
import { createHash, randomBytes } from 'node:crypto';
import { test } from 'node:test';

import * as korvi from '../src/korvi.js';
import { readVectors, text } from './vectors.js';

const SALT = 'Qm7pZ2vX+9LcT4nB8rKs1A';
const vectors = readVectors();

// The expected list of a plain-road vector (bare digits or the envelope's
// array), or null for an error.
function expectedList(status, flags, expected) {
  if (text(status) !== '0') return null;
  if ((flags & 2) !== 0) return text(expected).match(new RegExp(`.{${(flags & 8) !== 0 ? 16 : 64}}`, 'g')) ?? [];
  return JSON.parse(text(expected)).data.fingerprints;
}

// Vectors of the plain road grouped by key, mode and flags (the raw flag
// aside, which gives the same lists).
function groups(rows) {
  const byOptions = new Map();
  for (const { key, input, mode, flags, status, expected } of rows) {
    const m = Number(text(mode)), f = Number(text(flags));
    if ((f & 1) !== 0) continue;
    const name = `${text(key)} ${m} ${f & ~2}`;
    if (!byOptions.has(name)) {
      byOptions.set(name, { key: text(key), options: { mode: m, tiled: (f & 4) !== 0, short: (f & 8) !== 0 },
                            inputs: [], lists: [] });
    }
    byOptions.get(name).inputs.push(input);
    byOptions.get(name).lists.push(expectedList(status, f, expected));
  }
  return [...byOptions.values()];
}

test('fingerprintMany gives each vector its list, and null for each error', () => {
  const plain = vectors.filter((v) => v.call === 'fingerprint' && v.fields[0] !== null)
    .map(({ fields: [input, mode, flags, status, expected] }) => ({ key: null, input, mode, flags, status, expected }));
  const keyed = vectors.filter((v) => v.call === 'fingerprint_keyed' && v.fields[0] !== null && v.fields[1] !== null)
    .map(({ fields: [key, input, mode, flags, status, expected] }) => ({ key, input, mode, flags, status, expected }));
  const all = groups([...plain, ...keyed]);
  assert.ok(all.reduce((n, g) => n + g.inputs.length, 0) > 300);
  assert.ok(all.some((g) => g.lists.includes(null)) && all.some((g) => g.key !== null));
  for (const { key: hex, options, inputs, lists } of all) {
    const key = hex === null ? null : korvi.Key.fromHex(hex);
    try {
      assert.deepEqual(korvi.fingerprintMany(inputs, { ...options, key }), lists, `${hex} ${JSON.stringify(options)}`);
      // The same texts as strings, where they are well-formed UTF-8.
      const strict = new TextDecoder('utf-8', { fatal: true, ignoreBOM: true });
      const wellFormed = inputs.flatMap((input, i) => {
        try {
          return [[strict.decode(input), lists[i]]];
        } catch {
          return [];
        }
      });
      assert.deepEqual(korvi.fingerprintMany(wellFormed.map(([string]) => string), { ...options, key }),
                       wellFormed.map(([, list]) => list));
    } finally {
      key?.free();
    }
  }
});

test('fingerprintMany: refusals become null, wrong types and freed keys throw', () => {
  const texts = ['john smith jr', 'too short', 'john\0smith jr', 'john smith \uD800 jr',
                 Uint8Array.of(0x61, 0xff, 0x62, 0x63, 0x64, 0x65, 0x66, 0x67, 0x68, 0x69, 0x6a, 0x6b, 0x6c, 0x6d),
                 'jane q public'];
  assert.deepEqual(korvi.fingerprintMany(texts, { short: true }),
                   [['07e965b4d1d8a439', 'cb0ca6abc12be5b4'], null, null, null, null,
                    korvi.fingerprint('jane q public', { short: true })]);
  assert.deepEqual(korvi.fingerprintMany([]), []);
  assert.deepEqual(korvi.fingerprintMany(new Set(['john smith jr']).values(), { short: true }),
                   [['07e965b4d1d8a439', 'cb0ca6abc12be5b4']]);
  assert.throws(() => korvi.fingerprintMany(['john smith jr', 42]), { name: 'TypeError', message: /texts\[1\]/ });
  for (const wrong of ['john smith jr', null, 42, { length: 1, 0: 'john smith jr' }]) {
    assert.throws(() => korvi.fingerprintMany(wrong), TypeError);
  }
  const key = korvi.Key.fromHex('00'.repeat(32));
  key.free();
  assert.throws(() => korvi.fingerprintMany(['john smith jr'], { key }), { message: /freed/ });
  assert.throws(() => korvi.fingerprintMany(['john smith jr'], { mode: 'binary' }), RangeError);
});

test('texts around the input buffer size, ASCII and not, against node:crypto', () => {
  // Tiles of 14 code points, the last flush with the end; letters that
  // cleaning keeps as they are.
  const tiles = (letters) => {
    const expected = new Set();
    for (let start = 0; start < letters.length; start += 14) {
      const from = Math.min(start, letters.length - 14);
      expected.add(createHash('sha512').update(letters.slice(from, from + 14).join('')).update(SALT)
        .digest('hex').slice(0, 16));
    }
    return [...expected].sort();
  };
  for (const [alphabet, lengths] of [['ABCDEFGHIJKLMNOPQRSTUVWXYZ', [4094, 4095, 4096, 4097]],
                                     ['ABCÉÖÅ', [1364, 1365, 1366, 2047, 2048, 2049]]]) {
    for (const length of lengths) {
      const letters = Array.from({ length }, (_, i) => alphabet[(i * 7 + (i >> 3)) % alphabet.length]);
      const expected = tiles(letters);
      assert.deepEqual(korvi.fingerprint(letters.join(''), { tiled: true, short: true }), expected, `${length}`);
      assert.deepEqual(korvi.fingerprintMany(['john smith jr', letters.join('')], { tiled: true, short: true })[1],
                       expected, `${length}`);
    }
  }
});

test('a batch past every chunk boundary, with refusals, a text larger than the input area and long answers', () => {
  const sha = (window) => createHash('sha512').update(window).update(SALT).digest('hex').slice(0, 64);
  const windows = (letters) => {
    const prints = new Set();
    for (let i = 0; i + 14 <= letters.length; ++i) prints.add(sha(letters.slice(i, i + 14)));
    return [...prints].sort();
  };
  const letters = (length) => Array.from(randomBytes(length), (byte) => String.fromCharCode(65 + (byte % 26))).join('');
  // 1,500 texts (more than one call takes) of 110 kB (more than its input
  // area), one of them 70 kB alone; answers of 6 MB of digits, decoded in
  // pieces; refusals of each kind, one first in the second call.
  const texts = Array.from({ length: 1500 }, (_, i) => (i === 150 ? letters(70000) : letters(20 + (i % 50))));
  texts[7] = 'too short';
  texts[200] = Uint8Array.of(0x41, 0xff, 0x42, 0x43, 0x44, 0x45, 0x46, 0x47, 0x48, 0x49, 0x4a, 0x4b, 0x4c, 0x4d);
  texts[1024] = 'a NUL\0 in the middle of a text';
  texts[1025] = `${letters(30)}\u00e9`;  // not ASCII: through TextEncoder
  const refused = new Set([7, 200, 1024]);
  const expected = texts.map((text, i) => {
    if (refused.has(i)) return null;
    return i === 1025 ? windows(text.slice(0, -1) + '\u00c9') : windows(text);
  });
  assert.deepEqual(korvi.fingerprintMany(texts), expected);
});
