// Which layers are written, why the others are not, and the planes of those
// that are.
#pragma once

#include <array>
#include <cstdint>
#include <optional>

#include "psd/bytes.h"

namespace peelbox {

class LayerRecord;
class PsdDocument;

// Why a record gives no files.
enum class SkipReason {
  kNone,
  kGroup,                // it opens or closes a group: a folder, not a layer
  kNoPixels,             // an adjustment or fill layer of zero size
  kEmpty,                // any other record of zero width or height
  kUnsupportedChannels,  // its channels do not fit the colour mode
  kUnsupportedDocument,  // the document's colour mode and depth have no rule
  kHidden,               // hidden, or inside a hidden group, and only visible layers are wanted
};

// "group", "no pixels", "empty", "unsupported channels", "unsupported
// document", "hidden".
const char* SkipReasonName(SkipReason reason);

// Whether the record holds one of the tagged blocks of an adjustment or fill
// layer (shape layers are fill layers too).
bool IsAdjustmentOrFill(const LayerRecord& layer);

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

struct LayerChoice {
  SkipReason reason = SkipReason::kNone;
  std::optional<LayerPlanes> planes;  // when it is written
};

// A layer is written from an 8-bit RGB document when it is not a group
// record, its width and height are above 0, and its channels are exactly
// {0, 1, 2} (RGB), or {0, 1, 2} with a transparency channel (-1, else 3) and
// otherwise only user masks (ids -2 and below, not applied) (RGBA). Those
// channels must have decoded planes.
LayerChoice ChooseLayer(const PsdDocument& document, const LayerRecord& layer);
std::optional<LayerPlanes> ChooseLayerPlanes(const PsdDocument& document, const LayerRecord& layer);

// Moves the planes the slots point at out of the layer's channels, so that
// they outlive the document; the slots keep pointing at them.
void TakePlanes(LayerRecord& layer, LayerPlanes* planes);

}  // namespace peelbox
