// Fuzz target: a whole rip of a document into a folder, with and without
// ignore-alpha, on one thread and on two, with the command line's options, a
// name template of every field and layer filters among them, and each layer
// as shown, trimmed and padded, and in every format with the colour, WebP,
// JPEG and GIF options. Every file is a layer's own, inside the output
// folder, and every PNG and WebP reads back at the size the report gives
// it: its layer's size unless trimmed.
#include <png.h>
#include <unistd.h>
#include <webp/decode.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>

#include "export/export_result.h"
#include "export/output_format.h"
#include "export/rip_job.h"
#include "psd/document.h"

namespace {

// A folder of its own for each input, gone again when the input is done.
class Folder {
 public:
  Folder() : path_(std::filesystem::temp_directory_path() / ("peelbox-fuzz-rip-" + std::to_string(getpid()))) {
    std::filesystem::create_directories(path_);
  }
  ~Folder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

void CheckPng(const std::string& path, int64_t width, int64_t height) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&image, path.c_str())) std::abort();
  const bool sized = image.width == width && image.height == height;
  png_image_free(&image);
  if (!sized) std::abort();
}

void CheckWebp(const std::string& path, int64_t width, int64_t height) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) std::abort();
  uint8_t header[64];
  const size_t size = std::fread(header, 1, sizeof header, file);
  std::fclose(file);
  int w = 0, h = 0;
  if (!WebPGetInfo(header, size, &w, &h) || w != width || h != height) std::abort();
}

// Whether the path names a file inside the folder, by its words alone.
bool Inside(const std::filesystem::path& folder, const std::string& path) {
  const std::filesystem::path relative = std::filesystem::path(path).lexically_relative(folder);
  return !relative.empty() && *relative.begin() != ".." && relative.lexically_normal() == relative;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const Folder folder;
  const std::string source = (folder.path() / "in.psd").string();
  std::FILE* file = std::fopen(source.c_str(), "wb");
  if (file == nullptr) return 0;
  std::fwrite(data, 1, size, file);
  std::fclose(file);
  const std::filesystem::path out = folder.path() / "out";
  for (int pass = 0; pass < 5; ++pass) {
    std::filesystem::remove_all(out);
    std::filesystem::create_directory(out);
    const int ignoreAlpha = pass == 1 ? 1 : 0;
    peelbox::RipJob job(source, out.string() + "/", ignoreAlpha, nullptr);
    job.threads = 1 + pass % 2;
    if (pass == 2) {  // the command line's options: one format, names by template, filters, visible layers
      job.options.formats = {"png"};
      job.options.groupsAsFolders = true;
      job.options.nameTemplate =
          "{doc}/{path}/{group}@{name}#{index:03}_{n:02}.{left},{top},{width}x{height}{{{blend}}}";
      job.options.only = {"**/[!.]*", "?*"};
      job.options.skip = {"*[Cc]opy*"};
      job.options.ignoreCase = true;
      job.options.visibleOnly = true;
      job.options.fastPng = true;
    }
    if (pass == 1) job.options.formats = {"png", "gif", "webp", "jpeg"};  // WebP lossless, JPEG over white
    if (pass == 4) {  // every format with every colour option: sRGB, lossy WebP, a background, a dithered matte
      job.options.formats = {"png", "gif", "webp", "jpeg"};
      job.options.colour = peelbox::ColourHandling::kSrgb;
      job.options.webpQuality = 40;
      job.options.jpegQuality = 20;
      job.options.background = 0x102030;
      job.options.gifMatte = 0x336699;
      job.options.gifDither = true;
    }
    if (pass == 3) {  // masks, opacity, groups and clipping, trimmed, with a margin
      job.options.asShown = true;
      job.options.extent = peelbox::Extent::kTrim;
      job.options.pad = 2;
    }
    const int32_t result = job.Run();
    if (result > 0 || result == peelbox::kBadNameTemplate) std::abort();
    // Every file is a layer's own; every PNG reads back at its size.
    std::set<std::string> paths;
    for (const peelbox::OutputFile& written : job.OutputFiles()) {
      if (!paths.insert(written.path).second || !Inside(out, written.path)) std::abort();
      const std::string format = written.format->name;
      if (format == "webp") CheckWebp(written.path, written.image.width, written.image.height);
      if (format != "png") continue;
      CheckPng(written.path, written.image.width, written.image.height);
      if (pass == 3) continue;
      const peelbox::ImagePlace own =
          written.layerIndex
              ? peelbox::ImagePlace{written.facts.left, written.facts.top, written.facts.width, written.facts.height}
              : peelbox::ImagePlace{0, 0, job.document->format.columns, job.document->format.rows};
      if (!(written.image == own)) std::abort();
    }
  }
  return 0;
}
