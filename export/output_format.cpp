#include "export/output_format.h"

#include <algorithm>

namespace peelbox {

extern const OutputFormat kPngFormat;
extern const OutputFormat kGifFormat;
extern const OutputFormat kWebpFormat;
extern const OutputFormat kJpegFormat;

namespace {

constexpr const OutputFormat* kFormats[] = {&kPngFormat, &kGifFormat, &kWebpFormat, &kJpegFormat};

}  // namespace

std::span<const OutputFormat* const> OutputFormats() { return kFormats; }

const OutputFormat* FindOutputFormat(std::string_view name) {
  for (const OutputFormat* format : kFormats) {
    if (name == format->name) return format;
  }
  return nullptr;
}

std::vector<const OutputFormat*> SelectedFormats(const ExportOptions& options) {
  std::vector<const OutputFormat*> selected;
  for (const OutputFormat* format : kFormats) {
    if (std::find(options.formats.begin(), options.formats.end(), format->name) != options.formats.end()) {
      selected.push_back(format);
    }
  }
  return selected;
}

std::string OutputFormatNames() {
  std::string names;
  for (const OutputFormat* format : kFormats) names += (names.empty() ? "" : ", ") + std::string(format->name);
  return names;
}

}  // namespace peelbox
