#include "export/png_filter.h"

#include <cstdlib>
#include <cstring>
#include <new>

namespace peelbox {

namespace {

enum Filter : unsigned { kNone, kSub, kUp, kAverage, kPaeth };

uint8_t Paeth(int a, int b, int c) {
  const int pa = std::abs(b - c), pb = std::abs(a - c), pc = std::abs(a + b - 2 * c);
  return static_cast<uint8_t>(pa <= pb && pa <= pc ? a : pb <= pc ? b : c);
}

// The byte filter `f` stores at i, from the raw bytes: a to the left, b
// above, c above-left (0 outside the row).
template <unsigned f>
inline uint8_t Filtered(const uint8_t* row, const uint8_t* up, size_t i, size_t bpp) {
  const int x = row[i], b = up[i];
  const int a = i >= bpp ? row[i - bpp] : 0, c = i >= bpp ? up[i - bpp] : 0;
  if constexpr (f == kSub) return static_cast<uint8_t>(x - a);
  if constexpr (f == kUp) return static_cast<uint8_t>(x - b);
  if constexpr (f == kAverage) return static_cast<uint8_t>(x - (a + b) / 2);
  if constexpr (f == kPaeth) return static_cast<uint8_t>(x - Paeth(a, b, c));
  return static_cast<uint8_t>(x);
}

template <unsigned f>
void Write(const uint8_t* row, const uint8_t* up, size_t rowBytes, size_t bpp, uint8_t* out) {
  for (size_t i = 0; i < rowBytes; ++i) out[i] = Filtered<f>(row, up, i, bpp);
}

// The sum libpng compares, stopping once it passes `limit`: it can no longer
// win.
template <unsigned f>
size_t Cost(const uint8_t* row, const uint8_t* up, size_t rowBytes, size_t bpp, size_t limit) {
  size_t sum = 0;
  for (size_t i = 0; i < rowBytes; ++i) {
    const unsigned v = Filtered<f>(row, up, i, bpp);
    sum += v < 128 ? v : 256 - v;
    if (sum > limit) break;
  }
  return sum;
}

}  // namespace

PngRowFilter::PngRowFilter(size_t rowBytes, size_t pixelBytes, uint32_t width, uint32_t height)
    : rowBytes_(rowBytes), pixelBytes_(pixelBytes), filters_(0x1F) {
  if (height == 1) filters_ &= ~(1u << kUp | 1u << kAverage | 1u << kPaeth);
  if (width == 1) filters_ &= ~(1u << kSub | 1u << kAverage | 1u << kPaeth);
  zeros_.reset(new (std::nothrow) uint8_t[rowBytes + 1]());
}

void PngRowFilter::Filter(const uint8_t* row, const uint8_t* previous, uint8_t* out) const {
  const uint8_t* up = previous != nullptr ? previous : zeros_.get();
  const size_t n = rowBytes_, bpp = pixelBytes_;
  unsigned best = kNone;
  size_t least = Cost<kNone>(row, up, n, bpp, SIZE_MAX);
  const auto consider = [&](unsigned f, size_t cost) {
    if (cost < least) {
      least = cost;
      best = f;
    }
  };
  if (filters_ & 1u << kSub) consider(kSub, Cost<kSub>(row, up, n, bpp, least));
  if (filters_ & 1u << kUp) consider(kUp, Cost<kUp>(row, up, n, bpp, least));
  if (filters_ & 1u << kAverage) consider(kAverage, Cost<kAverage>(row, up, n, bpp, least));
  if (filters_ & 1u << kPaeth) consider(kPaeth, Cost<kPaeth>(row, up, n, bpp, least));
  out[0] = static_cast<uint8_t>(best);
  switch (best) {
    case kSub:
      return Write<kSub>(row, up, n, bpp, out + 1);
    case kUp:
      return Write<kUp>(row, up, n, bpp, out + 1);
    case kAverage:
      return Write<kAverage>(row, up, n, bpp, out + 1);
    case kPaeth:
      return Write<kPaeth>(row, up, n, bpp, out + 1);
    default:
      std::memcpy(out + 1, row, n);
  }
}

}  // namespace peelbox
