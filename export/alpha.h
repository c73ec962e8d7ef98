// The compose-alpha stage: the transparency a layer's files get, decided in
// one place, as samples of the output's depth. Colour conversion copies them
// as they are.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "export/export_options.h"
#include "export/image_place.h"
#include "export/layer_look.h"
#include "export/layer_planes.h"
#include "export/raster.h"
#include "psd/bytes.h"
#include "psd/stop_token.h"

namespace peelbox {

// Everything that shapes a layer shown as it looks in the document.
struct LayerLook {
  std::shared_ptr<const RecordLook> own;
  std::vector<std::shared_ptr<const RecordLook>> groups;  // those that hold it
  std::shared_ptr<const RecordLook> clippingBase;         // its transparency shapes the layer too
  int32_t canvasWidth = 0;
  int32_t canvasHeight = 0;

  bool Shapes() const;
};

// Samples over a region of the layer's rectangle, row by row, of 8 bits or
// of 16 bits big-endian; none for a layer that is opaque there. They point
// into the planes or into `owned`.
struct AlphaPlane {
  const uint8_t* samples = nullptr;
  Bytes owned;
};

// Over `region` (within the layer's rectangle): the stored transparency
// (32-bit linear values clamped to 0..1), times, with a look, every mask,
// opacity and clipping base that shapes the layer; worked in floating point
// and rounded once to the output's depth. Then ignore-alpha: 0 stays, any
// other value becomes the maximum. kExportOk, kWriteFailed when memory
// cannot be had, or kStopped.
int32_t ComposeAlpha(const LayerPlanes& planes, const LayerLook* look, const ImagePlace& region,
                     const ExportOptions& options, const StopToken& stop, AlphaPlane* alpha);

}  // namespace peelbox
