#include "export/report.h"

#include "psd/status.h"

namespace peelbox {

FailedIn FailedInRead(ReadStep step) {
  switch (step) {
    case ReadStep::kSource:
      return FailedIn::kSource;
    case ReadStep::kHeader:
      return FailedIn::kHeader;
    case ReadStep::kColorModeData:
      return FailedIn::kColorModeData;
    case ReadStep::kImageResources:
      return FailedIn::kImageResources;
    case ReadStep::kLayerInfo:
      return FailedIn::kLayerInfo;
    case ReadStep::kChannelData:
      return FailedIn::kChannelData;
    case ReadStep::kGlobalMask:
      return FailedIn::kGlobalMask;
    case ReadStep::kComposite:
      return FailedIn::kComposite;
  }
  return FailedIn::kSource;
}

const char* FailedInName(FailedIn step) {
  switch (step) {
    case FailedIn::kNothing:
      return "";
    case FailedIn::kSource:
      return "source";
    case FailedIn::kHeader:
      return "header";
    case FailedIn::kColorModeData:
      return "colour mode data";
    case FailedIn::kImageResources:
      return "image resources";
    case FailedIn::kLayerInfo:
      return "layer info";
    case FailedIn::kChannelData:
      return "channel data";
    case FailedIn::kGlobalMask:
      return "global mask";
    case FailedIn::kComposite:
      return "composite";
    case FailedIn::kOutputFolder:
      return "output folder";
    case FailedIn::kOutputFile:
      return "output file";
  }
  return "";
}

bool DocumentAtFault(FailedIn step) {
  return step != FailedIn::kNothing && step != FailedIn::kSource && step != FailedIn::kOutputFolder &&
         step != FailedIn::kOutputFile;
}

std::string ReportText(const JobSummary& summary) {
  if (summary.result == 0) {
    std::string text = FormatText(
        "Ripping of file: \r\n\"%s\"\r\nTo output folder: \r\n\"%s\"\r\n%s\r\n\r\nLayers ripped:\t%d\r\n"
        "Files saved:\t%d\r\n",
        summary.sourcePath.c_str(), summary.outputFolder.c_str(), summary.stopped ? "Stopped by the user." : "Done.",
        summary.layersRipped, summary.filesSaved);
    if (!summary.note.empty()) text += summary.note + "\r\n";
    return text;
  }
  std::string text = FormatText("Error occured while\r\nperforming ripping of file: \r\n%s\r\n\r\nError code: %d",
                                summary.sourcePath.c_str(), summary.result);
  if (!summary.error.empty()) text += "\r\n" + summary.error;
  // Only a document that cannot be read is worth sending in: a missing file
  // or a full disk is not a fault of Peelbox.
  if (DocumentAtFault(summary.failedIn) || summary.failedIn == FailedIn::kNothing) {
    text += FormatText("\r\n\r\nPlease report this error,\r\nwith the source PSD file to:\r\n%s\r\n\r\nThanks!",
                       kMaintainerLine);
  }
  return text;
}

}  // namespace peelbox
