// The GIF file of a layer: a libgd palette image in which index 0 is the
// transparent grey (127, 127, 127). A layer of few colours gets black at 1
// and its colours in the order they first occur; a layer of many gets a
// palette chosen for it (see gif_palette.h).
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "export/nearest_colour.h"
#include "export/output_buffer.h"

struct gdImageStruct;

namespace peelbox {

class PaletteImage {
 public:
  static constexpr uint8_t kTransparentIndex = 0;
  static constexpr uint8_t kBlackIndex = 1;
  static constexpr int kMaxColors = 256;

  // A palette that starts with the transparent grey and black and grows
  // with the colours as they are asked for.
  PaletteImage(int width, int height);
  // A fixed palette: the transparent grey, then `colours` (0xRRGGBB each, at
  // most 255); every opaque pixel takes its nearest entry.
  PaletteImage(int width, int height, const std::vector<uint32_t>& colours);
  ~PaletteImage();
  PaletteImage(const PaletteImage&) = delete;
  PaletteImage& operator=(const PaletteImage&) = delete;

  // False when libgd could not make the image.
  bool valid() const { return image_ != nullptr; }

  // The palette index of an opaque pixel: the entry of exactly its colour,
  // else a new entry, else (the palette full, or fixed) the nearest opaque
  // entry, the lowest index winning a tie. The transparent grey is never
  // returned, so an opaque pixel never becomes transparent. Tables replace
  // libgd's search over the palette; the indexes are the same.
  uint8_t IndexOf(uint8_t red, uint8_t green, uint8_t blue) {
    const uint32_t key = Key(red, green, blue);
    if (key == lastKey_) return lastIndex_;
    lastKey_ = key;
    lastIndex_ = Lookup(key);
    return lastIndex_;
  }

  // The row of palette indexes for pixel row `y`, written directly.
  uint8_t* Row(int y);
  const uint8_t* Row(int y) const;
  // The colour of an entry, 0xRRGGBB.
  uint32_t Colour(uint8_t index) const { return colors_[index] & 0xFFFFFF; }

  int ColorCount() const { return count_; }
  // Whether a colour came that a growing palette had no room for.
  bool Overflowed() const { return nearest_ != nullptr && !fixed_; }

  // Encodes the image as a GIF89a file (not interlaced, index 0 marked
  // transparent). Returns kExportOk or kWriteFailed.
  int32_t EncodeGif(OutputBuffer* out) const;

 private:
  // Colours as 24-bit values with a marker bit, so that 0 means "empty".
  static uint32_t Key(uint8_t red, uint8_t green, uint8_t blue) {
    return 0x1000000u | static_cast<uint32_t>(red) << 16 | static_cast<uint32_t>(green) << 8 | blue;
  }
  static uint32_t Hash(uint32_t key) { return key * 0x9E3779B1u; }
  void StartWithTransparentGrey();
  uint8_t Lookup(uint32_t key);
  uint8_t Allocate(uint32_t key);

  static constexpr uint32_t kExactSlots = 1024;  // open addressing, never more than a quarter full

  gdImageStruct* image_ = nullptr;
  int count_ = 0;
  bool fixed_ = false;
  uint32_t colors_[kMaxColors] = {};  // keys by index
  uint32_t lastKey_ = 0;
  uint8_t lastIndex_ = 0;
  std::unique_ptr<uint32_t[]> exactKeys_;
  std::unique_ptr<uint8_t[]> exactIndexes_;
  std::unique_ptr<NearestColour> nearest_;  // once the palette is full, or fixed
};

}  // namespace peelbox
