#include "export/plan.h"

#include "export/colour.h"
#include "export/extent.h"
#include "export/layer_filter.h"
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
    case SkipReason::kNotSelected:
      return "not selected";
    case SkipReason::kFiltered:
      return "filtered";
    case SkipReason::kHidden:
      return "hidden";
    case SkipReason::kTransparent:
      return "transparent";
    case SkipReason::kTooLarge:
      return "too large";
  }
  return "";
}

std::string SkipReasonText(SkipReason reason, const OutputFormat* format) {
  std::string text = SkipReasonName(reason);
  if (reason == SkipReason::kTooLarge && format != nullptr) text += std::string(" for ") + format->title;
  return text;
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
                     size_t index, const GroupPlace& place, bool convertible, const ExportOptions& options,
                     const LayerFilter& filter) {
  const LayerRecord& layer = *records[index];
  if (layer.SectionType() != 0) return SkipReason::kGroup;  // even when a writer stored pixels in it
  if (!WritesLayers(format)) return SkipReason::kUnsupportedDocument;
  if (layer.Bounds().Width() <= 0 || layer.Bounds().Height() <= 0) {
    return IsAdjustmentOrFill(layer) ? SkipReason::kNoPixels : SkipReason::kEmpty;
  }
  if (!FindModeChannels(format, layer)) return SkipReason::kUnsupportedChannels;
  if (!convertible) return SkipReason::kUnsupportedDocument;
  if (!options.Selected(index)) return SkipReason::kNotSelected;
  if (!filter.Wants(layer.name, place.groups)) return SkipReason::kFiltered;
  if (options.visibleOnly && (!layer.Visible() || place.hiddenByGroup)) return SkipReason::kHidden;
  if (options.asShown && place.clippingBase && !records[*place.clippingBase]->Visible()) {
    return SkipReason::kTransparent;
  }
  return SkipReason::kNone;
}

// {n} counts the records that get files, top-most first; they are named
// bottom-most first, here or, when the names wait for the pixels, by the job.
void NameAll(std::vector<PlannedRecord>* plan, LayerNamer* namer) {
  size_t number = 0;
  for (auto planned = plan->rbegin(); planned != plan->rend(); ++planned) {
    if (planned->reason == SkipReason::kNone) planned->number = ++number;
  }
  if (namer->NamesAfterPixels()) return;
  for (PlannedRecord& planned : *plan) {
    if (planned.reason != SkipReason::kNone) continue;
    namer->Name(&planned, planned.image.value_or(ImagePlace{}));
    LeaveOutTooLarge(&planned);
  }
}

}  // namespace

std::unique_ptr<LayerNamer> LayerNamer::Create(const ExportOptions& options, std::string document, std::string* error) {
  // --groups-as-folders is short for "{path}/{name}", and keeps any other
  // template inside the folders; what is wrong is said of the user's own.
  std::optional<NameTemplate> parsed = NameTemplate::Parse(options.nameTemplate, error);
  if (parsed && options.groupsAsFolders) parsed = NameTemplate::Parse("{path}/" + options.nameTemplate, error);
  if (!parsed) return nullptr;
  return std::unique_ptr<LayerNamer>(new LayerNamer(std::move(*parsed), std::move(document), options));
}

LayerNamer::LayerNamer(NameTemplate nameTemplate, std::string document, const ExportOptions& options)
    : template_(std::move(nameTemplate)),
      afterPixels_(options.extent == Extent::kTrim && template_.UsesPlace()),
      document_(std::move(document)),
      formats_(SelectedFormats(options)) {}

void LayerNamer::Name(PlannedRecord* planned, const ImagePlace& place) {
  const std::vector<std::string> components =
      template_.Render({planned->name, document_, planned->index, planned->number, planned->facts.groups,
                        planned->groupRecords, place, planned->facts.blendMode});
  std::string folder;
  for (size_t c = 0; c + 1 < components.size(); ++c) {
    folder += components[c] + kPathSeparator;
    folder = folders_.try_emplace(FoldedCase(folder), folder).first->second;
  }
  planned->folder = folder;
  planned->stem = stems_[FoldedCase(folder)].Claim(components.back());
  planned->files.clear();
  planned->formats = formats_;
  planned->tooLarge.clear();
  for (const OutputFormat* format : formats_) planned->files.push_back(folder + planned->stem + format->extension);
}

void LeaveOutTooLarge(PlannedRecord* planned) {
  if (!planned->image) return;
  for (size_t f = planned->formats.size(); f-- > 0;) {
    const OutputFormat* format = planned->formats[f];
    if (format->Fits(planned->image->width, planned->image->height)) continue;
    planned->tooLarge.insert(planned->tooLarge.begin(), format);
    planned->formats.erase(planned->formats.begin() + static_cast<std::ptrdiff_t>(f));
    planned->files.erase(planned->files.begin() + static_cast<std::ptrdiff_t>(f));
  }
}

std::vector<PlannedRecord> PlanLayers(const DocumentFormat& format,
                                      const std::vector<std::unique_ptr<LayerRecord>>& records, bool convertible,
                                      const ExportOptions& options, LayerNamer* namer) {
  const std::vector<GroupPlace> places = PlaceInGroups(records);
  const LayerFilter filter(options);
  const ImagePlace canvas{0, 0, format.columns, format.rows};
  std::vector<PlannedRecord> plan;
  for (size_t i = 0; i < records.size(); ++i) {
    const LayerRecord& layer = *records[i];
    PlannedRecord planned;
    planned.index = i;
    planned.name = layer.name;
    planned.facts = FactsOf(layer, places[i]);
    planned.groupRecords = places[i].groupRecords;
    planned.clippingBase = places[i].clippingBase;
    planned.facts.featherIgnored = options.asShown && FeatherIgnored(records, i, places[i]);
    planned.reason = ReasonFor(format, records, i, places[i], convertible, options, filter);
    if (planned.reason == SkipReason::kNone) {
      const ImagePlace own{layer.left, layer.top, planned.facts.width, planned.facts.height};
      planned.image = PlannedImage(own, canvas, options);
    }
    plan.push_back(std::move(planned));
  }
  NameAll(&plan, namer);
  return plan;
}

PlannedRecord PlanComposite(const DocumentFormat& format, const CompositeImage& composite, bool convertible,
                            const ExportOptions& options, LayerNamer* namer) {
  std::vector<PlannedRecord> plan(1);
  PlannedRecord& planned = plan[0];
  planned.name = "Background";
  planned.facts.width = format.columns;
  planned.facts.height = format.rows;
  if (!convertible) {
    planned.reason = SkipReason::kUnsupportedDocument;
  } else if (composite.planeCount == 0) {
    planned.reason = SkipReason::kEmpty;
  } else if (!LayerFilter(options).Wants(planned.name, {})) {
    planned.reason = SkipReason::kFiltered;
  } else {
    const ImagePlace canvas{0, 0, format.columns, format.rows};
    planned.image = PlannedImage(canvas, canvas, options);
  }
  NameAll(&plan, namer);
  return plan[0];
}

void SkipLate(PlannedRecord* planned, SkipReason reason) {
  planned->reason = reason;
  planned->files.clear();
  planned->formats.clear();
  planned->tooLarge.clear();
  planned->image.reset();
}

}  // namespace peelbox
