// The rip job's loop: which layers are written, the export statuses and
// their positions, failures that stop the job, the counts and the report.
#include "export/rip_job.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>

#include "export/export_result.h"
#include "export/file_name.h"
#include "export/report.h"
#include "psd/document.h"
#include "psd/format_text.h"
#include "tests/helpers.h"

namespace peelbox {
namespace {

namespace fs = std::filesystem;
using psdbuild::BuildDocument;
using psdbuild::ChannelRecipe;
using psdbuild::DocumentRecipe;
using psdbuild::LayerRecipe;
using test::ByteVector;

LayerRecipe Layer(const std::string& name, std::vector<int16_t> ids, int32_t width = 2, int32_t height = 2,
                  int bytesPerSample = 1) {
  LayerRecipe layer;
  layer.name = name;
  layer.right = width;
  layer.bottom = height;
  const size_t size = static_cast<size_t>(std::max(width, 0) * std::max(height, 0) * bytesPerSample);
  for (int16_t id : ids) layer.channels.push_back(psdbuild::RawChannel(id, test::Ramp(size, 40 + id)));
  return layer;
}

DocumentRecipe WithLayers(std::vector<LayerRecipe> layers) {
  DocumentRecipe doc;
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

std::unique_ptr<JobRun> RunJob(const DocumentRecipe& doc, const std::string& folder = "") {
  test::TempDir in, out;
  auto run = std::make_unique<JobRun>();
  RipJob job(in.Write("in.psd", BuildDocument(doc).bytes), folder.empty() ? out.Folder() : folder, 0, &run->receiver);
  run->result = job.Run();
  run->layersRipped = job.LayersRipped();
  run->filesSaved = job.FilesSaved();
  run->files = out.FileNames();
  return run;
}

TEST(ExportProgress, PositionsAreComputedInDoublesAndTruncated) {
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

// What a listing job makes of one layer of `ids` in a document of `mode` and
// `depth`: "C" colour planes plus "+a" for transparency, or the reason.
std::string Choice(uint16_t mode, uint16_t depth, const LayerRecipe& layer) {
  DocumentRecipe doc = WithLayers({layer});
  doc.mode = mode;
  doc.depth = depth;
  test::TempDir in;
  RipJob job(in.Write("in.psd", BuildDocument(doc).bytes), "", 0, nullptr);
  job.options.listOnly = true;
  EXPECT_EQ(job.Run(), 0);
  if (!job.document || job.Plan().empty()) return "unreadable";
  if (job.Plan()[0].reason != SkipReason::kNone) return SkipReasonName(job.Plan()[0].reason);
  const std::optional<LayerPlanes> planes =
      ViewPlanes(job.document->format, *job.document->layerMaskInfo->Layers().records[0]);
  if (!planes) return "no planes";
  return std::to_string(planes->colour.size()) + (planes->alpha ? "+a" : "");
}

TEST(ChannelRule, TheColourChannelsOfTheModeAndATransparency) {
  const struct {
    uint16_t mode;
    std::vector<int16_t> ids;
    const char* written;
  } cases[] = {
      {kRgbMode, {0, 1, 2}, "3"},
      {kRgbMode, {2, 0, 1}, "3"},
      {kRgbMode, {0, 1, 2, -1}, "3+a"},
      {kRgbMode, {-1, 0, 1, 2}, "3+a"},
      {kRgbMode, {0, 1, 2, 3}, "3+a"},       // 3 stands in for the transparency
      {kRgbMode, {-1, 0, 1, 2, -2}, "3+a"},  // the user mask is not applied
      {kRgbMode, {-1, 0, 1, 2, -2, -3}, "3+a"},
      {kRgbMode, {0, 1, 2, -2}, "3"},  // colour and mask, no transparency
      {kRgbMode, {0, 1, 2, -2, -3}, "3"},
      {kRgbMode, {0, 1, -1}, "unsupported channels"},
      {kRgbMode, {0, 1, 2, -1, 3}, "unsupported channels"},  // 3 next to -1 is a channel of its own
      {kRgbMode, {0, 1, 2, 2}, "unsupported channels"},
      {kRgbMode, {0, 1, 2, -1, 4}, "unsupported channels"},
      {kRgbMode, {0}, "unsupported channels"},
      {kCmykMode, {0, 1, 2, 3}, "4"},
      {kCmykMode, {-1, 0, 1, 2, 3, -2}, "4+a"},
      {kCmykMode, {-1, 0, 1, 2}, "unsupported channels"},
      {kLabMode, {-1, 0, 1, 2}, "3+a"},
      {kLabMode, {0, 1, 2, 3}, "unsupported channels"},  // 3 is no transparency outside RGB
      {kGreyscaleMode, {0}, "1"},
      {kGreyscaleMode, {-1, 0, -2}, "1+a"},
      {kGreyscaleMode, {0, 1}, "unsupported channels"},
      {kDuotoneMode, {-1, 0}, "1+a"},
      {kMultichannelMode, {0, 1, 2}, "unsupported document"},
      {kIndexedMode, {0}, "unsupported document"},  // only a flattened indexed document is written
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Choice(c.mode, 8, Layer("L", c.ids)), c.written) << c.mode << " " << ::testing::PrintToString(c.ids);
  }
}

TEST(ChannelRule, ModesAndDepthsAndLayersWithPixels) {
  const struct {
    uint16_t mode;
    uint16_t depth;
    std::vector<int16_t> ids;
    const char* written;
  } depths[] = {
      {kRgbMode, 16, {0, 1, 2}, "3"},
      {kRgbMode, 32, {-1, 0, 1, 2}, "3+a"},
      {kGreyscaleMode, 16, {0}, "1"},
      {kGreyscaleMode, 32, {-1, 0}, "1+a"},
      {kDuotoneMode, 16, {0}, "1"},
      {kCmykMode, 16, {0, 1, 2, 3}, "4"},
      {kLabMode, 16, {0, 1, 2}, "3"},
      {kDuotoneMode, 32, {0}, "unsupported document"},
      {kCmykMode, 32, {0, 1, 2, 3}, "unsupported document"},
      {kLabMode, 32, {0, 1, 2}, "unsupported document"},
      {kRgbMode, 24, {0, 1, 2}, "unsupported document"},
  };
  for (const auto& c : depths) {
    EXPECT_EQ(Choice(c.mode, c.depth, Layer("L", c.ids, 2, 2, c.depth / 8)), c.written) << c.mode << " at " << c.depth;
  }
  EXPECT_EQ(Choice(kRgbMode, 8, Layer("L", {0, 1, 2, -1}, 0, 0)), "empty");
  EXPECT_EQ(Choice(kRgbMode, 8, Layer("L", {0, 1, 2, -1}, 3, -1)), "empty");
  LayerRecipe fill = Layer("L", {0, 1, 2, -1}, 0, 0);
  fill.afterName = psdbuild::TaggedBlockBytes("SoCo", {0, 0, 0, 16});
  EXPECT_EQ(Choice(kRgbMode, 8, fill), "no pixels");
  LayerRecipe group = Layer("L", {0, 1, 2, -1});  // pixels in a group record are not a layer's
  group.afterName = psdbuild::TaggedBlockBytes("lsct", {0, 0, 0, 1});
  EXPECT_EQ(Choice(kRgbMode, 8, group), "group");
  // A compression without a decoded plane.
  LayerRecipe unknown = Layer("L", {0, 1, 2});
  unknown.channels[1] = ChannelRecipe{1, 9, {0x78, 0x9C}, std::nullopt};
  EXPECT_EQ(Choice(kRgbMode, 8, unknown), "unsupported channels");
}

TEST(RunLoop, StatusForEveryLayerAndFilesForTheWrittenOnes) {
  const auto run = RunJob(WithLayers({
      Layer("Background", {0, 1, 2}),
      Layer("</Layer group>", {-1, 0, 1, 2}, 0, 0),
      Layer("Two channels", {0, 1}),
      Layer("Top", {-1, 0, 1, 2}),
  }));
  ASSERT_EQ(run->result, 0);
  EXPECT_EQ(ExportStatuses(run->receiver), (std::vector<std::string>{
                                               "Exporting layer: \"Background\"... @50",
                                               "Exporting layer: \"</Layer group>\"... @62",
                                               "Exporting layer: \"Two channels\"... @75",
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

TEST(RunLoop, UnsupportedDocumentsSendEveryStatusAndWriteNothing) {
  DocumentRecipe multichannel = WithLayers({Layer("A", {0, 1, 2}), Layer("B", {-1, 0, 1, 2})});
  multichannel.mode = kMultichannelMode;
  const auto run = RunJob(multichannel);
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
  RipJob job(
      in.Write("in.psd", BuildDocument(WithLayers({Layer("A", {0, 1, 2}), Layer("skip", {0, 1}), Layer("B", {0, 1, 2}),
                                                   Layer("C", {0, 1, 2}), Layer("D", {0, 1, 2})}))
                             .bytes),
      out.Folder(), 0, nullptr);
  EXPECT_EQ(job.Run(), kWriteFailed);
  EXPECT_EQ(out.FileNames(), (std::vector<std::string>{"A.gif", "A.png", "B.gif", "B.png", "C.png"}));
  EXPECT_TRUE(fs::is_empty(out.path() / "C.png"));
  EXPECT_EQ(job.LayersRipped(), 2);
  EXPECT_EQ(job.FilesSaved(), 4);
  EXPECT_EQ(job.FailedStep(), FailedIn::OutputFile());
  EXPECT_EQ(job.Error(), "Cannot write \"" + out.Folder() + "C.png\": Is a directory.");
}

TEST(RunLoop, GifThatCannotBeWrittenFailsAfterACompletePng) {
  test::TempDir in, out;
  fs::create_directory(out.path() / "A.gif");
  RipJob job(in.Write("in.psd", BuildDocument(WithLayers({Layer("A", {0, 1, 2})})).bytes), out.Folder(), 0, nullptr);
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
  EXPECT_EQ(job.FailedStep(), FailedIn::Read(ReadStep::kSource));
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
            "Layers ripped:\t3\r\nFiles saved:\t6\r\nLayers skipped:\t0\r\n");
  summary = Summary("", "", 0, 0, 0);
  summary.note = "No layer of this document has pixels of its own.";
  EXPECT_EQ(ReportText(summary),
            "Ripping of file: \r\n\"\"\r\nTo output folder: \r\n\"\"\r\nDone.\r\n\r\nLayers ripped:\t0\r\n"
            "Files saved:\t0\r\nLayers skipped:\t0\r\nNo layer of this document has pixels of its own.\r\n");
}

TEST(Report, FailureTextNamesThePathTheCodeAndWhatFailed) {
  const std::string head = "Error occurred while\r\nperforming ripping of file: \r\n/tmp/in 100%.psd\r\n\r\n";
  const std::string askForTheDocument =
      std::string("\r\n\r\nPlease report this error,\r\nwith the source PSD file to:\r\n") + kMaintainerLine +
      "\r\n\r\nThanks!";
  const struct {
    FailedIn step;
    int32_t code;
    const char* error;
    std::string tail;
  } cases[] = {
      {FailedIn::Read(ReadStep::kLayerInfo), -16,
       "The document is damaged or is not a Photoshop file: the layer records end early.", askForTheDocument},
      {FailedIn::Read(ReadStep::kSource), -16384, "Cannot open \"/tmp/in 100%.psd\": No such file or directory.", ""},
      {FailedIn::OutputFolder(), -1, "No output folder is set.", ""},
      {FailedIn::OutputFile(), -8, "Cannot write \"/x/y.png\": No space left on device.", ""},
  };
  for (const auto& c : cases) {
    JobSummary summary = Summary("/tmp/in 100%.psd", "/tmp/", c.code, 0, 0);
    summary.failedIn = c.step;
    summary.error = c.error;
    EXPECT_EQ(ReportText(summary), head + FormatText("Error code: %d\r\n", c.code) + c.error + c.tail);
  }
}

// The pixels of a record that gives no files are let go once read, so that
// many of them never pile up; a listing keeps the written ones' planes.
TEST(RunLoop, PlanesOfSkippedRecordsAreNotKept) {
  LayerRecipe hidden = Layer("hidden", {0, 1, 2});
  hidden.flags = LayerRecord::kHiddenFlag;
  const DocumentRecipe doc = WithLayers({Layer("A", {0, 1, 2}), Layer("two channels", {0, 1}), hidden});
  for (const bool listOnly : {false, true}) {
    test::TempDir in, out;
    RipJob job(in.Write("in.psd", BuildDocument(doc).bytes), out.Folder(), 0, nullptr);
    job.options.listOnly = listOnly;
    job.options.visibleOnly = true;
    ASSERT_EQ(job.Run(), 0);
    std::vector<bool> kept;
    for (const auto& record : job.document->layerMaskInfo->Layers().records) {
      kept.push_back(std::any_of(record->channels.begin(), record->channels.end(),
                                 [](const auto& channel) { return !channel->plane.empty(); }));
    }
    EXPECT_EQ(kept, (std::vector<bool>{listOnly, false, false})) << listOnly;
  }
}

TEST(Report, SkippedRecordsCountedInWords) {
  const struct {
    std::map<SkipReason, int> skipped;
    std::string words;
  } cases[] = {
      {{{SkipReason::kHidden, 3}, {SkipReason::kGroup, 2}, {SkipReason::kNoPixels, 1}, {SkipReason::kEmpty, 1}},
       "2 groups, 1 fill or adjustment layer, 1 empty layer, 3 hidden"},
      {{{SkipReason::kGroup, 1}, {SkipReason::kEmpty, 2}, {SkipReason::kNotSelected, 4}},
       "1 group, 2 empty layers, 4 not selected"},
      {{}, ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(SkippedInWords(c.skipped), c.words);
    JobSummary summary = Summary("in.psd", "out/", 0, 1, 2);
    summary.skipped = c.skipped;
    EXPECT_NE(ReportText(summary).find("Files saved:\t2\r\nLayers skipped:\t"), std::string::npos);
    if (!c.words.empty()) {
      EXPECT_NE(ReportText(summary).find(c.words + "\r\n"), std::string::npos);
    }
  }
}

// The error of a job whose source or folder is wrong, and whether the report
// asks for the document.
TEST(RunLoop, ErrorsSayWhatIsWrongInWords) {
  test::TempDir dir;
  const ByteVector valid = BuildDocument(WithLayers({Layer("a", {0, 1, 2})})).bytes;
  const std::string text = "<!doctype html><html>not a document at all</html>";
  const std::string file = dir.Write("file.txt", {'x'});
  const struct {
    std::string source;
    std::string folder;
    std::string error;
    bool asks;
  } cases[] = {
      {dir.Write("empty.psd", {}), dir.Folder() + "o1/", "The file is empty.", false},
      {dir.Write("text.psd", ByteVector(text.begin(), text.end())), dir.Folder() + "o2/",
       "This file is not a Photoshop document.", false},
      {dir.Write("short.psd", {'h', 'i'}), dir.Folder() + "o3/", "This file is not a Photoshop document.", false},
      {dir.Write("cut.psd", ByteVector(valid.begin(), valid.begin() + 10)), dir.Folder() + "o4/",
       "The document is damaged or is not a Photoshop file: ", true},
      {dir.Write("valid.psd", valid), file + "/", "The output folder is a file: " + file, false},
      {"", "", "No source file is set.", false},
  };
  for (const auto& c : cases) {
    RipJob job(c.source, c.folder, 0, nullptr);
    const int32_t result = job.Run();
    EXPECT_NE(result, 0) << c.source;
    EXPECT_EQ(job.Error().substr(0, c.error.size()), c.error) << c.source;
    EXPECT_EQ(ReportText(job.Summary(result)).find("Please report") != std::string::npos, c.asks) << c.source;
  }
}

// Which folders remain after a job, by where it ended: those it made and
// left empty go, those that were there stay.
TEST(RunLoop, FoldersTheJobMadeGoWhenNothingWasWritten) {
  enum class Source { kValid, kMissing, kText };
  const struct {
    Source source;
    bool stop;
    std::string folder;     // under the temporary folder; "old" exists beforehand
    std::string remaining;  // the folders afterwards, sorted
  } cases[] = {
      {Source::kMissing, false, "new/a/b", "old"}, {Source::kText, false, "old/a", "old"},
      {Source::kValid, true, "new/a", "old"},      {Source::kValid, false, "new/a", "new new/a old"},
      {Source::kMissing, false, "old", "old"},
  };
  for (const auto& c : cases) {
    test::TempDir dir;
    std::filesystem::create_directory(dir.path() / "old");
    const std::string source = c.source == Source::kMissing ? dir.Folder() + "missing.psd"
                               : c.source == Source::kText
                                   ? dir.Write("in.psd", {'t', 'e', 'x', 't', '!'})
                                   : dir.Write("in.psd", BuildDocument(WithLayers({Layer("a", {0, 1, 2})})).bytes);
    RipJob job(source, dir.Folder() + c.folder + "/", 0, nullptr);
    job.stopToken = StopToken::Make();
    if (c.stop) job.stopToken.RequestStop();
    job.Run();
    std::vector<std::string> folders;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(dir.path())) {
      if (entry.is_directory()) folders.push_back(std::filesystem::relative(entry.path(), dir.path()).string());
    }
    std::sort(folders.begin(), folders.end());
    std::string remaining;
    for (const std::string& folder : folders) remaining += (remaining.empty() ? "" : " ") + folder;
    EXPECT_EQ(remaining, c.remaining) << c.folder;
  }
}

}  // namespace
}  // namespace peelbox
