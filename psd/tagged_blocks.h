// Tagged blocks: a signature ("8BIM" or "8B64"), a four-character key, a
// length and the data. They follow the name in a layer record and the global
// layer mask info in the layer and mask section; one reader serves both.
// Knows no section.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "psd/block.h"
#include "psd/bytes.h"

namespace peelbox {

// Keys Peelbox reads.
inline constexpr char kUnicodeNameKey[] = "luni";
inline constexpr char kSectionDividerKey[] = "lsct";
inline constexpr char kNestedSectionDividerKey[] = "lsdk";
inline constexpr char kLayers16Key[] = "Lr16";
inline constexpr char kLayers32Key[] = "Lr32";
inline constexpr char kLayersKey[] = "Layr";
inline constexpr char kVectorMaskKey[] = "vmsk";
inline constexpr char kVectorStrokeMaskKey[] = "vsms";
inline constexpr char kFillOpacityKey[] = "iOpa";
// Layer effects as descriptors: the effects, several of each kind, and an
// undocumented later form.
inline constexpr char kEffectsKey[] = "lfx2";
inline constexpr char kMultiEffectsKey[] = "lmfx";
inline constexpr char kLaterEffectsKey[] = "lfxs";

struct TaggedBlock {
  std::string key;
  Bytes data;
};

// The head of one block: its key and the length of its data.
struct TaggedBlockHead {
  std::string key;
  uint64_t length = 0;
};

// Whether the key's length takes 8 bytes in a large document.
bool HasLongLength(const std::string& key);

// Whether a key holds a layer info of its own (Lr16, Lr32, Layr).
bool HoldsLayers(const std::string& key);

// The blocks of a layer record's extra data, from the cursor to its end.
// Each starts right after the stated length of the one before. A damaged
// block, or one that runs past the end, is dropped with everything after it.
// The data are views into the cursor's buffer.
std::vector<TaggedBlock> ParseTaggedBlocks(MemoryCursor cursor, bool large);

// Reads the head of the block at the file position, when one fits before
// `end`: a known signature, a key and a length whose data end by `end`.
// False otherwise (the list ends there).
bool ReadTaggedBlockHead(std::FILE* file, bool large, int64_t end, TaggedBlockHead* head);

}  // namespace peelbox
