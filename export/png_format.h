// The PNG file of a layer: grey, grey and alpha, RGB or RGBA at 8 or 16 bits,
// with an sBIT chunk of its own depth, the colour tags (iCCP or sRGB, and
// pHYs), every other setting libpng's default (or, when asked for speed,
// zlib's run-length strategy).
#pragma once

#include <cstdint>

#include "export/output_buffer.h"
#include "export/profile.h"
#include "export/raster.h"
#include "psd/stop_token.h"

namespace peelbox {

struct PngOptions {
  bool fast = false;  // Z_RLE: faster, larger on flat artwork
  StopToken stop;     // checked between batches of rows
  ColourTags tags{};  // iCCP or sRGB, and pHYs
};

// Encodes `height` rows of `width` interleaved pixels of `format` (16-bit
// samples big-endian) into `out`. The rows go in batches, which gives the
// same bytes as one png_write_image. Returns kExportOk, kNoPngWriteStruct,
// kNoPngInfoStruct, kWriteFailed, or kStopped.
int32_t EncodePng(const uint8_t* raster, uint32_t width, uint32_t height, PixelFormat format, const PngOptions& options,
                  OutputBuffer* out);

}  // namespace peelbox
