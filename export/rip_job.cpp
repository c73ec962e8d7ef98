#include "export/rip_job.h"

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
  if (const int32_t code = PrepareOutputFolder(); code != kExportOk) return code;
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
  std::error_code error;
  const std::filesystem::path folder(outputFolder);
  std::filesystem::create_directories(folder, error);
  if (!std::filesystem::is_directory(folder)) {
    if (!error) error = std::make_error_code(std::errc::not_a_directory);
    return Fail(FailedIn::kOutputFolder, kCannotOpenOutput,
                FormatText("Cannot create the output folder \"%s\": %s.", outputFolder.c_str(), error.message().c_str()));
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

}  // namespace

int32_t RipJob::LoadAndExport() {
  int32_t result = PsdBlock::kOk;
  ReadFailure failure;
  document = LoadPsdDocument(sourcePath, &result, this, &failure);
  if (!document) return result == PsdBlock::kStopped ? Stop() : FailedRead(result, failure);
  const auto& records = document->layerMaskInfo->Layers().records;
  if (records.empty()) return ExportComposite();
  ListSkippedRecords();
  const size_t n = records.size();
  for (size_t i = 0; i < n; ++i) {
    const LayerRecord& layer = *records[i];
    SendStatus("Exporting layer: \"" + layer.name + "\"...", ExportProgress(i, n));
    if (StopRequested()) return Stop();
    if (reasons_[i] != SkipReason::kNone) continue;  // skipped, but it still counts towards the progress
    // The first failure ends the job here; encodings of later layers are
    // discarded and none of their files is written.
    if (const int32_t code = ExportLayer(i, layer.name, encoders_->TakeNext()); code != kExportOk) return code;
  }
  return kExportOk;
}

// A document without layer records shows its merged image: written as one
// opaque layer named "Background".
int32_t RipJob::ExportComposite() {
  constexpr char kBackground[] = "Background";
  CompositeImage& composite = *document->composite;
  converter_ = ConverterFor(*document);
  if (!converter_ || composite.planeCount == 0) {
    skipped_.push_back({std::nullopt, std::nullopt, converter_ ? SkipReason::kEmpty : SkipReason::kUnsupportedDocument});
    return kExportOk;
  }
  SendStatus(std::string("Exporting layer: \"") + kBackground + "\"...", ExportProgress(0, 1));
  if (StopRequested()) return Stop();
  Encode(TakeComposite(composite, document->format.columns, document->format.rows));
  return ExportLayer(std::nullopt, kBackground, encoders_->TakeNext());
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

void RipJob::LayerPixelsRead(const PsdDocument& reading, LayerRecord& layer, size_t index) {
  if (!converterMade_) {
    converter_ = ConverterFor(reading);  // the resources are read by now
    converterMade_ = true;
  }
  LayerChoice choice = ChooseLayer(reading.format, layer);
  if (choice.reason == SkipReason::kNone && !converter_) choice = {SkipReason::kUnsupportedDocument, std::nullopt};
  reasons_.resize(index + 1, SkipReason::kNone);
  reasons_[index] = choice.reason;
  if (choice.planes && encoders_) {
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
  EncodeOptions options;
  options.ignoreAlpha = ignoreAlpha != 0;
  options.stop = stopToken.get();
  return options;
}

void RipJob::ListSkippedRecords() {
  const LayerInfo& layers = document->layerMaskInfo->Layers();
  reasons_.resize(layers.records.size(), SkipReason::kNone);
  for (size_t i = 0; i < reasons_.size(); ++i) {
    if (reasons_[i] != SkipReason::kNone) skipped_.push_back({layers.key, i, reasons_[i]});
  }
}

int32_t RipJob::ExportLayer(std::optional<size_t> index, const std::string& name, const EncodedLayer& encoded) {
  // The bottom-most layer to claim a stem keeps it; later ones get " (2)".
  const std::string stem = stems_.Claim(MakeFileName(name, index.value_or(0) + 1));
  const std::string base = outputFolder + stem;
  if (encoded.code == kEncodingStopped) return Stop();
  if (encoded.code != kExportOk) {
    return Fail(FailedIn::kOutputFile, encoded.code,
                FormatText("Cannot write \"%s.png\": the image could not be encoded.", base.c_str()));
  }
  for (const auto& [extension, bytes] : {std::pair{".png", &encoded.png}, std::pair{".gif", &encoded.gif}}) {
    const std::string path = base + extension;
    int error = 0;
    if (const int32_t code = WriteFileAtomically(outputFolder, path, *bytes, &error); code != kExportOk) {
      return Fail(FailedIn::kOutputFile, code, FormatText("Cannot write \"%s\": %s.", path.c_str(), std::strerror(error)));
    }
    outputFiles_.push_back({path, index, name});
  }
  ++layersRipped_;
  return kExportOk;
}

std::string RipJob::NothingWrittenNote() const {
  if (!outputFiles_.empty() || skipped_.empty()) return {};
  const auto any = [&](SkipReason reason) {
    for (const SkippedRecord& skipped : skipped_) {
      if (skipped.reason == reason) return true;
    }
    return false;
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
