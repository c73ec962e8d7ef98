#!/usr/bin/env bash
# Builds Peelbox and rips a document: the bundled sample unless one is given.
#   bash scripts/run.sh [SOURCE.psd [OUTPUT_FOLDER]]
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)" --target peelbox-cli
source=${1:-samples/sample.psd}
./build/cli/peelbox-cli "$source"
