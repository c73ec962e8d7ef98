// The WebP file of a layer, through libwebp: lossless by default, with the
// colours under transparency kept, so that it decodes to the 8-bit PNG's
// pixels; lossy at a quality when asked.
#include <webp/encode.h>

#include "export/eight_bit.h"
#include "export/export_result.h"
#include "export/output_format.h"

namespace peelbox {

namespace {

int AppendToBuffer(const uint8_t* data, size_t size, const WebPPicture* picture) {
  return static_cast<OutputBuffer*>(picture->custom_ptr)->Append(data, size) ? 1 : 0;
}

// libwebp asks between its passes; 0 abandons the encoding.
int GoOn(int, const WebPPicture* picture) {
  return static_cast<const StopToken*>(picture->user_data)->StopRequested() ? 0 : 1;
}

struct Picture {
  WebPPicture picture;
  Picture() { WebPPictureInit(&picture); }
  ~Picture() { WebPPictureFree(&picture); }
};

int32_t EncodeWebpFile(const Raster& raster, const EncodeSettings& settings, OutputBuffer* out) {
  EightBitPixels pixels;
  if (!pixels.Make(raster, true)) return kWriteFailed;
  WebPConfig config;
  if (!WebPConfigInit(&config)) return kWriteFailed;
  const int quality = settings.options.webpQuality;
  if (quality < 0) {
    config.lossless = 1;
    config.exact = 1;  // colours under alpha 0 stay as they are
  } else {
    config.quality = static_cast<float>(quality > 100 ? 100 : quality);
  }
  Picture holder;
  WebPPicture& picture = holder.picture;
  picture.use_argb = 1;
  picture.width = raster.width;
  picture.height = raster.height;
  const auto stride = static_cast<int>(pixels.RowBytes(raster.width));
  const int imported = pixels.format().HasAlpha() ? WebPPictureImportRGBA(&picture, pixels.data(), stride)
                                                  : WebPPictureImportRGB(&picture, pixels.data(), stride);
  if (!imported) return kWriteFailed;
  picture.writer = AppendToBuffer;
  picture.custom_ptr = out;
  picture.progress_hook = GoOn;
  picture.user_data = const_cast<StopToken*>(&settings.stop);
  if (WebPEncode(&config, &picture)) return kExportOk;
  return picture.error_code == VP8_ENC_ERROR_USER_ABORT ? kStopped : kWriteFailed;
}

}  // namespace

// WebP's limit on either side.
extern const OutputFormat kWebpFormat{"webp", ".webp", "WebP", {true, WEBP_MAX_DIMENSION}, EncodeWebpFile};

}  // namespace peelbox
