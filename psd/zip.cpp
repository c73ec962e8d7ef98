#include "psd/zip.h"

#include <libdeflate.h>

#include <algorithm>
#include <memory>

namespace peelbox {

namespace {

// Deflate stores at best 258 bytes in two bits: a stream can never give more
// than this, so a plane it claims beyond that is refused before any memory
// is taken for it.
uint64_t MostInflated(uint64_t storedSize) {
  constexpr uint64_t kBestRatio = 258 * 4;
  return storedSize > UINT64_MAX / kBestRatio - 258 ? UINT64_MAX : storedSize * kBestRatio + 258;
}

struct FreeDecompressor {
  void operator()(libdeflate_decompressor* decompressor) const { libdeflate_free_decompressor(decompressor); }
};

}  // namespace

bool InflateExactly(const uint8_t* stored, uint64_t storedSize, uint64_t size, Bytes* out) {
  if (size > MostInflated(storedSize) || size > SIZE_MAX || storedSize > SIZE_MAX) return false;
  const std::unique_ptr<libdeflate_decompressor, FreeDecompressor> decompressor(libdeflate_alloc_decompressor());
  if (!decompressor || !out->Allocate(size)) return false;
  // Exactly `size` bytes: libdeflate fails a stream that holds more
  // (no room), and one that ends early gives fewer. Bytes after the
  // stream's end are not looked at.
  size_t produced = 0;
  const libdeflate_result result =
      libdeflate_zlib_decompress(decompressor.get(), stored, storedSize, out->writable(), size, &produced);
  return result == LIBDEFLATE_SUCCESS && produced == size;
}

bool UndoPrediction(uint8_t* plane, uint64_t rows, uint64_t rowBytes, unsigned depth) {
  if (depth == 16) {
    for (uint64_t y = 0; y < rows; ++y) {
      uint8_t* row = plane + y * rowBytes;
      for (uint64_t i = 2; i + 1 < rowBytes; i += 2) {
        const unsigned previous = row[i - 2] << 8 | row[i - 1];
        const unsigned value = (previous + (row[i] << 8 | row[i + 1])) & 0xFFFF;
        row[i] = static_cast<uint8_t>(value >> 8);
        row[i + 1] = static_cast<uint8_t>(value);
      }
    }
    return true;
  }
  Bytes scratch;
  if (depth == 32 && !scratch.Allocate(rowBytes)) return false;
  const uint64_t width = rowBytes / 4;
  for (uint64_t y = 0; y < rows; ++y) {
    uint8_t* row = plane + y * rowBytes;
    for (uint64_t i = 1; i < rowBytes; ++i) row[i] = static_cast<uint8_t>(row[i] + row[i - 1]);
    if (depth != 32) continue;
    // Byte b of sample x was stored at b * width + x.
    uint8_t* samples = scratch.writable();
    for (uint64_t x = 0; x < width; ++x) {
      for (unsigned b = 0; b < 4; ++b) samples[4 * x + b] = row[b * width + x];
    }
    std::copy(samples, samples + 4 * width, row);
  }
  return true;
}

}  // namespace peelbox
