// PNG row filtering as libpng's default does it, for an encoder that
// deflates the image data itself: each row gets the filter whose bytes, read
// as signed, have the smallest sum of magnitudes; ties go to the earlier of
// None, Sub, Up, Average, Paeth.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace peelbox {

class PngRowFilter {
 public:
  // Rows of `rowBytes` bytes, `pixelBytes` to a pixel (at least 1). One row
  // or one column rules out the filters that would only look at zeros, as
  // libpng does.
  PngRowFilter(size_t rowBytes, size_t pixelBytes, uint32_t width, uint32_t height);

  // Writes the filter type and the filtered row: rowBytes + 1 bytes at
  // `out`. `previous` is the row above, none for the first.
  void Filter(const uint8_t* row, const uint8_t* previous, uint8_t* out) const;

  bool ok() const { return zeros_ != nullptr; }

 private:
  size_t rowBytes_;
  size_t pixelBytes_;
  unsigned filters_;                  // bit f: filter f may be chosen
  std::unique_ptr<uint8_t[]> zeros_;  // the row above the first
};

}  // namespace peelbox
