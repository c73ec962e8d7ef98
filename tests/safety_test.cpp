// Nothing lost, nothing outside the folder: what a job may and may not do
// to the files around it.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>

#include "export/export_result.h"
#include "export/rip_job.h"
#include "tests/helpers.h"
#include "tests/image_readers.h"

namespace peelbox {
namespace {

namespace fs = std::filesystem;
using psdbuild::BuildDocument;
using test::ByteVector;

psdbuild::LayerRecipe Named(const std::string& name, uint32_t seed) {
  return psdbuild::PixelLayer({0, 0, 12, 9, seed % 2 == 0, true, seed, name});
}

std::string Source(const test::TempDir& dir, std::vector<psdbuild::LayerRecipe> layers) {
  psdbuild::DocumentRecipe doc;
  doc.rows = 9;
  doc.columns = 12;
  doc.layers = std::move(layers);
  return dir.Write("in.psd", BuildDocument(doc).bytes);
}

std::map<std::string, ByteVector> Contents(const fs::path& folder) {
  std::map<std::string, ByteVector> contents;
  for (const auto& entry : fs::directory_iterator(folder)) {
    contents[entry.path().filename().string()] =
        entry.is_regular_file() ? test::ReadAll(entry.path()) : ByteVector{'/'};
  }
  return contents;
}

TEST(NothingLost, AFailingLayerLeavesEveryOtherFileAsItWas) {
  test::TempDir in, out;
  const std::string source = Source(in, {Named("A", 1), Named("B", 2), Named("C", 3), Named("D", 4)});
  RipJob first(source, out.Folder(), 0, nullptr);
  ASSERT_EQ(first.Run(), 0);
  std::ofstream(out.path() / "notes.txt") << "mine";
  const auto before = Contents(out.path());

  // C's PNG cannot be written this time: the job stops there.
  fs::remove(out.path() / "C.png");
  fs::create_directory(out.path() / "C.png");
  RipJob second(source, out.Folder(), 1, nullptr);
  EXPECT_EQ(second.Run(), kWriteFailed);
  const auto after = Contents(out.path());
  for (const char* name : {"C.gif", "D.png", "D.gif", "notes.txt"}) EXPECT_EQ(after.at(name), before.at(name)) << name;
  // Earlier layers were written again, whole (with ignore-alpha this time).
  for (const char* name : {"A.png", "B.png"}) EXPECT_TRUE(test::ReadPng(out.path() / name).ok) << name;
  EXPECT_EQ(after.at("A.gif"), before.at("A.gif"));
}

TEST(NothingLost, OnlyTheFilesOfTheSameNameAreReplaced) {
  test::TempDir in, out;
  const std::string source = Source(in, {Named("Layer", 1)});
  std::ofstream(out.path() / "Layer.png") << "an older picture";
  for (const char* other : {"layer.png", "Layer.jpg", "Layer.png.bak", "Layer"}) std::ofstream(out.path() / other) << other;
  const auto before = Contents(out.path());
  RipJob job(source, out.Folder(), 0, nullptr);
  ASSERT_EQ(job.Run(), 0);
  const auto after = Contents(out.path());
  EXPECT_TRUE(test::ReadPng(out.path() / "Layer.png").ok);
  EXPECT_TRUE(test::ReadGif(out.path() / "Layer.gif").ok);
  for (const char* other : {"layer.png", "Layer.jpg", "Layer.png.bak", "Layer"}) {
    EXPECT_EQ(after.at(other), before.at(other)) << other;
  }
  EXPECT_EQ(after.size(), before.size() + 1);
}

TEST(NothingOutside, NoLayerNameLeavesTheOutputFolder) {
  test::TempDir in, parent;
  const fs::path out = parent.path() / "out";
  fs::create_directory(out);
  const std::vector<std::string> names = {
      "..", "../x", "../../escape", "/etc/x", "a\\b", "sub/dir", ".", "", "\xCF\xF0\xE8\xE2\xE5\xF2 \xFF\xFE",
      "tab\tnew\nline\x01\x7F", std::string(200, 'n'), std::string(251, 'm'), std::string(255, 'x'),
  };
  std::vector<psdbuild::LayerRecipe> layers;
  for (size_t i = 0; i < names.size(); ++i) layers.push_back(Named(names[i], static_cast<uint32_t>(i + 1)));
  RipJob job(Source(in, layers), out.string() + "/", 0, nullptr);
  // Every name gives a file of its own, long ones cut to fit.
  EXPECT_EQ(job.Run(), 0);
  EXPECT_EQ(job.LayersRipped(), static_cast<int>(names.size()));

  std::vector<std::string> outside;
  for (const auto& entry : fs::recursive_directory_iterator(parent.path())) {
    if (entry.path().parent_path() != out && entry.path() != out) outside.push_back(entry.path().string());
    if (entry.path().parent_path() == out) {
      EXPECT_TRUE(entry.is_regular_file()) << entry.path();
    }
  }
  EXPECT_TRUE(outside.empty()) << outside.front();
  for (const OutputFile& file : job.OutputFiles()) EXPECT_EQ(fs::path(file.path).parent_path(), out) << file.path;
  for (const std::string& name : {std::string("_._x.png"), std::string("_etc_x.gif"), std::string("_.png"),
                                  std::string("Layer 8.png"), std::string("tab_new_line__.png"),
                                  std::string(240, 'm') + ".png", std::string(240, 'x') + ".gif"}) {
    EXPECT_TRUE(fs::exists(out / name)) << name;
  }
}

}  // namespace
}  // namespace peelbox
