#include <gtest/gtest.h>

#include <vector>

#include "psd/packbits.h"
#include "tests/support/psd_builder.h"

namespace peelbox {
namespace {

using Bytes8 = std::vector<uint8_t>;

Bytes8 Decode(const Bytes8& packed) {
  Bytes8 out(512, 0xEE);
  const int32_t produced = DecodePackBits(packed.data(), static_cast<int32_t>(packed.size()), out.data());
  EXPECT_GE(produced, 0);
  out.resize(produced < 0 ? 0 : produced);
  return out;
}

TEST(PackBits, DecodesRunsAndLiterals) {
  EXPECT_EQ(Decode({0xFE, 0xAA}), (Bytes8{0xAA, 0xAA, 0xAA}));
  EXPECT_EQ(Decode({0x02, 0x01, 0x02, 0x03}), (Bytes8{0x01, 0x02, 0x03}));
  EXPECT_EQ(Decode({0x81, 0x07}), Bytes8(128, 0x07));
  Bytes8 literal128 = {0x7F};
  for (int i = 0; i < 128; ++i) literal128.push_back(static_cast<uint8_t>(i));
  EXPECT_EQ(Decode(literal128), Bytes8(literal128.begin() + 1, literal128.end()));
}

TEST(PackBits, HeaderByte0x80ProducesNothingAndConsumesOnlyItself) {
  EXPECT_EQ(Decode({0x80}), Bytes8{});
  EXPECT_EQ(Decode({0x80, 0x00, 0x05}), Bytes8{0x05});
  EXPECT_EQ(Decode({0x80, 0x80, 0xFF, 0x09}), (Bytes8{0x09, 0x09}));
}

TEST(PackBits, PacketCutOffByTheEndOfTheInputIsNotDecoded) {
  // A run header as the very last byte has no byte to repeat.
  EXPECT_EQ(Decode({0x00, 0x41, 0xFD}), Bytes8{0x41});
  // A literal that promises more bytes than remain.
  EXPECT_EQ(Decode({0x00, 0x41, 0x05, 0x01, 0x02}), Bytes8{0x41});

  const Bytes8 runAtEnd = {0x00, 0x41, 0xFD};
  const PackBitsOutput out = DecodePackBitsBounded(runAtEnd.data(), runAtEnd.size(), Bytes8(8).data(), 8);
  EXPECT_EQ(out.produced, 1u);
  EXPECT_TRUE(out.cutOff);
}

TEST(PackBits, NullBuffersAreRefused) {
  uint8_t byte = 0;
  EXPECT_EQ(DecodePackBits(nullptr, 1, &byte), -1);
  EXPECT_EQ(DecodePackBits(&byte, 1, nullptr), -2);
}

TEST(PackBits, BoundedDecoderCountsButNeverWritesPastItsCapacity) {
  const Bytes8 packed = {0xFD, 0x11, 0x02, 0x21, 0x22, 0x23};  // 4 x 0x11, then 3 literals
  Bytes8 out(10, 0xEE);
  const PackBitsOutput result = DecodePackBitsBounded(packed.data(), packed.size(), out.data(), 5);
  EXPECT_EQ(result.produced, 7u);
  EXPECT_FALSE(result.cutOff);
  EXPECT_EQ(out, (Bytes8{0x11, 0x11, 0x11, 0x11, 0x21, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE}));
}

TEST(PackBits, DecodesWhatTheTestEncoderWrites) {
  Bytes8 row;
  for (int i = 0; i < 1000; ++i) row.push_back(static_cast<uint8_t>((i / 7) % 3 == 0 ? 9 : i * 31));
  const Bytes8 packed = psdbuild::EncodePackBits(row.data(), row.size());
  Bytes8 out(row.size() + 1);
  ASSERT_EQ(DecodePackBits(packed.data(), static_cast<int32_t>(packed.size()), out.data()), 1000);
  out.resize(1000);
  EXPECT_EQ(out, row);
}

}  // namespace
}  // namespace peelbox
