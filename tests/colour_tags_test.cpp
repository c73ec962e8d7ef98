// What the files say of their colours (profiles, sRGB, resolution), the sRGB
// conversion, the WebP and JPEG formats and the GIF matte, on built
// documents, read back with libpng, libwebp and libjpeg.
#include <gtest/gtest.h>
#include <lcms2.h>

#include <algorithm>
#include <optional>

#include "export/gif_format.h"
#include "export/profile.h"
#include "export/rip_job.h"
#include "tests/helpers.h"
#include "tests/image_readers.h"

namespace peelbox {
namespace {

using psdbuild::ByteVector;
using psdbuild::DocumentRecipe;
using psdbuild::LayerRecipe;

std::string Saved(cmsHPROFILE profile) {
  cmsUInt32Number size = 0;
  cmsSaveProfileToMem(profile, nullptr, &size);
  std::string bytes(size, '\0');
  cmsSaveProfileToMem(profile, bytes.data(), &size);
  cmsCloseProfile(profile);
  return bytes;
}

std::string SrgbProfile() { return Saved(cmsCreate_sRGBProfile()); }

std::string GreyProfile() {
  cmsToneCurve* gamma = cmsBuildGamma(nullptr, 2.2);
  const std::string bytes = Saved(cmsCreateGrayProfile(cmsD50_xyY(), gamma));
  cmsFreeToneCurve(gamma);
  return bytes;
}

ByteVector Bytes(const std::string& text) { return ByteVector(text.begin(), text.end()); }

// A 16 x 4 document of one layer with transparency, RGB or grey, 8 or 16
// bits, with these resources.
DocumentRecipe Document(bool grey, unsigned depth, std::vector<psdbuild::ResourceRecipe> resources,
                        const std::string& name = "Sky") {
  DocumentRecipe doc;
  doc.mode = grey ? 1 : 3;
  doc.channels = grey ? 1 : 3;
  doc.depth = static_cast<uint16_t>(depth);
  doc.columns = 16;
  doc.rows = 4;
  doc.resources = std::move(resources);
  doc.layerInfoWhenEmpty = depth == 8;
  LayerRecipe layer = psdbuild::PixelLayer({0, 0, 16, 4, true, true, 3, name, depth});
  if (grey) layer.channels.erase(layer.channels.begin() + 2, layer.channels.end());  // alpha and grey
  if (depth == 8) {
    doc.layers = {layer};
  } else {
    doc.globalMask = ByteVector(14, 0);
    doc.sectionBlocks = {{"Lr16", {}, {layer}, true, "8BIM", std::nullopt}};
  }
  return doc;
}

struct Ripped {
  test::TempDir in, out;
  std::unique_ptr<RipJob> job;
  int32_t result = -1;
  test::DecodedPng Png(const std::string& stem = "Sky") const { return test::ReadPng(out.path() / (stem + ".png")); }
};

std::unique_ptr<Ripped> Rip(const DocumentRecipe& doc, ExportOptions options) {
  auto ripped = std::make_unique<Ripped>();
  ripped->job = std::make_unique<RipJob>(ripped->in.Write("in.psd", psdbuild::BuildDocument(doc).bytes),
                                         ripped->out.Folder(), 0, nullptr);
  ripped->job->options = std::move(options);
  ripped->result = ripped->job->Run();
  return ripped;
}

ExportOptions Formats(std::vector<std::string> formats) {
  ExportOptions options;
  options.formats = std::move(formats);
  return options;
}

TEST(Profiles, EmbeddedWhenTheyFitTheSamplesAndLittleCmsOpensThem) {
  const struct {
    const char* kind;
    bool grey;
    std::optional<std::string> profile;
    bool embedded;
    std::optional<std::string> description;
    std::string chunkName;
  } cases[] = {
      {"RGB", false, SrgbProfile(), true, "sRGB built-in", "sRGB built-in"},
      {"grey", true, GreyProfile(), true, "gray built-in", "gray built-in"},
      {"mismatched", false, GreyProfile(), false, "gray built-in", ""},
      {"garbage", false, std::string(200, 'x'), false, std::nullopt, ""},
      {"absent", false, std::nullopt, false, std::nullopt, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.kind);
    std::vector<psdbuild::ResourceRecipe> resources;
    if (c.profile) resources.push_back({1039, "", Bytes(*c.profile)});
    const auto ripped = Rip(Document(c.grey, 8, resources), Formats({"png", "jpeg"}));
    ASSERT_EQ(ripped->result, 0);
    const test::DecodedPng png = ripped->Png();
    EXPECT_EQ(png.iccProfile, c.embedded ? *c.profile : "");
    EXPECT_EQ(png.iccName, c.chunkName);
    EXPECT_FALSE(png.srgb);
    EXPECT_EQ(test::ReadJpeg(ripped->out.path() / "Sky.jpg").iccProfile, png.iccProfile);
    EXPECT_EQ(ripped->job->ProfileDescription(), c.description);
  }
}

TEST(Profiles, ChunkNamesArePrintableLatin1WithinSeventyNineBytes) {
  const struct {
    std::string description;
    std::string name;
  } cases[] = {
      {"Adobe RGB (1998)", "Adobe RGB (1998)"},
      {"  Dot  Gain   20% ", "Dot Gain 20%"},
      {"Gr\xC3\xBCn \xE2\x9C\x93\ttab", "Gr\xFCn __tab"},
      {std::string(100, 'a'), std::string(79, 'a')},
      {std::string(78, 'a') + " b", std::string(78, 'a')},
      {"", "ICC profile"},
      {"   ", "ICC profile"},
  };
  for (const auto& c : cases) EXPECT_EQ(PngProfileName(c.description), c.name) << c.description;
}

TEST(Resolution, PhysFromResource1005WhenSane) {
  const auto body = [](uint32_t horizontal, uint32_t vertical) {
    ByteVector bytes;
    for (uint32_t value : {horizontal, 0x00020002u, vertical, 0x00010001u}) {
      for (int shift = 24; shift >= 0; shift -= 8) bytes.push_back(static_cast<uint8_t>(value >> shift));
    }
    return bytes;
  };
  const struct {
    const char* kind;
    std::optional<ByteVector> resource;
    uint32_t x, y;
  } cases[] = {
      {"absent", std::nullopt, 0, 0},
      {"72 ppi", body(72u << 16, 72u << 16), 2835, 2835},
      {"300 by 150 ppi", body(300u << 16, 150u << 16), 11811, 5906},
      {"0", body(0, 72u << 16), 0, 0},
      {"huge", body(0x80000000u, 0x80000000u), 0, 0},
      {"too short", ByteVector(8, 1), 0, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.kind);
    std::vector<psdbuild::ResourceRecipe> resources;
    if (c.resource) resources.push_back({1005, "", *c.resource});
    const auto ripped = Rip(Document(false, 8, resources), Formats({"png"}));
    ASSERT_EQ(ripped->result, 0);
    const test::DecodedPng png = ripped->Png();
    EXPECT_EQ(png.xPixelsPerMetre, c.x);
    EXPECT_EQ(png.yPixelsPerMetre, c.y);
  }
}

int LargestDifference(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b, unsigned depth) {
  int largest = 0;
  for (size_t i = 0; i + depth / 8 <= a.size() && i < b.size(); i += depth / 8) {
    const int x = depth == 16 ? a[i] << 8 | a[i + 1] : a[i];
    const int y = depth == 16 ? b[i] << 8 | b[i + 1] : b[i];
    largest = std::max(largest, std::abs(x - y));
  }
  return largest;
}

TEST(Srgb, ConvertsSamplesWithAProfileAndTagsThem) {
  const struct {
    bool grey;
    unsigned depth;
    ColourHandling handling;
    int within;  // of the stored samples: an sRGB profile barely changes them
  } cases[] = {
      {false, 8, ColourHandling::kSrgb, 1}, {false, 16, ColourHandling::kSrgb, 1}, {true, 8, ColourHandling::kSrgb, 1},
      {true, 16, ColourHandling::kSrgb, 1}, {false, 16, ColourHandling::kKeep, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << (c.grey ? "grey " : "RGB ") << c.depth);
    // An sRGB profile for RGB; the sRGB curve's own grey for grey.
    const std::string profile = c.grey ? Saved([] {
      const cmsFloat64Number curve[] = {2.4, 1 / 1.055, 0.055 / 1.055, 1 / 12.92, 0.04045};
      cmsToneCurve* tone = cmsBuildParametricToneCurve(nullptr, 4, curve);
      cmsHPROFILE grey = cmsCreateGrayProfile(cmsD50_xyY(), tone);
      cmsFreeToneCurve(tone);
      return grey;
    }())
                                       : SrgbProfile();
    const DocumentRecipe doc = Document(c.grey, c.depth, {{1039, "", Bytes(profile)}});
    ExportOptions options = Formats({"png", "webp"});
    options.colour = c.handling;
    const auto converted = Rip(doc, options);
    const auto stored = Rip(doc, Formats({"png"}));
    ASSERT_EQ(converted->result, 0);
    const test::DecodedPng png = converted->Png();
    const bool srgb = c.handling == ColourHandling::kSrgb;
    EXPECT_EQ(png.srgb, srgb);
    EXPECT_EQ(png.iccProfile.empty(), srgb);
    EXPECT_EQ(png.colorType, c.grey ? 4 : 6);
    EXPECT_LE(LargestDifference(png.pixels, stored->Png().pixels, c.depth), c.within * (c.depth == 16 ? 257 : 1));
    const test::Decoded8 webp = test::ReadWebp(converted->out.path() / "Sky.webp");
    EXPECT_EQ(webp.pixels, test::Rgba8(png));
  }
}

// The matte's threshold, and what each pixel becomes.
TEST(GifMatte, AlphaBelow128IsTransparentTheRestBlendedOverTheMatte) {
  const struct {
    uint8_t alpha;
    int matte;
    bool transparent;
    std::array<int, 3> colour;
  } cases[] = {
      {0, -1, true, {}},         {1, -1, false, {200, 100, 0}},          {127, -1, false, {200, 100, 0}},
      {127, 0x0000FF, true, {}}, {128, 0x0000FF, false, {100, 50, 127}}, {255, 0x0000FF, false, {200, 100, 0}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << int(c.alpha) << " over " << c.matte);
    Raster raster;
    raster.width = 1;
    raster.height = 1;
    raster.format = {6, 8};
    ASSERT_TRUE(raster.Allocate());
    const uint8_t pixel[] = {200, 100, 0, c.alpha};
    std::copy(pixel, pixel + 4, raster.pixels.get());
    const std::unique_ptr<PaletteImage> image = MakeGifImage(raster, {}, {c.matte, false});
    ASSERT_TRUE(image);
    const uint8_t index = image->Row(0)[0];
    EXPECT_EQ(index == PaletteImage::kTransparentIndex, c.transparent);
    if (!c.transparent) {
      const uint32_t colour = image->Colour(index);
      EXPECT_EQ((std::array<int, 3>{int(colour >> 16), int(colour >> 8 & 255), int(colour & 255)}), c.colour);
    }
  }
}

// Each format's own limit on either side; the other formats are written.
TEST(Formats, ALayerTooLargeForAFormatGetsEveryOtherFile) {
  const struct {
    int32_t width;
    std::vector<std::string> files;
    std::vector<std::string> reasons;
  } cases[] = {
      {16383, {"Wide.gif", "Wide.jpg", "Wide.png", "Wide.webp"}, {}},
      {16384, {"Wide.gif", "Wide.jpg", "Wide.png"}, {"too large for WebP"}},
      {65501, {"Wide.gif", "Wide.png"}, {"too large for WebP", "too large for JPEG"}},
      {65536, {"Wide.png"}, {"too large for GIF", "too large for WebP", "too large for JPEG"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.width);
    DocumentRecipe doc = Document(false, 8, {});
    doc.layers = {psdbuild::PixelLayer({0, 0, c.width, 1, false, false, 5, "Wide"})};
    ExportOptions options = Formats({"png", "gif", "webp", "jpeg"});
    const auto ripped = Rip(doc, options);
    ASSERT_EQ(ripped->result, 0);
    EXPECT_EQ(ripped->out.FileNames(), c.files);
    EXPECT_EQ(ripped->job->FilesSaved(), static_cast<int>(c.files.size()));
    std::vector<std::string> reasons;
    for (const SkippedRecord& skipped : ripped->job->Skipped()) {
      EXPECT_EQ(skipped.record, 0u);
      reasons.push_back(SkipReasonText(skipped.reason, skipped.format));
    }
    EXPECT_EQ(reasons, c.reasons);
    // A listing plans the same files.
    options.listOnly = true;
    std::vector<std::string> planned = Rip(doc, options)->job->Plan()[0].files;
    std::sort(planned.begin(), planned.end());
    EXPECT_EQ(planned, c.files);
  }
}

TEST(Formats, OneStemPerLayerAcrossFourFormats) {
  DocumentRecipe doc = Document(false, 8, {});
  doc.layers.push_back(doc.layers[0]);
  const auto ripped = Rip(doc, Formats({"jpeg", "webp", "gif", "png"}));
  ASSERT_EQ(ripped->result, 0);
  EXPECT_EQ(ripped->out.FileNames(),
            (std::vector<std::string>{"Sky (2).gif", "Sky (2).jpg", "Sky (2).png", "Sky (2).webp", "Sky.gif", "Sky.jpg",
                                      "Sky.png", "Sky.webp"}));
  std::string formats;
  for (const OutputFile& file : ripped->job->OutputFiles()) formats += std::string(file.format->name) + " ";
  EXPECT_EQ(formats, "png gif webp jpeg png gif webp jpeg ");
}

// JPEG: transparency flattened over the background, as libjpeg itself
// would encode the flattened pixels.
TEST(Formats, JpegFlattensOverTheBackground) {
  const struct {
    int background;
    bool grey;
    int channels;
  } cases[] = {{0xFFFFFF, false, 3}, {0x204060, false, 3}, {0x808080, true, 1}, {0xFF0000, true, 3}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.background);
    ExportOptions options = Formats({"png", "jpeg"});
    options.background = c.background;
    const auto ripped = Rip(Document(c.grey, 8, {}), options);
    ASSERT_EQ(ripped->result, 0);
    const test::Decoded8 flat = test::Flattened(ripped->Png(), c.background, c.channels);
    const test::Decoded8 jpeg = test::ReadJpeg(ripped->out.path() / "Sky.jpg");
    EXPECT_EQ(jpeg.channels, c.channels);
    EXPECT_EQ(jpeg.pixels, test::DecodeJpeg(test::ReferenceJpeg(flat, 90)).pixels);
  }
}

// Dithering passes each pixel's error on to its neighbours, so that the
// picture as a whole keeps its colour; an error passed the wrong way, or
// not at all, shows as a drift of the mean.
TEST(GifDither, KeepsTheMeanColourOfAManyColouredRamp) {
  Raster raster;
  raster.width = 1024;
  raster.height = 256;
  raster.format = {2, 8};
  ASSERT_TRUE(raster.Allocate());
  for (int32_t y = 0; y < raster.height; ++y) {
    for (int32_t x = 0; x < raster.width; ++x) {
      uint8_t* at = raster.pixels.get() + static_cast<size_t>(y) * raster.RowBytes() + 3 * static_cast<size_t>(x);
      at[0] = static_cast<uint8_t>(x / 4);
      at[1] = static_cast<uint8_t>(y);
      at[2] = static_cast<uint8_t>((x / 4 + y) / 2);
    }
  }
  const std::unique_ptr<PaletteImage> image = MakeGifImage(raster, {}, {-1, true});
  ASSERT_TRUE(image);
  double error[3] = {};
  for (int32_t y = 0; y < raster.height; ++y) {
    for (int32_t x = 0; x < raster.width; ++x) {
      const uint32_t colour = image->Colour(image->Row(y)[x]);
      for (int c = 0; c < 3; ++c) {
        error[c] += static_cast<int>(colour >> (16 - 8 * c) & 255) - raster.Row(y)[3 * static_cast<size_t>(x) + c];
      }
    }
  }
  for (double e : error) EXPECT_LT(std::abs(e) / (1024.0 * 256), 0.25);
  const std::unique_ptr<PaletteImage> plain = MakeGifImage(raster, {}, {-1, false});
  EXPECT_FALSE(std::equal(image->Row(100), image->Row(100) + 1024, plain->Row(100)));
}

}  // namespace
}  // namespace peelbox
