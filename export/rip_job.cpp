#include "export/rip_job.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "export/export_result.h"
#include "export/layer_planes.h"
#include "export/output_file.h"
#include "psd/document.h"
#include "psd/format_text.h"

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
  // The source is named first: it is the first box of the dialog.
  if (sourcePath.empty()) {
    return Fail(FailedIn::Read(ReadStep::kSource), PsdDocument::kCannotOpen, "No source file is set.");
  }
  if (const int32_t code = PrepareNamer(); code != kExportOk) return code;
  if (!options.listOnly) {
    if (const int32_t code = PrepareOutputFolder(); code != kExportOk) {
      RemoveEmptyCreatedFolders();
      return code;
    }
  }
  settings_ = std::make_shared<const EncodeSettings>(EncodeSettings{options, stopToken});
  // Layers are encoded as soon as their pixels are read, on other threads,
  // while this one goes on reading and, later, writes the files in layer
  // order.
  encoders_ = std::make_unique<EncoderPool>(threads > 0 ? threads : EncoderPool::DefaultThreads());
  const int32_t result = LoadAndExport();
  encoders_.reset();  // encodings nobody took are discarded
  if (result != kExportOk || stopped_) RemoveEmptyCreatedFolders();
  return result;
}

void RipJob::RemoveEmptyCreatedFolders() {
  for (auto folder = createdFolders_.rbegin(); folder != createdFolders_.rend(); ++folder) {
    std::error_code error;
    if (std::filesystem::is_directory(*folder, error) && std::filesystem::is_empty(*folder, error)) {
      std::filesystem::remove(*folder, error);
    }
  }
  createdFolders_.clear();
}

// The job, not its callers, makes the folder: the dialog and the command
// line share what it does, and nothing is read before it exists.
int32_t RipJob::PrepareOutputFolder() {
  if (outputFolder.empty()) return Fail(FailedIn::OutputFolder(), kCannotOpenOutput, "No output folder is set.");
  return MakeFolder(outputFolder);
}

// The template is read once, before anything is created or read.
int32_t RipJob::PrepareNamer() {
  std::string problem;
  namer_ = LayerNamer::Create(options, std::filesystem::path(sourcePath).stem().string(), &problem);
  if (namer_) return kExportOk;
  return Fail(
      FailedIn::NameTemplate(), kBadNameTemplate,
      "The name template \"" + options.nameTemplate + "\" cannot be used. " + problem + " " + kNameFieldsSentence);
}

int32_t RipJob::MakeFolder(const std::string& path) {
  std::error_code error;
  const std::filesystem::path folder = std::filesystem::path(path).lexically_normal();
  // "out/" names the file "out" too, which the system calls "not a folder".
  const std::filesystem::path named = folder.has_filename() ? folder : folder.parent_path();
  if (std::filesystem::is_regular_file(named, error)) {
    return Fail(FailedIn::OutputFolder(), kCannotOpenOutput, "The output folder is a file: " + named.string());
  }
  // The folders about to be made, outermost first, so that a failure can
  // take back exactly these.
  std::vector<std::filesystem::path> missing;
  for (std::filesystem::path at = folder; !at.empty() && !std::filesystem::exists(at, error); at = at.parent_path()) {
    if (at.has_filename()) missing.insert(missing.begin(), at);
    if (at == at.parent_path()) break;
  }
  std::filesystem::create_directories(folder, error);
  for (const std::filesystem::path& made : missing) {
    if (std::filesystem::is_directory(made)) createdFolders_.push_back(made);
  }
  if (!std::filesystem::is_directory(folder)) {
    if (!error) error = std::make_error_code(std::errc::not_a_directory);
    return Fail(FailedIn::OutputFolder(), kCannotOpenOutput,
                FormatText("Cannot create the output folder \"%s\": %s.", path.c_str(), error.message().c_str()));
  }
  return kExportOk;
}

