// A raster as the 8-bit formats (WebP, JPEG) take it: 16-bit samples
// reduced as the GIF reduces them, grey widened to RGB when the format has
// no grey.
#pragma once

#include <cstdint>
#include <memory>

#include "export/raster.h"

namespace peelbox {

class EightBitPixels {
 public:
  // False when the memory cannot be had. The raster must outlive this when
  // it needs no change: its own rows are used then.
  bool Make(const Raster& raster, bool rgb);

  const uint8_t* data() const { return data_; }
  const PixelFormat& format() const { return format_; }
  size_t RowBytes(int32_t width) const { return static_cast<size_t>(width) * format_.BytesPerPixel(); }

 private:
  const uint8_t* data_ = nullptr;
  PixelFormat format_;
  std::unique_ptr<uint8_t[]> owned_;
};

}  // namespace peelbox
