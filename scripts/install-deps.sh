#!/usr/bin/env bash
# Installs, from Debian's packages, what building and testing Glyphwork needs.
# Only missing packages are installed; run as root. `rcon` brings rconclt,
# the RCON client the dev server's tests (and its users) talk to it with;
# `unicode-data` the Unicode data the case folding table is made from and
# checked against; `chromium` the browser the usage page is shown in.
set -euo pipefail
packages=(cmake g++ make nlohmann-json3-dev libspdlog-dev libfmt-dev libasio-dev libcli11-dev libgtest-dev libgmock-dev
  libbenchmark-dev rcon python3 python3-jsonschema unzip unicode-data libsqlite3-dev libmariadb-dev mariadb-server
  chromium "$@")
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
