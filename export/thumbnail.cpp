#include "export/thumbnail.h"

#include <algorithm>

#include "export/export_result.h"
#include "export/layer_encoder.h"
#include "psd/document.h"
#include "psd/layer_record.h"

namespace peelbox {

namespace {

// One sample of the raster as 8 bits: 16-bit samples are stored big-endian.
uint8_t Sample(const uint8_t* pixel, int channel, int bytes) { return pixel[channel * bytes]; }

}  // namespace

Thumbnail MakeThumbnail(const PsdDocument& document, const ColourConverter& converter, size_t index, int side) {
  Thumbnail thumbnail;
  const auto& records = document.layerMaskInfo->Layers().records;
  if (index >= records.size() || side <= 0) return thumbnail;
  const std::optional<LayerPlanes> planes = ViewPlanes(document.format, *records[index]);
  if (!planes) return thumbnail;
  Raster raster;
  if (MakeRaster(*planes, converter, EncodeSettings{}, &raster) != kExportOk || raster.width <= 0 ||
      raster.height <= 0 || !raster.pixels) {
    return thumbnail;
  }
  const int longest = std::max(raster.width, raster.height);
  const double scale = std::min(1.0, static_cast<double>(side) / longest);
  thumbnail.width = std::max(1, static_cast<int>(raster.width * scale));
  thumbnail.height = std::max(1, static_cast<int>(raster.height * scale));
  thumbnail.rgba.resize(static_cast<size_t>(thumbnail.width) * thumbnail.height * 4);
  const int bytes = raster.format.bitDepth / 8;
  const int pixelBytes = raster.format.BytesPerPixel();
  const bool grey = raster.format.Grey();
  uint8_t* out = thumbnail.rgba.data();
  // Nearest pixel: a thumbnail needs no filtering to be recognised.
  for (int y = 0; y < thumbnail.height; ++y) {
    const uint8_t* row = raster.Row(std::min(raster.height - 1, static_cast<int>(y / scale)));
    for (int x = 0; x < thumbnail.width; ++x, out += 4) {
      const uint8_t* pixel = row + static_cast<size_t>(std::min(raster.width - 1, static_cast<int>(x / scale))) *
                                       static_cast<size_t>(pixelBytes);
      for (int c = 0; c < 3; ++c) out[c] = Sample(pixel, grey ? 0 : c, bytes);
      out[3] = raster.format.HasAlpha() ? Sample(pixel, grey ? 1 : 3, bytes) : 255;
    }
  }
  return thumbnail;
}

}  // namespace peelbox
