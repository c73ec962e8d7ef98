// The files of one layer, read back with libpng and libgd: header, sBIT,
// exact pixels, the GIF palette and its transparency.
#include <gtest/gtest.h>
#include <png.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <random>
#include <set>

#include "export/export_result.h"
#include "export/png_format.h"
#include "export/rip_job.h"
#include "tests/helpers.h"
#include "tests/image_readers.h"

namespace peelbox {
namespace {

using psdbuild::BuildDocument;
using psdbuild::DocumentRecipe;
using psdbuild::LayerRecipe;
using test::ByteVector;

// One layer of width x height from planes given per channel id.
DocumentRecipe Document(int32_t width, int32_t height, const std::vector<std::pair<int16_t, ByteVector>>& planes,
                        int32_t top = 0, int32_t left = 0) {
  DocumentRecipe doc;
  doc.rows = top + height;
  doc.columns = left + width;
  LayerRecipe layer;
  layer.top = top;
  layer.left = left;
  layer.bottom = top + height;
  layer.right = left + width;
  layer.name = "Layer";
  for (const auto& [id, plane] : planes) layer.channels.push_back(psdbuild::PackBitsChannel(id, plane, width));
  doc.layers = {layer};
  return doc;
}

struct Ripped {
  int32_t result = 1;
  test::DecodedPng png;
  test::DecodedGif gif;
  std::vector<std::string> files;
};

Ripped Rip(const DocumentRecipe& doc, bool ignoreAlpha = false) {
  test::TempDir dir;
  const std::string source = dir.Write("in.psd", BuildDocument(doc).bytes);
  test::TempDir out;
  RipJob job(source, out.Folder(), ignoreAlpha ? 1 : 0, nullptr);
  Ripped ripped;
  ripped.result = job.Run();
  ripped.files = out.FileNames();
  ripped.png = test::ReadPng(out.path() / "Layer.png");
  ripped.gif = test::ReadGif(out.path() / "Layer.gif");
  return ripped;
}

std::array<int, 3> Rgb(int r, int g, int b) { return {r, g, b}; }

TEST(PngFile, RgbLayerIsColourType2WithThreeSignificantBits) {
  const Ripped ripped = Rip(Document(2, 2, {{0, {1, 2, 3, 4}}, {1, {5, 6, 7, 8}}, {2, {9, 10, 11, 12}}}));
  ASSERT_EQ(ripped.result, 0);
  EXPECT_EQ(ripped.files, (std::vector<std::string>{"Layer.gif", "Layer.png"}));
  ASSERT_TRUE(ripped.png.ok);
  EXPECT_EQ(ripped.png.colorType, 2);
  EXPECT_EQ(ripped.png.bitDepth, 8);
  EXPECT_FALSE(ripped.png.interlaced);
  EXPECT_EQ(ripped.png.significantBits, (std::vector<uint8_t>{8, 8, 8}));
  EXPECT_EQ(ripped.png.pixels, (ByteVector{1, 5, 9, 2, 6, 10, 3, 7, 11, 4, 8, 12}));
  // Nothing but the header, sBIT, the image data and the end.
  std::set<std::string> chunks(ripped.png.chunks.begin(), ripped.png.chunks.end());
  EXPECT_EQ(chunks, (std::set<std::string>{"IHDR", "sBIT", "IDAT", "IEND"}));
  EXPECT_EQ(ripped.png.chunks.front(), "IHDR");
  EXPECT_EQ(ripped.png.chunks[1], "sBIT");
}

TEST(PngFile, RgbaLayerTakesTransparencyAsTheFourthSampleWhateverTheStoredOrder) {
  // Stored -1, 0, 1, 2 as Photoshop does.
  const Ripped ripped = Rip(Document(2, 1, {{-1, {255, 7}}, {0, {10, 20}}, {1, {30, 40}}, {2, {50, 60}}}));
  ASSERT_EQ(ripped.result, 0);
  EXPECT_EQ(ripped.png.colorType, 6);
  EXPECT_EQ(ripped.png.significantBits, (std::vector<uint8_t>{8, 8, 8, 8}));
  EXPECT_EQ(ripped.png.pixels, (ByteVector{10, 30, 50, 255, 20, 40, 60, 7}));
}

TEST(PngFile, ChannelThreeStandsInForTransparency) {
  const Ripped ripped = Rip(Document(1, 1, {{2, {3}}, {1, {2}}, {0, {1}}, {3, {9}}}));
  ASSERT_EQ(ripped.result, 0);
  EXPECT_EQ(ripped.png.pixels, (ByteVector{1, 2, 3, 9}));
}

TEST(PngFile, WrittenAtTheLayersOwnSize) {
  const ByteVector plane(100 * 50, 7);
  const Ripped ripped = Rip(Document(100, 50, {{0, plane}, {1, plane}, {2, plane}}, 20, 10));
  ASSERT_EQ(ripped.result, 0);
  EXPECT_EQ(ripped.png.width, 100u);
  EXPECT_EQ(ripped.png.height, 50u);
}

TEST(IgnoreAlpha, KeepsCompleteTransparencyOnly) {
  const auto doc = Document(4, 1, {{0, {1, 2, 3, 4}}, {1, {5, 6, 7, 8}}, {2, {9, 9, 9, 9}}, {-1, {0, 1, 128, 255}}});
  const Ripped kept = Rip(doc, false);
  const Ripped ignored = Rip(doc, true);
  ASSERT_EQ(ignored.result, 0);
  EXPECT_EQ(kept.png.pixels, (ByteVector{1, 5, 9, 0, 2, 6, 9, 1, 3, 7, 9, 128, 4, 8, 9, 255}));
  EXPECT_EQ(ignored.png.pixels, (ByteVector{1, 5, 9, 0, 2, 6, 9, 255, 3, 7, 9, 255, 4, 8, 9, 255}));
  // The GIF only ever knew "transparent or not".
  EXPECT_EQ(kept.gif.indexes, ignored.gif.indexes);
  EXPECT_EQ(kept.gif.palette, ignored.gif.palette);
}

TEST(IgnoreAlpha, ChangesNothingForAnRgbLayer) {
  const auto doc = Document(2, 1, {{0, {1, 2}}, {1, {3, 4}}, {2, {5, 6}}});
  EXPECT_EQ(Rip(doc, true).png.pixels, Rip(doc, false).png.pixels);
}

TEST(GifFile, PaletteStartsWithTransparentGreyAndBlackThenColoursInOrderOfFirstUse) {
  // Opaque red, green, black, red; a transparent blue; a barely opaque white.
  const Ripped ripped = Rip(Document(6, 1,
                                     {{0, {255, 0, 0, 255, 0, 255}},
                                      {1, {0, 255, 0, 0, 0, 255}},
                                      {2, {0, 0, 0, 0, 255, 255}},
                                      {-1, {255, 255, 255, 255, 0, 1}}}));
  ASSERT_EQ(ripped.result, 0);
  const test::DecodedGif& gif = ripped.gif;
  ASSERT_TRUE(gif.ok);
  EXPECT_EQ(gif.signature, "GIF89a");
  EXPECT_FALSE(gif.interlaced);
  EXPECT_EQ(gif.transparent, 0);
  ASSERT_GE(gif.palette.size(), 5u);
  EXPECT_EQ(gif.palette[0], Rgb(127, 127, 127));
  EXPECT_EQ(gif.palette[1], Rgb(0, 0, 0));
  EXPECT_EQ(gif.palette[2], Rgb(255, 0, 0));
  EXPECT_EQ(gif.palette[3], Rgb(0, 255, 0));
  EXPECT_EQ(gif.palette[4], Rgb(255, 255, 255));  // transparency 1 draws the full colour
  EXPECT_EQ(gif.indexes, (ByteVector{2, 3, 1, 2, 0, 4}));
}

TEST(GifFile, AllBlackLayerNeedsOnlyTheFirstTwoEntries) {
  const ByteVector zero(4, 0);
  const Ripped ripped = Rip(Document(2, 2, {{0, zero}, {1, zero}, {2, zero}}));
  ASSERT_EQ(ripped.result, 0);
  EXPECT_EQ(ripped.gif.indexes, ByteVector(4, 1));
  EXPECT_LE(ripped.gif.palette.size(), 2u);
}

TEST(GifFile, OpaqueGrey127GetsAnEntryOfItsOwn) {
  const Ripped ripped =
      Rip(Document(3, 1, {{0, {127, 127, 9}}, {1, {127, 127, 9}}, {2, {127, 127, 9}}, {-1, {255, 0, 255}}}));
  ASSERT_EQ(ripped.result, 0);
  EXPECT_EQ(ripped.gif.indexes, (ByteVector{2, 0, 3}));
  EXPECT_EQ(ripped.gif.palette[2], Rgb(127, 127, 127));
}

TEST(GifFile, ManyColoursNeverDrawAnOpaquePixelTransparent) {
  // 256 colours: more than the palette keeps as they are. Among them the
  // transparent grey's own colour, and a grey of 120 near it.
  const int32_t width = 256;
  ByteVector red(width), green(width, 0), blue(width, 0);
  for (int i = 0; i < 254; ++i) red[i] = static_cast<uint8_t>(i + 2);
  red[254] = green[254] = blue[254] = 127;
  red[255] = green[255] = blue[255] = 120;
  const Ripped ripped = Rip(Document(width, 1, {{0, red}, {1, green}, {2, blue}}));
  ASSERT_EQ(ripped.result, 0);
  EXPECT_EQ(ripped.gif.palette[0], Rgb(127, 127, 127));
  for (int i = 0; i < width; ++i) EXPECT_NE(ripped.gif.indexes[i], 0) << i;
}

TEST(GifFile, TransparentPixelsWhateverTheirColour) {
  const Ripped ripped =
      Rip(Document(2, 2, {{0, {9, 9, 9, 9}}, {1, {8, 8, 8, 8}}, {2, {7, 7, 7, 7}}, {-1, {0, 255, 0, 255}}}));
  ASSERT_EQ(ripped.result, 0);
  EXPECT_EQ(ripped.gif.indexes, (ByteVector{0, 2, 0, 2}));
}

}  // namespace
}  // namespace peelbox

