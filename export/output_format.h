// The formats a layer can be written in. Each is a name, an extension, what
// it accepts, and the function that encodes a raster into its bytes; the job
// walks the selected ones in the registry's order. A new format is a file of
// its own and a line in the registry.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "export/export_options.h"
#include "export/output_buffer.h"
#include "export/profile.h"
#include "export/raster.h"
#include "psd/stop_token.h"

namespace peelbox {

// What an encoder is given besides the pixels.
struct EncodeSettings {
  ExportOptions options;
  StopToken stop;
  ColourTags tags{};  // the document's, once it is read
};

struct OutputFormat {
  // What the encoder takes: samples of 8 or 16 bits, grey or RGB, with or
  // without transparency, up to this many pixels along either side.
  struct Accepts {
    bool sixteenBit = true;
    int64_t largestSide = 0;
  };

  const char* name;       // as the options name it: "png"
  const char* extension;  // with its dot: ".png"
  const char* title;      // as users know it: "PNG"
  Accepts accepts;

  // Whether an image of this size can be written in the format.
  bool Fits(int64_t width, int64_t height) const {
    return width <= accepts.largestSide && height <= accepts.largestSide;
  }
  // kExportOk, a failure code, or kStopped.
  int32_t (*encode)(const Raster& raster, const EncodeSettings& settings, OutputBuffer* out);
};

// Every format, in the order a layer's files are written.
std::span<const OutputFormat* const> OutputFormats();
// The format of this name, or none.
const OutputFormat* FindOutputFormat(std::string_view name);
// The formats the options select, in registry order; unknown names are left
// out.
std::vector<const OutputFormat*> SelectedFormats(const ExportOptions& options);
// "png, gif, ...": every name, for messages that list them.
std::string OutputFormatNames();

}  // namespace peelbox
