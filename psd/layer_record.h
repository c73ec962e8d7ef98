// One layer record: bounds, channel entries, blend fields, and the extra data
// with the mask data, the blending ranges, the name and the tagged blocks.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "psd/block.h"
#include "psd/channel.h"
#include "psd/layer_mask.h"
#include "psd/tagged_blocks.h"

namespace peelbox {

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
  // The vector mask's flags and path ("vmsk", else "vsms"), or none.
  std::optional<VectorMask> VectorMaskOf() const;
  // The first tagged block of this key, or none.
  const TaggedBlock* Block(const std::string& key) const;
  // The section divider's type: 1 and 2 open a group (open or closed in
  // Photoshop's panel), 3 ends one; 0 for any other record.
  uint32_t SectionType() const;
  bool Visible() const { return (flags & kHiddenFlag) == 0; }

  static constexpr uint8_t kHiddenFlag = 0x02;

  // The name as users see it, in UTF-8: the Unicode name block's when there
  // is one, else the Pascal name as it stands when it is UTF-8, else read as
  // Mac OS Roman.
  std::string name;
  std::string pascalName;  // the name field's bytes, cut at a zero byte
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
  std::unique_ptr<LayerMaskData> maskData;         // a view into `data`
  std::optional<LayerMask> mask;                   // parsed from maskData
  std::unique_ptr<BlendingRanges> blendingRanges;  // a view into `data`
  std::vector<TaggedBlock> blocks;                 // views into `data`, file order

 private:
  int32_t ParseExtraData();
  std::string UnicodeName() const;
};

std::unique_ptr<LayerRecord> CreateLayerRecord(BlockOwner* owner, std::FILE* file, int32_t* result);

}  // namespace peelbox
