#include "tests/support/psd_builder.h"

#include <zlib.h>

#include <algorithm>
#include <cmath>

namespace psdbuild {

namespace {

constexpr int kGrainLevels = 5;

class Writer {
 public:
  explicit Writer(BuiltDocument* document) : out_(document->bytes), offsets_(document->offsets) {}

  void U8(uint8_t value) { out_.push_back(value); }
  void U16(uint16_t value) {
    U8(static_cast<uint8_t>(value >> 8));
    U8(static_cast<uint8_t>(value));
  }
  void U32(uint32_t value) {
    U16(static_cast<uint16_t>(value >> 16));
    U16(static_cast<uint16_t>(value));
  }
  void U64(uint64_t value) {
    U32(static_cast<uint32_t>(value >> 32));
    U32(static_cast<uint32_t>(value));
  }
  void Length(uint64_t value, bool wide) {
    if (wide) {
      U64(value);
    } else {
      U32(static_cast<uint32_t>(value));
    }
  }
  void Bytes(const ByteVector& bytes) { out_.insert(out_.end(), bytes.begin(), bytes.end()); }
  void Text(const std::string& text) { out_.insert(out_.end(), text.begin(), text.end()); }
  void Mark(const std::string& field) { offsets_[field] = out_.size(); }
  void Patch(size_t at, const ByteVector& bytes) { std::copy(bytes.begin(), bytes.end(), out_.begin() + static_cast<long>(at)); }
  size_t Size() const { return out_.size(); }
  void PadToEven() {
    if (out_.size() % 2 != 0) U8(0);
  }
  // Writes a length (4 bytes, or 8 when `wide`) now and fills it in when
  // `CloseLength` is called.
  struct OpenField {
    size_t at;
    size_t width;
  };
  OpenField OpenLength(bool wide = false) {
    const OpenField field{out_.size(), wide ? 8u : 4u};
    Length(0, wide);
    return field;
  }
  void CloseLength(OpenField field) {
    const uint64_t length = out_.size() - field.at - field.width;
    for (size_t i = 0; i < field.width; ++i) {
      out_[field.at + i] = static_cast<uint8_t>(length >> (8 * (field.width - 1 - i)));
    }
  }

