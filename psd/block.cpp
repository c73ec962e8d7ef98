#include "psd/block.h"

#include <algorithm>
#include <cstring>

#include "psd/big_endian.h"

namespace peelbox {

int DocumentFormat::ColourChannels() const {
  switch (mode) {
    case kBitmapMode:
    case kGreyscaleMode:
    case kIndexedMode:
    case kDuotoneMode:
      return 1;
    case kRgbMode:
    case kLabMode:
      return 3;
    case kCmykMode:
      return 4;
    default:
      return 0;
  }
}

const char* DocumentFormat::ModeName() const {
  switch (mode) {
    case kBitmapMode:
      return "BITMAP";
    case kGreyscaleMode:
      return "GRAYSCALE";
    case kIndexedMode:
      return "INDEXED";
    case kRgbMode:
      return "RGB";
    case kCmykMode:
      return "CMYK";
    case kMultichannelMode:
      return "MULTICHANNEL";
    case kDuotoneMode:
      return "DUOTONE";
    case kLabMode:
      return "LAB";
    default:
      return "UNKNOWN";
  }
}

const char* ReadStepName(ReadStep step) {
  switch (step) {
    case ReadStep::kSource:
      return "source";
    case ReadStep::kHeader:
      return "header";
    case ReadStep::kColorModeData:
      return "colour mode data";
    case ReadStep::kImageResources:
      return "image resources";
    case ReadStep::kLayerInfo:
      return "layer info";
    case ReadStep::kChannelData:
      return "channel data";
    case ReadStep::kGlobalMask:
      return "global mask";
    case ReadStep::kComposite:
      return "composite";
  }
  return "source";
}

PsdBlock::~PsdBlock() = default;

int32_t PsdBlock::Read(std::FILE* file) {
  if (file == nullptr) return kNoSource;
  uint32_t stored = 0;
  if (!ReadBigEndian(file, &stored)) return kShortLength;
  length = stored;
  if (length == 0) return kOk;
  if (BytesLeft(file) < static_cast<int64_t>(length)) return kShortData;
  if (!data.Allocate(length)) return kNoMemory;
  if (!ReadExact(file, data.writable(), length)) return kShortData;
  return kOk;
}

int32_t PsdBlock::ReadFromMemory(MemoryCursor* cursor) {
  if (cursor == nullptr || cursor->position == nullptr) return kNoSource;
  if (cursor->Remaining() < 4) return kShortLength;
  length = LoadBigEndian<uint32_t>(cursor->position);
  cursor->position += 4;
  if (length > 0) {
    if (cursor->Remaining() < length) return kShortData;
    data.Borrow(cursor->position, length);
    cursor->position += length;
  }
  return kOk;
}

void PsdBlock::ReportProgress(std::FILE* file, const std::string& message) const {
  if (owner == nullptr) return;
  const int64_t position = ftello(file);
  int progress = 0;
  if (position > 0 && owner->fileSize > 0) {
    // Truncated, in this order, so that the end of the file gives 50 (or 49
    // where the division falls just short of 100).
    const double percent = static_cast<double>(position) / (static_cast<double>(owner->fileSize) * 0.01);
    progress = static_cast<int>(std::min(percent, 100.0) * 0.5);
  }
  owner->ReportStatus(message, progress);
}

int64_t PsdBlock::BytesLeft(std::FILE* file) const {
  const int64_t position = ftello(file);
  if (position < 0) return -1;
  int64_t end = owner != nullptr ? owner->fileSize : 0;
  if (end <= 0) {  // a block read on its own: measure the stream
    if (fseeko(file, 0, SEEK_END) != 0) return -1;
    end = ftello(file);
    if (fseeko(file, position, SEEK_SET) != 0) return -1;
  }
  return end > position ? end - position : 0;
}

std::string NameFromBytes(const uint8_t* bytes, size_t size) {
  const void* zero = std::memchr(bytes, 0, size);
  const size_t kept = zero ? static_cast<size_t>(static_cast<const uint8_t*>(zero) - bytes) : size;
  return std::string(reinterpret_cast<const char*>(bytes), kept);
}

std::unique_ptr<GlobalLayerMaskInfo> CreateBlockFromFile(BlockOwner* owner, std::FILE* file, int32_t* result) {
  return CreateAndRead<GlobalLayerMaskInfo>(owner, file, result);
}

}  // namespace peelbox
