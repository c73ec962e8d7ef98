// Measures where the time of a rip goes: each stage on its own on one
// thread, then the whole job as users run it, each in a child process of
// its own for its peak memory, then (with --peers) other tools doing the
// same job on the same document.
//   peelbox-bench DOCUMENT.psd [--no-reference] [--peers] [--repeat N]
//   peelbox-bench --gif-error PHOTO.png...   (the GIF's error on photographs)
//   peelbox-bench --png-sizes IMAGE.png...   (PNG bytes and seconds by deflater)
// With --repeat, every whole job and every peer runs N times and the fastest
// run counts: the machine's noise only ever adds time.
#include <gd.h>
#include <png.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "export/colour.h"
#include "export/encoder_pool.h"
#include "export/gif_format.h"
#include "export/gif_writer.h"
#include "export/layer_encoder.h"
#include "export/layer_planes.h"
#include "export/plan.h"
#include "export/png_format.h"
#include "psd/composite.h"
#include "psd/document.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using peelbox::LayerPlanes;

double Since(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

struct Row {
  std::string stage;
  double seconds = 0;
  std::string note;
};

std::vector<uint8_t> ReadFile(const std::string& path) {
  std::vector<uint8_t> bytes(fs::file_size(path));
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (!file || std::fread(bytes.data(), 1, bytes.size(), file) != bytes.size()) {
    std::perror(path.c_str());
    std::exit(1);
  }
  std::fclose(file);
  return bytes;
}

// A layer made ready for encoding: its planes, and its raster.
struct Prepared {
  LayerPlanes planes;
  peelbox::Raster raster;
};

// The GIF's palette image as Peelbox 1.1 made it: the colours in order of
// first use, then the nearest entry once the palette is full.
std::unique_ptr<peelbox::PaletteImage> FirstComeColours(const Prepared& layer) {
  auto image = std::make_unique<peelbox::PaletteImage>(layer.planes.width, layer.planes.height);
  const int channels = layer.raster.format.Channels();
  const uint8_t* at = layer.raster.pixels.get();
  for (int32_t y = 0; y < layer.planes.height; ++y) {
    uint8_t* row = image->Row(y);
    for (int32_t x = 0; x < layer.planes.width; ++x, at += channels) {
      const bool opaque = channels == 3 || at[3] != 0;
      row[x] = opaque ? image->IndexOf(at[0], at[1], at[2]) : 0;
    }
  }
  return image;
}

// Mean absolute difference per colour sample between the GIF's colours and
// the 8-bit PNG rows, over opaque pixels; and how many distinct colours the
// opaque pixels have, up to 255.
struct GifError {
  double sum = 0;
  double samples = 0;
  double Mean() const { return samples > 0 ? sum / samples : 0; }
};

void AddError(const Prepared& layer, const peelbox::PaletteImage& image, GifError* error) {
  const int channels = layer.raster.format.Channels();
  const uint8_t* at = layer.raster.pixels.get();
  for (int32_t y = 0; y < layer.planes.height; ++y) {
    const uint8_t* row = image.Row(y);
    for (int32_t x = 0; x < layer.planes.width; ++x, at += channels) {
      if (channels == 4 && at[3] == 0) continue;
      const uint32_t colour = image.Colour(row[x]);
      error->sum += std::abs(int(colour >> 16 & 0xFF) - at[0]) + std::abs(int(colour >> 8 & 0xFF) - at[1]) +
                    std::abs(int(colour & 0xFF) - at[2]);
      error->samples += 3;
    }
  }
}

// Photographs as layers: each PNG's pixels as one RGB layer; its GIF's error
// with the chosen palette and with first-come colours.
int MeasureGifError(int count, char** paths) {
  const auto converter = peelbox::ColourConverter::Create({1, 3, 1, 1, 8, peelbox::kRgbMode}, "", "");
  GifError chosenTotal, firstComeTotal;
  double paletteSeconds = 0;
  std::printf("| %-40s | %8s | %8s | %s\n", "photograph", "chosen", "1.1", "palette seconds");
  for (int i = 0; i < count; ++i) {
    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&png, paths[i])) {
      std::fprintf(stderr, "cannot read %s\n", paths[i]);
      return 1;
    }
    png.format = PNG_FORMAT_RGB;
    std::vector<uint8_t> rgb(PNG_IMAGE_SIZE(png));
    png_image_finish_read(&png, nullptr, rgb.data(), 0, nullptr);
    const size_t pixels = size_t(png.width) * png.height;
    std::vector<std::vector<uint8_t>> planes(3, std::vector<uint8_t>(pixels));
    for (size_t k = 0; k < pixels; ++k) {
      for (int c = 0; c < 3; ++c) planes[c][k] = rgb[3 * k + c];
    }
    Prepared layer;
    layer.planes.width = static_cast<int32_t>(png.width);
    layer.planes.height = static_cast<int32_t>(png.height);
    for (const auto& plane : planes) layer.planes.colour.push_back(plane.data());
    peelbox::MakeRaster(layer.planes, *converter, {}, &layer.raster);
    const auto start = Clock::now();
    const auto image = peelbox::MakeGifImage(layer.raster, {});
    const double seconds = Since(start);
    paletteSeconds += seconds;
    GifError chosen, firstCome;
    AddError(layer, *image, &chosen);
    AddError(layer, *FirstComeColours(layer), &firstCome);
    std::printf("| %-40s | %8.2f | %8.2f | %.3f\n", fs::path(paths[i]).filename().c_str(), chosen.Mean(),
                firstCome.Mean(), seconds);
    chosenTotal.sum += chosen.sum;
    chosenTotal.samples += chosen.samples;
    firstComeTotal.sum += firstCome.sum;
    firstComeTotal.samples += firstCome.samples;
  }
  std::printf("| %-40s | %8.2f | %8.2f | %.3f\n", "all", chosenTotal.Mean(), firstComeTotal.Mean(), paletteSeconds);
  return 0;
}

