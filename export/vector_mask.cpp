#include "export/vector_mask.h"

#include <algorithm>
#include <cmath>
#include <new>
#include <utility>

namespace peelbox {

namespace {

constexpr int64_t kBandRows = 16;
constexpr double kFlatness = 0.001;       // how far, in pixels, a chord may stray from its curve
constexpr double kMaxPieces = 1024;       // chords per curve
constexpr double kMaxSegments = 1 << 18;  // chords per path, whatever the file says

struct Point {
  double x, y;
};

struct Curve {
  Point from, leaving, arriving, to;
};

Point Lerp(Point a, Point b, double t) { return {a.x + (b.x - a.x) * t, a.y + (b.y - a.y) * t}; }

Point At(const Curve& c, double t) {
  const Point a = Lerp(c.from, c.leaving, t), b = Lerp(c.leaving, c.arriving, t), d = Lerp(c.arriving, c.to, t);
  return Lerp(Lerp(a, b, t), Lerp(b, d, t), t);
}

// Equal steps of t stray from a cubic by at most 3/4 of its largest second
// difference over the steps squared.
double PiecesFor(const Curve& c) {
  const auto second = [](Point a, Point b, Point d) { return std::hypot(a.x - 2 * b.x + d.x, a.y - 2 * b.y + d.y); };
  const double bend = std::max(second(c.from, c.leaving, c.arriving), second(c.leaving, c.arriving, c.to));
  return std::clamp(std::ceil(std::sqrt(0.75 * bend / kFlatness)), 1.0, kMaxPieces);
}

// From each anchor to the next, and from the last back to the first: along
// the control points for a closed subpath, straight for an open one.
std::vector<Curve> CurvesOf(const Subpath& subpath, const auto& toPixels) {
  std::vector<Curve> curves;
  const size_t n = subpath.knots.size();
  if (n < 2) return curves;  // no area
  for (size_t k = 0; k < n; ++k) {
    const PathKnot& a = subpath.knots[k];
    const PathKnot& b = subpath.knots[(k + 1) % n];
    const Point from = toPixels(a.anchor), to = toPixels(b.anchor);
    const bool straight = k + 1 == n && !subpath.closed;
    curves.push_back({from, straight ? from : toPixels(a.leaving), straight ? to : toPixels(b.preceding), to});
  }
  return curves;
}

// The signed area a piece of line within one row leaves to its right,
// spread over the cells it crosses: each cell gets its part, the next the
// rest, so that the sum along the row gives every cell its coverage.
void AddPiece(double* cells, int64_t width, double xa, double xb, double height) {
  const double left = std::min(xa, xb), right = std::max(xa, xb);
  if (right - left < 1e-9) {
    const int64_t i = std::min(static_cast<int64_t>(left), width);
    const double into = left - static_cast<double>(i);
    cells[i] += height * (1 - into);
    cells[i + 1] += height * into;
    return;
  }
  const double perUnit = height / (right - left);
  const int64_t last = std::min(static_cast<int64_t>(right), width);
  for (int64_t i = static_cast<int64_t>(left); i <= last; ++i) {
    const double from = std::max(left, static_cast<double>(i)), to = std::min(right, static_cast<double>(i + 1));
    if (to <= from) continue;
    const double part = perUnit * (to - from), middle = (from + to) / 2 - static_cast<double>(i);
    cells[i] += part * (1 - middle);
    cells[i + 1] += part * middle;
  }
}

// The even-odd rule on the mean winding of a pixel.
float EvenOdd(double winding) {
  const double folded = std::fmod(std::fabs(winding), 2.0);
  return static_cast<float>(folded <= 1 ? folded : 2 - folded);
}

float Combine(int16_t operation, float so_far, float shape) {
  switch (static_cast<PathOperation>(operation)) {
    case PathOperation::kExclude:
      return so_far + shape - 2 * so_far * shape;
    case PathOperation::kSubtract:
      return so_far * (1 - shape);
    case PathOperation::kIntersect:
      return so_far * shape;
    default:
      return so_far + shape - so_far * shape;
  }
}

}  // namespace

VectorCoverage::VectorCoverage(const VectorPath& path, int32_t canvasWidth, int32_t canvasHeight,
                               const ImagePlace& region)
    : width_(std::max<int64_t>(region.width, 0)), height_(std::max<int64_t>(region.height, 0)), region_(region) {
  Flatten(path, canvasWidth, canvasHeight);
  // Starting from nothing, a first shape that subtracts or intersects
  // acts on a full canvas; with no shape at all the initial fill decides.
  if (shapes_.empty()) {
    start_ = path.initialFill ? 1 : 0;
  } else {
    const auto first = static_cast<PathOperation>(shapes_.front().operation);
    start_ = first == PathOperation::kSubtract || first == PathOperation::kIntersect ? 1 : 0;
  }
  const size_t cells = static_cast<size_t>(kBandRows) * static_cast<size_t>(width_ + 2);
  result_.reset(new (std::nothrow) float[cells]);
  cells_.reset(new (std::nothrow) double[cells]);
  if (!cells_) result_.reset();
}

VectorCoverage::~VectorCoverage() = default;

void VectorCoverage::Flatten(const VectorPath& path, double canvasWidth, double canvasHeight) {
  const auto toPixels = [&](PathPoint p) {
    return Point{p.x * canvasWidth - static_cast<double>(region_.left),
                 p.y * canvasHeight - static_cast<double>(region_.top)};
  };
  std::vector<std::vector<Curve>> curvesOfShape;
  double pieces = 0;
  for (const Subpath& subpath : path.subpaths) {
    if (subpath.operation != PathOperation::kContinue || shapes_.empty()) {
      shapes_.emplace_back().operation = static_cast<int16_t>(
          subpath.operation == PathOperation::kContinue ? PathOperation::kCombine : subpath.operation);
      curvesOfShape.emplace_back();
    }
    for (const Curve& curve : CurvesOf(subpath, toPixels)) {
      curvesOfShape.back().push_back(curve);
      pieces += PiecesFor(curve);
    }
  }
  const double scale = pieces > kMaxSegments ? kMaxSegments / pieces : 1.0;
  for (size_t s = 0; s < shapes_.size(); ++s) {
    for (const Curve& curve : curvesOfShape[s]) {
      const int steps = static_cast<int>(std::max(1.0, std::floor(PiecesFor(curve) * scale)));
      Point from = curve.from;
      for (int k = 1; k <= steps; ++k) {
        const Point to = k == steps ? curve.to : At(curve, static_cast<double>(k) / steps);
        AddLine(shapes_[s], from.x, from.y, to.x, to.y);
        from = to;
      }
    }
    std::sort(shapes_[s].segments.begin(), shapes_[s].segments.end(),
              [](const Segment& a, const Segment& b) { return a.Top() < b.Top(); });
  }
}

// Keeps the parts that reach into the region's rows and lie left of its
// right edge; a part left of the region counts at its left edge, where it
// still covers every cell to its right.
void VectorCoverage::AddLine(Shape& shape, double x0, double y0, double x1, double y1) {
  if (y0 == y1 || std::max(y0, y1) <= 0 || std::min(y0, y1) >= static_cast<double>(height_)) return;
  const double right = static_cast<double>(width_);
  const Point a{x0, y0}, b{x1, y1};
  Point cuts[4] = {a};
  int count = 1;
  double at[2];
  int crossings = 0;
  for (double edge : {0.0, right}) {
    if ((x0 - edge) * (x1 - edge) < 0) at[crossings++] = (edge - x0) / (x1 - x0);
  }
  if (crossings == 2 && at[0] > at[1]) std::swap(at[0], at[1]);
  for (int k = 0; k < crossings; ++k) cuts[count++] = Lerp(a, b, at[k]);
  cuts[count++] = b;
  for (int k = 0; k + 1 < count; ++k) {
    const Point p = cuts[k], q = cuts[k + 1];
    if ((p.x + q.x) / 2 >= right || p.y == q.y) continue;
    shape.segments.push_back({std::max(p.x, 0.0), p.y, std::max(q.x, 0.0), q.y});
  }
}

const float* VectorCoverage::Row(int64_t y) {
  const int64_t row = y - region_.top;
  if (!Ok() || row < 0 || row >= height_) return nullptr;
  if (bandTop_ < 0 || row < bandTop_ || row >= bandTop_ + bandRows_) MakeBand(row);
  return result_.get() + (row - bandTop_) * width_;
}

void VectorCoverage::MakeBand(int64_t top) {
  bandTop_ = top;
  bandRows_ = std::min(kBandRows, height_ - top);
  std::fill(result_.get(), result_.get() + bandRows_ * width_, start_);
  for (Shape& shape : shapes_) FillShape(shape, top, bandRows_);
}

void VectorCoverage::FillShape(Shape& shape, int64_t top, int64_t rows) {
  const int64_t stride = width_ + 2;
  std::fill(cells_.get(), cells_.get() + rows * stride, 0.0);
  const double bandTop = static_cast<double>(top), bandBottom = static_cast<double>(top + rows);
  std::erase_if(shape.active, [&](size_t s) { return shape.segments[s].Bottom() <= bandTop; });
  for (; shape.next < shape.segments.size() && shape.segments[shape.next].Top() < bandBottom; ++shape.next) {
    if (shape.segments[shape.next].Bottom() > bandTop) shape.active.push_back(shape.next);
  }
  for (size_t s : shape.active) {
    const Segment& segment = shape.segments[s];
    const double direction = segment.y1 > segment.y0 ? 1 : -1;
    const double slope = (segment.x1 - segment.x0) / (segment.y1 - segment.y0);
    const int64_t first = std::max(top, static_cast<int64_t>(std::floor(segment.Top())));
    const int64_t end = std::min(top + rows, static_cast<int64_t>(std::ceil(segment.Bottom())));
    for (int64_t r = first; r < end; ++r) {
      const double ya = std::max(segment.Top(), static_cast<double>(r));
      const double yb = std::min(segment.Bottom(), static_cast<double>(r + 1));
      if (yb <= ya) continue;
      const double xa = segment.x0 + (ya - segment.y0) * slope, xb = segment.x0 + (yb - segment.y0) * slope;
      AddPiece(cells_.get() + (r - top) * stride, width_, std::clamp(xa, 0.0, static_cast<double>(width_)),
               std::clamp(xb, 0.0, static_cast<double>(width_)), direction * (yb - ya));
    }
  }
  for (int64_t r = 0; r < rows; ++r) {
    const double* cells = cells_.get() + r * stride;
    float* out = result_.get() + r * width_;
    double winding = 0;
    for (int64_t x = 0; x < width_; ++x) {
      winding += cells[x];
      out[x] = Combine(shape.operation, out[x], EvenOdd(winding));
    }
  }
}

}  // namespace peelbox
