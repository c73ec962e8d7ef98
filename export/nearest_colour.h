// The nearest palette entry to a colour, exactly as a search of the whole
// palette finds it (smallest sum of squared differences, the lowest index
// winning a tie), but without searching the palette for every pixel.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

namespace peelbox {

class NearestColour {
 public:
  // Searches entries first..count-1 of `colors` (0xRRGGBB each).
  NearestColour(const uint32_t* colors, int first, int count);

  // `rgb` is 0xRRGGBB; higher bits are ignored.
  uint8_t Find(uint32_t rgb);

 private:
  // A box of the colour cube. Either one entry is nearest everywhere in it
  // (`winner`), or it keeps the entries that can be nearest somewhere in it
  // and is split in eight when a colour inside is asked for.
  struct Node {
    uint32_t children[8] = {};
    uint32_t listStart = 0;
    uint16_t listSize = 0;
    uint8_t winner = 0;     // 0: none; index 0 is never searched
    uint8_t sizeBits = 8;   // the box is 1 << sizeBits colours along each axis
  };

  // From `node` down towards `colour`, building the boxes on the way: to the
  // box of kScanSize that holds it, or from there while lists are long.
  uint32_t Descend(uint32_t node, const int colour[3], bool belowScanSize);
  uint32_t Build(const int low[3], int size, uint32_t parentStart, uint16_t parentSize);
  uint8_t Answer(uint32_t node, const int colour[3]) const;
  uint8_t Scan(uint32_t start, uint16_t size, const int colour[3]) const;
  bool WinsEverywhere(int entry, int other, const int low[3], const int high[3]) const;

  int red_[256] = {};
  int green_[256] = {};
  int blue_[256] = {};
  int norm_[256] = {};  // red² + green² + blue²
  std::vector<Node> nodes_;
  // The entries of every box's list, with their colour beside them.
  struct ListEntry {
    uint8_t index;
    uint8_t red;
    uint8_t green;
    uint8_t blue;
  };
  std::vector<ListEntry> lists_;
  // Boxes of 8 x 8 x 8 colours are searched when their lists are short
  // (palettes spread over the cube); a dense palette's longer lists are
  // split further. Each such box knows its node once a colour in it was
  // asked for.
  static constexpr int kBoxBits = 3;
  static constexpr int kScanSize = 1 << kBoxBits;
  static constexpr uint16_t kLongList = 4;
  std::unique_ptr<uint32_t[]> boxes_ = std::make_unique<uint32_t[]>(1u << (24 - 3 * kBoxBits));
};

}  // namespace peelbox
