#include "psd/image_resources.h"

#include <cstring>

#include "psd/big_endian.h"
#include "psd/format_text.h"

namespace peelbox {

int32_t ImageResourceList::Read(std::FILE* file) {
  if (file == nullptr) return kNoSource;
  uint32_t sectionLength = 0;
  if (!ReadBigEndian(file, &sectionLength)) return kShortSectionLength;
  const int64_t start = ftello(file);
  if (start < 0) return kNoPosition;
  // The end is only compared with, never sought: a last block that runs past
  // it is accepted and the next section starts where that block ended.
  const int64_t end = start + sectionLength;
  int64_t position = start;
  while (position < end) {
    int32_t result = kOk;
    auto resource = CreateImageResource(owner, file, &result);
    if (!resource) return result;
    const unsigned id = resource->id;
    resources.push_back(std::move(resource));
    ReportProgress(file,
                   FormatText("Read image resource number: %d; Res. ID: %u", static_cast<int>(resources.size()), id));
    position = ftello(file);
    if (position < 0) return kNoPosition;
  }
  return kOk;
}

const ImageResource* ImageResourceList::Find(uint16_t id) const {
  for (const auto& resource : resources) {
    if (resource->id == id) return resource.get();
  }
  return nullptr;
}

std::string EmbeddedProfile(const ImageResourceList* resources) {
  const ImageResource* icc = resources != nullptr ? resources->Find(kIccProfileResource) : nullptr;
  if (icc == nullptr || icc->data.size() == 0) return {};
  return std::string(reinterpret_cast<const char*>(icc->data.data()), icc->data.size());
}

std::optional<Resolution> ReadResolution(const ImageResourceList* resources) {
  const ImageResource* info = resources != nullptr ? resources->Find(kResolutionInfoResource) : nullptr;
  // hRes (4), its unit (2), the width unit (2), then vRes (4).
  constexpr size_t kThrough = 12;
  if (info == nullptr || info->data.size() < kThrough) return std::nullopt;
  const uint8_t* body = info->data.data();
  return Resolution{LoadBigEndian<int32_t>(body), LoadBigEndian<int32_t>(body + 8)};
}

int32_t ImageResource::Read(std::FILE* file) {
  if (file == nullptr) return kNoSource;
  uint8_t signature[4];
  if (!ReadExact(file, signature, sizeof signature)) return kShortSignature;
  if (std::memcmp(signature, "8BIM", 4) != 0) return kBadSignature;
  if (!ReadBigEndian(file, &id)) return kShortId;
  uint8_t nameLength = 0;
  if (!ReadBigEndian(file, &nameLength)) return kShortNameLength;
  if (nameLength > 0) {
    uint8_t bytes[255];
    if (!ReadExact(file, bytes, nameLength)) return kShortName;
    name = NameFromBytes(bytes, nameLength);
  }
  // Length byte and name together take an even number of bytes.
  if (nameLength % 2 == 0) {
    uint8_t pad;
    if (!ReadExact(file, &pad, 1)) return kShortNamePad;
  }
  if (const int32_t body = PsdBlock::Read(file); body != kOk) return body;
  // The body pad follows from the file position, not from the body length.
  if (!SkipPadToEven(file)) return kShortBodyPad;
  return kOk;
}

std::unique_ptr<ImageResourceList> CreateImageResourceList(BlockOwner* owner, std::FILE* file, int32_t* result) {
  return CreateAndRead<ImageResourceList>(owner, file, result);
}

std::unique_ptr<ImageResource> CreateImageResource(BlockOwner* owner, std::FILE* file, int32_t* result) {
  return CreateAndRead<ImageResource>(owner, file, result);
}

}  // namespace peelbox
