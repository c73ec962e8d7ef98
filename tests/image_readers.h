// Reads the files Peelbox writes with independent decoders: PNG with libpng,
// GIF with libgd.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace peelbox::test {

struct DecodedPng {
  bool ok = false;
  uint32_t width = 0;
  uint32_t height = 0;
  int colorType = -1;
  int bitDepth = 0;
  bool interlaced = false;
  std::vector<uint8_t> significantBits;  // sBIT as stored, empty without one
  std::vector<std::string> chunks;       // chunk types in file order
  std::vector<uint8_t> pixels;           // rows of interleaved samples
  std::string iccProfile;                // iCCP's profile, empty without one
  std::string iccName;
  bool srgb = false;                     // an sRGB chunk
  uint32_t xPixelsPerMetre = 0;          // pHYs, 0 without one
  uint32_t yPixelsPerMetre = 0;
};

DecodedPng ReadPng(const std::filesystem::path& path);
// The pixels as 8-bit RGBA, 16-bit samples reduced as the 8-bit formats
// reduce them, grey widened.
std::vector<uint8_t> Rgba8(const DecodedPng& png);
// The image data of a PNG file, inflated: each row's filter type and its
// filtered bytes. Empty when it does not inflate.
std::vector<uint8_t> PngImageData(const std::vector<uint8_t>& file);
// The transparency of each pixel, 8 or 16 bits; the maximum without any.
std::vector<int> AlphaSamples(const DecodedPng& png);

struct DecodedGif {
  bool ok = false;
  std::string signature;  // "GIF89a"
  int width = 0;
  int height = 0;
  int transparent = -1;
  bool interlaced = false;
  std::vector<std::array<int, 3>> palette;
  std::vector<uint8_t> indexes;  // row-major
};

DecodedGif ReadGif(const std::filesystem::path& path);

// Pixels of a WebP file as RGBA (libwebp) or of a JPEG file as RGB or grey
// (libjpeg), 8 bits; empty when it cannot be decoded.
struct Decoded8 {
  int width = 0;
  int height = 0;
  int channels = 0;
  std::vector<uint8_t> pixels;
  std::string iccProfile;  // JPEG's APP2 markers
};
Decoded8 ReadWebp(const std::filesystem::path& path);
Decoded8 ReadJpeg(const std::filesystem::path& path);
// The JPEG libjpeg itself makes of 8-bit RGB or grey pixels at this quality,
// with its defaults.
std::vector<uint8_t> ReferenceJpeg(const Decoded8& image, int quality);
Decoded8 DecodeJpeg(const std::vector<uint8_t>& bytes);
// The PNG's pixels laid over 0xRRGGBB by their transparency, 8 bits, as
// grey (channels 1) or RGB (3).
Decoded8 Flattened(const DecodedPng& png, int background, int channels);
// Peak signal-to-noise ratio of b against a, in dB; 99 when equal.
double Psnr(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b);

}  // namespace peelbox::test
