// A vector mask drawn on a region of the canvas: each shape (a subpath with
// those that continue it) filled by its exact area under the even-odd rule,
// the shapes combined one after the other by their operations. Rows come in
// bands, top to bottom, so that memory holds a few rows of the region
// whatever its height.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "export/image_place.h"
#include "psd/vector_path.h"

namespace peelbox {

class VectorCoverage {
 public:
  // The path's fractions are of the canvas's width and height.
  VectorCoverage(const VectorPath& path, int32_t canvasWidth, int32_t canvasHeight, const ImagePlace& region);
  ~VectorCoverage();
  VectorCoverage(const VectorCoverage&) = delete;
  VectorCoverage& operator=(const VectorCoverage&) = delete;

  // False when its memory could not be had.
  bool Ok() const { return result_ != nullptr; }
  // The coverage, 0 to 1, of the region's pixels in canvas row y. Rows are
  // asked top to bottom; the pointer holds until the next call.
  const float* Row(int64_t y);

 private:
  struct Segment {
    double x0, y0, x1, y1;  // in the region's pixels
    double Top() const { return y0 < y1 ? y0 : y1; }
    double Bottom() const { return y0 < y1 ? y1 : y0; }
  };
  struct Shape {
    int16_t operation = 1;
    std::vector<Segment> segments;  // by their tops
    size_t next = 0;                // the first not yet in a band
    std::vector<size_t> active;     // those that reach into the current band
  };

  void Flatten(const VectorPath& path, double canvasWidth, double canvasHeight);
  void AddLine(Shape& shape, double x0, double y0, double x1, double y1);
  void MakeBand(int64_t top);
  void FillShape(Shape& shape, int64_t top, int64_t rows);

  int64_t width_;
  int64_t height_;
  ImagePlace region_;
  float start_ = 0;  // what the first shape combines with
  std::vector<Shape> shapes_;
  std::unique_ptr<float[]> result_;  // a band of rows
  std::unique_ptr<double[]> cells_;  // a band of signed areas, each row one cell wider
  int64_t bandTop_ = -1;             // in the region's rows
  int64_t bandRows_ = 0;
};

}  // namespace peelbox
