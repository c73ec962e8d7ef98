// A layer's pixels as every encoder takes them: rows of interleaved samples
// in one of the PNG pixel formats.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>

namespace peelbox {

// Colour type 0 (grey), 4 (grey and alpha), 2 (RGB) or 6 (RGBA), at 8 or 16
// bits per sample, samples big-endian: the numbers PNG gives them.
struct PixelFormat {
  int colourType = 2;
  int bitDepth = 8;

  int Channels() const { return colourType == 0 ? 1 : colourType == 4 ? 2 : colourType == 2 ? 3 : 4; }
  int BytesPerPixel() const { return Channels() * bitDepth / 8; }
  bool HasAlpha() const { return colourType == 4 || colourType == 6; }
  bool Grey() const { return colourType == 0 || colourType == 4; }
};

// The bytes of a raster's sample for samples stored at `depth` bits: 16- and
// 32-bit documents give 16-bit rasters.
inline unsigned OutputSampleBytes(unsigned depth) { return depth == 16 || depth == 32 ? 2 : 1; }

struct Raster {
  int64_t left = 0;  // where it lies on the canvas
  int64_t top = 0;
  int32_t width = 0;
  int32_t height = 0;
  PixelFormat format;
  std::unique_ptr<uint8_t[]> pixels;

  size_t RowBytes() const { return static_cast<size_t>(width) * static_cast<size_t>(format.BytesPerPixel()); }
  const uint8_t* Row(int32_t y) const { return pixels.get() + static_cast<size_t>(y) * RowBytes(); }
  // Room for the rows; false when the memory cannot be had.
  bool Allocate() {
    pixels.reset(new (std::nothrow) uint8_t[RowBytes() * static_cast<size_t>(height)]);
    return pixels != nullptr;
  }
};

}  // namespace peelbox
