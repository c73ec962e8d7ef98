// Real documents and the sample, cut short at many offsets and with bytes
// changed at random: always a result code, never a crash, a leak or a hang.
// PEELBOX_SWEEP_SCALE (default 1) scales the number of mutations; the
// sanitizer build runs fewer.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <random>

#include "psd/composite.h"
#include "tests/helpers.h"

namespace peelbox {
namespace {

namespace fs = std::filesystem;
using test::ByteVector;

int32_t LoadPrefix(ByteVector& bytes, size_t length, std::unique_ptr<PsdDocument>* document = nullptr) {
  std::FILE* file = length > 0 ? fmemopen(bytes.data(), length, "rb") : std::tmpfile();
  if (file == nullptr) return 1;
  int32_t result = 1;
  auto loaded = LoadPsdDocumentFromStream(file, &result, nullptr);
  std::fclose(file);
  EXPECT_EQ(loaded != nullptr, result == 0);
  if (document) *document = std::move(loaded);
  return result;
}

double Scale() {
  const char* scale = std::getenv("PEELBOX_SWEEP_SCALE");
  return scale ? std::atof(scale) : 1.0;
}

std::vector<fs::path> Documents() {
  std::vector<fs::path> documents = {test::SamplePath()};
  for (const fs::path& file : test::CorpusFiles()) documents.push_back(file);
  return documents;
}

std::string NameOf(const ::testing::TestParamInfo<fs::path>& info) {
  std::string name = info.param.stem().string();
  for (char& c : name) c = std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
  return name + "_" + std::to_string(info.index);
}

class Sweep : public ::testing::TestWithParam<fs::path> {};

TEST_P(Sweep, CutShortItFailsUnlessTheCutFallsInAnUndecodedComposite) {
  ByteVector bytes = test::ReadAll(GetParam());
  std::unique_ptr<PsdDocument> whole;
  ASSERT_EQ(LoadPrefix(bytes, bytes.size(), &whole), 0);
  // The composite data runs from two bytes after this to the end of the file.
  const size_t compositeData = bytes.size() - whole->composite->length;
  // A document without layers decodes its composite, which a cut can break.
  const bool decoded = !whole->composite->pixels.empty();
  std::vector<size_t> cuts;
  if (bytes.size() <= 8192) {
    for (size_t cut = 0; cut < bytes.size(); ++cut) cuts.push_back(cut);
  } else {
    for (size_t i = 0; i < 240; ++i) cuts.push_back(bytes.size() * i / 240);
    for (size_t near = compositeData - 3; near <= compositeData + 1; ++near) cuts.push_back(near);
  }
  for (size_t cut : cuts) {
    const int32_t result = LoadPrefix(bytes, cut);
    if (cut >= compositeData && decoded) {
      EXPECT_LE(result, 0) << "cut at " << cut;
    } else if (cut >= compositeData) {
      EXPECT_EQ(result, 0) << "cut at " << cut;
    } else {
      EXPECT_LT(result, 0) << "cut at " << cut;
    }
  }
}

TEST_P(Sweep, ChangedBytesGiveACode) {
  ByteVector bytes = test::ReadAll(GetParam());
  std::mt19937 random(static_cast<uint32_t>(bytes.size()));
  // A few thousand for small documents, fewer for large ones, whose loads
  // take longer: every document gets about the same time.
  const size_t mutations =
      static_cast<size_t>(Scale() * std::max<size_t>(300, std::min<size_t>(3000, 3000 * 65536 / bytes.size())));
  const uint8_t extremes[] = {0x00, 0xFF, 0x7F, 0x80, 0x01};
  for (size_t m = 0; m < mutations; ++m) {
    // One to four bytes; half of the time at the start of the file, where
    // the lengths and counts are.
    std::vector<std::pair<size_t, uint8_t>> saved;
    const size_t span = random() % 2 ? std::min<size_t>(bytes.size(), 4096) : bytes.size();
    for (int n = 1 + random() % 4; n > 0; --n) {
      const size_t at = random() % span;
      saved.emplace_back(at, bytes[at]);
      bytes[at] = random() % 3 ? extremes[random() % 5] : static_cast<uint8_t>(random());
    }
    const int32_t result = LoadPrefix(bytes, bytes.size());
    ASSERT_LE(result, 0) << "mutation " << m;
    for (auto it = saved.rbegin(); it != saved.rend(); ++it) bytes[it->first] = it->second;
  }
}

INSTANTIATE_TEST_SUITE_P(Documents, Sweep, ::testing::ValuesIn(Documents()), NameOf);

}  // namespace
}  // namespace peelbox
