#include "psd/header.h"

#include "psd/big_endian.h"

namespace peelbox {

int32_t PsdHeader::Read(std::FILE* file) {
  if (file == nullptr) return kNoSource;
  uint8_t bytes[kSize];
  if (!ReadExact(file, bytes, kSize)) return kShortHeader;
  // The signature is tested before the version: a file failing both is "not a
  // Photoshop file" rather than "another version".
  if (bytes[0] != '8' || bytes[1] != 'B' || bytes[2] != 'P' || bytes[3] != 'S') return kBadSignature;
  const auto fileVersion = LoadBigEndian<uint16_t>(bytes + 4);
  if (fileVersion != 1 && fileVersion != 2) return kBadVersion;
  version = fileVersion;
  channels = LoadBigEndian<uint16_t>(bytes + 12);
  rows = LoadBigEndian<int32_t>(bytes + 14);
  columns = LoadBigEndian<int32_t>(bytes + 18);
  depth = LoadBigEndian<uint16_t>(bytes + 22);
  mode = LoadBigEndian<uint16_t>(bytes + 24);
  return kOk;
}

std::unique_ptr<PsdHeader> CreateHeader(BlockOwner* owner, std::FILE* file, int32_t* result) {
  return CreateAndRead<PsdHeader>(owner, file, result);
}

std::unique_ptr<ColorModeData> CreateColorModeData(BlockOwner* owner, std::FILE* file, int32_t* result) {
  return CreateAndRead<ColorModeData>(owner, file, result);
}

}  // namespace peelbox
