// The common base of every section and record reader, the document as a
// block sees it, and the create-and-read factories. Knows no section.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <type_traits>

#include "psd/bytes.h"
#include "psd/stop_token.h"

namespace peelbox {

class LayerInfo;

// A read position inside a buffer that is already in memory. Reads never pass
// `end`.
struct MemoryCursor {
  const uint8_t* position = nullptr;
  const uint8_t* end = nullptr;

  size_t Remaining() const { return position && end > position ? static_cast<size_t>(end - position) : 0; }
};

// What the file header says about the whole document; every section after it
// is read in these terms.
struct DocumentFormat {
  uint16_t version = 1;  // 2: a large document (PSB), whose long lengths take 8 bytes
  uint16_t channels = 0;
  int32_t rows = 0;
  int32_t columns = 0;
  uint16_t depth = 8;
  uint16_t mode = 0;

  bool Large() const { return version == 2; }
  // The channels that carry colour in this mode, stored first: 3 for RGB
  // and Lab, 4 for CMYK, 1 for the modes of one channel, none for
  // multichannel and unknown modes.
  int ColourChannels() const;
  // "BITMAP", "GRAYSCALE", "INDEXED", "RGB", "CMYK", "MULTICHANNEL",
  // "DUOTONE", "LAB", or "UNKNOWN".
  const char* ModeName() const;
};

enum ColourMode : uint16_t {
  kBitmapMode = 0,
  kGreyscaleMode = 1,
  kIndexedMode = 2,
  kRgbMode = 3,
  kCmykMode = 4,
  kMultichannelMode = 7,
  kDuotoneMode = 8,
  kLabMode = 9,
};

// Where a read stopped: the source itself, or the part of the document that
// failed.
enum class ReadStep {
  kSource,
  kHeader,
  kColorModeData,
  kImageResources,
  kLayerInfo,
  kChannelData,
  kGlobalMask,
  kComposite,
};

// "source", "header", "colour mode data", "image resources", "layer info",
// "channel data", "global mask", "composite": the names scripts see.
const char* ReadStepName(ReadStep step);

// The document a block belongs to: the file's size and format, where status
// goes, and whether the reading should stop.
class BlockOwner {
 public:
  virtual ~BlockOwner() = default;
  virtual void ReportStatus(const std::string& message, int progress) const = 0;
  // The records of the document's layers are read; their pixels follow.
  virtual void ReportLayerRecords(LayerInfo& layers) = 0;
  // The pixels of record `index` of the document's layers are decoded; all
  // their records are read. The receiver may take the record's planes.
  virtual void ReportLayerPixels(LayerInfo& layers, size_t index) = 0;
  // Whether the composite image is decoded: only a document without layers
  // needs it.
  virtual bool CompositeWanted() const = 0;

  int64_t fileSize = 0;
  DocumentFormat format;
  // Polled between channels: a stop request ends the read with kStopped.
  StopToken stop;
  // Where the read failed; the document sets the section, a section may name
  // its part. Meaningful only after a failure.
  ReadStep failedStep = ReadStep::kSource;
};

class PsdBlock {
 public:
  static constexpr int32_t kOk = 0;
  static constexpr int32_t kNoSource = -1;
  static constexpr int32_t kNoOwner = -255;
  // Codes of the default reads (a 4-byte length, then that many bytes).
  static constexpr int32_t kShortLength = -2;
  static constexpr int32_t kNoMemory = -4;
  static constexpr int32_t kShortData = -8;

  PsdBlock() = default;
  PsdBlock(const PsdBlock&) = delete;
  PsdBlock& operator=(const PsdBlock&) = delete;

  virtual ~PsdBlock();
  virtual int32_t Read(std::FILE* file);
  virtual int32_t ReadFromMemory(MemoryCursor* cursor);

  // Sends `message` to the owner with a progress position taken from the
  // file position: 0 at the start of the file, 50 at its end.
  void ReportProgress(std::FILE* file, const std::string& message) const;

  bool borrowed() const { return data.borrowed(); }

  BlockOwner* owner = nullptr;
  uint64_t length = 0;
  Bytes data;

 protected:
  // Bytes between the file position and the end of the file. Every length
  // taken from the file is checked against this before anything is
  // allocated. -1 when the position cannot be had.
  int64_t BytesLeft(std::FILE* file) const;
  bool Large() const { return owner != nullptr && owner->format.Large(); }
  bool StopRequested() const { return owner != nullptr && owner->stop.StopRequested(); }
};

// The create-and-read pattern of every section and record: no owner gives
// kNoOwner; a failed read destroys the new object and gives none.
template <typename Block, typename Source>
std::unique_ptr<Block> CreateAndRead(BlockOwner* owner, Source source, int32_t* result) {
  if (owner == nullptr) {
    *result = PsdBlock::kNoOwner;
    return nullptr;
  }
  auto block = std::make_unique<Block>();
  block->owner = owner;
  if constexpr (std::is_same_v<Source, std::FILE*>) {
    *result = block->Read(source);
  } else {
    *result = block->ReadFromMemory(source);
  }
  if (*result != PsdBlock::kOk) return nullptr;
  return block;
}

// Plain blocks, distinct types that differ only in what they stand for.
class GlobalLayerMaskInfo : public PsdBlock {};
class LayerMaskData : public PsdBlock {};
class BlendingRanges : public PsdBlock {};

std::unique_ptr<GlobalLayerMaskInfo> CreateBlockFromFile(BlockOwner* owner, std::FILE* file, int32_t* result);
template <typename Block>
std::unique_ptr<Block> CreateBlockFromMemory(BlockOwner* owner, MemoryCursor* cursor, int32_t* result) {
  return CreateAndRead<Block>(owner, cursor, result);
}

// Names (of resources, and the Pascal names of layers) are byte strings cut
// at the first zero byte.
std::string NameFromBytes(const uint8_t* bytes, size_t size);

}  // namespace peelbox
