// One layer's files, encoded in memory from pixels the encoder owns.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

#include "export/colour.h"
#include "export/layer_planes.h"
#include "export/output_buffer.h"

namespace peelbox {

struct EncodedLayer {
  int32_t code = 0;  // an ExportResult; kEncodingStopped when abandoned
  OutputBuffer png;
  OutputBuffer gif;
};

struct EncodeOptions {
  bool ignoreAlpha = false;  // every transparency but 0 becomes the maximum
  bool png = true;
  bool gif = true;
  bool fastPng = false;
  const std::atomic<bool>* stop = nullptr;  // abandons the encoding when set
};

class PaletteImage;

// The GIF's palette image for the PNG's rows: few colours (at most 254
// opaque ones) keep black at 1 and then their order of first use, as
// Peelbox always wrote them; more get a palette chosen for them. None when
// stopped or out of memory.
std::unique_ptr<PaletteImage> MakeGifImage(const uint8_t* raster, int32_t width, int32_t height, PngFormat format,
                                           const EncodeOptions& options);

// Converts the planes into the PNG's rows, encodes them, then makes the GIF
// from the same rows: a GIF is always 8-bit, transparent exactly where the
// PNG's transparency is 0. Safe to call on several threads at once.
EncodedLayer EncodeLayer(const LayerPlanes& planes, const ColourConverter& converter, const EncodeOptions& options);

}  // namespace peelbox
