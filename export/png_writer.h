// The PNG file of a layer: 8-bit RGB or RGBA with an sBIT chunk of 8s, every
// other setting left at libpng's defaults.
#pragma once

#include <cstdint>

#include "export/output_buffer.h"

namespace peelbox {

// Encodes `height` rows of `width` interleaved pixels (3 or 4 bytes each)
// into `out`. Returns kExportOk, kNoPngWriteStruct, kNoPngInfoStruct or
// kWriteFailed.
int32_t EncodePng(const uint8_t* raster, uint32_t width, uint32_t height, bool withAlpha, OutputBuffer* out);

}  // namespace peelbox
