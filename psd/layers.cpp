#include "psd/layers.h"

#include <cstdint>

#include "psd/big_endian.h"

namespace peelbox {

namespace {

LayerBounds BoundsAt(const uint8_t* bytes) {
  return {LoadBigEndian<int32_t>(bytes), LoadBigEndian<int32_t>(bytes + 4), LoadBigEndian<int32_t>(bytes + 8),
          LoadBigEndian<int32_t>(bytes + 12)};
}

}  // namespace

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

// Mask data, blending ranges and name, each only while bytes are left. What
// follows the name (its padding, the tagged blocks) is not looked at.
int32_t LayerRecord::ParseExtraData() {
  if (data.empty()) return kOk;
  MemoryCursor cursor{data.data(), data.data() + length};
  int32_t result = kOk;
  if (cursor.Remaining() > 0 && !(maskData = CreateBlockFromMemory<LayerMaskData>(owner, &cursor, &result))) {
    return kBadMaskData;
  }
  if (cursor.Remaining() > 0 && !(blendingRanges = CreateBlockFromMemory<BlendingRanges>(owner, &cursor, &result))) {
    return kBadBlendingRanges;
  }
  if (cursor.Remaining() > 0) {
    const size_t nameLength = *cursor.position++;
    if (nameLength > cursor.Remaining()) return kBadMaskData;
    name = NameFromBytes(cursor.position, nameLength);
  }
  return kOk;
}

std::optional<LayerBounds> LayerRecord::ChannelBounds(int16_t channelId) const {
  // The user masks are stored at their own rectangle: the layer mask's in the
  // first 16 bytes of the mask data; the real user mask's after the flags,
  // default colour, real flags and real background (offset 20), present when
  // the mask data holds at least 36 bytes. Mask parameters, when the flags
  // announce them, follow the real rectangle.
  constexpr size_t kRectSize = 16;
  constexpr size_t kRealRectOffset = 20;
  const size_t maskLength = maskData ? maskData->length : 0;
  if (channelId == kUserMaskChannel) {
    if (maskLength < kRectSize) return std::nullopt;
    return BoundsAt(maskData->data.data());
  }
  if (channelId == kRealUserMaskChannel) {
    if (maskLength < kRealRectOffset + kRectSize) return std::nullopt;
    return BoundsAt(maskData->data.data() + kRealRectOffset);
  }
  return Bounds();
}

LayerMaskInfo::LayerMaskInfo() = default;
LayerMaskInfo::~LayerMaskInfo() = default;

int32_t LayerMaskInfo::Read(std::FILE* file) {
  if (file == nullptr) return kNoSource;
  uint32_t sectionLength = 0;
  if (!ReadBigEndian(file, &sectionLength)) return kShortSectionLength;
  if (sectionLength == 0) return kOk;
  if (!ReadBigEndian(file, &length)) return kShortSectionLength;
  if (length == 0) return kOk;
  int16_t storedCount = 0;
  if (!ReadBigEndian(file, &storedCount)) return kShortLayerCount;
  // A negative count stands for its absolute value; -32768 has none and
  // reads no records.
  const int count = storedCount < 0 && storedCount != INT16_MIN ? -storedCount : storedCount;
  ReportProgress(file, FormatText("Reading layers section, contains: %d layers.", count));
  for (int index = 0; index < count; ++index) {
    int32_t result = kOk;
    auto record = CreateLayerRecord(owner, file, &result);
    if (!record) return result;
    records.push_back(std::move(record));
  }
  if (const int32_t pixels = ReadChannelData(file); pixels != kOk) return FailedAfterPixels(pixels);
  if (sectionLength - length != 4) {
    int32_t result = kOk;
    if (!(globalMask = CreateBlockFromFile(owner, file, &result))) return FailedAfterPixels(result);
  }
  return kOk;
}

// Pixels already reported go with this section when its factory deletes it:
// whoever works on them must stop first.
int32_t LayerMaskInfo::FailedAfterPixels(int32_t code) const {
  if (owner != nullptr) owner->ReportReadFailed();
  return code;
}

// The pixel data of every channel follows all records, in record order and,
// within a record, in channel order.
int32_t LayerMaskInfo::ReadChannelData(std::FILE* file) {
  for (size_t index = 0; index < records.size(); ++index) {
    const LayerRecord& record = *records[index];
    ReportProgress(file, FormatText("Reading data for layer \"%s\" with %d channels.", record.name.c_str(),
                                    static_cast<int>(record.channelCount)));
    for (const auto& channel : record.channels) {
      if (const int32_t result = channel->ReadPixels(record, file); result != kOk) return result;
    }
    if (owner != nullptr) owner->ReportLayerPixels(record, index);
  }
  return kOk;
}

std::unique_ptr<LayerMaskInfo> CreateLayerMaskInfo(PsdDocument* owner, std::FILE* file, int32_t* result) {
  return CreateAndRead<LayerMaskInfo>(owner, file, result);
}

std::unique_ptr<LayerRecord> CreateLayerRecord(PsdDocument* owner, std::FILE* file, int32_t* result) {
  return CreateAndRead<LayerRecord>(owner, file, result);
}

}  // namespace peelbox
