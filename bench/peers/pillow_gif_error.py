"""The GIF error Pillow's median cut gives on the same photographs: each
quantized to 255 colours (Image.Quantize.MEDIANCUT, no dithering), then the
mean absolute difference per colour sample from the photograph.

    python3 pillow_gif_error.py PHOTO.png...
"""
import sys

from PIL import Image, ImageChops, ImageStat

total, samples = 0.0, 0
for path in sys.argv[1:]:
    image = Image.open(path).convert("RGB")
    quantized = image.quantize(255, method=Image.Quantize.MEDIANCUT, dither=Image.Dither.NONE).convert("RGB")
    difference = ImageStat.Stat(ImageChops.difference(image, quantized))
    count = image.width * image.height * 3
    error = sum(difference.sum) / count
    print(f"| {path.split('/')[-1]:<40} | {error:8.2f}")
    total += sum(difference.sum)
    samples += count
print(f"| {'all':<40} | {total / samples:8.2f}")
