#include "export/alpha.h"

#include <algorithm>
#include <cmath>

#include "export/export_result.h"
#include "export/samples.h"
#include "export/vector_mask.h"

namespace peelbox {

namespace {

// Sample x of a plane of `depth` bits, 0..1.
double SampleAt(const uint8_t* plane, size_t x, unsigned depth) {
  switch (depth) {
    case 8:
      return plane[x] / 255.0;
    case 16:
      return Load16(plane + 2 * x) / 65535.0;
    default:
      return Clamped(LoadFloat(plane + 4 * x));
  }
}

// Where row y of a plane at `plane` on the canvas meets the region: the
// region's columns [from, to), and the plane's samples from `from` on.
struct Overlap {
  int64_t from = 0;
  int64_t to = 0;
  const uint8_t* samples = nullptr;
};

Overlap OverlapOf(const ImagePlace& plane, const uint8_t* samples, unsigned depth, const ImagePlace& region,
                  int64_t y) {
  Overlap overlap;
  if (y < plane.top || y >= plane.Bottom()) return overlap;
  overlap.from = std::clamp(plane.left - region.left, int64_t{0}, region.width);
  overlap.to = std::clamp(plane.Right() - region.left, overlap.from, region.width);
  if (samples != nullptr) {
    const auto at = static_cast<size_t>((y - plane.top) * plane.width + region.left + overlap.from - plane.left);
    overlap.samples = samples + at * (depth / 8);
  }
  return overlap;
}

// What the mask keeps, after its density: 1 - density * (1 - m).
double Kept(double mask, double density) { return 1.0 - density * (1.0 - mask); }

ImagePlace PlaceOf(const LayerBounds& bounds) { return {bounds.left, bounds.top, bounds.Width(), bounds.Height()}; }

// A user mask: its plane at its own rectangle on the canvas, its default
// colour around it.
void ApplyUserMask(const MaskPlane& mask, double density, unsigned depth, const ImagePlace& region, int64_t y,
                   double* row) {
  const double outside = Kept(mask.fields.defaultColour / 255.0, density);
  const ImagePlace place{mask.fields.bounds.left, mask.fields.bounds.top, mask.width, mask.height};
  const Overlap inside = mask.samples != nullptr ? OverlapOf(place, mask.samples, depth, region, y) : Overlap{};
  for (int64_t x = 0; x < region.width; ++x) {
    const bool in = x >= inside.from && x < inside.to;
    row[x] *= in ? Kept(SampleAt(inside.samples, static_cast<size_t>(x - inside.from), depth), density) : outside;
  }
}

void ApplyVectorMask(const float* coverage, bool inverted, double density, int64_t width, double* row) {
  for (int64_t x = 0; x < width; ++x) row[x] *= Kept(inverted ? 1.0 - coverage[x] : coverage[x], density);
}

// The transparency a record gives the region's row y: its samples within
// its rectangle (opaque there without any), nothing outside.
void ApplyTransparency(const ImagePlace& place, const uint8_t* samples, unsigned depth, const ImagePlace& region,
                       int64_t y, double* row) {
  const Overlap inside = OverlapOf(place, samples, depth, region, y);
  for (int64_t x = 0; x < region.width; ++x) {
    if (x < inside.from || x >= inside.to) {
      row[x] = 0;
    } else if (inside.samples != nullptr) {
      row[x] *= SampleAt(inside.samples, static_cast<size_t>(x - inside.from), depth);
    }
  }
}

// One record's part: its masks and opacity, and its transparency when it
// is the base the layer is clipped to.
class Shaper {
 public:
  Shaper(const RecordLook& look, bool base, const LayerLook& layer, const ImagePlace& region)
      : look_(look), base_(base) {
    if (look.vectorMask)
      vector_ = std::make_unique<VectorCoverage>(*look.vectorMask, layer.canvasWidth, layer.canvasHeight, region);
  }
  bool Ok() const { return !vector_ || vector_->Ok(); }

