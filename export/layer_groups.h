// Where each layer stands: the groups that hold it and what kind of record
// it is, as layer panels show them.
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace peelbox {

class LayerRecord;

struct GroupPlace {
  std::vector<std::string> groups;    // the names of the groups that hold it, outermost first
  std::vector<size_t> groupRecords;   // their group records, in the same order
  bool hiddenByGroup = false;         // one of them is hidden
  // For a clipped record (clipping 1), the layer it is clipped to: the
  // nearest record below it in its group that is not clipped itself. None
  // when there is no such layer or it is a group: the record then shows
  // unclipped.
  std::optional<size_t> clippingBase;
};

// Reading bottom-up (file order), a divider (section type 3) opens a group
// that its group record (type 1 or 2) closes; a divider has the same groups
// as its group record. Dividers and group records without their other half
// (damaged files) hold nothing. Clipped groups below a clipped record are
// passed over whole on the way to its base.
std::vector<GroupPlace> PlaceInGroups(const std::vector<std::unique_ptr<LayerRecord>>& records);

// Whether the record holds one of the tagged blocks of an adjustment or fill
// layer (shape layers are fill layers too).
bool IsAdjustmentOrFill(const LayerRecord& layer);

// "group", "group end", "adjustment or fill", "empty" or "pixels": the first
// that applies.
const char* LayerKind(const LayerRecord& record);

}  // namespace peelbox
