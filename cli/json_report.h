// The result of a job as one JSON object, for scripts.
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
//  "files": [{"path", "layer_index", "layer_name"}, ...]}
std::string JsonReport(const RipJob& job, int32_t result);

}  // namespace peelbox::cli
