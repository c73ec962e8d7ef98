// How a job ended, and the text that tells the user: shown by the desktop
// program's report and printed by the command line.
#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "export/plan.h"
#include "psd/block.h"

namespace peelbox {

// Where users are asked to send documents that fail.
inline constexpr char kMaintainerLine[] = "the Peelbox issue tracker, https://github.com/peelbox/peelbox/issues";

// Where a failed job stopped: at its name template, reading the document (at
// one of the reader's steps), or writing into the output folder or a file.
struct FailedIn {
  enum class Place { kNothing, kNameTemplate, kRead, kOutputFolder, kOutputFile };

  static FailedIn Read(ReadStep step) { return {Place::kRead, step}; }
  static FailedIn OutputFolder() { return {Place::kOutputFolder, ReadStep::kSource}; }
  static FailedIn OutputFile() { return {Place::kOutputFile, ReadStep::kSource}; }
  static FailedIn NameTemplate() { return {Place::kNameTemplate, ReadStep::kSource}; }
  bool operator==(const FailedIn&) const = default;

  Place place = Place::kNothing;
  ReadStep step = ReadStep::kSource;  // for a read
};

// "name template", the read step's name ("source", "header", ...), "output
// folder" or "output file"; empty for nothing.
const char* FailedInName(FailedIn failed);
// Whether the document itself is at fault (and worth sending in): a read
// that failed past the source.
bool DocumentAtFault(FailedIn failed);

// Everything the report says.
struct JobSummary {
  std::string sourcePath;
  std::string outputFolder;
  int32_t result = 0;
  int layersRipped = 0;
  int filesSaved = 0;
  bool stopped = false;
  FailedIn failedIn;
  std::string error;  // the failure in words, one sentence
  std::string note;   // why a document wrote nothing, when it did
  // The job only listed what it would write.
  bool listing = false;
  // The file is no Photoshop document at all (empty, or another format):
  // nothing worth sending in.
  bool notADocument = false;
  std::map<SkipReason, int> skipped;  // the records that gave no files, by reason
};

// "2 groups, 1 fill or adjustment layer, 3 hidden": the counts in the order
// of the reasons; empty for none.
std::string SkippedInWords(const std::map<SkipReason, int>& skipped);

// Lines end in "\r\n". Success names the source and the folder and counts
// the layers and files written and the records skipped, with their reasons; failure names the source, the code and what
// failed, and asks for documents that cannot be read.
std::string ReportText(const JobSummary& summary);

}  // namespace peelbox
