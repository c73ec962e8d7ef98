#include "export/layer_encoder.h"

#include <memory>
#include <new>

#include "export/export_result.h"
#include "export/gif_writer.h"
#include "export/png_writer.h"

namespace peelbox {

namespace {

// Only a transparency of 0 makes a GIF pixel transparent; partial
// transparency is drawn with the full colour.
template <bool kWithAlpha>
void FillRasterAndPalette(const LayerPlanes& planes, bool ignoreAlpha, uint8_t* raster, PaletteImage& palette) {
  const uint8_t* red = planes.slots[0];
  const uint8_t* green = planes.slots[1];
  const uint8_t* blue = planes.slots[2];
  const uint8_t* alpha = planes.slots[3];
  size_t k = 0;
  for (int32_t y = 0; y < planes.height; ++y) {
    uint8_t* indexes = palette.Row(y);
    for (int32_t x = 0; x < planes.width; ++x, ++k) {
      const uint8_t r = red[k], g = green[k], b = blue[k];
      *raster++ = r;
      *raster++ = g;
      *raster++ = b;
      bool opaque = true;
      if constexpr (kWithAlpha) {
        uint8_t a = alpha[k];
        if (ignoreAlpha && a != 0) a = 255;  // keeps complete transparency only
        *raster++ = a;
        opaque = a != 0;
      }
      indexes[x] = opaque ? palette.IndexOf(r, g, b) : PaletteImage::kTransparentIndex;
    }
  }
}

}  // namespace

EncodedLayer EncodeLayer(const LayerPlanes& planes, bool ignoreAlpha) {
  EncodedLayer encoded;
  if (planes.width <= 0 || planes.height <= 0) {
    encoded.code = kWriteFailed;  // no image to write
    return encoded;
  }
  const size_t pixels = static_cast<size_t>(planes.width) * static_cast<size_t>(planes.height);
  std::unique_ptr<uint8_t[]> raster(new (std::nothrow) uint8_t[pixels * planes.ChannelCount()]);
  PaletteImage palette(planes.width, planes.height);
  if (!raster || !palette.valid()) {
    encoded.code = kWriteFailed;
    return encoded;
  }
  if (planes.withAlpha) {
    FillRasterAndPalette<true>(planes, ignoreAlpha, raster.get(), palette);
  } else {
    FillRasterAndPalette<false>(planes, ignoreAlpha, raster.get(), palette);
  }
  encoded.code = EncodePng(raster.get(), static_cast<uint32_t>(planes.width), static_cast<uint32_t>(planes.height),
                           planes.withAlpha, &encoded.png);
  if (encoded.code != kExportOk) return encoded;
  raster.reset();  // one raster per thread at a time
  encoded.code = palette.EncodeGif(&encoded.gif);
  return encoded;
}

}  // namespace peelbox
