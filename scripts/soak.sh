#!/usr/bin/env bash
# Builds into build/ (or $BUILD_DIR) and soaks the dev server's RCON port at
# full size: 60 seconds of flooding and pipelining clients, guessers (one of
# them going through thousands of addresses), logins held back, a login
# flood and idle sockets, then a reload at 10,000 and at 100,000 emoji.
# docs/dev-server.md says what it reports.
#   bash scripts/soak.sh [SECONDS] [SMALL,LARGE]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
emoji=${2:-10000,100000}
bash scripts/install-deps.sh
build_dir=${BUILD_DIR:-build}
BUILD_DIR=$build_dir bash scripts/build.sh
"$build_dir/tests/devserver/rcon_soak" --seconds "$seconds" --emoji "$emoji" --strict
