// The layer and mask information: the layer records with their channel
// entries and extra data, every channel's pixel data, and the global layer
// mask info.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "psd/channel.h"
#include "psd/document.h"

namespace peelbox {

// A rectangle as the file stores it; right and bottom are exclusive.
struct LayerBounds {
  int32_t top = 0;
  int32_t left = 0;
  int32_t bottom = 0;
  int32_t right = 0;

  // 64-bit: the difference of two 32-bit bounds does not fit 32 bits.
  int64_t Width() const { return static_cast<int64_t>(right) - left; }
  int64_t Height() const { return static_cast<int64_t>(bottom) - top; }
};

class LayerRecord : public PsdBlock {
 public:
  // -2, -4, -8 are shared with the extra data read (length, memory, data).
  static constexpr int32_t kShortTop = -2;
  static constexpr int32_t kShortLeft = -4;
  static constexpr int32_t kShortBottom = -8;
  static constexpr int32_t kShortRight = -16;
  static constexpr int32_t kShortChannelCount = -32;
  static constexpr int32_t kBadChannelEntry = -64;
  static constexpr int32_t kShortBlendSignature = -128;
  static constexpr int32_t kShortBlendKey = -256;
  static constexpr int32_t kShortOpacity = -512;
  static constexpr int32_t kShortClipping = -1024;  // also the pad byte
  static constexpr int32_t kShortFlags = -2048;
  static constexpr int32_t kShortFiller = -4096;
  static constexpr int32_t kBadMaskData = -8192;  // also a name that overruns the extra data
  static constexpr int32_t kBadBlendingRanges = -16384;

  LayerRecord();
  ~LayerRecord() override;
  int32_t Read(std::FILE* file) override;

  LayerBounds Bounds() const { return {top, left, bottom, right}; }
  // The rectangle a channel's plane covers: the layer's bounds, or for the
  // user masks the rectangle their mask data gives. None when the mask data
  // gives none.
  std::optional<LayerBounds> ChannelBounds(int16_t channelId) const;

  std::string name;
  int32_t left = 0;
  int32_t top = 0;
  int32_t right = 0;
  int32_t bottom = 0;
  uint16_t channelCount = 0;
  std::vector<std::unique_ptr<ChannelInfo>> channels;  // file order
  uint8_t blendSignature[4] = {};
  uint8_t blendKey[4] = {};
  uint8_t opacity = 0;
  uint8_t clipping = 0;
  uint8_t flags = 0;
  uint8_t filler = 0;
  std::unique_ptr<LayerMaskData> maskData;             // a view into `data`
  std::unique_ptr<BlendingRanges> blendingRanges;      // a view into `data`

 private:
  int32_t ParseExtraData();
};

class LayerMaskInfo : public PsdBlock {
 public:
  static constexpr int32_t kShortSectionLength = -2;  // also the layer info length
  static constexpr int32_t kShortLayerCount = -4;

  LayerMaskInfo();
  ~LayerMaskInfo() override;
  int32_t Read(std::FILE* file) override;

  std::vector<std::unique_ptr<LayerRecord>> records;  // file order, bottom-most first
  std::unique_ptr<GlobalLayerMaskInfo> globalMask;

 private:
  int32_t ReadChannelData(std::FILE* file);
  int32_t FailedAfterPixels(int32_t code) const;
};

std::unique_ptr<LayerMaskInfo> CreateLayerMaskInfo(PsdDocument* owner, std::FILE* file, int32_t* result);
std::unique_ptr<LayerRecord> CreateLayerRecord(PsdDocument* owner, std::FILE* file, int32_t* result);

}  // namespace peelbox
