#!/usr/bin/env bash
# Builds the benchmarks in the Windows build, in build-bench-win/ (or
# $BUILD_DIR-win), with Google Benchmark from Debian's source, and runs them
# under wine with the arguments given, for example
#   bash scripts/bench-windows.sh --benchmark_filter='^ChatHook/' --benchmark_repetitions=3
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD_DIR:-build-bench}
benchmark=$(realpath -m "$build-win/benchmark-source")
bash scripts/debian-source.sh benchmark "$benchmark"
BUILD_DIR=$build bash scripts/build-windows.sh -DGLYPHWORK_BENCH=ON "-DGLYPHWORK_BENCHMARK_SOURCE=$benchmark"
export WINEPREFIX="$(realpath -m "$build-win")/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
[ -d "$WINEPREFIX" ] || wineboot --init >/dev/null 2>&1
wine "$build-win/bin/glyphwork-bench.exe" "$@"
