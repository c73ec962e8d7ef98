#!/usr/bin/env bash
# Time and bytes of each output format on one document, side by side: each
# a whole run of peelbox-cli on every core, best of 3, files summed.
#   bash bench/formats.sh PEELBOX_CLI DOCUMENT
set -euo pipefail
cli=$1 doc=$2 out=$(mktemp -d)
run() {  # LABEL ARGS...
  local label=$1; shift
  local best=999
  for _ in 1 2 3; do
    rm -rf "$out/x"
    local start=$(date +%s.%N)
    "$cli" -q "$@" "$doc" "$out/x" >/dev/null
    local t=$(echo "$(date +%s.%N) - $start" | bc)
    best=$(echo "if ($t < $best) $t else $best" | bc)
  done
  local bytes=$(du -cb "$out"/x/* 2>/dev/null | tail -1 | cut -f1)
  printf '| %-34s | %7.2f | %8.1f |\n' "$label" "$best" "$(echo "$bytes / 1000000" | bc -l)"
}
echo "| formats                            | seconds |       MB |"
echo "|------------------------------------|---------|----------|"
run "png (libpng defaults)" --formats png
run "gif" --formats gif
run "webp, lossless" --formats webp
run "webp, --webp-quality 90" --formats webp --webp-quality 90
run "jpeg, quality 90" --formats jpeg
run "png,gif (the default)" --formats png,gif
rm -rf "$out"
