// Reads tests/vectors/vectors.tsv, the cross-platform vectors every build of
// korvi replays: tab-separated fields, \N for NULL, escapes \\ \t \n \r \xHH.
import { readFileSync } from 'node:fs';

const path = new URL('../../tests/vectors/vectors.tsv', import.meta.url);

function unescape(field) {
  if (field.length === 2 && field[0] === 0x5c && field[1] === 0x4e) return null;  // \N
  const out = [];
  for (let i = 0; i < field.length; ++i) {
    if (field[i] !== 0x5c) {
      out.push(field[i]);
      continue;
    }
    const c = String.fromCharCode(field[++i]);
    if (c === 'x') {
      out.push(parseInt(String.fromCharCode(field[i + 1], field[i + 2]), 16));
      i += 2;
    } else {
      out.push({ '\\': 0x5c, t: 0x09, n: 0x0a, r: 0x0d }[c]);
    }
  }
  return Uint8Array.from(out);
}

function split(bytes, separator) {
  const parts = [];
  let start = 0;
  for (let i = 0; i <= bytes.length; ++i) {
    if (i === bytes.length || bytes[i] === separator) {
      parts.push(bytes.subarray(start, i));
      start = i + 1;
    }
  }
  return parts;
}

/** Every vector as { line, call, fields: (Uint8Array | null)[] } (bytes, as the C checker reads them). */
export function readVectors() {
  const vectors = [];
  split(readFileSync(path), 0x0a).forEach((line, index) => {
    if (line.length === 0 || line[0] === 0x23) return;
    const [call, ...fields] = split(line, 0x09).map(unescape);
    vectors.push({ line: index + 1, call: new TextDecoder().decode(call), fields });
  });
  return vectors;
}

export const text = (bytes) => (bytes === null ? null : new TextDecoder().decode(bytes));
