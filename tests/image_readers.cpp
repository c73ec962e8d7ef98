#include "tests/image_readers.h"

#include <gd.h>
#include <png.h>
#include <webp/decode.h>
#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <memory>

#include "tests/helpers.h"

namespace peelbox::test {

namespace {

uint32_t Be32(const uint8_t* p) { return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3]; }

std::vector<std::string> ChunkTypes(const ByteVector& bytes) {
  std::vector<std::string> types;
  for (size_t at = 8; at + 12 <= bytes.size();) {
    const uint32_t length = Be32(&bytes[at]);
    types.emplace_back(reinterpret_cast<const char*>(&bytes[at + 4]), 4);
    at += 12 + static_cast<size_t>(length);
  }
  return types;
}

// Decodes with the library's errors returning here; no C++ objects live in
// this frame.
bool Decode(png_structp png, png_infop info, std::FILE* file, DecodedPng* out, std::vector<png_bytep>* rows) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_init_io(png, file);
  png_read_info(png, info);
  int interlace = 0;
  png_get_IHDR(png, info, &out->width, &out->height, &out->bitDepth, &out->colorType, &interlace, nullptr, nullptr);
  out->interlaced = interlace != PNG_INTERLACE_NONE;
  png_color_8p bits = nullptr;
  if (png_get_sBIT(png, info, &bits) != 0) {
    const bool grey = (out->colorType & PNG_COLOR_MASK_COLOR) == 0;
    out->significantBits =
        grey ? std::vector<uint8_t>{bits->gray} : std::vector<uint8_t>{bits->red, bits->green, bits->blue};
    if (out->colorType & PNG_COLOR_MASK_ALPHA) out->significantBits.push_back(bits->alpha);
  }
  png_charp name = nullptr;
  png_bytep profile = nullptr;
  png_uint_32 profileSize = 0;
  int compression = 0;
  if (png_get_iCCP(png, info, &name, &compression, &profile, &profileSize) != 0) {
    out->iccName = name;
    out->iccProfile.assign(reinterpret_cast<const char*>(profile), profileSize);
  }
  // By the chunk itself: libpng also reports sRGB for an iCCP profile it
  // knows to be sRGB.
  out->srgb = std::find(out->chunks.begin(), out->chunks.end(), "sRGB") != out->chunks.end();
  int unit = 0;
  png_get_pHYs(png, info, &out->xPixelsPerMetre, &out->yPixelsPerMetre, &unit);
  const size_t rowBytes = png_get_rowbytes(png, info);
  out->pixels.resize(rowBytes * out->height);
  rows->resize(out->height);
  for (uint32_t y = 0; y < out->height; ++y) (*rows)[y] = out->pixels.data() + y * rowBytes;
  png_read_image(png, rows->data());
  png_read_end(png, nullptr);
  return true;
}

}  // namespace

DecodedPng ReadPng(const std::filesystem::path& path) {
  DecodedPng out;
  out.chunks = ChunkTypes(ReadAll(path));
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"), &std::fclose);
  if (!file) return out;
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  std::vector<png_bytep> rows;
  out.ok = Decode(png, info, file.get(), &out, &rows);
  png_destroy_read_struct(&png, &info, nullptr);
  return out;
}

std::vector<uint8_t> Rgba8(const DecodedPng& png) {
  const int channels = png.colorType == 0 ? 1 : png.colorType == 4 ? 2 : png.colorType == 2 ? 3 : 4;
  const int bytes = png.bitDepth / 8;
  std::vector<uint8_t> rgba;
  for (size_t at = 0; at < png.pixels.size(); at += static_cast<size_t>(channels * bytes)) {
    const auto sample = [&](int c) {
      if (bytes == 1) return png.pixels[at + c];
      return static_cast<uint8_t>(((png.pixels[at + 2 * c] << 8 | png.pixels[at + 2 * c + 1]) * 255 + 32767) / 65535);
    };
    const bool grey = channels <= 2;
    for (int c = 0; c < 3; ++c) rgba.push_back(sample(grey ? 0 : c));
    rgba.push_back(channels % 2 == 0 ? sample(channels - 1) : 255);
  }
  return rgba;
}

