#include "psd/document.h"

#include <algorithm>
#include <cstring>

#include "psd/big_endian.h"
#include "psd/composite.h"
#include "psd/header.h"
#include "psd/image_resources.h"
#include "psd/layers.h"

namespace peelbox {

PsdBlock::~PsdBlock() = default;

int32_t PsdBlock::Read(std::FILE* file) {
  if (file == nullptr) return kNoSource;
  if (!ReadBigEndian(file, &length)) return kShortLength;
  if (length == 0) return kOk;
  if (BytesLeft(file) < length) return kShortData;
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

PsdDocument::PsdDocument() = default;
PsdDocument::~PsdDocument() = default;

int32_t PsdDocument::Open(const std::string& path) {
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"), &std::fclose);
  if (!file) return kCannotOpen;
  return ReadStream(file.get());
}

int32_t PsdDocument::ReadStream(std::FILE* file) {
  if (fseeko(file, 0, SEEK_END) != 0) return kSeekEndFailed;
  fileSize = ftello(file);
  if (fileSize < 0) {
    fileSize = 0;
    return kNoFileSize;
  }
  if (fseeko(file, 0, SEEK_SET) != 0) return kSeekStartFailed;

  // Strictly in file order; each section starts where the previous one ended.
  int32_t result = PsdBlock::kOk;
  if (!(header = CreateHeader(this, file, &result))) return result;
  if (!(colorModeData = CreateColorModeData(this, file, &result))) return result;
  if (!(imageResources = CreateImageResourceList(this, file, &result))) return result;
  if (!(layerMaskInfo = CreateLayerMaskInfo(this, file, &result))) return result;
  // Channels times depth in 64 bits: two 16-bit fields overflow an int.
  const long long bits = static_cast<long long>(header->channels) * header->depth;
  layerMaskInfo->ReportProgress(
      file, FormatText("Reading image data (%dx%dx%lld bits)...", header->columns, header->rows, bits));
  if (!(composite = CreateCompositeImage(this, file, &result))) return result;
  return PsdBlock::kOk;
}

void PsdDocument::ReportStatus(const std::string& message, int progress) const {
  if (job != nullptr) job->SendStatus(message, progress);
}

void PsdDocument::ReportLayerPixels(const LayerRecord& layer, size_t index) const {
  if (job != nullptr) job->LayerPixelsRead(*this, layer, index);
}

void PsdDocument::ReportReadFailed() const {
  if (job != nullptr) job->ReadFailed();
}

std::string NameFromBytes(const uint8_t* bytes, size_t size) {
  const void* zero = std::memchr(bytes, 0, size);
  const size_t kept = zero ? static_cast<size_t>(static_cast<const uint8_t*>(zero) - bytes) : size;
  return std::string(reinterpret_cast<const char*>(bytes), kept);
}

std::unique_ptr<GlobalLayerMaskInfo> CreateBlockFromFile(PsdDocument* owner, std::FILE* file, int32_t* result) {
  return CreateAndRead<GlobalLayerMaskInfo>(owner, file, result);
}

namespace {

template <typename Reader>
std::unique_ptr<PsdDocument> LoadWith(int32_t* result, StatusSink* job, Reader read) {
  auto document = std::make_unique<PsdDocument>();
  document->job = job;
  *result = read(*document);
  if (*result != PsdBlock::kOk) {
    document->ReportReadFailed();  // before the document goes
    return nullptr;
  }
  return document;
}

}  // namespace

std::unique_ptr<PsdDocument> LoadPsdDocument(const std::string& path, int32_t* result, StatusSink* job) {
  return LoadWith(result, job, [&](PsdDocument& document) { return document.Open(path); });
}

std::unique_ptr<PsdDocument> LoadPsdDocumentFromStream(std::FILE* file, int32_t* result, StatusSink* job) {
  return LoadWith(result, job, [&](PsdDocument& document) { return document.ReadStream(file); });
}

}  // namespace peelbox
