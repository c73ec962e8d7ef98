#!/usr/bin/env bash
# Builds the Debian package build/peelbox_<version>_<arch>.deb from a Release
# build of its own (build-release/, so that the tests' build/ stays as it
# is) and checks it as the tests do.
#   bash scripts/package.sh
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh --package
cmake -S . -B build-release -DCMAKE_BUILD_TYPE=Release -DPEELBOX_TESTS=OFF >/dev/null
cmake --build build-release -j"$(nproc)"
mkdir -p build
output=$(cpack --config build-release/CPackConfig.cmake -B "$PWD/build")
rm -rf build/_CPack_Packages
deb=$(sed -n 's/^CPack: - package: \(.*\) generated\.$/\1/p' <<<"$output")
[ -n "$deb" ] || { echo "$output" >&2; echo "package.sh: cpack made no package" >&2; exit 1; }
bash tests/package/check.sh "$deb"
echo "Install it with: apt-get install ./${deb#"$PWD"/}"
