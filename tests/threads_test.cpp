// One thread or several: the same statuses in the same order, the same
// result, the same files byte for byte, also when a layer fails.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "export/export_result.h"
#include "export/rip_job.h"
#include "tests/helpers.h"

namespace peelbox {
namespace {

namespace fs = std::filesystem;

struct Outcome {
  int32_t result = 1;
  std::vector<std::string> statuses;
  std::map<std::string, test::ByteVector> files;
};

Outcome Rip(const std::string& source, unsigned threads, const std::function<void(const fs::path&)>& prepare = {}) {
  test::TempDir out;
  if (prepare) prepare(out.path());
  test::RecordingReceiver receiver;
  RipJob job(source, out.Folder(), 0, &receiver);
  job.threads = threads;
  Outcome outcome;
  outcome.result = job.Run();
  for (const auto& m : receiver.messages) outcome.statuses.push_back(m.text + "@" + std::to_string(m.lParam));
  for (const auto& entry : fs::directory_iterator(out.path())) {
    outcome.files[entry.path().filename().string()] =
        entry.is_regular_file() ? test::ReadAll(entry.path()) : test::ByteVector{'/'};
  }
  return outcome;
}

void ExpectSameForAnyThreadCount(const std::string& source,
                                 const std::function<void(const fs::path&)>& prepare = {}) {
  const Outcome one = Rip(source, 1, prepare);
  for (unsigned threads : {2u, 3u, 8u}) {
    const Outcome many = Rip(source, threads, prepare);
    EXPECT_EQ(many.result, one.result) << threads;
    EXPECT_EQ(many.statuses, one.statuses) << threads;
    EXPECT_TRUE(many.files == one.files) << threads << " threads wrote other files";
  }
}

psdbuild::DocumentRecipe ManyLayers() {
  psdbuild::DocumentRecipe doc;
  doc.rows = 120;
  doc.columns = 160;
  for (int i = 0; i < 9; ++i) {
    doc.layers.push_back(psdbuild::PixelLayer(
        {i, 2 * i, 40 + 10 * i, 30 + 8 * i, i % 3 != 0, i % 2 == 0, static_cast<uint32_t>(i + 1), "L" + std::to_string(i)}));
  }
  doc.layers[4].channels.pop_back();  // a layer that is skipped
  return doc;
}

TEST(Threads, SameStatusesAndFiles) {
  test::TempDir in;
  ExpectSameForAnyThreadCount(in.Write("many.psd", psdbuild::BuildDocument(ManyLayers()).bytes));
  ExpectSameForAnyThreadCount(test::SamplePath());
  // Colour conversions on the encoder threads, through one transform.
  for (const auto& [mode, depth] : {std::pair{kRgbMode, 16}, std::pair{kLabMode, 8}, std::pair{kCmykMode, 16}}) {
    psdbuild::DocumentRecipe doc;
    doc.mode = mode;
    doc.depth = static_cast<uint16_t>(depth);
    doc.rows = 60;
    doc.columns = 80;
    for (int i = 0; i < 6; ++i) {
      psdbuild::PixelLayerOptions options{i, 2 * i, 60 + i, 40 + i, i % 2 == 0, true, static_cast<uint32_t>(i + 1),
                                          "L" + std::to_string(i)};
      options.depth = static_cast<unsigned>(depth);
      options.cmyk = mode == kCmykMode;
      doc.layers.push_back(psdbuild::PixelLayer(options));
    }
    ExpectSameForAnyThreadCount(in.Write("modes.psd", psdbuild::BuildDocument(doc).bytes));
  }
}

TEST(Threads, FailureStopsAtTheSameLayerAndNoLaterFileIsWritten) {
  test::TempDir in;
  const std::string source = in.Write("many.psd", psdbuild::BuildDocument(ManyLayers()).bytes);
  const auto blockL5 = [](const fs::path& folder) { fs::create_directory(folder / "L5.png"); };
  ExpectSameForAnyThreadCount(source, blockL5);
  const Outcome many = Rip(source, 4, blockL5);
  EXPECT_EQ(many.result, kWriteFailed);
  EXPECT_TRUE(many.files.count("L3.gif"));
  EXPECT_FALSE(many.files.count("L6.png"));
  EXPECT_FALSE(many.files.count("L8.gif"));
}

TEST(Threads, ReadFailingAfterTheLayersWritesNothing) {
  // The layers go to the encoders as they are read; then the read fails, in
  // the layer section (a later channel, the global mask info) or after it,
  // and the document goes while they may still be encoding.
  psdbuild::DocumentRecipe doc = ManyLayers();
  doc.globalMask = test::ByteVector(14, 0);
  const psdbuild::BuiltDocument built = psdbuild::BuildDocument(doc);
  test::TempDir in;
  const std::pair<size_t, int32_t> cuts[] = {
      {built.At("pixels8.1") + 5, -8}, {built.At("globalMask") + 6, -8}, {built.At("composite") + 1, -2}};
  for (const auto& [cut, code] : cuts) {
    const std::string source = in.Write("cut.psd", built.CutAt(cut));
    for (unsigned threads : {1u, 2u, 4u}) {
      const Outcome outcome = Rip(source, threads);
      EXPECT_EQ(outcome.result, code) << cut << " " << threads;
      EXPECT_TRUE(outcome.files.empty()) << cut << " " << threads;
    }
  }
}

TEST(Threads, CorpusDocumentsGiveTheSameFiles) {
  if (test::CorpusDir().empty()) GTEST_SKIP() << "no corpus next to the checkout";
  for (const char* name : {"layer_effects.psd", "masks.psd", "brightnesscontrast_rgb.psd", "layer_comps.psd"}) {
    SCOPED_TRACE(name);
    ExpectSameForAnyThreadCount((test::CorpusDir() / "psd" / name).string());
  }
}

}  // namespace
}  // namespace peelbox
