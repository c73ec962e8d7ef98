#include "export/rip_job.h"

#include <cstdio>

#include "export/encoder_pool.h"
#include "export/export_result.h"
#include "export/file_name.h"
#include "psd/layers.h"

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
  int32_t result = PsdBlock::kOk;
  document = LoadPsdDocument(sourcePath, &result, this);
  if (!document) return result;
  const auto& records = document->layerMaskInfo->records;
  const size_t n = records.size();

  // Which layers are written is known up front, so that their encoding can
  // run ahead on other threads while this one writes files in layer order.
  std::vector<std::optional<LayerPlanes>> planes(n);
  std::vector<size_t> written;
  for (size_t i = 0; i < n; ++i) {
    planes[i] = ChooseLayerPlanes(*document, *records[i]);
    if (planes[i]) written.push_back(i);
  }
  const bool ignore = ignoreAlpha != 0;
  EncoderPool pool(written, threads > 0 ? threads : EncoderPool::DefaultThreads(),
                   [&](size_t i) { return EncodeLayer(*planes[i], ignore); });

  for (size_t i = 0; i < n; ++i) {
    const LayerRecord& layer = *records[i];
    SendStatus("Exporting layer: \"" + layer.name + "\"...", ExportProgress(i, n));
    if (!planes[i]) continue;  // skipped, but it still counts towards the progress
    // The first failure ends the job here; encodings of later layers are
    // discarded and none of their files is written.
    if (const int32_t code = ExportLayer(i, layer, pool.TakeNext()); code != kExportOk) return code;
  }
  return kExportOk;
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
