// Fuzz target: PackBits, alone and as channel rows of a fuzzer-chosen width
// and count. Input: width (2 bytes), rows (1 byte), depth (1 byte: 8 or 16
// bits), then the channel's stored data (row-count table, packed rows).
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "psd/document.h"
#include "psd/packbits.h"

namespace {

void DecodeAlone(const uint8_t* packed, size_t size, size_t capacity) {
  std::vector<uint8_t> bounded(capacity + 1, 0xA5);
  const peelbox::PackBitsOutput out = peelbox::DecodePackBitsBounded(packed, size, bounded.data(), capacity);
  if (bounded[capacity] != 0xA5) std::abort();  // wrote past the capacity
  // The unbounded form needs room for all a packet can stand for: 128
  // bytes from two.
  std::vector<uint8_t> whole(size * 64 + 128);
  const int32_t produced = peelbox::DecodePackBits(packed, static_cast<int32_t>(size), whole.data());
  if (produced < 0 || static_cast<size_t>(produced) != out.produced) std::abort();
  if (std::memcmp(whole.data(), bounded.data(), std::min(out.produced, capacity)) != 0) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 4) return 0;
  const int32_t width = data[0] << 8 | data[1];
  const int32_t rows = data[2];
  const uint16_t depth = data[3] & 1 ? 16 : 8;
  const uint8_t* stored = data + 4;
  const size_t storedSize = size - 4;
  DecodeAlone(stored, storedSize, static_cast<size_t>(width));

  // The same bytes as a PackBits channel of a width x rows layer.
  std::vector<uint8_t> file(2 + storedSize);
  file[1] = 1;  // the compression word: PackBits
  if (storedSize > 0) std::memcpy(file.data() + 2, stored, storedSize);
  peelbox::PsdDocument document;
  document.fileSize = static_cast<int64_t>(file.size());
  peelbox::ChannelInfo channel;
  channel.owner = &document;
  channel.dataLength = file.size();
  std::FILE* stream = fmemopen(file.data(), file.size(), "rb");
  if (stream == nullptr) return 0;
  const int32_t result = channel.ReadPixels(peelbox::LayerBounds{0, 0, rows, width}, depth, stream);
  std::fclose(stream);
  if (result == 0 && width > 0 && rows > 0 &&
      channel.plane.size() != static_cast<size_t>(width) * (depth / 8) * static_cast<size_t>(rows)) {
    std::abort();
  }
  return 0;
}
