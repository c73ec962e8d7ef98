// peelbox-cli in scripts and pipelines: many documents, --list, the layers'
// places in the JSON, --visible-only, --formats, --groups-as-folders, --fast.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>

#include "tests/cli_run.h"
#include "tests/corpus_json.h"
#include "tests/helpers.h"
#include "tests/image_readers.h"

namespace peelbox {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;
using psdbuild::LayerRecipe;

using test::RunCli;
using Output = test::CliOutput;

// Each line a JSON object of its own.
std::vector<json> JsonLines(const std::string& text) {
  std::vector<json> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(json::parse(line));
  return lines;
}

// Every file under `folder`, relative to it, sorted.
std::vector<std::string> FilesUnder(const fs::path& folder) {
  std::vector<std::string> files;
  for (const auto& entry : fs::recursive_directory_iterator(folder)) {
    if (entry.is_regular_file()) files.push_back(fs::relative(entry.path(), folder).string());
  }
  std::sort(files.begin(), files.end());
  return files;
}

LayerRecipe Pixels(const std::string& name, int32_t left = 0, int32_t top = 0, uint8_t flags = 0) {
  LayerRecipe layer = psdbuild::PixelLayer({top, left, 6, 4, true, true, static_cast<uint32_t>(name.size()), name});
  layer.flags = flags;
  return layer;
}

LayerRecipe Section(const std::string& name, uint8_t type, uint8_t flags = 0) {
  LayerRecipe layer;
  layer.name = name;
  layer.flags = flags;
  layer.blendKey = type == 3 ? "norm" : "pass";
  layer.afterName = psdbuild::TaggedBlockBytes("lsct", {0, 0, 0, type});
  return layer;
}

constexpr uint8_t kHidden = 0x02;

// Bottom-most first: Back; the group Outer holding the hidden group Inner
// (Sky and sky), a hidden Ghost and a fill layer; Top, partly off the
// canvas; and another Sky at the top.
std::string Grouped(const test::TempDir& dir) {
  psdbuild::DocumentRecipe doc;
  doc.rows = 20;
  doc.columns = 30;
  LayerRecipe fill;
  fill.name = "Fill";
  fill.afterName = psdbuild::TaggedBlockBytes("SoCo", {0, 0, 0, 16});
  doc.layers = {Pixels("Back"),
                Section("</Layer group>", 3),
                Section("</Layer group>", 3),
                Pixels("Sky"),
                Pixels("sky"),
                Section("Inner", 1, kHidden),
                Pixels("Ghost", 0, 0, kHidden),
                fill,
                Section("Outer", 2),
                Pixels("Top", -5, -3),
                Pixels("Sky")};
  return dir.Write("grouped.psd", psdbuild::BuildDocument(doc).bytes);
}

TEST(CliList, EveryRecordTopMostFirstWithItsFilesOrWhyNone) {
  test::TempDir dir;
  const Output run = RunCli({"--list", "--json", "--quiet", Grouped(dir)});
  ASSERT_EQ(run.status, 0) << run.err;
  const std::vector<json> lines = JsonLines(run.out);
  ASSERT_EQ(lines.size(), 1u);
  const json& layers = lines[0]["layers"];
  ASSERT_EQ(layers.size(), 11u);
  const struct {
    const char* name;
    const char* kind;
    bool visible;
    bool hiddenByGroup;
    std::vector<std::string> group;
    std::vector<std::string> files;
    const char* reason;
  } want[] = {
      {"Sky", "pixels", true, false, {}, {"Sky (3).png", "Sky (3).gif"}, nullptr},
      {"Top", "pixels", true, false, {}, {"Top.png", "Top.gif"}, nullptr},
      {"Outer", "group", true, false, {}, {}, "group"},
      {"Fill", "adjustment or fill", true, false, {"Outer"}, {}, "no pixels"},
      {"Ghost", "pixels", false, false, {"Outer"}, {"Ghost.png", "Ghost.gif"}, nullptr},
      {"Inner", "group", false, false, {"Outer"}, {}, "group"},
      {"sky", "pixels", true, true, {"Outer", "Inner"}, {"sky (2).png", "sky (2).gif"}, nullptr},
      {"Sky", "pixels", true, true, {"Outer", "Inner"}, {"Sky.png", "Sky.gif"}, nullptr},
      // A divider stands where its group record does.
      {"</Layer group>", "group end", true, false, {"Outer"}, {}, "group"},
      {"</Layer group>", "group end", true, false, {}, {}, "group"},
      {"Back", "pixels", true, false, {}, {"Back.png", "Back.gif"}, nullptr},
  };
  for (size_t i = 0; i < layers.size(); ++i) {
    SCOPED_TRACE(i);
    const json& layer = layers[i];
    EXPECT_EQ(layer["index"], 10 - i);
    EXPECT_EQ(layer["layer_info"], "main");
    EXPECT_EQ(layer["name"], want[i].name);
    EXPECT_EQ(layer["kind"], want[i].kind);
    EXPECT_EQ(layer["visible"], want[i].visible);
    EXPECT_EQ(layer["hidden_by_group"], want[i].hiddenByGroup);
    EXPECT_EQ(layer["group"], want[i].group);
    EXPECT_EQ(layer["files"], want[i].files);
    EXPECT_EQ(layer["reason"], want[i].reason ? json(want[i].reason) : json());
  }
  EXPECT_EQ(layers[1]["left"], -5);  // the layer's place on the canvas, as stored
  EXPECT_EQ(layers[1]["top"], -3);
  EXPECT_EQ(layers[2]["blend_mode"], "pass");
  EXPECT_EQ(lines[0]["width"], 30);
  EXPECT_EQ(lines[0]["mode"], "RGB");
  EXPECT_EQ(lines[0]["depth"], 8);

  // The same as text, and nothing written anywhere.
  const Output text = RunCli({"--list", "--visible-only", "--quiet", Grouped(dir)});
  ASSERT_EQ(text.status, 0);
  EXPECT_NE(text.out.find("grouped.psd: 30 x 20, RGB, 8 bits, 11 layer records\n"), std::string::npos) << text.out;
  EXPECT_NE(text.out.find("hidden"), std::string::npos);
  EXPECT_NE(text.out.find("\"Ghost\"  (hidden)\n"), std::string::npos) << text.out;
  EXPECT_NE(text.out.find("\"Top\"  -> Top.png, Top.gif\n"), std::string::npos) << text.out;
  EXPECT_EQ(FilesUnder(dir.path()), std::vector<std::string>{"grouped.psd"});
}

TEST(CliOptions, VisibleOnlyFormatsAndGroupsAsFolders) {
  test::TempDir dir;
  const std::string source = Grouped(dir);
  const struct {
    std::vector<std::string> options;
    std::vector<std::string> files;
  } cases[] = {
      {{},
       {"Back.gif", "Back.png", "Ghost.gif", "Ghost.png", "Sky (3).gif", "Sky (3).png", "Sky.gif", "Sky.png", "Top.gif",
        "Top.png", "sky (2).gif", "sky (2).png"}},
      // Hidden layers claim no name: the top Sky is the first.
      {{"--visible-only"}, {"Back.gif", "Back.png", "Sky.gif", "Sky.png", "Top.gif", "Top.png"}},
      {{"--formats", "png", "--visible-only"}, {"Back.png", "Sky.png", "Top.png"}},
      {{"--formats=gif", "--visible-only"}, {"Back.gif", "Sky.gif", "Top.gif"}},
      // Collisions are counted per folder: the top Sky is alone in its own.
      {{"--groups-as-folders", "--formats", "png"},
       {"Back.png", "Outer/Ghost.png", "Outer/Inner/Sky.png", "Outer/Inner/sky (2).png", "Sky.png", "Top.png"}},
      {{"--name", "{path}/{name}", "--formats", "png"},
       {"Back.png", "Outer/Ghost.png", "Outer/Inner/Sky.png", "Outer/Inner/sky (2).png", "Sky.png", "Top.png"}},
      {{"--name", "{path}/x", "--formats", "png"},
       {"Outer/Inner/x (2).png", "Outer/Inner/x.png", "Outer/x.png", "x (2).png", "x (3).png", "x.png"}},
      {{"--groups-as-folders", "--name", "{n:02}", "--formats", "png", "--visible-only"},
       {"01.png", "02.png", "03.png"}},
      {{"--only", "Outer/**", "--skip", "s?y", "--formats", "png"}, {"Ghost.png", "Sky.png"}},
      {{"--skip", "s?y", "--ignore-case", "--formats", "png"}, {"Back.png", "Ghost.png", "Top.png"}},
      // A trimmed image's place is known once its alpha is: the names wait for it.
      {{"--extent", "trim", "--pad", "1", "--name", "{name}_{left}_{width}x{height}", "--formats", "png",
        "--visible-only"},
       {"Back_-1_8x6.png", "Sky_-1_8x6.png", "Top_-6_8x6.png"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.options));
    test::TempDir out;
    std::vector<std::string> arguments = c.options;
    arguments.insert(arguments.end(), {"--json", "--quiet", source, out.Folder()});
    const Output run = RunCli(arguments);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(FilesUnder(out.path()), c.files);
    const json report = json::parse(run.out);
    EXPECT_EQ(report["files_saved"], c.files.size());
    EXPECT_EQ(report["files"].size(), c.files.size());
    for (const json& file : report["files"]) EXPECT_TRUE(fs::is_regular_file(file["path"].get<std::string>()));
    // --list shows the same names.
    arguments.back() = "--list";
    const json listing = json::parse(RunCli(arguments).out);
    std::vector<std::string> listed;
    for (const json& layer : listing["layers"]) {
      for (const json& file : layer["files"]) listed.push_back(file);
    }
    std::sort(listed.begin(), listed.end());
    EXPECT_EQ(listed, c.files);
  }
}

TEST(CliJson, ALayerTheFiltersLeaveOutIsFilteredEvenWhenHidden) {
  test::TempDir dir, out;
  const Output run = RunCli(
      {"--json", "--quiet", "--visible-only", "--only", "Outer/**", "--skip", "Ghost", Grouped(dir), out.Folder()});
  ASSERT_EQ(run.status, 0) << run.err;
  const json report = json::parse(run.out);
  std::vector<std::string> reasons;  // every record, bottom-most first
  for (const json& skipped : report["skipped"]) reasons.push_back(skipped["reason"]);
  EXPECT_EQ(reasons, (std::vector<std::string>{"filtered", "group", "group", "hidden", "hidden", "group", "filtered",
                                               "no pixels", "group", "filtered", "filtered"}));
}

TEST(CliJson, EachFileKnowsItsPlaceOnTheCanvasAndInTheGroups) {
  test::TempDir dir, out;
  const Output run = RunCli({"--json", "--quiet", "--formats", "png", Grouped(dir), out.Folder()});
  ASSERT_EQ(run.status, 0);
  const json report = json::parse(run.out);
  std::map<std::string, json> byPath;
  for (const json& file : report["files"]) byPath[fs::path(file["path"].get<std::string>()).filename().string()] = file;
  const json& top = byPath.at("Top.png");
  EXPECT_EQ(top["left"], -5);
  EXPECT_EQ(top["top"], -3);
  EXPECT_EQ(top["width"], 6);
  EXPECT_EQ(top["height"], 4);
  EXPECT_EQ(top["visible"], true);
  EXPECT_EQ(top["opacity"], 255);
  EXPECT_EQ(top["blend_mode"], "norm");
  EXPECT_EQ(top["group"], json::array());
  EXPECT_EQ(byPath.at("sky (2).png")["group"], (std::vector<std::string>{"Outer", "Inner"}));
  EXPECT_EQ(byPath.at("Ghost.png")["visible"], false);
  EXPECT_EQ(top["image"], (json{{"left", -5}, {"top", -3}, {"width", 6}, {"height", 4}}));
  for (const char* key : {"clipping", "effects", "mask_feather_ignored"}) EXPECT_EQ(top[key], false) << key;
  EXPECT_EQ(top["mask"], "none");
  EXPECT_EQ(report["width"], 30);
  EXPECT_EQ(report["height"], 20);
  EXPECT_EQ(report["mode"], "RGB");
  EXPECT_EQ(report["depth"], 8);
  EXPECT_EQ(report["stopped"], false);
}

TEST(CliNames, NoGroupOrLayerNameLeavesTheOutputFolder) {
  test::TempDir dir, parent;
  psdbuild::DocumentRecipe doc;
  doc.rows = 20;
  doc.columns = 30;
  doc.layers.assign(3, Section("</Layer group>", 3));
  for (const std::string name : {"a/../../b", "/", ".."}) {  // each group holds the one before
    doc.layers.insert(doc.layers.end(), {Pixels(name), Section(name, 1)});
  }
  const std::string source = dir.Write("escape.psd", psdbuild::BuildDocument(doc).bytes);
  const Output run = RunCli(
      {"--quiet", "--formats", "png", "--name", "{path}/{group}/{name}", source, (parent.path() / "out").string()});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(FilesUnder(parent.path()), (std::vector<std::string>{"out/_./_./_..png", "out/_./_/_/_.png",
                                                                 "out/_./_/a_.._.._b/a_.._.._b/a_.._.._b.png"}));
}

TEST(CliBatch, ManyDocumentsEachInAFolderOfItsOwn) {
  test::TempDir a, b, out;
  const std::string first = Grouped(a);
  fs::create_directory(b.path() / "other");
  const std::string second = (b.path() / "other" / "grouped.psd").string();
  fs::copy_file(first, second);
  const std::string broken = b.Write("broken.psd", {'8', 'B', 'P', 'S', 0, 9});
  const Output run = RunCli({"--json", "--quiet", "--formats", "png", first, broken, second, out.Folder() + "batch"});
  EXPECT_EQ(run.status, 1);  // one failed, the others went on
  const std::vector<json> lines = JsonLines(run.out);
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0]["result"], 0);
  EXPECT_EQ(lines[0]["output_folder"], out.Folder() + "batch/grouped/");
  EXPECT_NE(lines[1]["result"], 0);
  EXPECT_EQ(lines[1]["failed_in"], "header");
  EXPECT_EQ(lines[1]["mode"], json());
  EXPECT_EQ(lines[2]["output_folder"], out.Folder() + "batch/grouped (2)/");
  EXPECT_TRUE(fs::exists(out.path() / "batch" / "grouped" / "Top.png"));
  EXPECT_TRUE(fs::exists(out.path() / "batch" / "grouped (2)" / "Top.png"));
  EXPECT_FALSE(fs::exists(out.path() / "batch" / "broken"));  // its folder goes again when nothing was written

  // As text: the failure on stderr, the rest on stdout.
  test::TempDir again;
  const Output text = RunCli({"--quiet", first, broken, again.Folder()});
  EXPECT_EQ(text.status, 1);
  EXPECT_NE(text.out.find("Layers ripped:\t6\n"), std::string::npos) << text.out;
  EXPECT_EQ(text.out.find("Error code"), std::string::npos);
  EXPECT_NE(text.err.find("Error code: -2\n"), std::string::npos) << text.err;
}

