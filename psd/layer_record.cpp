#include "psd/layer_record.h"

#include <algorithm>
#include <cstdint>

#include "psd/big_endian.h"
#include "psd/text.h"

namespace peelbox {

LayerRecord::LayerRecord() = default;
LayerRecord::~LayerRecord() = default;

int32_t LayerRecord::Read(std::FILE* file) {
  if (file == nullptr) return kNoSource;
  if (!ReadBigEndian(file, &top)) return kShortTop;
  if (!ReadBigEndian(file, &left)) return kShortLeft;
  if (!ReadBigEndian(file, &bottom)) return kShortBottom;
  if (!ReadBigEndian(file, &right)) return kShortRight;
  if (!ReadBigEndian(file, &channelCount)) return kShortChannelCount;
  for (uint16_t index = 0; index < channelCount; ++index) {
    int32_t result = kOk;
    auto channel = CreateChannelInfo(owner, file, &result);
    if (!channel) return kBadChannelEntry;
    channels.push_back(std::move(channel));
  }
  if (!ReadExact(file, blendSignature, sizeof blendSignature)) return kShortBlendSignature;
  if (!ReadExact(file, blendKey, sizeof blendKey)) return kShortBlendKey;
  if (!ReadBigEndian(file, &opacity)) return kShortOpacity;
  if (!ReadBigEndian(file, &clipping)) return kShortClipping;
  if (!ReadBigEndian(file, &flags)) return kShortFlags;
  if (!ReadBigEndian(file, &filler)) return kShortFiller;
  if (const int32_t extra = PsdBlock::Read(file); extra != kOk) return extra;
  if (const int32_t parsed = ParseExtraData(); parsed != kOk) return parsed;
  ReportProgress(file, "Finished reading layer info: \"" + name + "\"");
  if (!SkipPadToEven(file)) return kShortClipping;
  return kOk;
}

// Mask data, blending ranges and name, each only while bytes are left; then
// the tagged blocks. The name is a Pascal string padded to 4 bytes.
int32_t LayerRecord::ParseExtraData() {
  if (data.empty()) return kOk;
  MemoryCursor cursor{data.data(), data.data() + length};
  int32_t result = kOk;
  if (cursor.Remaining() > 0 && !(maskData = CreateBlockFromMemory<LayerMaskData>(owner, &cursor, &result))) {
    return kBadMaskData;
  }
  if (maskData) mask = ParseLayerMask(maskData->data.data(), maskData->length);
  if (cursor.Remaining() > 0 && !(blendingRanges = CreateBlockFromMemory<BlendingRanges>(owner, &cursor, &result))) {
    return kBadBlendingRanges;
  }
  if (cursor.Remaining() == 0) return kOk;
  const size_t nameLength = *cursor.position++;
  if (nameLength > cursor.Remaining()) return kBadMaskData;
  pascalName = NameFromBytes(cursor.position, nameLength);
  const size_t padded = (1 + nameLength + 3) / 4 * 4 - 1;
  cursor.position += std::min(padded, cursor.Remaining());
  blocks = ParseTaggedBlocks(cursor, Large());
  name = UnicodeName();
  if (name.empty()) name = IsValidUtf8(pascalName) ? pascalName : MacRomanToUtf8(pascalName);
  return kOk;
}

// The Unicode name block: a count of UTF-16 units, then the units. Empty
// when there is none or it is damaged; trailing NUL units are dropped.
std::string LayerRecord::UnicodeName() const {
  const TaggedBlock* block = Block(kUnicodeNameKey);
  if (block == nullptr || block->data.size() < 4) return {};
  uint64_t count = LoadBigEndian<uint32_t>(block->data.data());
  const uint8_t* units = block->data.data() + 4;
  if (count > (block->data.size() - 4) / 2) return {};
  while (count > 0 && units[2 * count - 2] == 0 && units[2 * count - 1] == 0) --count;
  return Utf16ToUtf8(units, count);
}

// The user masks are stored at their own rectangles.
std::optional<LayerBounds> LayerRecord::ChannelBounds(int16_t channelId) const {
  if (channelId == kUserMaskChannel) {
    if (!mask) return std::nullopt;
    return mask->user.bounds;
  }
  if (channelId == kRealUserMaskChannel) {
    if (!mask || !mask->real) return std::nullopt;
    return mask->real->bounds;
  }
  return Bounds();
}

std::optional<VectorMask> LayerRecord::VectorMaskOf() const {
  const TaggedBlock* block = Block(kVectorMaskKey);
  if (block == nullptr) block = Block(kVectorStrokeMaskKey);
  if (block == nullptr) return std::nullopt;
  return ParseVectorMask(block->data);
}

const TaggedBlock* LayerRecord::Block(const std::string& key) const {
  for (const TaggedBlock& block : blocks) {
    if (block.key == key) return &block;
  }
  return nullptr;
}

uint32_t LayerRecord::SectionType() const {
  const TaggedBlock* divider = Block(kSectionDividerKey);
  if (divider == nullptr) divider = Block(kNestedSectionDividerKey);
  if (divider == nullptr || divider->data.size() < 4) return 0;
  const uint32_t type = LoadBigEndian<uint32_t>(divider->data.data());
  return type <= 3 ? type : 0;
}

std::unique_ptr<LayerRecord> CreateLayerRecord(BlockOwner* owner, std::FILE* file, int32_t* result) {
  return CreateAndRead<LayerRecord>(owner, file, result);
}

}  // namespace peelbox
