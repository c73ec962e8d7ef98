#!/usr/bin/env bash
# Checks a Debian package of Peelbox: its files and their modes against
# contents.txt beside this script, its dependencies and version, lintian
# (no error, no warning), and the desktop entry and metainfo validators.
#   bash tests/package/check.sh build/peelbox_<version>_<arch>.deb
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
deb=$(realpath "$1")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

# Mode and path of each entry; dates, owners and sizes change every build.
dpkg-deb --contents "$deb" | awk '{ print $1, $6 }' | LC_ALL=C sort -k2 >"$work/contents"
diff -u "$here/contents.txt" "$work/contents" ||
  fail "the package's files differ from tests/package/contents.txt (- expected, + packed)"

version=$(dpkg-deb -f "$deb" Version)
architecture=$(dpkg-deb -f "$deb" Architecture)
[ "$(basename "$deb")" = "peelbox_${version}_${architecture}.deb" ] ||
  fail "$(basename "$deb") is not named peelbox_${version}_${architecture}.deb"
# dpkg-shlibdeps ran (it needs dpkg-dev and file, and says little when it cannot).
depends=$(dpkg-deb -f "$deb" Depends)
for library in libc6 libpng16-16 libgd3 liblcms2-2 libqt6widgets6; do
  [[ $depends == *"$library "* ]] || fail "Depends lacks $library: $depends"
done

dpkg-deb -x "$deb" "$work/root"
for program in peelbox-cli; do
  shown=$("$work/root/usr/bin/$program" --version)
  [ "$shown" = "$program $version" ] || fail "$program --version shows '$shown' in package $version"
done
desktop-file-validate "$work/root"/usr/share/applications/*.desktop || fail "desktop-file-validate"
appstreamcli validate-tree --no-net "$work/root" || fail "appstreamcli validate-tree"
# Infos are shown; the README says why each stays.
lintian --fail-on error,warning --display-info "$deb" 2> >(grep -v "running with root privileges" >&2) || fail "lintian"

[ "$failures" -eq 0 ] && echo "package check: $(basename "$deb") passed"
exit $((failures > 0))
