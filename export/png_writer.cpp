#include "export/png_writer.h"

#include <png.h>

#include <csetjmp>
#include <memory>
#include <new>

#include "export/export_result.h"

namespace peelbox {

namespace {

void AppendToBuffer(png_structp png, png_bytep data, size_t size) {
  if (!static_cast<OutputBuffer*>(png_get_io_ptr(png))->Append(data, size)) png_error(png, "out of memory");
}

void FlushNothing(png_structp) {}

// libpng reports errors by longjmp to the setjmp below, so this frame holds
// nothing with a destructor: the structures, the row table and the output
// belong to the caller.
int32_t WriteImage(png_structp png, png_infop info, uint32_t width, uint32_t height, bool withAlpha,
                   png_bytepp rows, OutputBuffer* out) {
  if (setjmp(png_jmpbuf(png))) return kWriteFailed;
  png_set_write_fn(png, out, AppendToBuffer, FlushNothing);
  png_set_IHDR(png, info, width, height, 8, withAlpha ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB,
               PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_BASE, PNG_FILTER_TYPE_BASE);
  png_color_8 significant{};
  significant.red = significant.green = significant.blue = significant.alpha = 8;
  png_set_sBIT(png, info, &significant);
  png_write_info(png, info);
  png_write_image(png, rows);
  png_write_end(png, info);
  return kExportOk;
}

struct WriteStructs {
  png_structp png = nullptr;
  png_infop info = nullptr;
  ~WriteStructs() { png_destroy_write_struct(&png, &info); }
};

}  // namespace

int32_t EncodePng(const uint8_t* raster, uint32_t width, uint32_t height, bool withAlpha, OutputBuffer* out) {
  WriteStructs structs;
  structs.png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  if (structs.png == nullptr) return kNoPngWriteStruct;
  structs.info = png_create_info_struct(structs.png);
  if (structs.info == nullptr) return kNoPngInfoStruct;

  const size_t rowBytes = static_cast<size_t>(width) * (withAlpha ? 4 : 3);
  std::unique_ptr<png_bytep[]> rows(new (std::nothrow) png_bytep[height]);
  if (!rows) return kWriteFailed;
  for (uint32_t y = 0; y < height; ++y) rows[y] = const_cast<png_bytep>(raster + y * rowBytes);
  return WriteImage(structs.png, structs.info, width, height, withAlpha, rows.get(), out);
}

}  // namespace peelbox
