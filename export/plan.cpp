#include "export/plan.h"

#include <map>

#include "export/colour.h"
#include "export/extent.h"
#include "export/file_name.h"
#include "export/layer_groups.h"
#include "export/layer_look.h"
#include "export/layer_planes.h"
#include "export/output_format.h"
#include "psd/composite.h"
#include "psd/layer_record.h"

namespace peelbox {

const char* SkipReasonName(SkipReason reason) {
  switch (reason) {
    case SkipReason::kNone:
      return "";
    case SkipReason::kGroup:
      return "group";
    case SkipReason::kNoPixels:
      return "no pixels";
    case SkipReason::kEmpty:
      return "empty";
    case SkipReason::kUnsupportedChannels:
      return "unsupported channels";
    case SkipReason::kUnsupportedDocument:
      return "unsupported document";
    case SkipReason::kHidden:
      return "hidden";
    case SkipReason::kTransparent:
      return "transparent";
  }
  return "";
}

namespace {

LayerFacts FactsOf(const LayerRecord& record, const GroupPlace& place) {
  LayerFacts facts;
  facts.left = record.left;
  facts.top = record.top;
  facts.width = record.Bounds().Width();
  facts.height = record.Bounds().Height();
  facts.visible = record.Visible();
  facts.hiddenByGroup = place.hiddenByGroup;
  facts.opacity = record.opacity;
  facts.blendMode.assign(reinterpret_cast<const char*>(record.blendKey), sizeof record.blendKey);
  facts.groups = place.groups;
  facts.kind = LayerKind(record);
  facts.clipping = record.clipping != 0;
  facts.mask = MaskKind(record);
  facts.effects = HasEnabledEffects(record);
  return facts;
}

// As shown, a layer is shaped by its groups and its base too.
bool FeatherIgnored(const std::vector<std::unique_ptr<LayerRecord>>& records, size_t index, const GroupPlace& place) {
  bool feathered = HasFeatheredMask(*records[index]);
  for (size_t group : place.groupRecords) feathered |= HasFeatheredMask(*records[group]);
  if (place.clippingBase) feathered |= HasFeatheredMask(*records[*place.clippingBase]);
  return feathered;
}

// The first reason that applies, in this order.
SkipReason ReasonFor(const DocumentFormat& format, const std::vector<std::unique_ptr<LayerRecord>>& records,
                     size_t index, const GroupPlace& place, bool convertible, const ExportOptions& options) {
  const LayerRecord& layer = *records[index];
  if (layer.SectionType() != 0) return SkipReason::kGroup;  // even when a writer stored pixels in it
  if (!WritesLayers(format)) return SkipReason::kUnsupportedDocument;
  if (layer.Bounds().Width() <= 0 || layer.Bounds().Height() <= 0) {
    return IsAdjustmentOrFill(layer) ? SkipReason::kNoPixels : SkipReason::kEmpty;
  }
  if (!FindModeChannels(format, layer)) return SkipReason::kUnsupportedChannels;
  if (!convertible) return SkipReason::kUnsupportedDocument;
  if (options.visibleOnly && (!layer.Visible() || place.hiddenByGroup)) return SkipReason::kHidden;
  if (options.asShown && place.clippingBase && !records[*place.clippingBase]->Visible()) {
    return SkipReason::kTransparent;
  }
  return SkipReason::kNone;
}

// Gives every record that is written its folder, stem and files.
class Namer {
 public:
  explicit Namer(const ExportOptions& options) : options_(options), formats_(SelectedFormats(options)) {}

  void Name(PlannedRecord* planned, const GroupPlace& place) {
    planned->folder = options_.groupsAsFolders ? FolderOf(place) : std::string();
    planned->stem =
        stems_[FoldedCase(planned->folder)].Claim(MakeFileName(planned->name, planned->index.value_or(0) + 1));
    for (const OutputFormat* format : formats_)
      planned->files.push_back(planned->folder + planned->stem + format->extension);
  }

 private:
  // The folders of the record's groups, outermost first, each named by the
  // file-name rules; sibling groups of one name (ASCII case folded) share
  // one.
  std::string FolderOf(const GroupPlace& place) {
    std::string folder;
    for (size_t g = 0; g < place.groups.size(); ++g) {
      folder += MakeFileName(place.groups[g], place.groupRecords[g] + 1) + kPathSeparator;
      folder = folders_.try_emplace(FoldedCase(folder), folder).first->second;
    }
    return folder;
  }

  const ExportOptions& options_;
  std::vector<const OutputFormat*> formats_;
  // The stems given out in each folder (relative, ASCII case folded), and
  // each folder's spelling as first given.
  std::map<std::string, StemRegistry> stems_;
  std::map<std::string, std::string> folders_;
};

}  // namespace

std::vector<PlannedRecord> PlanLayers(const DocumentFormat& format,
                                      const std::vector<std::unique_ptr<LayerRecord>>& records, bool convertible,
                                      const ExportOptions& options) {
  const std::vector<GroupPlace> places = PlaceInGroups(records);
  Namer namer(options);
  std::vector<PlannedRecord> plan;
  const ImagePlace canvas{0, 0, format.columns, format.rows};
  for (size_t i = 0; i < records.size(); ++i) {
    const LayerRecord& layer = *records[i];
    PlannedRecord planned;
    planned.index = i;
    planned.name = layer.name;
    planned.facts = FactsOf(layer, places[i]);
    planned.groupRecords = places[i].groupRecords;
    planned.clippingBase = places[i].clippingBase;
    planned.facts.featherIgnored = options.asShown && FeatherIgnored(records, i, places[i]);
    planned.reason = ReasonFor(format, records, i, places[i], convertible, options);
    if (planned.reason == SkipReason::kNone) {
      namer.Name(&planned, places[i]);
      const ImagePlace own{layer.left, layer.top, planned.facts.width, planned.facts.height};
      planned.image = PlannedImage(own, canvas, options);
    }
    plan.push_back(std::move(planned));
  }
  return plan;
}

PlannedRecord PlanComposite(const DocumentFormat& format, const CompositeImage& composite, bool convertible,
                            const ExportOptions& options) {
  PlannedRecord planned;
  planned.name = "Background";
  planned.facts.width = format.columns;
  planned.facts.height = format.rows;
  if (!convertible) {
    planned.reason = SkipReason::kUnsupportedDocument;
  } else if (composite.planeCount == 0) {
    planned.reason = SkipReason::kEmpty;
  } else {
    Namer(options).Name(&planned, {});
    const ImagePlace canvas{0, 0, format.columns, format.rows};
    planned.image = PlannedImage(canvas, canvas, options);
  }
  return planned;
}

void SkipLate(PlannedRecord* planned, SkipReason reason) {
  planned->reason = reason;
  planned->files.clear();
  planned->image.reset();
}

}  // namespace peelbox
