// One request from start to end: load the document, write its layers in the
// selected formats, and report status and progress to the window that
// watches the job. The layers go through the stages in order: plan (when
// the records are read), take planes (when a layer's pixels are), then on
// the encoders' threads compose alpha, convert colour and encode each
// format, and back on the job's thread write, in layer order.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "export/colour.h"
#include "export/encoder_pool.h"
#include "export/export_options.h"
#include "export/image_place.h"
#include "export/layer_encoder.h"
#include "export/layer_look.h"
#include "export/messages.h"
#include "export/plan.h"
#include "export/report.h"
#include "psd/document.h"
#include "psd/stop_token.h"

namespace peelbox {

// A file the job wrote whole.
struct OutputFile {
  std::string path;
  std::optional<size_t> layerIndex;  // in file order, bottom-most layer 0; none for the composite
  std::string layerName;
  LayerFacts facts;
  ImagePlace image;  // where the written image lies on the canvas
  const OutputFormat* format = nullptr;
};

// A record of the document's layers that gave no files, and why.
struct SkippedRecord {
  std::optional<std::string> layerInfo;  // "main", or the tagged block that holds the layers
  std::optional<size_t> record;          // none when the reason concerns the whole document
  std::string name;                      // the layer's, or the composite's
  SkipReason reason = SkipReason::kNone;
  const OutputFormat* format = nullptr;  // for kTooLarge: the format alone that gets no file
};

class RipJob : public StatusSink {
 public:
  RipJob(std::string sourcePath, std::string outputFolder, int ignoreAlpha, RipMessageReceiver* window);
  ~RipJob() override;

  void SetSourcePath(std::string path) { sourcePath = std::move(path); }
  void SetOutputFolder(std::string folder) { outputFolder = std::move(folder); }
  void SetIgnoreAlpha(int ignore) { options.ignoreAlpha = ignore != 0; }

  // Creates the output folder when it is missing, loads the document and
  // writes every layer that can be written, in file order. 0, or the first
  // failure's code; files already written stay.
  int32_t Run();

  // Sends WM_RIP_STATUS with the text and the position (0..100); nothing
  // without a window.
  void SendStatus(std::string text, int progress) override;
  // The plan is made.
  void LayerRecordsRead(const PsdDocument& document, LayerInfo& layers) override;
  // A layer that the plan writes starts encoding at once, on the encoders'
  // threads, which own its planes from then on. As shown, a layer inside
  // groups waits for the outermost group's record, which comes after it;
  // the layers go to the encoders in file order all the same.
  void LayerPixelsRead(const PsdDocument& document, LayerInfo& layers, size_t index) override;

  int LayersRipped() const { return layersRipped_; }
  int FilesSaved() const { return static_cast<int>(outputFiles_.size()); }
  const std::vector<OutputFile>& OutputFiles() const { return outputFiles_; }
  // The records (or the composite) that gave no files, and why.
  std::vector<SkippedRecord> Skipped() const;
  // The records of the document's layers in file order, with their files,
  // as far as the job got.
  std::span<const PlannedRecord> Plan() const { return {plan_.data(), reached_}; }
  FailedIn FailedStep() const { return failedIn_; }
  // The embedded profile's description; none without a profile Little CMS
  // can open.
  const std::optional<std::string>& ProfileDescription() const { return profileDescription_; }
  // The document's size, mode and depth, once its header was read, even
  // when reading failed later.
  std::optional<DocumentFormat> Format() const;
  const std::string& Error() const { return error_; }
  // A stopped job is not a failed one: Run returns 0 and the files written
  // so far stay, complete.
  bool Stopped() const { return stopped_; }
  // What the report says of the job that ended with `result`.
  JobSummary Summary(int32_t result) const;

  RipMessageReceiver* window = nullptr;
  std::unique_ptr<PsdDocument> document;
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
  StopToken stopToken;
  // Asked once, before the first file is written, with the number of
  // planned files that exist already; false ends the job as a stop does.
  // None: existing files are replaced silently, as scripts expect.
  std::function<bool(size_t existing)> confirmReplace;

 private:
  size_t ExistingPlannedFiles() const;
  int32_t PrepareNamer();
  int32_t PrepareOutputFolder();
  void PrepareColour(const PsdDocument& reading);
  int32_t MakeFolder(const std::string& path);
  // Removes the folders this job created that are still empty, innermost
  // first: a failure or a stop leaves nothing of its own behind.
  void RemoveEmptyCreatedFolders();
  int32_t LoadAndExport();
  int32_t ExportComposite();
  // Waits for the layer's encoding and writes its files.
  int32_t WriteLayer(PlannedRecord& planned);
  // Waits for the layer's alpha, for a listing of trimmed images.
  int32_t PlaceListed(PlannedRecord& planned);
  void Place(PlannedRecord* planned, const ImagePlace& image);
  // A written layer's pixels, and its own look as shown, until its groups
  // are read.
  struct Held {
    size_t index = 0;
    size_t readyAt = 0;  // the record whose pixels it waits for
    std::shared_ptr<const LayerPlanes> planes;
    std::shared_ptr<const RecordLook> look;
  };
  void Hold(const LayerRecord& layer, size_t index, std::shared_ptr<const LayerPlanes> planes);
  void ReleaseHeld(size_t read);
  void Encode(std::shared_ptr<const LayerPlanes> planes, std::shared_ptr<const LayerLook> look);
  int32_t Fail(FailedIn step, int32_t code, std::string error);
  int32_t FailedRead(int32_t code, const ReadFailure& failure);
  int32_t Stop();
  std::string NothingWrittenNote() const;

  int layersRipped_ = 0;
  std::vector<OutputFile> outputFiles_;
  std::unique_ptr<LayerNamer> namer_;  // made by Run, keeps the names the plan gave out
  std::vector<PlannedRecord> plan_;
  size_t reached_ = 0;  // records of the plan that the export got to
  FailedIn failedIn_;
  std::optional<DocumentFormat> failedFormat_;  // of a document that failed after its header
  std::string error_;
  bool stopped_ = false;
  std::optional<std::string> profileDescription_;
  bool notADocument_ = false;
  std::vector<std::filesystem::path> createdFolders_;  // in the order they were made
  std::unique_ptr<EncoderPool> encoders_;              // while Run runs
  // Built once per document with its plan; shared by the encoders. None for
  // a document whose mode and depth have no rule.
  std::shared_ptr<const ColourConverter> converter_;
  std::shared_ptr<const EncodeSettings> settings_;  // while Run runs
  ImagePlace canvas_;
  // As shown: which records shape a written layer (its groups, its base),
  // their looks once their pixels are read, and the layers held back.
  std::vector<bool> shaping_;
  std::vector<std::shared_ptr<const RecordLook>> looks_;
  std::deque<Held> held_;
};

// The converter for a document's colours, or none when its mode and depth
// have no rule.
std::shared_ptr<const ColourConverter> DocumentConverter(const PsdDocument& document,
                                                         ColourHandling handling = ColourHandling::kKeep);

// Where each of several documents' files go: the output folder itself for
// one (unless folderPerDocument); otherwise a folder of each one's own named
// after its file, by the rules of layer file names.
std::vector<std::string> DocumentFolders(const std::string& outputFolder, const std::vector<std::string>& sources,
                                         bool folderPerDocument = false);

// The position of layer i of n while exporting: 50 for the first, growing
// towards 100. Computed in doubles and truncated: 7 of 14 gives 74, not 75.
int ExportProgress(size_t i, size_t n);

}  // namespace peelbox
