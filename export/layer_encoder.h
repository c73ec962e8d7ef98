// One layer's files, encoded in memory from pixels the encoder owns: the
// compose-alpha, extent and convert-colour stages make its raster, then
// each selected format encodes it.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "export/alpha.h"
#include "export/colour.h"
#include "export/image_place.h"
#include "export/layer_planes.h"
#include "export/output_buffer.h"
#include "export/output_format.h"
#include "export/raster.h"

namespace peelbox {

struct EncodedFile {
  const OutputFormat* format = nullptr;
  OutputBuffer bytes;
  bool tooLarge = false;  // the format cannot hold the image: no bytes, no file
};

struct EncodedLayer {
  int32_t code = 0;                // an ExportResult, or kStopped
  std::vector<EncodedFile> files;  // in registry order
  ImagePlace image;                // where the written image lies on the canvas
  bool transparent = false;        // trimmed to nothing: no files
};

// What a layer's image is placed on and shaped by: the canvas (none: the
// layer's own rectangle), and with as-shown the layer's look.
struct LayerFrame {
  std::optional<ImagePlace> canvas;
  const LayerLook* look = nullptr;
};

// The raster of the layer's files: transparency composed, the written
// image's place decided, colours converted into it (colour 0 and
// transparency 0 where the layer has no pixels). When trim keeps nothing
// the raster is empty; when only listing, it has a place but no pixels.
// kExportOk, kWriteFailed or kStopped.
int32_t MakeRaster(const LayerPlanes& planes, const ColourConverter& converter, const EncodeSettings& settings,
                   Raster* raster, const LayerFrame& frame = {});

// The raster encoded once per format the options select. Safe to call on
// several threads at once.
EncodedLayer EncodeLayer(const LayerPlanes& planes, const ColourConverter& converter, const EncodeSettings& settings,
                         const LayerFrame& frame = {});
// The same, letting go of the planes as soon as the raster is made: the
// formats need only the raster, and a large layer is not held twice while
// they encode.
EncodedLayer EncodeLayer(std::shared_ptr<const LayerPlanes> planes, const ColourConverter& converter,
                         const EncodeSettings& settings, const LayerFrame& frame = {});

}  // namespace peelbox
