#include "export/colour.h"

#include <lcms2.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "export/export_result.h"
#include "export/layer_planes.h"
#include "export/linear_light.h"
#include "export/samples.h"
#include "psd/bytes.h"

namespace peelbox {

namespace {

// Pixels converted per call of the colour library, so that its scratch rows
// stay small whatever the layer's size; also how often a long conversion
// looks for a stop request.
constexpr size_t kChunk = 4096;

bool Stopped(const StopToken& stop, size_t k) { return k % (16 * kChunk) == 0 && stop.StopRequested(); }

// 32-bit colour is linear light: encoded with the sRGB transfer curve.
uint16_t FromLinear(float linear) { return SrgbFromLinear(linear); }

// Writes a pixel's samples one after the other at the raster's depth; the
// transparency comes composed and is copied as it is.
class PixelWriter {
 public:
  PixelWriter(uint8_t* raster, const uint8_t* alpha, unsigned alphaBytes)
      : at_(raster), alpha_(alpha), alphaBytes_(alphaBytes) {}

  void Colour8(uint8_t value) { *at_++ = value; }
  void Colour16(uint16_t value) {
    Store16(value, at_);
    at_ += 2;
  }
  // The transparency of pixel k, when the layer has one.
  void Alpha(size_t k) {
    if (alpha_ == nullptr) return;
    for (unsigned b = 0; b < alphaBytes_; ++b) *at_++ = alpha_[alphaBytes_ * k + b];
  }

 private:
  uint8_t* at_;
  const uint8_t* alpha_;
  unsigned alphaBytes_;
};

}  // namespace

bool WritesLayers(const DocumentFormat& format) {
  switch (format.mode) {
    case kRgbMode:
    case kGreyscaleMode:
      return format.depth == 8 || format.depth == 16 || format.depth == 32;
    case kDuotoneMode:
    case kCmykMode:
    case kLabMode:
      return format.depth == 8 || format.depth == 16;
    default:
      return false;
  }
}

bool WritesComposite(const DocumentFormat& format) {
  return WritesLayers(format) || (format.mode == kIndexedMode && format.depth == 8) ||
         (format.mode == kBitmapMode && format.depth == 1);
}

namespace {

// Grey on the sRGB tone curve, D50 as Little CMS's own sRGB profile.
cmsHPROFILE CreateSrgbGreyProfile() {
  const cmsFloat64Number parameters[] = {2.4, 1 / 1.055, 0.055 / 1.055, 1 / 12.92, 0.04045};
  cmsToneCurve* curve = cmsBuildParametricToneCurve(nullptr, 4, parameters);
  if (curve == nullptr) return nullptr;
  cmsHPROFILE grey = cmsCreateGrayProfile(cmsD50_xyY(), curve);
  cmsFreeToneCurve(curve);
  return grey;
}

}  // namespace

// A Little CMS transform from the document's colour space to sRGB, built
// once per document and shared by the encoder threads (each call keeps its
// own cache copy). Default flags but black point compensation: the
// precalculated transforms are what the expected results assume.
class ColourConverter::Transform {
 public:
  static std::unique_ptr<Transform> Create(cmsHPROFILE input, cmsUInt32Number inputFormat, cmsUInt32Number outputFormat,
                                           bool grey = false) {
    if (input == nullptr) return nullptr;
    cmsHPROFILE srgb = grey ? CreateSrgbGreyProfile() : cmsCreate_sRGBProfile();
    cmsHTRANSFORM handle = srgb ? cmsCreateTransform(input, inputFormat, srgb, outputFormat,
                                                     INTENT_RELATIVE_COLORIMETRIC, cmsFLAGS_BLACKPOINTCOMPENSATION)
                                : nullptr;
    if (srgb) cmsCloseProfile(srgb);
    cmsCloseProfile(input);
    if (handle == nullptr) return nullptr;
    auto transform = std::unique_ptr<Transform>(new Transform);
    transform->handle_ = handle;
    return transform;
  }
  ~Transform() { cmsDeleteTransform(handle_); }

  void Apply(const void* input, void* output, size_t pixels) const {
    cmsDoTransform(handle_, input, output, static_cast<cmsUInt32Number>(pixels));
  }

