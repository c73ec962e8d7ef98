// The job's side of loading: its fields, the status message it sends, and the
// loader's code as its result.
#include <gtest/gtest.h>

#include "export/rip_job.h"
#include "psd/document.h"
#include "tests/helpers.h"

namespace peelbox {
namespace {

using test::Message;

using psdbuild::BuildDocument;

TEST(RipJobLoad, ConstructorStoresItsValuesUnchanged) {
  test::RecordingReceiver receiver;
  RipJob job("in.psd", "out", 7, &receiver);
  EXPECT_EQ(job.sourcePath, "in.psd");
  EXPECT_EQ(job.outputFolder, "out");  // no separator added
  EXPECT_TRUE(job.options.ignoreAlpha);
  EXPECT_EQ(job.window, &receiver);
  EXPECT_FALSE(job.document);
}

TEST(RipJobLoad, StatusIsSentWithThePackedPosition) {
  test::RecordingReceiver receiver;
  RipJob job("", "", 0, &receiver);
  job.SendStatus("Reading...", 37);
  job.SendStatus("x", 0x12345);  // only the low 16 bits of a position travel
  ASSERT_EQ(receiver.messages.size(), 2u);
  EXPECT_EQ(receiver.messages[0].message, 0x480u);
  EXPECT_EQ(receiver.messages[0].text, "Reading...");
  EXPECT_EQ(receiver.messages[0].lParam, (37u << 16) | 100u);
  EXPECT_EQ(ProgressPosition(receiver.messages[0].lParam), 37);
  EXPECT_EQ(ProgressMaximum(receiver.messages[0].lParam), 100);
  EXPECT_EQ(receiver.messages[1].lParam, (0x2345u << 16) | 100u);
  EXPECT_EQ(WM_RIP_STARTED, 0x500u);
  EXPECT_EQ(WM_RIP_DONE, 0x600u);
}

TEST(RipJobLoad, NothingIsSentWithoutAWindow) {
  test::TempDir dir;
  RipJob job(dir.Write("a.psd", BuildDocument(test::SmallDocument()).bytes), dir.Folder(), 0, nullptr);
  job.SendStatus("x", 1);
  EXPECT_EQ(job.Run(), 0);
  EXPECT_TRUE(job.document);
}

TEST(RipJobLoad, RunReturnsTheLoadersCode) {
  test::TempDir dir;
  psdbuild::DocumentRecipe doc = test::SmallDocument();
  const std::string valid = dir.Write("valid.psd", BuildDocument(doc).bytes);
  doc.signature = "GIF8";
  const std::string notPsd = dir.Write("not.psd", BuildDocument(doc).bytes);
  doc.signature = "8BPS";
  doc.version = 3;
  const std::string other = dir.Write("other.psd", BuildDocument(doc).bytes);

  const std::pair<std::string, int32_t> cases[] = {
      {dir.Folder() + "missing.psd", -16384}, {notPsd, -4}, {other, -8}, {valid, 0}};
  for (const auto& [path, code] : cases) {
    test::RecordingReceiver receiver;
    RipJob job(path, dir.Folder(), 0, &receiver);
    EXPECT_EQ(job.Run(), code) << path;
    EXPECT_EQ(static_cast<bool>(job.document), code == 0);
  }
}

TEST(RipJobLoad, ReaderStatusesReachTheWindow) {
  test::TempDir dir;
  test::RecordingReceiver receiver;
  RipJob job(dir.Write("a.psd", BuildDocument(test::SmallDocument()).bytes), dir.Folder(), 0, &receiver);
  ASSERT_EQ(job.Run(), 0);
  ASSERT_GE(receiver.messages.size(), 8u);
  EXPECT_EQ(receiver.messages[0].text, "Read image resource number: 1; Res. ID: 1005");
  EXPECT_EQ(receiver.messages[7].text, "Reading image data (4x2x24 bits)...");
  for (size_t i = 0; i < 8; ++i) {
    const Message& m = receiver.messages[i];
    EXPECT_EQ(m.message, WM_RIP_STATUS);
    EXPECT_EQ(ProgressMaximum(m.lParam), 100);
    EXPECT_LE(ProgressPosition(m.lParam), 50);
  }
  EXPECT_EQ(job.document->layerMaskInfo->Layers().records.size(), 2u);
}

}  // namespace
}  // namespace peelbox
