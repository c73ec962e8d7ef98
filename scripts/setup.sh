#!/usr/bin/env bash
# Installs the Debian packages that Peelbox needs to build, test and run,
# when they are missing. Safe to run again: it installs nothing twice.
#   bash scripts/setup.sh [--fuzz]   (--fuzz: also clang and libFuzzer)
set -euo pipefail

packages=(
  cmake g++ make pkg-config          # toolchain
  libpng-dev zlib1g-dev libgd-dev    # PNG and GIF output, ZIP channels
  liblcms2-dev                       # CMYK and Lab to sRGB
  qt6-base-dev fonts-dejavu-core     # the desktop program
  libgtest-dev nlohmann-json3-dev    # tests
)
if [ "${1:-}" = "--fuzz" ]; then packages+=(clang libclang-rt-14-dev); fi

missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing missing packages: ${missing[*]}"
sudo=""
if [ "$(id -u)" -ne 0 ]; then
  command -v sudo >/dev/null || { echo "Run as root or install sudo to install: ${missing[*]}" >&2; exit 1; }
  sudo=sudo
fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
