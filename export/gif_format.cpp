#include "export/gif_format.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <new>

#include "export/export_result.h"
#include "export/gif_palette.h"
#include "export/output_format.h"
#include "export/samples.h"

namespace peelbox {

namespace {

// A GIF holds at most 256 entries: the transparent grey, black and 254 more.
constexpr int kMostColoursKeptAsTheyAre = 254;
constexpr int kChosenColours = 255;  // all but the transparent grey

// Calls `visit(y, x, red, green, blue, opaque)` for every pixel of the
// raster, reduced to 8 bits (grey as r = g = b), with the matte applied.
template <int kChannels, int kBytes, typename Visit>
bool VisitRows(const uint8_t* raster, int32_t width, int32_t height, const StopToken& stop, int matte, Visit visit) {
  const auto sample = [](const uint8_t* at) -> uint8_t {
    if constexpr (kBytes == 1) {
      return *at;
    } else {
      return Reduced(Load16(at));
    }
  };
  constexpr bool kHasAlpha = kChannels == 2 || kChannels == 4;
  const uint8_t under[3] = {static_cast<uint8_t>(matte >> 16), static_cast<uint8_t>(matte >> 8),
                            static_cast<uint8_t>(matte)};
  const uint8_t* at = raster;
  for (int32_t y = 0; y < height; ++y) {
    if (y % 64 == 0 && stop.StopRequested()) return false;
    for (int32_t x = 0; x < width; ++x, at += kChannels * kBytes) {
      uint8_t red = sample(at);
      uint8_t green = kChannels >= 3 ? sample(at + kBytes) : red;
      uint8_t blue = kChannels >= 3 ? sample(at + 2 * kBytes) : red;
      bool opaque = true;
      if constexpr (kHasAlpha) {
        const uint8_t* alpha = at + (kChannels - 1) * kBytes;
        if (matte < 0) {
          // Transparent exactly where the raster's own sample is 0.
          opaque = kBytes == 1 ? alpha[0] != 0 : (alpha[0] | alpha[1]) != 0;
        } else {
          const uint8_t a = sample(alpha);
          opaque = a >= 128;
          red = Blended(red, a, under[0]);
          green = Blended(green, a, under[1]);
          blue = Blended(blue, a, under[2]);
        }
      }
      if (!visit(y, x, red, green, blue, opaque)) return false;
    }
  }
  return true;
}

template <typename Visit>
bool VisitPixels(const Raster& image, const StopToken& stop, int matte, Visit visit) {
  const bool sixteen = image.format.bitDepth == 16;
  const uint8_t* raster = image.pixels.get();
  const int32_t width = image.width, height = image.height;
  switch (image.format.Channels()) {
    case 1:
      return sixteen ? VisitRows<1, 2>(raster, width, height, stop, matte, visit)
                     : VisitRows<1, 1>(raster, width, height, stop, matte, visit);
    case 2:
      return sixteen ? VisitRows<2, 2>(raster, width, height, stop, matte, visit)
                     : VisitRows<2, 1>(raster, width, height, stop, matte, visit);
    case 3:
      return sixteen ? VisitRows<3, 2>(raster, width, height, stop, matte, visit)
                     : VisitRows<3, 1>(raster, width, height, stop, matte, visit);
    default:
      return sixteen ? VisitRows<4, 2>(raster, width, height, stop, matte, visit)
                     : VisitRows<4, 1>(raster, width, height, stop, matte, visit);
  }
}

// Floyd-Steinberg: each pixel's error spread to the pixels right of it and
// below, 7, 3, 5 and 1 sixteenths. Kept unrounded: rounding each share
// would drift the picture's mean. Transparent pixels take and pass on none.
class ErrorDiffusion {
 public:
  explicit ErrorDiffusion(int32_t width)
      : width_(width), rows_(new (std::nothrow) float[2 * 3 * (static_cast<size_t>(width) + 2)]()) {}
  bool valid() const { return rows_ != nullptr; }

  void StartRow(int32_t y) {
    if (y == 0) return;
    std::swap(current_, next_);
    std::fill(Row(next_), Row(next_) + 3 * (width_ + 2), 0.0f);
  }
  // Pixel x's own value plus the error it was given, within 0..255.
  float Wanted(int32_t x, int c, uint8_t value) const {
    return std::clamp(value + Row(current_)[3 * (x + 1) + c], 0.0f, 255.0f);
  }
  void Spread(int32_t x, int c, float error) {
    Row(current_)[3 * (x + 2) + c] += error * (7.0f / 16);
    Row(next_)[3 * x + c] += error * (3.0f / 16);
    Row(next_)[3 * (x + 1) + c] += error * (5.0f / 16);
    Row(next_)[3 * (x + 2) + c] += error * (1.0f / 16);
  }

