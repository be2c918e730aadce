#!/usr/bin/env bash
# Builds everything for Windows x64 in the live host's binary interface into
# build-win/ (or $BUILD_DIR-win): Clang in its MSVC mode, lld-link and
# Microsoft's C++ library of the host's toolset
# (cmake/toolchain-clang-msvc.cmake, toolchain/clang-msvc/README.md).
# Glyphwork.dll for live servers, the stand-in AsaApi.dll, Permissions.dll and
# the programs as .exe files, all in build-win/bin; under wine they run with
# its own runtime DLLs. SQLite is compiled in, from Debian's source
# (scripts/sqlite-amalgamation.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh clang-19 clang-tools-19 lld-19 llvm-19 libwine-dev wine wine64
build_dir=${BUILD_DIR:-build}-win
sqlite=$(realpath -m "$build_dir/sqlite")
bash scripts/sqlite-amalgamation.sh "$sqlite"
cmake -S . -B "$build_dir" -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-clang-msvc.cmake -DCMAKE_BUILD_TYPE=Release \
  -DGLYPHWORK_BENCH=OFF "-DGLYPHWORK_SQLITE_SOURCE=$sqlite" "$@" >/dev/null
cmake --build "$build_dir" -j2
