// A vector mask's path, parsed from its records of 26 bytes: subpaths of
// Bézier knots, each (y, x) point a fraction of the canvas's height and
// width, and how the subpaths combine. Knows no section.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace peelbox {

struct PathPoint {
  double x = 0;  // fractions of the canvas width and height
  double y = 0;
};

// An anchor with the control points of the curves that arrive at it and
// leave it.
struct PathKnot {
  PathPoint preceding;
  PathPoint anchor;
  PathPoint leaving;
};

// How a subpath combines with what the subpaths before it give.
enum class PathOperation : int16_t {
  kContinue = -1,  // part of the same shape as the subpath before it
  kExclude = 0,
  kCombine = 1,
  kSubtract = 2,
  kIntersect = 3,
};

struct Subpath {
  bool closed = true;  // an open subpath is filled as if closed
  PathOperation operation = PathOperation::kCombine;
  std::vector<PathKnot> knots;
};

struct VectorPath {
  bool initialFill = false;  // the initial-fill record says the fill starts with all pixels
  std::vector<Subpath> subpaths;
};

// The records as they stand: a length record opens a subpath and says how
// many knot records follow; knots beyond it, unknown selectors and a short
// last record are dropped.
VectorPath ParsePathRecords(const uint8_t* records, size_t size);

}  // namespace peelbox
