#include "psd/vector_path.h"

#include "psd/big_endian.h"

namespace peelbox {

namespace {

constexpr size_t kRecordSize = 26;

enum Selector : uint16_t {
  kClosedLength = 0,
  kClosedLinkedKnot = 1,
  kClosedUnlinkedKnot = 2,
  kOpenLength = 3,
  kOpenLinkedKnot = 4,
  kOpenUnlinkedKnot = 5,
  kInitialFill = 8,
};

// Signed 8.24 fixed point: the point's y, then its x.
PathPoint PointAt(const uint8_t* at) {
  constexpr double kOne = 1 << 24;
  return {LoadBigEndian<int32_t>(at + 4) / kOne, LoadBigEndian<int32_t>(at) / kOne};
}

bool IsKnot(uint16_t selector) {
  return selector == kClosedLinkedKnot || selector == kClosedUnlinkedKnot || selector == kOpenLinkedKnot ||
         selector == kOpenUnlinkedKnot;
}

PathOperation OperationOf(int16_t stored) {
  return stored >= -1 && stored <= 3 ? static_cast<PathOperation>(stored) : PathOperation::kCombine;
}

}  // namespace

VectorPath ParsePathRecords(const uint8_t* records, size_t size) {
  VectorPath path;
  size_t knotsDue = 0;  // knot records the open subpath still expects
  for (size_t at = 0; records != nullptr && size - at >= kRecordSize; at += kRecordSize) {
    const uint8_t* record = records + at;
    const uint16_t selector = LoadBigEndian<uint16_t>(record);
    const uint8_t* body = record + 2;
    if (selector == kClosedLength || selector == kOpenLength) {
      Subpath& subpath = path.subpaths.emplace_back();
      subpath.closed = selector == kClosedLength;
      subpath.operation = OperationOf(LoadBigEndian<int16_t>(body + 2));
      knotsDue = LoadBigEndian<uint16_t>(body);
    } else if (IsKnot(selector) && knotsDue > 0) {
      path.subpaths.back().knots.push_back({PointAt(body), PointAt(body + 8), PointAt(body + 16)});
      --knotsDue;
    } else if (selector == kInitialFill) {
      path.initialFill = LoadBigEndian<uint16_t>(body) != 0;
    }
  }
  return path;
}

}  // namespace peelbox
