#!/usr/bin/env bash
# Builds into build/ (or $BUILD_DIR) and soaks usage counting at full size:
# 1,000,000 chat messages to four players over 60 seconds with usage counted,
# flushed every second into SQLite and then into a MariaDB server the soak
# starts itself.
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
