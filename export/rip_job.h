// One request from start to end: load the document, write its layers as PNG
// and GIF files, and report status and progress to the window that watches
// the job.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "export/colour.h"
#include "export/encoder_pool.h"
#include "export/file_name.h"
#include "export/layer_encoder.h"
#include "export/layer_groups.h"
#include "export/layer_planes.h"
#include "export/messages.h"
#include "export/report.h"
#include "psd/document.h"

namespace peelbox {

class LayerRecord;

// What the command line adds to a job; the dialog leaves them as they are.
struct ExportOptions {
  bool png = true;
  bool gif = true;
  bool visibleOnly = false;      // skip layers hidden themselves or by a group
  bool groupsAsFolders = false;  // write each layer into folders named after its groups
  bool fastPng = false;          // PNGs with zlib's run-length strategy: faster, larger
  bool listOnly = false;         // read and plan every file, write nothing
};

// A layer's place on the canvas and in the layer panel, for scripts that put
// the pieces back together.
struct LayerFacts {
  int32_t left = 0;
  int32_t top = 0;
  int64_t width = 0;
  int64_t height = 0;
  bool visible = true;
  bool hiddenByGroup = false;
  uint8_t opacity = 255;
  std::string blendMode = "norm";   // the four-character key
  std::vector<std::string> groups;  // outermost first
  std::string kind = "pixels";      // see LayerKind
};

// A file the job wrote whole.
struct OutputFile {
  std::string path;
  std::optional<size_t> layerIndex;  // in file order, bottom-most layer 0; none for the composite
  std::string layerName;
  LayerFacts facts;
};

// A record of the document's layers that gave no files, and why.
struct SkippedRecord {
  std::optional<std::string> layerInfo;  // "main", or the tagged block that holds the layers
  std::optional<size_t> record;          // none when the reason concerns the whole document
  SkipReason reason = SkipReason::kNone;
};

// What becomes of one record of the document's layers (or of the composite):
// the files it gets, relative to the output folder, or why none.
struct PlannedRecord {
  std::optional<size_t> index;
  std::string name;
  LayerFacts facts;
  std::vector<std::string> files;
  SkipReason reason = SkipReason::kNone;
};

class RipJob : public StatusSink {
 public:
  RipJob(std::string sourcePath, std::string outputFolder, int ignoreAlpha, RipMessageReceiver* window);
  ~RipJob() override;

  void SetSourcePath(std::string path) { sourcePath = std::move(path); }
  void SetOutputFolder(std::string folder) { outputFolder = std::move(folder); }
  void SetIgnoreAlpha(int ignore) { ignoreAlpha = ignore; }

  // Creates the output folder when it is missing, loads the document and
  // writes every layer that can be written, in file order. 0, or the first
  // failure's code; files already written stay.
  int32_t Run();

  // Sends WM_RIP_STATUS with the text and the position (0..100); nothing
  // without a window.
  void SendStatus(std::string text, int progress) override;
  // While the document is read: a layer that will be written starts
  // encoding at once, on the encoders' threads, which own its planes from
  // then on.
  void LayerPixelsRead(const PsdDocument& document, LayerInfo& layers, size_t index) override;
  // Whether whoever started the job asked it to stop.
  bool StopRequested() const override { return stopToken && stopToken->load(std::memory_order_relaxed); }

  int LayersRipped() const { return layersRipped_; }
  int FilesSaved() const { return static_cast<int>(outputFiles_.size()); }
  const std::vector<OutputFile>& OutputFiles() const { return outputFiles_; }
  // The records (or the composite) that gave no files, and why.
  std::vector<SkippedRecord> Skipped() const;
  // Every record of the document's layers in file order, with its files.
  const std::vector<PlannedRecord>& Plan() const { return plan_; }
  FailedIn FailedStep() const { return failedIn_; }
  const std::string& Error() const { return error_; }
  // A stopped job is not a failed one: Run returns 0 and the files written
  // so far stay, complete.
  bool Stopped() const { return stopped_; }
  // What the report says of the job that ended with `result`.
  JobSummary Summary(int32_t result) const;

  RipMessageReceiver* window = nullptr;
  std::unique_ptr<PsdDocument> document;
  int ignoreAlpha = 0;
  std::string outputFolder;  // a plain prefix of every output path
  std::string sourcePath;
  // Threads that encode layers; 0 means one per core. The files, statuses
  // and result are the same for any number.
  unsigned threads = 0;
  ExportOptions options;
  // Set by whoever started the job to ask it to stop; the job only polls it
  // (between channels while reading, between layers while writing, between
  // batches of rows while encoding), so nothing ever calls into a job that
  // may be ending.
  std::shared_ptr<std::atomic<bool>> stopToken;

 private:
  int32_t PrepareOutputFolder();
  int32_t MakeFolder(const std::string& path);
  int32_t LoadAndExport();
  int32_t ExportComposite();
  // Plans the record's files (claiming their stems) and writes them.
  int32_t ExportLayer(PlannedRecord& planned, const std::string& subfolder, std::optional<EncodedLayer> encoded);
  int32_t WriteFiles(const PlannedRecord& planned, const std::string& folder, const EncodedLayer& encoded);
  std::string SubfolderOf(size_t index);
  void Encode(LayerPlanes planes);
  EncodeOptions Options() const;
  int32_t Fail(FailedIn step, int32_t code, std::string error);
  int32_t FailedRead(int32_t code, const ReadFailure& failure);
  int32_t Stop();
  std::string NothingWrittenNote() const;

  int layersRipped_ = 0;
  std::vector<OutputFile> outputFiles_;
  std::vector<PlannedRecord> plan_;
  // The stems given out in each folder (relative, ASCII case folded), and
  // each folder's spelling as first given.
  std::map<std::string, StemRegistry> stems_;
  std::map<std::string, std::string> folders_;
  FailedIn failedIn_ = FailedIn::kNothing;
  std::string error_;
  bool stopped_ = false;
  std::unique_ptr<EncoderPool> encoders_;  // while Run runs
  std::vector<SkipReason> reasons_;        // for each record, in file order; kNone: written
  std::vector<GroupPlace> groups_;         // for each record, once its layers are read
  // Built once per document, when its first layer is read; shared by the
  // encoders. None for a document whose mode and depth have no rule.
  std::shared_ptr<const ColourConverter> converter_;
  bool converterMade_ = false;
};

// The position of layer i of n while exporting: 50 for the first, growing
// towards 100. Computed in doubles as the progress bar has always shown it
// (7 of 14 gives 74, not 75).
int ExportProgress(size_t i, size_t n);

}  // namespace peelbox
