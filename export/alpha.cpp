#include "export/alpha.h"

#include "export/export_result.h"
#include "export/samples.h"

namespace peelbox {

namespace {

// Samples between looks at the stop token.
constexpr size_t kStopInterval = 1 << 16;

}  // namespace

int32_t ComposeAlpha(const LayerPlanes& planes, const ExportOptions& options, const StopToken& stop,
                     AlphaPlane* alpha) {
  *alpha = AlphaPlane{};
  if (planes.alpha == nullptr) return kExportOk;
  // 8 and 16 bits are the output's samples already.
  if (planes.depth != 32 && !options.ignoreAlpha) {
    alpha->samples = planes.alpha;
    return kExportOk;
  }
  const size_t pixels = static_cast<size_t>(planes.width) * static_cast<size_t>(planes.height);
  const unsigned bytes = OutputSampleBytes(planes.depth);
  if (!alpha->owned.Allocate(pixels * bytes)) return kWriteFailed;
  uint8_t* out = alpha->owned.writable();
  for (size_t k = 0; k < pixels; ++k) {
    if (k % kStopInterval == 0 && stop.StopRequested()) return kStopped;
    if (bytes == 1) {
      out[k] = options.ignoreAlpha && planes.alpha[k] != 0 ? 255 : planes.alpha[k];
      continue;
    }
    uint16_t value =
        planes.depth == 32 ? Scaled(Clamped(LoadFloat(planes.alpha + 4 * k))) : Load16(planes.alpha + 2 * k);
    if (options.ignoreAlpha && value != 0) value = 65535;
    Store16(value, out + 2 * k);
  }
  alpha->samples = alpha->owned.data();
  return kExportOk;
}

}  // namespace peelbox
