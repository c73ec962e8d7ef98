// The size of a decoded plane: rows of samples of a given depth, row after
// row, with no padding. Knows no section.
#pragma once

#include <cstdint>
#include <optional>

namespace peelbox {

// Compressions of channel and composite data.
enum Compression : uint16_t {
  kRawCompression = 0,
  kPackBitsCompression = 1,
  kZipCompression = 2,
  kZipPredictedCompression = 3,
};

struct PlaneGeometry {
  uint64_t rows = 0;
  uint64_t rowBytes = 0;
  unsigned depth = 8;

  uint64_t Size() const { return rows * rowBytes; }
};

// A width x height plane of `depth`-bit samples; a row of 1-bit samples
// takes whole bytes. None when the size cannot be a buffer's.
inline std::optional<PlaneGeometry> GeometryOf(uint64_t width, uint64_t height, unsigned depth) {
  PlaneGeometry geometry;
  geometry.rows = height;
  geometry.depth = depth;
  uint64_t bits = 0, size = 0;
  if (__builtin_mul_overflow(width, uint64_t{depth}, &bits)) return std::nullopt;
  geometry.rowBytes = bits / 8 + (bits % 8 != 0);
  if (__builtin_mul_overflow(geometry.rowBytes, geometry.rows, &size) || size > SIZE_MAX / 2) return std::nullopt;
  return geometry;
}

}  // namespace peelbox
