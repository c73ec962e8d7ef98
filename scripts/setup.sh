#!/usr/bin/env bash
# Installs the Debian packages that Peelbox needs to build, test and run,
# when they are missing. Safe to run again: it installs nothing twice.
#   bash scripts/setup.sh [--fuzz] [--package] [--screenshot]
#   --fuzz: also clang and libFuzzer; --package: what makes and checks the
#   Debian package; --screenshot: what takes the dialog's screenshot
set -euo pipefail

packages=(
  cmake g++ make pkg-config          # toolchain
  libpng-dev zlib1g-dev libgd-dev    # PNG and GIF output, ZIP channels
  libdeflate-dev                     # PNG image data and ZIP channels, fast
  liblcms2-dev                       # profiles, CMYK and Lab to sRGB
  libwebp-dev libjpeg62-turbo-dev    # WebP and JPEG output
  nlohmann-json3-dev                 # presets
  qt6-base-dev fonts-dejavu-core     # the desktop program
  scdoc                              # the manual pages
  libgtest-dev                       # tests
  bash-completion zsh                # tests of the shell completions
)
for option in "$@"; do
  case $option in
    --fuzz) packages+=(clang libclang-rt-14-dev) ;;
    # dpkg-shlibdeps (dpkg-dev, file) finds the package's dependencies.
    --package) packages+=(dpkg-dev file lintian appstream desktop-file-utils) ;;
    --screenshot) packages+=(xvfb xauth openbox imagemagick xdotool) ;;
    *) echo "setup.sh: unknown option '$option'" >&2; exit 2 ;;
  esac
done

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
