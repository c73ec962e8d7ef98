// 32-bit samples are linear light; PNG wants them through the sRGB transfer
// curve, at 16 bits.
#pragma once

#include <cstdint>

namespace peelbox {

// The sRGB curve of a linear value (0..1; below is 0, above and infinity
// 65535, NaN 0), scaled to 0..65535: within ±1 of the exact curve rounded,
// by a table rather than a pow per sample.
uint16_t SrgbFromLinear(float linear);

}  // namespace peelbox
