// The PNG file of a layer: grey, grey and alpha, RGB or RGBA at 8 or 16 bits,
// with an sBIT chunk of its own depth and the colour tags (iCCP or sRGB, and
// pHYs). libpng writes the signature and the chunks before the image data;
// the rows are filtered as libpng's default filters them and deflated by
// libdeflate, which is several times faster than zlib for files of about the
// same size.
#pragma once

#include <cstdint>

#include "export/output_buffer.h"
#include "export/profile.h"
#include "export/raster.h"
#include "psd/stop_token.h"

namespace peelbox {

// Who deflates the image data. libpng's own (zlib at its default level) is
// kept for comparison: the benchmark and the tests measure against it.
enum class PngDeflater { kLibdeflate, kLibpng };

struct PngOptions {
  bool fast = false;  // speed over size: libdeflate's fastest level, or zlib's Z_RLE under libpng
  StopToken stop;     // checked between batches of rows
  PngDeflater deflater = PngDeflater::kLibdeflate;
  ColourTags tags{};  // iCCP or sRGB, and pHYs
};

// Encodes `height` rows of `width` interleaved pixels of `format` (16-bit
// samples big-endian) into `out`. The rows go in batches (under libpng,
// the same bytes as one png_write_image). Returns kExportOk, kNoPngWriteStruct,
// kNoPngInfoStruct, kWriteFailed, or kStopped.
int32_t EncodePng(const uint8_t* raster, uint32_t width, uint32_t height, PixelFormat format, const PngOptions& options,
                  OutputBuffer* out);

}  // namespace peelbox
