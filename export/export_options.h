// What a job is asked to write: one set of options for the dialog, the
// command line and presets alike.
#pragma once

#include <string>
#include <vector>

namespace peelbox {

struct ExportOptions {
  // The formats written, by name ("png", "gif"); each layer's files follow
  // the order of the format registry, whatever the order here.
  std::vector<std::string> formats{"png", "gif"};
  bool ignoreAlpha = false;      // every transparency but none at all becomes the maximum
  bool visibleOnly = false;      // skip layers hidden themselves or by a group
  bool groupsAsFolders = false;  // write each layer into folders named after its groups
  bool fastPng = false;          // PNGs with zlib's run-length strategy: faster, larger
  bool listOnly = false;         // read and plan every file, write nothing
};

}  // namespace peelbox
