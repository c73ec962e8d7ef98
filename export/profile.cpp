#include "export/profile.h"

#include <lcms2.h>

#include <cmath>
#include <vector>

namespace peelbox {

namespace {

void AppendUtf8(char32_t c, std::string* out) {
  if (c < 0x80) {
    *out += static_cast<char>(c);
  } else if (c < 0x800) {
    *out += static_cast<char>(0xC0 | c >> 6);
    *out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    *out += static_cast<char>(0xE0 | c >> 12);
    *out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
    *out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    *out += static_cast<char>(0xF0 | c >> 18);
    *out += static_cast<char>(0x80 | (c >> 12 & 0x3F));
    *out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
    *out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

// Code points of UTF-8 text; a broken sequence gives one U+FFFD per byte.
std::vector<char32_t> CodePoints(const std::string& text) {
  std::vector<char32_t> points;
  for (size_t i = 0; i < text.size();) {
    const auto byte = static_cast<unsigned char>(text[i]);
    const size_t length = byte < 0x80 ? 1 : byte >> 5 == 6 ? 2 : byte >> 4 == 14 ? 3 : byte >> 3 == 30 ? 4 : 0;
    char32_t c = length == 1 ? byte : length == 2 ? byte & 0x1F : length == 3 ? byte & 0x0F : byte & 0x07;
    bool whole = length > 0 && i + length <= text.size();
    for (size_t k = 1; whole && k < length; ++k) {
      const auto next = static_cast<unsigned char>(text[i + k]);
      whole = next >> 6 == 2;
      c = c << 6 | (next & 0x3F);
    }
    points.push_back(whole ? c : U'\uFFFD');
    i += whole ? length : 1;
  }
  return points;
}

bool PrintableLatin1(char32_t c) { return (c >= 0x20 && c <= 0x7E) || (c >= 0xA1 && c <= 0xFF); }

}  // namespace

ProfileFacts DescribeProfile(const std::string& bytes) {
  ProfileFacts facts;
  if (bytes.empty()) return facts;
  cmsHPROFILE profile = cmsOpenProfileFromMem(bytes.data(), static_cast<cmsUInt32Number>(bytes.size()));
  if (profile == nullptr) return facts;
  facts.opened = true;
  const cmsColorSpaceSignature space = cmsGetColorSpace(profile);
  facts.space = space == cmsSigRgbData    ? ProfileFacts::Space::kRgb
                : space == cmsSigGrayData ? ProfileFacts::Space::kGrey
                                          : ProfileFacts::Space::kOther;
  const cmsUInt32Number size = cmsGetProfileInfo(profile, cmsInfoDescription, "en", "US", nullptr, 0);
  if (size > 0) {
    std::vector<wchar_t> text(size / sizeof(wchar_t) + 1, 0);
    cmsGetProfileInfo(profile, cmsInfoDescription, "en", "US", text.data(), size);
    for (wchar_t c : text) {
      if (c == 0) break;
      const auto point = static_cast<char32_t>(c);
      AppendUtf8(point > 0x10FFFF || (point >= 0xD800 && point <= 0xDFFF) ? U'\uFFFD' : point, &facts.description);
    }
  }
  cmsCloseProfile(profile);
  return facts;
}

std::string PngProfileName(const std::string& description) {
  constexpr size_t kLongest = 79;  // the PNG keyword's limit
  std::string name;
  for (char32_t c : CodePoints(description)) {
    const bool space = c == U' ';
    if (space && (name.empty() || name.back() == ' ')) continue;
    name += static_cast<char>(PrintableLatin1(c) ? c : U'_');
  }
  if (name.size() > kLongest) name.resize(kLongest);
  while (!name.empty() && name.back() == ' ') name.pop_back();
  return name.empty() ? "ICC profile" : name;
}

std::optional<uint32_t> PixelsPerMetre(int32_t pixelsPerInch) {
  const double ppi = pixelsPerInch / 65536.0;
  if (ppi < 1.0 || ppi > 100000.0) return std::nullopt;
  return static_cast<uint32_t>(std::lround(ppi / 0.0254));
}

ColourTags TagsFor(const std::string& profile, const ProfileFacts& facts, bool ownSamples, bool grey, bool converted,
                   const std::optional<Resolution>& resolution) {
  ColourTags tags;
  const ProfileFacts::Space fits = grey ? ProfileFacts::Space::kGrey : ProfileFacts::Space::kRgb;
  if (ownSamples && facts.opened && facts.space == fits) {
    tags.profile = profile;
    tags.profileName = PngProfileName(facts.description);
  }
  tags.srgb = converted;
  if (resolution) {
    const std::optional<uint32_t> x = PixelsPerMetre(resolution->horizontal);
    const std::optional<uint32_t> y = PixelsPerMetre(resolution->vertical);
    if (x && y) {
      tags.xPixelsPerMetre = *x;
      tags.yPixelsPerMetre = *y;
    }
  }
  return tags;
}

}  // namespace peelbox
