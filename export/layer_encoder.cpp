#include "export/layer_encoder.h"

#include <climits>
#include <cstring>

#include "export/export_result.h"
#include "export/extent.h"

namespace peelbox {

namespace {

// Opaque samples over the source, for an opaque layer whose image reaches
// beyond its pixels.
bool MakeOpaque(const ImagePlace& source, unsigned bytes, AlphaPlane* alpha) {
  const size_t size = static_cast<size_t>(source.width) * static_cast<size_t>(source.height) * bytes;
  if (!alpha->owned.Allocate(size)) return false;
  std::memset(alpha->owned.writable(), 0xff, size);
  alpha->samples = alpha->owned.data();
  return true;
}

// The source's pixels converted row by row into their place in a larger
// image, which is transparent black around them.
int32_t ConvertInto(const LayerPlanes& planes, const ImagePlace& source, const uint8_t* alpha,
                    const ColourConverter& converter, const StopToken& stop, Raster* raster) {
  std::memset(raster->pixels.get(), 0, raster->RowBytes() * static_cast<size_t>(raster->height));
  const ImagePlace image{raster->left, raster->top, raster->width, raster->height};
  const ImagePlace part = Intersection(source, image);
  if (part.Empty()) return kExportOk;
  if (planes.depth == 1 && (part.left - planes.left) % 8 != 0) return kWriteFailed;
  const unsigned alphaBytes = OutputSampleBytes(planes.depth);
  const auto pixelBytes = static_cast<size_t>(raster->format.BytesPerPixel());
  for (int64_t y = part.top; y < part.Bottom(); ++y) {
    const LayerPlanes row = RowView(planes, y, part.left, part.width);
    const uint8_t* alphaRow =
        alpha == nullptr
            ? nullptr
            : alpha + static_cast<size_t>((y - source.top) * source.width + part.left - source.left) * alphaBytes;
    uint8_t* out = raster->pixels.get() + static_cast<size_t>(y - image.top) * raster->RowBytes() +
                   static_cast<size_t>(part.left - image.left) * pixelBytes;
    if (const int32_t code = converter.Convert(row, alphaRow, out, stop); code != kExportOk) return code;
  }
  return kExportOk;
}

}  // namespace

int32_t MakeRaster(const LayerPlanes& planes, const ColourConverter& converter, const EncodeSettings& settings,
                   Raster* raster, const LayerFrame& frame) {
  if (planes.width <= 0 || planes.height <= 0) return kWriteFailed;  // no image to write
  const ExportOptions& options = settings.options;
  const ImagePlace layer = planes.Place();
  const ImagePlace canvas = frame.canvas.value_or(layer);
  const ImagePlace source = SourceRegion(layer, canvas, options);
  AlphaPlane alpha;
  if (const int32_t code = ComposeAlpha(planes, frame.look, source, options, settings.stop, &alpha);
      code != kExportOk) {
    return code;
  }
  const unsigned alphaBytes = OutputSampleBytes(planes.depth);
  const std::optional<ImagePlace> image = ImageRegion(layer, canvas, source, alpha.samples, alphaBytes, options);
  *raster = Raster{};
  if (!image) return kExportOk;  // trimmed to nothing
  if (image->width > INT32_MAX || image->height > INT32_MAX) return kWriteFailed;
  raster->left = image->left;
  raster->top = image->top;
  raster->width = static_cast<int32_t>(image->width);
  raster->height = static_cast<int32_t>(image->height);
  if (options.listOnly) return kExportOk;
  const bool beyondSource = !(Intersection(source, *image) == *image);
  if (beyondSource && alpha.samples == nullptr && !MakeOpaque(source, alphaBytes, &alpha)) return kWriteFailed;
  raster->format = converter.Output(alpha.samples != nullptr);
  if (!raster->Allocate()) return kWriteFailed;
  if (*image == layer && source == layer) {
    return converter.Convert(planes, alpha.samples, raster->pixels.get(), settings.stop);
  }
  return ConvertInto(planes, source, alpha.samples, converter, settings.stop, raster);
}

namespace {

EncodedLayer EncodeRaster(int32_t made, const Raster& raster, const EncodeSettings& settings) {
  EncodedLayer encoded;
  encoded.code = made;
  encoded.image = {raster.left, raster.top, raster.width, raster.height};
  encoded.transparent = encoded.code == kExportOk && raster.width == 0;
  if (encoded.transparent || settings.options.listOnly) return encoded;
  for (const OutputFormat* format : SelectedFormats(settings.options)) {
    if (encoded.code != kExportOk) break;
    EncodedFile& file = encoded.files.emplace_back();
    file.format = format;
    file.tooLarge = !format->Fits(raster.width, raster.height);
    if (!file.tooLarge) encoded.code = format->encode(raster, settings, &file.bytes);
  }
  return encoded;
}

}  // namespace

EncodedLayer EncodeLayer(const LayerPlanes& planes, const ColourConverter& converter, const EncodeSettings& settings,
                         const LayerFrame& frame) {
  Raster raster;
  const int32_t made = MakeRaster(planes, converter, settings, &raster, frame);
  return EncodeRaster(made, raster, settings);
}

EncodedLayer EncodeLayer(std::shared_ptr<const LayerPlanes> planes, const ColourConverter& converter,
                         const EncodeSettings& settings, const LayerFrame& frame) {
  Raster raster;
  const int32_t made = MakeRaster(*planes, converter, settings, &raster, frame);
  planes.reset();
  return EncodeRaster(made, raster, settings);
}

}  // namespace peelbox
