#!/usr/bin/env bash
# Builds Peelbox and rips a document into a folder: by default the bundled
# sample into out/sample.
#   bash scripts/run.sh [SOURCE.psd [OUTPUT_FOLDER]]
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)" --target peelbox-cli peelbox
source=${1:-samples/sample.psd}
folder=${2:-out/$(basename "${source%.*}")}
./build/cli/peelbox-cli "$source" "$folder"
echo
echo "Files in $folder:"
ls -1 "$folder"
