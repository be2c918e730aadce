#!/usr/bin/env bash
# Builds the libFuzzer targets with clang into build-fuzz/ (or $BUILD_DIR-fuzz)
# and runs each for SECONDS (default 60), starting from the seed corpora in
# fuzz/corpus (copied: the repository's seeds stay as they are).
#   bash scripts/fuzz.sh [SECONDS] [TARGET...]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
shift || true
bash scripts/install-deps.sh clang libclang-rt-14-dev
build_dir=$(realpath -m "${BUILD_DIR:-build}-fuzz")
CC=clang CXX=clang++ cmake -S . -B "$build_dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DGLYPHWORK_FUZZ=ON \
  -DGLYPHWORK_TESTS=OFF -DGLYPHWORK_BENCH=OFF >/dev/null
cmake --build "$build_dir" -j2 --target documents_fuzz chat_fuzz rcon_fuzz
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(documents chat rcon)
for target in "${targets[@]}"; do
  corpus="$build_dir/corpus/$target"
  mkdir -p "$corpus" "$build_dir/artifacts"
  cp -n fuzz/corpus/"$target"/* "$corpus"/ 2>/dev/null || true
  echo "== ${target}_fuzz for ${seconds}s"
  log="$build_dir/$target.log"
  status=0
  "$build_dir/fuzz/${target}_fuzz" "$corpus" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
    -print_final_stats=1 -artifact_prefix="$build_dir/artifacts/" >"$log" 2>&1 || status=$?
  grep -E '^(stat::number_of_executed_units|stat::average_exec_per_sec|Done )' "$log" || true
  if [ "$status" -ne 0 ]; then
    tail -n 60 "$log"
    echo "${target}_fuzz failed"
    exit 1
  fi
done
