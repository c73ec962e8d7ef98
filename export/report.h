// The text that tells the user how a job ended, shown by the desktop
// program's report and printed by the command line.
#pragma once

#include <cstdint>
#include <string>

namespace peelbox {

// Where users are asked to send documents that fail.
inline constexpr char kMaintainerLine[] = "the Peelbox issue tracker, https://github.com/peelbox/peelbox/issues";

// Lines end in "\r\n". Success names the source and the folder and counts the
// layers and files written; failure names the source and the code.
std::string ReportText(const std::string& sourcePath, const std::string& outputFolder, int32_t result,
                       int layersRipped, int filesSaved);

}  // namespace peelbox
