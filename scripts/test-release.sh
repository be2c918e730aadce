#!/usr/bin/env bash
# Unpacks the archives in dist/ (scripts/release.sh makes them), compares
# their contents with tests/release/*.txt, and runs the programs from each as
# an admin would, with nothing but the unpacked archive (the Windows ones
# under wine): the README's demo on the dev server, which must deliver a
# picture; glyphwork-check on the kit (clean), on the kit without its
# textures (warnings: not checked) and on a kit with a broken pack (errors,
# the pack named). Then the plugin archive's Glyphwork.dll, installed into the
# Windows kit as INSTALL.txt says, runs the demo on the dev server.
set -euo pipefail
cd "$(dirname "$0")/.."
version=$(sed -n 's/^project(Glyphwork VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
linux=Glyphwork-$version-tools-linux-x86_64
windows=Glyphwork-$version-tools-win64
plugin=Glyphwork-$version-plugin-win64
tar -xzf "dist/$linux.tar.gz" -C "$work"
(cd "$work" && unzip -q "$OLDPWD/dist/$windows.zip" && unzip -q "$OLDPWD/dist/$plugin.zip")
for name in "$linux" "$windows" "$plugin"; do
  (cd dist && sha256sum -c "$name".*.sha256 >/dev/null) || { echo "$name: its checksum does not match"; exit 1; }
  (cd "$work" && find "$name" \( -type f -o -type l \) | sed "s|^$name/||" | sort) > "$work/$name.txt"
  expected=tests/release/${name#Glyphwork-$version-}.txt
  expected=${expected/tools-/}
  diff -u "$expected" "$work/$name.txt" || { echo "the contents of $name differ from $expected"; exit 1; }
done
# No file an admin could copy onto a server carries a live host file's name
# outside the stand-in folder.
for name in "$linux" "$windows" "$plugin"; do
  if (cd "$work/$name" && find . -iname '*asaapi*' -o -iname '*permissions*.dll' -o -iname 'libpermissions*' |
    grep -v '^./standin-never-copy-to-a-server/'); then
    echo "$name: a live host file's name outside the stand-in folder"
    exit 1
  fi
done
# The tools archive's README is the admin's reference: it names every key
# the schemas know.
for name in "$linux" "$windows"; do
  python3 - "$work/$name" <<'PY' || exit 1
import json, pathlib, sys
root = pathlib.Path(sys.argv[1])
readme = (root / "README.md").read_text(encoding="utf-8")
keys = set()
def walk(node):
    if isinstance(node, dict):
        keys.update(node.get("properties", {}).keys())
        for value in node.values():
            walk(value)
    elif isinstance(node, list):
        for value in node:
            walk(value)
for schema in (root / "schema").glob("*.json"):
    walk(json.loads(schema.read_text(encoding="utf-8")))
missing = sorted(key for key in keys if not key.startswith("$") and f"`{key}`" not in readme)
if missing:
    print(f"{root.name}: README.md does not describe {', '.join(missing)}")
    sys.exit(1)
PY
done

export WINEPREFIX="$work/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
wineboot --init >/dev/null 2>&1
# run NAME EXPECTED_STATUS PROGRAM ARGUMENT... -- TEXT...: PROGRAM from the
# unpacked archive NAME, in its folder, with an environment of nothing but a
# search path for the system's own programs (and wine's prefix).
run() {
  local name=$1 expected=$2 program=$3 status=0 out
  shift 3
  local arguments=()
  while [ "$1" != "--" ]; do arguments+=("$1"); shift; done
  shift
  # Through the launchers at the top of the archive, as its README says.
  if [ "$name" = "$windows" ]; then
    out=$(cd "$work/$name" && env -i PATH=/usr/bin:/bin HOME="$work" WINEPREFIX="$WINEPREFIX" WINEDEBUG=-all \
      WINEDLLOVERRIDES="$WINEDLLOVERRIDES" wine cmd /c "$program.cmd" "${arguments[@]}" 2>&1) || status=$?
  else
    out=$(cd "$work/$name" && env -i PATH=/usr/bin:/bin HOME="$work" "./$program" "${arguments[@]}" 2>&1) ||
      status=$?
  fi
  out=${out//$'\r'/}
  if [ "$status" -ne "$expected" ]; then
    echo "$name: $program ${arguments[*]} exited with $status, not $expected:"
    echo "$out"
    exit 1
  fi
  for text in "$@"; do
    grep -qF -- "$text" <<<"$out" || { echo "$name: no \"$text\" from $program ${arguments[*]}:"; echo "$out"; exit 1; }
  done
  if grep -qF "Invalid Path" <<<"$out"; then echo "$name: a texture did not load:"; echo "$out"; exit 1; fi
  echo "$name: $program ${arguments[*]}: exit $status"
  last_output=$out
}
smile='<img src="chat.image" path="/Game/Emojis/Faces/smile.smile"/>'
ark='<img src="chat.image" path="/Game/Emojis/Custom/ArkLogo.ArkLogo"/>'
for name in "$linux" "$windows"; do
  # The README's demo, as it says to run it.
  run "$name" 0 glyphwork-devserver --root server --script demo.txt -- \
    "running the stand-in plugin" "Loaded 5 new object(s)!" "[chat] Ann -> Bea: hello $smile and $ark!" \
    "[rcon] #1: Reloaded Config!"
  run "$name" 0 glyphwork-check --root server -- "1 pack, 5 emoji, 0 errors, 0 warnings"
  cp -r "$work/$name/server" "$work/$name/bare"
  rm -rf "$work/$name/bare/ShooterGame/Content"
  run "$name" 1 glyphwork-check --root bare -- "1 pack, 5 emoji, 0 errors, 1 warning, textures not checked"
  printf '{"EmojiPath": "/Game/Emojis/Faces/", "EmojiArray": ["smile",]}\n' \
    >"$work/$name/bare/ShooterGame/Binaries/Win64/ArkApi/Plugins/Glyphwork/Packs/broken.json"
  run "$name" 2 glyphwork-check --root bare --content none -- "broken.json:1:60: error: trailing comma"
  rm -rf "$work/$name/bare"
done

# The live plugin, where INSTALL.txt puts it: the dev server runs the
# folder's own Glyphwork.dll instead of its stand-in.
cp -r "$work/$plugin/Glyphwork/." "$work/$windows/server/ShooterGame/Binaries/Win64/ArkApi/Plugins/Glyphwork/"
run "$windows" 0 glyphwork-devserver --root server --script demo.txt -- \
  "Loaded plugin Glyphwork" "Loaded 5 new object(s)!" "[chat] Ann -> Bea: hello $smile and $ark!" \
  "[rcon] #1: Reloaded Config!"
if grep -qF "running the stand-in plugin" <<<"$last_output"; then echo "$plugin: the dev server ran its stand-in"; exit 1; fi
wineserver --kill >/dev/null 2>&1 || true
