// The image resources section: a run of "8BIM" blocks, each kept with its id,
// name and body.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "psd/block.h"

namespace peelbox {

class ImageResource : public PsdBlock {
 public:
  // Codes of the fields before the body; the body itself fails with the
  // default read's -2, -4 or -8.
  static constexpr int32_t kShortSignature = -16;
  static constexpr int32_t kBadSignature = -32;
  static constexpr int32_t kShortId = -64;
  static constexpr int32_t kShortNameLength = -128;
  static constexpr int32_t kShortName = -256;
  static constexpr int32_t kShortNamePad = -512;
  static constexpr int32_t kShortBodyPad = -1024;

  int32_t Read(std::FILE* file) override;

  uint16_t id = 0;
  std::string name;
};

class ImageResourceList : public PsdBlock {
 public:
  static constexpr int32_t kShortSectionLength = -2048;
  static constexpr int32_t kNoPosition = -4096;

  int32_t Read(std::FILE* file) override;

  // The body of the first resource of this id, or none.
  const ImageResource* Find(uint16_t id) const;

  std::vector<std::unique_ptr<ImageResource>> resources;  // file order
};

// The resources the export reads. Their bodies are kept as bytes; these give
// their values, each checked against the body's length.
inline constexpr uint16_t kResolutionInfoResource = 1005;
inline constexpr uint16_t kIccProfileResource = 1039;

// The embedded ICC profile's bytes, empty when there is none.
std::string EmbeddedProfile(const ImageResourceList* resources);

// The resolution as stored: pixels per inch as signed 16.16 fixed point,
// whatever the unit fields say (they only choose how Photoshop shows it).
struct Resolution {
  int32_t horizontal = 0;
  int32_t vertical = 0;
};
// None when the resource is absent or too short to hold both values.
std::optional<Resolution> ReadResolution(const ImageResourceList* resources);

std::unique_ptr<ImageResourceList> CreateImageResourceList(BlockOwner* owner, std::FILE* file, int32_t* result);
std::unique_ptr<ImageResource> CreateImageResource(BlockOwner* owner, std::FILE* file, int32_t* result);

}  // namespace peelbox
