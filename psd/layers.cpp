#include "psd/layers.h"

#include <algorithm>
#include <cstdint>

#include "psd/big_endian.h"
#include "psd/format_text.h"

namespace peelbox {

namespace {

// The end of `length` bytes from the file position, saturated.
int64_t EndAfter(std::FILE* file, uint64_t length) {
  const int64_t position = ftello(file);
  if (position < 0) return -1;
  return length > static_cast<uint64_t>(INT64_MAX - position) ? INT64_MAX : position + static_cast<int64_t>(length);
}

}  // namespace

int32_t LayerInfo::ReadLayers(std::FILE* file, bool documentLayers) {
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
  if (documentLayers && !records.empty()) owner->ReportLayerRecords(*this);
  return ReadChannelData(file, documentLayers);
}

// The pixel data of every channel follows all records, in record order and,
// within a record, in channel order.
int32_t LayerInfo::ReadChannelData(std::FILE* file, bool documentLayers) {
  const unsigned depth = owner->format.depth;
  for (size_t index = 0; index < records.size(); ++index) {
    LayerRecord& record = *records[index];
    ReportProgress(file, FormatText("Reading data for layer \"%s\" with %d channels.", record.name.c_str(),
                                    static_cast<int>(record.channelCount)));
    for (const auto& channel : record.channels) {
      if (StopRequested()) return kStopped;
      if (const int32_t result = channel->ReadPixels(record.ChannelBounds(channel->id), depth, file); result != kOk) {
        owner->failedStep = ReadStep::kChannelData;
        return result;
      }
    }
    if (documentLayers && owner != nullptr) owner->ReportLayerPixels(*this, index);
  }
  return kOk;
}

LayerMaskInfo::LayerMaskInfo() = default;
LayerMaskInfo::~LayerMaskInfo() = default;

const LayerInfo& LayerMaskInfo::Layers() const {
  if (layerInfo && !layerInfo->records.empty()) return *layerInfo;
  for (const auto& tagged : taggedLayers) {
    if (!tagged->records.empty()) return *tagged;
  }
  return empty_;
}

LayerInfo& LayerMaskInfo::Layers() { return const_cast<LayerInfo&>(static_cast<const LayerMaskInfo&>(*this).Layers()); }

// Read by its lengths: the layer info ends where its length says (writers
// pad it), then the global layer mask info and the tagged blocks fill the
// rest of the section; the composite image starts where the section ends.
int32_t LayerMaskInfo::Read(std::FILE* file) {
  if (file == nullptr) return kNoSource;
  uint64_t sectionLength = 0;
  if (!ReadLength(file, Large(), &sectionLength)) return kShortSectionLength;
  if (sectionLength == 0) return kOk;
  const int64_t sectionEnd = EndAfter(file, sectionLength);
  if (const int32_t result = ReadLayerInfo(file); result != kOk) return result;
  if (const int32_t result = ReadGlobalMask(file, sectionEnd); result != kOk) {
    owner->failedStep = ReadStep::kGlobalMask;
    return result;
  }
  if (const int32_t result = ReadTaggedBlocks(file, sectionEnd); result != kOk) return result;
  // A section that claims more than the file holds ends with the file; the
  // composite image then finds nothing.
  SkipTo(file, sectionEnd);
  return kOk;
}

int32_t LayerMaskInfo::ReadLayerInfo(std::FILE* file) {
  layerInfo = std::make_unique<LayerInfo>();
  layerInfo->owner = owner;
  if (!ReadLength(file, Large(), &layerInfo->length)) return kShortSectionLength;
  length = layerInfo->length;
  if (length == 0) return kOk;
  const int64_t infoEnd = EndAfter(file, length);
  if (const int32_t result = layerInfo->ReadLayers(file, true); result != kOk) return result;
  SkipTo(file, infoEnd);
  return kOk;
}

// Only when its length field and its data fit in what is left of the section
// (some writers end the section right after the layer info).
int32_t LayerMaskInfo::ReadGlobalMask(std::FILE* file, int64_t sectionEnd) {
  const int64_t position = ftello(file);
  if (position < 0 || sectionEnd - position < 4) return kOk;
  auto mask = std::make_unique<GlobalLayerMaskInfo>();
  mask->owner = owner;
  uint32_t maskLength = 0;
  if (!ReadBigEndian(file, &maskLength)) return kShortLength;
  if (maskLength > static_cast<uint64_t>(sectionEnd - position - 4)) return kOk;
  mask->length = maskLength;
  if (maskLength > 0) {
    if (BytesLeft(file) < static_cast<int64_t>(maskLength)) return kShortData;
    if (!mask->data.Allocate(maskLength)) return kNoMemory;
    if (!ReadExact(file, mask->data.writable(), maskLength)) return kShortData;
  }
  globalMask = std::move(mask);
  return kOk;
}

// Up to the end of the section; each block's data is padded to a multiple
// of 4 bytes. A block that does not fit ends the list: it never fails the
// document. The layers inside Lr16, Lr32 and Layr are read like the main
// ones.
int32_t LayerMaskInfo::ReadTaggedBlocks(std::FILE* file, int64_t sectionEnd) {
  TaggedBlockHead head;
  while (ReadTaggedBlockHead(file, Large(), sectionEnd, &head)) {
    const int64_t dataStart = ftello(file);
    const int64_t dataEnd = dataStart + static_cast<int64_t>(head.length);
    if (HoldsLayers(head.key)) {
      if (const int32_t result = ReadTaggedLayers(file, head); result != kOk) return result;
      if (ftello(file) > dataEnd) return kOk;  // its records ran past the block
    } else {
      TaggedBlock block;
      block.key = head.key;
      if (BytesLeft(file) < static_cast<int64_t>(head.length) || !block.data.Allocate(head.length) ||
          !ReadExact(file, block.data.writable(), head.length)) {
        return kOk;
      }
      blocks.push_back(std::move(block));
    }
    const int64_t padded = dataStart + static_cast<int64_t>((head.length + 3) / 4 * 4);
    if (!SkipTo(file, std::min(padded, sectionEnd))) return kOk;
  }
  return kOk;
}

int32_t LayerMaskInfo::ReadTaggedLayers(std::FILE* file, const TaggedBlockHead& head) {
  auto tagged = std::make_unique<LayerInfo>();
  tagged->owner = owner;
  tagged->key = head.key;
  tagged->length = head.length;
  // The first block with records holds the document's layers when the main
  // layer info has none.
  const bool documentLayers = !HasLayers();
  if (head.length > 0) {
    if (const int32_t result = tagged->ReadLayers(file, documentLayers); result != kOk) return result;
  }
  taggedLayers.push_back(std::move(tagged));
  return kOk;
}

std::unique_ptr<LayerMaskInfo> CreateLayerMaskInfo(BlockOwner* owner, std::FILE* file, int32_t* result) {
  return CreateAndRead<LayerMaskInfo>(owner, file, result);
}

}  // namespace peelbox
