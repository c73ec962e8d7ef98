#include "export/nearest_colour.h"

#include <algorithm>
#include <cstdlib>

namespace peelbox {

namespace {

// Beyond these, boxes are no longer split and their lists are searched: an
// image of random colours must not make the tree grow without end.
constexpr size_t kMaxNodes = 200000;
constexpr size_t kMaxListEntries = 2 << 20;

}  // namespace

NearestColour::NearestColour(const uint32_t* colors, int first, int count) {
  for (int index = first; index < count; ++index) {
    red_[index] = static_cast<int>(colors[index] >> 16) & 0xFF;
    green_[index] = static_cast<int>(colors[index] >> 8) & 0xFF;
    blue_[index] = static_cast<int>(colors[index]) & 0xFF;
    norm_[index] = red_[index] * red_[index] + green_[index] * green_[index] + blue_[index] * blue_[index];
    lists_.push_back({static_cast<uint8_t>(index), static_cast<uint8_t>(red_[index]), static_cast<uint8_t>(green_[index]),
                      static_cast<uint8_t>(blue_[index])});
  }
  nodes_.emplace_back();  // index 0 means "no child", so the root sits at 1
  const int low[3] = {0, 0, 0};
  Build(low, 256, 0, static_cast<uint16_t>(lists_.size()));
}

uint8_t NearestColour::Find(uint32_t rgb) {
  const int colour[3] = {static_cast<int>(rgb >> 16) & 0xFF, static_cast<int>(rgb >> 8) & 0xFF,
                         static_cast<int>(rgb) & 0xFF};
  const uint32_t box = static_cast<uint32_t>((colour[0] >> kBoxBits) << (16 - 2 * kBoxBits) |
                                             (colour[1] >> kBoxBits) << (8 - kBoxBits) | (colour[2] >> kBoxBits));
  if (boxes_[box] == 0) boxes_[box] = Descend(1, colour, false);
  uint32_t node = boxes_[box];
  if (nodes_[node].winner == 0 && nodes_[node].listSize > kLongList) node = Descend(node, colour, true);
  return Answer(node, colour);
}

uint32_t NearestColour::Descend(uint32_t node, const int colour[3], bool belowScanSize) {
  int size = 1 << nodes_[node].sizeBits;
  int low[3];
  for (int axis = 0; axis < 3; ++axis) low[axis] = colour[axis] & ~(size - 1);
  const auto further = [&] {
    const Node& box = nodes_[node];
    return box.winner == 0 && size > 1 && (belowScanSize ? box.listSize > kLongList : size > kScanSize);
  };
  while (further()) {
    size /= 2;
    int octant = 0;
    for (int axis = 0; axis < 3; ++axis) {
      if (colour[axis] >= low[axis] + size) {
        octant |= 1 << axis;
        low[axis] += size;
      }
    }
    uint32_t child = nodes_[node].children[octant];
    if (child == 0) {
      if (nodes_.size() >= kMaxNodes || lists_.size() >= kMaxListEntries) break;
      child = Build(low, size, nodes_[node].listStart, nodes_[node].listSize);
      nodes_[node].children[octant] = child;
    }
    node = child;
  }
  return node;
}

// Of the parent's entries, keeps those whose distance to the box's closest
// point is within the smallest distance any of them has to its farthest
// point: no other can be nearest anywhere in the box.
uint32_t NearestColour::Build(const int low[3], int size, uint32_t parentStart, uint16_t parentSize) {
  const int high[3] = {low[0] + size - 1, low[1] + size - 1, low[2] + size - 1};
  const int centre[3] = {low[0] + (size - 1) / 2, low[1] + (size - 1) / 2, low[2] + (size - 1) / 2};
  long closest[256];
  long bound = -1;
  for (uint16_t i = 0; i < parentSize; ++i) {
    const ListEntry& entry = lists_[parentStart + i];
    const int component[3] = {entry.red, entry.green, entry.blue};
    long inside = 0, farthest = 0;
    for (int axis = 0; axis < 3; ++axis) {
      const int c = component[axis];
      const long nearGap = c < low[axis] ? low[axis] - c : c > high[axis] ? c - high[axis] : 0;
      const long farGap = std::max(std::abs(c - low[axis]), std::abs(c - high[axis]));
      inside += nearGap * nearGap;
      farthest += farGap * farGap;
    }
    closest[i] = inside;
    if (bound < 0 || farthest < bound) bound = farthest;
  }

  Node node;
  node.sizeBits = static_cast<uint8_t>(__builtin_ctz(static_cast<unsigned>(size)));
  node.listStart = static_cast<uint32_t>(lists_.size());
  for (uint16_t i = 0; i < parentSize; ++i) {
    if (closest[i] <= bound) lists_.push_back(lists_[parentStart + i]);
  }
  node.listSize = static_cast<uint16_t>(lists_.size() - node.listStart);

  // The entry nearest to one point of the box (its centre) is nearest
  // everywhere in it unless another beats it somewhere: only those others
  // stay in the list with it.
  const uint8_t candidate = Scan(node.listStart, node.listSize, centre);
  size_t kept = node.listStart;
  for (uint16_t i = 0; i < node.listSize; ++i) {
    const ListEntry other = lists_[node.listStart + i];
    if (other.index == candidate || !WinsEverywhere(candidate, other.index, low, high)) lists_[kept++] = other;
  }
  lists_.resize(kept);
  node.listSize = static_cast<uint16_t>(kept - node.listStart);
  if (node.listSize == 1) {
    node.winner = candidate;
    lists_.resize(node.listStart);
    node.listSize = 0;
  }
  nodes_.push_back(node);
  return static_cast<uint32_t>(nodes_.size() - 1);
}

uint8_t NearestColour::Answer(uint32_t node, const int colour[3]) const {
  const Node& box = nodes_[node];
  return box.winner != 0 ? box.winner : Scan(box.listStart, box.listSize, colour);
}

uint8_t NearestColour::Scan(uint32_t start, uint16_t size, const int colour[3]) const {
  uint8_t best = 0;
  int bestDistance = -1;
  for (uint16_t i = 0; i < size; ++i) {  // in index order: the first of equals wins
    const ListEntry& entry = lists_[start + i];
    const int dr = entry.red - colour[0], dg = entry.green - colour[1], db = entry.blue - colour[2];
    const int distance = dr * dr + dg * dg + db * db;
    if (bestDistance < 0 || distance < bestDistance) {
      best = entry.index;
      bestDistance = distance;
    }
  }
  return best;
}

// Whether `entry` is nearer than `other` at every colour of the box, or as
// near with the lower index. The difference of their squared distances to a
// colour q is linear in q, |e|² - |o|² - 2 (e - o)·q, so its largest value
// over the box is at the corner each coefficient's sign points to.
bool NearestColour::WinsEverywhere(int entry, int other, const int low[3], const int high[3]) const {
  const int component[2][3] = {{red_[entry], green_[entry], blue_[entry]}, {red_[other], green_[other], blue_[other]}};
  long largest = static_cast<long>(norm_[entry]) - norm_[other];
  for (int axis = 0; axis < 3; ++axis) {
    const long coefficient = -2L * (component[0][axis] - component[1][axis]);
    largest += coefficient * (coefficient > 0 ? high[axis] : low[axis]);
  }
  return largest < 0 || (largest == 0 && entry < other);
}

}  // namespace peelbox
