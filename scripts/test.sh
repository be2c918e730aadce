#!/usr/bin/env bash
# Installs what is missing, then builds and runs every test twice: in the
# normal build (build/) and in the sanitizer build (build-asan/); then the
# Windows build in the live host's binary interface (build-win/) with its
# tests under wine and the check of Glyphwork.dll's binary interface, the
# release archives from both builds with their programs (and the live plugin)
# run from each unpacked archive alone, and the fuzz targets.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
build_dir=${BUILD_DIR:-build}
BUILD_DIR=$build_dir bash scripts/build.sh
ctest --test-dir "$build_dir" --output-on-failure -j2
BUILD_DIR=$build_dir-asan bash scripts/build.sh -DGLYPHWORK_SANITIZE=ON -DGLYPHWORK_BENCH=OFF
ASAN_OPTIONS=detect_leaks=1 ctest --test-dir "$build_dir-asan" --output-on-failure -j2
bash scripts/test-windows.sh
BUILD_DIR=$build_dir bash scripts/release.sh
bash scripts/test-release.sh
bash scripts/fuzz.sh "${FUZZ_SECONDS:-30}"
