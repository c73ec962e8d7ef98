#!/bin/sh
# ImageMagick doing Peelbox's job (PNG only): every layer of the document,
# with the merged image first, as PNG files.
#   imagemagick_rip.sh DOCUMENT.psd OUTPUT_FOLDER
exec convert "$1" "$2/magick-%02d.png"