 private:
  Transform() = default;
  cmsHTRANSFORM handle_ = nullptr;
};

ColourConverter::~ColourConverter() = default;

namespace {

// The embedded profile when Little CMS opens it and it is of this colour
// space; none otherwise.
cmsHPROFILE OpenProfile(const std::string& profile, cmsColorSpaceSignature space) {
  if (profile.empty()) return nullptr;
  cmsHPROFILE embedded = cmsOpenProfileFromMem(profile.data(), static_cast<cmsUInt32Number>(profile.size()));
  if (embedded != nullptr && cmsGetColorSpace(embedded) != space) {
    cmsCloseProfile(embedded);
    embedded = nullptr;
  }
  return embedded;
}

}  // namespace

std::unique_ptr<ColourConverter> ColourConverter::Create(const DocumentFormat& format, const std::string& colourTable,
                                                         const std::string& profile, ColourHandling handling) {
  if (!WritesComposite(format)) return nullptr;
  auto converter = std::unique_ptr<ColourConverter>(new ColourConverter);
  converter->mode_ = format.mode;
  converter->depth_ = format.depth;
  const bool sixteen = format.depth == 16;
  if (format.mode == kIndexedMode) {
    converter->palette_.assign(colourTable.begin(), colourTable.end());
    converter->palette_.resize(768, 0);
  } else if (format.mode == kCmykMode && !profile.empty()) {
    cmsHPROFILE embedded = OpenProfile(profile, cmsSigCmykData);
    // Stored CMYK is inverted (the maximum means no ink): the reversed types.
    converter->transform_ =
        Transform::Create(embedded, sixteen ? TYPE_CMYK_16_REV : TYPE_CMYK_8_REV, sixteen ? TYPE_RGB_16 : TYPE_RGB_8);
  } else if (format.mode == kLabMode) {
    converter->transform_ = Transform::Create(cmsCreateLab4Profile(nullptr), sixteen ? TYPE_Lab_16 : TYPE_Lab_8,
                                              sixteen ? TYPE_RGB_16 : TYPE_RGB_8);
    if (!converter->transform_) return nullptr;
  } else if (handling == ColourHandling::kSrgb && format.mode == kRgbMode && format.depth != 32) {
    converter->transform_ = Transform::Create(OpenProfile(profile, cmsSigRgbData), sixteen ? TYPE_RGB_16 : TYPE_RGB_8,
                                              sixteen ? TYPE_RGB_16 : TYPE_RGB_8);
  } else if (handling == ColourHandling::kSrgb && (format.mode == kGreyscaleMode || format.mode == kDuotoneMode) &&
             format.depth != 32) {
    converter->transform_ =
        Transform::Create(OpenProfile(profile, cmsSigGrayData), sixteen ? TYPE_GRAY_16 : TYPE_GRAY_8,
                          sixteen ? TYPE_GRAY_16 : TYPE_GRAY_8, true);
  }
  return converter;
}

PixelFormat ColourConverter::Output(bool withAlpha) const {
  PixelFormat format;
  const bool grey = mode_ == kGreyscaleMode || mode_ == kDuotoneMode || mode_ == kBitmapMode;
  format.colourType = grey ? (withAlpha ? 4 : 0) : (withAlpha ? 6 : 2);
  format.bitDepth = depth_ == 16 || depth_ == 32 ? 16 : 8;
  return format;
}

const char* ColourConverter::Conversion() const {
  switch (mode_) {
    case kCmykMode:
      return transform_ ? "icc" : "formula";
    case kLabMode:
      return "lab";
    case kIndexedMode:
      return "palette";
    case kBitmapMode:
      return "bitmap";
    default:
      return depth_ == 32 ? "srgb-curve" : transform_ ? "srgb" : "none";
  }
}

bool ColourConverter::OwnSamples() const {
  const std::string_view conversion = Conversion();
  return conversion == "none" || conversion == "palette" || conversion == "bitmap";
}

namespace {

// Colour stored as it is to be shown: RGB, greyscale and duotone. 32-bit
// values go through the sRGB curve.
bool ConvertStored(const LayerPlanes& planes, unsigned depth, const StopToken& stop, PixelWriter& out) {
  const size_t pixels = static_cast<size_t>(planes.width) * static_cast<size_t>(planes.height);
  const size_t colours = planes.colour.size();
  for (size_t k = 0; k < pixels; ++k) {
    if (Stopped(stop, k)) return false;
    for (size_t c = 0; c < colours; ++c) {
      const uint8_t* plane = planes.colour[c];
      if (depth == 8) {
        out.Colour8(plane[k]);
      } else if (depth == 16) {
        out.Colour16(Load16(plane + 2 * k));
      } else {
        out.Colour16(FromLinear(LoadFloat(plane + 4 * k)));
      }
    }
    out.Alpha(k);
  }
  return true;
}

// The 8-bit RGB path, the common one, without per-sample branches.
template <bool kWithAlpha>
void ConvertRgb8(const LayerPlanes& planes, const uint8_t* alpha, uint8_t* raster) {
  const uint8_t* red = planes.colour[0];
  const uint8_t* green = planes.colour[1];
  const uint8_t* blue = planes.colour[2];
  const size_t pixels = static_cast<size_t>(planes.width) * static_cast<size_t>(planes.height);
  for (size_t k = 0; k < pixels; ++k) {
    *raster++ = red[k];
    *raster++ = green[k];
    *raster++ = blue[k];
    if constexpr (kWithAlpha) *raster++ = alpha[k];
  }
}

// A composite: opaque.
void ConvertIndexed(const LayerPlanes& planes, const std::vector<uint8_t>& palette, PixelWriter& out) {
  const size_t pixels = static_cast<size_t>(planes.width) * static_cast<size_t>(planes.height);
  for (size_t k = 0; k < pixels; ++k) {
    const uint8_t index = planes.colour[0][k];
    for (int c = 0; c < 3; ++c) out.Colour8(palette[256 * c + index]);
  }
}

// One bit per pixel, rows padded to whole bytes; 1 is black.
void ConvertBitmap(const LayerPlanes& planes, PixelWriter& out) {
  const size_t rowBytes = (static_cast<size_t>(planes.width) + 7) / 8;
  for (int32_t y = 0; y < planes.height; ++y) {
    const uint8_t* row = planes.colour[0] + static_cast<size_t>(y) * rowBytes;
    for (int32_t x = 0; x < planes.width; ++x) out.Colour8(row[x / 8] & (0x80 >> (x % 8)) ? 0 : 255);
  }
}

// CMYK without a profile: each colour times the black, on the stored
// (inverted) values, in 64 bits since the 16-bit product overflows.
bool ConvertCmykFormula(const LayerPlanes& planes, unsigned depth, const StopToken& stop, PixelWriter& out) {
  const size_t pixels = static_cast<size_t>(planes.width) * static_cast<size_t>(planes.height);
  const uint64_t max = depth == 16 ? 65535 : 255;
  for (size_t k = 0; k < pixels; ++k) {
    if (Stopped(stop, k)) return false;
    const auto sample = [&](int c) -> uint64_t {
      return depth == 16 ? Load16(planes.colour[c] + 2 * k) : planes.colour[c][k];
    };
    const uint64_t black = sample(3);
    for (int c = 0; c < 3; ++c) {
      const uint64_t value = (sample(c) * black + max / 2) / max;
      if (depth == 16) {
        out.Colour16(static_cast<uint16_t>(value));
      } else {
        out.Colour8(static_cast<uint8_t>(value));
      }
    }
    out.Alpha(k);
  }
  return true;
}

// 16-bit Lab: the file's a and b have their zero at 32768, Little CMS's at
// 32896.
uint16_t LabToLittleCms(uint16_t value) {
  return static_cast<uint16_t>(std::min<uint32_t>(65535, (value * 257u + 128) / 256));
}

}  // namespace

int32_t ColourConverter::Convert(const LayerPlanes& planes, const uint8_t* alpha, uint8_t* raster,
                                 const StopToken& stop) const {
  PixelWriter out(raster, alpha, OutputSampleBytes(depth_));
  if (mode_ == kRgbMode && depth_ == 8 && !transform_) {
    if (alpha != nullptr) {
      ConvertRgb8<true>(planes, alpha, raster);
    } else {
      ConvertRgb8<false>(planes, alpha, raster);
    }
    return kExportOk;
  }
  const auto finished = [&](bool converted) { return converted ? kExportOk : kStopped; };
  switch (mode_) {
    case kIndexedMode:
      ConvertIndexed(planes, palette_, out);
      return kExportOk;
    case kBitmapMode:
      ConvertBitmap(planes, out);
      return kExportOk;
    case kCmykMode:
    case kLabMode:
      break;
    default:
      if (!transform_) return finished(ConvertStored(planes, depth_, stop, out));
  }
  if (!transform_) return finished(ConvertCmykFormula(planes, depth_, stop, out));
  // Through Little CMS a chunk of pixels at a time, interleaved in the
  // library's native order.
  const size_t colours = planes.colour.size();
  const size_t sampleBytes = depth_ == 16 ? 2 : 1;
  const int outputs = mode_ == kGreyscaleMode || mode_ == kDuotoneMode ? 1 : 3;
  Bytes input, output;
  if (!input.Allocate(kChunk * colours * sampleBytes) || !output.Allocate(kChunk * 3 * sampleBytes))
    return kWriteFailed;
  const size_t pixels = static_cast<size_t>(planes.width) * static_cast<size_t>(planes.height);
  for (size_t start = 0; start < pixels; start += kChunk) {
    if (Stopped(stop, start)) return kStopped;
    const size_t count = std::min(kChunk, pixels - start);
    uint8_t* in8 = input.writable();
    auto* in16 = reinterpret_cast<uint16_t*>(input.writable());
    for (size_t k = start; k < start + count; ++k) {
      for (size_t c = 0; c < colours; ++c) {
        if (sampleBytes == 1) {
          *in8++ = planes.colour[c][k];
        } else {
          const uint16_t value = Load16(planes.colour[c] + 2 * k);
          *in16++ = mode_ == kLabMode ? LabToLittleCms(value) : value;
        }
      }
    }
    transform_->Apply(input.data(), output.writable(), count);
    const uint8_t* out8 = output.data();
    const auto* out16 = reinterpret_cast<const uint16_t*>(output.data());
    for (size_t k = start; k < start + count; ++k) {
      for (int c = 0; c < outputs; ++c) {
        if (sampleBytes == 1) {
          out.Colour8(*out8++);
        } else {
          out.Colour16(*out16++);
        }
      }
      out.Alpha(k);
    }
  }
  return kExportOk;
}

}  // namespace peelbox
