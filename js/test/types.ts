// Compiled by js/test.sh with tsc --noEmit --strict: the declarations in
// korvi.d.ts accept the documented calls and reject misuse (@ts-expect-error
// fails the compile when the line below it is accepted).
import {
  Asset, ExpressionTree, Key, KorviError, assetsFromName, clean, fingerprint, fingerprintChunk,
  fingerprintExpression, fingerprintMany, jsFingerprint, libraryVersion,
} from 'korvi';

const prints: string[] = fingerprint('john smith jr', { mode: 'text', tiled: true, short: true, raw: false });
const fromBytes: string[] = fingerprint(new Uint8Array([0x61]), { mode: 2 });
const many: (string[] | null)[] = fingerprintMany(['john smith jr', new Uint8Array([0x61])], { short: true });
// @ts-expect-error an entry may be null (a refused text)
const manyUnchecked: string[][] = fingerprintMany(['john smith jr']);
const cleaned: string = clean('text');
const cleanedBytes: Uint8Array = clean(new Uint8Array([0x61]), 'code');
const tree: ExpressionTree = fingerprintExpression('red OR blue', { parseOnly: true });
const chunk: string = fingerprintChunk('exact', { short: true });
const raw: string = jsFingerprint('john smith jr', 0, 0x0a);
const assets: Asset[] = assetsFromName('person', '1', 'john', null, 'smith');
const id: number = assets[0].variantId;
const version: string = libraryVersion();
const key: Key = Key.fromHex('000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f');
const keyId: string = key.keyId;
const keyed: string[] = fingerprint('john smith jr', { short: true, key });
const keyedAssets: Asset[] = assetsFromName('person', '1', 'john', null, 'smith', { key });
const keyedChunk: string = fingerprintChunk('exact', { key: Key.fromBytes(new Uint8Array(32)) });
key.free();
// @ts-expect-error keys come from Key.fromBytes or Key.fromHex
new Key();
// @ts-expect-error a key is a Key, not its hex
fingerprint('john smith jr', { key: '000102030405060708090a0b0c0d0e0f' });
try {
  fingerprint('x');
} catch (error) {
  if (error instanceof KorviError) {
    const status: 1 | 2 | 3 | null = error.status;
    console.log(status, error.message);
  }
}
// @ts-expect-error a number is no text
fingerprint(42);
// @ts-expect-error no such option
fingerprint('john smith jr', { tiles: true });
// @ts-expect-error clean of a string is a string
const wrong: Uint8Array = clean('text');
console.log(prints, fromBytes, cleaned, cleanedBytes, tree, chunk, raw, id, version, wrong, keyId, keyed,
            keyedAssets, keyedChunk);
