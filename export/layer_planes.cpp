#include "export/layer_planes.h"

#include <algorithm>

#include "psd/composite.h"
#include "psd/layer_record.h"

namespace peelbox {

std::optional<ModeChannels> FindModeChannels(const DocumentFormat& format, const LayerRecord& layer) {
  const int colours = format.ColourChannels();
  ModeChannels found;
  found.colour.assign(static_cast<size_t>(colours), nullptr);
  const ChannelInfo* transparency = nullptr;
  const ChannelInfo* channel3 = nullptr;  // stands in for transparency in RGB
  for (const auto& channel : layer.channels) {
    const int16_t id = channel->id;
    // Masks never decide whether a layer is written; the first of each
    // kind is kept.
    if (id <= kUserMaskChannel) {
      if (id == kUserMaskChannel && found.userMask == nullptr) found.userMask = channel.get();
      if (id == kRealUserMaskChannel && found.realUserMask == nullptr) found.realUserMask = channel.get();
      continue;
    }
    const ChannelInfo** slot = id == kTransparencyChannel                       ? &transparency
                               : id >= 0 && id < colours                        ? &found.colour[static_cast<size_t>(id)]
                               : id == kAlphaChannel && format.mode == kRgbMode ? &channel3
                                                                                : nullptr;
    if (slot == nullptr || *slot != nullptr) return std::nullopt;  // another kind of channel, or one twice
    *slot = channel.get();
  }
  // Next to a transparency channel, 3 is a channel of its own.
  if (transparency != nullptr && channel3 != nullptr) return std::nullopt;
  if (std::find(found.colour.begin(), found.colour.end(), nullptr) != found.colour.end()) return std::nullopt;
  found.alpha = transparency != nullptr ? transparency : channel3;
  return found;
}

namespace {

std::optional<MaskPlane> MaskPlaneOf(const ChannelInfo* channel, const std::optional<MaskFields>& fields) {
  if (channel == nullptr || !fields || channel->plane.empty()) return std::nullopt;
  return MaskPlane{channel->plane.data(), channel->planeWidth, channel->planeHeight, *fields};
}

// The planes' place and depth, without samples yet.
LayerPlanes PlanesOf(const DocumentFormat& format, const LayerRecord& layer) {
  LayerPlanes planes;
  planes.left = layer.left;
  planes.top = layer.top;
  planes.width = static_cast<int32_t>(layer.Bounds().Width());
  planes.height = static_cast<int32_t>(layer.Bounds().Height());
  planes.depth = format.depth;
  return planes;
}

bool DecodedAtLayerSize(const ChannelInfo* channel, const LayerPlanes& planes) {
  return channel != nullptr && !channel->plane.empty() && channel->planeWidth == planes.width &&
         channel->planeHeight == planes.height;
}

void ViewMasks(const LayerRecord& layer, const ChannelInfo* user, const ChannelInfo* real, LayerPlanes* planes) {
  if (!layer.mask) return;
  planes->userMask = MaskPlaneOf(user, layer.mask->user);
  planes->realUserMask = MaskPlaneOf(real, layer.mask->real);
}

}  // namespace

std::optional<LayerPlanes> ViewPlanes(const DocumentFormat& format, const LayerRecord& layer) {
  const std::optional<ModeChannels> channels = FindModeChannels(format, layer);
  if (!channels) return std::nullopt;
  LayerPlanes planes = PlanesOf(format, layer);
  for (const ChannelInfo* channel : channels->colour) {
    if (!DecodedAtLayerSize(channel, planes)) return std::nullopt;
    planes.colour.push_back(channel->plane.data());
  }
  if (channels->alpha != nullptr) {
    if (!DecodedAtLayerSize(channels->alpha, planes)) return std::nullopt;
    planes.alpha = channels->alpha->plane.data();
  }
  ViewMasks(layer, channels->userMask, channels->realUserMask, &planes);
  return planes;
}

LayerPlanes ViewShapePlanes(const DocumentFormat& format, const LayerRecord& layer) {
  LayerPlanes planes = PlanesOf(format, layer);
  // The first of each; in RGB, 3 stands in for a missing transparency.
  const ChannelInfo *transparency = nullptr, *channel3 = nullptr, *user = nullptr, *real = nullptr;
  for (const auto& channel : layer.channels) {
    const ChannelInfo** slot = channel->id == kTransparencyChannel                       ? &transparency
                               : channel->id == kAlphaChannel && format.mode == kRgbMode ? &channel3
                               : channel->id == kUserMaskChannel                         ? &user
                               : channel->id == kRealUserMaskChannel                     ? &real
                                                                                         : nullptr;
    if (slot != nullptr && *slot == nullptr) *slot = channel.get();
  }
  if (transparency == nullptr) transparency = channel3;
  if (DecodedAtLayerSize(transparency, planes)) planes.alpha = transparency->plane.data();
  ViewMasks(layer, user, real, &planes);
  return planes;
}

LayerPlanes RowView(const LayerPlanes& planes, int64_t y, int64_t left, int64_t width) {
  LayerPlanes row;
  row.left = static_cast<int32_t>(left);
  row.top = static_cast<int32_t>(y);
  row.width = static_cast<int32_t>(width);
  row.height = 1;
  row.depth = planes.depth;
  const auto down = static_cast<size_t>(y - planes.top), across = static_cast<size_t>(left - planes.left);
  const size_t offset = planes.depth == 1 ? down * ((static_cast<size_t>(planes.width) + 7) / 8) + across / 8
                                          : (down * static_cast<size_t>(planes.width) + across) * (planes.depth / 8);
  for (const uint8_t* plane : planes.colour) row.colour.push_back(plane + offset);
  return row;
}

void TakePlanes(LayerRecord& layer, LayerPlanes* planes) {
  const auto used = [&](const uint8_t* data) {
    return data != nullptr && (data == planes->alpha || (planes->userMask && data == planes->userMask->samples) ||
                               (planes->realUserMask && data == planes->realUserMask->samples) ||
                               std::find(planes->colour.begin(), planes->colour.end(), data) != planes->colour.end());
  };
  for (const auto& channel : layer.channels) {
    // A moved buffer stays where it is: the pointers still hold.
    if (used(channel->plane.data())) planes->owned.push_back(std::move(channel->plane));
  }
}

void ReleasePlanes(LayerRecord& layer) {
  for (const auto& channel : layer.channels) {
    channel->plane.Reset();
    channel->data.Reset();
  }
}

LayerPlanes TakeComposite(CompositeImage& composite, const DocumentFormat& format) {
  LayerPlanes planes;
  planes.width = format.columns;
  planes.height = format.rows;
  planes.depth = format.depth;
  for (int p = 0; p < composite.planeCount; ++p) planes.colour.push_back(composite.Plane(p));
  planes.owned.push_back(std::move(composite.pixels));
  return planes;
}

}  // namespace peelbox
