// Layers as users need them, on small built documents: where each written
// image lies on the canvas and its transparency, with --as-shown, --extent
// and --pad.
#include <gtest/gtest.h>

#include <algorithm>
#include <optional>

#include "export/rip_job.h"
#include "tests/helpers.h"
#include "tests/image_readers.h"

namespace peelbox {
namespace {

using psdbuild::DocumentRecipe;
using psdbuild::LayerRecipe;
using psdbuild::RawChannel;
using test::ByteVector;

ByteVector Be32(std::initializer_list<int64_t> values) {
  ByteVector bytes;
  for (int64_t v : values) {
    for (int shift = 24; shift >= 0; shift -= 8) bytes.push_back(static_cast<uint8_t>(v >> shift));
  }
  return bytes;
}

ByteVector operator+(ByteVector a, const ByteVector& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// One row from column `left`, colour 9; no transparency channel when
// `alpha` is empty. `bytes` per sample, `colours` colour channels.
LayerRecipe Layer(const char* name, int32_t left, int32_t width, ByteVector alpha, int bytes = 1, int colours = 3) {
  LayerRecipe layer;
  layer.name = name;
  layer.left = left;
  layer.right = left + width;
  layer.bottom = 1;
  for (int c = 0; c < colours; ++c)
    layer.channels.push_back(RawChannel(static_cast<int16_t>(c), ByteVector(width * bytes, 9)));
  if (!alpha.empty()) layer.channels.push_back(RawChannel(-1, alpha));
  return layer;
}

// A user mask on row 0 from column `left`; with a density, the parameters
// that carry it follow the flags.
LayerRecipe Masked(LayerRecipe layer, int32_t left, ByteVector plane, uint8_t colour, uint8_t flags = 0,
                   std::optional<uint8_t> density = {}, int bytes = 1) {
  const auto right = static_cast<int64_t>(left + plane.size() / bytes);
  layer.maskData = Be32({0, left, 1, right}) + ByteVector{colour, static_cast<uint8_t>(flags | (density ? 0x10 : 0))};
  if (density) layer.maskData = layer.maskData + ByteVector{0x01, *density};
  layer.channels.push_back(RawChannel(-2, plane));
  return layer;
}

LayerRecipe With(LayerRecipe layer, uint8_t opacity, uint8_t clipping = 0, uint8_t flags = 0, ByteVector blocks = {}) {
  layer.opacity = opacity;
  layer.clipping = clipping;
  layer.flags = flags;
  layer.afterName = blocks;
  return layer;
}

ByteVector Section(uint32_t type) { return psdbuild::TaggedBlockBytes("lsct", Be32({type})); }

// A vector mask block: the rectangle from column 0 to `right` of a canvas
// `columns` wide, over its one row.
ByteVector VectorMaskBlock(uint32_t flags, double right, double columns) {
  const auto fixed = [](double fraction) { return static_cast<int64_t>(fraction * (1 << 24)); };
  ByteVector records = ByteVector{0, 0, 0, 4, 0, 1} + ByteVector(20, 0);  // a closed subpath of 4 knots, combined
  for (const auto& [y, x] : {std::pair{0.0, 0.0}, {0.0, right}, {1.0, right}, {1.0, 0.0}}) {
    const ByteVector point = Be32({fixed(y), fixed(x / columns)});
    records = records + ByteVector{0, 1} + point + point + point;
  }
  return psdbuild::TaggedBlockBytes("vmsk", Be32({3, flags}) + records);
}

DocumentRecipe Doc(std::vector<LayerRecipe> layers, uint16_t depth = 8, uint16_t mode = 3) {
  DocumentRecipe doc;
  doc.columns = 4;
  doc.depth = depth;
  doc.mode = mode;
  doc.channels = mode == 4 ? 4 : 3;
  doc.layers = std::move(layers);
  return doc;
}

TEST(WrittenImage, PlaceAndTransparencyOfLayerL) {
  const ExportOptions shown{.asShown = true};
  const ByteVector full(4, 255);
  const LayerRecipe divider = With(Layer("</Layer group>", 0, 0, {}), 255, 0, 0, Section(3));
  const LayerRecipe clipped = With(Layer("C", 0, 4, full), 255, 1);
  LayerRecipe group = With(Layer("G", 0, 0, {}, 1, 0), 102, 0, 0, Section(1));
  LayerRecipe realMasked = Masked(Layer("L", 0, 4, full), 0, {0, 0, 0, 0}, 0, 0x08);
  realMasked.maskData = realMasked.maskData + ByteVector{0, 0} + Be32({0, 0, 1, 4});
  realMasked.channels.push_back(RawChannel(-3, {255, 0, 255, 0}));
  const struct {
    const char* name;
    DocumentRecipe doc;
    ExportOptions options;
    std::optional<ImagePlace> place;  // none: no files, transparent
    std::vector<int> alpha;
  } cases[] = {
      // clang-format off
      {"a disabled mask", Doc({Masked(Layer("L", 0, 4, full), 0, {0, 0}, 0, 0x02)}),
       shown, {{0, 0, 4, 1}}, {255, 255, 255, 255}},
      {"a mask's default colour of 255", Doc({Masked(Layer("L", 0, 4, full), 1, {0, 128}, 255)}),
       shown, {{0, 0, 4, 1}}, {255, 0, 128, 255}},
      {"a mask larger than the layer", Doc({Masked(Layer("L", 1, 2, {255, 255}), 0, {0, 64, 255, 0}, 0)}),
       shown, {{1, 0, 2, 1}}, {64, 255}},
      {"a mask's density", Doc({Masked(Layer("L", 0, 4, full), 0, {0, 0, 0, 0}, 0, 0, 128)}),
       shown, {{0, 0, 4, 1}}, {127, 127, 127, 127}},
      {"the real mask, not the one rendered", Doc({realMasked}),
       shown, {{0, 0, 4, 1}}, {255, 0, 255, 0}},
      {"a group's mask and opacity",
       Doc({divider, Layer("L", 0, 4, {255, 255, 255, 200}), Masked(group, 0, {255, 128, 0, 255}, 0)}),
       shown, {{0, 0, 4, 1}}, {102, 51, 0, 80}},
      {"a clipping chain of three over a base at 50%",
       Doc({With(Layer("B", 0, 4, {255, 255, 0, 128}), 128), clipped, clipped, With(Layer("L", 0, 4, full), 255, 1)}),
       shown, {{0, 0, 4, 1}}, {128, 128, 0, 64}},
      {"clipped to a hidden base",
       Doc({With(Layer("B", 0, 4, full), 255, 0, 0x02), With(Layer("L", 0, 4, full), 255, 1)}),
       shown, std::nullopt, {}},
      {"fill opacity",
       Doc({With(Layer("L", 0, 4, {255, 200, 100, 0}), 255, 0, 0, psdbuild::TaggedBlockBytes("iOpa", {128, 0, 0, 0}))}),
       shown, {{0, 0, 4, 1}}, {128, 100, 50, 0}},
      {"16 bits",
       Doc({With(Masked(Layer("L", 0, 2, ByteVector(4, 0xff), 2), 0, {0xff, 0xff, 0x80, 0}, 0, 0, {}, 2), 128)}, 16),
       shown, {{0, 0, 2, 1}}, {32896, 16448}},
      {"CMYK", Doc({With(Layer("L", 0, 2, {255, 0}, 1, 4), 51)}, 8, 4),
       shown, {{0, 0, 2, 1}}, {51, 0}},
      {"an inverted vector mask", Doc({With(Layer("L", 0, 4, full), 255, 0, 0, VectorMaskBlock(1, 2, 4))}),
       shown, {{0, 0, 4, 1}}, {0, 0, 255, 255}},
      {"ignore-alpha after", Doc({With(Layer("L", 0, 2, {255, 0}), 128)}),
       {.ignoreAlpha = true, .asShown = true}, {{0, 0, 2, 1}}, {255, 0}},
      {"trim of a fully transparent layer", Doc({Layer("L", 0, 4, {0, 0, 0, 0})}),
       {.extent = Extent::kTrim}, std::nullopt, {}},
      {"padding on a layer partly off the canvas", Doc({Layer("L", -1, 3, {10, 20, 30})}),
       {.pad = 1}, {{-2, -1, 5, 3}}, {0, 0, 0, 0, 0, 0, 10, 20, 30, 0, 0, 0, 0, 0, 0}},
      {"trim as shown, cut at the canvas first", Doc({Layer("L", -1, 4, {255, 0, 40, 0})}),
       {.extent = Extent::kTrim, .asShown = true}, {{1, 0, 1, 1}}, {40}},
      {"the canvas", Doc({Layer("L", 1, 2, {7, 9})}),
       {.extent = Extent::kCanvas}, {{0, 0, 4, 1}}, {0, 7, 9, 0}},
      {"trim of a layer without transparency", Doc({Layer("L", 1, 2, {})}),
       {.extent = Extent::kTrim}, {{1, 0, 2, 1}}, {255, 255}},
      // clang-format on
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    test::TempDir dir, out;
    const std::string source = dir.Write("in.psd", psdbuild::BuildDocument(c.doc).bytes);
    // The listing knows the same place, trimmed or not.
    RipJob listing(source, "", 0, nullptr);
    listing.options = c.options;
    listing.options.listOnly = true;
    ASSERT_EQ(listing.Run(), 0);
    const auto plan = listing.Plan();
    EXPECT_EQ(std::find_if(plan.begin(), plan.end(), [](const PlannedRecord& p) { return p.name == "L"; })->image,
              c.place);
    RipJob job(source, out.Folder(), 0, nullptr);
    job.options = c.options;
    job.options.formats = {"png"};
    ASSERT_EQ(job.Run(), 0);
    const auto& files = job.OutputFiles();
    const auto file = std::find_if(files.begin(), files.end(), [](const OutputFile& f) { return f.layerName == "L"; });
    if (!c.place) {
      EXPECT_EQ(file, files.end());
      EXPECT_EQ(job.Skipped().back().reason, SkipReason::kTransparent);
      continue;
    }
    ASSERT_NE(file, files.end());
    EXPECT_EQ(file->image, *c.place);
    const test::DecodedPng png = test::ReadPng(file->path);
    EXPECT_EQ(png.width, c.place->width);
    EXPECT_EQ(test::AlphaSamples(png), c.alpha);
  }
}

}  // namespace
}  // namespace peelbox
