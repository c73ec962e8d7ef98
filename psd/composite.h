// The composite image data: the merged image, kept as it stands (the rest of
// the file after its compression word), not decoded.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>

#include "psd/document.h"

namespace peelbox {

class CompositeImage : public PsdBlock {
 public:
  static constexpr int32_t kShortCompression = -2;
  static constexpr int32_t kNoMemory = -4;
  static constexpr int32_t kShortData = -8;
  static constexpr int32_t kNoStartPosition = -4096;
  static constexpr int32_t kSeekEndFailed = -8192;
  static constexpr int32_t kNoEndPosition = -12288;
  static constexpr int32_t kSeekBackFailed = -16384;

  int32_t Read(std::FILE* file) override;

  // The data of a raw image; a compressed image stays in `data`.
  Bytes rawData;
};

std::unique_ptr<CompositeImage> CreateCompositeImage(PsdDocument* owner, std::FILE* file, int32_t* result);

}  // namespace peelbox
