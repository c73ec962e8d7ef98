// peelbox-cli's conventions: the forms an argument takes, the layout of the
// output, and what a script reads of a failed or listed document.
#include <gtest/gtest.h>

#include <filesystem>
#include <nlohmann/json.hpp>

#include "tests/cli_run.h"
#include "tests/helpers.h"

namespace peelbox {
namespace {

namespace fs = std::filesystem;

using test::RunCli;

// The sample cut in the middle of its channel data: it fails after its
// header and its layer records were read.
std::string CutSample(const test::TempDir& dir) {
  test::ByteVector bytes = test::ReadAll(test::SamplePath());
  bytes.resize(bytes.size() / 2);
  return dir.Write("cut.psd", bytes);
}

TEST(CliConventions, ArgumentFormsAndTheFolderOfEachDocument) {
  const struct {
    std::vector<std::string> arguments;  // then the sample and the output folder
    int status;
    std::string file;  // expected in the output folder
  } cases[] = {
      {{"-qt1"}, 0, "Background.png"},
      {{"-qt", "1"}, 0, "Background.png"},
      {{"-q", "--threads=1", "--formats=png"}, 0, "Background.png"},
      {{"-qD"}, 0, "sample/Background.png"},
      {{"--folder-per-document", "-q"}, 0, "sample/Background.png"},
      // After --, "-D" is a document (a missing one), not the option.
      {{"-q", "--", "-D"}, 1, "sample/Background.png"},
  };
  for (const auto& c : cases) {
    test::TempDir dir;
    std::vector<std::string> arguments = c.arguments;
    arguments.insert(arguments.end(), {test::SamplePath(), dir.path().string()});
    const test::CliOutput run = RunCli(arguments);
    EXPECT_EQ(run.status, c.status) << c.arguments[0] << run.err;
    EXPECT_TRUE(fs::is_regular_file(dir.path() / c.file)) << c.arguments[0];
    if (c.status == 0) EXPECT_EQ(run.err, "") << c.arguments[0];
  }
}

TEST(CliConventions, UsageErrors) {
  test::TempDir dir;
  const std::string made = dir.path() / "made.psd";
  fs::create_directory(made);
  const std::string missing = dir.path() / "Missing.PSB";
  const struct {
    std::vector<std::string> arguments;
    std::string problem;  // empty: no usage error
  } cases[] = {
      {{"-qx", "a.psd", "out"}, "unknown option '-x'"},
      {{"-tq", "a.psd", "out"}, "--threads needs a number from 1 to 256"},
      {{"--folder-per-document=yes", "a.psd", "out"}, "--folder-per-document takes no value"},
      {{"a.psd", missing}, "OUTPUT_FOLDER '" + missing + "' looks like a document; give an output folder last"},
      {{"-q", "a.psd", made}, ""},  // a folder that exists is a folder, whatever its name
  };
  for (const auto& c : cases) {
    const test::CliOutput run = RunCli(c.arguments);
    if (c.problem.empty()) {
      EXPECT_EQ(run.status, 1) << run.err;  // a.psd is missing
      EXPECT_EQ(run.err.find("Try 'peelbox-cli --help'"), std::string::npos) << run.err;
    } else {
      EXPECT_EQ(run.status, 2) << c.problem;
      EXPECT_EQ(run.err, "peelbox-cli: " + c.problem + "\nTry 'peelbox-cli --help'.\n");
    }
  }
  EXPECT_FALSE(fs::exists(missing));
}

TEST(CliConventions, JsonKeysAScriptJoinsOn) {
  test::TempDir dir;
  const std::string cut = CutSample(dir);
  const std::string out = (dir.path() / "out").string();
  const struct {
    std::vector<std::string> arguments;
    std::string pointer;
    nlohmann::json value;
  } cases[] = {
      {{"--skip", "Background", test::SamplePath()}, "/skipped/0/layer_index", 0},
      {{"--skip", "Background", test::SamplePath()}, "/skipped/0/layer_name", "Background"},
      {{cut}, "/failed_in", "channel data"},
      {{cut}, "/width", 320},
      {{cut}, "/mode", "RGB"},
      {{cut}, "/depth", 8},
  };
  for (const auto& c : cases) {
    std::vector<std::string> arguments = {"--json", "-q"};
    arguments.insert(arguments.end(), c.arguments.begin(), c.arguments.end());
    arguments.push_back(out);
    const nlohmann::json result = nlohmann::json::parse(RunCli(arguments).out);
    EXPECT_EQ(result.at(nlohmann::json::json_pointer(c.pointer)), c.value) << c.pointer;
  }
}

// What stderr holds: a listing prints no status lines and fails as a
// listing; a JSON failure is also one line in words, unless quiet.
TEST(CliConventions, WhatStderrSays) {
  test::TempDir dir;
  const std::string cut = CutSample(dir);
  const struct {
    std::vector<std::string> arguments;
    int status;
    std::string err;  // the start of a line of stderr; "" for none at all
  } cases[] = {
      {{"--list", test::SamplePath()}, 0, ""},
      {{"--list", cut}, 1, "Error occurred while\nperforming listing of file: \n"},
      {{"--json", cut, dir.Folder()}, 1, "peelbox-cli: " + cut + ": failed in channel data (error -8): "},
      {{"--json", "-q", cut, dir.Folder()}, 1, ""},
  };
  for (const auto& c : cases) {
    const test::CliOutput run = RunCli(c.arguments);
    EXPECT_EQ(run.status, c.status) << c.arguments[1];
    if (c.err.empty()) {
      EXPECT_EQ(run.err, "") << c.arguments[1];
    } else {
      EXPECT_TRUE(run.err.rfind(c.err, 0) == 0 || run.err.find("\n" + c.err) != std::string::npos) << run.err;
    }
  }
}

}  // namespace
}  // namespace peelbox