// The bytes of the PNG files in a folder.
double PngBytes(const fs::path& folder) {
  double bytes = 0;
  std::error_code ignored;
  for (const auto& entry : fs::directory_iterator(folder, ignored)) {
    if (entry.path().extension() == ".png") bytes += static_cast<double>(entry.file_size());
  }
  return bytes;
}

std::string FormatBytes(const char* label, double bytes) {
  char text[64];
  std::snprintf(text, sizeof text, "%s%.2f MB", label, bytes / 1e6);
  return text;
}

int g_repeat = 1;

// Runs a command in a child process of its own: its wall time and the peak
// resident memory of the command (the benchmark's own memory is not in it).
Row CommandOnce(const std::string& stage, const std::string& command) {
  const auto start = Clock::now();
  const pid_t child = fork();
  if (child == 0) {
    execl("/bin/sh", "sh", "-c", (command + " >/dev/null 2>&1").c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  int status = 0;
  rusage usage{};
  wait4(child, &status, 0, &usage);
  Row row{stage, Since(start), ""};
  char note[96];
  std::snprintf(note, sizeof note, "peak %.0f MB%s", usage.ru_maxrss / 1024.0,
                WIFEXITED(status) && WEXITSTATUS(status) == 0 ? "" : ", FAILED");
  row.note = note;
  return row;
}

Row Command(const std::string& stage, const std::string& command) {
  Row best = CommandOnce(stage, command);
  for (int i = 1; i < g_repeat; ++i) {
    const Row row = CommandOnce(stage, command);
    if (row.seconds < best.seconds) best = row;
  }
  return best;
}

std::string Quoted(const std::string& text) { return "'" + text + "'"; }

// Images (RGBA as read) encoded as the default job, with libpng's own
// deflate, with --fast and with --fast before libdeflate (Z_RLE): bytes and
// seconds of each, on one thread.
int MeasurePngSizes(int count, char** paths) {
  const struct {
    const char* name;
    peelbox::PngOptions options;
  } ways[] = {{"default", {}},
              {"libpng", {false, {}, peelbox::PngDeflater::kLibpng}},
              {"--fast", {true, {}, peelbox::PngDeflater::kLibdeflate}},
              {"Z_RLE", {true, {}, peelbox::PngDeflater::kLibpng}}};
  std::printf("| %-24s", "image");
  for (const auto& way : ways) std::printf(" | %10s bytes | %6s s", way.name, way.name);
  std::printf(" |\n");
  std::vector<double> bytes(std::size(ways)), seconds(std::size(ways));
  for (int i = 0; i < count; ++i) {
    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&png, paths[i])) {
      std::fprintf(stderr, "cannot read %s\n", paths[i]);
      return 1;
    }
    png.format = PNG_FORMAT_RGBA;
    std::vector<uint8_t> rgba(PNG_IMAGE_SIZE(png));
    png_image_finish_read(&png, nullptr, rgba.data(), 0, nullptr);
    std::printf("| %-24s", fs::path(paths[i]).stem().string().c_str());
    for (size_t w = 0; w < std::size(ways); ++w) {
      peelbox::OutputBuffer out;
      const auto start = Clock::now();
      peelbox::EncodePng(rgba.data(), png.width, png.height, {6, 8}, ways[w].options, &out);
      const double taken = Since(start);
      bytes[w] += static_cast<double>(out.size());
      seconds[w] += taken;
      std::printf(" | %16zu | %8.3f", out.size(), taken);
    }
    std::printf(" |\n");
  }
  std::printf("| %-24s", "all");
  for (size_t w = 0; w < std::size(ways); ++w) std::printf(" | %16.0f | %8.3f", bytes[w], seconds[w]);
  std::printf(" |\n");
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s DOCUMENT.psd [--no-reference] [--peers] [--repeat N]\n", argv[0]);
    return 2;
  }
  if (std::strcmp(argv[1], "--gif-error") == 0) return MeasureGifError(argc - 2, argv + 2);
  if (std::strcmp(argv[1], "--png-sizes") == 0) return MeasurePngSizes(argc - 2, argv + 2);
  const std::string source = argv[1];
  bool reference = true, peers = false;
  for (int i = 2; i < argc; ++i) {
    if (std::strcmp(argv[i], "--no-reference") == 0) reference = false;
    if (std::strcmp(argv[i], "--peers") == 0) peers = true;
    if (std::strcmp(argv[i], "--repeat") == 0 && i + 1 < argc) g_repeat = std::max(1, std::atoi(argv[++i]));
  }
  std::vector<Row> rows;

  auto start = Clock::now();
  std::vector<uint8_t> bytes = ReadFile(source);
  rows.push_back({"read the file into memory", Since(start), ""});

  start = Clock::now();
  std::FILE* stream = fmemopen(bytes.data(), bytes.size(), "rb");
  int32_t result = 1;
  const auto document = peelbox::LoadPsdDocumentFromStream(stream, &result, nullptr);
  std::fclose(stream);
  rows.push_back({"decode (sections, PackBits planes)", Since(start), ""});
  if (!document) {
    std::fprintf(stderr, "cannot read %s: %d\n", source.c_str(), result);
    return 1;
  }
  bytes.clear();
  bytes.shrink_to_fit();

  const auto converter = peelbox::ColourConverter::Create(document->format, "", "");
  if (!converter) {
    std::fprintf(stderr, "%s: a colour mode and depth Peelbox does not write\n", source.c_str());
    return 1;
  }
  std::vector<LayerPlanes> layers;
  double layerPixels = 0, decodedBytes = document->composite->pixels.size();
  const auto& records = document->layerMaskInfo->Layers().records;
  std::string unused;
  const auto namer = peelbox::LayerNamer::Create({}, source, &unused);
  const auto plan = peelbox::PlanLayers(document->format, records, true, {}, namer.get());
  for (size_t i = 0; i < records.size(); ++i) {
    for (const auto& channel : records[i]->channels) decodedBytes += channel->plane.size();
    if (plan[i].reason != peelbox::SkipReason::kNone) continue;
    if (auto planes = peelbox::ViewPlanes(document->format, *records[i])) {
      layerPixels += double(planes->width) * planes->height;
      layers.push_back(std::move(*planes));
    }
  }

  double convert = 0, palette = 0, firstCome = 0, png = 0, gif = 0, writing = 0;
  GifError chosenError, firstComeError;
  int manyColourLayers = 0;
  const fs::path out = fs::temp_directory_path() / ("peelbox-bench-" + std::to_string(getpid()));
  fs::create_directories(out);
  for (size_t i = 0; i < layers.size(); ++i) {
    Prepared layer{std::move(layers[i]), {}};
    start = Clock::now();
    peelbox::MakeRaster(layer.planes, *converter, {}, &layer.raster);
    convert += Since(start);

    start = Clock::now();
    const auto image = peelbox::MakeGifImage(layer.raster, {});
    palette += Since(start);

    // Layers of many colours: how far their GIF is from them, and how far it
    // was with the palette of first-come colours.
    if (layer.raster.format.bitDepth == 8 && image->ColorCount() == peelbox::PaletteImage::kMaxColors &&
        layer.raster.format.Channels() >= 3) {
      start = Clock::now();
      const auto old = FirstComeColours(layer);
      firstCome += Since(start);
      if (old->Overflowed()) {
        ++manyColourLayers;
        AddError(layer, *image, &chosenError);
        AddError(layer, *old, &firstComeError);
      }
    }

    peelbox::OutputBuffer pngBytes, gifBytes;
    start = Clock::now();
    peelbox::EncodePng(layer.raster.pixels.get(), layer.planes.width, layer.planes.height, layer.raster.format, {},
                       &pngBytes);
    png += Since(start);
    start = Clock::now();
    image->EncodeGif(&gifBytes);
    gif += Since(start);

    start = Clock::now();
    for (const auto& [name, buffer] : {std::pair{".png", &pngBytes}, std::pair{".gif", &gifBytes}}) {
      std::FILE* file = std::fopen((out / (std::to_string(i) + name)).c_str(), "wb");
      std::fwrite(buffer->data(), 1, buffer->size(), file);
      std::fclose(file);
    }
    writing += Since(start);
  }
  rows.push_back({"convert (PNG rows)", convert, ""});
  rows.push_back({"GIF palette", palette, "kept or chosen colours"});
  if (reference) rows.push_back({"GIF palette, first-come colours", firstCome, "not used; as in Peelbox 1.1"});
  rows.push_back({"PNG encode, one thread", png, "libpng defaults"});
  rows.push_back({"GIF encode", gif, ""});
  rows.push_back({"file writing", writing, ""});

  // The whole job as users run it: the command line, reading to writing,
  // into a folder of its own.
  fs::remove_all(out);
  const unsigned cores = peelbox::EncoderPool::DefaultThreads();
  const std::string files = Quoted(source) + " " + Quoted(out.string());
  for (unsigned threads : {1u, cores}) {
    rows.push_back(Command("whole job, " + std::to_string(threads) + (threads == 1 ? " thread" : " threads"),
                           Quoted(PEELBOX_CLI) + " --quiet --threads " + std::to_string(threads) + " " + files));
    if (cores == 1) break;
  }
  const double wholeJob = rows.back().seconds;
  const double defaultPngs = PngBytes(out);
  rows.back().note += FormatBytes(", PNGs ", defaultPngs);
  // With --fast: zlib's run-length strategy for the PNGs.
  fs::remove_all(out);
  rows.push_back(Command("whole job, --fast, " + std::to_string(cores) + (cores == 1 ? " thread" : " threads"),
                         Quoted(PEELBOX_CLI) + " --quiet --fast " + files));
  const double fastJob = rows.back().seconds;
  const double fastPngs = PngBytes(out);
  rows.back().note += FormatBytes(", PNGs ", fastPngs);

  if (peers) {
    const fs::path here = fs::path(PEELBOX_BENCH_DIR) / "peers";
    rows.push_back(Command("psd-tools (PNG only)", "/usr/bin/python3 " + Quoted(here / "psd_tools_rip.py") + " " + files));
    if (fs::exists(here / "node_modules" / "ag-psd")) {
      rows.push_back(Command("ag-psd (PNG and GIF)", "node " + Quoted(here / "agpsd_rip.mjs") + " " + files));
    }
    rows.push_back(Command("ImageMagick (PNG only)", Quoted(here / "imagemagick_rip.sh") + " " + files));
  }
  fs::remove_all(out);

  std::printf("%s: %zu layers written, %.1f M layer pixels, %.0f MB decoded, %u cores, whole runs best of %d\n\n",
              source.c_str(), layers.size(), layerPixels / 1e6, decodedBytes / 1e6, cores, g_repeat);
  std::printf("| %-36s | %8s | %s\n|%s|%s|%s\n", "stage", "seconds", "", std::string(38, '-').c_str(),
              std::string(10, '-').c_str(), std::string(30, '-').c_str());
  for (const Row& row : rows) std::printf("| %-36s | %8.2f | %s\n", row.stage.c_str(), row.seconds, row.note.c_str());
  std::printf("\nwhole job (%u threads) / PNG encode on one thread: %.2f\n", cores, wholeJob / png);
  // Every stage above is timed on one thread: set against the one-thread job.
  for (const Row& row : rows) {
    if (row.stage == "whole job, 1 thread") std::printf("GIF palette / whole job, 1 thread: %.3f\n", palette / row.seconds);
  }
  if (manyColourLayers > 0) {
    std::printf("GIF error over %d layers of more than 254 colours (mean absolute difference per sample):\n"
                "  chosen palette %.2f, first-come colours %.2f\n",
                manyColourLayers, chosenError.Mean(), firstComeError.Mean());
  }
  std::printf("whole job / --fast: %.2f; PNGs with --fast / without: %.3f\n", wholeJob / fastJob, fastPngs / defaultPngs);
  for (const Row& row : rows) {
    if (row.stage.find("psd-tools") == 0 || row.stage.find("ag-psd") == 0 || row.stage.find("ImageMagick") == 0) {
      std::printf("%s / whole job: %.2f, / --fast: %.2f\n", row.stage.c_str(), row.seconds / wholeJob,
                  row.seconds / fastJob);
    }
  }
  return 0;
}
