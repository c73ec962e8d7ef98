#include "export/plan.h"

#include <map>

#include "export/colour.h"
#include "export/file_name.h"
#include "export/layer_groups.h"
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
  return facts;
}

// The first reason that applies, in this order.
SkipReason ReasonFor(const DocumentFormat& format, const LayerRecord& layer, const GroupPlace& place, bool convertible,
                     const ExportOptions& options) {
  if (layer.SectionType() != 0) return SkipReason::kGroup;  // even when a writer stored pixels in it
  if (!WritesLayers(format)) return SkipReason::kUnsupportedDocument;
  if (layer.Bounds().Width() <= 0 || layer.Bounds().Height() <= 0) {
    return IsAdjustmentOrFill(layer) ? SkipReason::kNoPixels : SkipReason::kEmpty;
  }
  if (!FindModeChannels(format, layer)) return SkipReason::kUnsupportedChannels;
  if (!convertible) return SkipReason::kUnsupportedDocument;
  if (options.visibleOnly && (!layer.Visible() || place.hiddenByGroup)) return SkipReason::kHidden;
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
  for (size_t i = 0; i < records.size(); ++i) {
    const LayerRecord& layer = *records[i];
    PlannedRecord planned{i, layer.name, FactsOf(layer, places[i]), {}, SkipReason::kNone, {}, {}};
    planned.reason = ReasonFor(format, layer, places[i], convertible, options);
    if (planned.reason == SkipReason::kNone) namer.Name(&planned, places[i]);
    plan.push_back(std::move(planned));
  }
  return plan;
}

PlannedRecord PlanComposite(const DocumentFormat& format, const CompositeImage& composite, bool convertible,
                            const ExportOptions& options) {
  PlannedRecord planned{std::nullopt, "Background", {}, {}, SkipReason::kNone, {}, {}};
  planned.facts.width = format.columns;
  planned.facts.height = format.rows;
  if (!convertible) {
    planned.reason = SkipReason::kUnsupportedDocument;
  } else if (composite.planeCount == 0) {
    planned.reason = SkipReason::kEmpty;
  } else {
    Namer(options).Name(&planned, {});
  }
  return planned;
}

void SkipLate(PlannedRecord* planned, SkipReason reason) {
  planned->reason = reason;
  planned->files.clear();
}

}  // namespace peelbox