 private:
  ByteVector& out_;
  std::map<std::string, size_t>& offsets_;
};

void WriteResource(Writer& w, const ResourceRecipe& resource, size_t index) {
  const std::string key = "resource" + std::to_string(index);
  w.Mark(key);
  w.Text(resource.signature);
  w.U16(resource.id);
  w.U8(static_cast<uint8_t>(resource.name.size()));
  w.Text(resource.name);
  if (resource.name.size() % 2 == 0) w.U8(0);
  w.Mark(key + ".body");
  w.U32(static_cast<uint32_t>(resource.body.size()));
  w.Bytes(resource.body);
  w.PadToEven();
}

ByteVector ExtraData(const LayerRecipe& layer) {
  if (layer.extraData) return *layer.extraData;
  BuiltDocument scratch;
  Writer w(&scratch);
  w.U32(static_cast<uint32_t>(layer.maskData.size()));
  w.Bytes(layer.maskData);
  w.U32(static_cast<uint32_t>(layer.blendingRanges.size()));
  w.Bytes(layer.blendingRanges);
  w.U8(static_cast<uint8_t>(layer.name.size()));
  w.Text(layer.name);
  for (size_t n = 1 + layer.name.size(); n % 4 != 0; ++n) w.U8(0);
  w.Bytes(layer.afterName);
  return scratch.bytes;
}

void WriteRecord(Writer& w, const LayerRecipe& layer, const std::string& key, bool large) {
  w.Mark(key);
  w.U32(static_cast<uint32_t>(layer.top));
  w.U32(static_cast<uint32_t>(layer.left));
  w.U32(static_cast<uint32_t>(layer.bottom));
  w.U32(static_cast<uint32_t>(layer.right));
  w.U16(layer.channelCountField.value_or(static_cast<uint16_t>(layer.channels.size())));
  w.Mark(key + ".channels");
  for (const ChannelRecipe& channel : layer.channels) {
    w.U16(static_cast<uint16_t>(channel.id));
    w.Length(channel.lengthField.value_or(2 + channel.stored.size()), large);
  }
  w.Mark(key + ".blend");
  w.Text(layer.blendSignature);
  w.Text(layer.blendKey);
  w.U8(layer.opacity);
  w.U8(layer.clipping);
  w.U8(layer.flags);
  w.U8(layer.filler);
  w.Mark(key + ".extraData");
  const ByteVector extra = ExtraData(layer);
  w.U32(static_cast<uint32_t>(extra.size()));
  w.Bytes(extra);
  w.PadToEven();
}

// The count, the records and the channel data of a layer info; `prefix`
// names the offsets of a tagged block's layers apart from the main ones.
void WriteLayerInfoContents(Writer& w, const std::vector<LayerRecipe>& layers, std::optional<int16_t> countField,
                            const std::string& prefix, bool large) {
  w.Mark(prefix + "layerCount");
  w.U16(static_cast<uint16_t>(countField.value_or(static_cast<int16_t>(layers.size()))));
  for (size_t i = 0; i < layers.size(); ++i) WriteRecord(w, layers[i], prefix + "layer" + std::to_string(i), large);
  for (size_t i = 0; i < layers.size(); ++i) {
    for (size_t c = 0; c < layers[i].channels.size(); ++c) {
      const ChannelRecipe& channel = layers[i].channels[c];
      w.Mark(prefix + "pixels" + std::to_string(i) + "." + std::to_string(c));
      w.U16(channel.compression);
      w.Bytes(channel.stored);
    }
  }
}

bool LongLengthKey(const std::string& key) {
  for (const char* known : {"LMsk", "Lr16", "Lr32", "Layr", "Mt16", "Mt32", "Mtrn", "Alph", "FMsk", "lnk2", "lnk3",
                            "lnkE", "FXid", "FEid", "FELS", "PxSD", "pths", "extd", "extn", "cinf", "artd"}) {
    if (key == known) return true;
  }
  return false;
}

void WriteSectionBlock(Writer& w, const SectionBlockRecipe& block, size_t index, bool large) {
  const std::string prefix = "block" + std::to_string(index);
  w.Mark(prefix);
  w.Text(block.signature);
  w.Text(block.key);
  const bool wide = large && LongLengthKey(block.key);
  const Writer::OpenField length = w.OpenLength(wide);
  w.Mark(prefix + ".data");
  const size_t start = w.Size();
  if (block.holdsLayers) {
    WriteLayerInfoContents(w, block.layers, std::nullopt, prefix + ".", large);
  } else {
    w.Bytes(block.data);
  }
  const size_t written = w.Size() - start;
  w.CloseLength(length);
  if (block.lengthField) {
    BuiltDocument scratch;
    Writer field(&scratch);
    field.Length(*block.lengthField, wide);
    w.Patch(length.at, scratch.bytes);
  }
  for (size_t n = written; n % 4 != 0; ++n) w.U8(0);
}

}  // namespace

ByteVector Predict(const ByteVector& plane, size_t rowBytes, unsigned depth) {
  ByteVector out = plane;
  const size_t rows = rowBytes == 0 ? 0 : plane.size() / rowBytes;
  for (size_t r = 0; r < rows; ++r) {
    uint8_t* row = out.data() + r * rowBytes;
    if (depth == 16) {
      for (size_t i = rowBytes - rowBytes % 2; i >= 4; i -= 2) {
        const unsigned value = (row[i - 2] << 8 | row[i - 1]) - (row[i - 4] << 8 | row[i - 3]);
        row[i - 2] = static_cast<uint8_t>(value >> 8);
        row[i - 1] = static_cast<uint8_t>(value);
      }
      continue;
    }
    if (depth == 32) {
      const size_t width = rowBytes / 4;
      ByteVector reordered(rowBytes);
      for (size_t x = 0; x < width; ++x) {
        for (size_t b = 0; b < 4; ++b) reordered[b * width + x] = row[4 * x + b];
      }
      std::copy(reordered.begin(), reordered.end(), row);
    }
    for (size_t i = rowBytes; i-- > 1;) row[i] = static_cast<uint8_t>(row[i] - row[i - 1]);
  }
  return out;
}

ByteVector Deflate(const ByteVector& bytes) {
  uLongf size = compressBound(static_cast<uLong>(bytes.size()));
  ByteVector out(size);
  compress(out.data(), &size, bytes.data(), static_cast<uLong>(bytes.size()));
  out.resize(size);
  return out;
}

ChannelRecipe ZipChannel(int16_t id, const ByteVector& plane, size_t rowBytes, unsigned depth, bool predicted) {
  return ChannelRecipe{id, static_cast<uint16_t>(predicted ? 3 : 2),
                     Deflate(predicted ? Predict(plane, rowBytes, depth) : plane), std::nullopt};
}

ByteVector TaggedBlockBytes(const std::string& key, const ByteVector& data, bool longLength,
                            const std::string& signature) {
  BuiltDocument scratch;
  Writer w(&scratch);
  w.Text(signature);
  w.Text(key);
  w.Length(data.size(), longLength);
  w.Bytes(data);
  return scratch.bytes;
}

ByteVector UnicodeNameBlock(const std::u16string& name) {
  BuiltDocument scratch;
  Writer w(&scratch);
  w.U32(static_cast<uint32_t>(name.size()));
  for (char16_t unit : name) w.U16(static_cast<uint16_t>(unit));
  return TaggedBlockBytes("luni", scratch.bytes);
}

ByteVector EncodePackBits(const uint8_t* row, size_t size) {
  ByteVector out;
  size_t i = 0;
  while (i < size) {
    size_t run = 1;
    while (i + run < size && run < 128 && row[i + run] == row[i]) ++run;
    if (run >= 3) {
      out.push_back(static_cast<uint8_t>(1 - static_cast<int>(run)));
      out.push_back(row[i]);
      i += run;
      continue;
    }
    // A literal up to the next run of three or 128 bytes.
    size_t literal = 0;
    while (i + literal < size && literal < 128) {
      const size_t j = i + literal;
      if (j + 2 < size && row[j] == row[j + 1] && row[j] == row[j + 2]) break;
      ++literal;
    }
    out.push_back(static_cast<uint8_t>(literal - 1));
    out.insert(out.end(), row + i, row + i + literal);
    i += literal;
  }
  return out;
}

ChannelRecipe RawChannel(int16_t id, ByteVector plane) { return ChannelRecipe{id, 0, std::move(plane), std::nullopt}; }

ChannelRecipe PackBitsChannel(int16_t id, const ByteVector& plane, size_t rowBytes, bool large) {
  ChannelRecipe channel{id, 1, {}, std::nullopt};
  const size_t rows = rowBytes == 0 ? 0 : plane.size() / rowBytes;
  std::vector<ByteVector> packed;
  for (size_t r = 0; r < rows; ++r) packed.push_back(EncodePackBits(plane.data() + r * rowBytes, rowBytes));
  for (const ByteVector& row : packed) {
    for (int shift = large ? 24 : 8; shift >= 0; shift -= 8) channel.stored.push_back(static_cast<uint8_t>(row.size() >> shift));
  }
  for (const ByteVector& row : packed) channel.stored.insert(channel.stored.end(), row.begin(), row.end());
  return channel;
}

BuiltDocument BuildDocument(const DocumentRecipe& doc) {
  BuiltDocument document;
  Writer w(&document);
  w.Mark("header");
  w.Text(doc.signature);
  w.U16(doc.version);
  for (int i = 0; i < 6; ++i) w.U8(0);
  w.U16(doc.channels);
  w.U32(static_cast<uint32_t>(doc.rows));
  w.U32(static_cast<uint32_t>(doc.columns));
  w.U16(doc.depth);
  w.U16(doc.mode);

  w.Mark("colorModeData");
  w.U32(static_cast<uint32_t>(doc.colorModeData.size()));
  w.Bytes(doc.colorModeData);

  w.Mark("imageResources");
  const Writer::OpenField resourcesLength = w.OpenLength();
  for (size_t i = 0; i < doc.resources.size(); ++i) WriteResource(w, doc.resources[i], i);
  w.CloseLength(resourcesLength);

  const bool large = doc.version == 2;
  w.Mark("layerSection");
  const Writer::OpenField sectionLength = w.OpenLength(large);
  if (doc.layerSection) {
    w.Mark("layerInfo");
    const Writer::OpenField infoLength = w.OpenLength(large);
    const size_t infoStart = w.Size();
    if (!doc.layers.empty() || doc.layerInfoWhenEmpty || doc.layerCountField) {
      WriteLayerInfoContents(w, doc.layers, doc.layerCountField, "", large);
    }
    while ((w.Size() - infoStart) % doc.layerInfoAlignment != 0) w.U8(0);
    w.CloseLength(infoLength);
    if (doc.globalMask) {
      w.Mark("globalMask");
      w.U32(static_cast<uint32_t>(doc.globalMask->size()));
      w.Bytes(*doc.globalMask);
    }
    for (size_t b = 0; b < doc.sectionBlocks.size(); ++b) WriteSectionBlock(w, doc.sectionBlocks[b], b, large);
    // Without a global mask or blocks the section is the layer info and its
    // length field: section length - layer info length == 4.
    w.CloseLength(sectionLength);
  }

  w.Mark("composite");
  w.U16(doc.compositeCompression);
  w.Bytes(doc.compositeData);
  return document;
}

std::vector<ByteVector> PixelLayerPlanes(const PixelLayerOptions& options) {
  const size_t width = static_cast<size_t>(std::max(options.width, 0));
  const size_t height = static_cast<size_t>(std::max(options.height, 0));
  std::vector<ByteVector> planes(options.alpha ? 4 : 3, ByteVector(width * height));
  // Grain as a camera leaves it: mostly in the brightness, so the same for
  // the three colour channels of a pixel.
  std::vector<int8_t> grain(width * height);
  uint32_t noise = options.seed * 2654435761u + 12345u;
  for (int8_t& g : grain) {
    noise = noise * 1103515245u + 12345u;
    g = static_cast<int8_t>(static_cast<int>((noise >> 16) % kGrainLevels) - kGrainLevels / 2);
  }
  const double cx = width * (0.3 + 0.1 * (options.seed % 5)), cy = height * 0.5;
  const double radius = std::max<double>(1.0, std::min(width, height) * 0.35);
  for (size_t c = 0; c < 3; ++c) {
    // Smooth gradients from per-row and per-column tables, a hard-edged disc
    // and the grain: compresses roughly like a photograph.
    std::vector<int> columns(width), rows(height);
    const double phase = options.seed * 0.7 + c * 1.3;
    for (size_t x = 0; x < width; ++x) columns[x] = static_cast<int>(60 * std::sin(x * 0.013 + phase));
    for (size_t y = 0; y < height; ++y) rows[y] = static_cast<int>(50 * std::cos(y * 0.011 + phase * 0.5));
    ByteVector& plane = planes[c];
    for (size_t y = 0; y < height; ++y) {
      const double dy = (y - cy) * (y - cy);
      for (size_t x = 0; x < width; ++x) {
        const bool inside = (x - cx) * (x - cx) + dy < radius * radius;
        const int value = 128 + columns[x] + rows[y] + (inside ? 40 - 30 * static_cast<int>(c) : 0) + grain[y * width + x];
        plane[y * width + x] = static_cast<uint8_t>(std::clamp(value, 0, 255));
      }
    }
  }
  if (options.alpha) {
    // Opaque in the middle, soft towards the edges, transparent corners.
    ByteVector& alpha = planes[3];
    const double ax = width / 2.0, ay = height / 2.0;
    for (size_t y = 0; y < height; ++y) {
      for (size_t x = 0; x < width; ++x) {
        const double nx = (x + 0.5 - ax) / ax, ny = (y + 0.5 - ay) / ay;
        const double d = std::sqrt(nx * nx + ny * ny);
        const double a = d < 0.8 ? 255.0 : d > 1.0 ? 0.0 : 255.0 * (1.0 - d) / 0.2;
        alpha[y * width + x] = static_cast<uint8_t>(a);
      }
    }
  }
  return planes;
}

namespace {

// 8-bit samples as 16-bit ones: the high byte, and a low byte that varies.
ByteVector Widened(const ByteVector& plane, uint32_t seed) {
  ByteVector wide;
  wide.reserve(plane.size() * 2);
  uint32_t noise = seed * 2246822519u + 7u;
  for (uint8_t v : plane) {
    noise = noise * 1664525u + 1013904223u;
    wide.push_back(v);
    wide.push_back(static_cast<uint8_t>(noise >> 24));
  }
  return wide;
}

}  // namespace

LayerRecipe PixelLayer(const PixelLayerOptions& options) {
  LayerRecipe layer;
  layer.top = options.top;
  layer.left = options.left;
  layer.bottom = options.top + options.height;
  layer.right = options.left + options.width;
  layer.name = options.name;
  std::vector<ByteVector> planes = PixelLayerPlanes(options);
  std::vector<int16_t> ids = {0, 1, 2};
  if (options.cmyk) {
    ByteVector black(planes[0].size());
    for (size_t i = 0; i < black.size(); ++i) black[i] = static_cast<uint8_t>(255 - planes[0][i] / 5);
    planes.insert(planes.begin() + 3, black);
    ids.push_back(3);
  }
  if (options.alpha) ids.push_back(-1);
  const size_t rowBytes = static_cast<size_t>(options.width) * (options.depth / 8);
  // Photoshop stores the transparency channel first.
  std::vector<size_t> order;
  if (options.alpha) order.push_back(ids.size() - 1);
  for (size_t i = 0; i + (options.alpha ? 1 : 0) < ids.size(); ++i) order.push_back(i);
  for (size_t index : order) {
    const ByteVector plane = options.depth == 16 ? Widened(planes[index], options.seed + index) : planes[index];
    layer.channels.push_back(options.packBits ? PackBitsChannel(ids[index], plane, rowBytes) : RawChannel(ids[index], plane));
  }
  return layer;
}

}  // namespace psdbuild
