// The Photoshop document in memory, the common base of every section reader,
// and the create-and-read factories.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <type_traits>

#include "psd/bytes.h"
#include "psd/status.h"

namespace peelbox {

class PsdDocument;

// A read position inside a buffer that is already in memory. Reads never pass
// `end`.
struct MemoryCursor {
  const uint8_t* position = nullptr;
  const uint8_t* end = nullptr;

  size_t Remaining() const { return position && end > position ? static_cast<size_t>(end - position) : 0; }
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

  PsdDocument* owner = nullptr;
  uint32_t length = 0;
  Bytes data;

 protected:
  // Bytes between the file position and the end of the file. Every length
  // taken from the file is checked against this before anything is
  // allocated. -1 when the position cannot be had.
  int64_t BytesLeft(std::FILE* file) const;
};

class PsdHeader;
class ColorModeData;
class LayerRecord;
class ImageResourceList;
class LayerMaskInfo;
class CompositeImage;

class PsdDocument {
 public:
  static constexpr int32_t kCannotOpen = -16384;
  static constexpr int32_t kSeekEndFailed = -16385;
  static constexpr int32_t kSeekStartFailed = -16386;
  static constexpr int32_t kNoFileSize = -16387;

  PsdDocument();
  PsdDocument(const PsdDocument&) = delete;
  PsdDocument& operator=(const PsdDocument&) = delete;
  virtual ~PsdDocument();

  // Reads the whole file; the file is closed again on every path.
  virtual int32_t Open(const std::string& path);
  // Reads a whole document from an open stream positioned anywhere; the stream
  // stays open. Open uses it; the fuzzers give it an in-memory stream.
  int32_t ReadStream(std::FILE* file);

  void ReportStatus(const std::string& message, int progress) const;
  void ReportLayerPixels(const LayerRecord& layer, size_t index) const;
  void ReportReadFailed() const;

  int64_t fileSize = 0;
  std::unique_ptr<PsdHeader> header;
  std::unique_ptr<ColorModeData> colorModeData;
  std::unique_ptr<ImageResourceList> imageResources;
  std::unique_ptr<LayerMaskInfo> layerMaskInfo;
  std::unique_ptr<CompositeImage> composite;
  StatusSink* job = nullptr;
};

// The create-and-read pattern of every section and record: no owner gives
// kNoOwner; a failed read destroys the new object and gives none.
template <typename Block, typename Source>
std::unique_ptr<Block> CreateAndRead(PsdDocument* owner, Source source, int32_t* result) {
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

std::unique_ptr<GlobalLayerMaskInfo> CreateBlockFromFile(PsdDocument* owner, std::FILE* file, int32_t* result);
template <typename Block>
std::unique_ptr<Block> CreateBlockFromMemory(PsdDocument* owner, MemoryCursor* cursor, int32_t* result) {
  return CreateAndRead<Block>(owner, cursor, result);
}

// Names (of resources and layers) are byte strings cut at the first zero
// byte, without any character-set conversion.
std::string NameFromBytes(const uint8_t* bytes, size_t size);

// Creates a document, reads `path` into it and returns it; on failure stores
// the code in `*result` and returns none.
std::unique_ptr<PsdDocument> LoadPsdDocument(const std::string& path, int32_t* result, StatusSink* job);
// The same for an open stream, which stays open.
std::unique_ptr<PsdDocument> LoadPsdDocumentFromStream(std::FILE* file, int32_t* result, StatusSink* job);

}  // namespace peelbox
