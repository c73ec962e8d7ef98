#include "export/layer_encoder.h"

#include "export/alpha.h"
#include "export/export_result.h"

namespace peelbox {

int32_t MakeRaster(const LayerPlanes& planes, const ColourConverter& converter, const EncodeSettings& settings,
                   Raster* raster) {
  if (planes.width <= 0 || planes.height <= 0) return kWriteFailed;  // no image to write
  AlphaPlane alpha;
  if (const int32_t code = ComposeAlpha(planes, settings.options, settings.stop, &alpha); code != kExportOk) {
    return code;
  }
  raster->width = planes.width;
  raster->height = planes.height;
  raster->format = converter.Output(alpha.samples != nullptr);
  if (!raster->Allocate()) return kWriteFailed;
  return converter.Convert(planes, alpha.samples, raster->pixels.get(), settings.stop);
}

EncodedLayer EncodeLayer(const LayerPlanes& planes, const ColourConverter& converter, const EncodeSettings& settings) {
  EncodedLayer encoded;
  Raster raster;
  encoded.code = MakeRaster(planes, converter, settings, &raster);
  for (const OutputFormat* format : SelectedFormats(settings.options)) {
    if (encoded.code != kExportOk) break;
    EncodedFile& file = encoded.files.emplace_back();
    file.format = format;
    encoded.code = format->encode(raster, settings, &file.bytes);
  }
  return encoded;
}

}  // namespace peelbox
