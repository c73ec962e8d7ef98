// One table from a failed read's part and code to what it means, so that a
// failure can be triaged without knowing which section owns which number.
#include "psd/document.h"

namespace peelbox {

namespace {

struct Meaning {
  ReadStep step;
  int32_t code;  // 0: any other code of the step
  const char* words;
};

constexpr Meaning kMeanings[] = {
    {ReadStep::kHeader, PsdHeader::kShortHeader, "the file is too short for a Photoshop header"},
    {ReadStep::kHeader, PsdHeader::kBadSignature, "it does not begin with the Photoshop signature \"8BPS\""},
    {ReadStep::kHeader, PsdHeader::kBadVersion, "its version is neither 1 (PSD) nor 2 (PSB)"},
    {ReadStep::kColorModeData, PsdBlock::kNoMemory, "the colour mode data does not fit in memory"},
    {ReadStep::kColorModeData, 0, "the colour mode data ends early"},
    {ReadStep::kImageResources, ImageResource::kBadSignature, "an image resource does not begin with \"8BIM\""},
    {ReadStep::kImageResources, PsdBlock::kNoMemory, "an image resource does not fit in memory"},
    {ReadStep::kImageResources, ImageResourceList::kNoPosition, "the image resources cannot be measured"},
    {ReadStep::kImageResources, 0, "the image resources end early"},
    {ReadStep::kLayerInfo, LayerRecord::kBadChannelEntry, "a layer's list of channels ends early"},
    {ReadStep::kLayerInfo, LayerRecord::kBadMaskData, "a layer's mask data or name runs past its record"},
    {ReadStep::kLayerInfo, LayerRecord::kBadBlendingRanges, "a layer's blending ranges run past its record"},
    {ReadStep::kLayerInfo, 0, "the layer records end early"},
    {ReadStep::kChannelData, ChannelInfo::kBadRow, "a channel's pixels cannot be decoded"},
    {ReadStep::kChannelData, ChannelInfo::kNoStoredMemory, "a channel's data does not fit in memory"},
    {ReadStep::kChannelData, ChannelInfo::kNoPlaneMemory, "a channel's pixels do not fit in memory"},
    {ReadStep::kChannelData, 0, "a channel's data ends early"},
    {ReadStep::kGlobalMask, PsdBlock::kNoMemory, "the global layer mask info does not fit in memory"},
    {ReadStep::kGlobalMask, 0, "the global layer mask info ends early"},
    {ReadStep::kComposite, CompositeImage::kUndecodable, "the merged image cannot be decoded"},
    {ReadStep::kComposite, CompositeImage::kNoMemory, "the merged image does not fit in memory"},
    {ReadStep::kComposite, CompositeImage::kShortCompression, "the file ends before the merged image"},
    {ReadStep::kComposite, CompositeImage::kShortData, "the merged image ends early"},
    {ReadStep::kComposite, 0, "the merged image cannot be measured"},
};

}  // namespace

std::string DescribeReadFailure(ReadStep step, int32_t code) {
  if (step == ReadStep::kSource || code == kStopped) return {};
  for (const Meaning& meaning : kMeanings) {
    if (meaning.step == step && (meaning.code == code || meaning.code == 0)) return meaning.words;
  }
  return {};
}

}  // namespace peelbox
