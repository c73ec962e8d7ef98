// One layer's files, encoded in memory from pixels the encoder owns: the
// compose-alpha and convert-colour stages make its raster, then each
// selected format encodes it.
#pragma once

#include <cstdint>
#include <vector>

#include "export/colour.h"
#include "export/layer_planes.h"
#include "export/output_buffer.h"
#include "export/output_format.h"
#include "export/raster.h"

namespace peelbox {

struct EncodedFile {
  const OutputFormat* format = nullptr;
  OutputBuffer bytes;
};

struct EncodedLayer {
  int32_t code = 0;                // an ExportResult, or kStopped
  std::vector<EncodedFile> files;  // in registry order
};

// The raster of the layer's files: transparency composed, colours converted.
// kExportOk, kWriteFailed or kStopped.
int32_t MakeRaster(const LayerPlanes& planes, const ColourConverter& converter, const EncodeSettings& settings,
                   Raster* raster);

// The raster encoded once per format the options select. Safe to call on
// several threads at once.
EncodedLayer EncodeLayer(const LayerPlanes& planes, const ColourConverter& converter, const EncodeSettings& settings);

}  // namespace peelbox
