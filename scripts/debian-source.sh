#!/usr/bin/env bash
# Fetches the source of one of Debian's packages with apt-get and unpacks it
# into OUT (for the Windows build, which compiles what Debian ships for
# Linux only). Done once per OUT.
#   bash scripts/debian-source.sh PACKAGE OUT
set -euo pipefail
cd "$(dirname "$0")/.."
package=$1
out=$(realpath -m "$2")
[ -d "$out" ] && exit 0
bash scripts/install-deps.sh dpkg-dev
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
(cd "$work" && apt-get "${apt_options[@]}" source --download-only -qq "$package")
# apt-get has checked the files against the signed package lists already.
dpkg-source --no-check -x "$work/${package}"_*.dsc "$work/src" >/dev/null
mkdir -p "$(dirname "$out")"
mv "$work/src" "$out"
