#include "psd/layer_mask.h"

#include <cstring>

#include "psd/big_endian.h"

namespace peelbox {

namespace {

constexpr size_t kRectSize = 16;
constexpr size_t kFieldsSize = kRectSize + 2;
constexpr size_t kRealFieldsOffset = 18;  // real flags, real default colour, real rectangle
constexpr size_t kRealSize = 36;

LayerBounds BoundsAt(const uint8_t* bytes) {
  return {LoadBigEndian<int32_t>(bytes), LoadBigEndian<int32_t>(bytes + 4), LoadBigEndian<int32_t>(bytes + 8),
          LoadBigEndian<int32_t>(bytes + 12)};
}

double DoubleAt(const uint8_t* bytes) {
  const uint64_t bits = LoadBigEndian<uint64_t>(bytes);
  double value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

// A parameters byte, then each announced value in bit order: user density
// (1 byte), user feather (8), vector density (1), vector feather (8).
MaskParameters ParseParameters(const uint8_t* at, const uint8_t* end) {
  MaskParameters parameters;
  if (at >= end) return parameters;
  const uint8_t which = *at++;
  const auto byte = [&](uint8_t bit, std::optional<uint8_t>* value) {
    if ((which & bit) == 0 || end - at < 1) return;
    *value = *at++;
  };
  const auto real = [&](uint8_t bit, std::optional<double>* value) {
    if ((which & bit) == 0 || end - at < 8) return;
    *value = DoubleAt(at);
    at += 8;
  };
  byte(0x01, &parameters.userDensity);
  real(0x02, &parameters.userFeather);
  byte(0x04, &parameters.vectorDensity);
  real(0x08, &parameters.vectorFeather);
  return parameters;
}

}  // namespace

// The real fields come before the parameters, as psd-tools reads them.
std::optional<LayerMask> ParseLayerMask(const uint8_t* data, size_t size) {
  if (data == nullptr || size < kRectSize) return std::nullopt;
  LayerMask mask;
  mask.user.bounds = BoundsAt(data);
  if (size < kFieldsSize) return mask;
  mask.user.defaultColour = data[16];
  mask.user.flags = data[17];
  // Without real fields the parameters follow the flags: at 20 bytes they
  // are not two pad bytes when the flags announce them.
  size_t parameters = kFieldsSize;
  if (size >= kRealSize) {
    mask.real =
        MaskFields{BoundsAt(data + kRealFieldsOffset + 2), data[kRealFieldsOffset + 1], data[kRealFieldsOffset]};
    parameters = kRealSize;
  }
  if ((mask.user.flags & MaskFields::kParametersFlag) != 0)
    mask.parameters = ParseParameters(data + parameters, data + size);
  return mask;
}

std::optional<VectorMask> ParseVectorMask(const Bytes& block) {
  if (block.size() < 8) return std::nullopt;
  VectorMask mask;
  mask.version = LoadBigEndian<uint32_t>(block.data());
  mask.flags = LoadBigEndian<uint32_t>(block.data() + 4);
  mask.records = block.data() + 8;
  mask.size = block.size() - 8;
  return mask;
}

}  // namespace peelbox
