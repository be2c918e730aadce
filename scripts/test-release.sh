#!/usr/bin/env bash
# Unpacks the archives in dist/ (scripts/release.sh makes them), compares
# their contents with tests/release/*.txt, and runs glyphwork-check from each
# as an admin would: on the kit (exit 0) and on a kit with a broken pack
# (exit 2, the pack named). The Windows one runs under wine.
set -euo pipefail
cd "$(dirname "$0")/.."
version=$(sed -n 's/^project(Glyphwork VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
linux=Glyphwork-$version-tools-linux-x86_64
windows=Glyphwork-$version-tools-win64
tar -xzf "dist/$linux.tar.gz" -C "$work"
(cd "$work" && unzip -q "$OLDPWD/dist/$windows.zip")
for name in "$linux" "$windows"; do
  (cd "$work" && find "$name" -type f | sed "s|^$name/||" | sort) > "$work/$name.txt"
  expected=tests/release/${name#Glyphwork-$version-tools-}.txt
  diff -u "$expected" "$work/$name.txt" || { echo "the contents of $name differ from $expected"; exit 1; }
done

export WINEPREFIX="$work/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
wineboot --init >/dev/null 2>&1
check() {  # check NAME ROOT EXPECTED_STATUS TEXT...
  local name=$1 root=$2 expected=$3 status=0 out
  shift 3
  if [ "$name" = "$windows" ]; then
    out=$(cd "$work" && wine "$name/bin/glyphwork-check.exe" --root "$root" 2>&1) || status=$?
  else
    out=$(cd "$work" && "$name/bin/glyphwork-check" --root "$root" 2>&1) || status=$?
  fi
  out=${out//$'\r'/}
  if [ "$status" -ne "$expected" ]; then
    echo "$name: glyphwork-check --root $root exited with $status, not $expected:"
    echo "$out"
    exit 1
  fi
  for text in "$@"; do
    grep -qF -- "$text" <<<"$out" || { echo "$name: no \"$text\" in:"; echo "$out"; exit 1; }
  done
  echo "$name: glyphwork-check --root $root: exit $status"
}
for name in "$linux" "$windows"; do
  check "$name" "$name/server" 0 "1 pack, 5 emoji, 0 errors, 0 warnings"
  cp -r "$work/$name/server" "$work/broken"
  printf '{"EmojiPath": "/Game/Emojis/Faces/", "EmojiArray": ["smile",]}\n' \
    >"$work/broken/ShooterGame/Binaries/Win64/ArkApi/Plugins/Glyphwork/Packs/broken.json"
  check "$name" broken 2 "broken.json:1:60: error: trailing comma"
  rm -rf "$work/broken"
done
wineserver --kill >/dev/null 2>&1 || true
