// peelbox-cli: writes every layer of a Photoshop document as PNG and GIF
// files, from a shell or a script.
#include <signal.h>
#include <unistd.h>

#include <atomic>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "cli/json_report.h"
#include "cli/progress.h"
#include "export/file_name.h"
#include "export/report.h"
#include "export/rip_job.h"

namespace {

constexpr int kSucceeded = 0;
constexpr int kJobFailed = 1;
constexpr int kBadUsage = 2;
constexpr int kInterrupted = 130;  // as shells report a program ended by Ctrl-C

// The stop request the job polls. The handler only stores to it, which a
// lock-free atomic allows in a signal handler; a second Ctrl-C ends the
// program at once.
std::atomic<bool>* g_stop = nullptr;
static_assert(std::atomic<bool>::is_always_lock_free);

extern "C" void OnInterrupt(int) {
  if (g_stop->exchange(true)) _exit(kInterrupted);
}

void StopOnInterrupt(std::atomic<bool>* stop) {
  g_stop = stop;
  struct sigaction action {};
  action.sa_handler = OnInterrupt;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
}

constexpr char kUsage[] =
    "Usage: peelbox-cli [OPTIONS] SOURCE OUTPUT_FOLDER\n"
    "Writes every layer of the Photoshop document SOURCE as a PNG file and a GIF\n"
    "file into OUTPUT_FOLDER, which is created when it is missing.\n"
    "\n"
    "Options:\n"
    "  --ignore-alpha  keep complete transparency only: every transparency but\n"
    "                  none at all becomes fully opaque\n"
    "  --quiet         print no status lines\n"
    "  --json          print the result as one JSON object instead of the report\n"
    "  --threads N     encode on N threads (default: one per core)\n"
    "  --help          show this help and exit\n"
    "  --version       show the version and exit\n"
    "\n"
    "Status lines go to stderr, the report (or JSON) to stdout. Exit status: 0\n"
    "when the job succeeded, 1 when it failed, 2 on bad usage.\n";

struct Options {
  bool ignoreAlpha = false;
  bool quiet = false;
  bool json = false;
  unsigned threads = 0;
  std::vector<std::string> operands;
};

// Parses the command line; returns -1 to go on, or the exit status.
int Parse(int argc, char** argv, Options* options) {
  bool operandsOnly = false;
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    if (operandsOnly || argument.empty() || argument[0] != '-' || argument == "-") {
      options->operands.push_back(argument);
    } else if (argument == "--") {
      operandsOnly = true;
    } else if (argument == "--ignore-alpha") {
      options->ignoreAlpha = true;
    } else if (argument == "--quiet") {
      options->quiet = true;
    } else if (argument == "--json") {
      options->json = true;
    } else if (argument == "--threads") {
      char* end = nullptr;
      const long threads = i + 1 < argc ? std::strtol(argv[i + 1], &end, 10) : 0;
      if (end == nullptr || *end != '\0' || threads < 1 || threads > 256) {
        std::fprintf(stderr, "peelbox-cli: --threads needs a number from 1 to 256\n\n%s", kUsage);
        return kBadUsage;
      }
      options->threads = static_cast<unsigned>(threads);
      ++i;
    } else if (argument == "--help" || argument == "-h") {
      std::fputs(kUsage, stdout);
      return kSucceeded;
    } else if (argument == "--version") {
      std::printf("peelbox-cli %s\n", PEELBOX_VERSION);
      return kSucceeded;
    } else {
      std::fprintf(stderr, "peelbox-cli: unknown option '%s'\n\n%s", argument.c_str(), kUsage);
      return kBadUsage;
    }
  }
  if (options->operands.size() != 2) {
    std::fprintf(stderr, "peelbox-cli: expected SOURCE and OUTPUT_FOLDER\n\n%s", kUsage);
    return kBadUsage;
  }
  return -1;
}

// The report's lines end in "\r\n"; a terminal or a file here wants "\n".
std::string WithNativeLineEnds(std::string text) {
  for (size_t at = text.find("\r\n"); at != std::string::npos; at = text.find("\r\n", at)) text.erase(at, 1);
  return text;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (const int status = Parse(argc, argv, &options); status >= 0) return status;
  const std::string& source = options.operands[0];
  const std::string folder = peelbox::WithSeparator(options.operands[1]);

  peelbox::cli::ProgressPrinter printer(stderr, isatty(fileno(stderr)) != 0);
  peelbox::RipJob job(source, folder, options.ignoreAlpha ? 1 : 0, options.quiet ? nullptr : &printer);
  job.threads = options.threads;
  job.stopToken = std::make_shared<std::atomic<bool>>(false);
  StopOnInterrupt(job.stopToken.get());
  const int32_t result = job.Run();
  printer.Finish();

  if (options.json) {
    std::printf("%s\n", peelbox::cli::JsonReport(job, result).c_str());
  } else {
    const std::string report = peelbox::ReportText(job.Summary(result));
    std::printf("%s", WithNativeLineEnds(report).c_str());
    if (result != 0) std::printf("\n");
  }
  if (job.Stopped()) return kInterrupted;
  return result == 0 ? kSucceeded : kJobFailed;
}
