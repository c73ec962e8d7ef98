// Where a written image lies on the canvas, for the report and for names.
#pragma once

#include <cstdint>

namespace peelbox {

struct ImagePlace {
  int64_t left = 0;
  int64_t top = 0;
  int64_t width = 0;
  int64_t height = 0;

  int64_t Right() const { return left + width; }
  int64_t Bottom() const { return top + height; }
  bool Empty() const { return width <= 0 || height <= 0; }
  bool operator==(const ImagePlace&) const = default;
};

// The part both rectangles share; empty when none.
inline ImagePlace Intersection(const ImagePlace& a, const ImagePlace& b) {
  const int64_t left = a.left > b.left ? a.left : b.left;
  const int64_t top = a.top > b.top ? a.top : b.top;
  const int64_t right = a.Right() < b.Right() ? a.Right() : b.Right();
  const int64_t bottom = a.Bottom() < b.Bottom() ? a.Bottom() : b.Bottom();
  if (right <= left || bottom <= top) return {left, top, 0, 0};
  return {left, top, right - left, bottom - top};
}

}  // namespace peelbox
