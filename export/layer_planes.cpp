#include "export/layer_planes.h"

#include <algorithm>

#include "psd/document.h"

namespace peelbox {

namespace {

constexpr const char* kAdjustmentAndFillKeys[] = {"SoCo", "GdFl", "PtFl", "brit", "levl", "curv", "expA",
                                                  "vibA", "hue2", "hue ", "blnc", "blwh", "phfl", "mixr",
                                                  "clrL", "nvrt", "post", "thrs", "grdm", "selc"};

bool SupportedDocument(const PsdDocument& document) {
  return document.header && document.header->depth == 8 && document.header->mode == kRgbMode;
}

// The planes of the colour and transparency channels, or none when the
// channels do not make an RGB or RGBA layer.
std::optional<LayerPlanes> RgbPlanes(const LayerRecord& layer) {
  const ChannelInfo* colour[3] = {};
  const ChannelInfo* transparency = nullptr;
  const ChannelInfo* channel3 = nullptr;
  for (const auto& channel : layer.channels) {
    const int16_t id = channel->id;
    if (id <= kUserMaskChannel) continue;  // user masks are not applied
    const ChannelInfo** slot = id == kTransparencyChannel                 ? &transparency
                               : id == kAlphaChannel                      ? &channel3
                               : id >= kRedChannel && id <= kBlueChannel ? &colour[id]
                                                                          : nullptr;
    if (slot == nullptr || *slot != nullptr) return std::nullopt;  // another kind of channel, or one twice
    *slot = channel.get();
  }
  // Channel 3 stands in for a missing transparency channel; next to one it is
  // a channel of its own and the layer is not written.
  if (transparency != nullptr && channel3 != nullptr) return std::nullopt;
  const ChannelInfo* alpha = transparency != nullptr ? transparency : channel3;

  const LayerBounds bounds = layer.Bounds();
  LayerPlanes planes;
  planes.width = static_cast<int32_t>(bounds.Width());
  planes.height = static_cast<int32_t>(bounds.Height());
  planes.withAlpha = layer.channels.size() > 3;
  if (planes.withAlpha != (alpha != nullptr)) return std::nullopt;
  const ChannelInfo* sources[4] = {colour[0], colour[1], colour[2], alpha};
  const uint64_t planeSize = static_cast<uint64_t>(planes.width) * static_cast<uint64_t>(planes.height);
  for (int s = 0; s < planes.ChannelCount(); ++s) {
    if (sources[s] == nullptr || sources[s]->plane.size() != planeSize) return std::nullopt;
    planes.slots[s] = sources[s]->plane.data();
  }
  return planes;
}

}  // namespace

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

LayerChoice ChooseLayer(const PsdDocument& document, const LayerRecord& layer) {
  LayerChoice choice;
  if (layer.SectionType() != 0) {
    choice.reason = SkipReason::kGroup;
  } else if (!SupportedDocument(document)) {
    choice.reason = SkipReason::kUnsupportedDocument;
  } else if (layer.Bounds().Width() <= 0 || layer.Bounds().Height() <= 0) {
    choice.reason = IsAdjustmentOrFill(layer) ? SkipReason::kNoPixels : SkipReason::kEmpty;
  } else if (!(choice.planes = RgbPlanes(layer))) {
    choice.reason = SkipReason::kUnsupportedChannels;
  }
  return choice;
}

std::optional<LayerPlanes> ChooseLayerPlanes(const PsdDocument& document, const LayerRecord& layer) {
  return std::move(ChooseLayer(document, layer).planes);
}

void TakePlanes(LayerRecord& layer, LayerPlanes* planes) {
  for (const auto& channel : layer.channels) {
    for (int s = 0; s < planes->ChannelCount(); ++s) {
      // A moved buffer stays where it is: the slot still points at it.
      if (planes->slots[s] == channel->plane.data() && !channel->plane.empty()) {
        planes->owned[s] = std::move(channel->plane);
      }
    }
  }
}

}  // namespace peelbox
