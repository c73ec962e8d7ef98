// How a record shapes a layer shown as it looks in the document: its user
// and vector masks, its opacity and fill, and the effects Peelbox does not
// draw. A layer is shaped by its own record, by those of the groups that
// hold it, and by the base it is clipped to.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>

#include "export/layer_planes.h"
#include "psd/layer_mask.h"
#include "psd/vector_path.h"

namespace peelbox {

class LayerRecord;

// The user mask of a record: -3 with the real fields when the mask data has
// them (a layer with a user and a vector mask), else -2. None when the
// record has no channel for it, or when its -2 was only rendered from its
// vector mask, which is drawn from its path instead.
struct UserMask {
  int16_t channel = kUserMaskChannel;
  MaskFields fields;
};
std::optional<UserMask> UserMaskOf(const LayerRecord& record);

// "none", "user", "vector" or "both": the masks the record has, enabled or
// not.
const char* MaskKind(const LayerRecord& record);
// 0 to 255, from the fill opacity block; 255 without one.
uint8_t FillOpacity(const LayerRecord& record);
// Whether the record has layer effects switched on: Peelbox draws none.
bool HasEnabledEffects(const LayerRecord& record);
// Whether an enabled mask of the record is feathered: a feather is not
// drawn.
bool HasFeatheredMask(const LayerRecord& record);

// What one record gives, shared by every layer it shapes and never changed.
struct RecordLook {
  std::shared_ptr<const LayerPlanes> planes;  // holds the samples below
  LayerBounds bounds;                         // of the transparency
  unsigned depth = 8;
  const uint8_t* transparency = nullptr;  // none: opaque within `bounds`
  std::optional<MaskPlane> userMask;      // enabled; no samples: its default colour everywhere
  double userDensity = 1;                 // how much of what the mask hides it hides
  std::optional<VectorPath> vectorMask;   // enabled
  bool vectorInverted = false;
  double vectorDensity = 1;
  double opacity = 1;

  bool Shapes() const { return userMask || vectorMask || opacity < 1; }
};

// The look of a record from its planes (ViewPlanes or ViewShapePlanes).
// `withFill`: the layer itself, whose fill opacity counts; a group or a
// clipping base gives its opacity alone.
RecordLook LookOf(const LayerRecord& record, std::shared_ptr<const LayerPlanes> planes, bool withFill);

}  // namespace peelbox
