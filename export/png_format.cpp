#include "export/png_format.h"

#include <libdeflate.h>
#include <png.h>
#include <zlib.h>

#include <algorithm>
#include <csetjmp>
#include <cstdint>
#include <memory>
#include <new>

#include "export/export_result.h"
#include "export/output_format.h"
#include "export/png_filter.h"

namespace peelbox {

namespace {

// Rows per batch: small enough that a stop is noticed at once, large enough
// that checking costs nothing.
constexpr uint32_t kBatchRows = 32;
// libdeflate's levels, measured on the corpus, photographs, soft artwork and
// the benchmark's typical document (bench/README.md). At 6 the PNG encoder
// is 2.8 times faster than zlib's default, for files 0.6% larger on the
// typical document and 0.9% on the corpus; 8, the first no larger on the
// corpus, is slower than zlib. 2 is the fastest level no larger than zlib's
// Z_RLE on the corpus (which --fast used before), and far smaller on soft
// artwork.
constexpr int kLevel = 6;
constexpr int kFastLevel = 2;
// Image data per IDAT chunk; any size up to 2^31 - 1 is valid.
constexpr size_t kIdatBytes = 1 << 20;

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

// libpng reports errors by longjmp to the setjmp in each of these two, so
// their frames hold nothing with a destructor: the structures, the row table
// and the output belong to the caller.

// The signature, IHDR and every chunk that goes before the image data.
int32_t WriteHeader(png_structp png, png_infop info, uint32_t width, uint32_t height, PixelFormat format,
                    const PngOptions& options, OutputBuffer* out) {
  if (setjmp(png_jmpbuf(png))) return kWriteFailed;
  png_set_write_fn(png, out, AppendToBuffer, FlushNothing);
  if (options.fast && options.deflater == PngDeflater::kLibpng) png_set_compression_strategy(png, Z_RLE);
  png_set_IHDR(png, info, width, height, format.bitDepth, ColourType(format), PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_BASE, PNG_FILTER_TYPE_BASE);
  png_color_8 significant{};
  const auto depth = static_cast<png_byte>(format.bitDepth);
  significant.red = significant.green = significant.blue = significant.gray = significant.alpha = depth;
  png_set_sBIT(png, info, &significant);
  SetColourTags(png, info, options.tags);
  png_write_info(png, info);
  return kExportOk;
}

int32_t WriteRowsThroughLibpng(png_structp png, png_infop info, uint32_t height, const StopToken& stop,
                               png_bytepp rows) {
  if (setjmp(png_jmpbuf(png))) return kWriteFailed;
  for (uint32_t y = 0; y < height; y += kBatchRows) {
    if (stop.StopRequested()) return kStopped;
    png_write_rows(png, rows + y, std::min(kBatchRows, height - y));
  }
  png_write_end(png, info);
  return kExportOk;
}

int32_t EncodeRowsThroughLibpng(png_structp png, png_infop info, const uint8_t* raster, uint32_t height,
                                size_t rowBytes, const StopToken& stop) {
  std::unique_ptr<png_bytep[]> rows(new (std::nothrow) png_bytep[height]);
  if (!rows) return kWriteFailed;
  for (uint32_t y = 0; y < height; ++y) rows[y] = const_cast<png_bytep>(raster + y * rowBytes);
  return WriteRowsThroughLibpng(png, info, height, stop, rows.get());
}

struct FreeCompressor {
  void operator()(libdeflate_compressor* compressor) const { libdeflate_free_compressor(compressor); }
};

// One compressor per thread and level, kept: small layers would otherwise
// pay for its tables each time.
libdeflate_compressor* CompressorAt(int level) {
  thread_local std::unique_ptr<libdeflate_compressor, FreeCompressor> compressors[13];
  auto& compressor = compressors[level];
  if (!compressor) compressor.reset(libdeflate_alloc_compressor(level));
  return compressor.get();
}

bool AppendChunk(const char type[4], const uint8_t* data, size_t size, OutputBuffer* out) {
  const auto* typeBytes = reinterpret_cast<const uint8_t*>(type);
  const uint8_t length[4] = {static_cast<uint8_t>(size >> 24), static_cast<uint8_t>(size >> 16),
                             static_cast<uint8_t>(size >> 8), static_cast<uint8_t>(size)};
  uint32_t crc = libdeflate_crc32(0, typeBytes, 4);
  if (size > 0) crc = libdeflate_crc32(crc, data, size);  // a null buffer would start the CRC afresh
  const uint8_t crcBytes[4] = {static_cast<uint8_t>(crc >> 24), static_cast<uint8_t>(crc >> 16),
                               static_cast<uint8_t>(crc >> 8), static_cast<uint8_t>(crc)};
  return out->Append(length, 4) && out->Append(typeBytes, 4) && out->Append(data, size) && out->Append(crcBytes, 4);
}

// The filtered rows, each behind its filter type: what IDAT deflates.
std::unique_ptr<uint8_t[]> FilterRows(const uint8_t* raster, uint32_t width, uint32_t height, PixelFormat format,
                                      const StopToken& stop, size_t* size, int32_t* code) {
  *code = kWriteFailed;
  const size_t rowBytes = static_cast<size_t>(width) * static_cast<size_t>(format.BytesPerPixel());
  if (height > SIZE_MAX / (rowBytes + 1)) return nullptr;
  *size = (rowBytes + 1) * height;
  const PngRowFilter filter(rowBytes, static_cast<size_t>(format.BytesPerPixel()), width, height);
  std::unique_ptr<uint8_t[]> filtered(new (std::nothrow) uint8_t[*size]);
  if (!filtered || !filter.ok()) return nullptr;
  for (uint32_t y = 0; y < height; ++y) {
    if (y % kBatchRows == 0 && stop.StopRequested()) {
      *code = kStopped;
      return nullptr;
    }
    const uint8_t* row = raster + y * rowBytes;
    filter.Filter(row, y > 0 ? row - rowBytes : nullptr, filtered.get() + y * (rowBytes + 1));
  }
  *code = kExportOk;
  return filtered;
}

// IDAT chunks and IEND, after what libpng wrote.
int32_t EncodeRowsThroughLibdeflate(const uint8_t* raster, uint32_t width, uint32_t height, PixelFormat format,
                                    const PngOptions& options, OutputBuffer* out) {
  size_t size = 0;
  int32_t code = kExportOk;
  std::unique_ptr<uint8_t[]> filtered = FilterRows(raster, width, height, format, options.stop, &size, &code);
  if (!filtered) return code;
  libdeflate_compressor* compressor = CompressorAt(options.fast ? kFastLevel : kLevel);
  if (compressor == nullptr) return kWriteFailed;
  const size_t bound = libdeflate_zlib_compress_bound(compressor, size);
  std::unique_ptr<uint8_t[]> deflated(new (std::nothrow) uint8_t[bound]);
  if (!deflated) return kWriteFailed;
  const size_t deflatedSize = libdeflate_zlib_compress(compressor, filtered.get(), size, deflated.get(), bound);
  if (deflatedSize == 0) return kWriteFailed;
  filtered.reset();
  for (size_t at = 0; at < deflatedSize; at += kIdatBytes) {
    if (!AppendChunk("IDAT", deflated.get() + at, std::min(kIdatBytes, deflatedSize - at), out)) return kWriteFailed;
  }
  return AppendChunk("IEND", nullptr, 0, out) ? kExportOk : kWriteFailed;
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
  if (const int32_t code = WriteHeader(structs.png, structs.info, width, height, format, options, out);
      code != kExportOk) {
    return code;
  }
  if (options.deflater == PngDeflater::kLibdeflate) {
    // libpng is done: it would refuse png_write_end after image data it did
    // not write.
    return EncodeRowsThroughLibdeflate(raster, width, height, format, options, out);
  }
  const size_t rowBytes = static_cast<size_t>(width) * static_cast<size_t>(format.BytesPerPixel());
  return EncodeRowsThroughLibpng(structs.png, structs.info, raster, height, rowBytes, options.stop);
}

namespace {

int32_t EncodePngFile(const Raster& raster, const EncodeSettings& settings, OutputBuffer* out) {
  return EncodePng(raster.pixels.get(), static_cast<uint32_t>(raster.width), static_cast<uint32_t>(raster.height),
                   raster.format, {settings.options.fastPng, settings.stop, PngDeflater::kLibdeflate, settings.tags}, out);
}

}  // namespace

// PNG's own limit on either side.
extern const OutputFormat kPngFormat{"png", ".png", "PNG", {true, 0x7FFFFFFF}, EncodePngFile};

}  // namespace peelbox
