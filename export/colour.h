// From a document's samples to a PNG's: which colour type and depth each
// colour mode and depth becomes, and the conversion of every row. CMYK and
// Lab go through Little CMS to sRGB; 32-bit values, which are linear light,
// through the sRGB transfer curve.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "psd/block.h"

namespace peelbox {

struct LayerPlanes;

// A PNG's pixel format: colour type 0 (grey), 4 (grey and alpha), 2 (RGB) or
// 6 (RGBA), at 8 or 16 bits per sample, samples big-endian.
struct PngFormat {
  int colourType = 2;
  int bitDepth = 8;

  int Channels() const { return colourType == 0 ? 1 : colourType == 4 ? 2 : colourType == 2 ? 3 : 4; }
  int BytesPerPixel() const { return Channels() * bitDepth / 8; }
  bool HasAlpha() const { return colourType == 4 || colourType == 6; }
  bool Grey() const { return colourType == 0 || colourType == 4; }
};

class ColourConverter {
 public:
  // The converter for a document of this format; none when its mode and
  // depth have no rule (WritesComposite). `colourTable`
  // is the colour-mode data (an indexed document's 768 bytes), `profile` the
  // embedded ICC profile, either empty. A CMYK profile that Little CMS cannot
  // use falls back to the plain formula.
  static std::unique_ptr<ColourConverter> Create(const DocumentFormat& format, const std::string& colourTable,
                                                 const std::string& profile);
  ~ColourConverter();
  ColourConverter(const ColourConverter&) = delete;
  ColourConverter& operator=(const ColourConverter&) = delete;

  PngFormat Output(bool withAlpha) const;
  // Fills the PNG rows of the whole layer, interleaved, with ignore-alpha
  // applied (a transparency of 0 stays, any other becomes the maximum).
  // False when its scratch memory cannot be had, or when `stop` was set
  // during a long conversion. Safe on several threads at once.
  bool Convert(const LayerPlanes& planes, bool ignoreAlpha, uint8_t* raster,
               const std::atomic<bool>* stop = nullptr) const;

  // What the conversion is: "none", "srgb-curve", "icc", "formula", "lab",
  // "palette", "bitmap".
  const char* Conversion() const;

 private:
  class Transform;
  ColourConverter() = default;

  uint16_t mode_ = 0;
  uint16_t depth_ = 8;
  std::vector<uint8_t> palette_;  // 256 reds, 256 greens, 256 blues
  std::unique_ptr<Transform> transform_;
};

}  // namespace peelbox
