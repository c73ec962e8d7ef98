// How a job ended, and the text that tells the user: shown by the desktop
// program's report and printed by the command line.
#pragma once

#include <cstdint>
#include <string>

#include "psd/block.h"

namespace peelbox {

// Where users are asked to send documents that fail.
inline constexpr char kMaintainerLine[] = "the Peelbox issue tracker, https://github.com/peelbox/peelbox/issues";

// The step a failed job stopped in: the document's own parts, or the output.
enum class FailedIn {
  kNothing,
  kSource,
  kHeader,
  kColorModeData,
  kImageResources,
  kLayerInfo,
  kChannelData,
  kGlobalMask,
  kComposite,
  kOutputFolder,
  kOutputFile,
};

FailedIn FailedInRead(ReadStep step);
// "source", "header", ..., "output folder", "output file"; empty for kNothing.
const char* FailedInName(FailedIn step);
// Whether the document itself is at fault (and worth sending in).
bool DocumentAtFault(FailedIn step);

// Everything the report says.
struct JobSummary {
  std::string sourcePath;
  std::string outputFolder;
  int32_t result = 0;
  int layersRipped = 0;
  int filesSaved = 0;
  bool stopped = false;
  FailedIn failedIn = FailedIn::kNothing;
  std::string error;  // the failure in words, one sentence
  std::string note;   // why a document wrote nothing, when it did
};

// Lines end in "\r\n". Success names the source and the folder and counts
// the layers and files written; failure names the source, the code and what
// failed, and asks for documents that cannot be read.
std::string ReportText(const JobSummary& summary);

}  // namespace peelbox
