// Presets and the command line's --preset and --layers: what a preset sets,
// what it refuses, and which of the two wins.
#include "export/preset.h"

#include <gtest/gtest.h>

#include "cli/options.h"
#include "tests/helpers.h"

namespace peelbox {
namespace {

TEST(Preset, EveryKeyRoundTrips) {
  ExportOptions options;
  options.formats = {"gif"};
  options.extent = Extent::kTrim;
  options.pad = 3;
  options.asShown = options.ignoreCase = options.visibleOnly = options.groupsAsFolders = options.fastPng =
      options.ignoreAlpha = true;
  options.nameTemplate = "{doc}_{name}";
  options.only = {"UI/**", "a,b"};
  options.skip = {"*_old"};
  options.colour = ColourHandling::kSrgb;
  options.webpQuality = 80;
  options.jpegQuality = 70;
  options.background = 0x102030;
  options.gifMatte = 0xFFFFFF;
  options.gifDither = true;
  const std::string text = PresetText(options);
  ExportOptions read;
  std::string error;
  ASSERT_TRUE(ReadPreset(text, &read, &error)) << error;
  EXPECT_EQ(PresetText(read), text);
  EXPECT_NE(PresetText(ExportOptions{}), text);  // every key differs from its default above
  for (const std::string& key : PresetKeys()) EXPECT_NE(text.find("\"" + key + "\""), std::string::npos) << key;
}

TEST(Preset, BadTextOrValuesAreRefusedByKeyAndChangeNothing) {
  const struct {
    const char* text;
    const char* named;  // in the error
  } cases[] = {
      {R"({"bogus": true})", "\"bogus\" is not an option"},
      {R"({"formats": "png,bmp"})", "\"formats\""},
      {R"({"formats": ""})", "\"formats\""},
      {R"({"extent": "all"})", "\"extent\""},
      {R"({"pad": 4097})", "\"pad\""},
      {R"({"pad": -1})", "\"pad\""},
      {R"({"pad": "2"})", "\"pad\""},
      {R"({"pad": 2.5})", "\"pad\""},
      {R"({"fast": 1})", "\"fast\""},
      {R"({"only": "UI/**"})", "\"only\""},
      {R"({"skip": ["a", 2]})", "\"skip\""},
      {R"({"name": "{nope}"})", "\"name\""},
      {R"({"color": "cmyk"})", "\"color\""},
      {R"({"webp-quality": 101})", "\"webp-quality\""},
      {R"({"jpeg-quality": null})", "\"jpeg-quality\""},
      {R"({"background": "fff"})", "\"background\""},
      {R"({"gif-matte": "gg0000"})", "\"gif-matte\""},
      {R"(["formats"])", "not a JSON object"},
      {R"({"formats": "png")", "not a JSON object"},
      {"", "not a JSON object"},
  };
  for (const auto& c : cases) {
    ExportOptions options;
    options.pad = 7;
    std::string error;
    EXPECT_FALSE(ReadPreset(c.text, &options, &error)) << c.text;
    EXPECT_NE(error.find(c.named), std::string::npos) << c.text << ": " << error;
    EXPECT_EQ(options.pad, 7) << c.text;
  }
}

TEST(Preset, FilesLargerThanAPresetAreRefused) {
  test::TempDir dir;
  const std::string path = dir.Write("big.json", test::ByteVector(kMaxPresetBytes + 1, ' '));
  ExportOptions options;
  std::string error;
  EXPECT_FALSE(LoadPreset(path, &options, &error));
  EXPECT_NE(error.find("larger"), std::string::npos) << error;
}

// The command line over a preset: its own options win, its lists replace.
TEST(PresetOnTheCommandLine, CommandLineOverridesThePreset) {
  test::TempDir dir;
  const std::string text = R"({"formats": "gif", "pad": 2, "only": ["a", "b"], "skip": ["c"], "fast": true})";
  const std::string preset = dir.Write("p.json", test::ByteVector(text.begin(), text.end()));
  const struct {
    std::vector<std::string> arguments;
    std::string formats;
    int pad;
    std::vector<std::string> only;
    std::vector<std::string> skip;
  } cases[] = {
      {{"--preset", preset}, "gif", 2, {"a", "b"}, {"c"}},
      {{"--formats", "png", "--preset=" + preset, "--pad", "0"}, "png", 0, {"a", "b"}, {"c"}},
      {{"--preset", preset, "--only", "x", "--only", "y"}, "gif", 2, {"x", "y"}, {"c"}},
      {{"--skip", "z", "--preset", preset}, "gif", 2, {"a", "b"}, {"z"}},
  };
  for (const auto& c : cases) {
    cli::Options options;
    std::vector<std::string> arguments = c.arguments;
    arguments.insert(arguments.end(), {"in.psd", "out"});
    ASSERT_TRUE(cli::Parse(arguments, &options).run) << arguments[1];
    std::string formats;
    for (const std::string& format : options.job.formats) formats += format;
    EXPECT_EQ(formats, c.formats) << arguments[1];
    EXPECT_EQ(options.job.pad, c.pad) << arguments[1];
    EXPECT_EQ(options.job.only, c.only) << arguments[1];
    EXPECT_EQ(options.job.skip, c.skip) << arguments[1];
    EXPECT_TRUE(options.job.fastPng);
  }
}

TEST(LayersOnTheCommandLine, IndexesAndRanges) {
  const struct {
    const char* list;
    const char* selected;  // of records 0..9, or null when refused
  } cases[] = {
      {"3,5-7", "0001011100"}, {"0", "1000000000"}, {"9-9,1", "0100000001"}, {"7-5", nullptr}, {"", nullptr},
      {"3,", nullptr},         {"-2", nullptr},     {"a", nullptr},          {"1-", nullptr},  {"99999999999", nullptr},
  };
  for (const auto& c : cases) {
    cli::Options options;
    const cli::Parsed parsed = cli::Parse({"--layers", c.list, "in.psd", "out"}, &options);
    EXPECT_EQ(parsed.run, c.selected != nullptr) << c.list;
    if (!parsed.run) continue;
    std::string selected;
    for (size_t i = 0; i < 10; ++i) selected += options.job.Selected(i) ? '1' : '0';
    EXPECT_EQ(selected, c.selected) << c.list;
  }
}

}  // namespace
}  // namespace peelbox
