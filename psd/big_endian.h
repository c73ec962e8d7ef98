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

// Skips one pad byte when the file position is odd (resource bodies and layer
// records are padded to even offsets from the start of the file).
inline bool SkipPadToEven(std::FILE* file) {
  const int64_t position = ftello(file);
  if (position < 0 || position % 2 == 0) return true;
  uint8_t pad;
  return ReadExact(file, &pad, 1);
}

}  // namespace peelbox
