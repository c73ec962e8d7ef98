// The Photoshop document in memory: it reads its sections in file order and
// is the owner every section reports to.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>

#include "psd/block.h"
#include "psd/composite.h"
#include "psd/header.h"
#include "psd/image_resources.h"
#include "psd/layers.h"
#include "psd/status.h"

namespace peelbox {

// Where a read failed, and the system's reason when the file itself could
// not be opened.
struct ReadFailure {
  ReadStep step = ReadStep::kSource;
  int systemError = 0;
  std::optional<DocumentFormat> format;  // once the header was read
};

class PsdDocument : public BlockOwner {
 public:
  static constexpr int32_t kCannotOpen = -16384;  // also a folder given as the file
  static constexpr int32_t kSeekEndFailed = -16385;
  static constexpr int32_t kSeekStartFailed = -16386;
  static constexpr int32_t kNoFileSize = -16387;

  PsdDocument();
  PsdDocument(const PsdDocument&) = delete;
  PsdDocument& operator=(const PsdDocument&) = delete;
  ~PsdDocument() override;

  // Reads the whole file; the file is closed again on every path.
  virtual int32_t Open(const std::string& path);
  // Reads a whole document from an open stream positioned anywhere; the stream
  // stays open. Open uses it; the fuzzers give it an in-memory stream.
  int32_t ReadStream(std::FILE* file);

  void ReportStatus(const std::string& message, int progress) const override;
  void ReportLayerRecords(LayerInfo& layers) override;
  void ReportLayerPixels(LayerInfo& layers, size_t index) override;
  bool CompositeWanted() const override;

  std::unique_ptr<PsdHeader> header;
  std::unique_ptr<ColorModeData> colorModeData;
  std::unique_ptr<ImageResourceList> imageResources;
  std::unique_ptr<LayerMaskInfo> layerMaskInfo;
  std::unique_ptr<CompositeImage> composite;
  StatusSink* job = nullptr;
  int openError = 0;  // errno when Open could not open the file
};

// Creates a document, reads `path` into it and returns it; on failure stores
// the code in `*result` and returns none (and, when `failure` is given,
// where the read failed). A stop requested through `stop` ends the read
// with kStopped.
std::unique_ptr<PsdDocument> LoadPsdDocument(const std::string& path, int32_t* result, StatusSink* job,
                                             ReadFailure* failure = nullptr, StopToken stop = {});
// The same for an open stream, which stays open.
std::unique_ptr<PsdDocument> LoadPsdDocumentFromStream(std::FILE* file, int32_t* result, StatusSink* job,
                                                       ReadFailure* failure = nullptr, StopToken stop = {});

// What a failed read means for the document, in words a user can act on:
// the part and the field where reading stopped ("the layer records end
// early"). Empty for a stop and for failures of the source itself.
std::string DescribeReadFailure(ReadStep step, int32_t code);

}  // namespace peelbox
