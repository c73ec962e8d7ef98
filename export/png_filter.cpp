#include "export/png_filter.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>

namespace peelbox {

namespace {

enum Filter : unsigned { kNone, kSub, kUp, kAverage, kPaeth };

// What filter f predicts from a to the left, b above and c above-left.
template <unsigned f>
inline int Predicted(int a, int b, int c) {
  if constexpr (f == kSub) return a;
  if constexpr (f == kUp) return b;
  if constexpr (f == kAverage) return (a + b) / 2;
  if constexpr (f == kPaeth) {
    const int pa = std::abs(b - c), pb = std::abs(a - c), pc = std::abs(a + b - 2 * c);
    return pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
  }
  return 0;
}

// The first pixel has nothing to its left; the loops stay free of that test.
template <unsigned f>
void FilterInto(const uint8_t* row, const uint8_t* up, size_t n, size_t bpp, uint8_t* out) {
  const size_t first = std::min(bpp, n);
  for (size_t i = 0; i < first; ++i) out[i] = static_cast<uint8_t>(row[i] - Predicted<f>(0, up[i], 0));
  for (size_t i = first; i < n; ++i) {
    out[i] = static_cast<uint8_t>(row[i] - Predicted<f>(row[i - bpp], up[i], up[i - bpp]));
  }
}

inline size_t Magnitude(int value) {
  const auto byte = static_cast<uint8_t>(value);
  return byte < 128 ? byte : 256 - byte;
}

// libpng's measure of each filter on the row: its bytes read as signed, their
// magnitudes summed. One pass for all five, so that each byte is read once.
void MeasureFilters(const uint8_t* row, const uint8_t* up, size_t n, size_t bpp, size_t costs[5]) {
  const auto add = [&](int x, int a, int b, int c) {
    costs[kNone] += Magnitude(x);
    costs[kSub] += Magnitude(x - Predicted<kSub>(a, b, c));
    costs[kUp] += Magnitude(x - Predicted<kUp>(a, b, c));
    costs[kAverage] += Magnitude(x - Predicted<kAverage>(a, b, c));
    costs[kPaeth] += Magnitude(x - Predicted<kPaeth>(a, b, c));
  };
  const size_t first = std::min(bpp, n);
  for (size_t i = 0; i < first; ++i) add(row[i], 0, up[i], 0);
  for (size_t i = first; i < n; ++i) add(row[i], row[i - bpp], up[i], up[i - bpp]);
}

}  // namespace

PngRowFilter::PngRowFilter(size_t rowBytes, size_t pixelBytes, uint32_t width, uint32_t height)
    : rowBytes_(rowBytes), pixelBytes_(pixelBytes), filters_(0x1F) {
  if (height == 1) filters_ &= ~(1u << kUp | 1u << kAverage | 1u << kPaeth);
  if (width == 1) filters_ &= ~(1u << kSub | 1u << kAverage | 1u << kPaeth);
  zeros_.reset(new (std::nothrow) uint8_t[rowBytes + 1]());
}

void PngRowFilter::Filter(const uint8_t* row, const uint8_t* previous, uint8_t* out) const {
  const size_t n = rowBytes_, bpp = pixelBytes_;
  const uint8_t* up = previous != nullptr ? previous : zeros_.get();
  size_t costs[5] = {};
  MeasureFilters(row, up, n, bpp, costs);
  // The least, the earlier filter on a tie, as libpng chooses.
  unsigned best = kNone;
  for (unsigned f = kSub; f <= kPaeth; ++f) {
    if ((filters_ & 1u << f) != 0 && costs[f] < costs[best]) best = f;
  }
  out[0] = static_cast<uint8_t>(best);
  switch (best) {
    case kSub:
      return FilterInto<kSub>(row, up, n, bpp, out + 1);
    case kUp:
      return FilterInto<kUp>(row, up, n, bpp, out + 1);
    case kAverage:
      return FilterInto<kAverage>(row, up, n, bpp, out + 1);
    case kPaeth:
      return FilterInto<kPaeth>(row, up, n, bpp, out + 1);
    default:
      std::memcpy(out + 1, row, n);
  }
}

}  // namespace peelbox
