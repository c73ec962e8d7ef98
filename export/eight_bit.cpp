#include "export/eight_bit.h"

#include <new>

#include "export/samples.h"

namespace peelbox {

bool EightBitPixels::Make(const Raster& raster, bool rgb) {
  const PixelFormat& from = raster.format;
  format_.bitDepth = 8;
  format_.colourType = rgb && from.Grey() ? (from.HasAlpha() ? 6 : 2) : from.colourType;
  if (from.bitDepth == 8 && format_.colourType == from.colourType) {
    data_ = raster.pixels.get();
    return true;
  }
  const size_t pixels = static_cast<size_t>(raster.width) * static_cast<size_t>(raster.height);
  owned_.reset(new (std::nothrow) uint8_t[pixels * static_cast<size_t>(format_.BytesPerPixel())]);
  if (!owned_) return false;
  const int channels = from.Channels();
  const size_t sampleBytes = from.bitDepth / 8;
  const uint8_t* in = raster.pixels.get();
  uint8_t* out = owned_.get();
  const auto sample = [&](int c) { return sampleBytes == 1 ? in[c] : Reduced(Load16(in + 2 * c)); };
  for (size_t k = 0; k < pixels; ++k, in += channels * sampleBytes) {
    for (int c = 0; c < channels; ++c) {
      const uint8_t value = sample(c);
      const bool widened = from.Grey() && format_.colourType != from.colourType && c == 0;
      *out++ = value;
      if (widened) {
        *out++ = value;
        *out++ = value;
      }
    }
  }
  data_ = owned_.get();
  return true;
}

}  // namespace peelbox
