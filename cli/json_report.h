// The result of a job as one JSON object on one line, for scripts.
#pragma once

#include <cstdint>
#include <string>

namespace peelbox {
class RipJob;
}

namespace peelbox::cli {

// A JSON string literal. Names and paths are bytes as the document stores
// them; valid UTF-8 passes through, and each byte of anything else stands as
// the character of the same number (as Latin-1 would read it).
std::string JsonString(const std::string& bytes);

// {"source", "output_folder", "result", "layers_ripped", "files_saved",
//  "stopped", ["error", "failed_in",] "width", "height", "mode", "depth",
//  "files": [{"path", "layer_index", "layer_name", "left", "top", "width",
//  "height", "visible", "opacity", "blend_mode", "group"}, ...],
//  "skipped": [{"layer_info", "record", "reason"}, ...]}
std::string JsonReport(const RipJob& job, int32_t result);

// {"source", "result", ["error", "failed_in",] "width", "height", "mode",
//  "depth", "layers": [{"layer_info", "index", "name", "kind", "visible",
//  "hidden_by_group", "opacity", "blend_mode", "group", "left", "top",
//  "width", "height", "files", "reason"}, ...]}, the layers top-most first.
std::string JsonListing(const RipJob& job, int32_t result);

}  // namespace peelbox::cli
