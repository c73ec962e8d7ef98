#include "psd/tagged_blocks.h"

#include <algorithm>
#include <cstring>

#include "psd/big_endian.h"

namespace peelbox {

namespace {

// Keys whose length is 8 bytes in a large document.
constexpr const char* kLongLengthKeys[] = {"LMsk", "Lr16", "Lr32", "Layr", "Mt16", "Mt32", "Mtrn",
                                           "Alph", "FMsk", "lnk2", "lnk3", "lnkE", "FXid", "FEid",
                                           "FELS", "PxSD", "pths", "extd", "extn", "cinf", "artd"};

bool KnownSignature(const uint8_t* bytes) {
  return std::memcmp(bytes, "8BIM", 4) == 0 || std::memcmp(bytes, "8B64", 4) == 0;
}

}  // namespace

bool HasLongLength(const std::string& key) {
  return std::any_of(std::begin(kLongLengthKeys), std::end(kLongLengthKeys),
                     [&](const char* known) { return key == known; });
}

bool HoldsLayers(const std::string& key) { return key == kLayers16Key || key == kLayers32Key || key == kLayersKey; }

std::vector<TaggedBlock> ParseTaggedBlocks(MemoryCursor cursor, bool large) {
  std::vector<TaggedBlock> blocks;
  while (cursor.Remaining() >= 12 && KnownSignature(cursor.position)) {
    TaggedBlock block;
    block.key.assign(reinterpret_cast<const char*>(cursor.position + 4), 4);
    cursor.position += 8;
    const bool wide = large && HasLongLength(block.key);
    if (cursor.Remaining() < (wide ? 8u : 4u)) break;
    const uint64_t length = wide ? LoadBigEndian<uint64_t>(cursor.position) : LoadBigEndian<uint32_t>(cursor.position);
    cursor.position += wide ? 8 : 4;
    if (length > cursor.Remaining()) break;
    block.data.Borrow(cursor.position, static_cast<size_t>(length));
    cursor.position += length;
    blocks.push_back(std::move(block));
  }
  return blocks;
}

bool ReadTaggedBlockHead(std::FILE* file, bool large, int64_t end, TaggedBlockHead* head) {
  const int64_t start = ftello(file);
  if (start < 0 || end - start < 12) return false;
  uint8_t bytes[8];
  if (!ReadExact(file, bytes, sizeof bytes) || !KnownSignature(bytes)) return false;
  head->key.assign(reinterpret_cast<const char*>(bytes + 4), 4);
  const bool wide = large && HasLongLength(head->key);
  if (end - start < (wide ? 16 : 12) || !ReadLength(file, wide, &head->length)) return false;
  return head->length <= static_cast<uint64_t>(end - start - (wide ? 16 : 12));
}

}  // namespace peelbox
