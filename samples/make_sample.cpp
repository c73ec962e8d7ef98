// Writes the bundled sample document: a handful of layers that show what
// Peelbox does with the kinds of layers real documents hold.
//   make_sample OUTPUT.psd
#include <cstdio>
#include <string>

#include "tests/support/psd_builder.h"

namespace {

using namespace psdbuild;

constexpr int32_t kWidth = 320;
constexpr int32_t kHeight = 240;

// A tagged block that marks a record as a group (1 open, 2 closed) or as the
// divider that ends one (3).
ByteVector SectionDivider(uint32_t type) {
  ByteVector block = {'8', 'B', 'I', 'M', 'l', 's', 'c', 't', 0, 0, 0, 4, 0, 0, 0, static_cast<uint8_t>(type)};
  return block;
}

LayerRecipe EmptyRecord(const std::string& name, uint32_t sectionType) {
  LayerRecipe layer;
  layer.name = name;
  for (int16_t id : {-1, 0, 1, 2}) layer.channels.push_back(RawChannel(id, {}));
  if (sectionType != 0) layer.afterName = SectionDivider(sectionType);
  return layer;
}

LayerRecipe MaskedLayer() {
  PixelLayerOptions options{20, 170, 130, 120, true, true, 3, "Masked photo"};
  LayerRecipe layer = PixelLayer(options);
  // A user mask over the left half: shown by Photoshop, not applied here.
  const int32_t top = 20, left = 170, bottom = 140, right = 235;
  ByteVector mask(static_cast<size_t>((right - left) * (bottom - top)), 255);
  for (int32_t y = 0; y < bottom - top; ++y) {
    for (int32_t x = 0; x < 8; ++x) mask[static_cast<size_t>(y * (right - left) + (right - left) - 1 - x)] = 32 * x;
  }
  layer.channels.push_back(PackBitsChannel(-2, mask, static_cast<size_t>(right - left)));
  for (int32_t v : {top, left, bottom, right}) {
    for (int shift = 24; shift >= 0; shift -= 8) layer.maskData.push_back(static_cast<uint8_t>(v >> shift));
  }
  layer.maskData.insert(layer.maskData.end(), {255, 0, 0, 0});  // default colour, flags, padding
  return layer;
}

DocumentRecipe Sample() {
  DocumentRecipe doc;
  doc.rows = kHeight;
  doc.columns = kWidth;
  doc.resources = {{1005, "", ByteVector(16, 0)}};

  PixelLayerOptions background{0, 0, kWidth, kHeight, false, true, 1, "Background"};
  PixelLayerOptions soft{40, 30, 160, 160, true, true, 2, "Soft circle"};
  PixelLayerOptions inside{150, 200, 100, 80, true, false, 4, "Inside the group"};
  PixelLayerOptions unsafe{170, 20, 60, 50, true, true, 5, "Notes: 50% grey/white?"};
  // File order is bottom-most first; a group's divider comes before its
  // layers and the group record after them.
  doc.layers = {
      PixelLayer(background),
      PixelLayer(soft),
      MaskedLayer(),
      EmptyRecord("Empty layer", 0),
      EmptyRecord("</Layer group>", 3),
      PixelLayer(inside),
      EmptyRecord("Group 1", 1),
      PixelLayer(unsafe),
  };
  doc.layerCountField = -static_cast<int16_t>(doc.layers.size());  // as Photoshop writes it
  doc.globalMask = ByteVector(14, 0);
  // The merged image, raw and planar: the background is what shows.
  for (const ByteVector& plane : PixelLayerPlanes(background)) {
    doc.compositeData.insert(doc.compositeData.end(), plane.begin(), plane.end());
  }
  return doc;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s OUTPUT.psd\n", argv[0]);
    return 2;
  }
  const ByteVector bytes = BuildDocument(Sample()).bytes;
  std::FILE* file = std::fopen(argv[1], "wb");
  if (!file) {
    std::perror(argv[1]);
    return 1;
  }
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  if (std::fclose(file) != 0 || !written) {
    std::perror(argv[1]);
    return 1;
  }
  return 0;
}
