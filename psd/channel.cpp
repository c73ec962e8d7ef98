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
  if (dataLength > 0) {
    if (BytesLeft(file) < dataLength) return kShortStoredData;
    if (!data.Allocate(dataLength)) return kNoStoredMemory;
    if (!ReadExact(file, data.writable(), dataLength)) return kShortStoredData;
  }
  if (compression != kRawCompression && compression != kPackBitsCompression) return kOk;

  // Records of zero or negative size (groups, adjustment layers) and masks
  // without a rectangle have nothing to decode; their bytes stay in `data`.
  const std::optional<LayerBounds> bounds = layer.ChannelBounds(id);
  if (!bounds || bounds->Width() <= 0 || bounds->Height() <= 0) return kOk;
  const PsdDocument* document = layer.owner;
  const uint64_t bytesPerSample = document && document->header ? document->header->depth / 8 : 1;
  const uint64_t rows = static_cast<uint64_t>(bounds->Height());
  uint64_t rowBytes = 0;
  uint64_t planeSize = 0;
  if (__builtin_mul_overflow(static_cast<uint64_t>(bounds->Width()), bytesPerSample, &rowBytes) ||
      __builtin_mul_overflow(rowBytes, rows, &planeSize) || planeSize > SIZE_MAX) {
    return kBadRow;  // more than any file can fill
  }
  planeWidth = static_cast<int32_t>(bounds->Width());
  planeHeight = static_cast<int32_t>(rows);
  return compression == kRawCompression ? TakeRawPlane(planeSize) : DecodePackBitsPlane(rowBytes, rows);
}

int32_t ChannelInfo::TakeRawPlane(uint64_t planeSize) {
  if (dataLength < planeSize) return kBadRow;
  plane = std::move(data);  // no copy
  plane.Shrink(planeSize);
  return kOk;
}

int32_t ChannelInfo::DecodePackBitsPlane(uint64_t rowBytes, uint64_t rows) {
  // A table of one 2-byte count per row, then the packed rows.
  if (dataLength / 2 < rows) return kBadRow;
  const uint64_t packedBytes = dataLength - 2 * rows;
  // A packed byte stands for at most 64 bytes (a 2-byte run of 128), so a
  // plane that the stored bytes cannot fill fails here, before it is had.
  if (rowBytes > 1 && (rowBytes - 1) * rows > packedBytes * 64) return kBadRow;
  if (!plane.Allocate(rowBytes * rows)) return kNoPlaneMemory;

  const uint8_t* table = data.data();
  const uint8_t* packed = table + 2 * rows;
  uint64_t packedLeft = packedBytes;
  uint8_t* row = plane.writable();
  for (uint64_t index = 0; index < rows; ++index, row += rowBytes) {
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
