#!/usr/bin/env bash
# Installs the tools the benchmark compares Peelbox with: psd-tools and
# ImageMagick from Debian, ag-psd (with pngjs and gifenc) from npm into
# bench/peers/node_modules. Nothing of theirs is committed.
set -euo pipefail
cd "$(dirname "$0")"
missing=()
for package in python3-psd-tools imagemagick; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
done
if [ ${#missing[@]} -gt 0 ]; then
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
command -v npm >/dev/null || { echo "ag-psd needs Node.js and npm" >&2; exit 1; }
npm install --no-audit --no-fund --no-package-lock