  void Apply(const ImagePlace& region, int64_t y, double* row) const {
    if (base_) ApplyTransparency(PlaceOf(look_.bounds), look_.transparency, look_.depth, region, y, row);
    if (look_.userMask) ApplyUserMask(*look_.userMask, look_.userDensity, look_.depth, region, y, row);
    if (vector_) ApplyVectorMask(vector_->Row(y), look_.vectorInverted, look_.vectorDensity, region.width, row);
    if (look_.opacity < 1) {
      for (int64_t x = 0; x < region.width; ++x) row[x] *= look_.opacity;
    }
  }

 private:
  const RecordLook& look_;
  bool base_;
  std::unique_ptr<VectorCoverage> vector_;
};

std::vector<std::unique_ptr<Shaper>> ShapersOf(const LayerLook& look, const ImagePlace& region) {
  std::vector<std::unique_ptr<Shaper>> shapers;
  const auto add = [&](const std::shared_ptr<const RecordLook>& record, bool base) {
    if (record) shapers.push_back(std::make_unique<Shaper>(*record, base, look, region));
  };
  add(look.own, false);
  for (const auto& group : look.groups) add(group, false);
  add(look.clippingBase, true);
  return shapers;
}

// Rounded once to the output's depth, then ignore-alpha.
void StoreRow(const double* row, int64_t width, unsigned bytes, bool ignoreAlpha, uint8_t* out) {
  const double maximum = bytes == 1 ? 255 : 65535;
  for (int64_t x = 0; x < width; ++x) {
    auto value = static_cast<uint16_t>(std::lround(std::clamp(row[x], 0.0, 1.0) * maximum));
    if (ignoreAlpha && value != 0) value = static_cast<uint16_t>(maximum);
    if (bytes == 1) {
      out[x] = static_cast<uint8_t>(value);
    } else {
      Store16(value, out + 2 * x);
    }
  }
}

}  // namespace

bool LayerLook::Shapes() const {
  const auto shapes = [](const std::shared_ptr<const RecordLook>& look) { return look && look->Shapes(); };
  return shapes(own) || std::any_of(groups.begin(), groups.end(), shapes) || clippingBase != nullptr;
}

int32_t ComposeAlpha(const LayerPlanes& planes, const LayerLook* look, const ImagePlace& region,
                     const ExportOptions& options, const StopToken& stop, AlphaPlane* alpha) {
  *alpha = AlphaPlane{};
  const bool shaped = look != nullptr && look->Shapes();
  if (planes.alpha == nullptr && !shaped) return kExportOk;
  // 8 and 16 bits are the output's samples already.
  if (!shaped && region == planes.Place() && planes.depth != 32 && !options.ignoreAlpha) {
    alpha->samples = planes.alpha;
    return kExportOk;
  }
  const unsigned bytes = OutputSampleBytes(planes.depth);
  const size_t rowBytes = static_cast<size_t>(region.width) * bytes;
  std::unique_ptr<double[]> row(new (std::nothrow) double[static_cast<size_t>(std::max<int64_t>(region.width, 1))]);
  if (!row || !alpha->owned.Allocate(rowBytes * static_cast<size_t>(region.height))) return kWriteFailed;
  std::vector<std::unique_ptr<Shaper>> shapers;
  if (shaped) shapers = ShapersOf(*look, region);
  for (const auto& shaper : shapers) {
    if (!shaper->Ok()) return kWriteFailed;
  }
  for (int64_t r = 0; r < region.height; ++r) {
    if (r % 64 == 0 && stop.StopRequested()) return kStopped;
    const int64_t y = region.top + r;
    std::fill(row.get(), row.get() + region.width, 1.0);
    ApplyTransparency(planes.Place(), planes.alpha, planes.depth, region, y, row.get());
    for (const auto& shaper : shapers) shaper->Apply(region, y, row.get());
    uint8_t* out = alpha->owned.writable() + static_cast<size_t>(r) * rowBytes;
    StoreRow(row.get(), region.width, bytes, options.ignoreAlpha, out);
  }
  alpha->samples = alpha->owned.data();
  return kExportOk;
}

}  // namespace peelbox