namespace peelbox {
namespace {

// The same image through one png_write_image call, as the reference for the
// batched encoder.
OutputBuffer OneCall(const std::vector<uint8_t>& raster, uint32_t width, uint32_t height) {
  OutputBuffer out;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  png_set_write_fn(
      png, &out,
      [](png_structp p, png_bytep data, size_t size) {
        static_cast<OutputBuffer*>(png_get_io_ptr(p))->Append(data, size);
      },
      [](png_structp) {});
  png_set_IHDR(png, info, width, height, 8, PNG_COLOR_TYPE_RGB_ALPHA, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_BASE,
               PNG_FILTER_TYPE_BASE);
  png_color_8 significant{};
  significant.red = significant.green = significant.blue = significant.alpha = significant.gray = 8;
  png_set_sBIT(png, info, &significant);
  png_write_info(png, info);
  std::vector<png_bytep> rows(height);
  for (uint32_t y = 0; y < height; ++y) rows[y] = const_cast<png_bytep>(raster.data() + y * width * 4);
  png_write_image(png, rows.data());
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  return out;
}

TEST(PngEncoder, BatchesOfRowsGiveTheBytesOfOneCallAndAStopAbandonsThem) {
  const uint32_t width = 37, height = 101;  // batches that do not divide the rows
  std::vector<uint8_t> raster(width * height * 4);
  for (size_t i = 0; i < raster.size(); ++i) raster[i] = static_cast<uint8_t>(i * 7 + i / 97);
  OutputBuffer batched;
  ASSERT_EQ(EncodePng(raster.data(), width, height, {6, 8}, {false, {}, PngDeflater::kLibpng}, &batched), kExportOk);
  const OutputBuffer reference = OneCall(raster, width, height);
  ASSERT_EQ(batched.size(), reference.size());
  EXPECT_TRUE(std::equal(batched.data(), batched.data() + batched.size(), reference.data()));

  const StopToken stop = StopToken::Make();
  stop.RequestStop();
  for (const PngDeflater deflater : {PngDeflater::kLibpng, PngDeflater::kLibdeflate}) {
    OutputBuffer stopped;
    EXPECT_EQ(EncodePng(raster.data(), width, height, {6, 8}, {false, stop, deflater}, &stopped), kStopped);
  }
}

// Smooth runs, flat rows and noise, so that every filter wins some rows.
std::vector<uint8_t> Mixed(size_t rowBytes, uint32_t height) {
  std::vector<uint8_t> raster(rowBytes * height);
  for (uint32_t y = 0; y < height; ++y) {
    for (size_t x = 0; x < rowBytes; ++x) {
      const size_t i = y * rowBytes + x;
      raster[i] = static_cast<uint8_t>(y % 4 == 0   ? 9
                                       : y % 4 == 1 ? x * 3 + y
                                       : y % 4 == 2 ? (i * 2654435761u) >> 13
                                                    : x * y);
    }
  }
  return raster;
}

TEST(PngEncoder, LibdeflateDeflatesTheRowsLibpngWouldFilterAndTheyDecodeToTheRaster) {
  const struct {
    uint32_t width, height;
    PixelFormat format;
  } cases[] = {
      {37, 41, {6, 8}}, {19, 23, {2, 16}}, {64, 9, {0, 8}}, {5, 7, {4, 16}},
      {50, 1, {6, 8}},  {1, 30, {2, 8}},   {1, 1, {0, 8}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height) + " type " +
                 std::to_string(c.format.colourType) + "/" + std::to_string(c.format.bitDepth));
    const std::vector<uint8_t> raster = Mixed(c.width * c.format.BytesPerPixel(), c.height);
    OutputBuffer ours, theirs;
    ASSERT_EQ(EncodePng(raster.data(), c.width, c.height, c.format, {}, &ours), kExportOk);
    ASSERT_EQ(EncodePng(raster.data(), c.width, c.height, c.format, {false, {}, PngDeflater::kLibpng}, &theirs),
              kExportOk);
    const ByteVector filtered = test::PngImageData(ByteVector(ours.data(), ours.data() + ours.size()));
    ASSERT_FALSE(filtered.empty());
    EXPECT_EQ(filtered, test::PngImageData(ByteVector(theirs.data(), theirs.data() + theirs.size())));
    test::TempDir dir;
    const test::DecodedPng png = test::ReadPng(dir.Write("x.png", ByteVector(ours.data(), ours.data() + ours.size())));
    ASSERT_TRUE(png.ok);
    EXPECT_EQ(png.pixels, raster);
    EXPECT_EQ(png.chunks, (std::vector<std::string>{"IHDR", "sBIT", "IDAT", "IEND"}));
  }
}

// --help says --fast PNGs are at most 40% larger; soft artwork is where
// they grow most.
TEST(PngEncoder, FastStaysWithinTheSizeTheHelpGives) {
  const uint32_t width = 400, height = 300;
  std::vector<uint8_t> ellipse(width * height * 4), grain(width * height * 4);
  std::minstd_rand noise(7);
  for (uint32_t y = 0; y < height; ++y) {
    for (uint32_t x = 0; x < width; ++x) {
      const double dx = (x - 200.0) / 150, dy = (y - 150.0) / 100, r = std::sqrt(dx * dx + dy * dy);
      uint8_t* soft = &ellipse[(y * width + x) * 4];
      soft[0] = 48, soft[1] = 128, soft[2] = 192;
      soft[3] = static_cast<uint8_t>(255 * std::clamp(1.5 - r, 0.0, 1.0));
      uint8_t* photo = &grain[(y * width + x) * 4];
      for (int c = 0; c < 4; ++c) photo[c] = static_cast<uint8_t>(x / 3 + y / 5 + c * 40 + noise() % 8);
    }
  }
  for (const auto* raster : {&ellipse, &grain}) {
    OutputBuffer fast, standard;
    ASSERT_EQ(EncodePng(raster->data(), width, height, {6, 8}, {true}, &fast), kExportOk);
    ASSERT_EQ(EncodePng(raster->data(), width, height, {6, 8}, {}, &standard), kExportOk);
    EXPECT_LE(fast.size(), standard.size() * 14 / 10) << (raster == &ellipse ? "ellipse" : "grain");
  }
}

}  // namespace
}  // namespace peelbox
