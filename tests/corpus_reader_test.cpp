// Real Photoshop documents: every file loads with its expected code, and every
// raw or PackBits plane equals what an independent decoder made of it.
#include <gtest/gtest.h>


#include "psd/layers.h"
#include "tests/corpus_json.h"
#include "tests/helpers.h"
#include "tests/support/sha256.h"

namespace peelbox {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

std::string Hex(const std::string& bytes) {
  static const char digits[] = "0123456789abcdef";
  std::string hex;
  for (unsigned char c : bytes) {
    hex.push_back(digits[c >> 4]);
    hex.push_back(digits[c & 15]);
  }
  return hex;
}

class CorpusReader : public ::testing::Test {
 protected:
  void SetUp() override {
    if (test::CorpusDir().empty()) GTEST_SKIP() << "no corpus next to the checkout";
  }
};

TEST_F(CorpusReader, EveryDocumentLoadsAndEveryPlaneMatches) {
  size_t planesCompared = 0;
  for (const fs::path& file : test::CorpusFiles()) {
    SCOPED_TRACE(file.filename().string());
    const json expected = test::ExpectedFor(file);
    int32_t result = 1;
    const auto document = LoadPsdDocument(file.string(), &result, nullptr);
    if (expected["version"] == 2) {  // PSB is another format
      EXPECT_EQ(result, -8);
      continue;
    }
    ASSERT_EQ(result, 0);
    const auto& records = document->layerMaskInfo->records;
    ASSERT_EQ(records.size(), expected["records"].size());
    for (size_t i = 0; i < records.size(); ++i) {
      const LayerRecord& record = *records[i];
      const json& want = expected["records"][i];
      SCOPED_TRACE("record " + std::to_string(i));
      EXPECT_EQ(Hex(record.name), want["name_hex"]);
      EXPECT_EQ((std::vector<int>{record.top, record.left, record.bottom, record.right}),
                want["bounds"].get<std::vector<int>>());
      ASSERT_EQ(record.channels.size(), want["channels"].size());
      for (size_t c = 0; c < record.channels.size(); ++c) {
        const ChannelInfo& channel = *record.channels[c];
        const json& wantChannel = want["channels"][c];
        EXPECT_EQ(channel.id, wantChannel["id"]);
        EXPECT_EQ(channel.dataLength + 2, wantChannel["length"]);
        const int compression = wantChannel["compression"];
        if (compression > 1 || wantChannel.contains("error")) {
          EXPECT_TRUE(channel.plane.empty());
          continue;
        }
        const auto plane = wantChannel["plane"].get<std::vector<int>>();
        if (!channel.plane.empty()) {
          EXPECT_EQ(channel.planeWidth, plane[0]);
          EXPECT_EQ(channel.planeHeight, plane[1]);
        }
        EXPECT_EQ(psdbuild::Sha256Hex(channel.plane.data(), channel.plane.size()), wantChannel["sha256"])
            << "channel " << c << " id " << channel.id;
        ++planesCompared;
      }
    }
  }
  std::printf("%zu planes compared\n", planesCompared);
  EXPECT_GT(planesCompared, 500u);
}

TEST_F(CorpusReader, StatusesStayWithinTheReadingHalf) {
  for (const fs::path& file : test::CorpusFiles()) {
    test::RecordingSink sink;
    int32_t result = 1;
    LoadPsdDocument(file.string(), &result, &sink);
    if (result != 0) continue;
    ASSERT_FALSE(sink.statuses.empty());
    int previous = 0;
    for (const auto& status : sink.statuses) {
      EXPECT_GE(status.progress, previous) << file;
      EXPECT_LE(status.progress, 50) << file;
      previous = status.progress;
    }
    EXPECT_EQ(sink.statuses.back().text.rfind("Reading image data (", 0), 0u) << file;
  }
}

}  // namespace
}  // namespace peelbox
