// korvi for JavaScript: the library's exports over its WebAssembly build.
// Texts cross into the module as zero-terminated UTF-8: one text per call
// goes into a small buffer kept in the module for the whole session, others
// (several texts, long ones) into buffers allocated for one call and released
// before it returns, as is every answer the library hands back. Nothing here
// needs Node: the same file runs in browsers, workers and Node.
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

// One text per call goes into this buffer, allocated once: most texts are
// names and addresses, and a malloc, a free and a fresh view per call cost
// as much as a fifth of a short fingerprint. Longer texts take withTexts.
const SCRATCH_BYTES = 4096;
const scratch = wasm._malloc(SCRATCH_BYTES);
if (scratch === 0) throw new RangeError('korvi: out of memory for the input buffer');
let scratchView = null;  // over the buffer, renewed when the heap grows
let scratchHeap = null;  // the module's view scratchView was made from

function scratchBytes() {
  const heap = wasm.HEAPU8;  // a new view once the heap has grown
  if (heap !== scratchHeap) {
    scratchView = heap.subarray(scratch, scratch + SCRATCH_BYTES);
    scratchHeap = heap;
  }
  return scratchView;
}

// call(pointer) with one text (checked) in the module, zero-terminated; the
// buffer is reused, so call must be done with it when it returns (the
// library copies what it keeps).
function withText(text, call) {
  if (text.length >= SCRATCH_BYTES / 3) return withTexts([text], call);
  const bytes = scratchBytes();
  let length = text.length;
  if (typeof text === 'string') length = encoder.encodeInto(text, bytes).written;
  else bytes.set(text);
  bytes[length] = 0;
  return call(scratch);
}

// Copies a string of ASCII characters other than NUL into the buffer,
// zero-terminated; false (with the buffer partly written) for any other
// text. Most names and addresses are such strings, and a loop here is much
// cheaper than the checks and TextEncoder a text otherwise takes: in
// browsers TextEncoder is a call into the browser that costs more than the
// name's copy.
function copiedAscii(text) {
  return typeof text === 'string' && copyAscii(text, scratchBytes(), 0, SCRATCH_BYTES) >= 0;
}

// Writes text (a string of ASCII characters other than NUL) into bytes at
// at, zero-terminated; its length, or -1 (with bytes partly written) for any
// other text or one that does not fit before end.
function copyAscii(text, bytes, at, end) {
  const length = text.length;
  if (at + length >= end) return -1;
  for (let i = 0; i < length; ++i) {
    const c = text.charCodeAt(i);
    if (c === 0 || c > 0x7f) return -1;
    bytes[at + i] = c;
  }
  bytes[at + length] = 0;
  return length;
}

