"""psd-tools doing Peelbox's job (PNG only): every pixel layer as a PNG file.

    python3 psd_tools_rip.py DOCUMENT.psd OUTPUT_FOLDER
"""
import os
import sys

from psd_tools import PSDImage

source, folder = sys.argv[1:3]
for index, layer in enumerate(PSDImage.open(source).descendants()):
    if layer.is_group():
        continue
    image = layer.topil()
    if image is not None:
        image.save(os.path.join(folder, f"psdtools-{index}.png"))
