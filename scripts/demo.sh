#!/usr/bin/env bash
# Installs what is missing, builds, copies the example server folder to a
# scratch folder, installs the plugin there and runs the demo script on the
# dev server, printing what every player receives.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
bash scripts/build.sh
build_dir=${BUILD_DIR:-build}
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
cp -r examples/server/. "$scratch"
cp "$build_dir/Glyphwork.so" "$scratch/ShooterGame/Binaries/Win64/ArkApi/Plugins/Glyphwork/"
"$build_dir/programs/devserver/glyphwork-devserver" --root "$scratch" --script examples/demo.txt
