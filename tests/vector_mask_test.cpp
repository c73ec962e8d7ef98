// Vector masks against the exact area each pixel has inside the shape,
// computed here: straight edges off the pixel grid, a circle of Bézier
// curves, and shapes that subtract, intersect and leave a hole.
#include "export/vector_mask.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>

namespace peelbox {
namespace {

constexpr int kCanvas = 20;

struct Box {
  double left, top, right, bottom;
};

double Overlap(double a0, double a1, double b0, double b1) {
  return std::max(0.0, std::min(a1, b1) - std::max(a0, b0));
}
double AreaIn(const Box& box, int x, int y) {
  return Overlap(x, x + 1, box.left, box.right) * Overlap(y, y + 1, box.top, box.bottom);
}

// The circle's area in pixel (x, y): its height over each of many thin
// columns.
double CircleIn(double cx, double cy, double r, int x, int y) {
  constexpr int kColumns = 4000;
  double area = 0;
  for (int i = 0; i < kColumns; ++i) {
    const double u = x + (i + 0.5) / kColumns, half = r * r - (u - cx) * (u - cx);
    if (half > 0) area += Overlap(y, y + 1, cy - std::sqrt(half), cy + std::sqrt(half)) / kColumns;
  }
  return area;
}

PathPoint At(double x, double y) { return {x / kCanvas, y / kCanvas}; }

Subpath Rectangle(const Box& box, PathOperation operation) {
  Subpath subpath;
  subpath.operation = operation;
  for (const PathPoint p :
       {At(box.left, box.top), At(box.right, box.top), At(box.right, box.bottom), At(box.left, box.bottom)}) {
    subpath.knots.push_back({p, p, p});
  }
  return subpath;
}

// Four curves with the control points a quarter circle needs.
Subpath Circle(double cx, double cy, double r) {
  const double k = 0.5522847498 * r;
  Subpath subpath;
  for (const auto& [ax, ay, dx, dy] :
       {std::array<double, 4>{cx + r, cy, 0, k}, {cx, cy + r, -k, 0}, {cx - r, cy, 0, -k}, {cx, cy - r, k, 0}}) {
    subpath.knots.push_back({At(ax - dx, ay - dy), At(ax, ay), At(ax + dx, ay + dy)});
  }
  return subpath;
}

TEST(VectorCoverage, EveryPixelWithinOneLevelOfItsExactArea) {
  const Box outer{1.5, 1.5, 18.5, 18.5}, inner{5.25, 6.75, 12.5, 14.2}, a{2.2, 3.1, 12.7, 15.4}, b{6.6, 1.3, 17.4, 9.9};
  const Box crossing{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
                     std::min(a.bottom, b.bottom)};
  const Box off{-3.4, 2.3, 9.6, 11.25};  // partly left of the canvas and of the region
  const struct {
    const char* name;
    std::vector<Subpath> subpaths;
    ImagePlace region;
    std::function<double(int, int)> exact;
  } cases[] = {
      {"rectangle on fractional coordinates",
       {Rectangle(off, PathOperation::kCombine)},
       {1, 0, 15, 14},
       [&](int x, int y) { return AreaIn(off, x, y); }},
      {"circle of Bézier curves",
       {Circle(10.3, 9.6, 6.2)},
       {0, 0, kCanvas, kCanvas},
       [](int x, int y) { return CircleIn(10.3, 9.6, 6.2, x, y); }},
      {"subtract",
       {Rectangle(outer, PathOperation::kCombine), Rectangle(inner, PathOperation::kSubtract)},
       {-2, -1, 24, 22},
       [&](int x, int y) { return AreaIn(outer, x, y) - AreaIn(inner, x, y); }},
      {"intersect",
       {Rectangle(a, PathOperation::kCombine), Rectangle(b, PathOperation::kIntersect)},
       {0, 0, kCanvas, kCanvas},
       [&](int x, int y) { return AreaIn(crossing, x, y); }},
      {"a hole in one shape",
       {Rectangle(outer, PathOperation::kCombine), Rectangle(inner, PathOperation::kContinue)},
       {0, 0, kCanvas, kCanvas},
       [&](int x, int y) { return AreaIn(outer, x, y) - AreaIn(inner, x, y); }},
      {"subtract first, from everything",
       {Rectangle(inner, PathOperation::kSubtract)},
       {0, 0, kCanvas, kCanvas},
       [&](int x, int y) { return 1 - AreaIn(inner, x, y); }},
  };
  for (const auto& c : cases) {
    VectorCoverage coverage(VectorPath{false, c.subpaths}, kCanvas, kCanvas, c.region);
    ASSERT_TRUE(coverage.Ok());
    double largest = 0;
    for (int64_t y = c.region.top; y < c.region.Bottom(); ++y) {
      const float* row = coverage.Row(y);
      for (int64_t x = 0; x < c.region.width; ++x) {
        largest =
            std::max(largest, std::fabs(row[x] - c.exact(static_cast<int>(c.region.left + x), static_cast<int>(y))));
      }
    }
    EXPECT_LE(largest, 1 / 255.0) << c.name;
  }
}

}  // namespace
}  // namespace peelbox
