// The cross-platform vectors through the package: the library's texts byte
// for byte (js_fingerprint), and the package's parsed answers equal to the
// parsed expected texts.
import assert from 'node:assert/strict';
import { test } from 'node:test';

import * as korvi from '../src/korvi.js';
import { readVectors, text } from './vectors.js';

const vectors = readVectors();
const byCall = (call) => vectors.filter((v) => v.call === call);

const asset = ({ fingerprints, metadata }) => ({
  fingerprints, recordType: metadata.record_type, recordId: metadata.record_id,
  field: metadata.field, variantId: Number(metadata.variant_id),
});

test('fingerprint vectors: the same bytes, and the same lists or errors', () => {
  const rows = byCall('fingerprint').filter((v) => v.fields[0] !== null);
  assert.ok(rows.length > 400);
  for (const { line, fields: [input, mode, flags, status, expected] } of rows) {
    const m = Number(text(mode)), f = Number(text(flags));
    assert.equal(korvi.jsFingerprint(input, m, f), text(expected), `line ${line}`);
    const options = { mode: m, tiled: (f & 4) !== 0, short: (f & 8) !== 0 };
    const call = (f & 1) !== 0
      ? () => korvi.fingerprintExpression(input, { ...options, parseOnly: (f & 0x10) !== 0 })
      : () => korvi.fingerprint(input, { ...options, raw: (f & 2) !== 0 });
    if (text(status) === '0') {
      const envelope = (f & 3) === 2 ? null : JSON.parse(text(expected)).data;
      const answer = call();
      if (envelope === null) assert.equal(answer.join(''), text(expected), `line ${line}`);
      else assert.deepEqual(answer, (f & 1) !== 0 ? envelope : envelope.fingerprints, `line ${line}`);
    } else {
      assert.throws(call, (e) => e instanceof korvi.KorviError && e.status === Number(text(status)) &&
                                 e.message === JSON.parse(text(expected)).error, `line ${line}`);
    }
  }
});

test('clean_string vectors, bytes in and bytes out', () => {
  const rows = byCall('clean_string');
  assert.ok(rows.length > 80);
  for (const { line, fields: [input, mode, expected] } of rows) {
    if (input === null) continue;  // NULL: no JavaScript value sends it
    if (expected === null) {
      assert.throws(() => korvi.clean(input, Number(text(mode))), { status: 2 }, `line ${line}`);
    } else {
      assert.deepEqual(korvi.clean(input, Number(text(mode))), expected, `line ${line}`);
    }
  }
});

test('fingerprint_chunk vectors', () => {
  for (const { line, fields: [input, flags, expected] } of byCall('fingerprint_chunk')) {
    if (input === null) continue;
    const short = (Number(text(flags)) & 8) !== 0;
    assert.equal(korvi.fingerprintChunk(input, { short }), text(expected), `line ${line}`);
  }
});

test('assets vectors of all six fields', () => {
  const functions = {
    assets_from_name: korvi.assetsFromName,
    assets_from_address: korvi.assetsFromAddress,
    assets_from_city_state_zip: korvi.assetsFromCityStateZip,
    assets_from_email_address: korvi.assetsFromEmailAddress,
    assets_from_ssn: korvi.assetsFromSsn,
    assets_from_phone_number: korvi.assetsFromPhoneNumber,
  };
  for (const [call, assetsFrom] of Object.entries(functions)) {
    const rows = byCall(call);
    assert.ok(rows.length > 0, call);
    for (const { line, fields } of rows) {
      const expected = JSON.parse(text(fields.at(-1))).map(asset);
      assert.deepEqual(assetsFrom(...fields.slice(0, -1)), expected, `line ${line}`);
    }
  }
});
