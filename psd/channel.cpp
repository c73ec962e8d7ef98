#include "psd/channel.h"

#include <algorithm>
#include <cstring>
#include <optional>

#include "psd/big_endian.h"
#include "psd/header.h"
#include "psd/layers.h"

namespace peelbox {

PackBitsOutput DecodePackBitsBounded(const uint8_t* source, size_t size, uint8_t* destination, size_t capacity) {
  PackBitsOutput out;
  const uint8_t* position = source;
  const uint8_t* const end = source + size;
  while (position < end) {
    // Read through a signed byte: 0x80 is -128, which produces nothing.
    const int header = static_cast<int8_t>(*position++);
    if (header >= 0) {
      const size_t count = static_cast<size_t>(header) + 1;
      if (static_cast<size_t>(end - position) < count) {
        out.cutOff = true;
        break;
      }
      if (out.produced < capacity) std::memcpy(destination + out.produced, position, std::min(count, capacity - out.produced));
      out.produced += count;
      position += count;
    } else if (header != -128) {
      const size_t count = static_cast<size_t>(1 - header);
      if (position == end) {
        out.cutOff = true;
        break;
      }
      if (out.produced < capacity) std::memset(destination + out.produced, *position, std::min(count, capacity - out.produced));
      out.produced += count;
      ++position;
    }
  }
  return out;
}

int32_t DecodePackBits(const uint8_t* source, int32_t size, uint8_t* destination) {
  if (source == nullptr) return -1;
  if (destination == nullptr) return -2;
  const size_t packed = size > 0 ? static_cast<size_t>(size) : 0;
  return static_cast<int32_t>(DecodePackBitsBounded(source, packed, destination, SIZE_MAX).produced);
}

int32_t ChannelInfo::Read(std::FILE* file) {
  if (file == nullptr) return kNoSource;
  if (!ReadBigEndian(file, &id) || !ReadBigEndian(file, &dataLength)) return kShortEntry;
  return kOk;
}

int32_t ChannelInfo::ReadFromMemory(MemoryCursor* cursor) {
  if (cursor == nullptr || cursor->position == nullptr) return kNoSource;
  if (cursor->Remaining() < kEntrySize) return kShortEntry;
  id = LoadBigEndian<int16_t>(cursor->position);
  dataLength = LoadBigEndian<uint32_t>(cursor->position + 2);
  cursor->position += kEntrySize;
  return kOk;
}

int32_t ChannelInfo::ReadPixels(const LayerRecord& layer, std::FILE* file) {
  if (file == nullptr) return kNoSource;
  uint16_t compression = 0;
  if (dataLength < 2 || !ReadBigEndian(file, &compression)) return kShortCompression;
  dataLength -= 2;
  if (dataLength > 0 && BytesLeft(file) < dataLength) return kShortStoredData;
  const bool decoded = compression == kRawCompression || compression == kPackBitsCompression;
  std::optional<PlaneGeometry> geometry;
  if (decoded) {
    if (const int32_t result = PlaneGeometryFor(layer, &geometry); result != kOk) return result;
  }
  // A PackBits plane is had before the packed bytes, so that freeing them
  // after decoding leaves no hole below it.
  if (geometry && compression == kPackBitsCompression) {
    if (const int32_t result = AllocatePackBitsPlane(*geometry); result != kOk) return result;
  }
  if (dataLength > 0) {
    if (!data.Allocate(dataLength)) return kNoStoredMemory;
    if (!ReadExact(file, data.writable(), dataLength)) return kShortStoredData;
  }
  // Other compressions, records of zero or negative size (groups,
  // adjustment layers) and masks without a rectangle: the bytes stay in
  // `data` and there is no plane.
  if (!geometry) return kOk;
  return compression == kRawCompression ? TakeRawPlane(*geometry) : DecodePackBitsRows(*geometry);
}

int32_t ChannelInfo::PlaneGeometryFor(const LayerRecord& layer, std::optional<PlaneGeometry>* geometry) {
  const std::optional<LayerBounds> bounds = layer.ChannelBounds(id);
  if (!bounds || bounds->Width() <= 0 || bounds->Height() <= 0) return kOk;
  const PsdDocument* document = layer.owner;
  const uint64_t bytesPerSample = document && document->header ? document->header->depth / 8 : 1;
  PlaneGeometry plan;
  plan.rows = static_cast<uint64_t>(bounds->Height());
  uint64_t planeSize = 0;
  if (__builtin_mul_overflow(static_cast<uint64_t>(bounds->Width()), bytesPerSample, &plan.rowBytes) ||
      __builtin_mul_overflow(plan.rowBytes, plan.rows, &planeSize) || planeSize > SIZE_MAX) {
    return kBadRow;  // more than any file can fill
  }
  planeWidth = static_cast<int32_t>(bounds->Width());
  planeHeight = static_cast<int32_t>(plan.rows);
  *geometry = plan;
  return kOk;
}

int32_t ChannelInfo::TakeRawPlane(const PlaneGeometry& geometry) {
  const uint64_t planeSize = geometry.rowBytes * geometry.rows;
  if (dataLength < planeSize) return kBadRow;
  plane = std::move(data);  // no copy
  plane.Shrink(planeSize);
  return kOk;
}

int32_t ChannelInfo::AllocatePackBitsPlane(const PlaneGeometry& geometry) {
  // A table of one 2-byte count per row, then the packed rows.
  if (dataLength / 2 < geometry.rows) return kBadRow;
  // A packed byte stands for at most 64 bytes (a 2-byte run of 128), so a
  // plane that the stored bytes cannot fill fails here, before it is had.
  const uint64_t packedBytes = dataLength - 2 * geometry.rows;
  if (geometry.rowBytes > 1 && (geometry.rowBytes - 1) * geometry.rows > packedBytes * 64) return kBadRow;
  if (!plane.Allocate(geometry.rowBytes * geometry.rows)) return kNoPlaneMemory;
  return kOk;
}

int32_t ChannelInfo::DecodePackBitsRows(const PlaneGeometry& geometry) {
  const uint64_t rowBytes = geometry.rowBytes;
  const uint8_t* table = data.data();
  const uint8_t* packed = table + 2 * geometry.rows;
  uint64_t packedLeft = dataLength - 2 * geometry.rows;
  uint8_t* row = plane.writable();
  for (uint64_t index = 0; index < geometry.rows; ++index, row += rowBytes) {
    const uint16_t count = LoadBigEndian<uint16_t>(table + 2 * index);
    if (count > packedLeft) return kBadRow;
    const PackBitsOutput out = DecodePackBitsBounded(packed, count, row, rowBytes);
    // One byte either way is tolerated: some writers end a row one byte early
    // or carry one byte too many.
    if (out.cutOff || out.produced + 1 < rowBytes || out.produced > rowBytes + 1) return kBadRow;
    if (out.produced < rowBytes) row[rowBytes - 1] = 0;
    packed += count;
    packedLeft -= count;
  }
  data.Reset();
  return kOk;
}

std::unique_ptr<ChannelInfo> CreateChannelInfo(PsdDocument* owner, std::FILE* file, int32_t* result) {
  return CreateAndRead<ChannelInfo>(owner, file, result);
}

}  // namespace peelbox
