// Real Photoshop documents: every file loads, and every plane of every layer
// record, in the main layer info and in the tagged blocks, equals what an
// independent decoder made of it.
#include <gtest/gtest.h>

#include <map>

#include "psd/document.h"
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

// Planes compared, by depth and compression ("16 bits, ZIP with prediction").
using Tally = std::map<std::string, size_t>;

void CompareRecord(const LayerRecord& record, const json& want, int depth, Tally* tally) {
  EXPECT_EQ(Hex(record.pascalName), want["name_hex"]);
  EXPECT_EQ((std::vector<int>{record.top, record.left, record.bottom, record.right}),
            want["bounds"].get<std::vector<int>>());
  ASSERT_EQ(record.channels.size(), want["channels"].size());
  for (size_t c = 0; c < record.channels.size(); ++c) {
    const ChannelInfo& channel = *record.channels[c];
    const json& wantChannel = want["channels"][c];
    EXPECT_EQ(channel.id, wantChannel["id"]);
    EXPECT_EQ(channel.dataLength + 2, wantChannel["length"]);
    EXPECT_EQ(channel.compression, wantChannel["compression"]);
    const auto plane = wantChannel["plane"].get<std::vector<int>>();
    if (!channel.plane.empty()) {
      EXPECT_EQ(channel.planeWidth, plane[0]);
      EXPECT_EQ(channel.planeHeight, plane[1]);
    }
    EXPECT_EQ(psdbuild::Sha256Hex(channel.plane.data(), channel.plane.size()), wantChannel["sha256"])
        << "channel " << c << " id " << channel.id;
    static const char* const kCompressions[] = {"raw", "PackBits", "ZIP", "ZIP with prediction"};
    const int compression = wantChannel["compression"];
    ++(*tally)[std::to_string(depth) + " bits, " + kCompressions[compression & 3]];
  }
}

TEST_F(CorpusReader, EveryDocumentLoadsAndEveryPlaneMatches) {
  Tally tally;
  for (const fs::path& file : test::CorpusFiles()) {
    SCOPED_TRACE(file.filename().string());
    const json expected = test::ExpectedFor(file);
    int32_t result = 1;
    const auto document = LoadPsdDocument(file.string(), &result, nullptr);
    ASSERT_EQ(result, 0);
    const LayerMaskInfo& section = *document->layerMaskInfo;
    const int depth = expected["depth"];

    const size_t main = section.layerInfo ? section.layerInfo->records.size() : 0;
    ASSERT_EQ(main, expected["records"].size());
    for (size_t i = 0; i < main; ++i) {
      SCOPED_TRACE("record " + std::to_string(i));
      CompareRecord(*section.layerInfo->records[i], expected["records"][i], depth, &tally);
    }

    std::vector<std::pair<std::string, const LayerRecord*>> tagged;
    for (const auto& info : section.taggedLayers) {
      for (const auto& record : info->records) tagged.emplace_back(info->key, record.get());
    }
    ASSERT_EQ(tagged.size(), expected["tagged_records"].size());
    for (size_t i = 0; i < tagged.size(); ++i) {
      const json& want = expected["tagged_records"][i];
      SCOPED_TRACE("tagged record " + std::to_string(i));
      EXPECT_EQ(tagged[i].first, want["layer_info"]);
      CompareRecord(*tagged[i].second, want, depth, &tally);
    }

    const std::string from = section.Layers().records.empty() ? "composite" : section.Layers().key;
    EXPECT_EQ(from, expected["layers_from"]);
  }
  size_t total = 0;
  for (const auto& [kind, count] : tally) {
    std::printf("%6zu planes of %s\n", count, kind.c_str());
    total += count;
  }
  EXPECT_GT(total, 900u);
}

TEST_F(CorpusReader, StatusesStayWithinTheReadingHalf) {
  for (const fs::path& file : test::CorpusFiles()) {
    test::RecordingSink sink;
    int32_t result = 1;
    LoadPsdDocument(file.string(), &result, &sink);
    ASSERT_EQ(result, 0) << file;
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