// call(pointer) with one text (any Text; what stands for) in the module.
function withAnyText(text, what, call) {
  return copiedAscii(text) ? call(scratch) : withText(checked(text, what), call);
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

const KEY_MIN_BYTES = 16;
const KEY_MAX_BYTES = 1024;
// Each live Key's handle in the module; a freed key has none, so no call can
// reach the library with it (and none falls back to the public salt).
const keyHandles = new WeakMap();
const keyConstruction = Symbol('korvi key');
// A safety net for keys dropped without free(): the garbage collector may
// release them late or never, so free() stays the way to wipe a key.
const forgottenKeys = typeof FinalizationRegistry === 'function'
  ? new FinalizationRegistry((handle) => wasm._korvi_key_free(handle)) : null;

/**
 * A key for keyed fingerprints, shared by the two sides of one partnership:
 * nobody without it can test guesses against the fingerprints. Pass it as
 * the key option; free() wipes it from the module's memory.
 */
export class Key {
  #keyId;

  constructor(token, handle, keyId) {
    if (token !== keyConstruction) throw new TypeError('make a korvi Key with Key.fromBytes or Key.fromHex');
    this.#keyId = keyId;
    keyHandles.set(this, handle);
    forgottenKeys?.register(this, handle, this);
  }

  /** A key from 16 to 1024 bytes of random material (32 recommended). */
  static fromBytes(material) {
    if (!(material instanceof Uint8Array)) {
      throw new TypeError(`key material must be a Uint8Array, not ${describe(material)}`);
    }
    if (material.length < KEY_MIN_BYTES || material.length > KEY_MAX_BYTES) {
      throw new RangeError(`key material must be ${KEY_MIN_BYTES} to ${KEY_MAX_BYTES} bytes, not ${material.length}`);
    }
    const pointer = wasm._malloc(material.length);
    if (pointer === 0) throw new RangeError('korvi: out of memory for the key');
    let handle = 0;
    try {
      wasm.HEAPU8.set(material, pointer);
      handle = wasm._korvi_key_new(pointer, material.length);
    } finally {
      // The library keeps only what it derived: no copy of the material stays behind.
      wasm.HEAPU8.fill(0, pointer, pointer + material.length);
      wasm._free(pointer);
    }
    if (handle === 0) throw outOfMemory();
    const idPointer = wasm._malloc(17);
    if (idPointer === 0) {
      wasm._korvi_key_free(handle);
      throw new RangeError('korvi: out of memory for the key id');
    }
    try {
      wasm._korvi_key_id(handle, idPointer);
      return new Key(keyConstruction, handle, wasm.UTF8ToString(idPointer));
    } finally {
      wasm._free(idPointer);
    }
  }

  /**
   * A key from 32 to 2048 hex digits (an even number; what korvi keygen
   * writes), white space around them ignored.
   */
  static fromHex(text) {
    if (typeof text !== 'string') throw new TypeError(`a hex key must be a string, not ${describe(text)}`);
    const digits = text.trim();
    if (!/^[0-9a-fA-F]*$/.test(digits)) {
      throw new RangeError('not a key: only hex digits 0-9 and a-f are allowed');
    }
    if (digits.length < 2 * KEY_MIN_BYTES || digits.length > 2 * KEY_MAX_BYTES || digits.length % 2 !== 0) {
      throw new RangeError(`a key needs an even number of hex digits from ${2 * KEY_MIN_BYTES} to ` +
                           `${2 * KEY_MAX_BYTES}, not ${digits.length} (korvi keygen makes one)`);
    }
    const material = new Uint8Array(digits.length / 2);
    try {
      for (let i = 0; i < material.length; ++i) material[i] = parseInt(digits.substr(2 * i, 2), 16);
      return Key.fromBytes(material);
    } finally {
      material.fill(0);
    }
  }

  /** 16 lower-case hex digits naming the key: safe to show and compare (also after free). */
  get keyId() {
    return this.#keyId;
  }

  /** Whether free() was called: a freed key is refused by every function. */
  get freed() {
    return !keyHandles.has(this);
  }

  /** Wipes the key in the module's memory and releases it; later calls are harmless. */
  free() {
    const handle = keyHandles.get(this);
    if (handle === undefined) return;
    keyHandles.delete(this);
    forgottenKeys?.unregister(this);
    wasm._korvi_key_free(handle);
  }
}

// The module handle of a key option; 0 for no key. A freed key or anything
// else is refused: never fingerprinted with the public salt instead.
function keyHandleOf(key) {
  if (key === undefined || key === null) return 0;
  if (!(key instanceof Key)) throw new TypeError(`key must be a korvi Key, not ${describe(key)}`);
  const handle = keyHandles.get(key);
  if (handle === undefined) throw new TypeError(`key ${key.keyId} has been freed`);
  return handle;
}

// The text of a FingerprintResult record (status at offset 0, text pointer
// at 4), with the record released; null for NULL.
function takeResultText(record) {
  if (record === 0) return null;
  try {
    const heap = wasm.HEAPU8;
    const text = (heap[record + 4] | (heap[record + 5] << 8) | (heap[record + 6] << 16) |
                  (heap[record + 7] << 24)) >>> 0;
    return text === 0 ? null : decoder.decode(heap.subarray(text, heap.indexOf(0, text)));
  } finally {
    wasm._free_result(record);
  }
}

/**
 * The text of the library's js_fingerprint for one text, mode and flag word,
 * exactly as the C library writes it: a JSON envelope, or bare hex with the
 * raw flag. With a key, that of fingerprint_keyed.
 */
export function jsFingerprint(text, mode = 0, flags = 0, { key } = {}) {
  const handle = keyHandleOf(key);
  const answer = withAnyText(text, 'text', (p) => handle === 0
    ? takeText(wasm._js_fingerprint(p, modeOf(mode), flags >>> 0))
    : takeResultText(wasm._fingerprint_keyed(handle, p, modeOf(mode), flags >>> 0)));
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

// How an answer's digits become strings. In Node a TextDecoder call is
// cheap, and slices of the one decoded answer cost least. In browsers
// (measured in Chromium) each call costs about a third of a name's time, so
// each fingerprint is made straight from the module's memory: one call with
// every digit as an argument, a flat string (hex16, hex64). Either way the
// strings are the same; only the time differs.
const decoderIsCheap = typeof process === 'object' && process !== null &&
                       typeof process.versions === 'object' && typeof process.versions.node === 'string';
const fromCharCode = String.fromCharCode;

// The 16 or 64 hex digits at heap[at] as a string.
function hex16(h, at) {
  return fromCharCode(h[at], h[at + 1], h[at + 2], h[at + 3], h[at + 4], h[at + 5], h[at + 6],
                      h[at + 7], h[at + 8], h[at + 9], h[at + 10], h[at + 11], h[at + 12],
                      h[at + 13], h[at + 14], h[at + 15]);
}

function hex64(h, at) {
  return fromCharCode(
    h[at], h[at + 1], h[at + 2], h[at + 3], h[at + 4], h[at + 5], h[at + 6], h[at + 7],
    h[at + 8], h[at + 9], h[at + 10], h[at + 11], h[at + 12], h[at + 13], h[at + 14], h[at + 15],
    h[at + 16], h[at + 17], h[at + 18], h[at + 19], h[at + 20], h[at + 21], h[at + 22], h[at + 23],
    h[at + 24], h[at + 25], h[at + 26], h[at + 27], h[at + 28], h[at + 29], h[at + 30], h[at + 31],
    h[at + 32], h[at + 33], h[at + 34], h[at + 35], h[at + 36], h[at + 37], h[at + 38], h[at + 39],
    h[at + 40], h[at + 41], h[at + 42], h[at + 43], h[at + 44], h[at + 45], h[at + 46], h[at + 47],
    h[at + 48], h[at + 49], h[at + 50], h[at + 51], h[at + 52], h[at + 53], h[at + 54], h[at + 55],
    h[at + 56], h[at + 57], h[at + 58], h[at + 59], h[at + 60], h[at + 61], h[at + 62], h[at + 63]);
}

// The end of the bare digits at text (whole fingerprints of width digits up
// to the terminator): a step per fingerprint finds it, where a search would
// read every digit.
function digitsEnd(heap, text, width) {
  let end = text;
  while (heap[end] !== 0) {
    if (heap[end + width - 1] === 0 || heap[end + width - 1] === undefined) {
      throw new KorviError(`unexpected answer from the library: ${decoder.decode(heap.subarray(text, end + width))}`);
    }
    end += width;
  }
  return end;
}

// The KorviError of the library's error envelope at text; null for digits.
function refusalAt(heap, text) {
  if (heap[text] !== 0x7b) return null;  // '{' opens only the envelope
  const message = JSON.parse(decoder.decode(heap.subarray(text, heap.indexOf(0, text)))).error;
  return new KorviError(message, STATUS_OF_MESSAGE[message] ?? null);
}

// The fingerprints in the library's answer at text (bare digits, width each),
// or the KorviError of its error envelope; the answer stays for the caller
// to release.
function fingerprintsAt(text, width) {
  const heap = wasm.HEAPU8;  // after the call: the heap may have grown
  const refusal = refusalAt(heap, text);
  if (refusal !== null) return refusal;
  const end = digitsEnd(heap, text, width);
  const fingerprints = [];
  if (decoderIsCheap) {
    const digits = decoder.decode(heap.subarray(text, end));
    for (let i = 0; i < digits.length; i += width) fingerprints.push(digits.slice(i, i + width));
  } else {
    for (let at = text; at < end; at += width) fingerprints.push(width === 64 ? hex64(heap, at) : hex16(heap, at));
  }
  return fingerprints;
}

// use(answer) with the library's answer for the text at pointer (bare digits
// or the error envelope), which is released after it.
function withAnswer(pointer, mode, flags, handle, use) {
  if (handle === 0) {
    const text = wasm._js_fingerprint(pointer, mode, flags);
    if (text === 0) throw outOfMemory();
    try {
      return use(text);
    } finally {
      wasm._korvi_free(text);
    }
  }
  const record = wasm._fingerprint_keyed(handle, pointer, mode, flags);
  if (record === 0) throw outOfMemory();
  try {
    const heap = wasm.HEAPU8;
    const text = (heap[record + 4] | (heap[record + 5] << 8) | (heap[record + 6] << 16) |
                  (heap[record + 7] << 24)) >>> 0;
    if (text === 0) throw outOfMemory();
    return use(text);
  } finally {
    wasm._free_result(record);
  }
}

// The bare digits are asked for always: the envelope's array holds them in
// the same order (raw gives the same array either way).
function fingerprintFlags(tiled, short) {
  return FLAG_RAW | (tiled ? FLAG_TILED : 0) | (short ? FLAG_SHORT : 0);
}

/**
 * Fingerprints of a text: sorted, distinct lower-case hex strings (64 digits,
 * 16 with short). Throws a KorviError with the library's message: "Input
 * length too short", "Failed utf8 conversion".
 */
export function fingerprint(text, { mode = 'text', tiled = false, short = false, raw = false, key } = {}) {
  const handle = keyHandleOf(key);
  const modeValue = modeOf(mode);
  const flags = fingerprintFlags(tiled, short);
  const width = short ? 16 : 64;
  const answer = withAnyText(text, 'text',
                             (p) => withAnswer(p, modeValue, flags, handle, (t) => fingerprintsAt(t, width)));
  if (answer instanceof KorviError) throw answer;
  return answer;
}

// fingerprintMany hands the library many texts per call
// (korvi_fingerprint_many): into an area of module memory made once, kept for
// the session, the texts' bytes (zero-terminated, back to back), a pointer to
// each and room for each text's count. One call per chunk of texts, where a
// call per text cost a third more than hashing in browsers; the answers'
// digits are decoded a piece of at most DIGIT_PIECE bytes at a time and
// sliced into fingerprints.
const MANY_TEXT_BYTES = 1 << 16;
const MANY_TEXTS = 1024;
const DIGIT_PIECE = 1 << 16;
let manyArea = 0;  // MANY_TEXT_BYTES of texts, MANY_TEXTS pointers, MANY_TEXTS counts

// The fingerprints of count texts whose pointers are in the area, into
// results from first on (null for a refusal).
function fingerprintsOfChunk(count, first, results, mode, flags, handle, width) {
  const pointers = manyArea + MANY_TEXT_BYTES;
  const counts = pointers + 4 * MANY_TEXTS;
  const digits = handle === 0
    ? wasm._korvi_fingerprint_many(pointers, count, mode, flags, counts)
    : wasm._korvi_fingerprint_many_keyed(handle, pointers, count, mode, flags, counts);
  if (digits === 0) throw outOfMemory();
  try {
    // Counts are int64; fewer than 2^31 fit in the module, so the low word
    // (little-endian) holds each, negative for a refusal.
    const found = new Int32Array(wasm.HEAPU8.buffer, counts, 2 * count);
    let text = '';
    let textStart = digits;  // where the decoded piece text starts in the module
    let at = digits;
    for (let i = 0; i < count; ++i) {
      const n = found[2 * i];
      if (n < 0) {
        results[first + i] = null;
        continue;
      }
      const end = at + n * width;
      if (end - textStart > text.length) {  // past the decoded piece: decode the next
        textStart = at;
        let pieceEnd = end;
        for (let j = i + 1; j < count && found[2 * j] >= 0; ++j) {
          if (pieceEnd + found[2 * j] * width - at > DIGIT_PIECE) break;
          pieceEnd += found[2 * j] * width;
        }
        text = decoder.decode(wasm.HEAPU8.subarray(at, pieceEnd));
      }
      const fingerprints = new Array(n);
      for (let k = 0, from = at - textStart; k < n; ++k, from += width) {
        fingerprints[k] = text.slice(from, from + width);
      }
      results[first + i] = fingerprints;
      at = end;
    }
  } finally {
    wasm._korvi_free(digits);
  }
}

/**
 * fingerprint() of each text, options read once: an array as long as texts,
 * with null where fingerprint() would throw a KorviError (a text too short,
 * ill-formed UTF-8, a NUL byte). A text that is neither a string nor a
 * Uint8Array throws a TypeError naming its index.
 */
export function fingerprintMany(texts, { mode = 'text', tiled = false, short = false, key } = {}) {
  if (texts === null || typeof texts !== 'object' || typeof texts[Symbol.iterator] !== 'function') {
    throw new TypeError(`texts must be an array or another iterable, not ${describe(texts)}`);
  }
  const list = Array.isArray(texts) ? texts : Array.from(texts);
  const handle = keyHandleOf(key);
  const modeValue = modeOf(mode);
  const flags = fingerprintFlags(tiled, short);
  const width = short ? 16 : 64;
  if (manyArea === 0) {
    manyArea = wasm._malloc(MANY_TEXT_BYTES + 12 * MANY_TEXTS);
    if (manyArea === 0) throw new RangeError('korvi: out of memory for the texts');
  }
  const results = new Array(list.length);
  let first = 0;  // the chunk's first text
  let count = 0;  // texts in the chunk
  let used = 0;   // their bytes in the area
  let heap = wasm.HEAPU8;
  let pointers = new Uint32Array(heap.buffer, manyArea + MANY_TEXT_BYTES, MANY_TEXTS);
  const flush = () => {
    if (count > 0) fingerprintsOfChunk(count, first, results, modeValue, flags, handle, width);
    heap = wasm.HEAPU8;  // the call may have grown the heap
    pointers = new Uint32Array(heap.buffer, manyArea + MANY_TEXT_BYTES, MANY_TEXTS);
    first += count;
    count = 0;
    used = 0;
  };
  for (let index = 0; index < list.length; ++index) {
    if (count === MANY_TEXTS) flush();
    const text = list[index];
    let length = typeof text === 'string' ? copyAscii(text, heap, manyArea + used, manyArea + MANY_TEXT_BYTES) : -1;
    if (length < 0) {
      let bytes;
      try {
        bytes = checked(text, `texts[${index}]`);
      } catch (error) {
        if (!(error instanceof KorviError)) throw error;
        pointers[count++] = 0;  // a NULL text, which the library refuses in turn
        continue;
      }
      const capacity = typeof bytes === 'string' ? 3 * bytes.length + 1 : bytes.length + 1;
      if (capacity > MANY_TEXT_BYTES) {  // a text longer than the area goes alone
        flush();
        withTexts([bytes], (pointer) => {
          new Uint32Array(wasm.HEAPU8.buffer, manyArea + MANY_TEXT_BYTES, 1)[0] = pointer;
          count = 1;
          flush();
        });
        continue;
      }
      if (used + capacity > MANY_TEXT_BYTES) flush();
      const at = manyArea + used;
      if (typeof bytes === 'string') {
        length = encoder.encodeInto(bytes, heap.subarray(at, at + capacity - 1)).written;
      } else {
        heap.set(bytes, at);
        length = bytes.length;
      }
      heap[at + length] = 0;
    }
    pointers[count++] = manyArea + used;
    used += length + 1;
  }
  flush();
  return results;
}

/**
 * The tree of a boolean expression, each operand replaced by its
 * fingerprints (or its text, with parseOnly). Throws a KorviError:
 * "Expression parse error", "Failed utf8 conversion".
 */
export function fingerprintExpression(expression, { parseOnly = false, mode = 'text', tiled = false,
                                                    short = false, key } = {}) {
  const flags = FLAG_BOOLEAN | (parseOnly ? FLAG_PARSE_ONLY : 0) | (tiled ? FLAG_TILED : 0) |
                (short ? FLAG_SHORT : 0);
  return JSON.parse(succeed(jsFingerprint(expression, mode, flags, { key }))).data;
}

/**
 * The cleaned form fingerprints are taken from. A string for a string, a
 * Uint8Array for a Uint8Array. Throws a KorviError "Failed utf8 conversion"
 * for text that is not well-formed UTF-8.
 */
export function clean(text, mode = 'text') {
  const cleaned = withAnyText(text, 'text', (p) => takeBytes(wasm._clean_string(p, modeOf(mode))));
  if (cleaned === null) throw new KorviError('Failed utf8 conversion', 2);
  return typeof text === 'string' ? decoder.decode(cleaned) : cleaned;
}

/** The fingerprint of the text's bytes exactly as given: 64 hex digits, or 16 with short. */
export function fingerprintChunk(text, { short = false, key } = {}) {
  const handle = keyHandleOf(key);
  const flags = short ? FLAG_SHORT : 0;
  const answer = withAnyText(text, 'text', (p) => takeText(handle === 0
    ? wasm._fingerprint_chunk(p, flags) : wasm._fingerprint_chunk_keyed(handle, p, flags)));
  if (answer === null) throw outOfMemory();
  return answer;
}

// Assets of one field; with options.key, those of the keyed export (key first).
function assets(exportName, named, options) {
  const handle = keyHandleOf(options?.key);
  const texts = Object.entries(named).map(([name, value]) =>
    value === null || value === undefined ? null : checked(value, name));
  const answer = withTexts(texts, (...pointers) => takeText(handle === 0
    ? wasm[exportName](...pointers) : wasm[`${exportName}_keyed`](handle, ...pointers)));
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
export function assetsFromName(recordType, recordId, firstName, middleName, lastName, options) {
  return assets('_assets_from_name', { recordType, recordId, firstName, middleName, lastName }, options);
}

/** Assets of a street address line. */
export function assetsFromAddress(recordType, recordId, address, options) {
  return assets('_assets_from_address', { recordType, recordId, address }, options);
}

/** Assets of a city, state and ZIP code. */
export function assetsFromCityStateZip(recordType, recordId, city, state, zipCode, options) {
  return assets('_assets_from_city_state_zip', { recordType, recordId, city, state, zipCode }, options);
}

/** The one asset of an e-mail address. */
export function assetsFromEmailAddress(recordType, recordId, emailAddress, options) {
  return assets('_assets_from_email_address', { recordType, recordId, emailAddress }, options);
}

/** The one asset of a social-security number. */
export function assetsFromSsn(recordType, recordId, ssn, options) {
  return assets('_assets_from_ssn', { recordType, recordId, ssn }, options);
}

/** The one asset of a phone number. */
export function assetsFromPhoneNumber(recordType, recordId, phoneNumber, options) {
  return assets('_assets_from_phone_number', { recordType, recordId, phoneNumber }, options);
}

/** The library's version, such as "0.1.0". */
export function libraryVersion() {
  return wasm.UTF8ToString(wasm._korvi_version());
}

/** The Unicode version of the character data cleaning uses. */
export function unicodeVersion() {
  return wasm.UTF8ToString(wasm._korvi_unicode_version());
}

/** The SHA-512 implementation in use ("simd128x2": two lanes of WebAssembly SIMD128). */
export function sha512Implementation() {
  return wasm.UTF8ToString(wasm._korvi_sha512_implementation());
}

/** Bytes of the module's memory: for checking that calls leave nothing behind. */
export function heapSize() {
  return wasm.HEAPU8.length;
}
