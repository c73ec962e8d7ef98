// The file header and the colour-mode data, the first two sections.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>

#include "psd/block.h"

namespace peelbox {

class PsdHeader : public PsdBlock {
 public:
  static constexpr int32_t kShortHeader = -2;
  static constexpr int32_t kBadSignature = -4;
  static constexpr int32_t kBadVersion = -8;  // neither 1 (PSD) nor 2 (PSB)
  static constexpr size_t kSize = 26;

  int32_t Read(std::FILE* file) override;

  DocumentFormat Format() const { return {version, channels, rows, columns, depth, mode}; }

  uint16_t version = 0;
  uint16_t channels = 0;
  int32_t rows = 0;
  int32_t columns = 0;
  uint16_t depth = 0;
  uint16_t mode = 0;
};

// Kept as it stands: its contents depend on the colour mode (an indexed
// document's colour table, for one).
class ColorModeData : public PsdBlock {};

std::unique_ptr<PsdHeader> CreateHeader(BlockOwner* owner, std::FILE* file, int32_t* result);
std::unique_ptr<ColorModeData> CreateColorModeData(BlockOwner* owner, std::FILE* file, int32_t* result);

}  // namespace peelbox