 private:
  float* Row(int which) const { return rows_.get() + static_cast<size_t>(which) * 3 * (width_ + 2); }
  int32_t width_;
  std::unique_ptr<float[]> rows_;
  int current_ = 0;
  int next_ = 1;
};

// Few colours: black and then each colour in the order it first occurs, so
// that a layer of flat colours keeps every one of them exactly. None when the
// layer has more colours than that palette can hold each of.
std::unique_ptr<PaletteImage> KeepColours(const Raster& raster, const StopToken& stop, int matte) {
  auto image = std::make_unique<PaletteImage>(raster.width, raster.height);
  if (!image->valid()) return nullptr;
  bool black = false;
  uint8_t* row = nullptr;
  const bool kept =
      VisitPixels(raster, stop, matte, [&](int32_t y, int32_t x, uint8_t r, uint8_t g, uint8_t b, bool opaque) {
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
std::unique_ptr<PaletteImage> ChooseColours(const Raster& raster, const StopToken& stop, const GifLook& look) {
  ColourHistogram histogram;
  if (!histogram.valid()) return nullptr;
  if (!VisitPixels(raster, stop, look.matte, [&](int32_t, int32_t, uint8_t r, uint8_t g, uint8_t b, bool opaque) {
        if (opaque) histogram.Add(r, g, b);
        return true;
      })) {
    return nullptr;
  }
  auto image = std::make_unique<PaletteImage>(raster.width, raster.height, histogram.ChoosePalette(kChosenColours));
  if (!image->valid()) return nullptr;
  uint8_t* row = nullptr;
  if (!look.dither) {
    const bool indexed =
        VisitPixels(raster, stop, look.matte, [&](int32_t y, int32_t x, uint8_t r, uint8_t g, uint8_t b, bool opaque) {
          if (x == 0) row = image->Row(y);
          row[x] = opaque ? image->IndexOf(r, g, b) : PaletteImage::kTransparentIndex;
          return true;
        });
    return indexed ? std::move(image) : nullptr;
  }
  ErrorDiffusion diffusion(raster.width);
  if (!diffusion.valid()) return nullptr;
  const bool indexed =
      VisitPixels(raster, stop, look.matte, [&](int32_t y, int32_t x, uint8_t r, uint8_t g, uint8_t b, bool opaque) {
        if (x == 0) {
          row = image->Row(y);
          diffusion.StartRow(y);
        }
        if (!opaque) {
          row[x] = PaletteImage::kTransparentIndex;
          return true;
        }
        const float wanted[3] = {diffusion.Wanted(x, 0, r), diffusion.Wanted(x, 1, g), diffusion.Wanted(x, 2, b)};
        const auto level = [](float value) { return static_cast<uint8_t>(std::lround(value)); };
        row[x] = image->IndexOf(level(wanted[0]), level(wanted[1]), level(wanted[2]));
        const uint32_t got = image->Colour(row[x]);
        for (int c = 0; c < 3; ++c) {
          diffusion.Spread(x, c, wanted[c] - static_cast<float>(got >> (16 - 8 * c) & 0xFF));
        }
        return true;
      });
  return indexed ? std::move(image) : nullptr;
}

}  // namespace

std::unique_ptr<PaletteImage> MakeGifImage(const Raster& raster, const StopToken& stop, const GifLook& look) {
  std::unique_ptr<PaletteImage> image = KeepColours(raster, stop, look.matte);
  if (!image && !stop.StopRequested()) image = ChooseColours(raster, stop, look);
  return stop.StopRequested() ? nullptr : std::move(image);
}

namespace {

int32_t EncodeGifFile(const Raster& raster, const EncodeSettings& settings, OutputBuffer* out) {
  const std::unique_ptr<PaletteImage> image =
      MakeGifImage(raster, settings.stop, {settings.options.gifMatte, settings.options.gifDither});
  if (settings.stop.StopRequested()) return kStopped;
  return image ? image->EncodeGif(out) : kWriteFailed;
}

}  // namespace

// A GIF's screen is 16 bits wide and high.
extern const OutputFormat kGifFormat{"gif", ".gif", "GIF", {true, 0xFFFF}, EncodeGifFile};

}  // namespace peelbox
