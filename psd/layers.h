// The layer and mask information: the layer info (records and every
// channel's data), the global layer mask info, and the tagged blocks after
// it, some of which hold layer infos of their own (16- and 32-bit documents).
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "psd/block.h"
#include "psd/layer_record.h"
#include "psd/tagged_blocks.h"

namespace peelbox {

// A layer info: the layer count, the records, then every channel's data in
// record order. The main one and those of the tagged blocks Lr16, Lr32 and
// Layr share it. `length` is its declared length.
class LayerInfo : public PsdBlock {
 public:
  static constexpr int32_t kShortLayerCount = -4;
  static constexpr char kMain[] = "main";

  // Reads the count, the records and their channel data at the file
  // position. When they are the document's layers, each record's pixels are
  // reported to the owner as soon as they are decoded.
  int32_t ReadLayers(std::FILE* file, bool documentLayers);

  std::string key = kMain;  // or the tagged block's key
  std::vector<std::unique_ptr<LayerRecord>> records;  // file order, bottom-most first

 private:
  int32_t ReadChannelData(std::FILE* file, bool documentLayers);
};

class LayerMaskInfo : public PsdBlock {
 public:
  static constexpr int32_t kShortSectionLength = -2;  // also the layer info length
  static constexpr int32_t kShortLayerCount = LayerInfo::kShortLayerCount;

  LayerMaskInfo();
  ~LayerMaskInfo() override;
  int32_t Read(std::FILE* file) override;

  // The document's layers: the main layer info's when it has records, else
  // those of the first tagged block that has, else none.
  const LayerInfo& Layers() const;
  LayerInfo& Layers();

  std::unique_ptr<LayerInfo> layerInfo;  // the main one; none when the section is empty
  std::unique_ptr<GlobalLayerMaskInfo> globalMask;
  std::vector<std::unique_ptr<LayerInfo>> taggedLayers;  // Lr16, Lr32, Layr in file order
  std::vector<TaggedBlock> blocks;                       // every other tagged block, in file order

 private:
  int32_t ReadLayerInfo(std::FILE* file);
  int32_t ReadGlobalMask(std::FILE* file, int64_t sectionEnd);
  int32_t ReadTaggedBlocks(std::FILE* file, int64_t sectionEnd);
  int32_t ReadTaggedLayers(std::FILE* file, const TaggedBlockHead& head);
  bool HasLayers() const { return &Layers() != &empty_; }

  LayerInfo empty_;
};

std::unique_ptr<LayerMaskInfo> CreateLayerMaskInfo(BlockOwner* owner, std::FILE* file, int32_t* result);

}  // namespace peelbox
