// ZIP channels: a zlib stream of the plane, with or without per-row
// prediction. Knows no section.
#pragma once

#include <cstdint>

#include "psd/bytes.h"

namespace peelbox {

// Inflates `storedSize` bytes into exactly `size` bytes. A plane larger than
// any stream of that size can give is refused before it is allocated. False
// when the stream is corrupt, ends before `size` bytes, holds more, or the
// memory cannot be had.
bool InflateExactly(const uint8_t* stored, uint64_t storedSize, uint64_t size, Bytes* out);

// Undoes the prediction of `rows` rows of `rowBytes` bytes of samples of
// `depth` bits, in place: each sample was stored as its difference to the
// previous one of its row (bytes at 8 bits, big-endian values at 16, both
// wrapping); at 32 bits the row's bytes were first reordered by significance
// (all most significant bytes, then the next, ...) and the difference runs
// over those bytes. False when the scratch row cannot be had.
bool UndoPrediction(uint8_t* plane, uint64_t rows, uint64_t rowBytes, unsigned depth);

}  // namespace peelbox
