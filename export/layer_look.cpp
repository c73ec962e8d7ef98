#include "export/layer_look.h"

#include <algorithm>
#include <string>

#include "psd/descriptor.h"
#include "psd/layer_record.h"

namespace peelbox {

namespace {

// Set on a -2 mask that is the rendering of other data, the vector mask.
constexpr uint8_t kRenderedFlag = 0x08;

bool HasChannel(const LayerRecord& record, int16_t id) {
  return std::any_of(record.channels.begin(), record.channels.end(),
                     [&](const auto& channel) { return channel->id == id; });
}

double Density(const std::optional<uint8_t>& density) { return density ? *density / 255.0 : 1.0; }

// The master switch, then any effect enabled. A descriptor that cannot be
// walked to its end leaves an effect possible.
bool EffectsEnabled(const Bytes& block) {
  constexpr size_t kVersions = 8;  // the block's version, then the descriptor's
  if (block.size() < kVersions) return false;
  std::optional<bool> master;
  bool anyEnabled = false;
  const bool whole = VisitDescriptorBooleans(block.data() + kVersions, block.size() - kVersions,
                                             [&](const std::string& key, int depth, bool value) {
                                               if (depth == 1 && key == "masterFXSwitch") master = value;
                                               if (depth > 1 && key == "enab") anyEnabled |= value;
                                             });
  return master.value_or(!whole) && (anyEnabled || !whole);
}

}  // namespace

std::optional<UserMask> UserMaskOf(const LayerRecord& record) {
  if (!record.mask) return std::nullopt;
  if (record.mask->real) {
    if (!HasChannel(record, kRealUserMaskChannel)) return std::nullopt;
    return UserMask{kRealUserMaskChannel, *record.mask->real};
  }
  const bool rendered = (record.mask->user.flags & kRenderedFlag) != 0 && record.VectorMaskOf();
  if (rendered || !HasChannel(record, kUserMaskChannel)) return std::nullopt;
  return UserMask{kUserMaskChannel, record.mask->user};
}

const char* MaskKind(const LayerRecord& record) {
  const bool user = UserMaskOf(record).has_value();
  const bool vector = record.VectorMaskOf().has_value();
  return user && vector ? "both" : user ? "user" : vector ? "vector" : "none";
}

uint8_t FillOpacity(const LayerRecord& record) {
  const TaggedBlock* block = record.Block(kFillOpacityKey);
  return block != nullptr && block->data.size() >= 1 ? block->data.data()[0] : 255;
}

bool HasEnabledEffects(const LayerRecord& record) {
  for (const char* key : {kEffectsKey, kMultiEffectsKey, kLaterEffectsKey}) {
    if (const TaggedBlock* block = record.Block(key); block != nullptr) return EffectsEnabled(block->data);
  }
  return false;
}

bool HasFeatheredMask(const LayerRecord& record) {
  if (!record.mask) return false;
  const MaskParameters& parameters = record.mask->parameters;
  const std::optional<UserMask> user = UserMaskOf(record);
  const std::optional<VectorMask> vector = record.VectorMaskOf();
  return (user && !user->fields.Disabled() && parameters.userFeather.value_or(0) > 0) ||
         (vector && !vector->Disabled() && parameters.vectorFeather.value_or(0) > 0);
}

RecordLook LookOf(const LayerRecord& record, std::shared_ptr<const LayerPlanes> planes, bool withFill) {
  RecordLook look;
  look.bounds = record.Bounds();
  look.depth = planes->depth;
  look.transparency = planes->alpha;
  look.opacity = record.opacity / 255.0 * (withFill ? FillOpacity(record) / 255.0 : 1.0);
  const MaskParameters parameters = record.mask ? record.mask->parameters : MaskParameters{};
  if (const std::optional<UserMask> user = UserMaskOf(record); user && !user->fields.Disabled()) {
    const std::optional<MaskPlane>& plane =
        user->channel == kRealUserMaskChannel ? planes->realUserMask : planes->userMask;
    const bool emptyRectangle = user->fields.bounds.Width() <= 0 || user->fields.bounds.Height() <= 0;
    // A mask whose plane could not be decoded shapes nothing.
    if (plane) {
      look.userMask = *plane;
    } else if (emptyRectangle) {
      look.userMask = MaskPlane{nullptr, 0, 0, user->fields};
    }
    look.userDensity = Density(parameters.userDensity);
  }
  if (const std::optional<VectorMask> vector = record.VectorMaskOf(); vector && !vector->Disabled()) {
    look.vectorMask = ParsePathRecords(vector->records, vector->size);
    look.vectorInverted = vector->Inverted();
    look.vectorDensity = Density(parameters.vectorDensity);
  }
  look.planes = std::move(planes);
  return look;
}

}  // namespace peelbox
