#include "export/linear_light.h"

#include <cmath>
#include <cstring>
#include <memory>

namespace peelbox {

namespace {

uint32_t Bits(float value) {
  uint32_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  return bits;
}

float FromBits(uint32_t bits) {
  float value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

// A float's top 16 bits (sign, exponent, 7 bits of mantissa) pick a knot:
// 128 knots per octave, between which the value is linear in the low bits
// and the curve so nearly straight that interpolating errs by well under
// half a step of 65535.
constexpr uint32_t kKnots = (0x3F800000u >> 16) + 2;  // up to 1.0 and one past

struct Curve {
  float at[kKnots];
  Curve() {
    for (uint32_t k = 0; k < kKnots; ++k) {
      const double v = FromBits(k << 16);
      at[k] = static_cast<float>(65535.0 * (v <= 0.0031308 ? 12.92 * v : 1.055 * std::pow(v, 1.0 / 2.4) - 0.055));
    }
  }
};

const Curve& TheCurve() {
  static const std::unique_ptr<const Curve> curve = std::make_unique<const Curve>();
  return *curve;
}

}  // namespace

uint16_t SrgbFromLinear(float linear) {
  if (!(linear > 0.0f)) return 0;  // NaN too
  if (linear >= 1.0f) return 65535;
  const uint32_t bits = Bits(linear);
  const float* knot = TheCurve().at + (bits >> 16);
  const float within = static_cast<float>(bits & 0xFFFF) * (1.0f / 65536.0f);
  return static_cast<uint16_t>(knot[0] + (knot[1] - knot[0]) * within + 0.5f);
}

}  // namespace peelbox
