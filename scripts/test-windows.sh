#!/usr/bin/env bash
# Builds the Windows x64 binaries in the live host's binary interface and runs
# the Windows tests, in a fresh wine prefix of their own: the test programs
# and the dev server's sessions under wine, and the check of Glyphwork.dll's
# binary interface (tests/abi/abi_check.py).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build-windows.sh
build_dir=${BUILD_DIR:-build}-win
export WINEPREFIX="$(realpath -m "$build_dir")/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
rm -rf "$WINEPREFIX"
wineboot --init >/dev/null 2>&1
ctest --test-dir "$build_dir" --output-on-failure
wineserver --kill >/dev/null 2>&1 || true
