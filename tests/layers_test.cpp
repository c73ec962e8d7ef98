// The layer and mask section and the layer records.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "psd/composite.h"
#include "psd/document.h"
#include "tests/helpers.h"

namespace peelbox {
namespace {

using psdbuild::BuildDocument;
using psdbuild::BuiltDocument;
using psdbuild::DocumentRecipe;
using psdbuild::LayerRecipe;
using test::ByteVector;
using test::LoadBytes;
using test::LoadResult;

std::unique_ptr<PsdDocument> Load(const DocumentRecipe& doc, test::RecordingSink* sink = nullptr) {
  int32_t result = 1;
  auto document = LoadBytes(BuildDocument(doc).bytes, &result, sink);
  EXPECT_EQ(result, 0);
  return document;
}

LayerRecipe LayerWithExtraData(ByteVector extra) {
  LayerRecipe layer;
  layer.extraData = std::move(extra);
  return layer;
}

TEST(LayerSection, ResultCodesOfTheSectionFields) {
  const BuiltDocument built = BuildDocument(test::SmallDocument());
  EXPECT_EQ(LoadResult(built.CutAt(built.At("layerSection") + 2)), LayerMaskInfo::kShortSectionLength);
  EXPECT_EQ(LoadResult(built.CutAt(built.At("layerInfo") + 3)), -2);
  EXPECT_EQ(LoadResult(built.CutAt(built.At("layerCount") + 1)), LayerMaskInfo::kShortLayerCount);
  EXPECT_EQ(LoadResult(built.CutAt(built.At("globalMask") + 2)), -2);
  EXPECT_EQ(LoadResult(built.CutAt(built.At("globalMask") + 6)), -8);
  // A global mask longer than the rest of the section is not read: the
  // section's length holds over it.
  ByteVector huge = built.bytes;
  huge[built.At("globalMask")] = 0x40;
  int32_t result = 1;
  const auto document = LoadBytes(huge, &result);
  ASSERT_EQ(result, 0);
  EXPECT_FALSE(document->layerMaskInfo->globalMask);
}

TEST(LayerSection, SectionLengthZeroHasNoLayers) {
  DocumentRecipe doc = test::SmallDocument();
  doc.layerSection = false;
  const auto document = Load(doc);
  EXPECT_TRUE(document->layerMaskInfo->Layers().records.empty());
  EXPECT_FALSE(document->layerMaskInfo->globalMask);
  EXPECT_EQ(document->composite->length, doc.compositeData.size());
}

TEST(LayerSection, LayerInfoLengthZeroStillReadsTheRestOfTheSection) {
  DocumentRecipe doc = test::SmallDocument();
  doc.layerSection = false;
  const BuiltDocument built = BuildDocument(doc);
  // Section length 12, layer info length 0, an empty global mask info, then
  // two pad bytes: the composite starts where the section ends.
  ByteVector bytes(built.bytes.begin(), built.bytes.begin() + built.At("layerSection"));
  for (uint8_t b : {0, 0, 0, 10, 0, 0, 0, 0, 0, 0, 0, 0, 0xEE, 0xEE}) bytes.push_back(b);
  bytes.insert(bytes.end(), built.bytes.begin() + built.At("composite"), built.bytes.end());
  int32_t result = 1;
  const auto document = LoadBytes(bytes, &result);
  ASSERT_EQ(result, 0);
  EXPECT_TRUE(document->layerMaskInfo->Layers().records.empty());
  ASSERT_TRUE(document->layerMaskInfo->globalMask);
  EXPECT_EQ(document->layerMaskInfo->globalMask->length, 0u);
  EXPECT_EQ(document->composite->length, doc.compositeData.size());
}

TEST(LayerSection, NegativeCountStandsForItsAbsoluteValue) {
  DocumentRecipe doc = test::SmallDocument();
  doc.layerCountField = -2;
  test::RecordingSink sink;
  const auto document = Load(doc, &sink);
  EXPECT_EQ(document->layerMaskInfo->Layers().records.size(), 2u);
  EXPECT_EQ(sink.statuses[2].text, "Reading layers section, contains: 2 layers.");

  doc.layers.clear();
  doc.layerCountField = -32768;  // has no absolute value: no records
  test::RecordingSink other;
  const auto none = Load(doc, &other);
  EXPECT_TRUE(none->layerMaskInfo->Layers().records.empty());
  EXPECT_TRUE(none->layerMaskInfo->globalMask);
  EXPECT_EQ(other.statuses[2].text, "Reading layers section, contains: -32768 layers.");
}

TEST(LayerSection, GlobalMaskOnlyWhenTheLengthsSaySo) {
  DocumentRecipe doc = test::SmallDocument();
  doc.globalMask.reset();  // section length - layer info length == 4
  EXPECT_FALSE(Load(doc)->layerMaskInfo->globalMask);
  doc.globalMask = ByteVector{};
  const auto document = Load(doc);
  ASSERT_TRUE(document->layerMaskInfo->globalMask);
  EXPECT_EQ(document->layerMaskInfo->globalMask->length, 0u);
}

TEST(LayerRecord, ResultCodesOfEachField) {
  DocumentRecipe doc = test::SmallDocument();
  doc.layers[0].extraData = ByteVector(11, 0);  // odd: a pad byte follows the record
  doc.layers[0].extraData->at(8) = 0;           // no name
  const BuiltDocument built = BuildDocument(doc);
  const size_t layer = built.At("layer1");
  const size_t channels = built.At("layer1.channels");
  const size_t blend = built.At("layer1.blend");
  const size_t extra = built.At("layer1.extraData");
  const std::pair<size_t, int32_t> cuts[] = {
      {layer + 1, LayerRecord::kShortTop},
      {layer + 5, LayerRecord::kShortLeft},
      {layer + 9, LayerRecord::kShortBottom},
      {layer + 13, LayerRecord::kShortRight},
      {layer + 17, LayerRecord::kShortChannelCount},
      {channels + 2 * 6 + 3, LayerRecord::kBadChannelEntry},  // inside the third entry
      {blend + 2, LayerRecord::kShortBlendSignature},
      {blend + 6, LayerRecord::kShortBlendKey},
      {blend + 8, LayerRecord::kShortOpacity},
      {blend + 9, LayerRecord::kShortClipping},
      {blend + 10, LayerRecord::kShortFlags},
      {blend + 11, LayerRecord::kShortFiller},
      {extra + 3, LayerRecord::kShortLength},
      {extra + 4 + 10, LayerRecord::kShortData},
      {built.At("layer0.extraData") + 4 + 11, LayerRecord::kShortClipping},  // the pad byte
  };
  for (const auto& [at, code] : cuts) EXPECT_EQ(LoadResult(built.CutAt(at)), code) << "cut at " << at;

  ByteVector huge = built.bytes;
  huge[extra] = 0x7F;
  EXPECT_EQ(LoadResult(huge), -8);
}

TEST(LayerRecord, FieldsAsStored) {
  DocumentRecipe doc = test::SmallDocument();
  LayerRecipe& layer = doc.layers[1];
  layer.top = -5;
  layer.left = 7;
  layer.bottom = -3;
  layer.right = 10;
  layer.blendSignature = "MIB8";
  layer.blendKey = "mul ";
  layer.opacity = 128;
  layer.clipping = 1;
  layer.flags = 8;
  layer.filler = 9;
  for (auto& channel : layer.channels) channel.stored.resize(6);
  const auto document = Load(doc);
  const LayerRecord& record = *document->layerMaskInfo->Layers().records[1];
  EXPECT_EQ(record.top, -5);
  EXPECT_EQ(record.left, 7);
  EXPECT_EQ(record.bottom, -3);
  EXPECT_EQ(record.right, 10);
  EXPECT_EQ(record.channelCount, 4);
  ASSERT_EQ(record.channels.size(), 4u);
  EXPECT_EQ(record.channels[0]->id, -1);
  EXPECT_EQ(std::memcmp(record.blendSignature, "MIB8", 4), 0);
  EXPECT_EQ(std::memcmp(record.blendKey, "mul ", 4), 0);
  EXPECT_EQ(record.opacity, 128);
  EXPECT_EQ(record.clipping, 1);
  EXPECT_EQ(record.flags, 8);
  EXPECT_EQ(record.filler, 9);
}

TEST(LayerRecord, ExtraDataSubBlocksAndName) {
  DocumentRecipe doc = test::SmallDocument();
  doc.layers.push_back(LayerWithExtraData({}));                         // nothing
  doc.layers.push_back(LayerWithExtraData({0, 0, 0, 2, 0xAA, 0xBB}));   // mask data only
  doc.layers.push_back(LayerWithExtraData({0, 0, 0, 0, 0, 0, 0, 1, 5, 0, 0, 0, 0}));  // empty name
  doc.layers.push_back(LayerWithExtraData({0, 0, 0, 0, 0, 0, 0, 0, 5, 'a', 'b', 0, 'c', 'd', 1, 2}));
  const auto document = Load(doc);
  const auto& records = document->layerMaskInfo->Layers().records;
  ASSERT_EQ(records.size(), 6u);

  EXPECT_EQ(records[2]->name, "");
  EXPECT_FALSE(records[2]->maskData);
  EXPECT_FALSE(records[2]->blendingRanges);

  ASSERT_TRUE(records[3]->maskData);
  EXPECT_TRUE(records[3]->maskData->borrowed());
  EXPECT_EQ(records[3]->maskData->length, 2u);
  EXPECT_EQ(records[3]->maskData->data.data(), records[3]->data.data() + 4);  // a view, not a copy
  EXPECT_FALSE(records[3]->blendingRanges);
  EXPECT_EQ(records[3]->name, "");

  ASSERT_TRUE(records[4]->blendingRanges);
  EXPECT_EQ(records[4]->blendingRanges->length, 1u);
  EXPECT_EQ(records[4]->name, "");

  EXPECT_EQ(records[5]->name, "ab");  // cut at the zero byte
}

TEST(LayerRecord, NoChannelsAndAStatusForEachRecord) {
  DocumentRecipe doc = test::SmallDocument();
  LayerRecipe empty;
  empty.name = "Group";
  doc.layers.insert(doc.layers.begin() + 1, empty);
  test::RecordingSink sink;
  const auto document = Load(doc, &sink);
  EXPECT_EQ(document->layerMaskInfo->Layers().records[1]->channelCount, 0);
  EXPECT_EQ(document->layerMaskInfo->Layers().records[2]->channels.size(), 4u);
  std::vector<std::string> texts;
  for (const auto& status : sink.statuses) texts.push_back(status.text);
  EXPECT_NE(std::find(texts.begin(), texts.end(), "Reading data for layer \"Group\" with 0 channels."), texts.end());
  EXPECT_NE(std::find(texts.begin(), texts.end(), "Finished reading layer info: \"Group\""), texts.end());
}

TEST(LayerRecord, PadByteOnlyAfterAnOddPosition) {
  for (size_t size : {12u, 13u}) {
    DocumentRecipe doc = test::SmallDocument();
    ByteVector extra(size, 0);
    extra[8] = 3;
    extra[9] = 'o';
    extra[10] = 'd';
    extra[11] = 'd';
    doc.layers[0].extraData = extra;
    const auto document = Load(doc);
    EXPECT_EQ(document->layerMaskInfo->Layers().records[0]->name, "odd");
    EXPECT_EQ(document->layerMaskInfo->Layers().records[1]->name, "Layer 1");
  }
}

TEST(LayerRecord, OverrunningSubBlocksFail) {
  const struct {
    ByteVector extra;
    int32_t code;
  } cases[] = {
      {{0, 0, 0, 9, 1, 2}, LayerRecord::kBadMaskData},              // mask data past the end
      {{0, 0}, LayerRecord::kBadMaskData},                          // no room for its length
      {{0, 0, 0, 0, 0, 0, 0, 5, 1}, LayerRecord::kBadBlendingRanges},
      {{0, 0, 0, 0, 0, 0}, LayerRecord::kBadBlendingRanges},
      {{0, 0, 0, 0, 0, 0, 0, 0, 9, 'a', 'b'}, LayerRecord::kBadMaskData},  // name past the end
  };
  for (const auto& c : cases) {
    DocumentRecipe doc = test::SmallDocument();
    doc.layers[1].extraData = c.extra;
    EXPECT_EQ(LoadResult(BuildDocument(doc).bytes), c.code);
  }
}

TEST(LayerRecord, ReadWithoutAFileGivesMinusOne) {
  LayerRecord record;
  EXPECT_EQ(record.Read(nullptr), -1);
  LayerMaskInfo info;
  EXPECT_EQ(info.Read(nullptr), -1);
}

}  // namespace
}  // namespace peelbox
