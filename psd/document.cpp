#include "psd/document.h"

#include <sys/stat.h>

#include <cerrno>

#include "psd/format_text.h"

namespace peelbox {

PsdDocument::PsdDocument() = default;
PsdDocument::~PsdDocument() = default;

int32_t PsdDocument::Open(const std::string& path) {
  failedStep = ReadStep::kSource;
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"), &std::fclose);
  if (!file) {
    openError = errno;
    return kCannotOpen;
  }
  // A folder opens for reading on some systems but is no file to read.
  struct stat status {};
  if (fstat(fileno(file.get()), &status) == 0 && S_ISDIR(status.st_mode)) {
    openError = EISDIR;
    return kCannotOpen;
  }
  return ReadStream(file.get());
}

int32_t PsdDocument::ReadStream(std::FILE* file) {
  failedStep = ReadStep::kSource;
  if (fseeko(file, 0, SEEK_END) != 0) return kSeekEndFailed;
  fileSize = ftello(file);
  if (fileSize < 0) {
    fileSize = 0;
    return kNoFileSize;
  }
  if (fseeko(file, 0, SEEK_SET) != 0) return kSeekStartFailed;

  // Strictly in file order; each section starts where the previous one ended.
  int32_t result = PsdBlock::kOk;
  failedStep = ReadStep::kHeader;
  if (!(header = CreateHeader(this, file, &result))) return result;
  format = header->Format();
  failedStep = ReadStep::kColorModeData;
  if (!(colorModeData = CreateColorModeData(this, file, &result))) return result;
  failedStep = ReadStep::kImageResources;
  if (!(imageResources = CreateImageResourceList(this, file, &result))) return result;
  failedStep = ReadStep::kLayerInfo;
  if (!(layerMaskInfo = CreateLayerMaskInfo(this, file, &result))) return result;
  // Channels times depth in 64 bits: two 16-bit fields overflow an int.
  const long long bits = static_cast<long long>(header->channels) * header->depth;
  layerMaskInfo->ReportProgress(
      file, FormatText("Reading image data (%dx%dx%lld bits)...", header->columns, header->rows, bits));
  failedStep = ReadStep::kComposite;
  if (!(composite = CreateCompositeImage(this, file, &result))) return result;
  return PsdBlock::kOk;
}

void PsdDocument::ReportStatus(const std::string& message, int progress) const {
  if (job != nullptr) job->SendStatus(message, progress);
}

void PsdDocument::ReportLayerRecords(LayerInfo& layers) {
  if (job != nullptr) job->LayerRecordsRead(*this, layers);
}

void PsdDocument::ReportLayerPixels(LayerInfo& layers, size_t index) {
  if (job != nullptr) job->LayerPixelsRead(*this, layers, index);
}

bool PsdDocument::CompositeWanted() const {
  return layerMaskInfo == nullptr || layerMaskInfo->Layers().records.empty();
}

namespace {

template <typename Reader>
std::unique_ptr<PsdDocument> LoadWith(int32_t* result, StatusSink* job, ReadFailure* failure, StopToken stop,
                                      Reader read) {
  auto document = std::make_unique<PsdDocument>();
  document->job = job;
  document->stop = std::move(stop);
  *result = read(*document);
  if (*result != PsdBlock::kOk) {
    if (failure != nullptr) {
      *failure = {document->failedStep, document->openError, std::nullopt};
      if (document->header) failure->format = document->format;
    }
    return nullptr;
  }
  return document;
}

}  // namespace

std::unique_ptr<PsdDocument> LoadPsdDocument(const std::string& path, int32_t* result, StatusSink* job,
                                             ReadFailure* failure, StopToken stop) {
  return LoadWith(result, job, failure, std::move(stop), [&](PsdDocument& document) { return document.Open(path); });
}

std::unique_ptr<PsdDocument> LoadPsdDocumentFromStream(std::FILE* file, int32_t* result, StatusSink* job,
                                                       ReadFailure* failure, StopToken stop) {
  return LoadWith(result, job, failure, std::move(stop), [&](PsdDocument& document) { return document.ReadStream(file); });
}

}  // namespace peelbox
