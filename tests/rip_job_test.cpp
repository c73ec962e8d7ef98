// The rip job's loop: which layers are written, the export statuses and
// their positions, failures that stop the job, the counts and the report.
#include <gtest/gtest.h>

#include <filesystem>

#include "export/export_result.h"
#include "export/file_name.h"
#include "export/report.h"
#include "export/rip_job.h"
#include "psd/document.h"
#include "tests/helpers.h"

namespace peelbox {
namespace {

namespace fs = std::filesystem;
using psdbuild::BuildDocument;
using psdbuild::ChannelSpec;
using psdbuild::DocumentSpec;
using psdbuild::LayerSpec;
using test::ByteVector;

LayerSpec Layer(const std::string& name, std::vector<int16_t> ids, int32_t width = 2, int32_t height = 2,
                int bytesPerSample = 1) {
  LayerSpec layer;
  layer.name = name;
  layer.right = width;
  layer.bottom = height;
  const size_t size = static_cast<size_t>(std::max(width, 0) * std::max(height, 0) * bytesPerSample);
  for (int16_t id : ids) layer.channels.push_back(psdbuild::RawChannel(id, test::Ramp(size, 40 + id)));
  return layer;
}

DocumentSpec WithLayers(std::vector<LayerSpec> layers) {
  DocumentSpec doc;
  doc.rows = 2;
  doc.columns = 2;
  doc.layers = std::move(layers);
  doc.compositeData = test::Ramp(2 * 2 * 3);
  return doc;
}

std::vector<std::string> ExportStatuses(const test::RecordingReceiver& receiver) {
  std::vector<std::string> texts;
  for (const auto& m : receiver.messages) {
    if (m.text.rfind("Exporting layer: ", 0) == 0) {
      texts.push_back(m.text + " @" + std::to_string(ProgressPosition(m.lParam)));
    }
  }
  return texts;
}

struct JobRun {
  int32_t result = 1;
  int layersRipped = -1;
  int filesSaved = -1;
  std::vector<std::string> files;
  test::RecordingReceiver receiver;
};

std::unique_ptr<JobRun> RunJob(const DocumentSpec& doc, const std::string& folder = "") {
  test::TempDir in, out;
  auto run = std::make_unique<JobRun>();
  RipJob job(in.Write("in.psd", BuildDocument(doc).bytes), folder.empty() ? out.Folder() : folder, 0,
             &run->receiver);
  run->result = job.Run();
  run->layersRipped = job.LayersRipped();
  run->filesSaved = job.FilesSaved();
  run->files = out.FileNames();
  return run;
}

TEST(ExportProgress, PositionsAsThePercentagesWereAlwaysComputed) {
  EXPECT_EQ(ExportProgress(0, 1), 50);
  EXPECT_EQ(ExportProgress(0, 14), 50);
  EXPECT_EQ(ExportProgress(7, 14), 74);
  EXPECT_EQ(ExportProgress(7, 35), 59);
  EXPECT_EQ(ExportProgress(34, 35), 98);
  EXPECT_LT(ExportProgress(999, 1000), 100);
}

TEST(FileNames, FolderGainsTheSeparatorOnlyWhenItHasNone) {
  EXPECT_EQ(WithSeparator("out"), "out/");
  EXPECT_EQ(WithSeparator("out/"), "out/");
  EXPECT_EQ(WithSeparator("C:\\out\\"), "C:\\out\\");
  EXPECT_EQ(WithSeparator(""), "");
}

TEST(ChannelRule, WhichLayersAreWritten) {
  const struct {
    std::vector<int16_t> ids;
    const char* exported;  // "rgb", "rgba" or nullptr
  } cases[] = {
      {{0, 1, 2}, "rgb"},
      {{2, 0, 1}, "rgb"},
      {{0, 1, 2, -1}, "rgba"},
      {{-1, 0, 1, 2}, "rgba"},
      {{0, 1, 2, 3}, "rgba"},
      {{-1, 0, 1, 2, -2}, "rgba"},      // the user mask is not applied
      {{-1, 0, 1, 2, -2, -3}, "rgba"},
      {{0, 1, 2, -2}, nullptr},         // colour and mask, no transparency
      {{0, 1, -1}, nullptr},
      {{0, 1, 2, -2, -3}, nullptr},
      {{0, 1, 2, -1, 3}, nullptr},      // 3 next to -1 is a channel of its own
      {{0, 1, 2, 2}, nullptr},
      {{0, 1, 2, -1, 4}, nullptr},
      {{0}, nullptr},
      {{-1, 0}, nullptr},
  };
  for (const auto& c : cases) {
    DocumentSpec doc = WithLayers({Layer("L", c.ids)});
    int32_t result = 1;
    const auto document = test::LoadBytes(BuildDocument(doc).bytes, &result);
    ASSERT_EQ(result, 0);
    const auto planes = ChooseLayerPlanes(*document, *document->layerMaskInfo->Layers().records[0]);
    const char* exported = planes ? (planes->withAlpha ? "rgba" : "rgb") : nullptr;
    EXPECT_STREQ(exported, c.exported) << ::testing::PrintToString(c.ids);
  }
}

TEST(ChannelRule, OnlyEightBitRgbDocumentsAndLayersWithPixels) {
  const auto writes = [](DocumentSpec doc) {
    int32_t result = 1;
    const auto document = test::LoadBytes(BuildDocument(doc).bytes, &result);
    EXPECT_EQ(result, 0);
    if (!document) return false;
    return ChooseLayerPlanes(*document, *document->layerMaskInfo->Layers().records[0]).has_value();
  };
  EXPECT_TRUE(writes(WithLayers({Layer("L", {0, 1, 2})})));
  for (uint16_t mode : {1, 2, 4, 9}) {  // greyscale, indexed, CMYK, Lab
    DocumentSpec doc = WithLayers({Layer("L", {0, 1, 2, -1})});
    doc.mode = mode;
    EXPECT_FALSE(writes(doc)) << mode;
  }
  DocumentSpec sixteen = WithLayers({Layer("L", {0, 1, 2}, 1, 2, 2)});
  sixteen.depth = 16;
  EXPECT_FALSE(writes(sixteen));
  EXPECT_FALSE(writes(WithLayers({Layer("L", {0, 1, 2, -1}, 0, 0)})));
  EXPECT_FALSE(writes(WithLayers({Layer("L", {0, 1, 2, -1}, 3, -1)})));
  // A compression without a decoded plane.
  DocumentSpec unknown = WithLayers({Layer("L", {0, 1, 2})});
  unknown.layers[0].channels[1] = ChannelSpec{1, 9, {0x78, 0x9C}, std::nullopt};
  EXPECT_FALSE(writes(unknown));
}

TEST(RunLoop, StatusForEveryLayerAndFilesForTheWrittenOnes) {
  const auto run = RunJob(WithLayers({
      Layer("Background", {0, 1, 2}),
      Layer("</Layer group>", {-1, 0, 1, 2}, 0, 0),
      Layer("Mask only", {0, 1, 2, -2}),
      Layer("Top", {-1, 0, 1, 2}),
  }));
  ASSERT_EQ(run->result, 0);
  EXPECT_EQ(ExportStatuses(run->receiver), (std::vector<std::string>{
                                               "Exporting layer: \"Background\"... @50",
                                               "Exporting layer: \"</Layer group>\"... @62",
                                               "Exporting layer: \"Mask only\"... @75",
                                               "Exporting layer: \"Top\"... @87",
                                           }));
  EXPECT_EQ(run->files, (std::vector<std::string>{"Background.gif", "Background.png", "Top.gif", "Top.png"}));
  EXPECT_EQ(run->layersRipped, 2);
  EXPECT_EQ(run->filesSaved, 4);
}

TEST(RunLoop, StatusShowsTheNameBeforeReplacement) {
  const auto run = RunJob(WithLayers({Layer("a/b: \"c\"", {0, 1, 2})}));
  ASSERT_EQ(run->result, 0);
  EXPECT_EQ(ExportStatuses(run->receiver), std::vector<std::string>{"Exporting layer: \"a/b: \"c\"\"... @50"});
  EXPECT_EQ(run->files, (std::vector<std::string>{"a_b_ _c_.gif", "a_b_ _c_.png"}));
}

TEST(RunLoop, EmptyLayerListAndSixteenBitDocumentsWriteNothing) {
  const auto empty = RunJob(WithLayers({}));
  EXPECT_EQ(empty->result, 0);
  EXPECT_TRUE(ExportStatuses(empty->receiver).empty());
  EXPECT_TRUE(empty->files.empty());

  DocumentSpec sixteen = WithLayers({Layer("A", {0, 1, 2}, 1, 2, 2), Layer("B", {-1, 0, 1, 2}, 1, 2, 2)});
  sixteen.depth = 16;
  const auto run = RunJob(sixteen);
  EXPECT_EQ(run->result, 0);
  EXPECT_EQ(ExportStatuses(run->receiver).size(), 2u);
  EXPECT_TRUE(run->files.empty());
  EXPECT_EQ(run->layersRipped, 0);
  EXPECT_EQ(run->filesSaved, 0);
}

TEST(RunLoop, FailingLayerStopsTheJobAndEarlierFilesStay) {
  test::TempDir in, out;
  // The third written layer's PNG path is taken by a folder.
  fs::create_directory(out.path() / "C.png");
  RipJob job(in.Write("in.psd", BuildDocument(WithLayers({Layer("A", {0, 1, 2}), Layer("skip", {0, 1}),
                                                          Layer("B", {0, 1, 2}), Layer("C", {0, 1, 2}),
                                                          Layer("D", {0, 1, 2})}))
                                    .bytes),
             out.Folder(), 0, nullptr);
  EXPECT_EQ(job.Run(), kWriteFailed);
  EXPECT_EQ(out.FileNames(), (std::vector<std::string>{"A.gif", "A.png", "B.gif", "B.png", "C.png"}));
  EXPECT_TRUE(fs::is_empty(out.path() / "C.png"));
  EXPECT_EQ(job.LayersRipped(), 2);
  EXPECT_EQ(job.FilesSaved(), 4);
  EXPECT_EQ(job.FailedStep(), FailedIn::kOutputFile);
  EXPECT_EQ(job.Error(), "Cannot write \"" + out.Folder() + "C.png\": Is a directory.");
}

TEST(RunLoop, GifThatCannotBeWrittenFailsAfterACompletePng) {
  test::TempDir in, out;
  fs::create_directory(out.path() / "A.gif");
  RipJob job(in.Write("in.psd", BuildDocument(WithLayers({Layer("A", {0, 1, 2})})).bytes), out.Folder(), 0,
             nullptr);
  EXPECT_EQ(job.Run(), kWriteFailed);
  ASSERT_TRUE(fs::is_regular_file(out.path() / "A.png"));
  EXPECT_GT(fs::file_size(out.path() / "A.png"), 50u);
  ASSERT_EQ(job.OutputFiles().size(), 1u);
  EXPECT_EQ(job.OutputFiles()[0].path, out.Folder() + "A.png");
  EXPECT_EQ(job.LayersRipped(), 0);
  EXPECT_EQ(out.FileNames(), (std::vector<std::string>{"A.gif", "A.png"}));  // no temporary file left
}

TEST(RunLoop, LoadFailureIsTheResultAndWritesNothing) {
  test::TempDir out;
  RipJob job(out.Folder() + "missing.psd", out.Folder(), 0, nullptr);
  EXPECT_EQ(job.Run(), -16384);
  EXPECT_TRUE(out.FileNames().empty());
  EXPECT_EQ(job.FailedStep(), FailedIn::kSource);
}

JobSummary Summary(const std::string& source, const std::string& folder, int32_t result, int layers, int files) {
  JobSummary summary;
  summary.sourcePath = source;
  summary.outputFolder = folder;
  summary.result = result;
  summary.layersRipped = layers;
  summary.filesSaved = files;
  return summary;
}

TEST(Report, SuccessTextCountsWhatWasWritten) {
  JobSummary summary = Summary("C:\\in.psd", "C:\\out\\", 0, 3, 6);
  EXPECT_EQ(ReportText(summary),
            "Ripping of file: \r\n\"C:\\in.psd\"\r\nTo output folder: \r\n\"C:\\out\\\"\r\nDone.\r\n\r\n"
            "Layers ripped:\t3\r\nFiles saved:\t6\r\n");
  summary = Summary("", "", 0, 0, 0);
  summary.note = "No layer of this document has pixels of its own.";
  EXPECT_EQ(ReportText(summary),
            "Ripping of file: \r\n\"\"\r\nTo output folder: \r\n\"\"\r\nDone.\r\n\r\nLayers ripped:\t0\r\n"
            "Files saved:\t0\r\nNo layer of this document has pixels of its own.\r\n");
}

TEST(Report, FailureTextNamesThePathTheCodeAndWhatFailed) {
  const std::string head = "Error occured while\r\nperforming ripping of file: \r\n/tmp/in 100%.psd\r\n\r\n";
  const std::string askForTheDocument =
      std::string("\r\n\r\nPlease report this error,\r\nwith the source PSD file to:\r\n") + kMaintainerLine +
      "\r\n\r\nThanks!";
  const struct {
    FailedIn step;
    int32_t code;
    const char* error;
    std::string tail;
  } cases[] = {
      {FailedIn::kLayerInfo, -16, "The document is damaged or is not a Photoshop file: the layer records end early.",
       askForTheDocument},
      {FailedIn::kSource, -16384, "Cannot open \"/tmp/in 100%.psd\": No such file or directory.", ""},
      {FailedIn::kOutputFolder, -1, "No output folder is set.", ""},
      {FailedIn::kOutputFile, -8, "Cannot write \"/x/y.png\": No space left on device.", ""},
  };
  for (const auto& c : cases) {
    JobSummary summary = Summary("/tmp/in 100%.psd", "/tmp/", c.code, 0, 0);
    summary.failedIn = c.step;
    summary.error = c.error;
    EXPECT_EQ(ReportText(summary), head + FormatText("Error code: %d\r\n", c.code) + c.error + c.tail);
  }
}

}  // namespace
}  // namespace peelbox
