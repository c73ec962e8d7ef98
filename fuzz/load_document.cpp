// Fuzz target: a whole document read from memory, as the job reads a file.
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "psd/header.h"
#include "psd/layers.h"

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
  // Every decoded plane holds exactly its rows of samples.
  const size_t bytesPerSample = document->header->depth / 8;
  for (const auto& record : document->layerMaskInfo->records) {
    for (const auto& channel : record->channels) {
      if (channel->plane.empty()) continue;
      const size_t expected =
          static_cast<size_t>(channel->planeWidth) * bytesPerSample * static_cast<size_t>(channel->planeHeight);
      if (channel->plane.size() != expected) std::abort();
    }
  }
  return 0;
}
