#!/usr/bin/env bash
# Installs what is missing, then builds and runs every test twice: in the
# normal build (build/) and in the sanitizer build (build-asan/); then the
# Windows build in the live host's binary interface (build-win/) with its
# tests under wine and the check of Glyphwork.dll's binary interface, the
# release archives from both builds with their programs (and the live plugin)
# run from each unpacked archive alone, and the fuzz targets.
set -euo pipefail
cd "$(dirname "$0")/.."
# Each stage's start, with the minutes and seconds since the first.
started=$SECONDS
stage() { printf '=== %s (at %d:%02d)\n' "$1" $(((SECONDS - started) / 60)) $(((SECONDS - started) % 60)); }
stage "packages"
bash scripts/install-deps.sh
build_dir=${BUILD_DIR:-build}
stage "Linux build"
BUILD_DIR=$build_dir bash scripts/build.sh
stage "Linux tests"
ctest --test-dir "$build_dir" --output-on-failure -j2
stage "sanitizer build"
BUILD_DIR=$build_dir-asan bash scripts/build.sh -DGLYPHWORK_SANITIZE=ON -DGLYPHWORK_BENCH=OFF
stage "sanitizer tests"
ASAN_OPTIONS=detect_leaks=1 ctest --test-dir "$build_dir-asan" --output-on-failure -j2
stage "Windows build and tests"
bash scripts/test-windows.sh
stage "release archives"
BUILD_DIR=$build_dir bash scripts/release.sh
bash scripts/test-release.sh
stage "fuzz targets"
bash scripts/fuzz.sh "${FUZZ_SECONDS:-30}"
stage "done"
