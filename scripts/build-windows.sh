#!/usr/bin/env bash
# Cross-builds Glyphwork for Windows x64 (MinGW-w64) into build-win/ (or
# $BUILD_DIR-win): Glyphwork.dll with the stand-in AsaApi.dll, Permissions.dll
# and the programs as .exe files, all in build-win/bin; SQLite built for it
# from Debian's source into build-win/sqlite (scripts/sqlite-for-mingw.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh g++-mingw-w64-x86-64-posix wine wine64
build_dir=${BUILD_DIR:-build}-win
sqlite=$(realpath -m "$build_dir/sqlite")
bash scripts/sqlite-for-mingw.sh "$sqlite"
cmake -S . -B "$build_dir" -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw64.cmake -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DGLYPHWORK_BENCH=OFF "-DSQLite3_INCLUDE_DIR=$sqlite/include" "-DSQLite3_LIBRARY=$sqlite/lib/libsqlite3.a" "$@" \
  >/dev/null
cmake --build "$build_dir" -j2
