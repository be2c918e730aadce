#!/usr/bin/env bash
# Builds the release archives into dist/, each with a .sha256 beside it:
#   Glyphwork-<version>-tools-linux-x86_64.tar.gz (the Linux build, build/)
#   Glyphwork-<version>-tools-win64.zip           (the Windows build, build-win/)
#   Glyphwork-<version>-plugin-win64.zip          (Glyphwork.dll for live servers, build-win/)
# Installs what is missing, builds what is out of date, then packs.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
build_dir=${BUILD_DIR:-build}
BUILD_DIR=$build_dir bash scripts/build.sh
BUILD_DIR=$build_dir bash scripts/build-windows.sh
mkdir -p dist
for dir in "$build_dir" "$build_dir-win"; do
  rm -rf "$dir/dist"
  (cd "$dir" && cpack >/dev/null)
  cp "$dir"/dist/Glyphwork-* dist/
done
ls -1 dist/Glyphwork-*
