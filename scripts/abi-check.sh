#!/usr/bin/env bash
# Builds the Windows build in the live host's binary interface and checks
# Glyphwork.dll and our SDK's headers against the live host's binary
# interface (tests/abi/expected.txt; how: tests/abi/abi_check.py). The
# Windows test run (scripts/test-windows.sh) runs the same check among its
# tests.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR=${BUILD_DIR:-build} bash scripts/build-windows.sh
python3 tests/abi/abi_check.py --build "${BUILD_DIR:-build}-win"
