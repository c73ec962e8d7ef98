#include "export/layer_encoder.h"

#include <memory>
#include <new>

#include "export/export_result.h"
#include "export/gif_palette.h"
#include "export/gif_writer.h"
#include "export/png_writer.h"

namespace peelbox {

namespace {

// A GIF holds at most 256 entries: the transparent grey, black and 254 more.
constexpr int kMostColoursKeptAsTheyAre = 254;
constexpr int kChosenColours = 255;  // all but the transparent grey

bool Stopped(const EncodeOptions& options) {
  return options.stop != nullptr && options.stop->load(std::memory_order_relaxed);
}

// Calls `visit(y, x, red, green, blue, opaque)` for every pixel of the PNG's
// rows, reduced to 8 bits (grey as r = g = b).
template <int kChannels, int kBytes, typename Visit>
bool VisitRows(const uint8_t* raster, int32_t width, int32_t height, const EncodeOptions& options, Visit visit) {
  const auto sample = [](const uint8_t* at) -> uint8_t {
    if constexpr (kBytes == 1) {
      return *at;
    } else {
      return static_cast<uint8_t>(((at[0] << 8 | at[1]) * 255u + 32767u) / 65535u);
    }
  };
  const uint8_t* at = raster;
  for (int32_t y = 0; y < height; ++y) {
    if (y % 64 == 0 && Stopped(options)) return false;
    for (int32_t x = 0; x < width; ++x, at += kChannels * kBytes) {
      const bool hasAlpha = kChannels == 2 || kChannels == 4;
      // Transparent exactly where the PNG's own sample is 0.
      bool opaque = true;
      if (hasAlpha) {
        const uint8_t* alpha = at + (kChannels - 1) * kBytes;
        opaque = kBytes == 1 ? alpha[0] != 0 : (alpha[0] | alpha[1]) != 0;
      }
      const uint8_t red = sample(at);
      const uint8_t green = kChannels >= 3 ? sample(at + kBytes) : red;
      const uint8_t blue = kChannels >= 3 ? sample(at + 2 * kBytes) : red;
      if (!visit(y, x, red, green, blue, opaque)) return false;
    }
  }
  return true;
}

template <typename Visit>
bool VisitPixels(const uint8_t* raster, int32_t width, int32_t height, PngFormat format, const EncodeOptions& options,
                 Visit visit) {
  const bool sixteen = format.bitDepth == 16;
  switch (format.Channels()) {
    case 1:
      return sixteen ? VisitRows<1, 2>(raster, width, height, options, visit)
                     : VisitRows<1, 1>(raster, width, height, options, visit);
    case 2:
      return sixteen ? VisitRows<2, 2>(raster, width, height, options, visit)
                     : VisitRows<2, 1>(raster, width, height, options, visit);
    case 3:
      return sixteen ? VisitRows<3, 2>(raster, width, height, options, visit)
                     : VisitRows<3, 1>(raster, width, height, options, visit);
    default:
      return sixteen ? VisitRows<4, 2>(raster, width, height, options, visit)
                     : VisitRows<4, 1>(raster, width, height, options, visit);
  }
}

// Few colours: black and then each colour in the order it first occurs, as
// Peelbox has always written them. None when the layer has more colours
// than that palette can hold each of.
std::unique_ptr<PaletteImage> KeepColours(const uint8_t* raster, int32_t width, int32_t height, PngFormat format,
                                          const EncodeOptions& options) {
  auto image = std::make_unique<PaletteImage>(width, height);
  if (!image->valid()) return nullptr;
  bool black = false;
  uint8_t* row = nullptr;
  const bool kept = VisitPixels(raster, width, height, format, options,
                                [&](int32_t y, int32_t x, uint8_t r, uint8_t g, uint8_t b, bool opaque) {
                                  if (x == 0) row = image->Row(y);
                                  if (!opaque) {
                                    row[x] = PaletteImage::kTransparentIndex;
                                    return true;
                                  }
                                  row[x] = image->IndexOf(r, g, b);
                                  black |= row[x] == PaletteImage::kBlackIndex;
                                  // Black is entry 1 whether it occurs or not.
                                  const int colours = image->ColorCount() - 2 + (black ? 1 : 0);
                                  return !image->Overflowed() && colours <= kMostColoursKeptAsTheyAre;
                                });
  return kept ? std::move(image) : nullptr;
}

// Many colours: a palette chosen for them, each pixel its nearest entry.
std::unique_ptr<PaletteImage> ChooseColours(const uint8_t* raster, int32_t width, int32_t height, PngFormat format,
                                            const EncodeOptions& options) {
  ColourHistogram histogram;
  if (!histogram.valid()) return nullptr;
  if (!VisitPixels(raster, width, height, format, options,
                   [&](int32_t, int32_t, uint8_t r, uint8_t g, uint8_t b, bool opaque) {
                     if (opaque) histogram.Add(r, g, b);
                     return true;
                   })) {
    return nullptr;
  }
  auto image = std::make_unique<PaletteImage>(width, height, histogram.ChoosePalette(kChosenColours));
  if (!image->valid()) return nullptr;
  uint8_t* row = nullptr;
  const bool indexed = VisitPixels(raster, width, height, format, options,
                                   [&](int32_t y, int32_t x, uint8_t r, uint8_t g, uint8_t b, bool opaque) {
                                     if (x == 0) row = image->Row(y);
                                     row[x] = opaque ? image->IndexOf(r, g, b) : PaletteImage::kTransparentIndex;
                                     return true;
                                   });
  return indexed ? std::move(image) : nullptr;
}

}  // namespace

std::unique_ptr<PaletteImage> MakeGifImage(const uint8_t* raster, int32_t width, int32_t height, PngFormat format,
                                           const EncodeOptions& options) {
  std::unique_ptr<PaletteImage> image = KeepColours(raster, width, height, format, options);
  if (!image && !Stopped(options)) image = ChooseColours(raster, width, height, format, options);
  return Stopped(options) ? nullptr : std::move(image);
}

namespace {

int32_t EncodeGif(const uint8_t* raster, int32_t width, int32_t height, PngFormat format, const EncodeOptions& options,
                  OutputBuffer* out) {
  const std::unique_ptr<PaletteImage> image = MakeGifImage(raster, width, height, format, options);
  if (Stopped(options)) return kEncodingStopped;
  return image ? image->EncodeGif(out) : kWriteFailed;
}

}  // namespace

EncodedLayer EncodeLayer(const LayerPlanes& planes, const ColourConverter& converter, const EncodeOptions& options) {
  EncodedLayer encoded;
  if (planes.width <= 0 || planes.height <= 0) {
    encoded.code = kWriteFailed;  // no image to write
    return encoded;
  }
  const PngFormat format = converter.Output(planes.alpha != nullptr);
  const size_t pixels = static_cast<size_t>(planes.width) * static_cast<size_t>(planes.height);
  std::unique_ptr<uint8_t[]> raster(new (std::nothrow) uint8_t[pixels * static_cast<size_t>(format.BytesPerPixel())]);
  if (!raster || !converter.Convert(planes, options.ignoreAlpha, raster.get(), options.stop)) {
    encoded.code = Stopped(options) ? kEncodingStopped : kWriteFailed;
    return encoded;
  }
  if (Stopped(options)) {
    encoded.code = kEncodingStopped;
    return encoded;
  }
  const auto width = static_cast<uint32_t>(planes.width), height = static_cast<uint32_t>(planes.height);
  if (options.png) {
    encoded.code = EncodePng(raster.get(), width, height, format, {options.fastPng, options.stop}, &encoded.png);
    if (encoded.code != kExportOk) return encoded;
  }
  if (options.gif) encoded.code = EncodeGif(raster.get(), planes.width, planes.height, format, options, &encoded.gif);
  return encoded;
}

}  // namespace peelbox
