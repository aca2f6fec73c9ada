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

export interface FingerprintOptions {
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

/** An operator node of an expression tree. */
export interface Operator {
  operator: 'AND' | 'OR' | 'AND_NOT';
  operands: [ExpressionTree, ExpressionTree];
}
/** An operand (its text with parseOnly, else its fingerprints) or an operator. */
export type ExpressionTree = string | string[] | Operator;

export interface ExpressionOptions {
  /** The bare tree, operands as their texts. */
  parseOnly?: boolean;
  mode?: CleanMode;
  tiled?: boolean;
  short?: boolean;
}

/** The tree of a boolean expression with each operand's fingerprints. Throws KorviError. */
export function fingerprintExpression(expression: Text, options?: ExpressionOptions): ExpressionTree;

/** The library's js_fingerprint: its text exactly (JSON envelope, or bare hex with flag 0x02). */
export function jsFingerprint(text: Text, mode?: CleanMode, flags?: number): string;

/** The cleaned form of a text; a string for a string, bytes for bytes. Throws KorviError. */
export function clean(text: string, mode?: CleanMode): string;
export function clean(text: Uint8Array, mode?: CleanMode): Uint8Array;

/** The fingerprint of the text's bytes exactly as given. */
export function fingerprintChunk(text: Text, options?: { short?: boolean }): string;

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
                               middleName: Optional, lastName: Optional): Asset[];
export function assetsFromAddress(recordType: Text, recordId: Text, address: Optional): Asset[];
export function assetsFromCityStateZip(recordType: Text, recordId: Text, city: Optional,
                                       state: Optional, zipCode: Optional): Asset[];
export function assetsFromEmailAddress(recordType: Text, recordId: Text, emailAddress: Optional): Asset[];
export function assetsFromSsn(recordType: Text, recordId: Text, ssn: Optional): Asset[];
export function assetsFromPhoneNumber(recordType: Text, recordId: Text, phoneNumber: Optional): Asset[];

/** The library's version, such as "0.1.0". */
export function libraryVersion(): string;
/** The Unicode version of the character data cleaning uses. */
export function unicodeVersion(): string;
/** The SHA-512 implementation in use ("scalar"). */
export function sha512Implementation(): string;
/** Bytes of the module's WebAssembly memory (it grows, never shrinks). */
export function heapSize(): number;
