#include "export/report.h"

#include "psd/status.h"

namespace peelbox {

std::string ReportText(const std::string& sourcePath, const std::string& outputFolder, int32_t result,
                       int layersRipped, int filesSaved) {
  if (result == 0) {
    return FormatText(
        "Ripping of file: \r\n\"%s\"\r\nTo output folder: \r\n\"%s\"\r\nDone.\r\n\r\nLayers ripped:\t%d\r\n"
        "Files saved:\t%d\r\n",
        sourcePath.c_str(), outputFolder.c_str(), layersRipped, filesSaved);
  }
  return FormatText(
      "Error occured while\r\nperforming ripping of file: \r\n%s\r\n\r\nError code: %d\r\n\r\n"
      "Please report this error,\r\nwith the source PSD file to:\r\n%s\r\n\r\nThanks!",
      sourcePath.c_str(), result, kMaintainerLine);
}

}  // namespace peelbox
