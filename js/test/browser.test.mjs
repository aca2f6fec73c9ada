// In a real headless Chromium: the example sign-up page fingerprints a
// form filled from the vectors' inputs and shows their expected assets, and
// every fingerprint vector, keyed ones included, gives the same bytes in the
// browser. A screenshot
// of the page goes to js/test-output/example.png.
import assert from 'node:assert/strict';
import { mkdirSync } from 'node:fs';
import { after, before, test } from 'node:test';

import { openBrowser } from '../tools/browser.mjs';
import { readVectors, text } from './vectors.js';

const vectors = readVectors();
let session;
before(async () => { session = await openBrowser(); });
after(async () => { await session?.close(); });

// The expected assets of the vector whose inputs are these, without record
// type and id (the page uses its own).
function expectedAssets(call, ...inputs) {
  const row = vectors.find((v) => v.call === call &&
                                  inputs.every((input, i) => text(v.fields[2 + i]) === input));
  assert.ok(row, `${call} ${inputs}`);
  return JSON.parse(text(row.fields.at(-1))).map(({ fingerprints, metadata }) =>
    ({ fingerprints, field: metadata.field, variantId: Number(metadata.variant_id) }));
}

test('the example page fingerprints its form as the vectors say', async () => {
  const page = await session.browser.newPage();
  const problems = [];
  page.on('pageerror', (error) => problems.push(String(error)));
  await page.setViewport({ width: 1000, height: 900 });
  await page.goto(`${session.base}/example/index.html`);
  await page.waitForSelector('button:not([disabled])', { timeout: 30_000 });
  const form = {
    first_name: 'kevin', middle_name: 'James', last_name: 'Doe',
    email_address: 'John.Doe@Example.com', phone_number: '(555) 123-4567',
    address: '123 N. Main St.', ssn: '123-45-6789',
  };
  for (const [name, value] of Object.entries(form)) await page.type(`#${name}`, value);
  await page.click('button');
  await page.waitForSelector('#output[data-count]');
  const shown = JSON.parse(await page.$eval('#output', (element) => element.textContent));
  const expected = [
    ...expectedAssets('assets_from_name', 'kevin', 'James', 'Doe'),
    ...expectedAssets('assets_from_email_address', 'John.Doe@Example.com'),
    ...expectedAssets('assets_from_phone_number', '(555) 123-4567'),
    ...expectedAssets('assets_from_address', '123 N. Main St.'),
    ...expectedAssets('assets_from_ssn', '123-45-6789'),
  ];
  assert.deepEqual(shown.map(({ fingerprints, field, variantId }) => ({ fingerprints, field, variantId })),
                   expected);
  assert.ok(shown.every((asset) => asset.recordId === 'signup-1'));
  assert.match(await page.$eval('#status', (element) => element.textContent), /^korvi \d+\.\d+\.\d+ loaded/);
  mkdirSync(new URL('../test-output/', import.meta.url), { recursive: true });
  await page.screenshot({ path: new URL('../test-output/example.png', import.meta.url).pathname, fullPage: true });
  assert.deepEqual(problems, []);
  await page.close();
});

test('every fingerprint vector, keyed or not, gives the same bytes in Chromium', async () => {
  const page = await session.browser.newPage();
  await page.goto(`${session.base}/example/index.html`);
  const row = (line, key, [input, mode, flags, , expected]) =>
    ({ line, key, input: Array.from(input), mode: Number(text(mode)), flags: Number(text(flags)),
       expected: text(expected) });
  const rows = [
    ...vectors.filter((v) => v.call === 'fingerprint' && v.fields[0] !== null)
      .map(({ line, fields }) => row(line, null, fields)),
    ...vectors.filter((v) => v.call === 'fingerprint_keyed' && v.fields[0] !== null && v.fields[1] !== null)
      .map(({ line, fields: [key, ...fields] }) => row(line, text(key), fields)),
  ];
  const mismatches = await page.evaluate(async (rows) => {
    const korvi = await import('/src/korvi.js');
    const keys = new Map();
    const keyOf = (hex) => {
      if (hex !== null && !keys.has(hex)) keys.set(hex, korvi.Key.fromHex(hex));
      return hex === null ? null : keys.get(hex);
    };
    const wrong = rows.filter((row) => korvi.jsFingerprint(Uint8Array.from(row.input), row.mode, row.flags,
                                                           { key: keyOf(row.key) }) !== row.expected)
      .map((row) => row.line);
    for (const key of keys.values()) key.free();
    return wrong;
  }, rows);
  assert.ok(rows.filter((r) => r.key === null).length > 400 && rows.filter((r) => r.key !== null).length > 40);
  assert.deepEqual(mismatches, []);
  await page.close();
});

test('fingerprint() and fingerprintMany() give the vectors\' lists in Chromium', async () => {
  const page = await session.browser.newPage();
  await page.goto(`${session.base}/example/index.html`);
  const listOf = (status, flags, expected) => {
    if (text(status) !== '0') return null;
    if ((flags & 2) !== 0) return text(expected).match(new RegExp(`.{${(flags & 8) !== 0 ? 16 : 64}}`, 'g')) ?? [];
    return JSON.parse(text(expected)).data.fingerprints;
  };
  const row = (line, key, [input, mode, flags, status, expected]) =>
    ({ line, key, input: Array.from(input), mode: Number(text(mode)), flags: Number(text(flags)),
       list: listOf(status, Number(text(flags)), expected) });
  const rows = [
    ...vectors.filter((v) => v.call === 'fingerprint' && v.fields[0] !== null)
      .map(({ line, fields }) => row(line, null, fields)),
    ...vectors.filter((v) => v.call === 'fingerprint_keyed' && v.fields[0] !== null && v.fields[1] !== null)
      .map(({ line, fields: [key, ...fields] }) => row(line, text(key), fields)),
  ].filter((r) => (r.flags & 1) === 0);
  const mismatches = await page.evaluate(async (rows) => {
    const korvi = await import('/src/korvi.js');
    const strict = new TextDecoder('utf-8', { fatal: true, ignoreBOM: true });
    const wrong = [];
    for (const hex of new Set(rows.map((r) => r.key))) {
      const key = hex === null ? null : korvi.Key.fromHex(hex);
      for (const r of rows.filter((r) => r.key === hex)) {
        const options = { mode: r.mode, tiled: (r.flags & 4) !== 0, short: (r.flags & 8) !== 0, key };
        const bytes = Uint8Array.from(r.input);
        let string = null;
        try { string = strict.decode(bytes); } catch { /* ill-formed: bytes only */ }
        for (const text of string === null ? [bytes] : [bytes, string]) {
          let list = null;
          try { list = korvi.fingerprint(text, options); } catch (error) { if (!(error instanceof korvi.KorviError)) throw error; }
          const [many] = korvi.fingerprintMany([text], options);
          if (JSON.stringify(list) !== JSON.stringify(r.list) || JSON.stringify(many) !== JSON.stringify(r.list)) {
            wrong.push(r.line);
          }
        }
      }
      key?.free();
    }
    return wrong;
  }, rows);
  assert.ok(rows.filter((r) => r.key === null && r.list !== null).length > 200 &&
            rows.some((r) => r.key !== null) && rows.some((r) => r.list === null));
  assert.deepEqual(mismatches, []);
  await page.close();
});
