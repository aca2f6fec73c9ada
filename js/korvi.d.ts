// Types of the korvi package (src/korvi.js).

/** A text for the library: a string (sent as UTF-8) or bytes (sent as they are). */
export type Text = string | Uint8Array;

/** Cleaning modes: what survives besides letters and digits. */
export type CleanMode = 'text' | 'code' | 'digits' | 0 | 1 | 2 | number;

/** A refusal by the library, carrying its message. */
export class KorviError extends Error {
  /** 1 "Input length too short", 2 "Failed utf8 conversion", 3 "Expression parse error"; null for a NUL byte in a text. */
  readonly status: 1 | 2 | 3 | null;
}

/**
 * A key for keyed fingerprints, shared by the two sides of one partnership:
 * nobody without it can test guesses against the fingerprints. Wipe it with
 * free() when done; a freed key is refused by every function.
 */
export class Key {
  private constructor();
  /** From 16 to 1024 bytes of random material (32 recommended). Throws RangeError otherwise. */
  static fromBytes(material: Uint8Array): Key;
  /** From 32 to 2048 hex digits (an even number), white space around them ignored. Throws RangeError otherwise. */
  static fromHex(text: string): Key;
  /** 16 lower-case hex digits naming the key: safe to show and compare. */
  readonly keyId: string;
  /** Whether free() was called. */
  readonly freed: boolean;
  /** Wipes the key in the module's memory and releases it. */
  free(): void;
}

/** Fingerprint with this key instead of the public salt. */
export interface KeyOption {
  key?: Key | null;
}

export interface FingerprintOptions extends KeyOption {
  /** Cleaning mode, default "text". */
  mode?: CleanMode;
  /** Side-by-side tiles instead of sliding windows. */
  tiled?: boolean;
  /** 16 hex digits instead of 64. */
  short?: boolean;
  /** Take the library's JSON-free answer; the result is the same. */
  raw?: boolean;
}

/** Fingerprints of a text: sorted, distinct lower-case hex strings. Throws KorviError. */
export function fingerprint(text: Text, options?: FingerprintOptions): string[];

/**
 * fingerprint() of each text with the same options, read once: null where
 * fingerprint() would throw a KorviError. Throws TypeError for a text that
 * is neither a string nor a Uint8Array.
 */
export function fingerprintMany(texts: Iterable<Text>, options?: FingerprintOptions): (string[] | null)[];

/** An operator node of an expression tree. */
export interface Operator {
  operator: 'AND' | 'OR' | 'AND_NOT';
  operands: [ExpressionTree, ExpressionTree];
}
/** An operand (its text with parseOnly, else its fingerprints) or an operator. */
export type ExpressionTree = string | string[] | Operator;

export interface ExpressionOptions extends KeyOption {
  /** The bare tree, operands as their texts. */
  parseOnly?: boolean;
  mode?: CleanMode;
  tiled?: boolean;
  short?: boolean;
}

/** The tree of a boolean expression with each operand's fingerprints. Throws KorviError. */
export function fingerprintExpression(expression: Text, options?: ExpressionOptions): ExpressionTree;

/** The library's js_fingerprint: its text exactly (JSON envelope, or bare hex with flag 0x02). */
export function jsFingerprint(text: Text, mode?: CleanMode, flags?: number, options?: KeyOption): string;

/** The cleaned form of a text; a string for a string, bytes for bytes. Throws KorviError. */
export function clean(text: string, mode?: CleanMode): string;
export function clean(text: Uint8Array, mode?: CleanMode): Uint8Array;

/** The fingerprint of the text's bytes exactly as given. */
export function fingerprintChunk(text: Text, options?: { short?: boolean } & KeyOption): string;

/** The fingerprints of one spelling variant of a personal field. */
export interface Asset {
  /** 16 hex digits each. */
  fingerprints: string[];
  recordType: string;
  recordId: string;
  field: 'name' | 'address' | 'city_state_zip' | 'email_address' | 'ssn' | 'phone_number';
  /** Position among the field's variants, from 1. */
  variantId: number;
}

type Optional = Text | null | undefined;
export function assetsFromName(recordType: Text, recordId: Text, firstName: Optional,
                               middleName: Optional, lastName: Optional, options?: KeyOption): Asset[];
export function assetsFromAddress(recordType: Text, recordId: Text, address: Optional,
                                  options?: KeyOption): Asset[];
export function assetsFromCityStateZip(recordType: Text, recordId: Text, city: Optional,
                                       state: Optional, zipCode: Optional, options?: KeyOption): Asset[];
export function assetsFromEmailAddress(recordType: Text, recordId: Text, emailAddress: Optional,
                                       options?: KeyOption): Asset[];
export function assetsFromSsn(recordType: Text, recordId: Text, ssn: Optional, options?: KeyOption): Asset[];
export function assetsFromPhoneNumber(recordType: Text, recordId: Text, phoneNumber: Optional,
                                      options?: KeyOption): Asset[];

/** The library's version, such as "0.1.0". */
export function libraryVersion(): string;
/** The Unicode version of the character data cleaning uses. */
export function unicodeVersion(): string;
/** The SHA-512 implementation in use ("simd128x2": two lanes of WebAssembly SIMD128). */
export function sha512Implementation(): string;
/** Bytes of the module's WebAssembly memory (it grows, never shrinks). */
export function heapSize(): number;
