#!/usr/bin/env bash
# Builds into build/ (or $BUILD_DIR) and soaks usage counting at full size:
# 1,000,000 chat messages to four players with usage counted, flushed every
# second into SQLite and then into a MariaDB server the soak starts itself.
# docs/hardening.md says what it reports.
#   bash scripts/usage-soak.sh [MESSAGES] [BACKENDS]
set -euo pipefail
cd "$(dirname "$0")/.."
messages=${1:-1000000}
backends=${2:-sqlite,mysql}
bash scripts/install-deps.sh
build_dir=${BUILD_DIR:-build}
BUILD_DIR=$build_dir bash scripts/build.sh
"$build_dir/tests/devserver/usage_soak" --messages "$messages" --backends "$backends" --strict
