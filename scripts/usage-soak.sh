#!/usr/bin/env bash
# Builds into build/ (or $BUILD_DIR) and soaks usage counting at full size:
# 1,000,000 chat messages to four players over 60 seconds with usage counted,
# flushed every second into SQLite and then into a MariaDB server the soak
# starts itself; then, with 10,000 codes over many days (an hour of a busy
# server's rows), 30 idle seconds whose flushes must read nothing and keep
# memory flat.
# docs/hardening.md says what it reports.
#   bash scripts/usage-soak.sh [MESSAGES] [SECONDS] [BACKENDS]
set -euo pipefail
cd "$(dirname "$0")/.."
messages=${1:-1000000}
seconds=${2:-60}
backends=${3:-sqlite,mysql}
bash scripts/install-deps.sh
build_dir=${BUILD_DIR:-build}
BUILD_DIR=$build_dir bash scripts/build.sh
"$build_dir/tests/devserver/usage_soak" --messages "$messages" --seconds "$seconds" --backends "$backends" --strict
"$build_dir/tests/devserver/usage_soak" --messages 200000 --seconds 30 --emoji 10000 --idle 30 --backends "$backends" \
  --strict
