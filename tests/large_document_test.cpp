// What 16- and 32-bit, large (PSB) and flattened documents hold: layers in
// the tagged blocks after the global mask, 8-byte lengths, and composite
// images decoded into planes.
#include <gtest/gtest.h>

#include <algorithm>

#include "psd/document.h"
#include "tests/helpers.h"

namespace peelbox {
namespace {

using psdbuild::BuildDocument;
using psdbuild::BuiltDocument;
using psdbuild::ChannelRecipe;
using psdbuild::DocumentRecipe;
using psdbuild::LayerRecipe;
using psdbuild::SectionBlockRecipe;
using test::ByteVector;
using test::Ramp;

std::unique_ptr<PsdDocument> Load(const DocumentRecipe& doc, test::RecordingSink* sink = nullptr) {
  int32_t result = 1;
  auto document = test::LoadBytes(BuildDocument(doc).bytes, &result, sink);
  EXPECT_EQ(result, 0);
  return document;
}

ByteVector PlaneOf(const ChannelInfo& channel) {
  return ByteVector(channel.plane.data(), channel.plane.data() + channel.plane.size());
}

LayerRecipe Layer(const std::string& name, int32_t width, int32_t height, std::vector<ChannelRecipe> channels) {
  LayerRecipe layer;
  layer.name = name;
  layer.right = width;
  layer.bottom = height;
  layer.channels = std::move(channels);
  return layer;
}

SectionBlockRecipe LayersBlock(const std::string& key, std::vector<LayerRecipe> layers) {
  SectionBlockRecipe block;
  block.key = key;
  block.holdsLayers = true;
  block.layers = std::move(layers);
  return block;
}

SectionBlockRecipe DataBlock(const std::string& key, ByteVector data) {
  SectionBlockRecipe block;
  block.key = key;
  block.data = std::move(data);
  return block;
}

// A 16-bit document as Photoshop writes it: no main layer info, the layers
// in an Lr16 block after the global mask.
DocumentRecipe SixteenBit(std::vector<SectionBlockRecipe> blocks) {
  DocumentRecipe doc;
  doc.depth = 16;
  doc.rows = 2;
  doc.columns = 3;
  doc.layerInfoWhenEmpty = false;
  doc.globalMask = ByteVector(14, 0);
  doc.sectionBlocks = std::move(blocks);
  doc.compositeData = Ramp(3 * 2 * 2 * 3);
  return doc;
}

TEST(TaggedLayers, TheFirstBlockWithRecordsHoldsTheDocumentsLayers) {
  const ByteVector red = Ramp(12, 1), alpha = Ramp(12, 200);
  DocumentRecipe doc = SixteenBit({
      DataBlock("Patt", {}),
      LayersBlock("Lr16", {}),  // no records
      LayersBlock("Lr32", {Layer("A", 3, 2, {psdbuild::RawChannel(0, red)}),
                           Layer("B", 3, 2, {psdbuild::ZipChannel(-1, alpha, 6, 16, true)})}),
      LayersBlock("Layr", {Layer("C", 1, 1, {psdbuild::RawChannel(0, {1, 2})})}),
      DataBlock("FMsk", ByteVector(6, 9)),  // 2 pad bytes follow
      DataBlock("cinf", {1, 2, 3, 4}),
  });
  test::RecordingSink sink;
  const auto document = Load(doc, &sink);
  const LayerMaskInfo& section = *document->layerMaskInfo;
  EXPECT_TRUE(section.layerInfo->records.empty());
  ASSERT_EQ(section.taggedLayers.size(), 3u);
  EXPECT_EQ(section.Layers().key, "Lr32");
  ASSERT_EQ(section.Layers().records.size(), 2u);
  EXPECT_EQ(PlaneOf(*section.Layers().records[0]->channels[0]), red);
  EXPECT_EQ(PlaneOf(*section.Layers().records[1]->channels[0]), alpha);
  EXPECT_EQ(section.taggedLayers[2]->records.size(), 1u);
  std::vector<std::string> keys;
  for (const TaggedBlock& block : section.blocks) keys.push_back(block.key);
  EXPECT_EQ(keys, (std::vector<std::string>{"Patt", "FMsk", "cinf"}));
  EXPECT_EQ(ByteVector(section.blocks[2].data.data(), section.blocks[2].data.data() + 4), (ByteVector{1, 2, 3, 4}));
  // The same statuses as the main layers.
  std::vector<std::string> texts;
  for (const auto& status : sink.statuses) texts.push_back(status.text);
  for (const char* text : {"Reading layers section, contains: 2 layers.", "Finished reading layer info: \"B\"",
                           "Reading data for layer \"B\" with 1 channels."}) {
    EXPECT_NE(std::find(texts.begin(), texts.end(), text), texts.end()) << text;
  }
  // A document with layers keeps no composite.
  EXPECT_TRUE(document->composite->pixels.empty());
}

TEST(TaggedLayers, MainRecordsComeFirst) {
  DocumentRecipe doc = SixteenBit({LayersBlock("Lr16", {Layer("Tagged", 1, 1, {psdbuild::RawChannel(0, {0, 1})})})});
  doc.layers = {Layer("Main", 1, 1, {psdbuild::RawChannel(0, {0, 2})})};
  const auto document = Load(doc);
  EXPECT_EQ(document->layerMaskInfo->Layers().key, "main");
  EXPECT_EQ(document->layerMaskInfo->Layers().records[0]->name, "Main");
  EXPECT_EQ(document->layerMaskInfo->taggedLayers.at(0)->records.at(0)->name, "Tagged");
}

TEST(TaggedLayers, TheJobHearsOfTheDocumentsLayersOnly) {
  struct Sink : test::RecordingSink {
    void LayerPixelsRead(const PsdDocument&, LayerInfo& layers, size_t index) override {
      heard.push_back(layers.records[index]->name + "@" + std::to_string(index));
    }
    std::vector<std::string> heard;
  } sink;
  const auto pixel = [](const std::string& name) { return Layer(name, 1, 1, {psdbuild::RawChannel(0, {0, 1})}); };
  Load(SixteenBit({LayersBlock("Lr16", {pixel("A"), pixel("B")}), LayersBlock("Lr32", {pixel("C")})}), &sink);
  EXPECT_EQ(sink.heard, (std::vector<std::string>{"A@0", "B@1"}));
}

TEST(TaggedLayers, ABlockThatDoesNotFitEndsTheListWithoutFailing) {
  const auto keys = [](const DocumentRecipe& doc) {
    const auto document = Load(doc);
    std::vector<std::string> found;
    if (!document) return found;
    for (const TaggedBlock& block : document->layerMaskInfo->blocks) found.push_back(block.key);
    return found;
  };
  SectionBlockRecipe overrun = DataBlock("Txt2", {1, 2, 3, 4});
  overrun.lengthField = 1000;
  EXPECT_EQ(keys(SixteenBit({DataBlock("Patt", {}), overrun, DataBlock("FMsk", {})})),
            std::vector<std::string>{"Patt"});
  SectionBlockRecipe other = DataBlock("Txt2", {1, 2, 3, 4});
  other.signature = "MIB8";
  EXPECT_EQ(keys(SixteenBit({DataBlock("Patt", {}), other, DataBlock("FMsk", {})})), std::vector<std::string>{"Patt"});
  EXPECT_EQ(keys(SixteenBit({DataBlock("8B64", {}), DataBlock("FMsk", {5})})), (std::vector<std::string>{"8B64", "FMsk"}));
}

TEST(TaggedLayers, TheCompositeStartsWhereTheSectionEnds) {
  // Bytes after the last block, inside the section, are not read as a block
  // nor as the composite.
  DocumentRecipe doc = SixteenBit({DataBlock("Patt", {}), DataBlock("FMsk", {1, 2, 3, 4, 5, 6, 7, 8})});
  doc.layers = {Layer("L", 1, 1, {psdbuild::RawChannel(0, {0, 1})})};
  BuiltDocument built = BuildDocument(doc);
  // Turn the FMsk block into garbage inside the section.
  for (size_t at = built.At("block1"); at < built.At("composite"); ++at) built.bytes[at] = 0xEE;
  int32_t result = 1;
  const auto document = test::LoadBytes(built.bytes, &result);
  ASSERT_EQ(result, 0);
  EXPECT_EQ(document->layerMaskInfo->blocks.size(), 1u);
  EXPECT_EQ(document->composite->length, doc.compositeData.size());
}

TEST(TaggedLayers, BrokenRecordsInsideABlockFailLikeMainOnes) {
  const DocumentRecipe doc = SixteenBit({LayersBlock("Lr16", {Layer("A", 3, 2, {psdbuild::RawChannel(0, Ramp(12))})})});
  const BuiltDocument built = BuildDocument(doc);
  ByteVector cut = built.bytes;
  // The layer's right edge cut short: the file ends inside the record.
  cut.resize(built.At("block0.layer0") + 14);
  int32_t result = 1;
  ReadFailure failure;
  EXPECT_FALSE(LoadPsdDocument(test::TempDir().Write("cut.psd", cut), &result, nullptr, &failure));
  EXPECT_EQ(result, LayerRecord::kShortRight);
  EXPECT_EQ(failure.step, ReadStep::kLayerInfo);
  // A raw channel shorter than its plane.
  DocumentRecipe shortPixels = doc;
  shortPixels.sectionBlocks[0].layers[0].channels[0].stored.resize(11);
  EXPECT_FALSE(LoadPsdDocument(test::TempDir().Write("short.psd", BuildDocument(shortPixels).bytes), &result,
                               nullptr, &failure));
  EXPECT_EQ(result, ChannelInfo::kBadRow);
  EXPECT_EQ(failure.step, ReadStep::kChannelData);
}

// Large documents: 8-byte section, layer info and channel lengths, 4-byte
// PackBits row counts, and 8-byte lengths for some tagged blocks.
DocumentRecipe Large() {
  DocumentRecipe doc;
  doc.version = 2;
  doc.rows = 2;
  doc.columns = 4;
  const ByteVector plane = Ramp(8, 3);
  LayerRecipe layer = Layer("Large", 4, 2,
                          {psdbuild::PackBitsChannel(-1, plane, 4, true), psdbuild::RawChannel(0, plane),
                           psdbuild::ZipChannel(1, plane, 4, 8, true), psdbuild::PackBitsChannel(2, plane, 4, true)});
  layer.afterName = psdbuild::TaggedBlockBytes("cinf", {1, 2, 3}, true);
  const ByteVector luni = psdbuild::UnicodeNameBlock(u"Large");
  layer.afterName.insert(layer.afterName.end(), luni.begin(), luni.end());
  doc.layers = {layer};
  doc.globalMask = ByteVector(14, 0);
  doc.sectionBlocks = {DataBlock("FMsk", {7, 7, 7, 7})};
  doc.compositeData = Ramp(24);
  return doc;
}

TEST(LargeDocuments, ReadWithTheirWideLengths) {
  const auto document = Load(Large());
  ASSERT_TRUE(document);
  EXPECT_EQ(document->header->version, 2);
  const LayerRecord& record = *document->layerMaskInfo->Layers().records.at(0);
  ASSERT_EQ(record.channels.size(), 4u);
  for (const auto& channel : record.channels) EXPECT_EQ(PlaneOf(*channel), Ramp(8, 3)) << channel->id;
  ASSERT_EQ(record.blocks.size(), 2u);
  EXPECT_EQ(record.blocks[0].key, "cinf");
  EXPECT_EQ(record.blocks[0].data.size(), 3u);
  EXPECT_EQ(record.blocks[1].key, "luni");
  ASSERT_EQ(document->layerMaskInfo->blocks.size(), 1u);
  EXPECT_EQ(document->layerMaskInfo->blocks[0].data.size(), 4u);
}

TEST(LargeDocuments, LengthsNearTheirLimitsGiveACode) {
  const BuiltDocument built = BuildDocument(Large());
  const auto patched = [&](size_t at, uint64_t value) {
    ByteVector bytes = built.bytes;
    for (int i = 0; i < 8; ++i) bytes[at + i] = static_cast<uint8_t>(value >> (56 - 8 * i));
    return bytes;
  };
  const size_t channels = built.At("layer0.channels");
  const struct {
    const char* what;
    ByteVector bytes;
    int32_t code;
  } cases[] = {
      {"a channel of 2^64 - 1 bytes", patched(channels + 2, UINT64_MAX), ChannelInfo::kShortStoredData},
      {"a channel of 2^32 + 10 bytes", patched(channels + 2, (1ull << 32) + 10), ChannelInfo::kShortStoredData},
      {"a channel of 1 byte", patched(channels + 2, 1), ChannelInfo::kShortCompression},
      {"a section of 2^64 - 1 bytes", patched(built.At("layerSection"), UINT64_MAX), CompositeImage::kShortCompression},
      {"a layer info of 2^63 bytes", patched(built.At("layerInfo"), 1ull << 63), CompositeImage::kShortCompression},
  };
  for (const auto& c : cases) EXPECT_EQ(test::LoadResult(c.bytes), c.code) << c.what;
}

// Flattened documents: the composite's colour channels become planes.
struct Flattened {
  const char* what;
  uint16_t mode;
  uint16_t depth;
  uint16_t channels;
  int colourPlanes;
};

// Composite data for `planes`, each rows x rowBytes, as `compression` stores it.
ByteVector CompositeData(const std::vector<ByteVector>& planes, size_t rowBytes, uint16_t compression, unsigned depth,
                         bool large) {
  ByteVector all;
  for (const ByteVector& plane : planes) all.insert(all.end(), plane.begin(), plane.end());
  if (compression == 0) return all;
  if (compression >= 2) return psdbuild::Deflate(compression == 3 ? psdbuild::Predict(all, rowBytes, depth) : all);
  ByteVector table, rows;
  for (const ByteVector& plane : planes) {
    const ChannelRecipe packed = psdbuild::PackBitsChannel(0, plane, rowBytes, large);
    const size_t tableSize = (plane.size() / rowBytes) * (large ? 4 : 2);
    table.insert(table.end(), packed.stored.begin(), packed.stored.begin() + static_cast<long>(tableSize));
    rows.insert(rows.end(), packed.stored.begin() + static_cast<long>(tableSize), packed.stored.end());
  }
  table.insert(table.end(), rows.begin(), rows.end());
  return table;
}

TEST(FlattenedDocuments, TheCompositesColourChannelsBecomePlanes) {
  const Flattened cases[] = {
      {"RGB", kRgbMode, 8, 3, 3},          {"RGB with alpha", kRgbMode, 8, 4, 3}, {"RGB 16", kRgbMode, 16, 3, 3},
      {"CMYK", kCmykMode, 8, 5, 4},        {"Lab 32", kLabMode, 32, 3, 3},       {"greyscale", kGreyscaleMode, 8, 2, 1},
      {"indexed", kIndexedMode, 8, 1, 1},  {"bitmap", kBitmapMode, 1, 1, 1},     {"duotone 16", kDuotoneMode, 16, 1, 1},
  };
  const int32_t width = 11, height = 3;
  for (const Flattened& c : cases) {
    const size_t rowBytes = (static_cast<size_t>(width) * c.depth + 7) / 8;
    std::vector<ByteVector> planes;
    for (int p = 0; p < c.channels; ++p) planes.push_back(Ramp(rowBytes * height, static_cast<uint8_t>(40 * p)));
    for (uint16_t compression : {0, 1, 2, 3}) {
      for (bool large : {false, true}) {
        SCOPED_TRACE(std::string(c.what) + ", compression " + std::to_string(compression) + (large ? ", PSB" : ""));
        DocumentRecipe doc;
        doc.version = large ? 2 : 1;
        doc.mode = c.mode;
        doc.depth = c.depth;
        doc.channels = c.channels;
        doc.rows = height;
        doc.columns = width;
        doc.layerSection = false;
        doc.compositeCompression = compression;
        doc.compositeData = CompositeData(planes, rowBytes, compression, c.depth, large);
        const auto document = Load(doc);
        ASSERT_TRUE(document);
        const CompositeImage& composite = *document->composite;
        ASSERT_EQ(composite.planeCount, c.colourPlanes);
        EXPECT_EQ(composite.geometry.rowBytes, rowBytes);
        for (int p = 0; p < c.colourPlanes; ++p) {
          EXPECT_EQ(ByteVector(composite.Plane(p), composite.Plane(p) + rowBytes * height), planes[p]) << p;
        }
      }
    }
  }
}

TEST(FlattenedDocuments, CompositeDataThatCannotBeDecodedFails) {
  DocumentRecipe doc;
  doc.rows = 2;
  doc.columns = 2;
  doc.layerSection = false;
  const auto result = [&](uint16_t compression, ByteVector data, uint16_t channels = 3) {
    doc.compositeCompression = compression;
    doc.compositeData = std::move(data);
    doc.channels = channels;
    return test::LoadResult(BuildDocument(doc).bytes);
  };
  EXPECT_EQ(result(0, Ramp(12)), 0);
  EXPECT_EQ(result(0, Ramp(11)), CompositeImage::kUndecodable);
  EXPECT_EQ(result(0, {}), CompositeImage::kUndecodable);
  EXPECT_EQ(result(0, Ramp(12), 2), CompositeImage::kUndecodable);  // fewer channels than RGB has
  EXPECT_EQ(result(1, {0, 2, 0, 2}), CompositeImage::kUndecodable);  // the table alone is short
  EXPECT_EQ(result(2, psdbuild::Deflate(Ramp(11))), CompositeImage::kUndecodable);
  EXPECT_EQ(result(7, Ramp(12)), CompositeImage::kUndecodable);
  // Multichannel documents have no colour planes: nothing to decode.
  doc.mode = kMultichannelMode;
  EXPECT_EQ(result(7, {}), 0);
}

}  // namespace
}  // namespace peelbox
