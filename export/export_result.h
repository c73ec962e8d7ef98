// Result codes of writing one layer. They share small numbers with the
// reader's codes; the report shows the number alone.
#pragma once

#include <cstdint>

namespace peelbox {

enum ExportResult : int32_t {
  kExportOk = 0,
  kCannotOpenOutput = -1,   // an output file cannot be opened for writing
  kNoPngWriteStruct = -2,   // libpng cannot make its write structure
  kNoPngInfoStruct = -4,    // libpng cannot make its info structure
  kWriteFailed = -8,        // encoding failed, or a file could not be written whole
  // Not a result a job reports: an encoding abandoned because the job was
  // asked to stop.
  kEncodingStopped = 1,
};

}  // namespace peelbox
