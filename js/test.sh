#!/usr/bin/env bash
# Builds the WebAssembly module and checks the npm package, on Debian 12 as
# root: the TypeScript declarations compiled against typical calls (Debian's
# tsc), the Node tests (vectors, every export, hostile input, a million calls
# with flat memory), the headless Chromium test of the example page (with a
# screenshot in js/test-output/example.png), and the packed tarball installed
# into a scratch project and imported as a user would. Slow (minutes), so it
# runs with the platform checks (dist/test-platforms.sh), not in .ci/run.
set -euo pipefail
cd "$(dirname "$0")/.."
source dist/common.sh
bash dist/build-wasm.sh
need_packages chromium node-typescript
cd js
npm ci --no-audit --no-fund
echo "== TypeScript declarations (tsc $(tsc --version | sed 's/Version //'))"
tsc -p test/tsconfig.json
node --test test/*.test.mjs

echo "== npm pack, installed and imported from a scratch project"
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
tarball=$(npm pack --pack-destination "$scratch" | tail -n1)
(cd "$scratch" && npm init -y >/dev/null && npm install --no-audit --no-fund "./$tarball" >/dev/null &&
  node --input-type=module -e "
    import { fingerprint, libraryVersion } from 'korvi';
    const got = fingerprint('john smith jr', { short: true }).join(' ');
    if (got !== '07e965b4d1d8a439 cb0ca6abc12be5b4') throw new Error('packed korvi gives ' + got);
    console.log('packed korvi ' + libraryVersion() + ': ' + got);")
echo "== js/$tarball: $(stat -c %s "$scratch/$tarball") bytes"