// `text` with every `from` made `to`.
std::string Replaced(std::string text, const std::string& from, const std::string& to) {
  for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
    text.replace(at, from.size(), to);
  }
  return text;
}

TEST(CliJobs, TwoAtOnceWriteAndPrintWhatOneAtATimeDoes) {
  test::TempDir dir;
  const std::string first = Grouped(dir);
  const std::string broken = dir.Write("broken.psd", {'8', 'B', 'P', 'S', 0, 9});
  const std::string second = (dir.path() / "second.psd").string(), third = (dir.path() / "third.psd").string();
  fs::copy_file(first, second);
  fs::copy_file(first, third);
  for (const char* report : {"--quiet", "--json"}) {
    SCOPED_TRACE(report);
    test::TempDir one, two;
    const Output a = RunCli({report, "-q", "-j", "1", first, broken, second, third, one.Folder()});
    const Output b = RunCli({report, "-q", "--jobs=2", first, broken, second, third, two.Folder()});
    EXPECT_EQ(a.status, 1);
    EXPECT_EQ(b.status, a.status);
    EXPECT_EQ(Replaced(b.out, two.Folder(), "OUT/"), Replaced(a.out, one.Folder(), "OUT/"));
    EXPECT_EQ(Replaced(b.err, two.Folder(), "OUT/"), Replaced(a.err, one.Folder(), "OUT/"));
    const std::vector<std::string> files = FilesUnder(one.path());
    EXPECT_EQ(FilesUnder(two.path()), files);
    for (const std::string& file : files) EXPECT_EQ(test::ReadAll(two.path() / file), test::ReadAll(one.path() / file));
  }
}

