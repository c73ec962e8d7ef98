#!/usr/bin/env bash
# Rips every document of a folder with two builds of peelbox-cli and compares
# what they write, byte for byte: for a change that must not change a file.
#   bash bench/compare_builds.sh OLD_CLI NEW_CLI [DOCUMENT_FOLDER] [-- OPTION_SET...]
# The folder defaults to ../shared/corpus/psd; each option set is one
# argument ("" for none, "--fast --ignore-alpha" for two) and defaults to
# none, --ignore-alpha, --fast and both. Prints one line per document and
# option set that differs, then a summary; exits 1 when anything differs.
set -uo pipefail
old=$(realpath "$1") new=$(realpath "$2")
shift 2
folder=../shared/corpus/psd
if [ $# -gt 0 ] && [ "$1" != "--" ]; then folder=$1; shift; fi
[ "${1:-}" = "--" ] && shift
sets=("" "--ignore-alpha" "--fast" "--ignore-alpha --fast")
[ $# -gt 0 ] && sets=("$@")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
documents=0 differing=0 files=0
for document in "$folder"/*.psd "$folder"/*.psb; do
  [ -e "$document" ] || continue
  documents=$((documents + 1))
  for set in "${sets[@]}"; do
    rm -rf "$work/old" "$work/new"
    # shellcheck disable=SC2086  # an option set is several words
    "$old" -q $set "$document" "$work/old" >"$work/old.txt" 2>&1
    old_status=$?
    # shellcheck disable=SC2086
    "$new" -q $set "$document" "$work/new" >"$work/new.txt" 2>&1
    new_status=$?
    # The report names its own folder: the same words once it is taken out.
    sed -i "s|$work/old|OUT|g" "$work/old.txt"
    sed -i "s|$work/new|OUT|g" "$work/new.txt"
    if [ "$old_status" != "$new_status" ] || ! diff -rq "$work/old" "$work/new" >/dev/null 2>&1 ||
        ! cmp -s "$work/old.txt" "$work/new.txt"; then
      differing=$((differing + 1))
      echo "differs: $(basename "$document") [${set:-default}] (exit $old_status / $new_status)"
      diff -rq "$work/old" "$work/new" 2>&1 | head -n 5
    fi
    [ -d "$work/new" ] && files=$((files + $(find "$work/new" -type f | wc -l)))
  done
done
echo "$documents documents x ${#sets[@]} option sets, $files files compared: $differing differ"
[ "$differing" -eq 0 ]
