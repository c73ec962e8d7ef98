// Every colour mode and depth as a PNG: its colour type and depth, and the
// conversions of CMYK, Lab, 32-bit, indexed and bitmap samples.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "export/linear_light.h"
#include "export/rip_job.h"
#include "tests/helpers.h"
#include "tests/image_readers.h"

namespace peelbox {
namespace {

using psdbuild::BuildDocument;
using psdbuild::DocumentRecipe;
using psdbuild::LayerRecipe;
using test::ByteVector;

struct Ripped {
  int32_t result = 1;
  test::DecodedPng png;
  test::DecodedGif gif;
};

Ripped Rip(const DocumentRecipe& doc, bool ignoreAlpha = false, const std::string& stem = "L") {
  test::TempDir in, out;
  RipJob job(in.Write("in.psd", BuildDocument(doc).bytes), out.Folder(), ignoreAlpha ? 1 : 0, nullptr);
  Ripped ripped;
  ripped.result = job.Run();
  ripped.png = test::ReadPng(out.path() / (stem + ".png"));
  ripped.gif = test::ReadGif(out.path() / (stem + ".gif"));
  return ripped;
}

// One layer of `width` x 1 in a document of `mode` and `depth`, its planes
// by channel id, stored raw.
DocumentRecipe OneLayer(uint16_t mode, uint16_t depth, int32_t width,
                      const std::vector<std::pair<int16_t, ByteVector>>& planes) {
  DocumentRecipe doc;
  doc.mode = mode;
  doc.depth = depth;
  doc.rows = 1;
  doc.columns = width;
  LayerRecipe layer;
  layer.name = "L";
  layer.right = width;
  layer.bottom = 1;
  for (const auto& [id, plane] : planes) layer.channels.push_back(psdbuild::RawChannel(id, plane));
  doc.layers = {layer};
  return doc;
}

ByteVector Samples16(std::initializer_list<uint16_t> values) {
  ByteVector bytes;
  for (uint16_t v : values) bytes.insert(bytes.end(), {static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v)});
  return bytes;
}

ByteVector Floats(std::initializer_list<float> values) {
  ByteVector bytes;
  for (float v : values) {
    uint32_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    for (int shift = 24; shift >= 0; shift -= 8) bytes.push_back(static_cast<uint8_t>(bits >> shift));
  }
  return bytes;
}

std::vector<int> Samples(const test::DecodedPng& png) {
  std::vector<int> samples;
  for (size_t i = 0; i < png.pixels.size(); i += png.bitDepth / 8) {
    samples.push_back(png.bitDepth == 16 ? png.pixels[i] << 8 | png.pixels[i + 1] : png.pixels[i]);
  }
  return samples;
}

TEST(Modes, EachModeAndDepthBecomesItsPng) {
  const ByteVector one8 = {200}, one16 = Samples16({51400}), one32 = Floats({0.5f});
  const struct {
    const char* what;
    uint16_t mode;
    uint16_t depth;
    std::vector<int16_t> ids;
    int colourType;
    int bitDepth;
  } cases[] = {
      {"RGB 8", kRgbMode, 8, {0, 1, 2}, 2, 8},
      {"RGBA 16", kRgbMode, 16, {-1, 0, 1, 2}, 6, 16},
      {"RGB 32", kRgbMode, 32, {0, 1, 2}, 2, 16},
      {"grey 8", kGreyscaleMode, 8, {0}, 0, 8},
      {"grey and alpha 16", kGreyscaleMode, 16, {-1, 0}, 4, 16},
      {"grey 32", kGreyscaleMode, 32, {0, -2}, 0, 16},
      {"duotone 8", kDuotoneMode, 8, {-1, 0}, 4, 8},
      {"CMYK 8", kCmykMode, 8, {0, 1, 2, 3}, 2, 8},
      {"CMYKA 16", kCmykMode, 16, {-1, 0, 1, 2, 3}, 6, 16},
      {"Lab 8", kLabMode, 8, {0, 1, 2}, 2, 8},
      {"Lab and alpha 16", kLabMode, 16, {-1, 0, 1, 2}, 6, 16},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const ByteVector& sample = c.depth == 8 ? one8 : c.depth == 16 ? one16 : one32;
    std::vector<std::pair<int16_t, ByteVector>> planes;
    for (int16_t id : c.ids) planes.emplace_back(id, sample);
    const Ripped ripped = Rip(OneLayer(c.mode, c.depth, 1, planes));
    ASSERT_EQ(ripped.result, 0);
    ASSERT_TRUE(ripped.png.ok);
    EXPECT_EQ(ripped.png.colorType, c.colourType);
    EXPECT_EQ(ripped.png.bitDepth, c.bitDepth);
    const size_t channels = c.colourType == 0 ? 1 : c.colourType == 4 ? 2 : c.colourType == 2 ? 3 : 4;
    EXPECT_EQ(ripped.png.significantBits, std::vector<uint8_t>(channels, static_cast<uint8_t>(c.bitDepth)));
    EXPECT_TRUE(ripped.gif.ok);
  }
}

TEST(Modes, SixteenBitSamplesAreKeptAsStored) {
  const Ripped ripped =
      Rip(OneLayer(kRgbMode, 16, 2, {{0, Samples16({1, 65535})}, {1, Samples16({256, 2})}, {2, Samples16({40000, 3})},
                                     {-1, Samples16({0, 1})}}));
  ASSERT_EQ(ripped.result, 0);
  EXPECT_EQ(Samples(ripped.png), (std::vector<int>{1, 256, 40000, 0, 65535, 2, 3, 1}));
  // Ignore-alpha on the PNG's own samples: 0 stays 0, 1 becomes 65535.
  const Ripped ignored =
      Rip(OneLayer(kRgbMode, 16, 2, {{0, Samples16({1, 65535})}, {1, Samples16({256, 2})}, {2, Samples16({40000, 3})},
                                     {-1, Samples16({0, 1})}}),
          true);
  EXPECT_EQ(Samples(ignored.png), (std::vector<int>{1, 256, 40000, 0, 65535, 2, 3, 65535}));
}

TEST(Modes, ThirtyTwoBitValuesGoThroughTheSrgbCurve) {
  const float nan = std::nanf(""), infinity = HUGE_VALF;
  const std::vector<float> linear = {0.0f, 0.0031308f, 0.001f, 0.5f, 1.0f, 2.0f, -1.0f, nan, infinity, 1e-6f};
  std::vector<int> wanted;
  for (float v : linear) {
    const double c = std::isnan(v) ? 0.0 : std::clamp(static_cast<double>(v), 0.0, 1.0);
    wanted.push_back(static_cast<int>(std::lround(65535.0 * (c <= 0.0031308 ? 12.92 * c : 1.055 * std::pow(c, 1 / 2.4) - 0.055))));
  }
  EXPECT_EQ(wanted[3], 48192);  // half the light is nearly three quarters of the way up
  ByteVector plane;
  for (float v : linear) {
    const ByteVector bytes = Floats({v});
    plane.insert(plane.end(), bytes.begin(), bytes.end());
  }
  const int32_t width = static_cast<int32_t>(linear.size());
  for (bool ignore : {false, true}) {
    const Ripped ripped = Rip(OneLayer(kGreyscaleMode, 32, width, {{0, plane}, {-1, plane}}), ignore);
    ASSERT_EQ(ripped.result, 0);
    const std::vector<int> samples = Samples(ripped.png);
    ASSERT_EQ(samples.size(), 2 * linear.size());
    for (size_t i = 0; i < linear.size(); ++i) {
      EXPECT_EQ(samples[2 * i], wanted[i]) << linear[i];
      // Transparency is linear: only clamped and scaled; ignore-alpha works
      // on the PNG's sample, so 1e-6, which rounds to 0, stays transparent.
      const double a = std::isnan(linear[i]) ? 0.0 : std::clamp(static_cast<double>(linear[i]), 0.0, 1.0);
      const int alpha = static_cast<int>(std::lround(a * 65535.0));
      EXPECT_EQ(samples[2 * i + 1], ignore && alpha != 0 ? 65535 : alpha) << linear[i];
    }
    EXPECT_EQ(ripped.gif.indexes[9], 0);  // transparent in the GIF too
  }
}

// Every half float (a 32-bit document's samples are often half floats
// widened): the table's value within a rounding and a little of the curve.
TEST(Modes, ThirtyTwoBitCurveHoldsOverEveryHalfFloat) {
  for (uint32_t half = 0; half <= 0xFFFF; ++half) {
    const int exponent = static_cast<int>(half >> 10 & 31), mantissa = static_cast<int>(half & 1023);
    double value = exponent == 0    ? std::ldexp(mantissa, -24)
                   : exponent == 31 ? (mantissa != 0 ? NAN : HUGE_VAL)
                                    : std::ldexp(mantissa + 1024, exponent - 25);
    if (half & 0x8000) value = -value;
    const double c = std::isnan(value) ? 0.0 : std::clamp(value, 0.0, 1.0);
    const double exact = 65535.0 * (c <= 0.0031308 ? 12.92 * c : 1.055 * std::pow(c, 1 / 2.4) - 0.055);
    ASSERT_NEAR(SrgbFromLinear(static_cast<float>(value)), exact, 0.6) << std::hex << half;
  }
}

TEST(Modes, CmykWithoutAUsableProfileTakesThePlainFormula) {
  // Stored CMYK is inverted: 255 (65535) means no ink.
  const auto formula = [](uint64_t c, uint64_t k, uint64_t max) { return static_cast<int>((c * k + max / 2) / max); };
  DocumentRecipe eight = OneLayer(kCmykMode, 8, 3, {{0, {255, 128, 10}}, {1, {0, 255, 200}}, {2, {77, 255, 1}},
                                                 {3, {255, 255, 100}}});
  DocumentRecipe sixteen = OneLayer(kCmykMode, 16, 2, {{0, Samples16({65535, 40000})}, {1, Samples16({1, 65535})},
                                                    {2, Samples16({300, 65535})}, {3, Samples16({65535, 65535})}});
  const std::vector<int> wanted8 = {formula(255, 255, 255), 0,   formula(77, 255, 255), formula(128, 255, 255), 255,
                                    255,                    formula(10, 100, 255), formula(200, 100, 255), formula(1, 100, 255)};
  const std::vector<int> wanted16 = {65535, formula(1, 65535, 65535), formula(300, 65535, 65535), 40000, 65535, 65535};
  const std::string rgbProfile(128, 'x');
  for (const std::string& profile : {std::string(), std::string("not a profile"), rgbProfile}) {
    DocumentRecipe a = eight, b = sixteen;
    if (!profile.empty()) {
      a.resources = {{1039, "", ByteVector(profile.begin(), profile.end())}};
      b.resources = a.resources;
    }
    EXPECT_EQ(Samples(Rip(a).png), wanted8);
    EXPECT_EQ(Samples(Rip(b).png), wanted16);
  }
}

TEST(Modes, LabGoesThroughLittleCmsAtEitherDepth) {
  // Lab white, black and a saturated red; the a and b zero is 128 (32768).
  const Ripped lab8 = Rip(OneLayer(kLabMode, 8, 3, {{0, {255, 0, 138}}, {1, {128, 128, 208}}, {2, {128, 128, 198}}}));
  ASSERT_EQ(lab8.result, 0);
  const std::vector<int> samples = Samples(lab8.png);
  for (int c = 0; c < 3; ++c) EXPECT_GE(samples[c], 253);  // L = 100 is white, within rounding
  for (int c = 3; c < 6; ++c) EXPECT_LE(samples[c], 1);
  EXPECT_GT(samples[6], 200);
  EXPECT_LT(samples[7], 80);
  // The same at 16 bits: scaled to Little CMS's 16-bit Lab, the same colours.
  const Ripped lab16 = Rip(OneLayer(kLabMode, 16, 3, {{0, Samples16({65535, 0, 138 * 257})},
                                                      {1, Samples16({32768, 32768, 208 * 256})},
                                                      {2, Samples16({32768, 32768, 198 * 256})}}));
  ASSERT_EQ(lab16.result, 0);
  const std::vector<int> wide = Samples(lab16.png);
  for (size_t i = 0; i < samples.size(); ++i) EXPECT_NEAR((wide[i] * 255 + 32767) / 65535, samples[i], 2) << i;
}

TEST(Flattened, TheCompositeIsWrittenAsOneOpaqueBackground) {
  const struct {
    const char* what;
    uint16_t mode;
    uint16_t depth;
    uint16_t channels;
    ByteVector colourTable;
    ByteVector data;  // raw composite
    int colourType;
    std::vector<int> samples;
  } cases[] = {
      {"RGB with an alpha channel", kRgbMode, 8, 4, {}, {1, 2, 3, 4, 5, 6, 7, 8}, 2, {1, 3, 5, 2, 4, 6}},
      {"indexed", kIndexedMode, 8, 1, [] {
         ByteVector table(768);
         for (int i = 0; i < 256; ++i) {
           table[i] = static_cast<uint8_t>(i);
           table[256 + i] = static_cast<uint8_t>(255 - i);
           table[512 + i] = 7;
         }
         return table;
       }(), {3, 250}, 2, {3, 252, 7, 250, 5, 7}},
      {"bitmap", kBitmapMode, 1, 1, {}, {0x80}, 0, {0, 255}},  // 1 is black
      {"greyscale 16", kGreyscaleMode, 16, 1, {}, Samples16({9, 65535}), 0, {9, 65535}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    DocumentRecipe doc;
    doc.mode = c.mode;
    doc.depth = c.depth;
    doc.channels = c.channels;
    doc.rows = 1;
    doc.columns = 2;
    doc.layerSection = false;
    doc.colorModeData = c.colourTable;
    doc.compositeData = c.data;
    const Ripped ripped = Rip(doc, false, "Background");
    ASSERT_EQ(ripped.result, 0);
    ASSERT_TRUE(ripped.png.ok);
    EXPECT_EQ(ripped.png.colorType, c.colourType);
    EXPECT_EQ(Samples(ripped.png), c.samples);
    ASSERT_TRUE(ripped.gif.ok);
    for (uint8_t index : ripped.gif.indexes) EXPECT_NE(index, 0);  // opaque
  }
}

TEST(Flattened, AModeWithNoRuleWritesNothingAndSaysSo) {
  DocumentRecipe doc;
  doc.mode = kMultichannelMode;
  doc.channels = 2;
  doc.rows = 1;
  doc.columns = 2;
  doc.layerSection = false;
  doc.compositeData = {1, 2, 3, 4};
  test::TempDir in, out;
  RipJob job(in.Write("in.psd", BuildDocument(doc).bytes), out.Folder(), 0, nullptr);
  ASSERT_EQ(job.Run(), 0);
  EXPECT_TRUE(out.FileNames().empty());
  ASSERT_EQ(job.Skipped().size(), 1u);
  EXPECT_FALSE(job.Skipped()[0].layerInfo);
  EXPECT_FALSE(job.Skipped()[0].record);
  EXPECT_EQ(job.Skipped()[0].reason, SkipReason::kUnsupportedDocument);
  EXPECT_NE(ReportText(job.Summary(0)).find("Peelbox does not write documents of this colour mode and depth."),
            std::string::npos);
}

}  // namespace
}  // namespace peelbox
