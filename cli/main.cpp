// peelbox-cli: writes every layer of Photoshop documents as PNG and GIF
// files, from a shell or a script; or lists what it would write.
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "cli/json_report.h"
#include "cli/listing.h"
#include "cli/options.h"
#include "cli/progress.h"
#include "export/file_name.h"
#include "export/report.h"
#include "export/rip_job.h"

namespace {

using peelbox::cli::Options;

// The stop request every job polls. The handler only sets it, which its
// lock-free flag allows in a signal handler; a second Ctrl-C ends the
// program at once.
peelbox::StopToken g_stop;

extern "C" void OnInterrupt(int) {
  if (g_stop.RequestStop()) _exit(peelbox::cli::kInterrupted);
}

void StopOnInterrupt(const peelbox::StopToken& stop) {
  g_stop = stop;
  struct sigaction action {};
  action.sa_handler = OnInterrupt;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
}

// The report's lines end in "\r\n"; a terminal or a file here wants "\n".
std::string WithNativeLineEnds(std::string text) {
  for (size_t at = text.find("\r\n"); at != std::string::npos; at = text.find("\r\n", at)) text.erase(at, 1);
  return text;
}

// Where each document's files go: the output folder itself for one
// document; for several (or with -D), a folder of each one's own named
// after its file, by the rules of layer file names.
std::vector<std::string> DocumentFolders(const Options& options) {
  const std::string folder = peelbox::WithSeparator(options.outputFolder);
  if (options.sources.size() == 1 && !options.folderPerDocument) return {folder};
  std::vector<std::string> folders;
  peelbox::StemRegistry stems;
  for (size_t i = 0; i < options.sources.size(); ++i) {
    const std::string stem = std::filesystem::path(options.sources[i]).stem().string();
    folders.push_back(folder + stems.Claim(peelbox::MakeFileName(stem, i + 1)) + peelbox::kPathSeparator);
  }
  return folders;
}

// A failed document in one line: its name, where it failed and why.
std::string FailureLine(const peelbox::JobSummary& summary) {
  std::string line = "peelbox-cli: " + summary.sourcePath + ": failed";
  if (const std::string place = peelbox::FailedInName(summary.failedIn); !place.empty()) line += " in " + place;
  line += " (error " + std::to_string(summary.result) + ")";
  return summary.error.empty() ? line : line + ": " + summary.error;
}

// Reads (and, unless listing, rips) one document and prints its outcome.
// Returns the job's result.
int32_t RunOne(const Options& options, const std::string& source, const std::string& folder,
               const peelbox::StopToken& stop, bool* stopped) {
  peelbox::cli::ProgressPrinter printer(stderr, isatty(fileno(stderr)) != 0);
  // A listing is quiet: its lines are the output.
  const bool statusLines = !options.quiet && !options.list;
  peelbox::RipJob job(source, folder, options.job.ignoreAlpha ? 1 : 0, statusLines ? &printer : nullptr);
  job.threads = options.threads;
  job.options = options.job;
  job.stopToken = stop;
  const int32_t result = job.Run();
  printer.Finish();
  *stopped = job.Stopped();
  if (options.json) {
    std::printf("%s\n", (options.list ? peelbox::cli::JsonListing(job, result) : peelbox::cli::JsonReport(job, result)).c_str());
    // A person watching a script's run sees a failure too.
    if (result != 0 && !options.quiet) std::fprintf(stderr, "%s\n", FailureLine(job.Summary(result)).c_str());
  } else if (result != 0) {
    // A failure goes where errors go, so that "--quiet > log" still shows it.
    std::fprintf(stderr, "%s\n", WithNativeLineEnds(peelbox::ReportText(job.Summary(result))).c_str());
  } else if (options.list) {
    std::printf("%s", peelbox::cli::ListingText(job).c_str());
  } else {
    std::printf("%s", WithNativeLineEnds(peelbox::ReportText(job.Summary(result))).c_str());
  }
  std::fflush(stdout);
  return result;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  const peelbox::cli::Parsed parsed = peelbox::cli::Parse(std::vector<std::string>(argv + 1, argv + argc), &options);
  std::fputs(parsed.out.c_str(), stdout);
  std::fputs(parsed.error.c_str(), stderr);
  if (!parsed.run) return parsed.exit;

  const peelbox::StopToken stop = peelbox::StopToken::Make();
  StopOnInterrupt(stop);
  const std::vector<std::string> folders = options.list ? std::vector<std::string>(options.sources.size())
                                                        : DocumentFolders(options);
  bool failed = false;
  for (size_t i = 0; i < options.sources.size(); ++i) {
    // One document after another, each on every core; a failure does not
    // stop the others, a Ctrl-C does.
    if (i > 0 && !options.json) std::printf("\n");
    bool stopped = false;
    failed |= RunOne(options, options.sources[i], folders[i], stop, &stopped) != 0;
    if (stopped || stop.StopRequested()) return peelbox::cli::kInterrupted;
  }
  return failed ? peelbox::cli::kJobFailed : peelbox::cli::kSucceeded;
}
