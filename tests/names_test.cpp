// Layer names as users gave them: the Unicode name, the Pascal name in UTF-8
// or Mac OS Roman, and the file-name stems made from them, one per layer.
#include <gtest/gtest.h>

#include <algorithm>

#include "export/file_name.h"
#include "export/rip_job.h"
#include "psd/document.h"
#include "psd/text.h"
#include "tests/helpers.h"

namespace peelbox {
namespace {

using psdbuild::BuildDocument;
using psdbuild::DocumentRecipe;
using psdbuild::LayerRecipe;
using test::ByteVector;

ByteVector Concat(std::initializer_list<ByteVector> parts) {
  ByteVector all;
  for (const ByteVector& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

// A luni block whose count claims more units than it holds.
ByteVector DamagedUnicodeName() {
  ByteVector block = psdbuild::UnicodeNameBlock(u"Long");
  block[15] = 50;  // the count: 50 units in a block of 4
  return block;
}

LayerRecipe Named(const std::string& pascal, ByteVector afterName) {
  LayerRecipe layer = psdbuild::PixelLayer({0, 0, 3, 2, true, false, 7, pascal});
  layer.afterName = std::move(afterName);
  return layer;
}

TEST(LayerNames, FromTheUnicodeNameElseThePascalName) {
  const struct {
    const char* what;
    std::string pascal;
    ByteVector afterName;
    std::string name;
  } cases[] = {
      {"CJK", "???", psdbuild::UnicodeNameBlock(u"\u982D\u4F53"), "\xE9\xA0\xAD\xE4\xBD\x93"},
      {"emoji, a surrogate pair", "?", psdbuild::UnicodeNameBlock(u"\U0001F600 ok"), "\xF0\x9F\x98\x80 ok"},
      {"Cyrillic", "\xCF\xF0\xE8", psdbuild::UnicodeNameBlock(u"\u041F\u0440\u0438"), "\xD0\x9F\xD1\x80\xD0\xB8"},
      {"trailing NUL units dropped", "x", psdbuild::UnicodeNameBlock(std::u16string(u"Sky\0\0", 5)), "Sky"},
      {"lone surrogate", "x", psdbuild::UnicodeNameBlock(u"a\xD800" u"b"), "a\xEF\xBF\xBD" "b"},
      {"Mac OS Roman Pascal name", "Caf\x8E \xDB\xF0", {}, "Caf\xC3\xA9 \xE2\x82\xAC\xEF\xA3\xBF"},
      {"UTF-8 Pascal name", "Caf\xC3\xA9", {}, "Caf\xC3\xA9"},
      {"empty Unicode name", "Pascal", psdbuild::UnicodeNameBlock(u""), "Pascal"},
      {"damaged Unicode name", "Pascal", DamagedUnicodeName(), "Pascal"},
      {"Unicode name after another block", "x",
       Concat({psdbuild::TaggedBlockBytes("lyid", {0, 0, 0, 7}), psdbuild::UnicodeNameBlock(u"After")}), "After"},
      {"Unicode name after a damaged block", "Pascal",
       Concat({psdbuild::TaggedBlockBytes("lyid", {0, 0, 0, 7}, false, "8BXX"), psdbuild::UnicodeNameBlock(u"Lost")}),
       "Pascal"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    DocumentRecipe doc;
    doc.rows = 2;
    doc.columns = 3;
    doc.layers = {Named(c.pascal, c.afterName)};
    test::TempDir in, out;
    test::RecordingReceiver receiver;
    RipJob job(in.Write("in.psd", BuildDocument(doc).bytes), out.Folder(), 0, &receiver);
    ASSERT_EQ(job.Run(), 0);
    EXPECT_EQ(job.document->layerMaskInfo->Layers().records[0]->name, c.name);
    // One name everywhere: the statuses, the files and their list.
    const std::vector<std::string> texts = receiver.Texts();
    for (const std::string& text : {"Finished reading layer info: \"" + c.name + "\"",
                                    "Reading data for layer \"" + c.name + "\" with 4 channels.",
                                    "Exporting layer: \"" + c.name + "\"..."}) {
      EXPECT_NE(std::find(texts.begin(), texts.end(), text), texts.end()) << text;
    }
    const std::string stem = MakeFileName(c.name, 1);
    EXPECT_EQ(out.FileNames(), (std::vector<std::string>{stem + ".gif", stem + ".png"}));
    ASSERT_EQ(job.OutputFiles().size(), 2u);
    EXPECT_EQ(job.OutputFiles()[0].layerName, c.name);
  }
}

std::string Repeat(const std::string& part, size_t times) {
  std::string all;
  for (size_t i = 0; i < times; ++i) all += part;
  return all;
}

TEST(FileNames, SafeStems) {
  const struct {
    std::string name;
    size_t position;
    std::string stem;
  } cases[] = {
      {"Layer 1", 1, "Layer 1"},
      {"a/b:c", 1, "a_b_c"},
      {"50% grey, copy", 1, "50_ grey_ copy"},
      {"?!@#$%^&*/\\=:\"',", 1, std::string(16, '_')},
      {"<a>|b.c-[d]~", 1, "<a>|b.c-[d]~"},
      {"tab\there\nnew\x01\x1F\x7F", 1, "tab_here_new___"},
      {".hidden", 1, "_hidden"},
      {"..", 1, "_."},
      {"", 4, "Layer 4"},
      {"   ", 12, "Layer 12"},
      {" spaced ", 1, " spaced "},
      {"\xE9\xA0\xAD", 1, "\xE9\xA0\xAD"},
      {std::string(240, 'a'), 1, std::string(240, 'a')},
      {std::string(241, 'a'), 1, std::string(240, 'a')},
      // Two-byte characters after one byte: 239 is the last boundary within 240.
      {"x" + Repeat("\xC3\xA9", 130), 1, "x" + Repeat("\xC3\xA9", 119)},
      {Repeat("\xF0\x9F\x98\x80", 61), 1, Repeat("\xF0\x9F\x98\x80", 60)},
  };
  for (const auto& c : cases) {
    const std::string stem = MakeFileName(c.name, c.position);
    EXPECT_EQ(stem, c.stem) << c.name;
    EXPECT_LE(stem.size(), kMaxStemBytes);
    EXPECT_TRUE(IsValidUtf8(stem));
  }
}

TEST(FileNames, OneStemPerLayer) {
  const struct {
    std::vector<std::string> stems;
    std::vector<std::string> claimed;
  } cases[] = {
      {{"a", "a", "a"}, {"a", "a (2)", "a (3)"}},
      {{"Sky", "sky", "SKY"}, {"Sky", "sky (2)", "SKY (3)"}},
      {{"a (2)", "a", "a"}, {"a (2)", "a", "a (3)"}},
      {{"a", "a", "a (2)"}, {"a", "a (2)", "a (2) (2)"}},
      {{"\xC3\x89", "\xC3\xA9"}, {"\xC3\x89", "\xC3\xA9"}},  // only ASCII letters fold
  };
  for (const auto& c : cases) {
    StemRegistry registry;
    std::vector<std::string> claimed;
    for (const std::string& stem : c.stems) claimed.push_back(registry.Claim(stem));
    EXPECT_EQ(claimed, c.claimed);
  }
}

TEST(FileNames, LayersThatWouldShareAFileGetFilesOfTheirOwn) {
  DocumentRecipe doc;
  doc.rows = 2;
  doc.columns = 3;
  for (const char* name : {"Shadow", "Shadow", "Shadow", "a?b", "a*b", "Sky", "sky", "Shadow (2)", "", ".", "."}) {
    doc.layers.push_back(Named(name, {}));
  }
  test::TempDir in, out;
  RipJob job(in.Write("in.psd", BuildDocument(doc).bytes), out.Folder(), 0, nullptr);
  ASSERT_EQ(job.Run(), 0);
  std::vector<std::string> pngs;
  for (const std::string& name : out.FileNames()) {
    if (name.size() > 4 && name.compare(name.size() - 4, 4, ".png") == 0) pngs.push_back(name);
  }
  std::vector<std::string> wanted = {"Shadow.png", "Shadow (2).png", "Shadow (3).png", "a_b.png", "a_b (2).png",
                                     "Sky.png",    "sky (2).png",    "Shadow (2) (2).png", "Layer 9.png", "_.png",
                                     "_ (2).png"};
  std::sort(wanted.begin(), wanted.end());
  EXPECT_EQ(pngs, wanted);
  EXPECT_EQ(job.LayersRipped(), 11);
  EXPECT_EQ(job.FilesSaved(), 22);
}

}  // namespace
}  // namespace peelbox
