// Which layers are written, why the others are not, and the planes of those
// that are, owned by whoever encodes them.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "psd/bytes.h"

namespace peelbox {

class CompositeImage;
class LayerRecord;
struct DocumentFormat;

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

// The pixels of one written layer: its colour planes in the mode's order
// (R, G, B; C, M, Y, K; L, a, b; grey; index; bits) and its transparency,
// each width x height samples in the file's byte order. They point into the
// document until taken, then into `owned`.
struct LayerPlanes {
  int32_t width = 0;
  int32_t height = 0;
  std::vector<const uint8_t*> colour;
  const uint8_t* alpha = nullptr;
  std::vector<Bytes> owned;
};

struct LayerChoice {
  SkipReason reason = SkipReason::kNone;
  std::optional<LayerPlanes> planes;  // when it is written
};

// Whether layers are written from a document of this mode and depth: RGB,
// greyscale 8/16/32, duotone, CMYK and Lab 8/16.
bool WritesLayers(const DocumentFormat& format);
// The same for a flattened document's composite: those, indexed 8 and
// bitmap 1.
bool WritesComposite(const DocumentFormat& format);

// A layer is written when it is not a group record, has positive width and
// height, and holds the colour channels of its mode (RGB and Lab 0, 1, 2;
// CMYK 0, 1, 2, 3; greyscale and duotone 0), each with a decoded plane;
// transparency is -1 (in RGB also 3); user masks (-2 and below) are not
// applied; any other channel makes the layer unsupported.
LayerChoice ChooseLayer(const DocumentFormat& format, const LayerRecord& layer);

// Moves the planes out of the layer's channels (or the composite's buffer),
// so that they outlive the document; the plane pointers stay valid.
void TakePlanes(LayerRecord& layer, LayerPlanes* planes);
LayerPlanes TakeComposite(CompositeImage& composite, int32_t width, int32_t height);

}  // namespace peelbox
