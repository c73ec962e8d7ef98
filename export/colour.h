// The convert-colour stage: from a document's samples to the raster's,
// which pixel format each colour mode and depth becomes, and the conversion
// of every sample. CMYK and Lab go through Little CMS to sRGB; 32-bit
// values, which are linear light, through the sRGB transfer curve.
// Transparency is composed before and only copied here.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "export/export_options.h"
#include "export/raster.h"
#include "psd/block.h"
#include "psd/stop_token.h"

namespace peelbox {

struct LayerPlanes;

// Whether layers are written from a document of this mode and depth: RGB,
// greyscale 8/16/32, duotone, CMYK and Lab 8/16.
bool WritesLayers(const DocumentFormat& format);
// The same for a flattened document's composite: those, indexed 8 and
// bitmap 1.
bool WritesComposite(const DocumentFormat& format);

class ColourConverter {
 public:
  // The converter for a document of this format; none when its mode and
  // depth have no rule (WritesComposite). `colourTable`
  // is the colour-mode data (an indexed document's 768 bytes), `profile` the
  // embedded ICC profile, either empty. A CMYK profile that Little CMS cannot
  // use falls back to the plain formula. With kSrgb, RGB and grey samples go
  // through a profile of their own colour space to sRGB (grey to grey on
  // the sRGB curve), at their own depth.
  static std::unique_ptr<ColourConverter> Create(const DocumentFormat& format, const std::string& colourTable,
                                                 const std::string& profile,
                                                 ColourHandling handling = ColourHandling::kKeep);
  ~ColourConverter();
  ColourConverter(const ColourConverter&) = delete;
  ColourConverter& operator=(const ColourConverter&) = delete;

  PixelFormat Output(bool withAlpha) const;
  // Fills the raster's rows from the layer's colour planes, with `alpha`
  // (samples of the raster's depth, or none) copied into each pixel's last
  // sample. kExportOk, kWriteFailed when its scratch memory cannot be had, or
  // kStopped. Safe on several threads at once.
  int32_t Convert(const LayerPlanes& planes, const uint8_t* alpha, uint8_t* raster, const StopToken& stop = {}) const;

  // What the conversion is: "none", "srgb-curve", "icc", "formula", "lab",
  // "palette", "bitmap", "srgb" (an RGB or grey profile to sRGB).
  const char* Conversion() const;
  // Whether the raster holds the document's samples as stored (RGB, grey,
  // duotone, indexed through its table, bitmap).
  bool OwnSamples() const;
  // Whether Peelbox made the raster's colours, which it makes sRGB (the
  // formula for CMYK without a profile as well).
  bool MadeSrgb() const { return !OwnSamples(); }

 private:
  class Transform;
  ColourConverter() = default;

  uint16_t mode_ = 0;
  uint16_t depth_ = 8;
  std::vector<uint8_t> palette_;  // 256 reds, 256 greens, 256 blues
  std::unique_ptr<Transform> transform_;
};

}  // namespace peelbox
