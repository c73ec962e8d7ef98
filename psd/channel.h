// Channel pixel data: one channel entry of a layer record, its stored bytes,
// and the plane decoded from them. A channel is handed the rectangle and
// depth of its plane; it knows nothing of its record.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>

#include "psd/block.h"
#include "psd/plane.h"

namespace peelbox {

enum ChannelId : int16_t {
  kRedChannel = 0,
  kGreenChannel = 1,
  kBlueChannel = 2,
  kAlphaChannel = 3,  // stands in for the transparency channel in some files
  kTransparencyChannel = -1,
  kUserMaskChannel = -2,
  kRealUserMaskChannel = -3,
};

// A rectangle as the file stores it; right and bottom are exclusive.
struct LayerBounds {
  int32_t top = 0;
  int32_t left = 0;
  int32_t bottom = 0;
  int32_t right = 0;

  // 64-bit: the difference of two 32-bit bounds does not fit 32 bits.
  int64_t Width() const { return static_cast<int64_t>(right) - left; }
  int64_t Height() const { return static_cast<int64_t>(bottom) - top; }
};

class ChannelInfo : public PsdBlock {
 public:
  static constexpr int32_t kShortEntry = -2;        // Read
  static constexpr int32_t kShortCompression = -2;  // ReadPixels, also a dataLength below 2
  static constexpr int32_t kNoStoredMemory = -4;
  static constexpr int32_t kShortStoredData = -8;
  static constexpr int32_t kNoPlaneMemory = -16;
  static constexpr int32_t kBadRow = -1;  // data that does not decode to the plane

  // The entry: a 2-byte id and the data length, 4 bytes (8 in a large
  // document).
  int32_t Read(std::FILE* file) override;
  int32_t ReadFromMemory(MemoryCursor* cursor) override;
  // Reads the channel's data at the file position and decodes it into
  // `plane`: `bounds` is the plane's rectangle (none for a mask that has
  // none), `depth` the bits of a sample.
  virtual int32_t ReadPixels(const std::optional<LayerBounds>& bounds, unsigned depth, std::FILE* file);

  size_t RowBytes() const { return planeHeight > 0 ? plane.size() / static_cast<size_t>(planeHeight) : 0; }

  int16_t id = 0;
  // The stored length with the compression word until ReadPixels, without it
  // afterwards.
  uint64_t dataLength = 0;
  uint16_t compression = 0;
  // planeHeight rows of planeWidth samples, top row first, samples in the
  // file's byte order; empty for unknown compressions and empty rectangles
  // (the stored bytes then stay in `data`).
  Bytes plane;
  int32_t planeWidth = 0;
  int32_t planeHeight = 0;

 private:
  size_t EntrySize() const { return Large() ? 10 : 6; }
  int32_t TakeRawPlane(const PlaneGeometry& geometry);
  int32_t DecodePackBitsPlane(const PlaneGeometry& geometry);
  int32_t InflatePlane(const PlaneGeometry& geometry);
  unsigned CountBytes() const { return Large() ? 4 : 2; }
};

std::unique_ptr<ChannelInfo> CreateChannelInfo(BlockOwner* owner, std::FILE* file, int32_t* result);

}  // namespace peelbox
