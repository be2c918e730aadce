#!/usr/bin/env bash
# Builds the plugin as a live build does and checks its binary interface
# against the live host's:
#  - the same CMake project with only the SDK variables set, here to our
#    stand-in SDK with the live host's logging library (spdlog 0.16.2) on its
#    include path, linked against the stand-in host: the plugin alone;
#  - record layouts, virtual tables and the decorated names of every host
#    function the plugin imports, as MSVC makes them (clang-14 for
#    x86_64-pc-windows-msvc), against tests/abi/expected.txt (how:
#    tests/abi/abi_check.py).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh clang-14 llvm-14 g++-mingw-w64-x86-64-posix
build_dir=${BUILD_DIR:-build}
BUILD_DIR=$build_dir bash scripts/build.sh
sdk="$PWD/sdk/AsaApi/Core/Public;$PWD/sdk/Permissions/Public;$PWD/third_party/spdlog-0.16.2"
host=$(find "$PWD/$build_dir/standin" -maxdepth 1 -name 'libAsaApi.so' -print -quit)
cmake -S . -B "$build_dir-live" -DCMAKE_BUILD_TYPE=RelWithDebInfo "-DGLYPHWORK_SDK_INCLUDE_DIRS=$sdk" \
  "-DGLYPHWORK_SDK_LIBRARIES=$host" >/dev/null
cmake --build "$build_dir-live" -j2 --target Glyphwork
python3 tests/abi/abi_check.py --source .
