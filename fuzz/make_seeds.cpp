// Writes the seed inputs of the fuzz targets: small documents from the PSD
// builder that reach every section and kind of layer, and packed rows.
//   make_fuzz_seeds FOLDER   (writes FOLDER/load_document, /packbits, /rip)
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/psd_builder.h"

namespace {

namespace fs = std::filesystem;
using namespace psdbuild;

ByteVector Ramp(size_t size, int first) {
  ByteVector bytes(size);
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>(first + 7 * i);
  return bytes;
}

ByteVector Rect(int32_t top, int32_t left, int32_t bottom, int32_t right) {
  ByteVector bytes;
  for (int32_t v : {top, left, bottom, right}) {
    for (int shift = 24; shift >= 0; shift -= 8) bytes.push_back(static_cast<uint8_t>(v >> shift));
  }
  return bytes;
}

LayerRecipe Layer(const std::string& name, int32_t width, int32_t height, std::vector<int16_t> ids, bool packBits) {
  LayerRecipe layer;
  layer.name = name;
  layer.right = width;
  layer.bottom = height;
  for (int16_t id : ids) {
    const ByteVector plane = Ramp(static_cast<size_t>(std::max(width * height, 0)), id * 40);
    layer.channels.push_back(packBits && width > 0 ? PackBitsChannel(id, plane, static_cast<size_t>(width))
                                                   : RawChannel(id, plane));
  }
  return layer;
}

std::vector<std::pair<std::string, DocumentRecipe>> Documents() {
  std::vector<std::pair<std::string, DocumentRecipe>> documents;
  DocumentRecipe basic;
  basic.rows = 6;
  basic.columns = 8;
  basic.colorModeData = {1, 2, 3};
  basic.resources = {{1005, "", ByteVector(16, 1)}, {1039, "icc", ByteVector(5, 2)}};
  basic.layers = {Layer("Background", 8, 6, {0, 1, 2}, true), Layer("Layer 1", 5, 4, {-1, 0, 1, 2}, false)};
  basic.globalMask = ByteVector(14, 0);
  basic.compositeData = Ramp(6 * 8 * 3, 3);
  documents.emplace_back("basic.psd", basic);

  DocumentRecipe masks = basic;
  LayerRecipe masked = Layer("Masked", 6, 5, {-1, 0, 1, 2}, true);
  masked.channels.push_back(PackBitsChannel(-2, Ramp(12, 9), 4));
  masked.channels.push_back(PackBitsChannel(-3, Ramp(6, 1), 2));
  masked.maskData = Rect(1, 1, 4, 5);
  masked.maskData.insert(masked.maskData.end(), {255, 0, 0, 255});
  const ByteVector real = Rect(0, 0, 3, 2);
  masked.maskData.insert(masked.maskData.end(), real.begin(), real.end());
  masks.layers.push_back(masked);
  documents.emplace_back("masks.psd", masks);

  DocumentRecipe groups = basic;
  LayerRecipe divider = Layer("</Layer group>", 0, 0, {-1, 0, 1, 2}, false);
  divider.afterName = {'8', 'B', 'I', 'M', 'l', 's', 'c', 't', 0, 0, 0, 4, 0, 0, 0, 3};
  LayerRecipe group = Layer("Group", 0, 0, {-1, 0, 1, 2}, false);
  group.afterName = {'8', 'B', 'I', 'M', 'l', 's', 'c', 't', 0, 0, 0, 4, 0, 0, 0, 1};
  groups.layers = {Layer("Back", 4, 4, {0, 1, 2}, true), divider, Layer("In", 3, 3, {0, 1, 2, 3}, true), group};
  groups.layerCountField = -4;
  documents.emplace_back("groups.psd", groups);

  // As shown: a group with a mask and an opacity, a clipping chain, a
  // vector mask of several shapes, a fill opacity and switched-on effects.
  DocumentRecipe shown = groups;
  const auto be32 = [](uint32_t v) {
    return ByteVector{static_cast<uint8_t>(v >> 24), static_cast<uint8_t>(v >> 16), static_cast<uint8_t>(v >> 8),
                      static_cast<uint8_t>(v)};
  };
  const auto join = [](std::initializer_list<ByteVector> parts) {
    ByteVector all;
    for (const ByteVector& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
  };
  ByteVector path = join({be32(3), be32(0), {0, 8, 0, 1}, ByteVector(22, 0)});  // initial fill
  for (const auto& [selector, op] : {std::pair{0, 1}, {3, 2}}) {
    path = join({path, {0, static_cast<uint8_t>(selector), 0, 3, 0, static_cast<uint8_t>(op)}, ByteVector(20, 0)});
    for (uint32_t k = 0; k < 3; ++k) {
      path = join({path, {0, static_cast<uint8_t>(selector + 1)}});
      for (uint32_t p = 0; p < 3; ++p) path = join({path, be32((k + p) << 22), be32((k * 3 + p) << 21)});
    }
  }
  // Versions 0 and 16, then a descriptor: the master switch on, a drop
  // shadow enabled.
  constexpr char kEffects[] =
      "\0\0\0\0"
      "\0\0\0\x10"
      "\0\0\0\0"
      "\0\0\0\0null"
      "\0\0\0\x02"
      "\0\0\0\x0emasterFXSwitch"
      "bool\x01"
      "\0\0\0\0DrSh"
      "Objc"
      "\0\0\0\0"
      "\0\0\0\0DrSh"
      "\0\0\0\x01"
      "\0\0\0\0enab"
      "bool\x01";
  const ByteVector effects(kEffects, kEffects + sizeof kEffects - 1);
  shown.layers[3].opacity = 128;
  shown.layers[3].channels.push_back(RawChannel(-2, Ramp(4, 60)));
  shown.layers[3].maskData = join({Rect(0, 0, 2, 2), {255, 0x10, 0x01, 90}});
  LayerRecipe clipped = Layer("Clipped", 5, 3, {-1, 0, 1, 2}, true);
  clipped.clipping = 1;
  clipped.afterName = join(
      {TaggedBlockBytes("vmsk", path), TaggedBlockBytes("iOpa", {77, 0, 0, 0}), TaggedBlockBytes("lfx2", effects)});
  shown.layers.insert(shown.layers.begin() + 3, {clipped, clipped});
  shown.layerCountField = 6;
  documents.emplace_back("shown.psd", shown);

  DocumentRecipe deep = basic;
  deep.depth = 16;
  deep.layers = {Layer("Sixteen", 3, 2, {0, 1, 2}, false)};
  for (auto& channel : deep.layers[0].channels) channel.stored = Ramp(12, 5);
  documents.emplace_back("sixteen.psd", deep);

  DocumentRecipe cmyk = basic;
  cmyk.mode = 4;
  cmyk.channels = 4;
  cmyk.layers = {Layer("Ink", 4, 3, {-1, 0, 1, 2, 3}, true)};
  documents.emplace_back("cmyk.psd", cmyk);

  DocumentRecipe colourful;
  colourful.rows = 24;
  colourful.columns = 32;
  colourful.layers = {PixelLayer({0, 0, 32, 24, true, true, 5, "Photo"})};
  documents.emplace_back("colourful.psd", colourful);

  // ZIP channels, plain and predicted, at every depth, in the tagged blocks
  // where 16- and 32-bit documents keep their layers.
  for (unsigned depth : {8u, 16u, 32u}) {
    DocumentRecipe zipped;
    zipped.depth = static_cast<uint16_t>(depth);
    zipped.rows = 4;
    zipped.columns = 6;
    zipped.layerInfoWhenEmpty = depth == 8;
    zipped.globalMask = ByteVector(14, 0);
    LayerRecipe layer;
    layer.name = "Zip";
    layer.right = 6;
    layer.bottom = 4;
    const size_t rowBytes = 6 * depth / 8;
    for (int16_t id : {-1, 0, 1, 2}) layer.channels.push_back(ZipChannel(id, Ramp(rowBytes * 4, id * 30), rowBytes, depth, id != 1));
    const ByteVector luni = UnicodeNameBlock(u"Zip \u00e9");
    layer.afterName = luni;
    if (depth == 8) {
      zipped.layers = {layer};
    } else {
      SectionBlockRecipe block;
      block.key = depth == 16 ? "Lr16" : "Lr32";
      block.holdsLayers = true;
      block.layers = {layer};
      zipped.sectionBlocks = {block};
    }
    zipped.sectionBlocks.push_back({"FMsk", ByteVector(12, 1), {}, false, "8BIM", std::nullopt});
    documents.emplace_back("zip-" + std::to_string(depth) + ".psd", zipped);
  }

  // Colour modes that go through conversions.
  for (const auto& [mode, depth] : {std::pair{9, 8}, std::pair{4, 16}, std::pair{1, 32}, std::pair{8, 16}}) {
    DocumentRecipe converted;
    converted.mode = static_cast<uint16_t>(mode);
    converted.depth = static_cast<uint16_t>(depth);
    converted.rows = 5;
    converted.columns = 7;
    LayerRecipe layer;
    layer.name = "Mode";
    layer.right = 7;
    layer.bottom = 5;
    const int colours = mode == 9 ? 3 : mode == 4 ? 4 : 1;
    const size_t size = 7 * 5 * static_cast<size_t>(depth / 8);
    for (int16_t id = -1; id < colours; ++id) layer.channels.push_back(RawChannel(id, Ramp(size, id * 50 + 9)));
    converted.layers = {layer};
    documents.emplace_back("mode-" + std::to_string(mode) + "-" + std::to_string(depth) + ".psd", converted);
  }

  // A large document: 8-byte lengths, 4-byte row counts.
  DocumentRecipe large = basic;
  large.version = 2;
  large.layers = {Layer("Background", 8, 6, {0, 1, 2}, false)};
  LayerRecipe packed;
  packed.name = "Packed";
  packed.right = 5;
  packed.bottom = 4;
  for (int16_t id : {-1, 0, 1, 2}) packed.channels.push_back(PackBitsChannel(id, Ramp(20, id * 40), 5, true));
  packed.afterName = TaggedBlockBytes("cinf", ByteVector(9, 3), true);
  large.layers.push_back(packed);
  large.sectionBlocks = {{"FMsk", ByteVector(12, 1), {}, false, "8BIM", std::nullopt}};
  documents.emplace_back("large.psb", large);

  // Flattened documents: the composite decoded, in the modes that have one
  // colour table or one bit per pixel.
  const std::pair<uint16_t, uint16_t> flattened[] = {{3, 8}, {2, 8}, {0, 1}, {1, 16}};
  for (const auto& [mode, depth] : flattened) {
    DocumentRecipe flat;
    flat.mode = mode;
    flat.depth = depth;
    flat.channels = mode == 3 ? 3 : 1;
    flat.rows = 5;
    flat.columns = 9;
    flat.layerSection = false;
    if (mode == 2) flat.colorModeData = Ramp(768, 0);
    const size_t planeBytes = (9 * depth + 7) / 8 * 5 * flat.channels;
    flat.compositeCompression = mode == 1 ? 3 : mode == 0 ? 1 : 0;
    const ByteVector planes = Ramp(planeBytes, 11);
    if (flat.compositeCompression == 0) {
      flat.compositeData = planes;
    } else if (flat.compositeCompression == 3) {
      flat.compositeData = Deflate(Predict(planes, (9 * depth + 7) / 8, depth));
    } else {
      flat.compositeData = PackBitsChannel(0, planes, (9 * depth + 7) / 8).stored;
    }
    documents.emplace_back("flat-" + std::to_string(mode) + ".psd", flat);
  }
  return documents;
}

void Write(const fs::path& path, const ByteVector& bytes) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) {
    std::perror(path.c_str());
    std::exit(1);
  }
  std::fwrite(bytes.data(), 1, bytes.size(), file);
  std::fclose(file);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
    return 2;
  }
  const fs::path folder = argv[1];
  for (const char* target : {"load_document", "rip", "packbits"}) fs::create_directories(folder / target);
  for (const auto& [name, doc] : Documents()) {
    const ByteVector bytes = BuildDocument(doc).bytes;
    Write(folder / "load_document" / name, bytes);
    Write(folder / "rip" / name, bytes);
  }
  // Packed rows: width, rows, depth, then the row table and the rows.
  for (auto [width, rows] : {std::pair{8, 3}, std::pair{130, 2}, std::pair{1, 4}}) {
    const ByteVector plane = Ramp(static_cast<size_t>(width * rows), width);
    const ChannelRecipe channel = PackBitsChannel(0, plane, static_cast<size_t>(width));
    ByteVector input = {static_cast<uint8_t>(width >> 8), static_cast<uint8_t>(width), static_cast<uint8_t>(rows), 0};
    input.insert(input.end(), channel.stored.begin(), channel.stored.end());
    Write(folder / "packbits" / ("rows-" + std::to_string(width) + "x" + std::to_string(rows)), input);
  }
  return 0;
}
