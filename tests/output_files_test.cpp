// What a job does to the disk and what it says about it: files appear whole
// or not at all, with the permissions of any other file; inputs are checked
// before any work; every failure and every document that writes nothing is
// explained.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "export/export_result.h"
#include "export/rip_job.h"
#include "tests/helpers.h"

namespace peelbox {
namespace {

namespace fs = std::filesystem;
using psdbuild::BuildDocument;
using psdbuild::DocumentRecipe;
using psdbuild::LayerRecipe;
using test::ByteVector;

DocumentRecipe TwoLayers() {
  DocumentRecipe doc;
  doc.rows = 6;
  doc.columns = 8;
  doc.layers = {psdbuild::PixelLayer({0, 0, 8, 6, true, true, 1, "A"}),
                psdbuild::PixelLayer({0, 0, 5, 4, false, true, 2, "B"})};
  return doc;
}

std::vector<std::string> TemporaryFiles(const fs::path& folder) {
  std::vector<std::string> found;
  for (const auto& entry : fs::directory_iterator(folder)) {
    if (entry.path().filename().string().rfind(".peelbox-", 0) == 0) found.push_back(entry.path().string());
  }
  return found;
}

TEST(AtomicWrites, FilesGetThePermissionsOfAPlainFopen) {
  for (mode_t mask : {022, 027, 077, 0}) {
    const mode_t previous = umask(mask);
    test::TempDir in, out;
    RipJob job(in.Write("in.psd", BuildDocument(TwoLayers()).bytes), out.Folder(), 0, nullptr);
    const int32_t result = job.Run();
    std::fclose(std::fopen((out.path() / "plain").c_str(), "wb"));
    umask(previous);
    ASSERT_EQ(result, 0);
    const auto permissions = fs::status(out.path() / "plain").permissions();
    EXPECT_EQ(static_cast<mode_t>(permissions), 0666 & ~mask);
    for (const char* name : {"A.png", "A.gif", "B.png", "B.gif"}) {
      EXPECT_EQ(fs::status(out.path() / name).permissions(), permissions) << name << " umask " << mask;
    }
  }
}

// Runs the job in a child process which, when the job announces the layer
// `at`, applies `limit` to itself: the file it then writes fails.
struct LimitedRun {
  int32_t result = 1;
  std::string failedIn;
  std::string error;
};

LimitedRun RunWithLimitAt(const std::string& source, const std::string& folder, const std::string& at,
                          int resource, rlim_t limit) {
  int channel[2];
  EXPECT_EQ(pipe(channel), 0);
  const pid_t child = fork();
  if (child == 0) {
    close(channel[0]);
    signal(SIGXFSZ, SIG_IGN);  // a file past the limit fails its write instead
    struct LimitingReceiver : RipMessageReceiver {
      void Send(uint32_t, const char* text, uint32_t) override {
        if (text == nullptr || text != "Exporting layer: \"" + at + "\"...") return;
        // Every descriptor up to the highest in use: no new one can be had.
        rlimit limited{};
        getrlimit(resource, &limited);
        limited.rlim_cur = limit == 0 ? static_cast<rlim_t>(dup(0)) : limit;
        setrlimit(resource, &limited);
      }
      std::string at;
      int resource = 0;
      rlim_t limit = 0;
    } receiver;
    receiver.at = at;
    receiver.resource = resource;
    receiver.limit = limit;
    RipJob job(source, folder, 0, &receiver);
    job.threads = 1;
    const int32_t result = job.Run();
    const std::string report =
        std::to_string(result) + "\n" + std::string(FailedInName(job.FailedStep())) + "\n" + job.Error();
    (void)!write(channel[1], report.data(), report.size());
    _exit(0);
  }
  close(channel[1]);
  std::string report;
  char buffer[512];
  for (ssize_t got; (got = read(channel[0], buffer, sizeof buffer)) > 0;) report.append(buffer, static_cast<size_t>(got));
  close(channel[0]);
  int status = 0;
  waitpid(child, &status, 0);
  LimitedRun run;
  const size_t first = report.find('\n'), second = report.find('\n', first + 1);
  if (first == std::string::npos || second == std::string::npos) return run;
  run.result = std::stoi(report.substr(0, first));
  run.failedIn = report.substr(first + 1, second - first - 1);
  run.error = report.substr(second + 1);
  return run;
}

TEST(AtomicWrites, AFailedFileLeavesTheEarlierFileOfItsNameWholeAndNoTemporaryFile) {
  const struct {
    const char* what;
    int resource;
    rlim_t limit;  // 0: as many descriptors as are in use
    int32_t code;
    const char* reason;
  } cases[] = {
      {"cannot be created", RLIMIT_NOFILE, 0, kCannotOpenOutput, "Too many open files"},
      {"fails part-way", RLIMIT_FSIZE, 64, kWriteFailed, "File too large"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    test::TempDir in, out;
    const std::string source = in.Write("in.psd", BuildDocument(TwoLayers()).bytes);
    std::ofstream(out.path() / "B.png") << "an earlier B, whole";
    const LimitedRun run = RunWithLimitAt(source, out.Folder(), "B", c.resource, c.limit);
    EXPECT_EQ(run.result, c.code);
    EXPECT_EQ(run.failedIn, "output file");
    EXPECT_EQ(run.error, "Cannot write \"" + out.Folder() + "B.png\": " + c.reason + ".");
    EXPECT_EQ(test::ReadAll(out.path() / "B.png"), (ByteVector{'a', 'n', ' ', 'e', 'a', 'r', 'l', 'i', 'e', 'r', ' ',
                                                              'B', ',', ' ', 'w', 'h', 'o', 'l', 'e'}));
    EXPECT_TRUE(TemporaryFiles(out.path()).empty());
    EXPECT_TRUE(fs::exists(out.path() / "A.gif"));  // the layer before is complete
  }
}

struct Checked {
  const char* what;
  std::string source;
  std::string folder;
  int32_t code;
  FailedIn failedIn;
  std::string error;
};

TEST(Inputs, CheckedBeforeAnyWorkAndEveryFailureSaysWhatFailed) {
  test::TempDir in, out;
  const std::string valid = in.Write("in.psd", BuildDocument(TwoLayers()).bytes);
  DocumentRecipe notPsd = TwoLayers();
  notPsd.signature = "GIF8";
  const std::string gif = in.Write("not.psd", BuildDocument(notPsd).bytes);
  const psdbuild::BuiltDocument built = BuildDocument(TwoLayers());
  const std::string cut = in.Write("cut.psd", built.CutAt(built.At("layer1") + 11));
  const std::string file = in.Write("a-file", {1});
  const Checked cases[] = {
      {"a missing source", in.Folder() + "missing.psd", out.Folder(), PsdDocument::kCannotOpen, FailedIn::Read(ReadStep::kSource),
       "Cannot open \"" + in.Folder() + "missing.psd\": No such file or directory."},
      {"a folder as source", in.Folder(), out.Folder(), PsdDocument::kCannotOpen, FailedIn::Read(ReadStep::kSource),
       "Cannot open \"" + in.Folder() + "\": Is a directory."},
      {"not a Photoshop file", gif, out.Folder(), PsdHeader::kBadSignature, FailedIn::Read(ReadStep::kHeader),
       "This file is not a Photoshop document."},
      {"records cut short", cut, out.Folder(), LayerRecord::kShortBottom, FailedIn::Read(ReadStep::kLayerInfo),
       "The document is damaged or is not a Photoshop file: the layer records end early."},
      {"no output folder", valid, "", kCannotOpenOutput, FailedIn::OutputFolder(), "No output folder is set."},
      {"an output folder under a file", valid, file + "/sub/", kCannotOpenOutput, FailedIn::OutputFolder(),
       "Cannot create the output folder \"" + file + "/sub/\": Not a directory."},
  };
  const fs::path workingDirectory = fs::current_path();
  for (const Checked& c : cases) {
    SCOPED_TRACE(c.what);
    test::TempDir here;
    fs::current_path(here.path());  // an empty folder must not mean this one
    test::RecordingReceiver receiver;
    RipJob job(c.source, c.folder, 0, &receiver);
    EXPECT_EQ(job.Run(), c.code);
    fs::current_path(workingDirectory);
    EXPECT_EQ(job.FailedStep(), c.failedIn);
    EXPECT_EQ(job.Error(), c.error);
    const std::string report = ReportText(job.Summary(c.code));
    EXPECT_NE(report.find("Error code: " + std::to_string(c.code) + "\r\n" + c.error), std::string::npos) << report;
    // Only a document that looks like one is worth sending in.
    EXPECT_EQ(report.find("Please report") != std::string::npos, c.error.find("damaged") != std::string::npos)
        << report;
    EXPECT_TRUE(here.FileNames().empty());
    if (c.failedIn == FailedIn::OutputFolder()) {
      EXPECT_TRUE(receiver.messages.empty());  // nothing was read
    }
  }
  EXPECT_TRUE(out.FileNames().empty());
}

TEST(Inputs, AMissingOutputFolderIsCreatedWithItsParents) {
  test::TempDir in, out;
  const std::string folder = out.Folder() + "a/b/c/";
  RipJob job(in.Write("in.psd", BuildDocument(TwoLayers()).bytes), folder, 0, nullptr);
  ASSERT_EQ(job.Run(), 0);
  EXPECT_TRUE(fs::exists(folder + "A.png"));
  EXPECT_EQ(job.FilesSaved(), 4);
}

LayerRecipe Record(const std::string& name, int32_t width, std::vector<int16_t> ids, ByteVector afterName = {}) {
  LayerRecipe layer;
  layer.name = name;
  layer.right = width;
  layer.bottom = width;
  for (int16_t id : ids) layer.channels.push_back(psdbuild::RawChannel(id, ByteVector(width * width, 9)));
  layer.afterName = std::move(afterName);
  return layer;
}

ByteVector Divider(uint8_t type) { return psdbuild::TaggedBlockBytes("lsct", {0, 0, 0, type}); }

TEST(NothingWritten, EveryRecordSaysWhyAndTheReportSaysItOnce) {
  const ByteVector fill = psdbuild::TaggedBlockBytes("SoCo", {0, 0, 0, 16});
  const struct {
    const char* what;
    std::vector<LayerRecipe> layers;
    uint16_t mode;
    std::vector<std::string> reasons;
    std::string note;
  } cases[] = {
      {"groups, fills and empty layers",
       {Record("</Layer group>", 0, {-1, 0, 1, 2}, Divider(3)), Record("Fill", 0, {-1, 0, 1, 2}, fill),
        Record("Empty", 0, {0, 1, 2}), Record("Group", 2, {-1, 0, 1, 2}, Divider(1))},
       kRgbMode,
       {"group", "no pixels", "empty", "group"},
       "No layer of this document has pixels of its own."},
      {"channels that do not fit", {Record("Two", 2, {0, 1}), Record("Empty", 0, {})}, kRgbMode,
       {"unsupported channels", "empty"}, "No layer of this document has channels Peelbox can write."},
      {"a mode with no rule", {Record("Ink", 2, {0, 1, 2})}, kMultichannelMode, {"unsupported document"},
       "Peelbox does not write documents of this colour mode and depth."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    DocumentRecipe doc;
    doc.rows = 2;
    doc.columns = 2;
    doc.mode = c.mode;
    doc.layers = c.layers;
    test::TempDir in, out;
    RipJob job(in.Write("in.psd", BuildDocument(doc).bytes), out.Folder(), 0, nullptr);
    ASSERT_EQ(job.Run(), 0);
    std::vector<std::string> reasons;
    for (const SkippedRecord& skipped : job.Skipped()) {
      EXPECT_EQ(skipped.layerInfo, "main");
      EXPECT_EQ(skipped.record, reasons.size());
      reasons.push_back(SkipReasonName(skipped.reason));
    }
    EXPECT_EQ(reasons, c.reasons);
    const std::string report = ReportText(job.Summary(0));
    EXPECT_EQ(report.substr(report.size() - c.note.size() - 2), c.note + "\r\n");
    EXPECT_TRUE(out.FileNames().empty());
  }
}

}  // namespace
}  // namespace peelbox
