// The take-planes stage: the colour, transparency and mask planes of a layer
// that is written, moved out of the document so that they outlive it and can
// go to another thread.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "export/image_place.h"
#include "psd/bytes.h"
#include "psd/layer_mask.h"

namespace peelbox {

class ChannelInfo;
class CompositeImage;
class LayerRecord;
struct DocumentFormat;

// A mask's plane at its own rectangle, with what it means outside it.
struct MaskPlane {
  const uint8_t* samples = nullptr;
  int32_t width = 0;
  int32_t height = 0;
  MaskFields fields;
};

// The pixels of one written layer: its colour planes in the mode's order
// (R, G, B; C, M, Y, K; L, a, b; grey; index; bits), its transparency and its
// masks, each in the file's byte order. They point into the document until
// taken, then into `owned`.
struct LayerPlanes {
  int32_t left = 0;  // on the canvas
  int32_t top = 0;
  int32_t width = 0;
  int32_t height = 0;
  unsigned depth = 8;
  std::vector<const uint8_t*> colour;
  const uint8_t* alpha = nullptr;
  std::optional<MaskPlane> userMask;      // channel -2
  std::optional<MaskPlane> realUserMask;  // channel -3
  std::vector<Bytes> owned;

  ImagePlace Place() const { return {left, top, width, height}; }
};

// The channels a record holds for a document of this format: the colour
// channels of its mode (RGB and Lab 0, 1, 2; CMYK 0, 1, 2, 3; greyscale,
// duotone, indexed and bitmap 0), transparency -1 (in RGB also 3, when there
// is no -1) and the user masks -2 and -3. None when another channel is
// there, a channel is there twice, or a colour channel is missing.
struct ModeChannels {
  std::vector<const ChannelInfo*> colour;
  const ChannelInfo* alpha = nullptr;
  const ChannelInfo* userMask = nullptr;
  const ChannelInfo* realUserMask = nullptr;
};
std::optional<ModeChannels> FindModeChannels(const DocumentFormat& format, const LayerRecord& layer);

// The planes of the record's mode channels, viewed in the document. None when
// a colour or transparency channel has no plane of the layer's size (a
// compression Peelbox cannot decode).
std::optional<LayerPlanes> ViewPlanes(const DocumentFormat& format, const LayerRecord& layer);

// The transparency and masks of a record whose own pixels are not written
// but shape other layers (a group, a clipping base); no colour. A
// transparency channel without a plane of the record's size is left out.
LayerPlanes ViewShapePlanes(const DocumentFormat& format, const LayerRecord& layer);

// Row y (on the canvas) of the planes, from column `left` on for `width`
// columns, viewed; colour only. A row of one-bit samples starts at a whole
// byte.
LayerPlanes RowView(const LayerPlanes& planes, int64_t y, int64_t left, int64_t width);

// Moves the viewed planes out of the layer's channels (or the composite's
// buffer), so that they outlive the document; the plane pointers stay valid.
void TakePlanes(LayerRecord& layer, LayerPlanes* planes);
LayerPlanes TakeComposite(CompositeImage& composite, const DocumentFormat& format);

// Frees what is left of the record's pixels once the job took what it
// writes: the planes (and stored bytes) of a record that gives no files
// must not pile up while the rest of the document is read.
void ReleasePlanes(LayerRecord& layer);

}  // namespace peelbox
