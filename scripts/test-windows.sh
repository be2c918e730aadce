#!/usr/bin/env bash
# Builds the Windows x64 binaries and runs the test program and the dev
# server's demo session under wine, in a fresh wine prefix of their own.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build-windows.sh
build_dir=${BUILD_DIR:-build}-win
export WINEPREFIX="$(realpath -m "$build_dir")/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
rm -rf "$WINEPREFIX"
wineboot --init >/dev/null 2>&1
ctest --test-dir "$build_dir" --output-on-failure
wineserver --kill >/dev/null 2>&1 || true