// Its colour table and embedded ICC profile come with the document.
std::shared_ptr<const ColourConverter> DocumentConverter(const PsdDocument& document, ColourHandling handling) {
  const auto text = [](const Bytes& bytes) {
    return std::string(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  };
  const std::string table = document.colorModeData ? text(document.colorModeData->data) : std::string();
  return ColourConverter::Create(document.format, table, EmbeddedProfile(document.imageResources.get()), handling);
}

std::vector<std::string> DocumentFolders(const std::string& outputFolder, const std::vector<std::string>& sources,
                                         bool folderPerDocument) {
  const std::string folder = WithSeparator(outputFolder);
  if (sources.size() == 1 && !folderPerDocument) return {folder};
  std::vector<std::string> folders;
  StemRegistry stems;
  for (size_t i = 0; i < sources.size(); ++i) {
    const std::string stem = std::filesystem::path(sources[i]).stem().string();
    folders.push_back(folder + stems.Claim(MakeFileName(stem, i + 1)) + kPathSeparator);
  }
  return folders;
}

// The convert-colour stage's converter, and what the files say of its
// colours; the resources are read by now.
void RipJob::PrepareColour(const PsdDocument& reading) {
  converter_ = DocumentConverter(reading, options.colour);
  const std::string profile = EmbeddedProfile(reading.imageResources.get());
  const ProfileFacts facts = DescribeProfile(profile);
  if (facts.opened) profileDescription_ = facts.description;
  if (!converter_) return;
  const bool grey = converter_->Output(false).Grey();
  const ColourTags tags = TagsFor(profile, facts, converter_->OwnSamples(), grey, converter_->MadeSrgb(),
                                  ReadResolution(reading.imageResources.get()));
  settings_ = std::make_shared<const EncodeSettings>(EncodeSettings{options, stopToken, tags});
}

void RipJob::LayerRecordsRead(const PsdDocument& reading, LayerInfo& layers) {
  PrepareColour(reading);
  plan_ = PlanLayers(reading.format, layers.records, converter_ != nullptr, options, namer_.get());
  canvas_ = {0, 0, reading.format.columns, reading.format.rows};
  shaping_.assign(plan_.size(), false);
  looks_.assign(plan_.size(), nullptr);
  // A listing needs the alpha only to trim.
  if (!options.asShown || (options.listOnly && options.extent != Extent::kTrim)) return;
  for (const PlannedRecord& planned : plan_) {
    if (planned.reason != SkipReason::kNone) continue;
    for (size_t group : planned.groupRecords) shaping_[group] = true;
    if (planned.clippingBase) shaping_[*planned.clippingBase] = true;
  }
}

namespace {

std::shared_ptr<const LayerPlanes> Taken(LayerRecord& layer, LayerPlanes planes) {
  TakePlanes(layer, &planes);
  return std::make_shared<const LayerPlanes>(std::move(planes));
}

}  // namespace

void RipJob::LayerPixelsRead(const PsdDocument& reading, LayerInfo& layers, size_t index) {
  if (index >= plan_.size()) return;
  PlannedRecord& planned = plan_[index];
  LayerRecord& layer = *layers.records[index];
  std::shared_ptr<const LayerPlanes> planes;
  if (planned.reason == SkipReason::kNone) {
    std::optional<LayerPlanes> viewed = ViewPlanes(reading.format, layer);
    if (!viewed) {
      SkipLate(&planned, SkipReason::kUnsupportedChannels);
    } else if (!options.listOnly || options.extent == Extent::kTrim) {
      planes = Taken(layer, std::move(*viewed));
    }
  }
  // A group or base that is not written itself lends only its transparency
  // and masks.
  if (shaping_[index]) {
    if (!planes) planes = Taken(layer, ViewShapePlanes(reading.format, layer));
    looks_[index] = std::make_shared<const RecordLook>(LookOf(layer, planes, false));
  }
  if (planned.reason == SkipReason::kNone && planes) Hold(layer, index, std::move(planes));
  ReleaseHeld(index);
  if (planned.reason != SkipReason::kNone) ReleasePlanes(layer);
}

void RipJob::Hold(const LayerRecord& layer, size_t index, std::shared_ptr<const LayerPlanes> planes) {
  Held held;
  held.index = index;
  const std::vector<size_t>& groups = plan_[index].groupRecords;
  held.readyAt = options.asShown && !groups.empty() ? groups.front() : index;  // the outermost comes last
  if (options.asShown) held.look = std::make_shared<const RecordLook>(LookOf(layer, planes, true));
  held.planes = std::move(planes);
  held_.push_back(std::move(held));
}

// In file order: a layer that waits holds back those above it.
void RipJob::ReleaseHeld(size_t read) {
  while (!held_.empty() && held_.front().readyAt <= read) {
    Held& held = held_.front();
    std::shared_ptr<LayerLook> look;
    if (options.asShown) {
      look = std::make_shared<LayerLook>();
      look->own = held.look;
      for (size_t group : plan_[held.index].groupRecords) look->groups.push_back(looks_[group]);
      if (const auto base = plan_[held.index].clippingBase) look->clippingBase = looks_[*base];
      look->canvasWidth = static_cast<int32_t>(canvas_.width);
      look->canvasHeight = static_cast<int32_t>(canvas_.height);
    }
    Encode(std::move(held.planes), std::move(look));
    held_.pop_front();
  }
}

int32_t RipJob::LoadAndExport() {
  int32_t result = PsdBlock::kOk;
  ReadFailure failure;
  document = LoadPsdDocument(sourcePath, &result, this, &failure, stopToken);
  if (!document) {
    failedFormat_ = failure.format;
    return result == kStopped ? Stop() : FailedRead(result, failure);
  }
  if (document->layerMaskInfo->Layers().records.empty()) return ExportComposite();
  ReleaseHeld(SIZE_MAX);
  looks_.clear();  // the encodings hold what they need
  if (confirmReplace && !options.listOnly) {
    if (const size_t existing = ExistingPlannedFiles(); existing > 0 && !confirmReplace(existing)) return Stop();
  }
  const size_t n = plan_.size();
  for (size_t i = 0; i < n; ++i) {
    SendStatus("Exporting layer: \"" + plan_[i].name + "\"...", ExportProgress(i, n));
    if (stopToken.StopRequested()) return Stop();
    reached_ = i + 1;  // a skipped record still counts towards the progress
    if (plan_[i].reason != SkipReason::kNone) continue;
    if (options.listOnly) {
      if (options.extent != Extent::kTrim) continue;
      if (const int32_t code = PlaceListed(plan_[i]); code != kExportOk || stopped_) return code;
      continue;
    }
    // The first failure ends the job here; encodings of later layers are
    // discarded and none of their files is written.
    if (const int32_t code = WriteLayer(plan_[i]); code != kExportOk || stopped_) return code;
  }
  return kExportOk;
}

size_t RipJob::ExistingPlannedFiles() const {
  size_t existing = 0;
  for (const PlannedRecord& planned : plan_) {
    for (const std::string& file : planned.files) {
      std::error_code error;
      existing += std::filesystem::exists(outputFolder + file, error) ? 1 : 0;
    }
  }
  return existing;
}

int32_t RipJob::ExportComposite() {
  CompositeImage& composite = *document->composite;
  PrepareColour(*document);
  plan_ = {PlanComposite(document->format, composite, converter_ != nullptr, options, namer_.get())};
  if (plan_[0].reason == SkipReason::kNone) {
    SendStatus("Exporting layer: \"" + plan_[0].name + "\"...", ExportProgress(0, 1));
    if (stopToken.StopRequested()) return Stop();
  }
  reached_ = 1;
  if (plan_[0].reason != SkipReason::kNone || (options.listOnly && options.extent != Extent::kTrim)) return kExportOk;
  canvas_ = {0, 0, document->format.columns, document->format.rows};
  Encode(std::make_shared<const LayerPlanes>(TakeComposite(composite, document->format)), nullptr);
  return options.listOnly ? PlaceListed(plan_[0]) : WriteLayer(plan_[0]);
}

int32_t RipJob::PlaceListed(PlannedRecord& planned) {
  const EncodedLayer encoded = encoders_->TakeNext();
  if (encoded.code == kStopped) return Stop();
  if (encoded.code != kExportOk) {
    return Fail(FailedIn::OutputFile(), encoded.code,
                FormatText("Cannot list \"%s\": its transparency could not be composed.", planned.name.c_str()));
  }
  if (encoded.transparent) {
    SkipLate(&planned, SkipReason::kTransparent);
  } else {
    Place(&planned, encoded.image);
  }
  return kExportOk;
}

// Where the image came to lie, and the names that wait for it.
void RipJob::Place(PlannedRecord* planned, const ImagePlace& image) {
  planned->image = image;
  if (namer_->NamesAfterPixels()) namer_->Name(planned, image);
  LeaveOutTooLarge(planned);
}

int32_t RipJob::WriteLayer(PlannedRecord& planned) {
  const EncodedLayer encoded = encoders_->TakeNext();
  if (encoded.code == kStopped) return Stop();
  // Nothing of it shows: no files, and its stem stays taken.
  if (encoded.transparent) {
    SkipLate(&planned, SkipReason::kTransparent);
    return kExportOk;
  }
  if (encoded.code == kExportOk) Place(&planned, encoded.image);
  const std::string folder = outputFolder + planned.folder;
  std::vector<const EncodedFile*> written;
  for (const EncodedFile& file : encoded.files) {
    if (!file.tooLarge) written.push_back(&file);
  }
  if (encoded.code != kExportOk || written.size() != planned.files.size()) {
    return Fail(FailedIn::OutputFile(), encoded.code != kExportOk ? encoded.code : kWriteFailed,
                FormatText("Cannot write \"%s\": the image could not be encoded.", (folder + planned.stem).c_str()));
  }
  if (written.empty()) return kExportOk;  // too large for every format selected
  if (!planned.folder.empty()) {
    if (const int32_t code = MakeFolder(folder); code != kExportOk) return code;
  }
  for (size_t f = 0; f < planned.files.size(); ++f) {
    const std::string path = outputFolder + planned.files[f];
    int error = 0;
    if (const int32_t code = WriteFileAtomically(folder, path, written[f]->bytes, &error); code != kExportOk) {
      return Fail(FailedIn::OutputFile(), code,
                  FormatText("Cannot write \"%s\": %s.", path.c_str(), std::strerror(error)));
    }
    outputFiles_.push_back({path, planned.index, planned.name, planned.facts, encoded.image, written[f]->format});
  }
  ++layersRipped_;
  return kExportOk;
}

namespace {

// "The file is empty." or "This file is not a Photoshop document." by its
// first bytes; none for a file that starts as a Photoshop document does.
const char* NotADocument(const std::string& path) {
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"), std::fclose);
  if (!file) return nullptr;
  char signature[4] = {};
  const size_t read = std::fread(signature, 1, sizeof signature, file.get());
  if (std::ferror(file.get())) return nullptr;
  if (read == 0) return "The file is empty.";
  if (read < sizeof signature || std::memcmp(signature, "8BPS", sizeof signature) != 0) {
    return "This file is not a Photoshop document.";
  }
  return nullptr;
}

}  // namespace

int32_t RipJob::FailedRead(int32_t code, const ReadFailure& failure) {
  const FailedIn step = FailedIn::Read(failure.step);
  // A file of another kind is not a damaged document: say what it is.
  if (failure.step == ReadStep::kHeader) {
    if (const char* kind = NotADocument(sourcePath)) {
      notADocument_ = true;
      return Fail(step, code, kind);
    }
  }
  if (DocumentAtFault(step)) {
    return Fail(step, code,
                "The document is damaged or is not a Photoshop file: " + DescribeReadFailure(failure.step, code) + ".");
  }
  if (code == PsdDocument::kCannotOpen) {
    return Fail(step, code,
                FormatText("Cannot open \"%s\": %s.", sourcePath.c_str(), std::strerror(failure.systemError)));
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

// The encoder owns the pixels from here on: nothing of the document goes to
// another thread.
void RipJob::Encode(std::shared_ptr<const LayerPlanes> planes, std::shared_ptr<const LayerLook> look) {
  encoders_->Add([planes = std::move(planes), look = std::move(look), converter = converter_, settings = settings_,
                  canvas = canvas_]() mutable {
    return EncodeLayer(std::move(planes), *converter, *settings, {canvas, look.get()});
  });
}

std::vector<SkippedRecord> RipJob::Skipped() const {
  std::vector<SkippedRecord> skipped;
  for (const PlannedRecord& planned : Plan()) {
    std::optional<std::string> layerInfo;
    if (planned.index) layerInfo = document->layerMaskInfo->Layers().key;
    if (planned.reason != SkipReason::kNone) skipped.push_back({layerInfo, planned.index, planned.name, planned.reason});
    for (const OutputFormat* format : planned.tooLarge) {
      skipped.push_back({layerInfo, planned.index, planned.name, SkipReason::kTooLarge, format});
    }
  }
  return skipped;
}

std::optional<DocumentFormat> RipJob::Format() const {
  return document ? std::optional<DocumentFormat>(document->format) : failedFormat_;
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
  if (any(SkipReason::kTransparent)) return "Every layer with pixels of its own is fully transparent as written.";
  if (any(SkipReason::kTooLarge)) return "Every layer is too large for the formats selected.";
  if (any(SkipReason::kNotSelected)) return "No layer with pixels of its own is selected.";
  if (any(SkipReason::kFiltered)) {
    return any(SkipReason::kHidden) ? "Every layer with pixels of its own is hidden or left out by the layer filters."
                                    : "The layer filters leave out every layer with pixels of its own.";
  }
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
  summary.listing = options.listOnly;
  summary.failedIn = result != 0 ? failedIn_ : FailedIn{};
  summary.error = result != 0 ? error_ : std::string();
  if (result == 0 && !stopped_) summary.note = NothingWrittenNote();
  summary.notADocument = result != 0 && notADocument_;
  if (document) {
    for (const SkippedRecord& record : Skipped()) ++summary.skipped[record.reason];
  }
  return summary;
}

void RipJob::SendStatus(std::string text, int progress) {
  if (window != nullptr) window->Send(WM_RIP_STATUS, text.c_str(), PackProgress(progress));
}

}  // namespace peelbox
