#include "export/layer_planes.h"

#include "psd/document.h"

namespace peelbox {

std::optional<LayerPlanes> ChooseLayerPlanes(const PsdDocument& document, const LayerRecord& layer) {
  if (!document.header || document.header->depth != 8 || document.header->mode != kRgbMode) return std::nullopt;
  const LayerBounds bounds = layer.Bounds();
  if (bounds.Width() <= 0 || bounds.Height() <= 0) return std::nullopt;

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

  LayerPlanes planes;
  planes.width = static_cast<int32_t>(bounds.Width());
  planes.height = static_cast<int32_t>(bounds.Height());
  planes.withAlpha = layer.channels.size() > 3;
  if (planes.withAlpha != (alpha != nullptr)) return std::nullopt;
  const ChannelInfo* sources[4] = {colour[0], colour[1], colour[2], alpha};
  const uint64_t planeSize = static_cast<uint64_t>(planes.width) * static_cast<uint64_t>(planes.height);
  for (int s = 0; s < planes.ChannelCount(); ++s) {
    // Raw or PackBits only: other compressions leave no plane.
    if (sources[s] == nullptr || sources[s]->plane.size() != planeSize) return std::nullopt;
    planes.slots[s] = sources[s]->plane.data();
  }
  return planes;
}

}  // namespace peelbox

namespace peelbox {

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
