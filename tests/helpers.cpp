#include "tests/helpers.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <unistd.h>

namespace peelbox::test {

namespace fs = std::filesystem;

TempDir::TempDir() {
  static std::atomic<int> counter{0};
  path_ = fs::temp_directory_path() /
          ("peelbox-test-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
  fs::remove_all(path_);
  fs::create_directories(path_);
}

TempDir::~TempDir() {
  std::error_code ignored;
  fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ignored);
  fs::remove_all(path_, ignored);
}

std::string TempDir::Write(const std::string& name, const ByteVector& bytes) const {
  const fs::path file = path_ / name;
  std::ofstream out(file, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  return file.string();
}

std::vector<std::string> TempDir::FileNames() const {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(path_)) names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

ByteVector ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return ByteVector(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::vector<std::string> RecordingReceiver::Texts() const {
  std::vector<std::string> texts;
  for (const Message& m : messages) texts.push_back(m.text);
  return texts;
}

ByteVector Ramp(size_t size, uint8_t first) {
  ByteVector plane(size);
  for (size_t i = 0; i < size; ++i) plane[i] = static_cast<uint8_t>(first + i);
  return plane;
}

psdbuild::DocumentRecipe SmallDocument() {
  psdbuild::DocumentRecipe doc;
  doc.rows = 2;
  doc.columns = 4;
  doc.resources = {{1005, "", ByteVector(16, 1)}, {1039, "icc", ByteVector(5, 2)}};
  psdbuild::LayerRecipe rgb;
  rgb.bottom = 2;
  rgb.right = 4;
  rgb.name = "Background";
  for (int16_t id = 0; id < 3; ++id) rgb.channels.push_back(psdbuild::PackBitsChannel(id, Ramp(8, 10 * id), 4));
  psdbuild::LayerRecipe rgba;
  rgba.top = 0;
  rgba.left = 1;
  rgba.bottom = 2;
  rgba.right = 4;
  rgba.name = "Layer 1";
  rgba.channels.push_back(psdbuild::RawChannel(-1, Ramp(6, 200)));
  for (int16_t id = 0; id < 3; ++id) rgba.channels.push_back(psdbuild::RawChannel(id, Ramp(6, 50 * id)));
  doc.layers = {rgb, rgba};
  doc.globalMask = ByteVector(14, 0);
  doc.compositeData = Ramp(24);
  return doc;
}

std::vector<std::string> SmallDocumentStatuses() {
  return {
      "Read image resource number: 1; Res. ID: 1005",
      "Read image resource number: 2; Res. ID: 1039",
      "Reading layers section, contains: 2 layers.",
      "Finished reading layer info: \"Background\"",
      "Finished reading layer info: \"Layer 1\"",
      "Reading data for layer \"Background\" with 3 channels.",
      "Reading data for layer \"Layer 1\" with 4 channels.",
      "Reading image data (4x2x24 bits)...",
  };
}

std::unique_ptr<PsdDocument> LoadBytes(const ByteVector& bytes, int32_t* result, StatusSink* sink) {
  TempDir dir;
  return LoadPsdDocument(dir.Write("document.psd", bytes), result, sink);
}

int32_t LoadResult(const ByteVector& bytes) {
  int32_t result = 1;
  LoadBytes(bytes, &result);
  return result;
}

fs::path CorpusDir() {
  const char* overridden = std::getenv("PEELBOX_CORPUS");
  const fs::path dir = overridden ? fs::path(overridden) : fs::path(PEELBOX_SOURCE_DIR) / ".." / "shared" / "corpus";
  std::error_code ignored;
  return fs::is_directory(dir / "psd", ignored) ? dir : fs::path();
}

std::vector<fs::path> CorpusFiles() {
  std::vector<fs::path> files;
  const fs::path dir = CorpusDir();
  if (dir.empty()) return files;
  for (const auto& entry : fs::directory_iterator(dir / "psd")) files.push_back(entry.path());
  std::sort(files.begin(), files.end());
  return files;
}

std::string SamplePath() { return (fs::path(PEELBOX_SOURCE_DIR) / "samples" / "sample.psd").string(); }

}  // namespace peelbox::test
