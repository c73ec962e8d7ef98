// Channel pixel data: one channel entry of a layer record, its stored bytes,
// and the plane decoded from them. Also the one PackBits decoder.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>

#include "psd/document.h"

namespace peelbox {

class LayerRecord;

enum ChannelId : int16_t {
  kRedChannel = 0,
  kGreenChannel = 1,
  kBlueChannel = 2,
  kAlphaChannel = 3,  // stands in for the transparency channel in some files
  kTransparencyChannel = -1,
  kUserMaskChannel = -2,
  kRealUserMaskChannel = -3,
};

enum ChannelCompression : uint16_t {
  kRawCompression = 0,
  kPackBitsCompression = 1,
};

class ChannelInfo : public PsdBlock {
 public:
  static constexpr int32_t kShortEntry = -2;        // Read
  static constexpr int32_t kShortCompression = -2;  // ReadPixels, also a dataLength below 2
  static constexpr int32_t kNoStoredMemory = -4;
  static constexpr int32_t kShortStoredData = -8;
  static constexpr int32_t kNoPlaneMemory = -16;
  static constexpr int32_t kBadRow = -1;  // rows that do not decode to the plane
  static constexpr size_t kEntrySize = 6;

  int32_t Read(std::FILE* file) override;
  int32_t ReadFromMemory(MemoryCursor* cursor) override;
  // Reads the channel's data at the file position and decodes it into
  // `plane`, at the rectangle the layer gives this channel.
  virtual int32_t ReadPixels(const LayerRecord& layer, std::FILE* file);

  size_t RowBytes() const { return planeHeight > 0 ? plane.size() / static_cast<size_t>(planeHeight) : 0; }

  int16_t id = 0;
  // The stored length with the compression word until ReadPixels, without it
  // afterwards.
  uint32_t dataLength = 0;
  // planeHeight rows of planeWidth samples, top row first; empty for
  // compressions other than raw and PackBits and for empty rectangles (the
  // stored bytes then stay in `data`).
  Bytes plane;
  int32_t planeWidth = 0;
  int32_t planeHeight = 0;

 private:
  struct PlaneGeometry {
    uint64_t rowBytes = 0;
    uint64_t rows = 0;
  };
  // The plane this channel decodes into; none for an empty rectangle.
  int32_t PlaneGeometryFor(const LayerRecord& layer, std::optional<PlaneGeometry>* geometry);
  int32_t TakeRawPlane(const PlaneGeometry& geometry);
  int32_t AllocatePackBitsPlane(const PlaneGeometry& geometry);
  int32_t DecodePackBitsRows(const PlaneGeometry& geometry);
};

std::unique_ptr<ChannelInfo> CreateChannelInfo(PsdDocument* owner, std::FILE* file, int32_t* result);

// What the bounded decoder did: the bytes the packets stand for (also those
// beyond the capacity, which are counted but not written), and whether the
// input ended inside a packet.
struct PackBitsOutput {
  size_t produced = 0;
  bool cutOff = false;
};

// Decodes `size` packed bytes into at most `capacity` bytes of `destination`.
// Never reads past the input or writes past the capacity; stops at a packet
// that the end of the input cuts off.
PackBitsOutput DecodePackBitsBounded(const uint8_t* source, size_t size, uint8_t* destination, size_t capacity);

// Decodes `size` packed bytes into `destination`, which must hold what they
// stand for. Returns the number of bytes written; -1 without a source, -2
// without a destination.
int32_t DecodePackBits(const uint8_t* source, int32_t size, uint8_t* destination);

}  // namespace peelbox
