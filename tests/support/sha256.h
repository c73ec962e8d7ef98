// SHA-256, to compare decoded pixels with the hashes of an independent decoder.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace psdbuild {

class Sha256 {
 public:
  Sha256();
  void Update(const uint8_t* data, size_t size);
  std::string HexDigest();  // ends the hash

 private:
  void Block(const uint8_t* block);
  uint32_t state_[8];
  uint8_t buffer_[64];
  size_t buffered_ = 0;
  uint64_t total_ = 0;
};

std::string Sha256Hex(const uint8_t* data, size_t size);

}  // namespace psdbuild
