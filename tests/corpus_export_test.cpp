// Real Photoshop documents ripped whole: every layer the independent decoder
// says is written lands in a file of its own under its stem, holds exactly
// the pixels it should, and its GIF is transparent exactly where the layer
// is; every other record is listed as skipped for the same reason.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>

#include "export/png_format.h"
#include "export/rip_job.h"
#include "psd/document.h"
#include "psd/text.h"
#include "tests/corpus_json.h"
#include "tests/helpers.h"
#include "tests/image_readers.h"
#include "tests/support/sha256.h"

namespace peelbox {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

class CorpusExport : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override {
    if (test::CorpusDir().empty()) GTEST_SKIP() << "no corpus next to the checkout";
  }
};

// The largest difference between the PNG's samples and the reference's, in
// the reference's bits (16-bit samples reduced when it has 8). With
// ignore-alpha the reference's transparency is taken through the same rule.
int LargestDifference(const test::DecodedPng& png, const test::DecodedPng& reference, bool ignoreAlpha) {
  const int channels = png.colorType == 0 ? 1 : png.colorType == 4 ? 2 : png.colorType == 2 ? 3 : 4;
  const bool alpha = png.colorType == 4 || png.colorType == 6;
  const int ours = png.bitDepth / 8, theirs = reference.bitDepth / 8;
  const size_t samples = png.pixels.size() / ours;
  if (reference.pixels.size() / theirs != samples) return 1 << 16;
  int largest = 0;
  for (size_t i = 0; i < samples; ++i) {
    int value = ours == 2 ? png.pixels[2 * i] << 8 | png.pixels[2 * i + 1] : png.pixels[i];
    int want = theirs == 2 ? reference.pixels[2 * i] << 8 | reference.pixels[2 * i + 1] : reference.pixels[i];
    if (ours == 2 && theirs == 1) value = (value * 255 + 32767) / 65535;
    if (alpha && ignoreAlpha && static_cast<int>(i % channels) == channels - 1 && want != 0) {
      want = theirs == 2 ? 65535 : 255;
    }
    largest = std::max(largest, std::abs(value - want));
  }
  return largest;
}

std::vector<uint8_t> TransparentMask(const test::DecodedGif& gif) {
  std::vector<uint8_t> mask;
  for (uint8_t index : gif.indexes) mask.push_back(static_cast<int>(index) == gif.transparent ? 1 : 0);
  return mask;
}

TEST_P(CorpusExport, EveryOutputIsWrittenUnderItsStemAndIsExact) {
  const bool ignoreAlpha = GetParam();
  size_t outputsChecked = 0;
  for (const fs::path& file : test::CorpusFiles()) {
    SCOPED_TRACE(file.filename().string());
    const json expected = test::ExpectedFor(file);
    test::TempDir out;
    RipJob job(file.string(), out.Folder(), ignoreAlpha ? 1 : 0, nullptr);
    ASSERT_EQ(job.Run(), 0);

    // Whatever is written: files of their own, valid UTF-8, as many as the
    // report says.
    const std::vector<std::string> names = out.FileNames();
    EXPECT_EQ(names.size(), static_cast<size_t>(job.FilesSaved()));
    EXPECT_EQ(job.FilesSaved(), 2 * job.LayersRipped());
    for (const std::string& name : names) EXPECT_TRUE(IsValidUtf8(name)) << name;

    std::set<std::string> wanted;
    for (const json& output : expected["outputs"]) {
      wanted.insert(output["stem"].get<std::string>() + ".png");
      wanted.insert(output["stem"].get<std::string>() + ".gif");
    }
    EXPECT_EQ(std::set<std::string>(names.begin(), names.end()), wanted);

    for (const json& output : expected["outputs"]) {
      const std::string stem = output["stem"];
      SCOPED_TRACE(stem);
      const json& png = output["png"];
      const test::DecodedPng decoded = test::ReadPng(out.path() / (stem + ".png"));
      ASSERT_TRUE(decoded.ok);
      EXPECT_EQ(decoded.colorType, png["color_type"]);
      EXPECT_EQ(decoded.bitDepth, png["bit_depth"]);
      EXPECT_EQ(decoded.width, png["width"].get<uint32_t>());
      EXPECT_EQ(decoded.height, png["height"].get<uint32_t>());
      if (png["tolerance"] == 0) {
        EXPECT_EQ(psdbuild::Sha256Hex(decoded.pixels.data(), decoded.pixels.size()),
                  png[ignoreAlpha ? "sha256_ignore_alpha" : "sha256"]);
      } else {
        const test::DecodedPng reference =
            test::ReadPng(test::CorpusDir() / "expected" / png["reference"].get<std::string>());
        ASSERT_TRUE(reference.ok);
        EXPECT_EQ(reference.bitDepth, png["compare_bits"]);
        EXPECT_LE(LargestDifference(decoded, reference, ignoreAlpha), png["tolerance"].get<int>()) << png["conversion"];
      }

      const test::DecodedGif gif = test::ReadGif(out.path() / (stem + ".gif"));
      ASSERT_TRUE(gif.ok);
      EXPECT_EQ(gif.transparent, 0);
      const std::vector<uint8_t> mask = TransparentMask(gif);
      EXPECT_EQ(psdbuild::Sha256Hex(mask.data(), mask.size()), output["gif"]["transparent_sha256"]);
      ++outputsChecked;
    }

    std::vector<std::string> skipped, wantSkipped;
    for (const SkippedRecord& record : job.Skipped()) {
      skipped.push_back(record.layerInfo.value_or("null") + " " +
                        (record.record ? std::to_string(*record.record) : "null") + " " +
                        SkipReasonName(record.reason));
    }
    for (const json& record : expected["skipped"]) {
      wantSkipped.push_back((record["layer_info"].is_null() ? "null" : record["layer_info"].get<std::string>()) + " " +
                            (record["record"].is_null() ? "null" : std::to_string(record["record"].get<int>())) + " " +
                            record["reason"].get<std::string>());
    }
    EXPECT_EQ(skipped, wantSkipped);
  }
  std::printf("%zu outputs checked\n", outputsChecked);
  EXPECT_GT(outputsChecked, 150u);
}

