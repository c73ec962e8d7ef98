// The extent stage: which part of a layer's rectangle is composed, and where
// on the canvas its written image lies.
#pragma once

#include <cstdint>
#include <optional>

#include "export/export_options.h"
#include "export/image_place.h"

namespace peelbox {

// The part of the layer's rectangle whose pixels the image can hold: all of
// it, or only what lies on the canvas (the canvas extent, and the trim of a
// layer shown as it looks).
ImagePlace SourceRegion(const ImagePlace& layer, const ImagePlace& canvas, const ExportOptions& options);

// The written image of the layer and canvas extents, padded: known before
// any pixel. None for trim.
std::optional<ImagePlace> PlannedImage(const ImagePlace& layer, const ImagePlace& canvas, const ExportOptions& options);

// The written image: as planned, or for trim the smallest rectangle that
// holds every sample of `alpha` over `source` that is not 0 (all of the
// source without alpha), padded. None when trim finds no such sample.
std::optional<ImagePlace> ImageRegion(const ImagePlace& layer, const ImagePlace& canvas, const ImagePlace& source,
                                      const uint8_t* alpha, unsigned alphaBytes, const ExportOptions& options);

}  // namespace peelbox
