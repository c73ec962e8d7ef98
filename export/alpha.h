// The compose-alpha stage: the transparency a layer's files get, decided in
// one place, as samples of the output's depth. Colour conversion copies them
// as they are.
#pragma once

#include <cstdint>

#include "export/export_options.h"
#include "export/layer_planes.h"
#include "export/raster.h"
#include "psd/bytes.h"
#include "psd/stop_token.h"

namespace peelbox {

// width x height samples of 8 bits, or of 16 bits big-endian; none for a
// layer without transparency. They point into the planes or into `owned`.
struct AlphaPlane {
  const uint8_t* samples = nullptr;
  Bytes owned;
};

// From the stored transparency (32-bit linear values clamped to 0..1 and
// scaled to 16 bits, never through a curve), then ignore-alpha: 0 stays, any
// other value becomes the maximum. kExportOk, kWriteFailed when memory cannot
// be had, or kStopped.
int32_t ComposeAlpha(const LayerPlanes& planes, const ExportOptions& options, const StopToken& stop, AlphaPlane* alpha);

}  // namespace peelbox
