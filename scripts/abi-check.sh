#!/usr/bin/env bash
# Checks the plugin's binary interface against the live host's: record
# layouts, virtual tables and the decorated names of every host function the
# plugin imports, as MSVC makes them (clang-14 for x86_64-pc-windows-msvc).
# tests/abi/expected.txt holds the live host's; tests/abi/abi_check.py says how.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh clang-14 llvm-14 g++-mingw-w64-x86-64-posix
python3 tests/abi/abi_check.py --source .
