// Writes Photoshop documents byte for byte from a description, for tests,
// fuzz seeds, the benchmark and the bundled sample. Every field can be set to
// a broken value, and the offsets of the fields are recorded so that a test
// can cut a document inside any of them.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace psdbuild {

using ByteVector = std::vector<uint8_t>;

struct ChannelRecipe {
  int16_t id = 0;
  uint16_t compression = 0;
  ByteVector stored;                     // the bytes after the compression word
  std::optional<uint64_t> lengthField;   // when not 2 + stored.size()
};

// A channel stored as it stands.
ChannelRecipe RawChannel(int16_t id, ByteVector plane);
// A channel packed row by row, with its table of row counts (4 bytes each in
// a large document).
ChannelRecipe PackBitsChannel(int16_t id, const ByteVector& plane, size_t rowBytes, bool large = false);
// A channel as one zlib stream (compression 2), or with each row's samples of
// `depth` bits stored as differences (compression 3).
ChannelRecipe ZipChannel(int16_t id, const ByteVector& plane, size_t rowBytes, unsigned depth, bool predicted);

// The plane as ZIP with prediction stores it, before deflating: per row,
// differences of bytes (8 bits), of big-endian values (16) or, at 32 bits,
// of the row's bytes reordered by significance.
ByteVector Predict(const ByteVector& plane, size_t rowBytes, unsigned depth);
ByteVector Deflate(const ByteVector& bytes);

// One tagged block as a layer record holds it: no padding after the data.
// Its length takes 8 bytes when `longLength`.
ByteVector TaggedBlockBytes(const std::string& key, const ByteVector& data, bool longLength = false,
                            const std::string& signature = "8BIM");
// The Unicode name block: a count of UTF-16 units, then the units.
ByteVector UnicodeNameBlock(const std::u16string& name);

// PackBits as Photoshop writes it: runs of 3 or more become run packets.
ByteVector EncodePackBits(const uint8_t* row, size_t size);

struct LayerRecipe {
  int32_t top = 0;
  int32_t left = 0;
  int32_t bottom = 0;
  int32_t right = 0;
  std::vector<ChannelRecipe> channels;
  std::optional<uint16_t> channelCountField;  // when not channels.size()
  std::string blendSignature = "8BIM";
  std::string blendKey = "norm";
  uint8_t opacity = 255;
  uint8_t clipping = 0;
  uint8_t flags = 0;
  uint8_t filler = 0;
  ByteVector maskData;        // written after its 4-byte length
  ByteVector blendingRanges;  // written after its 4-byte length
  std::string name;           // a pascal string padded to 4 bytes, as Photoshop does
  ByteVector afterName;       // tagged blocks and the like
  std::optional<ByteVector> extraData;  // replaces all of the above extra data
};

// A tagged block after the global layer mask info. One that holds layers
// (Lr16, Lr32, Layr) is written as a layer info of its own.
struct SectionBlockRecipe {
  std::string key;
  ByteVector data;
  std::vector<LayerRecipe> layers;
  bool holdsLayers = false;
  std::string signature = "8BIM";
  std::optional<uint64_t> lengthField;  // when not the data's length
};

struct ResourceRecipe {
  uint16_t id = 1000;
  std::string name;
  ByteVector body;
  std::string signature = "8BIM";
};

struct DocumentRecipe {
  std::string signature = "8BPS";
  uint16_t version = 1;
  uint16_t channels = 3;
  int32_t rows = 1;
  int32_t columns = 1;
  uint16_t depth = 8;
  uint16_t mode = 3;  // RGB
  ByteVector colorModeData;
  std::vector<ResourceRecipe> resources;
  bool layerSection = true;  // false: a layer and mask section of length 0
  // false: a layer info of length 0 (no count) when there are no layers, as
  // 16- and 32-bit documents have.
  bool layerInfoWhenEmpty = true;
  std::vector<LayerRecipe> layers;
  std::optional<int16_t> layerCountField;  // when not layers.size()
  std::optional<ByteVector> globalMask;    // written with its length when present
  std::vector<SectionBlockRecipe> sectionBlocks;  // after the global mask, each padded to 4 bytes
  // Photoshop rounds the layer info up to a multiple of 4 with zero bytes
  // inside its length; readers that follow the length need it.
  size_t layerInfoAlignment = 1;
  uint16_t compositeCompression = 0;
  ByteVector compositeData;
};

struct BuiltDocument {
  ByteVector bytes;
  // Where each field starts: "header", "colorModeData", "imageResources",
  // "resource<i>", "resource<i>.body", "layerSection", "layerInfo",
  // "layerCount", "layer<i>", "layer<i>.channels", "layer<i>.blend",
  // "layer<i>.extraData", "pixels<i>.<c>", "globalMask", "block<b>",
  // "block<b>.data" and, for the layers of block b, the layer fields with
  // "block<b>." in front ("block0.layer1", "block0.pixels1.0"), "composite".
  std::map<std::string, size_t> offsets;

  size_t At(const std::string& field) const { return offsets.at(field); }
  ByteVector CutAt(size_t size) const { return ByteVector(bytes.begin(), bytes.begin() + size); }
};

BuiltDocument BuildDocument(const DocumentRecipe& doc);

// A layer of the given size whose colour channels hold deterministic,
// photograph-like content (smooth areas, edges and a little noise).
struct PixelLayerOptions {
  int32_t top = 0;
  int32_t left = 0;
  int32_t width = 1;
  int32_t height = 1;
  bool alpha = true;
  bool packBits = true;
  uint32_t seed = 1;
  std::string name;
  unsigned depth = 8;     // 16: each sample widened with a little noise in its low byte
  bool cmyk = false;      // four colour channels, the fourth a light black (stored inverted)
};
LayerRecipe PixelLayer(const PixelLayerOptions& options);

// Planes of a layer built by PixelLayer: red, green, blue and, with alpha, the
// transparency plane.
std::vector<ByteVector> PixelLayerPlanes(const PixelLayerOptions& options);

}  // namespace psdbuild
