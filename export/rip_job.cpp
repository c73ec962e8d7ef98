#include "export/rip_job.h"

#include <cstdio>

#include "export/encoder_pool.h"
#include "export/export_result.h"
#include "export/file_name.h"
#include "psd/document.h"

namespace peelbox {

namespace {

int32_t WriteOutputFile(const std::string& path, const OutputBuffer& bytes) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return kCannotOpenOutput;
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  const bool closed = std::fclose(file) == 0;
  return written && closed ? kExportOk : kWriteFailed;
}

}  // namespace

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
  // Layers are encoded as soon as their pixels are read, on other threads,
  // while this one goes on reading and, later, writes the files in layer
  // order.
  encoders_ = std::make_unique<EncoderPool>(threads > 0 ? threads : EncoderPool::DefaultThreads());
  const int32_t result = LoadAndExport();
  encoders_.reset();  // encodings nobody took are discarded
  return result;
}

int32_t RipJob::LoadAndExport() {
  int32_t result = PsdBlock::kOk;
  document = LoadPsdDocument(sourcePath, &result, this);
  if (!document) return result;
  const auto& records = document->layerMaskInfo->Layers().records;
  const size_t n = records.size();
  written_.resize(n, false);
  for (size_t i = 0; i < n; ++i) {
    const LayerRecord& layer = *records[i];
    SendStatus("Exporting layer: \"" + layer.name + "\"...", ExportProgress(i, n));
    if (!written_[i]) continue;  // skipped, but it still counts towards the progress
    // The first failure ends the job here; encodings of later layers are
    // discarded and none of their files is written.
    if (const int32_t code = ExportLayer(i, layer, encoders_->TakeNext()); code != kExportOk) return code;
  }
  return kExportOk;
}

void RipJob::LayerPixelsRead(const PsdDocument& reading, LayerRecord& layer, size_t index) {
  std::optional<LayerPlanes> planes = ChooseLayerPlanes(reading, layer);
  written_.resize(index + 1, false);
  written_[index] = planes.has_value();
  if (planes && encoders_) {
    TakePlanes(layer, &*planes);
    auto owned = std::make_shared<const LayerPlanes>(std::move(*planes));
    encoders_->Add([owned, ignore = ignoreAlpha != 0] { return EncodeLayer(*owned, ignore); });
  }
}

int32_t RipJob::ExportLayer(size_t index, const LayerRecord& layer, const EncodedLayer& encoded) {
  if (encoded.code != kExportOk) return encoded.code;
  const std::string stem = outputFolder + MakeFileName(layer.name);
  for (const auto& [extension, bytes] : {std::pair{".png", &encoded.png}, std::pair{".gif", &encoded.gif}}) {
    const std::string path = stem + extension;
    if (const int32_t code = WriteOutputFile(path, *bytes); code != kExportOk) return code;
    outputFiles_.push_back({path, index, layer.name});
  }
  ++layersRipped_;
  return kExportOk;
}

void RipJob::SendStatus(std::string text, int progress) {
  if (window != nullptr) window->Send(WM_RIP_STATUS, text.c_str(), PackProgress(progress));
}

}  // namespace peelbox
