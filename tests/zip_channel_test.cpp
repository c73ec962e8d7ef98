// ZIP channels: plain and with prediction at every depth, and streams that
// do not fit their plane.
#include <gtest/gtest.h>

#include "psd/document.h"
#include "psd/zip.h"
#include "tests/helpers.h"

namespace peelbox {
namespace {

using psdbuild::BuildDocument;
using psdbuild::ChannelRecipe;
using psdbuild::DocumentRecipe;
using test::ByteVector;

// A document of the given depth whose only layer is width x height with one
// channel.
DocumentRecipe OneChannel(int32_t width, int32_t height, uint16_t depth, ChannelRecipe channel) {
  DocumentRecipe doc;
  doc.depth = depth;
  doc.rows = height;
  doc.columns = width;
  psdbuild::LayerRecipe layer;
  layer.right = width;
  layer.bottom = height;
  layer.name = "Z";
  layer.channels = {std::move(channel)};
  doc.layers = {layer};
  return doc;
}

// Samples whose neighbours differ by more than a byte can hold, so that a
// wrong carry between bytes shows.
ByteVector Samples(size_t size) {
  ByteVector bytes(size);
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>(i * 97 + (i >> 3) * 31 + 200);
  return bytes;
}

TEST(ZipChannels, DecodeToTheStoredPlaneAtEveryDepth) {
  for (unsigned depth : {8u, 16u, 32u}) {
    for (bool predicted : {false, true}) {
      SCOPED_TRACE(std::to_string(depth) + (predicted ? " bits, predicted" : " bits"));
      const int32_t width = 5, height = 3;
      const size_t rowBytes = width * depth / 8;
      const ByteVector plane = Samples(rowBytes * height);
      int32_t result = 1;
      const auto document = test::LoadBytes(
          BuildDocument(OneChannel(width, height, static_cast<uint16_t>(depth),
                                   psdbuild::ZipChannel(0, plane, rowBytes, depth, predicted)))
              .bytes,
          &result);
      ASSERT_EQ(result, 0);
      const ChannelInfo& channel = *document->layerMaskInfo->Layers().records[0]->channels[0];
      EXPECT_EQ(channel.compression, predicted ? 3 : 2);
      EXPECT_EQ(ByteVector(channel.plane.data(), channel.plane.data() + channel.plane.size()), plane);
      EXPECT_EQ(channel.RowBytes(), rowBytes);
      EXPECT_TRUE(channel.data.empty());  // the stream is gone
    }
  }
}

TEST(ZipChannels, PredictionWrapsWithinEachRow) {
  // 16-bit values 0xFFFF then 0x0001 differ by 2 with a wrap; rows start
  // afresh.
  ByteVector stored = {0xFF, 0xFF, 0x00, 0x02, 0x00, 0x05, 0x00, 0x01};
  ASSERT_TRUE(UndoPrediction(stored.data(), 2, 4, 16));
  EXPECT_EQ(stored, (ByteVector{0xFF, 0xFF, 0x00, 0x01, 0x00, 0x05, 0x00, 0x06}));
  // 32 bits: the row's bytes by significance, then differences over them.
  ByteVector floats = {0x3F, 0x01, 0x80, 0x80, 0xC0, 0x00, 0x00, 0x00};  // 1.5f and 3.0f
  ASSERT_TRUE(UndoPrediction(floats.data(), 1, 8, 32));
  EXPECT_EQ(floats, (ByteVector{0x3F, 0xC0, 0x00, 0x00, 0x40, 0x40, 0x00, 0x00}));
}

TEST(ZipChannels, StreamsThatDoNotFitThePlaneFail) {
  const ByteVector plane = Samples(12);
  const ByteVector deflated = psdbuild::Deflate(plane);
  ByteVector corrupt = deflated;
  corrupt[corrupt.size() / 2] ^= 0x5A;
  ByteVector badChecksum = deflated;
  badChecksum.back() ^= 1;
  const struct {
    const char* what;
    ByteVector stored;
  } cases[] = {
      {"short", psdbuild::Deflate(ByteVector(plane.begin(), plane.begin() + 11))},
      {"long", psdbuild::Deflate(Samples(13))},
      {"cut before its end", ByteVector(deflated.begin(), deflated.end() - 3)},
      {"corrupt", corrupt},
      {"bad checksum", badChecksum},
      {"not zlib", {1, 2, 3, 4, 5}},
      {"empty", {}},
  };
  for (const auto& c : cases) {
    for (uint16_t compression : {2, 3}) {
      const DocumentRecipe doc = OneChannel(4, 3, 8, ChannelRecipe{0, compression, c.stored, std::nullopt});
      EXPECT_EQ(test::LoadResult(BuildDocument(doc).bytes), ChannelInfo::kBadRow) << c.what << " " << compression;
    }
  }
  // Bytes after the stream's end are not looked at.
  ByteVector trailing = deflated;
  trailing.insert(trailing.end(), {9, 9, 9});
  EXPECT_EQ(test::LoadResult(BuildDocument(OneChannel(4, 3, 8, ChannelRecipe{0, 2, trailing, std::nullopt})).bytes), 0);
}

TEST(ZipChannels, AHugeClaimWithATinyStreamFailsWithoutItsPlane) {
  // A gigapixel layer whose stream holds a few bytes: the buffer grows with
  // what the stream gives and the read fails when it ends.
  const DocumentRecipe doc = OneChannel(1 << 15, 1 << 15, 8, psdbuild::ZipChannel(0, ByteVector(64, 7), 64, 8, false));
  EXPECT_EQ(test::LoadResult(BuildDocument(doc).bytes), ChannelInfo::kBadRow);
}

TEST(ZipChannels, InflateGrowsPastItsFirstGuess) {
  // Highly compressible: far more out than four times in.
  const ByteVector plane(1 << 20, 0x42);
  const ByteVector deflated = psdbuild::Deflate(plane);
  ASSERT_LT(deflated.size() * 4, plane.size());
  Bytes out;
  ASSERT_TRUE(InflateExactly(deflated.data(), deflated.size(), plane.size(), &out));
  EXPECT_EQ(ByteVector(out.data(), out.data() + out.size()), plane);
  EXPECT_FALSE(InflateExactly(deflated.data(), deflated.size(), plane.size() - 1, &out));
  EXPECT_FALSE(InflateExactly(deflated.data(), deflated.size(), plane.size() + 1, &out));
}

}  // namespace
}  // namespace peelbox
