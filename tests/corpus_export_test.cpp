// Real Photoshop documents ripped whole: every layer that should be written
// gets exactly its two files, each PNG holds exactly the pixels an
// independent decoder made of the layer, and each GIF is transparent exactly
// where the layer is.
#include <gtest/gtest.h>

#include <map>
#include <set>

#include "export/file_name.h"
#include "export/rip_job.h"
#include "psd/document.h"
#include "tests/corpus_json.h"
#include "tests/helpers.h"
#include "tests/image_readers.h"
#include "tests/support/sha256.h"

namespace peelbox {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

std::string FromHex(const std::string& hex) {
  std::string bytes;
  for (size_t i = 0; i + 1 < hex.size(); i += 2) bytes.push_back(static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16)));
  return bytes;
}

class CorpusExport : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override {
    if (test::CorpusDir().empty()) GTEST_SKIP() << "no corpus next to the checkout";
  }
};

TEST_P(CorpusExport, EveryWrittenLayerIsExact) {
  const bool ignoreAlpha = GetParam();
  size_t layersChecked = 0;
  for (const fs::path& file : test::CorpusFiles()) {
    SCOPED_TRACE(file.filename().string());
    const json expected = test::ExpectedFor(file);
    test::TempDir out;
    RipJob job(file.string(), out.Folder(), ignoreAlpha ? 1 : 0, nullptr);
    const int32_t result = job.Run();
    ASSERT_EQ(result, 0);
    if (expected["version"] == 2 || expected["layers_from"] != "main") continue;

    // The last record of a name wins: it is written after the others.
    std::map<std::string, json> byStem;
    for (const json& record : expected["records"]) {
      if (record["eligible"]) byStem[MakeFileName(FromHex(record["name_hex"]))] = record;
    }
    std::set<std::string> wanted;
    for (const auto& [stem, record] : byStem) {
      wanted.insert(stem + ".png");
      wanted.insert(stem + ".gif");
    }
    const std::vector<std::string> names = out.FileNames();
    EXPECT_EQ(std::set<std::string>(names.begin(), names.end()), wanted);
    EXPECT_EQ(job.LayersRipped(), expected["eligible_count"].get<int>());

    for (const auto& [stem, record] : byStem) {
      SCOPED_TRACE(stem);
      const test::DecodedPng png = test::ReadPng(out.path() / (stem + ".png"));
      ASSERT_TRUE(png.ok);
      EXPECT_EQ(png.colorType, record["export"] == "rgba" ? 6 : 2);
      EXPECT_EQ(png.width, record["width"].get<uint32_t>());
      EXPECT_EQ(png.height, record["height"].get<uint32_t>());
      const char* hash = ignoreAlpha ? "pixels_ignore_alpha_sha256" : "pixels_sha256";
      EXPECT_EQ(psdbuild::Sha256Hex(png.pixels.data(), png.pixels.size()), record[hash]);

      const test::DecodedGif gif = test::ReadGif(out.path() / (stem + ".gif"));
      ASSERT_TRUE(gif.ok);
      EXPECT_EQ(gif.transparent, 0);
      const auto transparent = std::count(gif.indexes.begin(), gif.indexes.end(), 0);
      EXPECT_EQ(transparent, record["alpha_zero"].get<long>());
      ++layersChecked;
    }
  }
  std::printf("%zu layers checked\n", layersChecked);
  EXPECT_GT(layersChecked, 80u);
}

INSTANTIATE_TEST_SUITE_P(IgnoreAlpha, CorpusExport, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "Ignored" : "Kept"; });

TEST(CorpusChannelRule, AgreesWithTheExpectedExportOfEveryRecord) {
  if (test::CorpusDir().empty()) GTEST_SKIP() << "no corpus next to the checkout";
  for (const fs::path& file : test::CorpusFiles()) {
    const json expected = test::ExpectedFor(file);
    int32_t result = 1;
    const auto document = LoadPsdDocument(file.string(), &result, nullptr);
    if (!document || expected["version"] == 2 || expected["layers_from"] != "main") continue;
    const auto& records = document->layerMaskInfo->Layers().records;
    for (size_t i = 0; i < records.size(); ++i) {
      const auto planes = ChooseLayerPlanes(*document, *records[i]);
      const json& want = expected["records"][i]["export"];
      const std::string got = planes ? (planes->withAlpha ? "rgba" : "rgb") : "null";
      EXPECT_EQ(got, want.is_null() ? "null" : want.get<std::string>()) << file.filename() << " record " << i;
    }
  }
}

}  // namespace
}  // namespace peelbox
