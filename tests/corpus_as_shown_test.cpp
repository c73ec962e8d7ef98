// Real documents ripped as shown on the canvas: every written PNG's
// transparency is the product computed here from the reader's planes, with
// what psd-tools says of each layer (tests/data/as_shown_corpus.json, made by
// scripts/as_shown_alpha.py): the user mask it uses, the groups that hold
// it, the base it is clipped to, its fill and effects. Vector masks come from
// the rasteriser, which is held to where psd-tools draws each one.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <nlohmann/json.hpp>

#include "export/rip_job.h"
#include "export/samples.h"
#include "export/vector_mask.h"
#include "tests/helpers.h"
#include "tests/image_readers.h"

namespace peelbox {
namespace {

using nlohmann::json;

json Data() {
  std::ifstream in(std::string(PEELBOX_SOURCE_DIR) + "/tests/data/as_shown_corpus.json");
  return json::parse(in);
}

json FactsOf(const json& entries, size_t record) {
  for (const json& entry : entries) {
    if (entry["record"] == record) return entry;
  }
  return json::object();
}

// A record's channel at canvas pixel (x, y): `outside` off its rectangle, 1
// without samples.
double At(const LayerRecord& record, int16_t id, const LayerBounds& r, unsigned depth, int64_t x, int64_t y,
          double outside) {
  if (x < r.left || x >= r.right || y < r.top || y >= r.bottom) return outside;
  const auto channel =
      std::find_if(record.channels.begin(), record.channels.end(), [&](const auto& c) { return c->id == id; });
  if (channel == record.channels.end() || (*channel)->plane.empty()) return 1;
  const uint8_t* at = (*channel)->plane.data() + static_cast<size_t>((y - r.top) * r.Width() + x - r.left) * depth / 8;
  return depth == 8 ? *at / 255.0 : depth == 16 ? Load16(at) / 65535.0 : Clamped(LoadFloat(at));
}

// A record's opacity and enabled masks over the canvas, times its
// transparency for the layer itself and for a base.
std::vector<double> Shape(const LayerRecord& record, const json& facts, const DocumentFormat& format, bool alpha) {
  const int64_t w = format.columns, h = format.rows;
  std::vector<double> shape(static_cast<size_t>(w * h), record.opacity / 255.0);
  const MaskParameters parameters = record.mask ? record.mask->parameters : MaskParameters{};
  const int16_t id = facts.value("mask_channel", 0);
  const MaskFields* mask = id == -3 ? &*record.mask->real : id == -2 ? &record.mask->user : nullptr;
  const std::optional<VectorMask> vector = record.VectorMaskOf();
  std::optional<VectorCoverage> coverage;
  if (vector && !vector->Disabled())
    coverage.emplace(ParsePathRecords(vector->records, vector->size), w, h, ImagePlace{0, 0, w, h});
  for (int64_t y = 0; y < h; ++y) {
    const float* row = coverage ? coverage->Row(y) : nullptr;
    for (int64_t x = 0; x < w; ++x) {
      double& s = shape[static_cast<size_t>(y * w + x)];
      if (alpha) s *= At(record, -1, record.Bounds(), format.depth, x, y, 0);
      if (mask != nullptr && !mask->Disabled()) {
        const double m = At(record, id, mask->bounds, format.depth, x, y, mask->defaultColour / 255.0);
        s *= 1 - parameters.userDensity.value_or(255) / 255.0 * (1 - m);
      }
      const double v = row == nullptr ? 1 : vector->Inverted() ? 1 - row[x] : row[x];
      s *= 1 - parameters.vectorDensity.value_or(255) / 255.0 * (1 - v);
    }
  }
  return shape;
}

TEST(CorpusAsShown, EveryAlphaIsTheProductOfWhatShapesItsLayer) {
  if (test::CorpusDir().empty()) GTEST_SKIP() << "no corpus next to the checkout";
  const json data = Data();
  size_t checked = 0;
  for (const std::filesystem::path& file : test::CorpusFiles()) {
    SCOPED_TRACE(file.filename().string());
    const json entries = data.value(file.filename().string(), json::array());
    test::TempDir out;
    RipJob job(file.string(), out.Folder(), 0, nullptr);
    job.options = {.formats = {"png"}, .extent = Extent::kCanvas, .asShown = true};
    if (job.Run() != 0) continue;  // a broken document
    int32_t result = 1;            // the job took the planes it wrote: read them again
    const auto document = LoadPsdDocument(file.string(), &result, nullptr);
    const auto& records = document->layerMaskInfo->Layers().records;
    for (const OutputFile& written : job.OutputFiles()) {
      if (!written.layerIndex) continue;
      const json facts = FactsOf(entries, *written.layerIndex);
      EXPECT_EQ(written.facts.effects, facts.value("effects", false));
      EXPECT_EQ(written.facts.mask == "user" || written.facts.mask == "both", facts.contains("mask_channel"));
      std::vector<size_t> shapers = facts.value("groups", std::vector<size_t>{});
      if (facts.contains("base")) shapers.push_back(facts["base"]);
      std::vector<double> want = Shape(*records[*written.layerIndex], facts, document->format, true);
      for (size_t s : shapers) {
        const std::vector<double> shape =
            Shape(*records[s], FactsOf(entries, s), document->format, facts.value("base", SIZE_MAX) == s);
        for (size_t k = 0; k < want.size(); ++k) want[k] *= shape[k];
      }
      const test::DecodedPng png = test::ReadPng(written.path);
      const std::vector<int> ours = test::AlphaSamples(png);
      ASSERT_EQ(ours.size(), want.size());
      const double top = png.bitDepth == 16 ? 65535 : 255, fill = facts.value("fill", 255) / 255.0;
      double largest = 0;
      for (size_t k = 0; k < want.size(); ++k)
        largest = std::max(largest, std::fabs(ours[k] - std::round(want[k] * fill * top)));
      const bool shaped = written.facts.opacity < 255 || fill < 1 || written.facts.mask != "none" || !shapers.empty();
      EXPECT_LE(largest, shaped ? top / 255 : 0) << written.layerName;
      ++checked;
    }
  }
  EXPECT_GT(checked, 150u);
}

// psd-tools widens every shape by about a quarter pixel: the box of what it
// draws holds the rasteriser's, and not a pixel more at any side.
TEST(CorpusAsShown, VectorMasksLieWhereThoseOfPsdToolsDo) {
  if (test::CorpusDir().empty()) GTEST_SKIP() << "no corpus next to the checkout";
  const json data = Data();
  size_t masks = 0;
  for (const auto& [name, entries] : data.items()) {
    int32_t result = 1;
    const auto document = LoadPsdDocument((test::CorpusDir() / "psd" / name).string(), &result, nullptr);
    const int64_t w = document->format.columns, h = document->format.rows;
    for (const json& entry : entries) {
      if (!entry.contains("vector_box")) continue;
      const std::optional<VectorMask> vector =
          document->layerMaskInfo->Layers().records.at(entry["record"])->VectorMaskOf();
      VectorCoverage coverage(ParsePathRecords(vector->records, vector->size), w, h, {0, 0, w, h});
      int64_t box[4] = {w, h, 0, 0};
      for (int64_t y = 0; y < h; ++y) {
        const float* row = coverage.Row(y);
        for (int64_t x = 0; x < w; ++x) {
          if (row[x] < 0.5 / 255) continue;
          box[0] = std::min(box[0], x), box[1] = std::min(box[1], y), box[2] = std::max(box[2], x + 1),
          box[3] = std::max(box[3], y + 1);
        }
      }
      const std::vector<int64_t> theirs = entry["vector_box"];
      for (int side = 0; side < 4; ++side) {
        const int64_t inward = (side < 2 ? 1 : -1) * (box[side] - theirs[side]);
        EXPECT_TRUE(inward == 0 || inward == 1) << name << " record " << entry["record"] << " side " << side;
      }
      ++masks;
    }
  }
  EXPECT_GT(masks, 60u);
}

}  // namespace
}  // namespace peelbox
