// Channel pixel data: raw and PackBits planes, the row tolerance, the user
// mask rectangles, and data that does not fit its plane.
#include <gtest/gtest.h>

#include <algorithm>

#include "psd/document.h"
#include "tests/helpers.h"

namespace peelbox {
namespace {

using psdbuild::BuildDocument;
using psdbuild::ChannelRecipe;
using psdbuild::DocumentRecipe;
using psdbuild::LayerRecipe;
using test::ByteVector;
using test::LoadBytes;
using test::Ramp;

// A document whose only layer has the given bounds and channels.
DocumentRecipe OneLayer(int32_t width, int32_t height, std::vector<ChannelRecipe> channels) {
  DocumentRecipe doc;
  doc.rows = std::max(height, 1);
  doc.columns = std::max(width, 1);
  LayerRecipe layer;
  layer.right = width;
  layer.bottom = height;
  layer.name = "L";
  layer.channels = std::move(channels);
  doc.layers = {layer};
  doc.compositeData = {1, 2, 3};
  return doc;
}

int32_t Result(const DocumentRecipe& doc) { return test::LoadResult(BuildDocument(doc).bytes); }

std::unique_ptr<PsdDocument> Load(const DocumentRecipe& doc) {
  int32_t result = 1;
  auto document = LoadBytes(BuildDocument(doc).bytes, &result);
  EXPECT_EQ(result, 0);
  return document;
}

const ChannelInfo& Channel(const std::unique_ptr<PsdDocument>& document, size_t layer, size_t channel) {
  return *document->layerMaskInfo->Layers().records.at(layer)->channels.at(channel);
}

ByteVector PlaneOf(const ChannelInfo& channel) {
  return ByteVector(channel.plane.data(), channel.plane.data() + channel.plane.size());
}

// A PackBits channel from hand-made rows.
ChannelRecipe PackedRows(int16_t id, const std::vector<ByteVector>& rows) {
  ChannelRecipe channel{id, 1, {}, std::nullopt};
  for (const ByteVector& row : rows) {
    channel.stored.push_back(static_cast<uint8_t>(row.size() >> 8));
    channel.stored.push_back(static_cast<uint8_t>(row.size()));
  }
  for (const ByteVector& row : rows) channel.stored.insert(channel.stored.end(), row.begin(), row.end());
  return channel;
}

TEST(ChannelPixels, RawPlaneIsTheStoredBytes) {
  const auto document = Load(OneLayer(4, 2, {psdbuild::RawChannel(0, Ramp(8, 1))}));
  const ChannelInfo& channel = Channel(document, 0, 0);
  EXPECT_EQ(PlaneOf(channel), Ramp(8, 1));
  EXPECT_EQ(channel.planeWidth, 4);
  EXPECT_EQ(channel.planeHeight, 2);
  EXPECT_EQ(channel.dataLength, 8u);  // two less than the entry said
  EXPECT_TRUE(channel.data.empty());
}

TEST(ChannelPixels, PackBitsPlaneIsDecodedRowByRow) {
  const ByteVector plane = {9, 9, 9, 9, 1, 2, 3, 4, 7, 7, 8, 8};
  const auto document = Load(OneLayer(4, 3, {psdbuild::PackBitsChannel(2, plane, 4)}));
  const ChannelInfo& channel = Channel(document, 0, 0);
  EXPECT_EQ(PlaneOf(channel), plane);
  EXPECT_TRUE(channel.data.empty());  // the packed bytes are gone
}

TEST(ChannelPixels, RowsMayBeOneByteShortOrLong) {
  // Rows of 4 bytes: 3, 4 and 5 bytes produced are accepted.
  const auto document = Load(OneLayer(4, 3, {PackedRows(0, {{0x02, 1, 2, 3}, {0xFD, 6}, {0x04, 1, 2, 3, 4, 5}})}));
  EXPECT_EQ(PlaneOf(Channel(document, 0, 0)), (ByteVector{1, 2, 3, 0, 6, 6, 6, 6, 1, 2, 3, 4}));

  EXPECT_EQ(Result(OneLayer(4, 1, {PackedRows(0, {{0x01, 1, 2}})})), ChannelInfo::kBadRow);
  EXPECT_EQ(Result(OneLayer(4, 1, {PackedRows(0, {{0x05, 1, 2, 3, 4, 5, 6}})})), -1);
  // Far too long: counted, never written past the plane.
  EXPECT_EQ(Result(OneLayer(4, 2, {PackedRows(0, {{0x81, 1, 0x81, 2}, {0xFD, 6}})})), -1);
}

TEST(ChannelPixels, EmptyRowPassesOnlyForRowsOfAtMostOneByte) {
  EXPECT_EQ(Result(OneLayer(1, 2, {PackedRows(0, {{}, {}})})), 0);
  EXPECT_EQ(Result(OneLayer(2, 2, {PackedRows(0, {{}, {}})})), -1);
}

TEST(ChannelPixels, PacketsCutOffByTheEndOfTheirRowFail) {
  // The run's value byte belongs to the next row: not read across the row.
  EXPECT_EQ(Result(OneLayer(3, 2, {PackedRows(0, {{0xFE}, {0x07, 0xFE, 5}})})), -1);
  EXPECT_EQ(Result(OneLayer(3, 1, {PackedRows(0, {{0x02, 1, 2}})})), -1);
}

TEST(ChannelPixels, StoredBytesThatDoNotFitThePlaneFail) {
  // The row-count table alone does not fit.
  EXPECT_EQ(Result(OneLayer(2, 4, {ChannelRecipe{0, 1, {0, 1}, std::nullopt}})), -1);
  // A row count larger than the bytes left.
  EXPECT_EQ(Result(OneLayer(2, 1, {ChannelRecipe{0, 1, {0, 9, 0xFF, 1}, std::nullopt}})), -1);
  // A raw channel shorter than its plane.
  EXPECT_EQ(Result(OneLayer(4, 2, {psdbuild::RawChannel(0, Ramp(7))})), -1);
  // A huge layer with a few packed bytes fails before its plane is allocated.
  EXPECT_EQ(Result(OneLayer(1 << 30, 1 << 30, {PackedRows(0, {{0x81, 0}})})), -1);
  EXPECT_EQ(Result(OneLayer(INT32_MAX, 100000, {psdbuild::RawChannel(0, Ramp(16))})), -1);
}

TEST(ChannelPixels, RawChannelLongerThanItsPlaneKeepsThePlaneSize) {
  const auto document = Load(OneLayer(2, 2, {psdbuild::RawChannel(0, Ramp(9, 1))}));
  EXPECT_EQ(PlaneOf(Channel(document, 0, 0)), Ramp(4, 1));
}

TEST(ChannelPixels, ResultCodesOfTheStoredData) {
  ChannelRecipe tooShort = psdbuild::RawChannel(0, {});
  tooShort.lengthField = 1;  // no room for the compression word
  EXPECT_EQ(Result(OneLayer(0, 0, {tooShort})), ChannelInfo::kShortCompression);

  DocumentRecipe doc = OneLayer(4, 2, {psdbuild::RawChannel(0, Ramp(8))});
  const psdbuild::BuiltDocument built = BuildDocument(doc);
  EXPECT_EQ(test::LoadResult(built.CutAt(built.At("pixels0.0") + 1)), -2);
  EXPECT_EQ(test::LoadResult(built.CutAt(built.At("pixels0.0") + 5)), ChannelInfo::kShortStoredData);

  doc.layers[0].channels[0].lengthField = 0x7FFFFFF0;  // far beyond the file
  EXPECT_EQ(Result(doc), -8);
}

TEST(ChannelPixels, UnknownCompressionsKeepTheirBytesAndHaveNoPlane) {
  for (uint16_t compression : {4, 9, 0xFFFF}) {
    const auto document = Load(OneLayer(4, 2, {ChannelRecipe{0, compression, {0x78, 0x9C, 1, 2, 3}, std::nullopt}}));
    const ChannelInfo& channel = Channel(document, 0, 0);
    EXPECT_TRUE(channel.plane.empty());
    EXPECT_EQ(channel.data.size(), 5u);
  }
}

TEST(ChannelPixels, EmptyAndNegativeLayersHaveEmptyPlanes) {
  for (auto [width, height] : {std::pair{4, 0}, std::pair{0, 3}, std::pair{4, -1}, std::pair{-2, 2}}) {
    auto doc = OneLayer(width, height, {PackedRows(0, {}), psdbuild::RawChannel(1, Ramp(8))});
    const auto document = Load(doc);
    EXPECT_TRUE(Channel(document, 0, 0).plane.empty());
    EXPECT_TRUE(Channel(document, 0, 1).plane.empty());
  }
}

TEST(ChannelPixels, SixteenBitPlanesHoldTwoBytesPerSample) {
  DocumentRecipe doc = OneLayer(3, 2, {psdbuild::PackBitsChannel(0, Ramp(12, 1), 6)});
  doc.depth = 16;
  const auto document = Load(doc);
  EXPECT_EQ(PlaneOf(Channel(document, 0, 0)), Ramp(12, 1));
  EXPECT_EQ(Channel(document, 0, 0).RowBytes(), 6u);
}

ByteVector Rect(int32_t top, int32_t left, int32_t bottom, int32_t right) {
  ByteVector bytes;
  for (int32_t v : {top, left, bottom, right}) {
    for (int shift = 24; shift >= 0; shift -= 8) bytes.push_back(static_cast<uint8_t>(v >> shift));
  }
  return bytes;
}

TEST(ChannelPixels, UserMasksAreDecodedAtTheirOwnRectangle) {
  // A 4x4 layer with a 3x2 user mask (-2) and a 2x5 real user mask (-3).
  ByteVector mask = Rect(1, 1, 3, 4);
  mask.push_back(255);  // default colour
  mask.push_back(0);    // flags
  mask.push_back(0);    // real flags
  mask.push_back(0);    // real background
  const ByteVector real = Rect(0, 0, 5, 2);
  mask.insert(mask.end(), real.begin(), real.end());
  ASSERT_EQ(mask.size(), 36u);

  DocumentRecipe doc = OneLayer(4, 4, {psdbuild::RawChannel(0, Ramp(16)), psdbuild::PackBitsChannel(-2, Ramp(6, 100), 3),
                                      psdbuild::PackBitsChannel(-3, Ramp(10, 50), 2)});
  doc.layers[0].maskData = mask;
  const auto document = Load(doc);
  EXPECT_EQ(PlaneOf(Channel(document, 0, 1)), Ramp(6, 100));
  EXPECT_EQ(Channel(document, 0, 1).planeWidth, 3);
  EXPECT_EQ(Channel(document, 0, 1).planeHeight, 2);
  EXPECT_EQ(PlaneOf(Channel(document, 0, 2)), Ramp(10, 50));
  EXPECT_EQ(Channel(document, 0, 2).planeWidth, 2);
  EXPECT_EQ(Channel(document, 0, 2).planeHeight, 5);

  // Mask parameters (flags bit 4) come after the real rectangle.
  doc.layers[0].maskData[17] = 0x10;
  for (uint8_t b : {0x0B, 0xBF, 0x40, 8, 0, 0, 0, 0, 0, 0, 0x40, 0, 0, 0, 0, 0, 0, 0, 0, 0}) {
    doc.layers[0].maskData.push_back(b);
  }
  const auto withParameters = Load(doc);
  EXPECT_EQ(PlaneOf(Channel(withParameters, 0, 2)), Ramp(10, 50));
  EXPECT_EQ(Channel(withParameters, 0, 2).planeHeight, 5);
}

TEST(ChannelPixels, MasksWithoutARectangleKeepTheirBytes) {
  DocumentRecipe doc = OneLayer(2, 2, {psdbuild::RawChannel(0, Ramp(4)), psdbuild::PackBitsChannel(-2, Ramp(4), 2),
                                      psdbuild::PackBitsChannel(-3, Ramp(4), 2)});
  ByteVector mask = Rect(0, 0, 2, 2);
  mask.resize(35);  // too short for a real user mask
  doc.layers[0].maskData = mask;
  auto document = Load(doc);
  EXPECT_EQ(PlaneOf(Channel(document, 0, 1)), Ramp(4));
  EXPECT_TRUE(Channel(document, 0, 2).plane.empty());
  EXPECT_FALSE(Channel(document, 0, 2).data.empty());

  doc.layers[0].maskData.clear();  // no mask data at all
  document = Load(doc);
  EXPECT_TRUE(Channel(document, 0, 1).plane.empty());
  EXPECT_FALSE(Channel(document, 0, 1).data.empty());
}

TEST(ChannelPixels, EntryFromMemory) {
  const uint8_t entry[] = {0xFF, 0xFE, 0, 0, 1, 2, 0xAA};
  MemoryCursor cursor{entry, entry + sizeof entry};
  ChannelInfo channel;
  ASSERT_EQ(channel.ReadFromMemory(&cursor), 0);
  EXPECT_EQ(channel.id, -2);
  EXPECT_EQ(channel.dataLength, 258u);
  EXPECT_EQ(cursor.position, entry + 6);
  EXPECT_EQ(channel.ReadFromMemory(&cursor), ChannelInfo::kShortEntry);
  EXPECT_EQ(channel.Read(nullptr), -1);
}

}  // namespace
}  // namespace peelbox
