// Every export beyond the vectors, and hostile input: each refusal is a
// clear error and the module keeps working after it. Expected fingerprints
// come from node:crypto (SHA-512 of the bytes followed by the salt).
import assert from 'node:assert/strict';
import { createHash } from 'node:crypto';
import { test } from 'node:test';

import * as korvi from '../src/korvi.js';

const SALT = 'Qm7pZ2vX+9LcT4nB8rKs1A';
const sha = (bytes, digits) =>
  createHash('sha512').update(bytes).update(SALT).digest('hex').slice(0, digits);
const bytes = (...values) => Uint8Array.from(values);
const stillWorks = () => assert.deepEqual(korvi.fingerprint('john smith jr', { short: true }),
                                          ['07e965b4d1d8a439', 'cb0ca6abc12be5b4']);

test('fingerprint options: tiles, short, raw and modes', () => {
  const text = 'abcdefghijklmnopqrst';  // 20 letters: 7 windows, 2 tiles
  const upper = text.toUpperCase();
  const windows = [...Array(7).keys()].map((i) => sha(upper.slice(i, i + 14), 64)).sort();
  assert.deepEqual(korvi.fingerprint(text), windows);
  assert.deepEqual(korvi.fingerprint(text, { raw: true }), windows);
  const tiles = [sha(upper.slice(0, 14), 16), sha(upper.slice(6), 16)].sort();
  assert.deepEqual(korvi.fingerprint(text, { tiled: true, short: true }), tiles);
  // Digits only: twelve, so one space at each end and a single window.
  assert.deepEqual(korvi.fingerprint('(555) 123-4567 x89', { mode: 'digits', short: true }),
                   [sha(' 555123456789 ', 16)]);
  // Code mode keeps punctuation; 20 characters give two tiles, the last flush with the end.
  assert.deepEqual(korvi.fingerprint('john.doe@example.com', { mode: 'code', tiled: true, short: true }),
                   [sha('JOHN.DOE@EXAMP', 16), sha('OE@EXAMPLE.COM', 16)].sort());
  assert.throws(() => korvi.fingerprint(text, { mode: 'binary' }), RangeError);
  assert.throws(() => korvi.fingerprint(text, { mode: 1.5 }), TypeError);
});

test('expressions, chunks, clean and versions', () => {
  const tree = korvi.fingerprintExpression('"red balloons fly" - "green pears ripen"', { short: true });
  assert.equal(tree.operator, 'AND_NOT');
  assert.deepEqual(tree.operands[0], korvi.fingerprint('red balloons fly', { short: true }));
  assert.throws(() => korvi.fingerprintExpression('red OR'), { status: 3, message: 'Expression parse error' });
  assert.equal(korvi.fingerprintChunk('exact bytes'), sha('exact bytes', 64));
  assert.equal(korvi.fingerprintChunk(bytes(0xff, 0xfe), { short: true }), sha(bytes(0xff, 0xfe), 16));
  assert.equal(korvi.clean('ßtraße é-x'), 'ßTRAßE É X');
  assert.match(korvi.libraryVersion(), /^\d+\.\d+\.\d+$/);
  assert.equal(korvi.unicodeVersion(), '15.0.0');
  assert.equal(korvi.sha512Implementation(), 'simd128x2');
});

test('lone surrogates and ill-formed UTF-8 are refused as the library refuses them', () => {
  for (const bad of ['john smith \uD800 jr', 'john smith \uDC00 jr', 'john smith \uDC00\uD800 jr']) {
    assert.throws(() => korvi.fingerprint(bad), { name: 'KorviError', status: 2, message: 'Failed utf8 conversion' });
    assert.throws(() => korvi.clean(bad), { status: 2 });
    assert.deepEqual(korvi.assetsFromEmailAddress('person', '1', bad), []);
  }
  // A lone surrogate reaches the library as its three bytes, not as U+FFFD.
  assert.equal(korvi.fingerprintChunk('a\uD800'), sha(bytes(0x61, 0xed, 0xa0, 0x80), 64));
  assert.equal(korvi.fingerprintChunk('a\uD83D\uDE00'), sha(bytes(0x61, 0xf0, 0x9f, 0x98, 0x80), 64));
  for (const bad of [bytes(0x61, 0xff, 0x62), bytes(0xc0, 0xaf), bytes(0xed, 0xa0, 0x80), bytes(0xf4, 0x90, 0x80, 0x80)]) {
    assert.throws(() => korvi.fingerprint(Uint8Array.from([...new TextEncoder().encode('john smith jr '), ...bad])),
                  { status: 2 });
  }
  stillWorks();
});

test('NUL bytes and wrong types are refused before the library sees them', () => {
  assert.throws(() => korvi.fingerprint('john\0smith jr and co'), { name: 'KorviError', status: null, message: /NUL/ });
  assert.throws(() => korvi.clean(bytes(0x61, 0, 0x62)), { message: /NUL/ });
  assert.throws(() => korvi.assetsFromSsn('person', 'a\0b', '123-45-6789'), { message: /recordId holds a NUL/ });
  for (const wrong of [42, null, undefined, ['a'], { text: 'a' }]) {
    assert.throws(() => korvi.fingerprint(wrong), TypeError);
  }
  assert.deepEqual(korvi.assetsFromName('person', '1', null, null, 'smith'), []);
  assert.deepEqual(korvi.assetsFromName('person', '1', 'john', undefined, 'smith'),
                   korvi.assetsFromName('person', '1', 'john', null, 'smith'));
  stillWorks();
});

test('huge inputs: a megabyte text in tiles, and one too big for memory', () => {
  let text = '';
  for (let seed = 1; text.length < 1 << 20;) {  // xorshift32 letters
    seed ^= seed << 13;
    seed ^= seed >>> 17;
    seed ^= seed << 5;
    text += String.fromCharCode(65 + (seed >>> 0) % 26);
  }
  const expected = new Set();
  for (let start = 0; start < text.length; start += 14) {
    expected.add(sha(text.slice(Math.min(start, text.length - 14), Math.min(start, text.length - 14) + 14), 16));
  }
  assert.deepEqual(korvi.fingerprint(text, { tiled: true, short: true }), [...expected].sort());
  assert.equal(korvi.fingerprint(text, { short: true }).length, text.length - 13);
  // 80 million windows of 32-byte digests are more than the module's 2 GiB:
  // a clear error, then business as usual.
  assert.throws(() => korvi.fingerprint(new Uint8Array(80_000_000).fill(0x61)),
                (e) => e instanceof RangeError && /out of memory/.test(e.message));
  stillWorks();
});

test('deep expressions: a clear answer or error, never a crash', () => {
  const nested = '('.repeat(100_000) + 'red balloons' + ')'.repeat(100_000);
  assert.throws(() => korvi.fingerprintExpression(nested, { parseOnly: true }), { status: 3 });
  const chain = Array(20_000).fill('"red balloons fly"').join(' OR ');
  let tree = korvi.fingerprintExpression(chain, { short: true });
  let depth = 0;
  for (; typeof tree === 'object' && !Array.isArray(tree); tree = tree.operands[0]) ++depth;
  assert.equal(depth, 19_999);
  stillWorks();
});
