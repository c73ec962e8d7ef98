// Writing a finished file so that it appears whole or not at all.
#pragma once

#include <cstdint>
#include <string>

#include "export/output_buffer.h"

namespace peelbox {

// Writes `bytes` under a temporary name in `folder` (which ends with a
// separator, or is empty for the current directory) and renames it over
// `path` once it is complete and closed, with the permissions a plain fopen
// would give. A file of that name stays untouched until then; on any failure
// the temporary file is removed. Returns kExportOk, kCannotOpenOutput (the
// temporary file cannot be created) or kWriteFailed (writing, closing or
// renaming failed), with the system's error number in `*error`.
int32_t WriteFileAtomically(const std::string& folder, const std::string& path, const OutputBuffer& bytes,
                            int* error);

}  // namespace peelbox
