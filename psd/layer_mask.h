// A layer record's masks, parsed from their bytes: the user mask (channel -2)
// with the "real" user mask (channel -3) that a layer with both a user and a
// vector mask keeps, and the vector mask's path. Knows no section.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

#include "psd/bytes.h"
#include "psd/channel.h"

namespace peelbox {

// Where a mask's plane lies and what it means outside that rectangle.
struct MaskFields {
  static constexpr uint8_t kRelativeFlag =
      0x01;  // "position relative to layer": the rectangle is on the canvas all the same
  static constexpr uint8_t kDisabledFlag = 0x02;
  static constexpr uint8_t kInvertFlag = 0x04;
  static constexpr uint8_t kParametersFlag = 0x10;  // density or feather follow

  LayerBounds bounds;
  uint8_t defaultColour = 0;  // 0 or 255, outside the rectangle
  uint8_t flags = 0;

  bool Disabled() const { return (flags & kDisabledFlag) != 0; }
};

// The parameters a mask may carry, each only when its bit says so.
struct MaskParameters {
  std::optional<uint8_t> userDensity;
  std::optional<double> userFeather;
  std::optional<uint8_t> vectorDensity;
  std::optional<double> vectorFeather;
};

// The layer mask data: the user mask's rectangle (16 bytes), default colour
// and flags; at 36 bytes and more the real flags, default colour and
// rectangle; then the parameters the flags announce. Fields that the data is
// too short for keep their zero values.
struct LayerMask {
  MaskFields user;
  std::optional<MaskFields> real;
  MaskParameters parameters;
};

// None for mask data shorter than a rectangle.
std::optional<LayerMask> ParseLayerMask(const uint8_t* data, size_t size);

// A vector mask block ("vmsk" or "vsms"): a version, flags, then path records
// of 26 bytes each. The records are a view into the block.
struct VectorMask {
  static constexpr uint32_t kInvertFlag = 0x01;
  static constexpr uint32_t kNotLinkedFlag = 0x02;
  static constexpr uint32_t kDisabledFlag = 0x04;

  uint32_t version = 0;
  uint32_t flags = 0;
  const uint8_t* records = nullptr;
  size_t size = 0;  // bytes of path records

  bool Inverted() const { return (flags & kInvertFlag) != 0; }
  bool Disabled() const { return (flags & kDisabledFlag) != 0; }
};

// None when the block is too short for its version and flags.
std::optional<VectorMask> ParseVectorMask(const Bytes& block);

}  // namespace peelbox
