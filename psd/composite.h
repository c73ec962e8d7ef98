// The composite image data: the merged image, the compression word then
// everything to the end of the file. Decoded into colour planes only for a
// document without layers, which has nothing else to show.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>

#include "psd/block.h"
#include "psd/plane.h"

namespace peelbox {

class CompositeImage : public PsdBlock {
 public:
  static constexpr int32_t kUndecodable = -1;
  static constexpr int32_t kShortCompression = -2;
  static constexpr int32_t kNoMemory = -4;
  static constexpr int32_t kShortData = -8;
  static constexpr int32_t kNoStartPosition = -4096;
  static constexpr int32_t kSeekEndFailed = -8192;
  static constexpr int32_t kNoEndPosition = -12288;
  static constexpr int32_t kSeekBackFailed = -16384;

  int32_t Read(std::FILE* file) override;

  const uint8_t* Plane(int index) const { return pixels.data() + static_cast<uint64_t>(index) * geometry.Size(); }

  uint16_t compression = 0;
  // `planeCount` colour planes of `geometry`, one after the other, samples
  // in the file's byte order; none when the composite is not wanted.
  Bytes pixels;
  int planeCount = 0;
  PlaneGeometry geometry;

 private:
  int32_t Decode();
  int32_t DecodeRaw(uint64_t planesSize);
  int32_t DecodePackBits(uint64_t planesSize);
  int32_t Inflate(uint64_t planesSize);
};

std::unique_ptr<CompositeImage> CreateCompositeImage(BlockOwner* owner, std::FILE* file, int32_t* result);

}  // namespace peelbox
