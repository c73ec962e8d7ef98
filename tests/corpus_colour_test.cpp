// Real documents in every format: each PNG carries the document's own
// profile byte for byte (or says why not), each lossless WebP decodes to the
// PNG's pixels, and each JPEG comes as close to the PNG flattened over white
// as libjpeg itself does at the same quality.
#include <gtest/gtest.h>

#include "export/profile.h"
#include "export/rip_job.h"
#include "tests/helpers.h"
#include "tests/image_readers.h"

namespace peelbox {
namespace {

// Why a PNG of a document with a profile has no iCCP chunk; empty when it
// should have one.
std::string NoProfileBecause(const ProfileFacts& facts, const test::DecodedPng& png) {
  if (png.srgb) return "converted to sRGB";
  if (!facts.opened) return "Little CMS cannot open it";
  const bool grey = png.colorType == 0 || png.colorType == 4;
  if (facts.space != (grey ? ProfileFacts::Space::kGrey : ProfileFacts::Space::kRgb)) return "another colour space";
  return "";
}

TEST(CorpusColour, ProfilesWebpAndJpegOfEveryDocument) {
  if (test::CorpusDir().empty()) GTEST_SKIP() << "no corpus next to the checkout";
  size_t embedded = 0, webps = 0, jpegs = 0;
  for (const std::filesystem::path& file : test::CorpusFiles()) {
    SCOPED_TRACE(file.filename().string());
    test::TempDir out;
    RipJob job(file.string(), out.Folder(), 0, nullptr);
    job.options.formats = {"png", "webp", "jpeg"};
    if (job.Run() != 0) continue;  // broken documents: the export tests hold them
    const std::string profile = EmbeddedProfile(job.document->imageResources.get());
    const ProfileFacts facts = DescribeProfile(profile);
    for (const OutputFile& written : job.OutputFiles()) {
      const std::string stem = written.path.substr(0, written.path.size() - 4);
      if (written.format->name != std::string("png")) continue;
      SCOPED_TRACE(written.layerName);
      const test::DecodedPng png = test::ReadPng(written.path);
      ASSERT_TRUE(png.ok);
      if (!profile.empty()) {
        const std::string reason = NoProfileBecause(facts, png);
        // Compared as a flag first: a failure that prints two profiles says nothing.
        EXPECT_EQ(png.iccProfile.empty(), !reason.empty()) << reason;
        EXPECT_TRUE(png.iccProfile.empty() || png.iccProfile == profile);
        if (reason.empty()) ++embedded;
      }
      EXPECT_EQ(test::ReadWebp(stem + ".webp").pixels, test::Rgba8(png));
      ++webps;
      const bool grey = png.colorType == 0 || png.colorType == 4;
      const test::Decoded8 flat = test::Flattened(png, 0xFFFFFF, grey ? 1 : 3);
      const test::Decoded8 reference = test::DecodeJpeg(test::ReferenceJpeg(flat, 90));
      EXPECT_GE(test::Psnr(flat.pixels, test::ReadJpeg(stem + ".jpg").pixels),
                test::Psnr(flat.pixels, reference.pixels) - 0.5);
      ++jpegs;
    }
  }
  std::printf("%zu profiles embedded, %zu WebP and %zu JPEG files checked\n", embedded, webps, jpegs);
  EXPECT_GT(embedded, 50u);
  EXPECT_GT(jpegs, 150u);
}

}  // namespace
}  // namespace peelbox