INSTANTIATE_TEST_SUITE_P(IgnoreAlpha, CorpusExport, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "Ignored" : "Kept"; });

// libdeflate in place of libpng's deflate changes the bytes, never the
// filtered rows, and keeps the corpus's image data within 1.5% of its size
// (1.0% larger when measured).
TEST(CorpusPngs, FilteredAsLibpngDoesAndNearItsSize) {
  if (test::CorpusDir().empty()) GTEST_SKIP() << "no corpus next to the checkout";
  // The image data's bytes: the colour tags come on top of ours alone.
  const auto idatBytes = [](const uint8_t* file, size_t size) {
    size_t total = 0;
    for (size_t at = 8; at + 12 <= size;) {
      const size_t length = size_t{file[at]} << 24 | size_t{file[at + 1]} << 16 | size_t{file[at + 2]} << 8 | file[at + 3];
      if (std::equal(file + at + 4, file + at + 8, "IDAT")) total += length;
      at += 12 + length;
    }
    return total;
  };
  size_t ours = 0, libpngs = 0;
  for (const fs::path& file : test::CorpusFiles()) {
    SCOPED_TRACE(file.filename().string());
    test::TempDir out;
    RipJob job(file.string(), out.Folder(), 0, nullptr);
    job.options.formats = {"png"};
    ASSERT_EQ(job.Run(), 0);
    for (const OutputFile& written : job.OutputFiles()) {
      const test::ByteVector bytes = test::ReadAll(written.path);
      const test::DecodedPng png = test::ReadPng(written.path);
      ASSERT_TRUE(png.ok) << written.path;
      OutputBuffer libpng;
      ASSERT_EQ(EncodePng(png.pixels.data(), png.width, png.height, {png.colorType, png.bitDepth},
                          {false, {}, PngDeflater::kLibpng}, &libpng),
                0);
      EXPECT_EQ(test::PngImageData(bytes), test::PngImageData({libpng.data(), libpng.data() + libpng.size()}))
          << written.path;
      ours += idatBytes(bytes.data(), bytes.size());
      libpngs += idatBytes(libpng.data(), libpng.size());
    }
  }
  std::printf("PNG image data bytes: %zu with libdeflate, %zu with libpng's deflate\n", ours, libpngs);
  EXPECT_LE(ours, libpngs + libpngs * 3 / 200);
}

TEST(CorpusNames, EveryRecordHasItsUtf8Name) {
  if (test::CorpusDir().empty()) GTEST_SKIP() << "no corpus next to the checkout";
  size_t named = 0;
  for (const fs::path& file : test::CorpusFiles()) {
    const json expected = test::ExpectedFor(file);
    int32_t result = 1;
    const auto document = LoadPsdDocument(file.string(), &result, nullptr);
    ASSERT_EQ(result, 0) << file;
    const LayerMaskInfo& section = *document->layerMaskInfo;
    std::vector<const LayerRecord*> records;
    if (section.layerInfo) {
      for (const auto& record : section.layerInfo->records) records.push_back(record.get());
    }
    for (const auto& tagged : section.taggedLayers) {
      for (const auto& record : tagged->records) records.push_back(record.get());
    }
    std::vector<json> wanted(expected["records"].begin(), expected["records"].end());
    wanted.insert(wanted.end(), expected["tagged_records"].begin(), expected["tagged_records"].end());
    ASSERT_EQ(records.size(), wanted.size()) << file;
    for (size_t i = 0; i < records.size(); ++i) {
      EXPECT_EQ(records[i]->name, wanted[i]["name_utf8"]) << file.filename() << " record " << i;
      ++named;
    }
  }
  EXPECT_GT(named, 200u);
}

}  // namespace
}  // namespace peelbox
