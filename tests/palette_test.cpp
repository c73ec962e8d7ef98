// The GIF palette lookups against the searches they stand in for: the
// nearest-colour tree against a search of every entry, and whole GIF files
// against the ones libgd's own colour calls give.
#include <gd.h>
#include <gtest/gtest.h>

#include <random>

#include "export/gif_writer.h"
#include "export/layer_encoder.h"
#include "export/nearest_colour.h"
#include "psd/document.h"
#include "tests/helpers.h"

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
      if (!planes.withAlpha || planes.slots[3][k] != 0) {
        const int r = planes.slots[0][k], g = planes.slots[1][k], b = planes.slots[2][k];
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

void ExpectSameGifs(const psdbuild::DocumentSpec& doc, int minimumColours) {
  int32_t result = 1;
  const auto document = test::LoadBytes(psdbuild::BuildDocument(doc).bytes, &result);
  ASSERT_EQ(result, 0);
  for (const auto& record : document->layerMaskInfo->Layers().records) {
    const auto planes = ChooseLayerPlanes(*document, *record);
    ASSERT_TRUE(planes);
    const EncodedLayer encoded = EncodeLayer(*planes, false);
    ASSERT_EQ(encoded.code, 0);
    const OutputBuffer reference = ReferenceGif(*planes);
    ASSERT_EQ(encoded.gif.size(), reference.size()) << record->name;
    EXPECT_TRUE(std::equal(encoded.gif.data(), encoded.gif.data() + encoded.gif.size(), reference.data()))
        << record->name;
    PaletteImage palette(planes->width, planes->height);
    for (int32_t k = 0; k < planes->width * planes->height; ++k) {
      palette.IndexOf(planes->slots[0][k], planes->slots[1][k], planes->slots[2][k]);
    }
    EXPECT_GE(palette.ColorCount(), minimumColours) << record->name;
  }
}

TEST(GifLookup, ByteIdenticalToLibgdCallsWithFewColours) {
  psdbuild::DocumentSpec doc;
  doc.rows = 40;
  doc.columns = 60;
  psdbuild::LayerSpec layer;
  layer.bottom = 40;
  layer.right = 60;
  ByteVector red(2400), green(2400), blue(2400), alpha(2400);
  for (int k = 0; k < 2400; ++k) {
    red[k] = static_cast<uint8_t>((k % 7) * 30);
    green[k] = static_cast<uint8_t>((k / 60 % 5) * 50);
    blue[k] = k % 11 == 0 ? 127 : 0;
    alpha[k] = k % 13 == 0 ? 0 : 200;
  }
  red[5] = green[5] = blue[5] = 127;  // opaque transparent-grey
  for (auto [id, plane] : {std::pair{-1, alpha}, std::pair{0, red}, std::pair{1, green}, std::pair{2, blue}}) {
    layer.channels.push_back(psdbuild::RawChannel(static_cast<int16_t>(id), plane));
  }
  doc.layers = {layer};
  ExpectSameGifs(doc, 20);
}

TEST(GifLookup, ByteIdenticalToLibgdCallsWithAFullPalette) {
  psdbuild::DocumentSpec doc;
  doc.rows = 300;
  doc.columns = 400;
  doc.layers = {psdbuild::PixelLayer({0, 0, 400, 300, true, false, 3, "photo"}),
                 psdbuild::PixelLayer({10, 10, 200, 150, false, true, 9, "opaque"})};
  ExpectSameGifs(doc, 256);
}

}  // namespace
}  // namespace peelbox
