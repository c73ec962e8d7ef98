// One sample of a plane as the file stores it: 16-bit values big-endian,
// 32-bit values big-endian floats of linear light.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace peelbox {

inline uint16_t Load16(const uint8_t* at) { return static_cast<uint16_t>(at[0] << 8 | at[1]); }

inline void Store16(uint16_t value, uint8_t* at) {
  at[0] = static_cast<uint8_t>(value >> 8);
  at[1] = static_cast<uint8_t>(value);
}

inline float LoadFloat(const uint8_t* at) {
  const uint32_t bits = static_cast<uint32_t>(at[0]) << 24 | static_cast<uint32_t>(at[1]) << 16 |
                        static_cast<uint32_t>(at[2]) << 8 | at[3];
  float value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

// 0..1, NaN as 0.
inline double Clamped(float value) {
  return std::isnan(value) ? 0.0 : std::clamp(static_cast<double>(value), 0.0, 1.0);
}

inline uint16_t Scaled(double value) { return static_cast<uint16_t>(std::lround(value * 65535.0)); }

// A 16-bit sample as the 8-bit formats take it, rounded.
inline uint8_t Reduced(uint16_t value) { return static_cast<uint8_t>((value * 255u + 32767u) / 65535u); }

// An 8-bit colour sample with transparency `alpha` laid over `under`,
// rounded.
inline uint8_t Blended(uint8_t colour, uint8_t alpha, uint8_t under) {
  return static_cast<uint8_t>((colour * alpha + under * (255u - alpha) + 127u) / 255u);
}

}  // namespace peelbox
