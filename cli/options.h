// The command line: what peelbox-cli was asked to do, and its help.
#pragma once

#include <string>
#include <vector>

#include "export/export_options.h"

namespace peelbox::cli {

struct Options {
  bool quiet = false;
  bool json = false;
  bool list = false;
  // A folder of its own for each document, even for one.
  bool folderPerDocument = false;
  unsigned threads = 0;  // 0: one per core
  unsigned jobs = 1;     // documents ripped at once; 0: one per core
  ExportOptions job;     // what each document's job writes
  std::vector<std::string> sources;
  std::string outputFolder;  // empty with --list
};

constexpr int kSucceeded = 0;
constexpr int kJobFailed = 1;
constexpr int kBadUsage = 2;
constexpr int kInterrupted = 130;  // as shells report a program ended by Ctrl-C

// What parsing decided: go on with `options`, or end with `exit` after
// printing `out` (to stdout) or `error` (one line naming the problem).
struct Parsed {
  bool run = false;
  int exit = kSucceeded;
  std::string out;
  std::string error;
};

Parsed Parse(const std::vector<std::string>& arguments, Options* options);

extern const char kUsage[];

}  // namespace peelbox::cli
