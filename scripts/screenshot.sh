#!/usr/bin/env bash
# Takes the screenshot the metainfo shows, data/screenshots/dialog.png: the
# dialog under a virtual X server with a window manager, a document and an
# output folder filled in. Run it again when the dialog changes.
#   bash scripts/screenshot.sh
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh --screenshot
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)" --target peelbox
config=$(mktemp -d)
trap 'rm -rf "$config"' EXIT
# The dialog reads the document to show its layers: the shipped sample.
mkdir -p "$config/Tessmark" "$config/Pictures"
cp samples/sample.psd "$config/Pictures/Poster.psd"
cat >"$config/Tessmark/Peelbox v1.0.conf" <<CONF
[Settings]
Source%20File=$config/Pictures/Poster.psd
Output%20Folder=$config/Pictures/Poster layers
Ignore%20Alpha=0
CONF
mkdir -p data/screenshots
XDG_CONFIG_HOME=$config xvfb-run -a -s "-screen 0 1280x800x24" bash -c '
  openbox & sleep 1
  ./build/shell/peelbox & sleep 2
  import -window "$(xdotool search --sync --onlyvisible --name "^Peelbox" | head -n 1)" data/screenshots/dialog.png
  kill %2 %1'
identify data/screenshots/dialog.png
