#include "export/png_format.h"

#include <png.h>
#include <zlib.h>

#include <algorithm>
#include <csetjmp>
#include <memory>
#include <new>

#include "export/export_result.h"
#include "export/output_format.h"

namespace peelbox {

namespace {

// Rows per batch: small enough that a stop is noticed at once, large enough
// that checking costs nothing.
constexpr uint32_t kBatchRows = 32;

void AppendToBuffer(png_structp png, png_bytep data, size_t size) {
  if (!static_cast<OutputBuffer*>(png_get_io_ptr(png))->Append(data, size)) png_error(png, "out of memory");
}

void FlushNothing(png_structp) {}

// A chunk libpng refuses (a profile it finds inconsistent) is left out,
// quietly: the image is still worth writing.
void IgnoreWarning(png_structp, png_const_charp) {}

int ColourType(const PixelFormat& format) {
  switch (format.colourType) {
    case 0:
      return PNG_COLOR_TYPE_GRAY;
    case 4:
      return PNG_COLOR_TYPE_GRAY_ALPHA;
    case 6:
      return PNG_COLOR_TYPE_RGB_ALPHA;
    default:
      return PNG_COLOR_TYPE_RGB;
  }
}

// Ancillary chunks written by png_write_info: what the samples mean and the
// document's resolution.
void SetColourTags(png_structp png, png_infop info, const ColourTags& tags) {
  if (!tags.profile.empty()) {
    png_set_iCCP(png, info, tags.profileName.c_str(), PNG_COMPRESSION_TYPE_BASE,
                 reinterpret_cast<png_const_bytep>(tags.profile.data()), static_cast<png_uint_32>(tags.profile.size()));
  } else if (tags.srgb) {
    png_set_sRGB(png, info, PNG_sRGB_INTENT_RELATIVE);
  }
  if (tags.xPixelsPerMetre != 0) {
    png_set_pHYs(png, info, tags.xPixelsPerMetre, tags.yPixelsPerMetre, PNG_RESOLUTION_METER);
  }
}

// libpng reports errors by longjmp to the setjmp below, so this frame holds
// nothing with a destructor: the structures, the row table and the output
// belong to the caller.
int32_t WriteImage(png_structp png, png_infop info, uint32_t width, uint32_t height, PixelFormat format,
                   const PngOptions& options, png_bytepp rows, OutputBuffer* out) {
  if (setjmp(png_jmpbuf(png))) return kWriteFailed;
  png_set_write_fn(png, out, AppendToBuffer, FlushNothing);
  if (options.fast) png_set_compression_strategy(png, Z_RLE);
  png_set_IHDR(png, info, width, height, format.bitDepth, ColourType(format), PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_BASE, PNG_FILTER_TYPE_BASE);
  png_color_8 significant{};
  const auto depth = static_cast<png_byte>(format.bitDepth);
  significant.red = significant.green = significant.blue = significant.gray = significant.alpha = depth;
  png_set_sBIT(png, info, &significant);
  SetColourTags(png, info, options.tags);
  png_write_info(png, info);
  for (uint32_t y = 0; y < height; y += kBatchRows) {
    if (options.stop.StopRequested()) return kStopped;
    png_write_rows(png, rows + y, std::min(kBatchRows, height - y));
  }
  png_write_end(png, info);
  return kExportOk;
}

struct WriteStructs {
  png_structp png = nullptr;
  png_infop info = nullptr;
  ~WriteStructs() { png_destroy_write_struct(&png, &info); }
};

}  // namespace

int32_t EncodePng(const uint8_t* raster, uint32_t width, uint32_t height, PixelFormat format, const PngOptions& options,
                  OutputBuffer* out) {
  WriteStructs structs;
  structs.png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, IgnoreWarning);
  if (structs.png == nullptr) return kNoPngWriteStruct;
  png_set_benign_errors(structs.png, 1);
  structs.info = png_create_info_struct(structs.png);
  if (structs.info == nullptr) return kNoPngInfoStruct;

  const size_t rowBytes = static_cast<size_t>(width) * static_cast<size_t>(format.BytesPerPixel());
  std::unique_ptr<png_bytep[]> rows(new (std::nothrow) png_bytep[height]);
  if (!rows) return kWriteFailed;
  for (uint32_t y = 0; y < height; ++y) rows[y] = const_cast<png_bytep>(raster + y * rowBytes);
  return WriteImage(structs.png, structs.info, width, height, format, options, rows.get(), out);
}

namespace {

int32_t EncodePngFile(const Raster& raster, const EncodeSettings& settings, OutputBuffer* out) {
  return EncodePng(raster.pixels.get(), static_cast<uint32_t>(raster.width), static_cast<uint32_t>(raster.height),
                   raster.format, {settings.options.fastPng, settings.stop, settings.tags}, out);
}

}  // namespace

// PNG's own limit on either side.
extern const OutputFormat kPngFormat{"png", ".png", "PNG", {true, 0x7FFFFFFF}, EncodePngFile};

}  // namespace peelbox
