// What a layer's files say about their colours: the embedded ICC profile
// (PNG iCCP, JPEG APP2) when the samples are the document's own, an sRGB
// tag when Peelbox made them sRGB, and the document's resolution.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "psd/image_resources.h"

namespace peelbox {

// What Little CMS makes of an embedded profile.
struct ProfileFacts {
  enum class Space { kRgb, kGrey, kOther };
  bool opened = false;  // false: not a profile Little CMS can open, or none
  Space space = Space::kOther;
  std::string description;  // UTF-8, as the profile gives it; may be empty
};
ProfileFacts DescribeProfile(const std::string& bytes);

// The iCCP chunk's name for a description: printable Latin-1 (others become
// "_"), no leading, trailing or double spaces, 1 to 79 bytes; else "ICC
// profile".
std::string PngProfileName(const std::string& description);

// Pixels per metre for a 16.16 value in pixels per inch; none unless it is
// 1 to 100 000 ppi.
std::optional<uint32_t> PixelsPerMetre(int32_t pixelsPerInch);

struct ColourTags {
  std::string profile;           // the ICC bytes to embed; empty for none
  std::string profileName;       // the iCCP chunk's name
  bool srgb = false;             // the samples are sRGB: PNG sRGB chunk, relative colorimetric
  uint32_t xPixelsPerMetre = 0;  // both 0: no pHYs
  uint32_t yPixelsPerMetre = 0;
};

// `ownSamples`: the raster holds the document's own samples (none converted);
// `grey`: they are grey. `converted`: Peelbox made them sRGB.
ColourTags TagsFor(const std::string& profile, const ProfileFacts& facts, bool ownSamples, bool grey, bool converted,
                   const std::optional<Resolution>& resolution);

}  // namespace peelbox
