#include "export/gif_format.h"

#include <memory>

#include "export/export_result.h"
#include "export/gif_palette.h"
#include "export/output_format.h"

namespace peelbox {

namespace {

// A GIF holds at most 256 entries: the transparent grey, black and 254 more.
constexpr int kMostColoursKeptAsTheyAre = 254;
constexpr int kChosenColours = 255;  // all but the transparent grey

// Calls `visit(y, x, red, green, blue, opaque)` for every pixel of the
// raster, reduced to 8 bits (grey as r = g = b).
template <int kChannels, int kBytes, typename Visit>
bool VisitRows(const uint8_t* raster, int32_t width, int32_t height, const StopToken& stop, Visit visit) {
  const auto sample = [](const uint8_t* at) -> uint8_t {
    if constexpr (kBytes == 1) {
      return *at;
    } else {
      return static_cast<uint8_t>(((at[0] << 8 | at[1]) * 255u + 32767u) / 65535u);
    }
  };
  const uint8_t* at = raster;
  for (int32_t y = 0; y < height; ++y) {
    if (y % 64 == 0 && stop.StopRequested()) return false;
    for (int32_t x = 0; x < width; ++x, at += kChannels * kBytes) {
      const bool hasAlpha = kChannels == 2 || kChannels == 4;
      // Transparent exactly where the raster's own sample is 0.
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
bool VisitPixels(const Raster& image, const StopToken& stop, Visit visit) {
  const bool sixteen = image.format.bitDepth == 16;
  const uint8_t* raster = image.pixels.get();
  const int32_t width = image.width, height = image.height;
  switch (image.format.Channels()) {
    case 1:
      return sixteen ? VisitRows<1, 2>(raster, width, height, stop, visit)
                     : VisitRows<1, 1>(raster, width, height, stop, visit);
    case 2:
      return sixteen ? VisitRows<2, 2>(raster, width, height, stop, visit)
                     : VisitRows<2, 1>(raster, width, height, stop, visit);
    case 3:
      return sixteen ? VisitRows<3, 2>(raster, width, height, stop, visit)
                     : VisitRows<3, 1>(raster, width, height, stop, visit);
    default:
      return sixteen ? VisitRows<4, 2>(raster, width, height, stop, visit)
                     : VisitRows<4, 1>(raster, width, height, stop, visit);
  }
}

// Few colours: black and then each colour in the order it first occurs, so
// that a layer of flat colours keeps every one of them exactly. None when the
// layer has more colours than that palette can hold each of.
std::unique_ptr<PaletteImage> KeepColours(const Raster& raster, const StopToken& stop) {
  auto image = std::make_unique<PaletteImage>(raster.width, raster.height);
  if (!image->valid()) return nullptr;
  bool black = false;
  uint8_t* row = nullptr;
  const bool kept = VisitPixels(raster, stop, [&](int32_t y, int32_t x, uint8_t r, uint8_t g, uint8_t b, bool opaque) {
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
std::unique_ptr<PaletteImage> ChooseColours(const Raster& raster, const StopToken& stop) {
  ColourHistogram histogram;
  if (!histogram.valid()) return nullptr;
  if (!VisitPixels(raster, stop, [&](int32_t, int32_t, uint8_t r, uint8_t g, uint8_t b, bool opaque) {
        if (opaque) histogram.Add(r, g, b);
        return true;
      })) {
    return nullptr;
  }
  auto image = std::make_unique<PaletteImage>(raster.width, raster.height, histogram.ChoosePalette(kChosenColours));
  if (!image->valid()) return nullptr;
  uint8_t* row = nullptr;
  const bool indexed =
      VisitPixels(raster, stop, [&](int32_t y, int32_t x, uint8_t r, uint8_t g, uint8_t b, bool opaque) {
        if (x == 0) row = image->Row(y);
        row[x] = opaque ? image->IndexOf(r, g, b) : PaletteImage::kTransparentIndex;
        return true;
      });
  return indexed ? std::move(image) : nullptr;
}

}  // namespace

std::unique_ptr<PaletteImage> MakeGifImage(const Raster& raster, const StopToken& stop) {
  std::unique_ptr<PaletteImage> image = KeepColours(raster, stop);
  if (!image && !stop.StopRequested()) image = ChooseColours(raster, stop);
  return stop.StopRequested() ? nullptr : std::move(image);
}

namespace {

int32_t EncodeGifFile(const Raster& raster, const EncodeSettings& settings, OutputBuffer* out) {
  const std::unique_ptr<PaletteImage> image = MakeGifImage(raster, settings.stop);
  if (settings.stop.StopRequested()) return kStopped;
  return image ? image->EncodeGif(out) : kWriteFailed;
}

}  // namespace

// A GIF's screen is 16 bits wide and high.
extern const OutputFormat kGifFormat{"gif", ".gif", {true, 0xFFFF}, EncodeGifFile};

}  // namespace peelbox
