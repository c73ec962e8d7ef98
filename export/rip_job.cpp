#include "export/rip_job.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "export/encoder_pool.h"
#include "export/export_result.h"
#include "export/output_file.h"
#include "psd/document.h"

namespace peelbox {

int ExportProgress(size_t i, size_t n) {
  const double hundredth = static_cast<double>(n) * 0.01;
  return 50 - static_cast<int>(static_cast<double>(i) / hundredth * -0.5);
}

RipJob::RipJob(std::string sourcePath, std::string outputFolder, int ignoreAlpha, RipMessageReceiver* window)
    : window(window) {
  SetSourcePath(std::move(sourcePath));
  SetOutputFolder(std::move(outputFolder));
  SetIgnoreAlpha(ignoreAlpha);
}

RipJob::~RipJob() = default;

int32_t RipJob::Run() {
  if (!options.listOnly) {
    if (const int32_t code = PrepareOutputFolder(); code != kExportOk) return code;
  }
  // Layers are encoded as soon as their pixels are read, on other threads,
  // while this one goes on reading and, later, writes the files in layer
  // order.
  encoders_ = std::make_unique<EncoderPool>(threads > 0 ? threads : EncoderPool::DefaultThreads());
  const int32_t result = LoadAndExport();
  encoders_.reset();  // encodings nobody took are discarded
  return result;
}

// The job, not its callers, makes the folder: the dialog and the command
// line share what it does, and nothing is read before it exists.
int32_t RipJob::PrepareOutputFolder() {
  if (outputFolder.empty()) return Fail(FailedIn::kOutputFolder, kCannotOpenOutput, "No output folder is set.");
  return MakeFolder(outputFolder);
}

int32_t RipJob::MakeFolder(const std::string& path) {
  std::error_code error;
  const std::filesystem::path folder(path);
  std::filesystem::create_directories(folder, error);
  if (!std::filesystem::is_directory(folder)) {
    if (!error) error = std::make_error_code(std::errc::not_a_directory);
    return Fail(FailedIn::kOutputFolder, kCannotOpenOutput,
                FormatText("Cannot create the output folder \"%s\": %s.", path.c_str(), error.message().c_str()));
  }
  return kExportOk;
}

namespace {

// The converter for a document: its colour table and embedded ICC profile
// come with it.
std::shared_ptr<const ColourConverter> ConverterFor(const PsdDocument& document) {
  constexpr uint16_t kIccProfileResource = 1039;
  const auto text = [](const Bytes& bytes) { return std::string(reinterpret_cast<const char*>(bytes.data()), bytes.size()); };
  const std::string table = document.colorModeData ? text(document.colorModeData->data) : std::string();
  const ImageResource* icc = document.imageResources ? document.imageResources->Find(kIccProfileResource) : nullptr;
  return ColourConverter::Create(document.format, table, icc != nullptr ? text(icc->data) : std::string());
}

LayerFacts FactsOf(const LayerRecord& record, const GroupPlace& place) {
  LayerFacts facts;
  facts.left = record.left;
  facts.top = record.top;
  facts.width = record.Bounds().Width();
  facts.height = record.Bounds().Height();
  facts.visible = record.Visible();
  facts.hiddenByGroup = place.hiddenByGroup;
  facts.opacity = record.opacity;
  facts.blendMode.assign(reinterpret_cast<const char*>(record.blendKey), sizeof record.blendKey);
  facts.groups = place.groups;
  facts.kind = LayerKind(record);
  return facts;
}

}  // namespace

int32_t RipJob::LoadAndExport() {
  int32_t result = PsdBlock::kOk;
  ReadFailure failure;
  document = LoadPsdDocument(sourcePath, &result, this, &failure);
  if (!document) return result == PsdBlock::kStopped ? Stop() : FailedRead(result, failure);
  const LayerInfo& layers = document->layerMaskInfo->Layers();
  const auto& records = layers.records;
  if (records.empty()) return ExportComposite();
  reasons_.resize(records.size(), SkipReason::kNone);
  if (groups_.size() != records.size()) groups_ = PlaceInGroups(records);
  const size_t n = records.size();
  for (size_t i = 0; i < n; ++i) {
    const LayerRecord& layer = *records[i];
    SendStatus("Exporting layer: \"" + layer.name + "\"...", ExportProgress(i, n));
    if (StopRequested()) return Stop();
    PlannedRecord planned{i, layer.name, FactsOf(layer, groups_[i]), {}, reasons_[i]};
    if (planned.reason != SkipReason::kNone) {  // skipped, but it still counts towards the progress
      plan_.push_back(std::move(planned));
      continue;
    }
    // The first failure ends the job here; encodings of later layers are
    // discarded and none of their files is written.
    const std::string subfolder = options.groupsAsFolders ? SubfolderOf(i) : std::string();
    std::optional<EncodedLayer> encoded;
    if (!options.listOnly) encoded = encoders_->TakeNext();
    if (const int32_t code = ExportLayer(planned, subfolder, std::move(encoded)); code != kExportOk || stopped_) {
      return code;
    }
  }
  return kExportOk;
}

// A document without layer records shows its merged image: written as one
// opaque layer named "Background".
int32_t RipJob::ExportComposite() {
  CompositeImage& composite = *document->composite;
  converter_ = ConverterFor(*document);
  PlannedRecord planned{std::nullopt, "Background", {}, {}, SkipReason::kNone};
  planned.facts.width = document->format.columns;
  planned.facts.height = document->format.rows;
  if (!converter_ || composite.planeCount == 0) {
    planned.reason = converter_ ? SkipReason::kEmpty : SkipReason::kUnsupportedDocument;
    plan_.push_back(std::move(planned));
    return kExportOk;
  }
  SendStatus("Exporting layer: \"" + planned.name + "\"...", ExportProgress(0, 1));
  if (StopRequested()) return Stop();
  std::optional<EncodedLayer> encoded;
  if (!options.listOnly) {
    Encode(TakeComposite(composite, document->format.columns, document->format.rows));
    encoded = encoders_->TakeNext();
  }
  return ExportLayer(planned, std::string(), std::move(encoded));
}

// The folders of the record's groups, outermost first, each named by the
// file-name rules; sibling groups of one name (ASCII case folded) share
// one.
std::string RipJob::SubfolderOf(size_t index) {
  std::string folder;
  for (size_t g = 0; g < groups_[index].groups.size(); ++g) {
    folder += MakeFileName(groups_[index].groups[g], groups_[index].groupRecords[g] + 1) + kPathSeparator;
    folder = folders_.try_emplace(FoldedCase(folder), folder).first->second;
  }
  return folder;
}

int32_t RipJob::ExportLayer(PlannedRecord& planned, const std::string& subfolder, std::optional<EncodedLayer> encoded) {
  // The bottom-most layer to claim a stem in its folder keeps it; later ones
  // get " (2)".
  const std::string stem =
      stems_[FoldedCase(subfolder)].Claim(MakeFileName(planned.name, planned.index.value_or(0) + 1));
  if (options.png) planned.files.push_back(subfolder + stem + ".png");
  if (options.gif) planned.files.push_back(subfolder + stem + ".gif");
  plan_.push_back(planned);
  if (!encoded) return kExportOk;  // listing only
  if (encoded->code == kEncodingStopped) return Stop();
  const std::string folder = outputFolder + subfolder;
  if (encoded->code != kExportOk) {
    return Fail(FailedIn::kOutputFile, encoded->code,
                FormatText("Cannot write \"%s\": the image could not be encoded.", (folder + stem).c_str()));
  }
  if (!subfolder.empty()) {
    if (const int32_t code = MakeFolder(folder); code != kExportOk) return code;
  }
  return WriteFiles(planned, folder, *encoded);
}

int32_t RipJob::WriteFiles(const PlannedRecord& planned, const std::string& folder, const EncodedLayer& encoded) {
  for (const std::string& file : planned.files) {
    const std::string path = outputFolder + file;
    const bool png = file.compare(file.size() - 4, 4, ".png") == 0;
    int error = 0;
    if (const int32_t code = WriteFileAtomically(folder, path, png ? encoded.png : encoded.gif, &error); code != kExportOk) {
      return Fail(FailedIn::kOutputFile, code, FormatText("Cannot write \"%s\": %s.", path.c_str(), std::strerror(error)));
    }
    outputFiles_.push_back({path, planned.index, planned.name, planned.facts});
  }
  ++layersRipped_;
  return kExportOk;
}

int32_t RipJob::FailedRead(int32_t code, const ReadFailure& failure) {
  const FailedIn step = FailedInRead(failure.step);
  if (step != FailedIn::kSource) {
    return Fail(step, code, "The document is damaged or is not a Photoshop file: " +
                                DescribeReadFailure(failure.step, code) + ".");
  }
  if (code == PsdDocument::kCannotOpen) {
    return Fail(step, code, FormatText("Cannot open \"%s\": %s.", sourcePath.c_str(), std::strerror(failure.systemError)));
  }
  return Fail(step, code, FormatText("Cannot read \"%s\": its size cannot be measured.", sourcePath.c_str()));
}

// Files already written stay; encodings in progress see the same request
// and are abandoned, their buffers discarded with the encoders.
int32_t RipJob::Stop() {
  stopped_ = true;
  return kExportOk;
}

int32_t RipJob::Fail(FailedIn step, int32_t code, std::string error) {
  failedIn_ = step;
  error_ = std::move(error);
  return code;
}

void RipJob::LayerPixelsRead(const PsdDocument& reading, LayerInfo& layers, size_t index) {
  if (!converterMade_) {
    converter_ = ConverterFor(reading);  // the resources are read by now
    converterMade_ = true;
  }
  if (groups_.size() != layers.records.size()) groups_ = PlaceInGroups(layers.records);
  LayerRecord& layer = *layers.records[index];
  LayerChoice choice = ChooseLayer(reading.format, layer);
  if (choice.reason == SkipReason::kNone && !converter_) choice = {SkipReason::kUnsupportedDocument, std::nullopt};
  if (choice.reason == SkipReason::kNone && options.visibleOnly && (!layer.Visible() || groups_[index].hiddenByGroup)) {
    choice = {SkipReason::kHidden, std::nullopt};
  }
  reasons_.resize(index + 1, SkipReason::kNone);
  reasons_[index] = choice.reason;
  if (choice.planes && encoders_ && !options.listOnly) {
    TakePlanes(layer, &*choice.planes);
    Encode(std::move(*choice.planes));
  }
}

// The encoder owns the pixels from here on: nothing of the document goes to
// another thread.
void RipJob::Encode(LayerPlanes planes) {
  auto owned = std::make_shared<const LayerPlanes>(std::move(planes));
  // The task keeps the stop token alive that its options point at.
  encoders_->Add([owned, converter = converter_, token = stopToken, options = Options()] {
    return EncodeLayer(*owned, *converter, options);
  });
}

EncodeOptions RipJob::Options() const {
  EncodeOptions encode;
  encode.ignoreAlpha = ignoreAlpha != 0;
  encode.png = options.png;
  encode.gif = options.gif;
  encode.fastPng = options.fastPng;
  encode.stop = stopToken.get();
  return encode;
}

std::vector<SkippedRecord> RipJob::Skipped() const {
  std::vector<SkippedRecord> skipped;
  for (const PlannedRecord& planned : plan_) {
    if (planned.reason == SkipReason::kNone) continue;
    if (!planned.index) {
      skipped.push_back({std::nullopt, std::nullopt, planned.reason});
    } else {
      skipped.push_back({document->layerMaskInfo->Layers().key, planned.index, planned.reason});
    }
  }
  return skipped;
}

std::string RipJob::NothingWrittenNote() const {
  const std::vector<SkippedRecord> skipped = Skipped();
  if (!outputFiles_.empty() || skipped.empty()) return {};
  const auto any = [&](SkipReason reason) {
    return std::any_of(skipped.begin(), skipped.end(),
                       [&](const SkippedRecord& record) { return record.reason == reason; });
  };
  if (any(SkipReason::kUnsupportedDocument)) return "Peelbox does not write documents of this colour mode and depth.";
  if (any(SkipReason::kUnsupportedChannels)) return "No layer of this document has channels Peelbox can write.";
  if (any(SkipReason::kHidden)) return "Every layer with pixels of its own is hidden.";
  return "No layer of this document has pixels of its own.";
}

JobSummary RipJob::Summary(int32_t result) const {
  JobSummary summary;
  summary.sourcePath = sourcePath;
  summary.outputFolder = outputFolder;
  summary.result = result;
  summary.layersRipped = layersRipped_;
  summary.filesSaved = FilesSaved();
  summary.stopped = stopped_;
  summary.failedIn = result != 0 ? failedIn_ : FailedIn::kNothing;
  summary.error = result != 0 ? error_ : std::string();
  if (result == 0 && !stopped_) summary.note = NothingWrittenNote();
  return summary;
}

void RipJob::SendStatus(std::string text, int progress) {
  if (window != nullptr) window->Send(WM_RIP_STATUS, text.c_str(), PackProgress(progress));
}

}  // namespace peelbox
