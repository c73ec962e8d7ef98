#include "export/layer_planes.h"

#include <algorithm>

#include "psd/composite.h"
#include "psd/layer_record.h"

namespace peelbox {

namespace {

constexpr const char* kAdjustmentAndFillKeys[] = {"SoCo", "GdFl", "PtFl", "brit", "levl", "curv", "expA",
                                                  "vibA", "hue2", "hue ", "blnc", "blwh", "phfl", "mixr",
                                                  "clrL", "nvrt", "post", "thrs", "grdm", "selc"};

// The planes of the colour and transparency channels, or none when the
// channels do not fit the mode or lack a plane.
std::optional<LayerPlanes> ModePlanes(const DocumentFormat& format, const LayerRecord& layer) {
  const int colours = format.ColourChannels();
  std::vector<const ChannelInfo*> colour(static_cast<size_t>(colours), nullptr);
  const ChannelInfo* transparency = nullptr;
  const ChannelInfo* channel3 = nullptr;  // stands in for transparency in RGB
  for (const auto& channel : layer.channels) {
    const int16_t id = channel->id;
    if (id <= kUserMaskChannel) continue;  // user masks are not applied
    const ChannelInfo** slot = id == kTransparencyChannel                     ? &transparency
                               : id >= 0 && id < colours                      ? &colour[static_cast<size_t>(id)]
                               : id == kAlphaChannel && format.mode == kRgbMode ? &channel3
                                                                              : nullptr;
    if (slot == nullptr || *slot != nullptr) return std::nullopt;  // another kind of channel, or one twice
    *slot = channel.get();
  }
  // Next to a transparency channel, 3 is a channel of its own.
  if (transparency != nullptr && channel3 != nullptr) return std::nullopt;
  const ChannelInfo* alpha = transparency != nullptr ? transparency : channel3;

  LayerPlanes planes;
  planes.width = static_cast<int32_t>(layer.Bounds().Width());
  planes.height = static_cast<int32_t>(layer.Bounds().Height());
  const auto decoded = [&](const ChannelInfo* channel) {
    return channel != nullptr && !channel->plane.empty() && channel->planeWidth == planes.width &&
           channel->planeHeight == planes.height;
  };
  for (const ChannelInfo* channel : colour) {
    if (!decoded(channel)) return std::nullopt;
    planes.colour.push_back(channel->plane.data());
  }
  if (alpha != nullptr) {
    if (!decoded(alpha)) return std::nullopt;
    planes.alpha = alpha->plane.data();
  }
  return planes;
}

}  // namespace

bool WritesLayers(const DocumentFormat& format) {
  switch (format.mode) {
    case kRgbMode:
    case kGreyscaleMode:
      return format.depth == 8 || format.depth == 16 || format.depth == 32;
    case kDuotoneMode:
    case kCmykMode:
    case kLabMode:
      return format.depth == 8 || format.depth == 16;
    default:
      return false;
  }
}

bool WritesComposite(const DocumentFormat& format) {
  return WritesLayers(format) || (format.mode == kIndexedMode && format.depth == 8) ||
         (format.mode == kBitmapMode && format.depth == 1);
}

const char* SkipReasonName(SkipReason reason) {
  switch (reason) {
    case SkipReason::kNone:
      return "";
    case SkipReason::kGroup:
      return "group";
    case SkipReason::kNoPixels:
      return "no pixels";
    case SkipReason::kEmpty:
      return "empty";
    case SkipReason::kUnsupportedChannels:
      return "unsupported channels";
    case SkipReason::kUnsupportedDocument:
      return "unsupported document";
    case SkipReason::kHidden:
      return "hidden";
  }
  return "";
}

bool IsAdjustmentOrFill(const LayerRecord& layer) {
  return std::any_of(layer.blocks.begin(), layer.blocks.end(), [](const TaggedBlock& block) {
    return std::any_of(std::begin(kAdjustmentAndFillKeys), std::end(kAdjustmentAndFillKeys),
                       [&](const char* key) { return block.key == key; });
  });
}

LayerChoice ChooseLayer(const DocumentFormat& format, const LayerRecord& layer) {
  LayerChoice choice;
  if (layer.SectionType() != 0) {
    choice.reason = SkipReason::kGroup;  // even when a writer stored pixels in it
  } else if (!WritesLayers(format)) {
    choice.reason = SkipReason::kUnsupportedDocument;
  } else if (layer.Bounds().Width() <= 0 || layer.Bounds().Height() <= 0) {
    choice.reason = IsAdjustmentOrFill(layer) ? SkipReason::kNoPixels : SkipReason::kEmpty;
  } else if (!(choice.planes = ModePlanes(format, layer))) {
    choice.reason = SkipReason::kUnsupportedChannels;
  }
  return choice;
}

void TakePlanes(LayerRecord& layer, LayerPlanes* planes) {
  for (const auto& channel : layer.channels) {
    const uint8_t* data = channel->plane.data();
    const bool used = data != nullptr && (data == planes->alpha || std::find(planes->colour.begin(),
                                                                              planes->colour.end(), data) !=
                                                                         planes->colour.end());
    // A moved buffer stays where it is: the pointers still hold.
    if (used) planes->owned.push_back(std::move(channel->plane));
  }
}

LayerPlanes TakeComposite(CompositeImage& composite, int32_t width, int32_t height) {
  LayerPlanes planes;
  planes.width = width;
  planes.height = height;
  for (int p = 0; p < composite.planeCount; ++p) planes.colour.push_back(composite.Plane(p));
  planes.owned.push_back(std::move(composite.pixels));
  return planes;
}

}  // namespace peelbox
