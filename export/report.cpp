#include "export/report.h"

#include "psd/format_text.h"

namespace peelbox {

const char* FailedInName(FailedIn failed) {
  switch (failed.place) {
    case FailedIn::Place::kNothing:
      return "";
    case FailedIn::Place::kNameTemplate:
      return "name template";
    case FailedIn::Place::kRead:
      return ReadStepName(failed.step);
    case FailedIn::Place::kOutputFolder:
      return "output folder";
    case FailedIn::Place::kOutputFile:
      return "output file";
  }
  return "";
}

bool DocumentAtFault(FailedIn failed) {
  return failed.place == FailedIn::Place::kRead && failed.step != ReadStep::kSource;
}

std::string SkippedInWords(const std::map<SkipReason, int>& skipped) {
  struct Words {
    SkipReason reason;
    const char* one;
    const char* many;
  };
  static constexpr Words kWords[] = {
      {SkipReason::kGroup, "group", "groups"},
      {SkipReason::kNoPixels, "fill or adjustment layer", "fill or adjustment layers"},
      {SkipReason::kEmpty, "empty layer", "empty layers"},
      {SkipReason::kUnsupportedChannels, "layer with channels Peelbox cannot write",
       "layers with channels Peelbox cannot write"},
      {SkipReason::kUnsupportedDocument, "in a colour mode Peelbox cannot write",
       "in a colour mode Peelbox cannot write"},
      {SkipReason::kNotSelected, "not selected", "not selected"},
      {SkipReason::kFiltered, "left out by the filters", "left out by the filters"},
      {SkipReason::kHidden, "hidden", "hidden"},
      {SkipReason::kTransparent, "fully transparent", "fully transparent"},
  };
  std::string text;
  for (const Words& words : kWords) {
    const auto found = skipped.find(words.reason);
    if (found == skipped.end() || found->second == 0) continue;
    if (!text.empty()) text += ", ";
    text += std::to_string(found->second) + " " + (found->second == 1 ? words.one : words.many);
  }
  return text;
}

std::string ReportText(const JobSummary& summary) {
  if (summary.result == 0) {
    std::string text = FormatText(
        "Ripping of file: \r\n\"%s\"\r\nTo output folder: \r\n\"%s\"\r\n%s\r\n\r\nLayers ripped:\t%d\r\n"
        "Files saved:\t%d\r\n",
        summary.sourcePath.c_str(), summary.outputFolder.c_str(), summary.stopped ? "Stopped by the user." : "Done.",
        summary.layersRipped, summary.filesSaved);
    int skipped = 0;
    for (const auto& [reason, count] : summary.skipped) skipped += count;
    text += FormatText("Layers skipped:\t%d\r\n", skipped);
    if (skipped > 0) text += SkippedInWords(summary.skipped) + "\r\n";
    if (!summary.note.empty()) text += summary.note + "\r\n";
    return text;
  }
  const char* task = summary.listing ? "listing" : "ripping";
  std::string text = FormatText("Error occurred while\r\nperforming %s of file: \r\n%s\r\n\r\nError code: %d", task,
                                summary.sourcePath.c_str(), summary.result);
  if (!summary.error.empty()) text += "\r\n" + summary.error;
  // Only a document that cannot be read is worth sending in: a missing file
  // or a full disk is not a fault of Peelbox.
  if (!summary.notADocument && (DocumentAtFault(summary.failedIn) || summary.failedIn == FailedIn{})) {
    text += FormatText("\r\n\r\nPlease report this error,\r\nwith the source PSD file to:\r\n%s\r\n\r\nThanks!",
                       kMaintainerLine);
  }
  return text;
}

}  // namespace peelbox
