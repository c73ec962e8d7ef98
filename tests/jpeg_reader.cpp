// JPEG through libjpeg for the tests: decoding, and the reference encoding
// the written files are compared with.
#include <csetjmp>
#include <cstdio>
#include <cstdlib>

#include "tests/image_readers.h"

// Last: jpeglib.h needs FILE and size_t declared before it.
#include <jpeglib.h>

namespace peelbox::test {

namespace {

struct Error {
  jpeg_error_mgr manager;
  std::jmp_buf jump;
};

[[noreturn]] void Abandon(j_common_ptr info) { std::longjmp(reinterpret_cast<Error*>(info->err)->jump, 1); }

// No C++ objects in the frames that may be left by longjmp.
bool Decode(jpeg_decompress_struct* info, Error* error, const uint8_t* bytes, size_t size, Decoded8* out, JOCTET** icc,
            unsigned int* iccSize) {
  if (setjmp(error->jump)) return false;
  jpeg_create_decompress(info);
  jpeg_mem_src(info, bytes, static_cast<unsigned long>(size));
  jpeg_save_markers(info, JPEG_APP0 + 2, 0xFFFF);
  jpeg_read_header(info, TRUE);
  jpeg_start_decompress(info);
  jpeg_read_icc_profile(info, icc, iccSize);
  out->width = static_cast<int>(info->output_width);
  out->height = static_cast<int>(info->output_height);
  out->channels = info->output_components;
  out->pixels.resize(static_cast<size_t>(out->width) * out->height * out->channels);
  while (info->output_scanline < info->output_height) {
    JSAMPROW row = out->pixels.data() + static_cast<size_t>(info->output_scanline) * out->width * out->channels;
    jpeg_read_scanlines(info, &row, 1);
  }
  jpeg_finish_decompress(info);
  return true;
}

bool Encode(jpeg_compress_struct* info, Error* error, const Decoded8& image, int quality, unsigned char** bytes,
            unsigned long* size) {
  if (setjmp(error->jump)) return false;
  jpeg_create_compress(info);
  jpeg_mem_dest(info, bytes, size);
  info->image_width = static_cast<JDIMENSION>(image.width);
  info->image_height = static_cast<JDIMENSION>(image.height);
  info->input_components = image.channels;
  info->in_color_space = image.channels == 1 ? JCS_GRAYSCALE : JCS_RGB;
  jpeg_set_defaults(info);
  jpeg_set_quality(info, quality, TRUE);
  jpeg_start_compress(info, TRUE);
  for (int y = 0; y < image.height; ++y) {
    JSAMPROW row = const_cast<JSAMPROW>(image.pixels.data()) + static_cast<size_t>(y) * image.width * image.channels;
    jpeg_write_scanlines(info, &row, 1);
  }
  jpeg_finish_compress(info);
  return true;
}

}  // namespace

Decoded8 DecodeJpeg(const std::vector<uint8_t>& bytes) {
  Decoded8 out;
  jpeg_decompress_struct info{};
  Error error{};
  info.err = jpeg_std_error(&error.manager);
  error.manager.error_exit = Abandon;
  JOCTET* icc = nullptr;
  unsigned int iccSize = 0;
  if (!Decode(&info, &error, bytes.data(), bytes.size(), &out, &icc, &iccSize)) out = Decoded8{};
  if (icc != nullptr) out.iccProfile.assign(reinterpret_cast<const char*>(icc), iccSize);
  std::free(icc);
  jpeg_destroy_decompress(&info);
  return out;
}

std::vector<uint8_t> ReferenceJpeg(const Decoded8& image, int quality) {
  jpeg_compress_struct info{};
  Error error{};
  info.err = jpeg_std_error(&error.manager);
  error.manager.error_exit = Abandon;
  unsigned char* bytes = nullptr;
  unsigned long size = 0;
  std::vector<uint8_t> out;
  if (Encode(&info, &error, image, quality, &bytes, &size)) out.assign(bytes, bytes + size);
  jpeg_destroy_compress(&info);
  std::free(bytes);
  return out;
}

}  // namespace peelbox::test
