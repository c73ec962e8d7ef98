// Fuzz target: a whole document read from memory, as the job reads a file.
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "psd/document.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;  // fmemopen refuses an empty buffer
  std::FILE* file = fmemopen(const_cast<uint8_t*>(data), size, "rb");
  if (file == nullptr) return 0;
  int32_t result = 1;
  const auto document = peelbox::LoadPsdDocumentFromStream(file, &result, nullptr);
  std::fclose(file);
  if (!document) {
    if (result >= 0) std::abort();  // no document, yet no failure
    return 0;
  }
  if (result != 0 || !document->header || !document->layerMaskInfo || !document->composite) std::abort();
  // Every decoded plane holds exactly its rows of samples, in the main
  // layer info and in the tagged blocks alike.
  const uint64_t depth = document->header->depth;
  const auto check = [&](const peelbox::LayerInfo& info) {
    for (const auto& record : info.records) {
      for (const auto& channel : record->channels) {
        if (channel->plane.empty()) continue;
        const uint64_t rowBytes = (static_cast<uint64_t>(channel->planeWidth) * depth + 7) / 8;
        if (channel->plane.size() != rowBytes * static_cast<uint64_t>(channel->planeHeight)) std::abort();
      }
    }
  };
  if (document->layerMaskInfo->layerInfo) check(*document->layerMaskInfo->layerInfo);
  for (const auto& tagged : document->layerMaskInfo->taggedLayers) check(*tagged);
  const peelbox::CompositeImage& composite = *document->composite;
  if (composite.pixels.size() != composite.geometry.Size() * static_cast<uint64_t>(composite.planeCount)) std::abort();
  return 0;
}
