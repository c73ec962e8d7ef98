#!/usr/bin/env bash
# Builds the fuzz targets with clang (libFuzzer, ASan, UBSan) and runs each
# for a while from its seeds; a crash, a leak, a hang or a memory blow-up
# fails the run and leaves the input in build-fuzz/artifacts/.
#   bash scripts/fuzz.sh [SECONDS_PER_TARGET]   (default 60)
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
CC=clang CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPEELBOX_FUZZ=ON \
  -DPEELBOX_TESTS=OFF -DPEELBOX_GUI=OFF >/dev/null
cmake --build build-fuzz -j"$(nproc)" --target fuzz_load_document fuzz_packbits fuzz_rip make_fuzz_seeds
mkdir -p build-fuzz/artifacts
for target in load_document packbits rip; do
  corpus=build-fuzz/corpus/$target
  mkdir -p "$corpus"
  seeds=()
  candidates=(build-fuzz/fuzz/seeds/$target tests/crashers/$target)
  if [ "$target" != packbits ]; then candidates+=(samples ../shared/corpus/psd); fi
  for folder in "${candidates[@]}"; do
    if [ -d "$folder" ]; then seeds+=("$folder"); fi
  done
  echo "== fuzz_$target for ${seconds}s"
  log=build-fuzz/fuzz_$target.log
  if ! "build-fuzz/fuzz/fuzz_$target" -max_total_time="$seconds" -rss_limit_mb=2048 -timeout=10 \
      -artifact_prefix="build-fuzz/artifacts/$target-" -print_final_stats=1 "$corpus" "${seeds[@]}" >"$log" 2>&1; then
    tail -n 60 "$log" >&2
    echo "fuzz_$target failed; the input is in build-fuzz/artifacts/" >&2
    exit 1
  fi
  grep -E "stat::number_of_executed_units|stat::peak_rss_mb" "$log" || true
done
