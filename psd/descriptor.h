// Action descriptors, the self-describing values of newer tagged blocks
// (layer effects and the like): walked, not kept. Knows no section.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace peelbox {

// Gives every boolean item of the descriptor at `data` with its key and its
// depth: 1 for the descriptor's own items, one more for each descriptor or
// list that holds it. False when the data ends early, nests too deep or
// holds a type Peelbox does not know: the items before it were given.
bool VisitDescriptorBooleans(const uint8_t* data, size_t size,
                             const std::function<void(const std::string& key, int depth, bool value)>& visit);

}  // namespace peelbox
