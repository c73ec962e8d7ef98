#include "export/gif_writer.h"

#include <gd.h>

#include "export/export_result.h"

namespace peelbox {

namespace {

int Red(uint32_t key) { return (key >> 16) & 0xFF; }
int Green(uint32_t key) { return (key >> 8) & 0xFF; }
int Blue(uint32_t key) { return key & 0xFF; }

}  // namespace

PaletteImage::PaletteImage(int width, int height) : image_(gdImageCreate(width, height)) {
  if (image_ == nullptr) return;
  exactKeys_ = std::make_unique<uint32_t[]>(kExactSlots);
  exactIndexes_ = std::make_unique<uint8_t[]>(kExactSlots);
  StartWithTransparentGrey();
  gdImageColorAllocate(image_, 0, 0, 0);
  lastKey_ = Key(0, 0, 0);
  lastIndex_ = Allocate(lastKey_);
}

PaletteImage::PaletteImage(int width, int height, const std::vector<uint32_t>& colours)
    : image_(gdImageCreate(width, height)), fixed_(true) {
  if (image_ == nullptr) return;
  StartWithTransparentGrey();
  for (size_t i = 0; i < colours.size() && count_ < kMaxColors; ++i) {
    const uint32_t key = 0x1000000u | (colours[i] & 0xFFFFFF);
    gdImageColorAllocate(image_, Red(key), Green(key), Blue(key));
    colors_[count_++] = key;
  }
  nearest_ = std::make_unique<NearestColour>(colors_, kBlackIndex, count_);
  lastIndex_ = nearest_->Find(0);
  lastKey_ = Key(0, 0, 0);
}

PaletteImage::~PaletteImage() {
  if (image_ != nullptr) gdImageDestroy(image_);
}

// The transparent grey is not entered in the exact table: libgd gives the
// transparent entry its alpha, so no opaque colour ever matches it.
void PaletteImage::StartWithTransparentGrey() {
  const int grey = gdImageColorAllocate(image_, 127, 127, 127);
  gdImageColorTransparent(image_, grey);
  colors_[kTransparentIndex] = Key(127, 127, 127);
  count_ = 1;
}

uint8_t* PaletteImage::Row(int y) { return image_->pixels[y]; }

const uint8_t* PaletteImage::Row(int y) const { return image_->pixels[y]; }

uint8_t PaletteImage::Lookup(uint32_t key) {
  if (!nearest_) {
    for (uint32_t slot = Hash(key) >> 22;; slot = (slot + 1) & (kExactSlots - 1)) {
      if (exactKeys_[slot] == key) return exactIndexes_[slot];
      if (exactKeys_[slot] == 0) break;
    }
    if (count_ < kMaxColors) {
      gdImageColorAllocate(image_, Red(key), Green(key), Blue(key));
      return Allocate(key);
    }
    nearest_ = std::make_unique<NearestColour>(colors_, kBlackIndex, count_);
  }
  // The palette is full: libgd's closest colour, but among the opaque
  // entries only (index 1 up), so that an opaque pixel never becomes
  // transparent. A full palette holds no colour twice, so a colour that is
  // in it finds its own entry this way too.
  return nearest_->Find(key);
}

// Enters the colour that libgd has just given the next index.
uint8_t PaletteImage::Allocate(uint32_t key) {
  const auto index = static_cast<uint8_t>(count_++);
  colors_[index] = key;
  uint32_t slot = Hash(key) >> 22;
  while (exactKeys_[slot] != 0) slot = (slot + 1) & (kExactSlots - 1);
  exactKeys_[slot] = key;
  exactIndexes_[slot] = index;
  return index;
}

int32_t PaletteImage::EncodeGif(OutputBuffer* out) const {
  int size = 0;
  void* bytes = gdImageGifPtr(image_, &size);
  if (bytes == nullptr) return kWriteFailed;
  const bool appended = out->Append(static_cast<const uint8_t*>(bytes), static_cast<size_t>(size));
  gdFree(bytes);
  return appended ? kExportOk : kWriteFailed;
}

}  // namespace peelbox
