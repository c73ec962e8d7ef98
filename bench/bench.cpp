// Measures where the time of a rip goes: each stage on its own on one
// thread, then the whole job as users run it, each in a child process of
// its own for its peak memory, then (with --peers) other tools doing the
// same job on the same document.
//   peelbox-bench DOCUMENT.psd [--no-reference] [--peers] [--repeat N]
// With --repeat, every whole job and every peer runs N times and the fastest
// run counts: the machine's noise only ever adds time.
#include <gd.h>
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

#include "export/encoder_pool.h"
#include "export/gif_writer.h"
#include "export/layer_planes.h"
#include "export/png_writer.h"
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

std::unique_ptr<uint8_t[]> Interleave(const LayerPlanes& planes) {
  const size_t pixels = size_t(planes.width) * size_t(planes.height);
  const int channels = planes.ChannelCount();
  auto raster = std::make_unique<uint8_t[]>(pixels * channels);
  uint8_t* out = raster.get();
  for (size_t k = 0; k < pixels; ++k) {
    for (int s = 0; s < channels; ++s) *out++ = planes.slots[s][k];
  }
  return raster;
}

void FillPalette(const LayerPlanes& planes, peelbox::PaletteImage& palette) {
  size_t k = 0;
  for (int32_t y = 0; y < planes.height; ++y) {
    uint8_t* row = palette.Row(y);
    for (int32_t x = 0; x < planes.width; ++x, ++k) {
      const bool opaque = !planes.withAlpha || planes.slots[3][k] != 0;
      row[x] = opaque ? palette.IndexOf(planes.slots[0][k], planes.slots[1][k], planes.slots[2][k]) : 0;
    }
  }
}

// The palette as a search of libgd's palette per pixel would build it.
void FillPaletteByLibgdSearch(const LayerPlanes& planes) {
  gdImagePtr image = gdImageCreate(planes.width, planes.height);
  const int grey = gdImageColorAllocate(image, 127, 127, 127);
  gdImageColorAllocate(image, 0, 0, 0);
  gdImageColorTransparent(image, grey);
  size_t k = 0;
  for (int32_t y = 0; y < planes.height; ++y) {
    for (int32_t x = 0; x < planes.width; ++x, ++k) {
      int index = 0;
      if (!planes.withAlpha || planes.slots[3][k] != 0) {
        const int r = planes.slots[0][k], g = planes.slots[1][k], b = planes.slots[2][k];
        index = gdImageColorExact(image, r, g, b);
        if (index < 0) index = gdImageColorAllocate(image, r, g, b);
        if (index < 0) index = gdImageColorClosest(image, r, g, b);
      }
      gdImageSetPixel(image, x, y, index);
    }
  }
  gdImageDestroy(image);
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

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s DOCUMENT.psd [--no-reference] [--peers] [--repeat N]\n", argv[0]);
    return 2;
  }
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

  std::vector<LayerPlanes> layers;
  double layerPixels = 0, decodedBytes = document->composite->pixels.size();
  for (const auto& record : document->layerMaskInfo->Layers().records) {
    for (const auto& channel : record->channels) decodedBytes += channel->plane.size();
    if (auto planes = peelbox::ChooseLayerPlanes(*document, *record)) {
      layerPixels += double(planes->width) * planes->height;
      layers.push_back(std::move(*planes));
    }
  }

  double raster = 0, palette = 0, libgdSearch = 0, png = 0, gif = 0, writing = 0;
  const fs::path out = fs::temp_directory_path() / ("peelbox-bench-" + std::to_string(getpid()));
  fs::create_directories(out);
  for (size_t i = 0; i < layers.size(); ++i) {
    const LayerPlanes& planes = layers[i];
    start = Clock::now();
    const auto pixels = Interleave(planes);
    raster += Since(start);

    start = Clock::now();
    peelbox::PaletteImage image(planes.width, planes.height);
    FillPalette(planes, image);
    palette += Since(start);

    if (reference) {
      start = Clock::now();
      FillPaletteByLibgdSearch(planes);
      libgdSearch += Since(start);
    }

    peelbox::OutputBuffer pngBytes, gifBytes;
    start = Clock::now();
    peelbox::EncodePng(pixels.get(), planes.width, planes.height, planes.withAlpha, &pngBytes);
    png += Since(start);
    start = Clock::now();
    image.EncodeGif(&gifBytes);
    gif += Since(start);

    start = Clock::now();
    for (const auto& [name, buffer] : {std::pair{".png", &pngBytes}, std::pair{".gif", &gifBytes}}) {
      std::FILE* file = std::fopen((out / (std::to_string(i) + name)).c_str(), "wb");
      std::fwrite(buffer->data(), 1, buffer->size(), file);
      std::fclose(file);
    }
    writing += Since(start);
  }
  rows.push_back({"raster (interleave)", raster, ""});
  rows.push_back({"palette (lookup tables)", palette, ""});
  if (reference) rows.push_back({"palette (libgd search per pixel)", libgdSearch, "not used; for comparison"});
  rows.push_back({"PNG encode, one thread", png, "libpng defaults"});
  rows.push_back({"GIF encode", gif, ""});
  rows.push_back({"file writing", writing, ""});

  // The whole job as users run it: the command line, reading to writing.
  const unsigned cores = peelbox::EncoderPool::DefaultThreads();
  const std::string files = Quoted(source) + " " + Quoted(out.string());
  for (unsigned threads : {1u, cores}) {
    rows.push_back(Command("whole job, " + std::to_string(threads) + (threads == 1 ? " thread" : " threads"),
                           Quoted(PEELBOX_CLI) + " --quiet --threads " + std::to_string(threads) + " " + files));
    if (cores == 1) break;
  }
  const double wholeJob = rows.back().seconds;

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
  for (const Row& row : rows) {
    if (row.stage.find("psd-tools") == 0 || row.stage.find("ag-psd") == 0 || row.stage.find("ImageMagick") == 0) {
      std::printf("%s / whole job: %.2f\n", row.stage.c_str(), row.seconds / wholeJob);
    }
  }
  return 0;
}
