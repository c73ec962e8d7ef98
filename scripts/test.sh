#!/usr/bin/env bash
# Builds Peelbox and runs every test: the suite itself, the Debian package
# made from that build, the suite again under AddressSanitizer and
# UndefinedBehaviorSanitizer, and each fuzz target for 45 seconds (FUZZ_SECONDS
# to change that, 0 to skip).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh --fuzz --package
jobs=$(nproc)

echo "== build and test (${SECONDS}s in)"
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$jobs"
ctest --test-dir build -j"$jobs" --output-on-failure

echo "== the Debian package, from the same build, stripped (${SECONDS}s in)"
rm -rf build/package
cpack --config build/CPackConfig.cmake -B "$PWD/build/package" >/dev/null
bash tests/package/check.sh build/package/peelbox_*.deb

echo "== build and test with AddressSanitizer and UndefinedBehaviorSanitizer (${SECONDS}s in)"
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPEELBOX_SANITIZE=ON -DPEELBOX_GUI=OFF >/dev/null
cmake --build build-asan -j"$jobs"
PEELBOX_SWEEP_SCALE=0.25 ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --test-dir build-asan -j"$jobs" --output-on-failure

seconds=${FUZZ_SECONDS:-45}
if [ "$seconds" -gt 0 ] && command -v clang++ >/dev/null; then
  echo "== fuzz each target for ${seconds}s (${SECONDS}s in)"
  bash scripts/fuzz.sh "$seconds"
fi
echo "== all tests passed in ${SECONDS}s"
