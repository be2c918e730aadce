#!/usr/bin/env bash
# SQLite for the Windows builds, which compile it in. Debian has no Windows
# build of SQLite, but it ships SQLite's source (the sqlite3 source package):
# this fetches that with apt-get and makes the single-file amalgamation from
# it (which takes tclsh), OUT/sqlite3.c and OUT/sqlite3.h. Done once per OUT.
#   bash scripts/sqlite-amalgamation.sh OUT
set -euo pipefail
cd "$(dirname "$0")/.."
out=$(realpath -m "$1")
[ -f "$out/sqlite3.c" ] && [ -f "$out/sqlite3.h" ] && exit 0
bash scripts/install-deps.sh tcl dpkg-dev make gcc
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Source packages through lists of this script's own, made from the system's
# own package sources: the system's apt configuration stays as it is.
mkdir -p "$work/apt/parts" "$work/apt/lists/partial"
: >"$work/apt/empty.list"
for sources in /etc/apt/sources.list.d/*.sources; do
  [ -f "$sources" ] && sed 's/^Types:.*$/Types: deb-src/' "$sources" >"$work/apt/parts/$(basename "$sources")"
done
if [ -f /etc/apt/sources.list ]; then
  sed -n 's/^deb \(.*\)$/deb-src \1/p' /etc/apt/sources.list >"$work/apt/parts/system.list"
fi
apt_options=(-o "Dir::Etc::SourceList=$work/apt/empty.list" -o "Dir::Etc::SourceParts=$work/apt/parts"
  -o "Dir::State::Lists=$work/apt/lists" -o "APT::Sandbox::User=root")
apt-get "${apt_options[@]}" update -qq
(cd "$work" && apt-get "${apt_options[@]}" source --download-only -qq sqlite3)
# apt-get has checked the files against the signed package lists already.
dpkg-source --no-check -x "$work"/sqlite3_*.dsc "$work/src" >/dev/null

# The amalgamation, made by SQLite's own build with the host's compiler.
mkdir -p "$work/src/amalgamation"
(cd "$work/src/amalgamation" && ../configure --disable-tcl >/dev/null && make -j2 sqlite3.c >/dev/null)

mkdir -p "$out"
cp "$work/src/amalgamation/sqlite3.c" "$work/src/amalgamation/sqlite3.h" "$out/"
echo "SQLite $(sed -n 's/^#define SQLITE_VERSION *"\(.*\)"/\1/p' "$out/sqlite3.h") amalgamation in $out"
