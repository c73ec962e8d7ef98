// The GIF file of a layer: always 8 bits, transparent exactly where the
// raster's transparency is 0.
#pragma once

#include <memory>

#include "export/gif_writer.h"
#include "export/raster.h"
#include "psd/stop_token.h"

namespace peelbox {

// How soft layers become GIF pixels.
struct GifLook {
  // 0xRRGGBB: pixels of alpha 128 up are blended over it and drawn opaque,
  // the others are transparent. -1: transparent exactly where alpha is 0,
  // every other pixel drawn with its full colour.
  int matte = -1;
  bool dither = false;  // Floyd-Steinberg when the palette is chosen
};

// The GIF's palette image for the raster: few colours (at most 254 opaque
// ones) keep black at 1 and then their order of first use; more get a
// palette chosen for them. 16-bit samples are reduced to 8. None when
// stopped or out of memory.
std::unique_ptr<PaletteImage> MakeGifImage(const Raster& raster, const StopToken& stop, const GifLook& look = {});

}  // namespace peelbox
