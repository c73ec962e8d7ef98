// Result codes of writing one layer. They share small numbers with the
// reader's codes; the report shows the number alone. Work abandoned on a stop
// request ends with kStopped, as reading does.
#pragma once

#include <cstdint>

#include "psd/stop_token.h"

namespace peelbox {

enum ExportResult : int32_t {
  kExportOk = 0,
  kCannotOpenOutput = -1,   // an output file cannot be opened for writing
  kNoPngWriteStruct = -2,   // libpng cannot make its write structure
  kNoPngInfoStruct = -4,    // libpng cannot make its info structure
  kWriteFailed = -8,        // encoding failed, or a file could not be written whole
  kBadNameTemplate = -16,   // the name template cannot be used: nothing is read or written
};

}  // namespace peelbox