TEST(CliBatch, LogsNameEachDocumentSumUpAndStopWhereTheFolderFails) {
  test::TempDir dir;
  const std::string good = Grouped(dir);
  const std::string broken = dir.Write("broken.psd", {'8', 'B', 'P', 'S', 0, 9});
  const std::string aFile = dir.Write("file", {1});
  const struct {
    const char* what;
    std::vector<std::string> sources;
    std::string folder;  // under the temporary folder
    int status;
    std::vector<std::string> inErr;
    std::vector<std::string> notInErr;
  } cases[] = {
      {"a batch",
       {broken, good, good},
       "out",
       1,
       {"grouped.psd: [ 50%] Exporting", "3 documents: 2 ripped, 1 failed, 24 files\n"},
       {"Not started"}},
      {"one document", {good}, "out", 0, {"[ 50%] Exporting"}, {"grouped.psd: [", "documents:"}},
      {"a folder that cannot be made",
       {good, broken, good},
       "file/out",
       1,
       {"Not started: " + broken + "\n", "Not started: " + good + "\n",
        "3 documents: 0 ripped, 1 failed, 2 not started, 0 files\n"},
       {"Error code: -2"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<std::string> arguments = c.sources;
    arguments.push_back((dir.path() / c.folder).string());
    const Output run = RunCli(arguments);
    EXPECT_EQ(run.status, c.status);
    for (const std::string& text : c.inErr) EXPECT_NE(run.err.find(text), std::string::npos) << text << run.err;
    for (const std::string& text : c.notInErr) EXPECT_EQ(run.err.find(text), std::string::npos) << text << run.err;
    // Reports on stdout are parted by one blank line, with none before them.
    EXPECT_NE(run.out.rfind("\n", 0), 0u) << run.out;
    EXPECT_EQ(run.out.find("\n\n\n"), std::string::npos) << run.out;
  }
}

TEST(CliFast, SamePixelsWithRunLengthCompression) {
  test::TempDir dir, slow, fast;
  const std::string source = Grouped(dir);
  ASSERT_EQ(RunCli({"--quiet", source, slow.Folder()}).status, 0);
  ASSERT_EQ(RunCli({"--quiet", "--fast", source, fast.Folder()}).status, 0);
  for (const char* name : {"Back.png", "Top.png", "sky (2).png"}) {
    EXPECT_EQ(test::ReadPng(fast.path() / name).pixels, test::ReadPng(slow.path() / name).pixels) << name;
    EXPECT_NE(test::ReadAll(fast.path() / name), test::ReadAll(slow.path() / name)) << name;
  }
  EXPECT_EQ(test::ReadAll(fast.path() / "Back.gif"), test::ReadAll(slow.path() / "Back.gif"));
}

TEST(CliCorpus, ListAgreesWithTheIndependentDecoderOnEveryRecord) {
  if (test::CorpusDir().empty()) GTEST_SKIP() << "no corpus next to the checkout";
  std::vector<std::string> arguments = {"--list", "--json", "--quiet"};
  for (const fs::path& file : test::CorpusFiles()) arguments.push_back(file.string());
  const Output run = RunCli(arguments);
  ASSERT_EQ(run.status, 0) << run.err;
  const std::vector<json> lines = JsonLines(run.out);
  ASSERT_EQ(lines.size(), test::CorpusFiles().size());
  size_t compared = 0;
  for (size_t d = 0; d < lines.size(); ++d) {
    const json expected = test::ExpectedFor(test::CorpusFiles()[d]);
    SCOPED_TRACE(expected["file"].get<std::string>());
    const std::string from = expected["layers_from"];
    if (from == "composite") continue;
    std::vector<json> records;
    for (const json& record : from == "main" ? expected["records"] : expected["tagged_records"]) {
      if (record["layer_info"] == from) records.push_back(record);
    }
    const json& layers = lines[d]["layers"];
    ASSERT_EQ(layers.size(), records.size());
    for (const json& layer : layers) {
      const json& want = records.at(layer["index"].get<size_t>());
      for (const char* key : {"visible", "hidden_by_group", "blend_mode", "group", "kind"}) {
        EXPECT_EQ(layer[key], want[key]) << key << " of record " << layer["index"];
      }
      EXPECT_EQ(layer["layer_info"], from);
      EXPECT_EQ(layer["name"], want["name_utf8"]);
      EXPECT_EQ(layer["width"], want["width"]);
      ++compared;
    }
  }
  EXPECT_GT(compared, 250u);
}

}  // namespace
}  // namespace peelbox
