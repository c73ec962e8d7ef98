// One layer's two files, encoded in memory.
#pragma once

#include <cstdint>

#include "export/layer_planes.h"
#include "export/output_buffer.h"

namespace peelbox {

struct EncodedLayer {
  int32_t code = 0;  // an ExportResult
  OutputBuffer png;
  OutputBuffer gif;
};

// One pass over the pixels fills the interleaved RGB or RGBA raster and the
// palette image; then the raster becomes the PNG file and the palette image
// the GIF file. With `ignoreAlpha` every transparency sample but 0 becomes
// 255. Safe to call on several threads at once.
EncodedLayer EncodeLayer(const LayerPlanes& planes, bool ignoreAlpha);

}  // namespace peelbox
