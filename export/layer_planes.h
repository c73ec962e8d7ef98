// Which layers are written, and from which channel planes.
#pragma once

#include <array>
#include <cstdint>
#include <optional>

#include "psd/bytes.h"

namespace peelbox {

class LayerRecord;
class PsdDocument;

// The planes of a written layer by sample slot: red, green, blue and, for
// RGBA, transparency. Each holds width x height samples: in the document,
// or, once taken, in `owned`.
struct LayerPlanes {
  int32_t width = 0;
  int32_t height = 0;
  bool withAlpha = false;
  std::array<const uint8_t*, 4> slots{};
  std::array<Bytes, 4> owned;

  int ChannelCount() const { return withAlpha ? 4 : 3; }
};

// A layer is written only from an 8-bit RGB document, when its width and
// height are above 0, and when its channels are exactly {0, 1, 2} (RGB), or
// {0, 1, 2} with a transparency channel (-1, else 3) and otherwise only user
// masks (ids -2 and below, not applied) (RGBA). Those channels must have
// decoded planes. None for every other record: groups and their dividers,
// empty and adjustment layers, other colour modes and depths.
std::optional<LayerPlanes> ChooseLayerPlanes(const PsdDocument& document, const LayerRecord& layer);

// Moves the planes the slots point at out of the layer's channels, so that
// they outlive the document; the slots keep pointing at them.
void TakePlanes(LayerRecord& layer, LayerPlanes* planes);

}  // namespace peelbox
