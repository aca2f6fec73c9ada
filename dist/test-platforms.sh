#!/usr/bin/env bash
# The platform checks that .ci/run leaves out for time: the whole test suite
# on the 32-bit x86 library, then the Windows DLL built and tested under
# wine64, then the WebAssembly build and its npm package in Node and headless
# Chromium (js/test.sh). Debian 12, as root; see the README's "Platforms" section.
set -euo pipefail
cd "$(dirname "$0")/.."
bash dist/build-linux-i386.sh
bash dist/build-windows-x64.sh
bash js/test.sh
