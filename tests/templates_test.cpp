// File names by template and layers by filter: each field, widths, braces,
// every template a job refuses, names that try to leave the folder, and
// globs over names and group paths.
#include <gtest/gtest.h>

#include <filesystem>

#include "export/export_result.h"
#include "export/layer_filter.h"
#include "export/name_template.h"
#include "export/rip_job.h"
#include "tests/helpers.h"
#include "tests/support/sha256.h"

namespace peelbox {
namespace {

namespace fs = std::filesystem;

TEST(NameTemplate, EachFieldMadeSafeAndEveryFolderInside) {
  const struct {
    const char* text;
    std::string path;  // the components joined by "/"
    std::string name = "Sky/Blue";
    std::vector<std::string> groups = {"UI", "Btn"};  // their records: 20, 21, ...
    std::optional<size_t> index = 7;
  } cases[] = {
      {"{name}", "Sky_Blue"},
      {"{doc}_{group}_{name}@{index}", "art_Btn_Sky_Blue@7"},
      {"{index:03}-{n:02}-{index:01}-{n:09}", "007-03-7-000000003"},
      {"{left},{top} {width}x{height} {blend}", "-5,3 40x20 mul"},
      {"{path}/{name}", "UI/Btn/Sky_Blue"},
      {"{path}_{group}#/{{{n}}}", "UI/Btn_Btn#/{3}"},
      {"{path}/{name}", "Sky_Blue", "Sky/Blue", {}},
      {"{group}/{name}", "Sky_Blue", "Sky/Blue", {}},
      {"{group}../{group} /{name}", "Sky_Blue", "Sky/Blue", {}},
      {"{group}", "Layer 8", "Sky", {}},
      {"{group}.", "Layer 8", "Sky", {}},
      {"{path}/{name}", "Layer 21/_/Layer 8", "", {"", "/"}},
      {"{path}/{group}/{name}", "_./a_.._.._b/a_.._.._b/_.", "..", {"..", "a/../../b"}},
      {"{name}{index}", "Background", "Background", {}, std::nullopt},
      {"{name}{name}", std::string(240, 'a'), std::string(200, 'a')},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    std::string error;
    const std::optional<NameTemplate> parsed = NameTemplate::Parse(c.text, &error);
    ASSERT_TRUE(parsed) << error;
    NameFields fields{c.name, "art", c.index, 3, c.groups, {}, {-5, 3, 40, 20}, "mul "};
    for (size_t g = 0; g < c.groups.size(); ++g) fields.groupRecords.push_back(20 + g);
    std::string path;
    for (const std::string& component : parsed->Render(fields)) path += (path.empty() ? "" : "/") + component;
    EXPECT_EQ(path, c.path);
  }
}

TEST(NameTemplate, EveryTemplateItCannotUseIsASentence) {
  const std::string dotted = "\", which would leave the output folder or name no file.";
  const struct {
    std::string text;
    std::string error;
  } cases[] = {
      {"{nmae}", "\"{nmae}\" is not a field."},
      {"{name", "A \"{\" opens a field that is not closed; \"{{\" is a brace."},
      {"name}", "A \"}\" closes no field; \"}}\" is a brace."},
      {"{index:3}", "\"{index:3}\": a width is \":0\" and one digit from 1 to 9."},
      {"{n:010}", "\"{n:010}\": a width is \":0\" and one digit from 1 to 9."},
      {"{n:00}", "\"{n:00}\": a width is \":0\" and one digit from 1 to 9."},
      {"{name:03}", "\"{name:03}\": only numbers take a width."},
      {"", "The template is empty."},
      {"/tmp/{name}", "The template starts with \"/\": files are named inside the output folder."},
      {"a//{name}", "The template has an empty name between two \"/\" or after the last."},
      {"{name}/", "The template has an empty name between two \"/\" or after the last."},
      {"a/../{name}", "The template has the name \".." + dotted},
      {"./{name}", "The template has the name \"." + dotted},
      {".. /{name}", "The template has the name \".. " + dotted},
      {"{name}\t", "The template holds a control character."},
      {"..\\{name}", "The template holds a \"\\\": folders are made with \"/\"."},
  };
  for (const auto& c : cases) {
    std::string error;
    EXPECT_FALSE(NameTemplate::Parse(c.text, &error)) << c.text;
    EXPECT_EQ(error, c.error) << c.text;
  }
}

TEST(NameTemplate, AJobRefusesABadTemplateBeforeItCreatesAnything) {
  test::TempDir in, parent;
  RipJob job(in.Write("in.psd", psdbuild::BuildDocument(test::SmallDocument()).bytes),
             (parent.path() / "out").string() + "/", 0, nullptr);
  job.options.nameTemplate = "{nmae}";
  EXPECT_EQ(job.Run(), kBadNameTemplate);
  EXPECT_STREQ(FailedInName(job.FailedStep()), "name template");
  EXPECT_EQ(job.Error(), "The name template \"{nmae}\" cannot be used. \"{nmae}\" is not a field. " +
                             std::string(kNameFieldsSentence));
  EXPECT_TRUE(std::filesystem::is_empty(parent.path()));
}

TEST(LayerFilter, GlobsOverNamesAndPaths) {
  const struct {
    std::vector<std::string> only;
    std::vector<std::string> skip;
    std::string name;
    std::vector<std::string> groups;
    bool wanted;
    bool ignoreCase = false;
  } cases[] = {
      {{"Sky"}, {}, "Sky", {"UI", "Top"}, true},
      {{"S?y"}, {}, "Skky", {}, false},
      {{}, {"*_old"}, "Button_old", {"UI"}, false},
      {{"UI/*"}, {}, "Button", {"UI"}, true},
      {{"UI/*"}, {}, "Button", {"UI", "Panel"}, false},
      {{"UI/Panel?Button"}, {}, "Button", {"UI", "Panel"}, false},
      {{"UI/**"}, {}, "Button", {"UI", "Panel"}, true},
      {{"UI/**"}, {}, "UI", {}, false},
      {{"**/Button"}, {}, "Button", {}, true},
      {{"**/Button"}, {}, "MyButton", {"UI"}, false},
      {{"UI/**/Button"}, {}, "Button", {"UI"}, true},
      {{"/Button"}, {}, "Button", {"UI"}, false},
      {{"[A-C]utton"}, {}, "Button", {}, true},
      {{"[!A-C]utton"}, {}, "Button", {}, false},
      {{"[]]", "[ab"}, {}, "]", {}, true},
      {{"[ab"}, {}, "[ab", {}, true},
      {{"\\*"}, {}, "x", {}, false},
      {{"\\*"}, {}, "*", {}, true},
      {{"UI/\xE9\xA0\xAD?"}, {}, "\xE9\xA0\xAD\xE4\xBD\x93", {"UI"}, true},
      {{"[\xC3\xA0-\xC3\xBF]"}, {}, "\xC3\xA9", {}, true},
      {{"?"}, {}, "\xFF", {}, true},
      {{"*"}, {}, "a/b", {}, true},
      {{"a/b"}, {}, "a/b", {}, true},
      {{"sky"}, {}, "Sky", {}, false},
      {{"sky"}, {}, "Sky", {}, true, true},
      {{"[a-z]KY"}, {}, "Sky", {}, true, true},
      {{"\xC3\xA9"}, {}, "\xC3\x89", {}, false, true},
      {{"UI/**"}, {"*_old"}, "Button_old", {"UI"}, false},
      {{"UI/**", "Sky"}, {"*_old"}, "Sky", {}, true},
  };
  for (const auto& c : cases) {
    ExportOptions options;
    options.only = c.only;
    options.skip = c.skip;
    options.ignoreCase = c.ignoreCase;
    EXPECT_EQ(LayerFilter(options).Wants(c.name, c.groups), c.wanted)
        << ::testing::PrintToString(c.only) << " " << ::testing::PrintToString(c.skip) << " " << c.name;
  }
}

// Every file a job writes under these options: its path inside the output
// folder and the hash of its bytes.
std::map<std::string, std::string> Ripped(const fs::path& source, const ExportOptions& options) {
  test::TempDir out;
  RipJob job(source.string(), out.Folder(), 0, nullptr);
  job.options = options;
  job.Run();
  std::map<std::string, std::string> files;
  for (const OutputFile& file : job.OutputFiles()) {
    const test::ByteVector bytes = test::ReadAll(file.path);
    files[file.path.substr(out.Folder().size())] = psdbuild::Sha256Hex(bytes.data(), bytes.size());
  }
  return files;
}

TEST(CorpusNames, TheTemplateOfGroupFoldersAndTheFilterOfEveryLayerChangeNoFile) {
  if (test::CorpusDir().empty()) GTEST_SKIP() << "no corpus next to the checkout";
  ExportOptions plain;  // the names do not depend on the formats: one, fast, will do
  plain.formats = {"png"};
  plain.fastPng = true;
  ExportOptions groupFolders = plain, pathTemplate = plain, everyLayer = plain;
  groupFolders.groupsAsFolders = true;
  pathTemplate.nameTemplate = "{path}/{name}";
  everyLayer.only = {"**"};
  size_t files = 0;
  for (const fs::path& source : test::CorpusFiles()) {
    SCOPED_TRACE(source.filename().string());
    const std::map<std::string, std::string> grouped = Ripped(source, groupFolders), all = Ripped(source, plain);
    EXPECT_EQ(Ripped(source, pathTemplate), grouped);
    EXPECT_EQ(Ripped(source, everyLayer), all);
    files += grouped.size();
  }
  EXPECT_GT(files, 150u);
}

}  // namespace
}  // namespace peelbox
