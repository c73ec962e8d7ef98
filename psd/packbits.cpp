#include "psd/packbits.h"

#include <algorithm>
#include <cstring>

#include "psd/big_endian.h"

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

namespace {

uint64_t TableSize(const PackedRows& packed) { return packed.tableRows * packed.countBytes; }

uint64_t RowCount(const PackedRows& packed, uint64_t row) {
  const uint8_t* at = packed.stored + row * packed.countBytes;
  return packed.countBytes == 4 ? LoadBigEndian<uint32_t>(at) : LoadBigEndian<uint16_t>(at);
}

}  // namespace

bool PackedRowsCanFill(const PackedRows& packed, uint64_t rows, uint64_t rowBytes) {
  if (rows > packed.tableRows || packed.storedSize / packed.countBytes < packed.tableRows) return false;
  const uint64_t packedBytes = packed.storedSize - TableSize(packed);
  return rowBytes <= 1 || (rowBytes - 1) * rows <= packedBytes * 64;
}

bool DecodePackedRows(const PackedRows& packed, uint64_t rows, uint64_t rowBytes, uint8_t* plane) {
  const uint8_t* data = packed.stored + TableSize(packed);
  uint64_t left = packed.storedSize - TableSize(packed);
  uint8_t* row = plane;
  for (uint64_t index = 0; index < rows; ++index, row += rowBytes) {
    const uint64_t count = RowCount(packed, index);
    if (count > left) return false;
    const PackBitsOutput out = DecodePackBitsBounded(data, count, row, rowBytes);
    if (out.cutOff || out.produced + 1 < rowBytes || out.produced > rowBytes + 1) return false;
    if (out.produced < rowBytes) row[rowBytes - 1] = 0;
    data += count;
    left -= count;
  }
  return true;
}

}  // namespace peelbox
