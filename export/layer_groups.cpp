#include "export/layer_groups.h"

#include <algorithm>
#include <utility>

#include "psd/layer_record.h"

namespace peelbox {

namespace {

constexpr uint32_t kGroupEnd = 3;

constexpr const char* kAdjustmentAndFillKeys[] = {"SoCo", "GdFl", "PtFl", "brit", "levl", "curv", "expA",
                                                  "vibA", "hue2", "hue ", "blnc", "blwh", "phfl", "mixr",
                                                  "clrL", "nvrt", "post", "thrs", "grdm", "selc"};

struct Group {
  size_t divider;
  size_t record;
};

// Every group as the indexes of its divider and its record, the outermost
// first of those that nest.
std::vector<Group> FindGroups(const std::vector<std::unique_ptr<LayerRecord>>& records) {
  std::vector<Group> groups;
  std::vector<size_t> open;
  for (size_t i = 0; i < records.size(); ++i) {
    const uint32_t type = records[i]->SectionType();
    if (type == kGroupEnd) {
      open.push_back(i);
    } else if (type != 0 && !open.empty()) {
      groups.push_back({open.back(), i});
      open.pop_back();
    }
  }
  std::sort(groups.begin(), groups.end(), [](const Group& a, const Group& b) { return a.divider < b.divider; });
  return groups;
}

// For each record, the base a clipped record there would have: the walk
// down past the clipped records below it, each computed from the ones
// below (a clipped group is passed over with its contents).
std::vector<std::optional<size_t>> BasesBelow(const std::vector<std::unique_ptr<LayerRecord>>& records,
                                              const std::vector<size_t>& dividerOf) {
  std::vector<std::optional<size_t>> base(records.size());
  for (size_t k = 1; k < records.size(); ++k) {
    const size_t j = k - 1;
    const uint32_t type = records[j]->SectionType();
    const bool group = type != 0 && type != kGroupEnd;
    if (type == kGroupEnd) {
      base[k] = std::nullopt;  // the bottom of its own group
    } else if (records[j]->clipping == 0) {
      base[k] = group ? std::nullopt : std::optional<size_t>(j);
    } else if (group) {
      base[k] = dividerOf[j] != j ? base[dividerOf[j]] : std::nullopt;  // none past a damaged group
    } else {
      base[k] = base[j];
    }
  }
  return base;
}

}  // namespace

std::vector<GroupPlace> PlaceInGroups(const std::vector<std::unique_ptr<LayerRecord>>& records) {
  const std::vector<Group> groups = FindGroups(records);
  std::vector<size_t> recordOf(records.size());  // a divider stands where its group record does
  std::vector<size_t> dividerOf(records.size());
  for (size_t i = 0; i < records.size(); ++i) recordOf[i] = dividerOf[i] = i;
  for (const Group& group : groups) {
    recordOf[group.divider] = group.record;
    dividerOf[group.record] = group.divider;
  }
  const std::vector<std::optional<size_t>> bases = BasesBelow(records, dividerOf);
  std::vector<GroupPlace> places(records.size());
  for (size_t i = 0; i < records.size(); ++i) {
    const size_t at = recordOf[i];
    for (const Group& group : groups) {
      if (group.divider >= at || at >= group.record) continue;
      const LayerRecord& holder = *records[group.record];
      places[i].groups.push_back(holder.name);
      places[i].groupRecords.push_back(group.record);
      places[i].hiddenByGroup |= !holder.Visible();
    }
    if (records[i]->clipping != 0) places[i].clippingBase = bases[i];
  }
  return places;
}

bool IsAdjustmentOrFill(const LayerRecord& layer) {
  return std::any_of(layer.blocks.begin(), layer.blocks.end(), [](const TaggedBlock& block) {
    return std::any_of(std::begin(kAdjustmentAndFillKeys), std::end(kAdjustmentAndFillKeys),
                       [&](const char* key) { return block.key == key; });
  });
}

const char* LayerKind(const LayerRecord& record) {
  const uint32_t type = record.SectionType();
  if (type == kGroupEnd) return "group end";
  if (type != 0) return "group";
  if (IsAdjustmentOrFill(record)) return "adjustment or fill";
  if (record.Bounds().Width() <= 0 || record.Bounds().Height() <= 0) return "empty";
  return "pixels";
}

}  // namespace peelbox
