#!/usr/bin/env bash
# SQLite for the Windows builds, which compile it in. Debian has no Windows
# build of SQLite, but it ships SQLite's source (the sqlite3 source package):
# this fetches that (scripts/debian-source.sh) and makes the single-file
# amalgamation from it (which takes tclsh), OUT/sqlite3.c and OUT/sqlite3.h.
# Done once per OUT.
#   bash scripts/sqlite-amalgamation.sh OUT
set -euo pipefail
cd "$(dirname "$0")/.."
out=$(realpath -m "$1")
[ -f "$out/sqlite3.c" ] && [ -f "$out/sqlite3.h" ] && exit 0
bash scripts/install-deps.sh tcl make gcc
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
bash scripts/debian-source.sh sqlite3 "$work/src"

# The amalgamation, made by SQLite's own build with the host's compiler.
mkdir -p "$work/src/amalgamation"
(cd "$work/src/amalgamation" && ../configure --disable-tcl >/dev/null && make -j2 sqlite3.c >/dev/null)

mkdir -p "$out"
cp "$work/src/amalgamation/sqlite3.c" "$work/src/amalgamation/sqlite3.h" "$out/"
echo "SQLite $(sed -n 's/^#define SQLITE_VERSION *"\(.*\)"/\1/p' "$out/sqlite3.h") amalgamation in $out"
