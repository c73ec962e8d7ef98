// The GIF palette lookups against the searches they stand in for: the
// nearest-colour tree against a search of every entry, and whole GIF files
// against the ones libgd's own colour calls give.
#include <gd.h>
#include <gtest/gtest.h>

#include <random>

#include "export/gif_writer.h"
#include "export/colour.h"
#include "export/layer_encoder.h"
#include "export/nearest_colour.h"
#include "psd/document.h"
#include "tests/helpers.h"
#include "tests/image_readers.h"

namespace peelbox {
namespace {

using test::ByteVector;

uint32_t Rgb(int r, int g, int b) { return static_cast<uint32_t>(r << 16 | g << 8 | b); }

uint8_t BruteForce(const std::vector<uint32_t>& colors, int first, int r, int g, int b) {
  uint8_t best = 0;
  long bestDistance = -1;
  for (int i = first; i < static_cast<int>(colors.size()); ++i) {
    const long dr = static_cast<long>((colors[i] >> 16) & 0xFF) - r;
    const long dg = static_cast<long>((colors[i] >> 8) & 0xFF) - g;
    const long db = static_cast<long>(colors[i] & 0xFF) - b;
    const long distance = dr * dr + dg * dg + db * db;
    if (bestDistance < 0 || distance < bestDistance) {
      best = static_cast<uint8_t>(i);
      bestDistance = distance;
    }
  }
  return best;
}

std::vector<uint32_t> Palette(std::mt19937& random, int spread, int centre) {
  std::vector<uint32_t> colors = {0x7F7F7F, 0x000000};
  std::uniform_int_distribution<int> offset(-spread, spread);
  while (colors.size() < 256) {
    const auto component = [&] { return static_cast<uint32_t>(std::clamp(centre + offset(random), 0, 255)); };
    colors.push_back(component() << 16 | component() << 8 | component());
  }
  return colors;
}

TEST(NearestColour, AgreesWithASearchOfEveryEntry) {
  std::mt19937 random(7);
  // Spread over the cube, a tight cluster (many near ties far away), and a
  // cluster with repeated colours (ties at distance 0 go to the lower index).
  for (auto [spread, centre] : {std::pair{128, 128}, std::pair{4, 200}, std::pair{1, 30}}) {
    const std::vector<uint32_t> colors = Palette(random, spread, centre);
    NearestColour nearest(colors.data(), 1, 256);
    std::uniform_int_distribution<int> any(0, 255);
    for (int i = 0; i < 200000; ++i) {
      const int r = any(random), g = any(random), b = any(random);
      ASSERT_EQ(nearest.Find(Rgb(r, g, b)), BruteForce(colors, 1, r, g, b)) << r << "," << g << "," << b;
    }
    // Every colour of the region around the palette and of one far corner.
    for (int r = std::max(0, centre - 12); r <= std::min(255, centre + 12); ++r) {
      for (int g = std::max(0, centre - 12); g <= std::min(255, centre + 12); ++g) {
        for (int b = 0; b < 256; b += 5) ASSERT_EQ(nearest.Find(Rgb(r, g, b)), BruteForce(colors, 1, r, g, b));
      }
    }
    for (int r = 240; r < 256; ++r) {
      for (int g = 0; g < 16; ++g) {
        for (int b = 240; b < 256; ++b) ASSERT_EQ(nearest.Find(Rgb(r, g, b)), BruteForce(colors, 1, r, g, b));
      }
    }
  }
}

// The GIF as the libgd calls themselves build it: exact match, else a new
// entry, else the closest, never the transparent entry for an opaque pixel.
OutputBuffer ReferenceGif(const LayerPlanes& planes) {
  gdImagePtr image = gdImageCreate(planes.width, planes.height);
  const int grey = gdImageColorAllocate(image, 127, 127, 127);
  gdImageColorAllocate(image, 0, 0, 0);
  gdImageColorTransparent(image, grey);
  size_t k = 0;
  for (int y = 0; y < planes.height; ++y) {
    for (int x = 0; x < planes.width; ++x, ++k) {
      int index = 0;
      if (planes.alpha == nullptr || planes.alpha[k] != 0) {
        const int r = planes.colour[0][k], g = planes.colour[1][k], b = planes.colour[2][k];
        index = gdImageColorExact(image, r, g, b);
        if (index < 0) index = gdImageColorAllocate(image, r, g, b);
        if (index < 0) {
          image->open[grey] = 1;  // libgd's closest search passes over open entries
          index = gdImageColorClosest(image, r, g, b);
          image->open[grey] = 0;
        }
      }
      gdImageSetPixel(image, x, y, index);
    }
  }
  int size = 0;
  void* bytes = gdImageGifPtr(image, &size);
  OutputBuffer gif;
  gif.Append(static_cast<const uint8_t*>(bytes), static_cast<size_t>(size));
  gdFree(bytes);
  gdImageDestroy(image);
  return gif;
}

struct Layer {
  std::unique_ptr<PsdDocument> document;
  LayerPlanes planes;
  std::unique_ptr<ColourConverter> converter;
};

Layer LoadLayer(const psdbuild::DocumentRecipe& doc) {
  Layer layer;
  int32_t result = 1;
  layer.document = test::LoadBytes(psdbuild::BuildDocument(doc).bytes, &result);
  EXPECT_EQ(result, 0);
  std::optional<LayerPlanes> planes =
      ViewPlanes(layer.document->format, *layer.document->layerMaskInfo->Layers().records.at(0));
  EXPECT_TRUE(planes);
  layer.planes = std::move(*planes);
  layer.converter = ColourConverter::Create(layer.document->format, "", "");
  return layer;
}

test::DecodedGif GifOf(const Layer& layer, const OutputBuffer** bytes = nullptr) {
  static EncodedLayer encoded;
  encoded = EncodeLayer(layer.planes, *layer.converter, {});
  EXPECT_EQ(encoded.code, 0);
  const OutputBuffer& file = encoded.files.back().bytes;  // the GIF follows the PNG
  if (bytes != nullptr) *bytes = &file;
  test::TempDir dir;
  const ByteVector gif(file.data(), file.data() + file.size());
  return test::ReadGif(dir.Write("layer.gif", gif));
}

// One layer filling a canvas of `rows` x `columns`, from its four planes.
psdbuild::DocumentRecipe RgbaDocument(int32_t rows, int32_t columns, const ByteVector& red, const ByteVector& green,
                                    const ByteVector& blue, const ByteVector& alpha) {
  psdbuild::DocumentRecipe doc;
  doc.rows = rows;
  doc.columns = columns;
  psdbuild::LayerRecipe layer;
  layer.bottom = rows;
  layer.right = columns;
  for (auto [id, plane] : {std::pair{-1, alpha}, std::pair{0, red}, std::pair{1, green}, std::pair{2, blue}}) {
    layer.channels.push_back(psdbuild::RawChannel(static_cast<int16_t>(id), plane));
  }
  doc.layers = {layer};
  return doc;
}

// A layer of `colours` distinct opaque colours (black among them when
// `black`), every tenth pixel transparent.
psdbuild::DocumentRecipe Colours(int colours, bool black) {
  ByteVector red(1200), green(1200), blue(1200), alpha(1200);
  for (int k = 0; k < 1200; ++k) {
    const int c = k % colours + (black ? 0 : 1);
    red[k] = static_cast<uint8_t>(c % 16 * 16);
    green[k] = static_cast<uint8_t>(c / 16 * 12);
    blue[k] = 5;
    if (c == 0) blue[k] = 0;
    alpha[k] = k % 10 == 9 ? 0 : 255;
  }
  return RgbaDocument(30, 40, red, green, blue, alpha);
}

TEST(GifPalette, AtMost254ColoursAreKeptByteForByteAsLibgdWouldWriteThem) {
  ByteVector red(2400), green(2400), blue(2400), alpha(2400);
  for (int k = 0; k < 2400; ++k) {
    red[k] = static_cast<uint8_t>((k % 7) * 30);
    green[k] = static_cast<uint8_t>((k / 60 % 5) * 50);
    blue[k] = k % 11 == 0 ? 127 : 0;
    alpha[k] = k % 13 == 0 ? 0 : 200;
  }
  red[5] = green[5] = blue[5] = 127;  // opaque transparent-grey: an entry of its own
  const psdbuild::DocumentRecipe mixed = RgbaDocument(40, 60, red, green, blue, alpha);
  for (const psdbuild::DocumentRecipe& built : {mixed, Colours(254, false), Colours(254, true)}) {
    const Layer loaded = LoadLayer(built);
    const OutputBuffer* gif = nullptr;
    GifOf(loaded, &gif);
    const OutputBuffer reference = ReferenceGif(loaded.planes);
    ASSERT_EQ(gif->size(), reference.size());
    EXPECT_TRUE(std::equal(gif->data(), gif->data() + gif->size(), reference.data()));
  }
}

TEST(GifPalette, MoreColoursGetAPaletteOfTheirOwnAndEveryPixelItsNearestEntry) {
  for (const psdbuild::DocumentRecipe& built :
       {Colours(255, true), Colours(300, false), [] {
          psdbuild::DocumentRecipe photo;
          photo.rows = 120;
          photo.columns = 160;
          photo.layers = {psdbuild::PixelLayer({0, 0, 160, 120, true, false, 3, "photo"})};
          return photo;
        }()}) {
    const Layer loaded = LoadLayer(built);
    const test::DecodedGif gif = GifOf(loaded);
    ASSERT_TRUE(gif.ok);
    EXPECT_EQ(gif.transparent, 0);
    ASSERT_GE(gif.palette.size(), 2u);
    EXPECT_EQ(gif.palette[0], (std::array<int, 3>{127, 127, 127}));
    const OutputBuffer reference = ReferenceGif(loaded.planes);
    double error = 0, referenceError = 0;
    size_t opaque = 0;
    std::vector<uint32_t> entries;
    for (const auto& entry : gif.palette) entries.push_back(Rgb(entry[0], entry[1], entry[2]));
    for (size_t k = 0; k < gif.indexes.size(); ++k) {
      const bool transparent = loaded.planes.alpha != nullptr && loaded.planes.alpha[k] == 0;
      ASSERT_EQ(gif.indexes[k] == 0, transparent) << k;
      if (transparent) continue;
      const int r = loaded.planes.colour[0][k], g = loaded.planes.colour[1][k], b = loaded.planes.colour[2][k];
      // The exact nearest opaque entry (or one as near).
      const uint8_t nearest = BruteForce(entries, 1, r, g, b);
      const auto distance = [&](uint8_t i) {
        const auto& e = gif.palette[i];
        return (e[0] - r) * (e[0] - r) + (e[1] - g) * (e[1] - g) + (e[2] - b) * (e[2] - b);
      };
      ASSERT_EQ(distance(gif.indexes[k]), distance(nearest)) << k;
      error += std::abs(gif.palette[gif.indexes[k]][0] - r) + std::abs(gif.palette[gif.indexes[k]][1] - g) +
               std::abs(gif.palette[gif.indexes[k]][2] - b);
      ++opaque;
    }
    // Closer to the layer than the first 254 colours and their closest
    // entries for the rest, as Peelbox once wrote them.
    test::TempDir dir;
    const test::DecodedGif old =
        test::ReadGif(dir.Write("old.gif", ByteVector(reference.data(), reference.data() + reference.size())));
    for (size_t k = 0; k < old.indexes.size(); ++k) {
      if (old.indexes[k] == 0) continue;
      const auto& e = old.palette[old.indexes[k]];
      referenceError += std::abs(e[0] - loaded.planes.colour[0][k]) + std::abs(e[1] - loaded.planes.colour[1][k]) +
                        std::abs(e[2] - loaded.planes.colour[2][k]);
    }
    EXPECT_LE(error, referenceError);
    if (referenceError > 0) {
      EXPECT_LT(error, referenceError);
    }
    EXPECT_LT(error / (3.0 * static_cast<double>(opaque)), 4.0);
  }
}

TEST(GifPalette, SixteenBitAndGreyLayersAreReducedToEightBits) {
  // 16-bit values v show as (v * 255 + 32767) / 65535; grey as r = g = b.
  const ByteVector values = {0x00, 0x00, 0x00, 0x80, 0x7F, 0xFF, 0x80, 0x80, 0xFF, 0xFF, 0x12, 0x34};
  for (uint16_t mode : {kRgbMode, kGreyscaleMode}) {
    psdbuild::DocumentRecipe doc;
    doc.depth = 16;
    doc.mode = mode;
    doc.rows = 1;
    doc.columns = 6;
    psdbuild::LayerRecipe layer;
    layer.bottom = 1;
    layer.right = 6;
    const int colours = mode == kRgbMode ? 3 : 1;
    for (int c = 0; c < colours; ++c) layer.channels.push_back(psdbuild::RawChannel(static_cast<int16_t>(c), values));
    doc.layers = {layer};
    const test::DecodedGif gif = GifOf(LoadLayer(doc));
    ASSERT_TRUE(gif.ok);
    std::vector<int> shown;
    for (uint8_t index : gif.indexes) {
      const auto& e = gif.palette[index];
      EXPECT_TRUE(e[0] == e[1] && e[1] == e[2]);
      shown.push_back(e[0]);
    }
    EXPECT_EQ(shown, (std::vector<int>{0, 0, 127, 128, 255, 18}));
  }
}

}  // namespace
}  // namespace peelbox
