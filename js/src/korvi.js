// korvi for JavaScript: the library's exports over its WebAssembly build.
// Texts cross into the module as zero-terminated UTF-8 in buffers allocated
// for one call and released before it returns, as is every answer the
// library hands back. Nothing here needs Node: the same file runs in
// browsers, workers and Node.
import createKorviModule from '../dist/korvi-wasm.mjs';

const wasm = await createKorviModule();

const FLAG_BOOLEAN = 0x01;
const FLAG_RAW = 0x02;
const FLAG_TILED = 0x04;
const FLAG_SHORT = 0x08;
const FLAG_PARSE_ONLY = 0x10;
const MODES = { text: 0, code: 1, digits: 2 };
const STATUS_OF_MESSAGE = {
  'Input length too short': 1,
  'Failed utf8 conversion': 2,
  'Expression parse error': 3,
};

/** A refusal by the library; message is the library's own, status its STATUS_* code. */
export class KorviError extends Error {
  constructor(message, status = null) {
    super(message);
    this.name = 'KorviError';
    this.status = status;
  }
}

const encoder = new TextEncoder();
const decoder = new TextDecoder('utf-8', { fatal: false });
const LONE_SURROGATE = /[\uD800-\uDBFF](?![\uDC00-\uDFFF])|(?<![\uD800-\uDBFF])[\uDC00-\uDFFF]/;

// UTF-8 of a string with lone surrogates, each of them as its (ill-formed)
// three-byte form, which the library refuses as it refuses any ill-formed
// text; TextEncoder would turn them into U+FFFD and fingerprint those.
function utf8(text) {
  const bytes = [];
  for (let i = 0; i < text.length; ++i) {
    let c = text.charCodeAt(i);
    if (c >= 0xd800 && c <= 0xdbff && i + 1 < text.length) {
      const low = text.charCodeAt(i + 1);
      if (low >= 0xdc00 && low <= 0xdfff) {
        c = 0x10000 + ((c - 0xd800) << 10) + (low - 0xdc00);
        ++i;
      }
    }
    if (c < 0x80) bytes.push(c);
    else if (c < 0x800) bytes.push(0xc0 | (c >> 6), 0x80 | (c & 0x3f));
    else if (c < 0x10000) bytes.push(0xe0 | (c >> 12), 0x80 | ((c >> 6) & 0x3f), 0x80 | (c & 0x3f));
    else {
      bytes.push(0xf0 | (c >> 18), 0x80 | ((c >> 12) & 0x3f), 0x80 | ((c >> 6) & 0x3f),
                 0x80 | (c & 0x3f));
    }
  }
  return Uint8Array.from(bytes);
}

const hasIsWellFormed = typeof String.prototype.isWellFormed === 'function';

// Refuses what the library cannot take; returns the text, or its UTF-8
// bytes where a string holds lone surrogates.
function checked(text, what) {
  if (typeof text === 'string') {
    if (text.includes('\0')) throw new KorviError(`${what} holds a NUL byte`);
    const wellFormed = hasIsWellFormed ? text.isWellFormed() : !LONE_SURROGATE.test(text);
    return wellFormed ? text : utf8(text);
  }
  if (!(text instanceof Uint8Array)) {
    throw new TypeError(`${what} must be a string or a Uint8Array, not ${describe(text)}`);
  }
  if (text.includes(0)) throw new KorviError(`${what} holds a NUL byte`);
  return text;
}

function describe(value) {
  return value === null ? 'null' : Array.isArray(value) ? 'an array' : typeof value;
}

function modeOf(mode) {
  if (typeof mode === 'string') {
    const value = MODES[mode.toLowerCase()];
    if (value === undefined) throw new RangeError(`unknown cleaning mode "${mode}" (text, code or digits)`);
    return value;
  }
  if (Number.isInteger(mode) && mode >= -0x80000000 && mode <= 0x7fffffff) return mode;
  throw new TypeError(`cleaning mode must be "text", "code", "digits" or an integer, not ${describe(mode)}`);
}

// Copies texts (checked) into the module's heap for one call, zero-terminated,
// and frees them after it, also when the call throws. Well-formed strings are
// encoded straight into the heap. A null text goes in as NULL.
function withTexts(texts, call) {
  const pointers = [];
  try {
    for (const text of texts) {
      if (text === null) {
        pointers.push(0);
        continue;
      }
      const capacity = typeof text === 'string' ? 3 * text.length + 1 : text.length + 1;
      const pointer = wasm._malloc(capacity);
      if (pointer === 0) throw new RangeError('korvi: out of memory for the input');
      pointers.push(pointer);
      const heap = wasm.HEAPU8;  // after malloc: the heap may have grown
      let length = text.length;
      if (typeof text === 'string') {
        length = encoder.encodeInto(text, heap.subarray(pointer, pointer + capacity - 1)).written;
      } else {
        heap.set(text, pointer);
      }
      heap[pointer + length] = 0;
    }
    return call(...pointers);
  } finally {
    for (const pointer of pointers) if (pointer !== 0) wasm._free(pointer);
  }
}

// The bytes of a zero-terminated answer, released with korvi_free; null for NULL.
function takeBytes(pointer) {
  if (pointer === 0) return null;
  try {
    const heap = wasm.HEAPU8;  // after the call: the heap may have grown
    return heap.slice(pointer, heap.indexOf(0, pointer));
  } finally {
    wasm._korvi_free(pointer);
  }
}

function takeText(pointer) {
  if (pointer === 0) return null;
  try {
    const heap = wasm.HEAPU8;
    return decoder.decode(heap.subarray(pointer, heap.indexOf(0, pointer)));
  } finally {
    wasm._korvi_free(pointer);
  }
}

