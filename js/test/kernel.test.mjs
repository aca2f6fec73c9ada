// The module's SHA-512 lanes against node:crypto: batches of every size from
// one window to dozens (odd counts leave a lane idle), public salt and keyed
// (HMAC continues from a key block), each text's windows hashed by the
// library in one batch.
import assert from 'node:assert/strict';
import { createHash, createHmac, hkdfSync, randomBytes } from 'node:crypto';
import { test } from 'node:test';

import * as korvi from '../src/korvi.js';

const SALT = 'Qm7pZ2vX+9LcT4nB8rKs1A';
const WINDOW = 14;

// Upper-case letters, which cleaning keeps as they are (it upper-cases).
function randomText(length) {
  return Array.from(randomBytes(length), (byte) => String.fromCharCode(65 + (byte % 26))).join('');
}

// The sorted, distinct fingerprints (first half of each digest) of every
// window, by node:crypto.
function expectedWindows(text, digest) {
  const prints = new Set();
  for (let i = 0; i + WINDOW <= text.length; ++i) prints.add(digest(text.slice(i, i + WINDOW)));
  return [...prints].sort();
}

test('batches of 1 to 60 windows agree with node:crypto, public salt and keyed', () => {
  const material = randomBytes(32);
  const macKey = Buffer.from(hkdfSync('sha512', material, 'korvi keyed fingerprints v1', 'fingerprint', 64));
  const key = korvi.Key.fromBytes(material);
  const sha = (window) => createHash('sha512').update(window).update(SALT).digest('hex').slice(0, 64);
  const hmac = (window) => createHmac('sha512', macKey).update(window).update(SALT).digest('hex').slice(0, 64);
  try {
    for (let windows = 1; windows <= 60; ++windows) {
      const text = randomText(windows + WINDOW - 1);
      assert.deepEqual(korvi.fingerprint(text), expectedWindows(text, sha), text);
      assert.deepEqual(korvi.fingerprint(text, { key }), expectedWindows(text, hmac), text);
    }
  } finally {
    key.free();
  }
});
