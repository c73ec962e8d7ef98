// The plan stage: which records of a document give files, under which names,
// and why the others do not. Decided once, when the records are read and
// before any pixels are.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "export/export_options.h"
#include "export/file_name.h"
#include "export/image_place.h"
#include "export/name_template.h"

namespace peelbox {

class CompositeImage;
class LayerRecord;
struct DocumentFormat;
struct OutputFormat;

// Why a record gives no files.
enum class SkipReason {
  kNone,
  kGroup,                // it opens or closes a group: a folder, not a layer
  kNoPixels,             // an adjustment or fill layer of zero size
  kEmpty,                // any other record of zero width or height
  kUnsupportedChannels,  // its channels do not fit the colour mode
  kUnsupportedDocument,  // the document's colour mode and depth have no rule
  kNotSelected,          // not among the records chosen by hand
  kFiltered,             // left out by the layer filters, whether hidden or not
  kHidden,               // hidden, or inside a hidden group, and only visible layers are wanted
  kTransparent,          // nothing of it shows: trimmed to nothing, or clipped to a hidden base as shown
  kTooLarge,             // one format alone: the image is larger than that format can hold
};

// "group", "no pixels", "empty", "unsupported channels", "unsupported
// document", "not selected", "filtered", "hidden", "transparent", "too large".
const char* SkipReasonName(SkipReason reason);
// The name, and for kTooLarge the format: "too large for WebP".
std::string SkipReasonText(SkipReason reason, const OutputFormat* format);

// A layer's place on the canvas and in the layer panel, for scripts that put
// the pieces back together.
struct LayerFacts {
  int32_t left = 0;
  int32_t top = 0;
  int64_t width = 0;
  int64_t height = 0;
  bool visible = true;
  bool hiddenByGroup = false;
  uint8_t opacity = 255;
  std::string blendMode = "norm";   // the four-character key
  std::vector<std::string> groups;  // outermost first
  std::string kind = "pixels";      // see LayerKind
  bool clipping = false;            // clipped to the layer below, as the record says
  std::string mask = "none";        // see MaskKind
  bool effects = false;             // layer effects switched on, which Peelbox does not draw
  bool featherIgnored = false;      // as shown, a mask that shapes it is feathered: not drawn
};

// What becomes of one record of the document's layers (or of the composite):
// the files it gets, relative to the output folder, or why none.
struct PlannedRecord {
  std::optional<size_t> index;
  std::string name;
  LayerFacts facts;
  std::vector<std::string> files;             // folder + stem + each selected format's extension
  std::vector<const OutputFormat*> formats;   // each file's
  std::vector<const OutputFormat*> tooLarge;  // selected formats the image is too large for: no file
  SkipReason reason = SkipReason::kNone;
  std::string folder;  // relative, ending in a separator; empty for the output folder itself
  std::string stem;
  // Where the written image lies: known here for the layer and canvas
  // extents, after its alpha for trim.
  std::optional<ImagePlace> image;
  std::vector<size_t> groupRecords;    // the records of facts.groups, outermost first
  std::optional<size_t> clippingBase;  // the layer it is clipped to
  size_t number = 0;                   // {n}: 1 for the top-most record that gets files, 0 for none
};

// Gives planned records their folder, stem and files by the options' name
// template. Stems are claimed in the order the records are named, in each
// folder on its own; folders whose names differ only in the case of ASCII
// letters are one, spelled as first given. The plan names every record as
// it is planned, bottom-most first; when the names hold the place of a
// trimmed image, known only once a layer is encoded, the job that keeps the
// namer names each layer then, in the same order.
class LayerNamer {
 public:
  // The namer, or none and in *error why the template cannot be used.
  // `document`: the document's file name without its extension.
  static std::unique_ptr<LayerNamer> Create(const ExportOptions& options, std::string document, std::string* error);

  void Name(PlannedRecord* planned, const ImagePlace& place);
  // Whether the names wait for the layers' pixels.
  bool NamesAfterPixels() const { return afterPixels_; }

 private:
  LayerNamer(NameTemplate nameTemplate, std::string document, const ExportOptions& options);

  NameTemplate template_;
  bool afterPixels_ = false;
  std::string document_;
  std::vector<const OutputFormat*> formats_;
  // The stems given out in each folder (relative, ASCII case folded), and
  // each folder's spelling as first given.
  std::map<std::string, StemRegistry> stems_;
  std::map<std::string, std::string> folders_;
};

// Every record in file order, named bottom-most first, so the lower of two
// layers of one name keeps it. `convertible`: whether the document's colours
// have a conversion.
std::vector<PlannedRecord> PlanLayers(const DocumentFormat& format,
                                      const std::vector<std::unique_ptr<LayerRecord>>& records, bool convertible,
                                      const ExportOptions& options, LayerNamer* namer);
// A document without layer records: its merged image as one opaque layer
// named "Background".
PlannedRecord PlanComposite(const DocumentFormat& format, const CompositeImage& composite, bool convertible,
                            const ExportOptions& options, LayerNamer* namer);

// Leaves out the files of the formats that cannot hold the planned image.
void LeaveOutTooLarge(PlannedRecord* planned);

// A record found after all to give no files, once its pixels were read: its
// stem stays claimed, so that the names of the others do not move.
void SkipLate(PlannedRecord* planned, SkipReason reason);

}  // namespace peelbox