function outOfMemory() {
  return new RangeError('korvi: the library ran out of memory');
}

/**
 * The text of the library's js_fingerprint for one text, mode and flag word,
 * exactly as the C library writes it: a JSON envelope, or bare hex with the
 * raw flag.
 */
export function jsFingerprint(text, mode = 0, flags = 0) {
  const answer = withTexts([checked(text, 'text')],
                           (p) => takeText(wasm._js_fingerprint(p, modeOf(mode), flags >>> 0)));
  if (answer === null) throw outOfMemory();
  return answer;
}

// The answer of a successful call; a KorviError for the error envelope.
function succeed(answer) {
  if (answer.startsWith('{"success":false')) {
    const message = JSON.parse(answer).error;
    throw new KorviError(message, STATUS_OF_MESSAGE[message] ?? null);
  }
  return answer;
}

/**
 * Fingerprints of a text: sorted, distinct lower-case hex strings (64 digits,
 * 16 with short). Throws a KorviError with the library's message: "Input
 * length too short", "Failed utf8 conversion".
 */
export function fingerprint(text, { mode = 'text', tiled = false, short = false, raw = false } = {}) {
  const flags = (tiled ? FLAG_TILED : 0) | (short ? FLAG_SHORT : 0) | (raw ? FLAG_RAW : 0);
  const answer = succeed(jsFingerprint(text, mode, flags));
  if (!raw) return JSON.parse(answer).data.fingerprints;
  const width = short ? 16 : 64;
  const fingerprints = [];
  for (let i = 0; i < answer.length; i += width) fingerprints.push(answer.slice(i, i + width));
  return fingerprints;
}

/**
 * The tree of a boolean expression, each operand replaced by its
 * fingerprints (or its text, with parseOnly). Throws a KorviError:
 * "Expression parse error", "Failed utf8 conversion".
 */
export function fingerprintExpression(expression, { parseOnly = false, mode = 'text', tiled = false,
                                                    short = false } = {}) {
  const flags = FLAG_BOOLEAN | (parseOnly ? FLAG_PARSE_ONLY : 0) | (tiled ? FLAG_TILED : 0) |
                (short ? FLAG_SHORT : 0);
  return JSON.parse(succeed(jsFingerprint(expression, mode, flags))).data;
}

/**
 * The cleaned form fingerprints are taken from. A string for a string, a
 * Uint8Array for a Uint8Array. Throws a KorviError "Failed utf8 conversion"
 * for text that is not well-formed UTF-8.
 */
export function clean(text, mode = 'text') {
  const cleaned = withTexts([checked(text, 'text')], (p) => takeBytes(wasm._clean_string(p, modeOf(mode))));
  if (cleaned === null) throw new KorviError('Failed utf8 conversion', 2);
  return typeof text === 'string' ? decoder.decode(cleaned) : cleaned;
}

/** The fingerprint of the text's bytes exactly as given: 64 hex digits, or 16 with short. */
export function fingerprintChunk(text, { short = false } = {}) {
  const answer = withTexts([checked(text, 'text')],
                           (p) => takeText(wasm._fingerprint_chunk(p, short ? FLAG_SHORT : 0)));
  if (answer === null) throw outOfMemory();
  return answer;
}

function assets(exportName, named) {
  const texts = Object.entries(named).map(([name, value]) =>
    value === null || value === undefined ? null : checked(value, name));
  const answer = withTexts(texts, (...pointers) => takeText(wasm[exportName](...pointers)));
  if (answer === null) throw outOfMemory();
  return JSON.parse(answer).map(({ fingerprints, metadata }) => ({
    fingerprints,
    recordType: metadata.record_type,
    recordId: metadata.record_id,
    field: metadata.field,
    variantId: Number(metadata.variant_id),
  }));
}

/** Assets of a full name; a null middle name means there is none. */
export function assetsFromName(recordType, recordId, firstName, middleName, lastName) {
  return assets('_assets_from_name', { recordType, recordId, firstName, middleName, lastName });
}

/** Assets of a street address line. */
export function assetsFromAddress(recordType, recordId, address) {
  return assets('_assets_from_address', { recordType, recordId, address });
}

/** Assets of a city, state and ZIP code. */
export function assetsFromCityStateZip(recordType, recordId, city, state, zipCode) {
  return assets('_assets_from_city_state_zip', { recordType, recordId, city, state, zipCode });
}

/** The one asset of an e-mail address. */
export function assetsFromEmailAddress(recordType, recordId, emailAddress) {
  return assets('_assets_from_email_address', { recordType, recordId, emailAddress });
}

/** The one asset of a social-security number. */
export function assetsFromSsn(recordType, recordId, ssn) {
  return assets('_assets_from_ssn', { recordType, recordId, ssn });
}

/** The one asset of a phone number. */
export function assetsFromPhoneNumber(recordType, recordId, phoneNumber) {
  return assets('_assets_from_phone_number', { recordType, recordId, phoneNumber });
}

/** The library's version, such as "0.1.0". */
export function libraryVersion() {
  return wasm.UTF8ToString(wasm._korvi_version());
}

/** The Unicode version of the character data cleaning uses. */
export function unicodeVersion() {
  return wasm.UTF8ToString(wasm._korvi_unicode_version());
}

/** The SHA-512 implementation in use ("scalar" in WebAssembly). */
export function sha512Implementation() {
  return wasm.UTF8ToString(wasm._korvi_sha512_implementation());
}

/** Bytes of the module's memory: for checking that calls leave nothing behind. */
export function heapSize() {
  return wasm.HEAPU8.length;
}
