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
};

DecodedPng ReadPng(const std::filesystem::path& path);
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

}  // namespace peelbox::test
