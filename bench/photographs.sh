#!/usr/bin/env bash
# Makes the photographs the GIF error is measured on, as PNG files in a
# folder: Debian's photo backgrounds (mate-backgrounds) at 1600 pixels wide,
# and ImageMagick's plasma fractals.
#   bash bench/photographs.sh FOLDER
set -euo pipefail
folder=${1:?usage: photographs.sh FOLDER}
mkdir -p "$folder"
for package in mate-backgrounds imagemagick; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" ||
    apt-get install -y -qq --no-install-recommends "$package" >/dev/null
done
for photo in /usr/share/backgrounds/mate/nature/*.jpg; do
  convert "$photo" -resize 1600x "$folder/$(basename "${photo%.jpg}").png"
done
for seed in 1 2 3; do
  convert -seed "$seed" -size 1200x900 plasma:fractal "$folder/plasma-$seed.png"
done
ls "$folder"