ByteVector PngImageData(const ByteVector& file) {
  ByteVector deflated;
  for (size_t at = 8; at + 12 <= file.size();) {
    const size_t length = Be32(&file[at]);
    if (length > file.size() - at - 12) return {};
    if (std::equal(&file[at + 4], &file[at + 8], "IDAT")) {
      deflated.insert(deflated.end(), &file[at + 8], &file[at + 8] + length);
    }
    at += 12 + length;
  }
  z_stream stream{};
  if (inflateInit(&stream) != Z_OK) return {};
  ByteVector filtered;
  stream.next_in = deflated.data();
  stream.avail_in = static_cast<uInt>(deflated.size());
  int code = Z_OK;
  while (code == Z_OK) {
    uint8_t piece[65536];
    stream.next_out = piece;
    stream.avail_out = sizeof piece;
    code = inflate(&stream, Z_NO_FLUSH);
    filtered.insert(filtered.end(), piece, piece + (sizeof piece - stream.avail_out));
  }
  inflateEnd(&stream);
  return code == Z_STREAM_END ? filtered : ByteVector{};
}

std::vector<int> AlphaSamples(const DecodedPng& png) {
  const size_t bytes = png.bitDepth / 8, channels = png.colorType == 0   ? 1
                                                    : png.colorType == 2 ? 3
                                                    : png.colorType == 4 ? 2
                                                                         : 4;
  std::vector<int> alpha;
  for (size_t at = (channels - 1) * bytes; at < png.pixels.size(); at += channels * bytes) {
    const int value = bytes == 2 ? png.pixels[at] << 8 | png.pixels[at + 1] : png.pixels[at];
    alpha.push_back((png.colorType & 4) != 0 ? value : (1 << png.bitDepth) - 1);
  }
  return alpha;
}

DecodedGif ReadGif(const std::filesystem::path& path) {
  DecodedGif out;
  const ByteVector bytes = ReadAll(path);
  if (bytes.size() < 6) return out;
  out.signature.assign(bytes.begin(), bytes.begin() + 6);
  gdImagePtr image = gdImageCreateFromGifPtr(static_cast<int>(bytes.size()), const_cast<uint8_t*>(bytes.data()));
  if (image == nullptr) return out;
  out.ok = !gdImageTrueColor(image);
  out.width = gdImageSX(image);
  out.height = gdImageSY(image);
  out.transparent = gdImageGetTransparent(image);
  out.interlaced = gdImageGetInterlaced(image) != 0;
  for (int i = 0; i < gdImageColorsTotal(image); ++i) {
    out.palette.push_back({gdImageRed(image, i), gdImageGreen(image, i), gdImageBlue(image, i)});
  }
  for (int y = 0; y < out.height; ++y) {
    for (int x = 0; x < out.width; ++x) out.indexes.push_back(static_cast<uint8_t>(gdImageGetPixel(image, x, y)));
  }
  gdImageDestroy(image);
  return out;
}

}  // namespace peelbox::test

namespace peelbox::test {

Decoded8 ReadWebp(const std::filesystem::path& path) {
  const ByteVector bytes = ReadAll(path);
  Decoded8 out;
  uint8_t* rgba = WebPDecodeRGBA(bytes.data(), bytes.size(), &out.width, &out.height);
  if (rgba == nullptr) return out;
  out.channels = 4;
  out.pixels.assign(rgba, rgba + static_cast<size_t>(out.width) * out.height * 4);
  WebPFree(rgba);
  return out;
}

Decoded8 ReadJpeg(const std::filesystem::path& path) { return DecodeJpeg(ReadAll(path)); }

}  // namespace peelbox::test

namespace peelbox::test {

Decoded8 Flattened(const DecodedPng& png, int background, int channels) {
  Decoded8 flat{static_cast<int>(png.width), static_cast<int>(png.height), channels, {}, {}};
  const std::vector<uint8_t> rgba = Rgba8(png);
  for (size_t at = 0; at < rgba.size(); at += 4) {
    for (int c = 0; c < channels; ++c) {
      const int under = background >> (16 - 8 * c) & 255;
      flat.pixels.push_back(static_cast<uint8_t>((rgba[at + c] * rgba[at + 3] + under * (255 - rgba[at + 3]) + 127) / 255));
    }
  }
  return flat;
}

double Psnr(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
  if (a.size() != b.size() || a.empty()) return 0;
  double squares = 0;
  for (size_t i = 0; i < a.size(); ++i) squares += (a[i] - b[i]) * (a[i] - b[i]);
  if (squares == 0) return 99;
  return 10 * std::log10(255.0 * 255.0 * static_cast<double>(a.size()) / squares);
}

}  // namespace peelbox::test
