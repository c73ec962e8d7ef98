// The document driver, the header and colour-mode data, the image resources
// and the composite image: each rule and result code on real bytes.
#include <gtest/gtest.h>

#include <cstdio>

#include "psd/composite.h"
#include "psd/header.h"
#include "psd/image_resources.h"
#include "psd/document.h"
#include "tests/helpers.h"

namespace peelbox {
namespace {

using psdbuild::BuildDocument;
using psdbuild::BuiltDocument;
using psdbuild::DocumentRecipe;
using test::ByteVector;
using test::LoadBytes;
using test::LoadResult;

std::vector<std::string> Texts(const test::RecordingSink& sink) {
  std::vector<std::string> texts;
  for (const auto& status : sink.statuses) texts.push_back(status.text);
  return texts;
}

TEST(Document, ReadsEverySectionOfAValidDocument) {
  const BuiltDocument built = BuildDocument(test::SmallDocument());
  int32_t result = 1;
  const auto document = LoadBytes(built.bytes, &result);
  ASSERT_EQ(result, 0);
  ASSERT_TRUE(document);
  EXPECT_EQ(document->fileSize, static_cast<int64_t>(built.bytes.size()));
  EXPECT_EQ(document->header->columns, 4);
  EXPECT_EQ(document->header->rows, 2);
  EXPECT_TRUE(document->colorModeData->data.empty());
  ASSERT_EQ(document->imageResources->resources.size(), 2u);
  EXPECT_EQ(document->imageResources->resources[1]->name, "icc");
  ASSERT_EQ(document->layerMaskInfo->Layers().records.size(), 2u);
  EXPECT_EQ(document->layerMaskInfo->Layers().records[1]->name, "Layer 1");
  ASSERT_TRUE(document->layerMaskInfo->globalMask);
  EXPECT_EQ(document->layerMaskInfo->globalMask->length, 14u);
  // A document with layers has no use for its composite: measured, not kept.
  EXPECT_EQ(document->composite->length, 24u);
  EXPECT_TRUE(document->composite->pixels.empty());
}

TEST(Document, PathThatCannotBeOpenedGivesNoDocument) {
  int32_t result = 0;
  EXPECT_FALSE(LoadPsdDocument("/nonexistent/folder/file.psd", &result, nullptr));
  EXPECT_EQ(result, PsdDocument::kCannotOpen);
  EXPECT_EQ(result, -16384);
}

TEST(Document, ReadsTheSameWithoutAJob) {
  const BuiltDocument built = BuildDocument(test::SmallDocument());
  int32_t withoutJob = 1, withJob = 1;
  test::RecordingSink sink;
  const auto a = LoadBytes(built.bytes, &withoutJob, nullptr);
  const auto b = LoadBytes(built.bytes, &withJob, &sink);
  ASSERT_EQ(withoutJob, 0);
  ASSERT_EQ(withJob, 0);
  EXPECT_FALSE(sink.statuses.empty());
  EXPECT_EQ(a->layerMaskInfo->Layers().records.size(), b->layerMaskInfo->Layers().records.size());
  EXPECT_EQ(a->composite->length, b->composite->length);
}

TEST(Header, ResultCodes) {
  const ByteVector valid = BuildDocument(test::SmallDocument()).bytes;
  EXPECT_EQ(LoadResult(ByteVector(valid.begin(), valid.begin() + 25)), PsdHeader::kShortHeader);
  EXPECT_EQ(LoadResult({}), -2);

  DocumentRecipe doc = test::SmallDocument();
  doc.signature = "8BPX";
  EXPECT_EQ(LoadResult(BuildDocument(doc).bytes), PsdHeader::kBadSignature);
  doc.version = 7;  // both wrong: the signature is tested first
  EXPECT_EQ(LoadResult(BuildDocument(doc).bytes), -4);

  doc = test::SmallDocument();
  doc.version = 3;  // neither PSD nor PSB
  EXPECT_EQ(LoadResult(BuildDocument(doc).bytes), PsdHeader::kBadVersion);
  EXPECT_EQ(PsdHeader::kBadVersion, -8);
}

TEST(Header, KeepsEveryValueAndIgnoresTheReservedBytes) {
  DocumentRecipe doc = test::SmallDocument();
  doc.channels = 7;
  doc.depth = 16;
  doc.mode = 4;
  doc.layers.clear();
  doc.compositeData = test::Ramp(4 * 2 * 2 * 7);
  ByteVector bytes = BuildDocument(doc).bytes;
  for (int i = 6; i < 12; ++i) bytes[i] = 0xA5;
  int32_t result = 1;
  const auto document = LoadBytes(bytes, &result);
  ASSERT_EQ(result, 0);
  EXPECT_EQ(document->header->version, 1);
  EXPECT_EQ(document->header->channels, 7);
  EXPECT_EQ(document->header->depth, 16);
  EXPECT_EQ(document->header->mode, 4);
}

TEST(ColorModeData, ResultCodes) {
  const BuiltDocument built = BuildDocument(test::SmallDocument());
  // Exactly a valid header: the colour-mode length is missing.
  EXPECT_EQ(LoadResult(built.CutAt(26)), ColorModeData::kShortLength);

  DocumentRecipe doc = test::SmallDocument();
  doc.colorModeData = ByteVector(768, 3);
  const BuiltDocument indexed = BuildDocument(doc);
  EXPECT_EQ(LoadResult(indexed.CutAt(indexed.At("colorModeData") + 4 + 100)), ColorModeData::kShortData);

  // A length far beyond the file fails before anything is allocated.
  ByteVector huge = built.bytes;
  huge[26] = huge[27] = huge[28] = 0xFF;
  EXPECT_EQ(LoadResult(huge), -8);
}

TEST(ColorModeData, KeepsItsBytesWithoutPadding) {
  DocumentRecipe doc = test::SmallDocument();
  int32_t result = 1;
  auto document = LoadBytes(BuildDocument(doc).bytes, &result);
  ASSERT_EQ(result, 0);
  EXPECT_TRUE(document->colorModeData->data.empty());

  doc.colorModeData = ByteVector(768, 3);
  document = LoadBytes(BuildDocument(doc).bytes, &result);
  ASSERT_EQ(result, 0);
  EXPECT_EQ(document->colorModeData->length, 768u);

  // An odd length is followed directly by the image resources.
  doc.colorModeData = {1, 2, 3};
  document = LoadBytes(BuildDocument(doc).bytes, &result);
  ASSERT_EQ(result, 0);
  EXPECT_EQ(document->colorModeData->data.data()[2], 3);
  EXPECT_EQ(document->imageResources->resources.size(), 2u);
}

TEST(ImageResources, ResultCodesOfEachField) {
  DocumentRecipe doc = test::SmallDocument();
  doc.resources = {{1005, "", ByteVector(16, 1)}, {1039, "icc", ByteVector(5, 2)}};
  const BuiltDocument built = BuildDocument(doc);
  const size_t r0 = built.At("resource0");
  const size_t r1 = built.At("resource1");
  EXPECT_EQ(LoadResult(built.CutAt(built.At("imageResources") + 2)), ImageResourceList::kShortSectionLength);
  EXPECT_EQ(LoadResult(built.CutAt(r0 + 2)), ImageResource::kShortSignature);
  EXPECT_EQ(LoadResult(built.CutAt(r0 + 5)), ImageResource::kShortId);
  EXPECT_EQ(LoadResult(built.CutAt(r0 + 6)), ImageResource::kShortNameLength);
  EXPECT_EQ(LoadResult(built.CutAt(r0 + 7)), ImageResource::kShortNamePad);  // empty name: one pad byte
  EXPECT_EQ(LoadResult(built.CutAt(r1 + 8)), ImageResource::kShortName);
  EXPECT_EQ(LoadResult(built.CutAt(built.At("resource0.body") + 3)), ImageResource::kShortLength);
  EXPECT_EQ(LoadResult(built.CutAt(built.At("resource0.body") + 10)), ImageResource::kShortData);
  // The second body ends at an odd offset, so a pad byte follows it.
  const size_t bodyEnd = built.At("resource1.body") + 4 + 5;
  ASSERT_EQ(bodyEnd % 2, 1u);
  EXPECT_EQ(LoadResult(built.CutAt(bodyEnd)), ImageResource::kShortBodyPad);

  ByteVector bad = built.bytes;
  bad[r0 + 3] = 'N';
  EXPECT_EQ(LoadResult(bad), ImageResource::kBadSignature);
  bad[r0 + 3] = 'M';
  bad[r0 + 2] = 0;  // "8B\0M"
  EXPECT_EQ(LoadResult(bad), -32);

  ByteVector huge = built.bytes;
  huge[built.At("resource0.body")] = 0x7F;
  EXPECT_EQ(LoadResult(huge), -8);
}

TEST(ImageResources, PaddingOfNamesAndBodies) {
  DocumentRecipe doc = test::SmallDocument();
  // Names of 0, 1, 2 and 3 bytes, bodies ending at odd and even offsets.
  doc.resources = {{1, "", {1}}, {2, "a", {1, 2}}, {3, "ab", {1, 2, 3}}, {4, "abc", {}}, {5, "x", {9}}};
  int32_t result = 1;
  const auto document = LoadBytes(BuildDocument(doc).bytes, &result);
  ASSERT_EQ(result, 0);
  const auto& resources = document->imageResources->resources;
  ASSERT_EQ(resources.size(), 5u);
  EXPECT_EQ(resources[2]->name, "ab");
  EXPECT_EQ(resources[2]->length, 3u);
  EXPECT_TRUE(resources[3]->data.empty());
  EXPECT_EQ(resources[4]->data.data()[0], 9);
  EXPECT_EQ(document->layerMaskInfo->Layers().records.size(), 2u);
}

TEST(ImageResources, EmptySectionAndNamesCutAtAZeroByte) {
  DocumentRecipe doc = test::SmallDocument();
  doc.resources.clear();
  int32_t result = 1;
  auto document = LoadBytes(BuildDocument(doc).bytes, &result);
  ASSERT_EQ(result, 0);
  EXPECT_TRUE(document->imageResources->resources.empty());
  EXPECT_EQ(document->layerMaskInfo->Layers().records.size(), 2u);

  doc.resources = {{7, std::string("ab\0cd", 5), {}}};
  document = LoadBytes(BuildDocument(doc).bytes, &result);
  ASSERT_EQ(result, 0);
  EXPECT_EQ(document->imageResources->resources[0]->name, "ab");
}

TEST(ImageResources, LastBlockMayRunPastTheDeclaredEnd) {
  // Declare only 4 bytes: the first block is read whole, and the layer
  // section is read from where it ended.
  DocumentRecipe doc = test::SmallDocument();
  doc.resources.resize(1);
  const BuiltDocument one = BuildDocument(doc);
  ByteVector bytes = one.bytes;
  bytes[one.At("imageResources") + 3] = 4;
  int32_t result = 1;
  const auto document = LoadBytes(bytes, &result);
  ASSERT_EQ(result, 0);
  EXPECT_EQ(document->imageResources->resources.size(), 1u);
  EXPECT_EQ(document->layerMaskInfo->Layers().records.size(), 2u);
}

TEST(Composite, ResultCodesAndBuffers) {
  DocumentRecipe doc = test::SmallDocument();
  const BuiltDocument built = BuildDocument(doc);
  EXPECT_EQ(LoadResult(built.CutAt(built.At("composite"))), CompositeImage::kShortCompression);
  EXPECT_EQ(LoadResult(built.CutAt(built.At("composite") + 1)), -2);

  int32_t result = 1;
  auto document = LoadBytes(built.CutAt(built.At("composite") + 2), &result);
  ASSERT_EQ(result, 0);
  EXPECT_EQ(document->composite->length, 0u);

  doc.compositeCompression = 1;
  doc.compositeData = {0xFE, 0x11, 0xAA, 0xBB};  // everything to the end of the file
  document = LoadBytes(BuildDocument(doc).bytes, &result);
  ASSERT_EQ(result, 0);
  EXPECT_EQ(document->composite->compression, 1);
  EXPECT_EQ(document->composite->length, 4u);
  EXPECT_TRUE(document->composite->data.empty());
}

TEST(Status, TextsInReadingOrder) {
  const BuiltDocument built = BuildDocument(test::SmallDocument());
  test::RecordingSink sink;
  int32_t result = 1;
  LoadBytes(built.bytes, &result, &sink);
  ASSERT_EQ(result, 0);
  EXPECT_EQ(Texts(sink), test::SmallDocumentStatuses());
}

TEST(Status, ProgressFollowsTheFilePosition) {
  DocumentRecipe doc = test::SmallDocument();
  doc.compositeData = ByteVector(3000, 7);  // the composite is most of the file
  const BuiltDocument built = BuildDocument(doc);
  test::RecordingSink sink;
  int32_t result = 1;
  LoadBytes(built.bytes, &result, &sink);
  ASSERT_EQ(result, 0);
  int previous = 0;
  for (const auto& status : sink.statuses) {
    EXPECT_GE(status.progress, previous) << status.text;
    EXPECT_LE(status.progress, 50);
    previous = status.progress;
  }
  // Reported at the start of the composite image data.
  EXPECT_EQ(sink.statuses.back().progress, static_cast<int>(50 * built.At("composite") / built.bytes.size()));
  EXPECT_LT(sink.statuses.back().progress, 10);
}

TEST(Status, ImageDataTextCarriesColumnsRowsAndBits) {
  DocumentRecipe doc = test::SmallDocument();
  doc.columns = 640;
  doc.rows = 480;
  test::RecordingSink sink;
  int32_t result = 1;
  LoadBytes(BuildDocument(doc).bytes, &result, &sink);
  ASSERT_EQ(result, 0);
  EXPECT_EQ(sink.statuses.back().text, "Reading image data (640x480x24 bits)...");
}

TEST(Status, ImageDataBitsDoNotOverflow) {
  DocumentRecipe doc = test::SmallDocument();
  doc.channels = 65535;
  doc.depth = 65535;
  doc.mode = kMultichannelMode;  // no colour planes to decode
  doc.layers.clear();
  test::RecordingSink sink;
  int32_t result = 1;
  LoadBytes(BuildDocument(doc).bytes, &result, &sink);
  ASSERT_EQ(result, 0);
  EXPECT_EQ(sink.statuses.back().text, "Reading image data (4x2x4294836225 bits)...");
}

TEST(Status, ResourceIdsAreUnsigned) {
  DocumentRecipe doc = test::SmallDocument();
  doc.resources = {{40000, "", {}}};
  test::RecordingSink sink;
  int32_t result = 1;
  LoadBytes(BuildDocument(doc).bytes, &result, &sink);
  ASSERT_EQ(result, 0);
  EXPECT_EQ(sink.statuses.front().text, "Read image resource number: 1; Res. ID: 40000");
}

TEST(Status, ProgressAtTheStartMiddleAndEndOfTheFile) {
  test::RecordingSink sink;
  PsdDocument document;
  document.job = &sink;
  PsdBlock block;
  block.owner = &document;
  std::FILE* file = std::tmpfile();
  ASSERT_NE(file, nullptr);
  const ByteVector bytes(1000, 0);
  std::fwrite(bytes.data(), 1, bytes.size(), file);
  document.fileSize = 1000;
  for (long position : {0L, 500L, 999L, 1000L}) {
    std::fseek(file, position, SEEK_SET);
    block.ReportProgress(file, "x");
  }
  document.fileSize = 7;  // the division falls just short of 100
  std::fseek(file, 7, SEEK_SET);
  block.ReportProgress(file, "x");
  std::fclose(file);
  ASSERT_EQ(sink.statuses.size(), 5u);
  EXPECT_EQ(sink.statuses[0].progress, 0);
  EXPECT_EQ(sink.statuses[1].progress, 25);
  EXPECT_EQ(sink.statuses[2].progress, 49);
  EXPECT_EQ(sink.statuses[3].progress, 50);
  EXPECT_EQ(sink.statuses[4].progress, 49);
}

TEST(Factories, RefuseToCreateWithoutAnOwner) {
  int32_t result = 0;
  EXPECT_FALSE(CreateHeader(nullptr, stdin, &result));
  EXPECT_EQ(result, PsdBlock::kNoOwner);
  EXPECT_EQ(result, -255);
  result = 0;
  EXPECT_FALSE(CreateLayerMaskInfo(nullptr, stdin, &result));
  EXPECT_EQ(result, -255);
}

TEST(Blocks, ReadWithoutASourceGivesMinusOne) {
  PsdHeader header;
  EXPECT_EQ(header.Read(nullptr), -1);
  PsdBlock block;
  EXPECT_EQ(block.Read(nullptr), -1);
  EXPECT_EQ(block.ReadFromMemory(nullptr), -1);
  ImageResourceList resources;
  EXPECT_EQ(resources.Read(nullptr), -1);
  CompositeImage composite;
  EXPECT_EQ(composite.Read(nullptr), -1);
}

TEST(Blocks, MemoryReadIsAViewAndStaysInsideItsBuffer) {
  const uint8_t bytes[] = {0, 0, 0, 3, 7, 8, 9, 0, 0, 0, 9, 1};
  MemoryCursor cursor{bytes, bytes + sizeof bytes};
  PsdBlock first;
  ASSERT_EQ(first.ReadFromMemory(&cursor), 0);
  EXPECT_TRUE(first.borrowed());
  EXPECT_EQ(first.data.data(), bytes + 4);
  EXPECT_EQ(cursor.position, bytes + 7);
  PsdBlock second;  // claims 9 bytes where 1 is left
  EXPECT_NE(second.ReadFromMemory(&cursor), 0);
  MemoryCursor shortCursor{bytes, bytes + 2};
  EXPECT_NE(second.ReadFromMemory(&shortCursor), 0);
}

}  // namespace
}  // namespace peelbox
