// Big-endian numbers, the only byte order of a Photoshop file. Every field
// read by the reader goes through these: from memory with LoadBigEndian, from
// an open file with ReadBigEndian.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <type_traits>

namespace peelbox {

template <typename T>
T LoadBigEndian(const uint8_t* bytes) {
  static_assert(std::is_integral_v<T>);
  using Unsigned = std::make_unsigned_t<T>;
  Unsigned value = 0;
  for (size_t i = 0; i < sizeof(T); ++i) {
    value = static_cast<Unsigned>((value << 8) | bytes[i]);
  }
  return static_cast<T>(value);  // two's complement for the signed fields
}

// Reads exactly `size` bytes; false on a short read.
inline bool ReadExact(std::FILE* file, void* destination, size_t size) {
  return std::fread(destination, 1, size, file) == size;
}

template <typename T>
bool ReadBigEndian(std::FILE* file, T* value) {
  uint8_t bytes[sizeof(T)];
  if (!ReadExact(file, bytes, sizeof bytes)) return false;
  *value = LoadBigEndian<T>(bytes);
  return true;
}

// A length of 4 bytes, or of 8 where a large document (PSB) widens it.
inline bool ReadLength(std::FILE* file, bool wide, uint64_t* length) {
  if (wide) return ReadBigEndian(file, length);
  uint32_t narrow = 0;
  if (!ReadBigEndian(file, &narrow)) return false;
  *length = narrow;
  return true;
}

// Reads and drops bytes up to `end`, without seeking back; nothing when the
// file is already there or past it. False when the file ends first.
inline bool SkipTo(std::FILE* file, int64_t end) {
  int64_t position = ftello(file);
  if (position < 0) return false;
  uint8_t scratch[4096];
  while (position < end) {
    const size_t step = static_cast<size_t>(end - position < 4096 ? end - position : 4096);
    if (!ReadExact(file, scratch, step)) return false;
    position += static_cast<int64_t>(step);
  }
  return true;
}

// Skips one pad byte when the file position is odd (resource bodies and layer
// records are padded to even offsets from the start of the file).
inline bool SkipPadToEven(std::FILE* file) {
  const int64_t position = ftello(file);
  if (position < 0 || position % 2 == 0) return true;
  uint8_t pad;
  return ReadExact(file, &pad, 1);
}

}  // namespace peelbox
