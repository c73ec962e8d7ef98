#include "bench/documents.h"

#include <stdexcept>

namespace peelbox::bench {

namespace {

psdbuild::DocumentRecipe Canvas(int32_t width, int32_t height) {
  psdbuild::DocumentRecipe doc;
  doc.columns = width;
  doc.rows = height;
  doc.resources = {{1005, "", psdbuild::ByteVector(16, 0)}};
  doc.layerInfoAlignment = 4;  // as Photoshop writes it, so that every reader agrees
  return doc;
}

psdbuild::DocumentRecipe Layers(int32_t width, int32_t height, int count, int32_t baseWidth, int32_t stepWidth,
                              int32_t baseHeight, int32_t stepHeight, unsigned depth = 8, bool cmyk = false) {
  psdbuild::DocumentRecipe doc = Canvas(width, height);
  doc.depth = static_cast<uint16_t>(depth);
  if (cmyk) {
    doc.mode = 4;
    doc.channels = 4;
  }
  for (int i = 0; i < count; ++i) {
    psdbuild::PixelLayerOptions options;
    options.width = baseWidth + stepWidth * i;
    options.height = baseHeight + stepHeight * i;
    options.left = (width - options.width) * (i % 5) / 4;
    options.top = (height - options.height) * (i % 3) / 2;
    options.seed = static_cast<uint32_t>(i + 1);
    options.name = "Layer " + std::to_string(i + 1);
    options.depth = depth;
    options.cmyk = cmyk;
    doc.layers.push_back(psdbuild::PixelLayer(options));
  }
  doc.layerCountField = static_cast<int16_t>(-count);
  return doc;
}

}  // namespace

psdbuild::DocumentRecipe TypicalDocument() { return Layers(2000, 1500, 20, 955, 21, 735, 16); }

psdbuild::DocumentRecipe LargeDocument() { return Layers(6000, 4000, 10, 3000, 300, 2000, 200); }

psdbuild::DocumentRecipe Typical16Document() { return Layers(2000, 1500, 20, 955, 21, 735, 16, 16); }

psdbuild::DocumentRecipe TypicalCmykDocument() { return Layers(2000, 1500, 20, 955, 21, 735, 16, 8, true); }

psdbuild::DocumentRecipe ManyLayersDocument() { return Layers(1200, 900, 300, 120, 1, 90, 1); }

psdbuild::DocumentRecipe DocumentNamed(const std::string& name) {
  if (name == "typical") return TypicalDocument();
  if (name == "many") return ManyLayersDocument();
  if (name == "large") return LargeDocument();
  if (name == "typical16") return Typical16Document();
  if (name == "cmyk") return TypicalCmykDocument();
  throw std::invalid_argument("unknown document: " + name);
}

}  // namespace peelbox::bench
