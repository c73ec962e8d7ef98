#include "export/extent.h"

#include <algorithm>

namespace peelbox {

namespace {

// Options from elsewhere than the command line are held to its range too.
ImagePlace Padded(const ImagePlace& image, int pad) {
  const int64_t margin = std::clamp(pad, 0, ExportOptions::kMaxPad);
  return {image.left - margin, image.top - margin, image.width + 2 * margin, image.height + 2 * margin};
}

bool Opaque(const uint8_t* sample, unsigned bytes) { return sample[0] != 0 || (bytes == 2 && sample[1] != 0); }

// The rows and columns that hold a sample other than 0.
std::optional<ImagePlace> TightBox(const ImagePlace& source, const uint8_t* alpha, unsigned bytes) {
  int64_t left = source.width, right = -1, top = -1, bottom = -1;
  const auto rowBytes = static_cast<size_t>(source.width) * bytes;
  for (int64_t y = 0; y < source.height; ++y) {
    const uint8_t* row = alpha + static_cast<size_t>(y) * rowBytes;
    int64_t first = 0;
    while (first < source.width && !Opaque(row + first * bytes, bytes)) ++first;
    if (first == source.width) continue;
    int64_t last = source.width - 1;
    while (!Opaque(row + last * bytes, bytes)) --last;
    if (top < 0) top = y;
    bottom = y;
    left = std::min(left, first);
    right = std::max(right, last);
  }
  if (top < 0) return std::nullopt;
  return ImagePlace{source.left + left, source.top + top, right - left + 1, bottom - top + 1};
}

}  // namespace

ImagePlace SourceRegion(const ImagePlace& layer, const ImagePlace& canvas, const ExportOptions& options) {
  const bool onCanvas = options.extent == Extent::kCanvas || (options.extent == Extent::kTrim && options.asShown);
  return onCanvas ? Intersection(layer, canvas) : layer;
}

std::optional<ImagePlace> PlannedImage(const ImagePlace& layer, const ImagePlace& canvas,
                                       const ExportOptions& options) {
  switch (options.extent) {
    case Extent::kCanvas:
      return canvas;
    case Extent::kLayer:
      return Padded(layer, options.pad);
    default:
      return std::nullopt;
  }
}

std::optional<ImagePlace> ImageRegion(const ImagePlace& layer, const ImagePlace& canvas, const ImagePlace& source,
                                      const uint8_t* alpha, unsigned alphaBytes, const ExportOptions& options) {
  if (options.extent != Extent::kTrim) return PlannedImage(layer, canvas, options);
  if (source.Empty()) return std::nullopt;
  const std::optional<ImagePlace> box = alpha != nullptr ? TightBox(source, alpha, alphaBytes) : source;
  if (!box) return std::nullopt;
  return Padded(*box, options.pad);
}

}  // namespace peelbox
