// Small pictures of layers for a layer panel, made from the reader's pixels
// by the same stages as the files: transparency, then colour conversion.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace peelbox {

class ColourConverter;
class PsdDocument;

// 8-bit RGBA rows, top to bottom.
struct Thumbnail {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> rgba;
};

// Record `index`'s pixels scaled down to fit `side` pixels along either side
// (never up); empty for a record without pixels Peelbox can write.
Thumbnail MakeThumbnail(const PsdDocument& document, const ColourConverter& converter, size_t index, int side);

}  // namespace peelbox
