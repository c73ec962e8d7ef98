// What a job is asked to write: one set of options for the dialog, the
// command line and presets alike.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace peelbox {

// The rectangle each layer's image covers.
enum class Extent {
  kLayer,   // the layer's own rectangle
  kTrim,    // the smallest rectangle that holds every pixel not fully transparent
  kCanvas,  // the document's canvas, the layer in its place
};

// What becomes of samples that have an embedded profile.
enum class ColourHandling {
  kKeep,  // written as stored, the profile embedded where the format can hold it
  kSrgb,  // RGB and grey converted to sRGB through the profile
};

// Record indexes from first to last, both included.
struct LayerRange {
  size_t first = 0;
  size_t last = 0;
};

struct ExportOptions {
  // The formats written, by name ("png", "gif", "webp", "jpeg"); each
  // layer's files follow the order of the format registry, whatever the
  // order here.
  std::vector<std::string> formats{"png", "gif"};
  bool ignoreAlpha = false;      // every transparency but none at all becomes the maximum
  bool visibleOnly = false;      // skip layers hidden themselves or by a group
  bool groupsAsFolders = false;  // put "{path}/" before the name template: folders named after the groups
  bool fastPng = false;          // PNGs deflated at a fast level: faster, larger
  bool listOnly = false;         // read and plan every file, write nothing
  // Each file's path in the output folder, without the extension (see
  // NameTemplate).
  std::string nameTemplate = "{name}";
  // Layers written: those that match a pattern of `only` (when there is any)
  // and none of `skip` (see LayerFilter).
  std::vector<std::string> only;
  std::vector<std::string> skip;
  bool ignoreCase = false;  // patterns match ASCII letters of either case
  Extent extent = Extent::kLayer;
  int pad = 0;  // transparent pixels around a layer or trimmed image, 0 to kMaxPad
  // Each layer as it looks in the document, alone: its alpha times its masks,
  // opacity and fill, those of its groups, and the base it is clipped to.
  bool asShown = false;
  ColourHandling colour = ColourHandling::kKeep;
  int webpQuality = -1;       // -1: lossless WebP; 0 to 100: lossy at that quality
  int jpegQuality = 90;       // 0 to 100
  int background = 0xFFFFFF;  // 0xRRGGBB that JPEG flattens transparency over
  int gifMatte = -1;          // 0xRRGGBB: GIF pixels of alpha 128 up blended over it, the rest transparent; -1: none
  bool gifDither = false;     // Floyd-Steinberg in GIFs of more than 254 colours
  // The records chosen by hand (the dialog's check boxes, --layers); none
  // chooses every record. Presets never hold it: it belongs to one document.
  std::optional<std::vector<LayerRange>> layers;

  bool Selected(size_t index) const {
    if (!layers) return true;
    for (const LayerRange& range : *layers) {
      if (index >= range.first && index <= range.last) return true;
    }
    return false;
  }

  static constexpr int kMaxPad = 4096;
};

}  // namespace peelbox
