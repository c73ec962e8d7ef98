// What --list prints for a document: a line about it, then one line per
// layer record, top-most first.
#pragma once

#include <string>

namespace peelbox {
class RipJob;
}

namespace peelbox::cli {

// For a document that was read (the job ran in list-only mode): the
// document, then each record's index, kind, visibility, opacity, blend mode,
// bounds and name, and the files it would get or why none.
std::string ListingText(const RipJob& job);

}  // namespace peelbox::cli
