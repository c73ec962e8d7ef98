#include "cli/batch.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <mutex>
#include <thread>

#include "cli/json_report.h"
#include "cli/listing.h"
#include "cli/progress.h"
#include "export/encoder_pool.h"
#include "export/report.h"
#include "export/rip_job.h"
#include "psd/format_text.h"

namespace peelbox::cli {

namespace {

// What one document gave, kept until its turn to be printed.
struct Outcome {
  bool done = false;
  int32_t result = 0;
  bool stopped = false;
  bool folderFailed = false;  // the output folder, not the document: the batch ends
  int files = 0;
  std::string out;  // for stdout
  std::string err;  // for stderr
};

// The report's lines end in "\r\n"; a terminal or a file here wants "\n".
std::string WithNativeLineEnds(std::string text) {
  for (size_t at = text.find("\r\n"); at != std::string::npos; at = text.find("\r\n", at)) text.erase(at, 1);
  return text;
}

struct Batch {
  Batch(const Options& options, const std::vector<std::string>& folders, const StopToken& stop)
      : options(options), folders(folders), stop(stop) {}

  const Options& options;
  const std::vector<std::string>& folders;
  const StopToken& stop;
  unsigned jobs = 1;
  unsigned threadsPerJob = 1;
  bool liveStatus = false;
  bool namedStatus = false;  // each status line starts with the document's name
  std::vector<Outcome> outcomes;
  std::atomic<size_t> next{0};
  std::atomic<bool> halted{false};  // no further document starts
  std::mutex mutex;
  unsigned working = 0;  // workers that may still finish a document
  std::condition_variable finished;
};

// A failed document in one line: its name, where it failed and why.
std::string FailureLine(const JobSummary& summary) {
  std::string line = "peelbox-cli: " + summary.sourcePath + ": failed";
  if (const std::string place = FailedInName(summary.failedIn); !place.empty()) line += " in " + place;
  line += " (error " + std::to_string(summary.result) + ")";
  return summary.error.empty() ? line : line + ": " + summary.error;
}

Outcome RunDocument(Batch& batch, size_t index) {
  const Options& options = batch.options;
  const std::string& source = options.sources[index];
  const std::string prefix = batch.namedStatus ? std::filesystem::path(source).filename().string() + ": " : "";
  ProgressPrinter printer(stderr, batch.liveStatus, prefix);
  // A listing is quiet: its lines are the output.
  const bool statusLines = !options.quiet && !options.list;
  RipJob job(source, batch.folders[index], options.job.ignoreAlpha ? 1 : 0, statusLines ? &printer : nullptr);
  job.threads = batch.threadsPerJob;
  job.options = options.job;
  job.stopToken = batch.stop;
  Outcome outcome;
  outcome.result = job.Run();
  printer.Finish();
  outcome.stopped = job.Stopped();
  outcome.files = job.FilesSaved();
  outcome.folderFailed = outcome.result != 0 && job.FailedStep() == FailedIn::OutputFolder();
  if (options.json) {
    outcome.out = (options.list ? JsonListing(job, outcome.result) : JsonReport(job, outcome.result)) + "\n";
    // A person watching a script's run sees a failure too.
    if (outcome.result != 0 && !options.quiet) outcome.err = FailureLine(job.Summary(outcome.result)) + "\n";
  } else if (outcome.result != 0) {
    // A failure goes where errors go, so that "--quiet > log" still shows it.
    outcome.err = WithNativeLineEnds(ReportText(job.Summary(outcome.result))) + "\n";
  } else if (options.list) {
    outcome.out = ListingText(job);
  } else {
    outcome.out = WithNativeLineEnds(ReportText(job.Summary(outcome.result)));
  }
  return outcome;
}

// Runs the document unless the batch has halted.
void RunInTurn(Batch& batch, size_t index) {
  if (batch.halted || batch.stop.StopRequested()) return;
  Outcome outcome = RunDocument(batch, index);
  if (outcome.folderFailed || outcome.stopped) batch.halted = true;
  std::lock_guard lock(batch.mutex);
  batch.outcomes[index] = std::move(outcome);
  batch.outcomes[index].done = true;
  batch.finished.notify_all();
}

// Takes documents in argument order until none is left or the batch halts.
void Work(Batch& batch) {
  for (size_t index = batch.next++; index < batch.outcomes.size() && !batch.halted; index = batch.next++) {
    RunInTurn(batch, index);
  }
  std::lock_guard lock(batch.mutex);
  --batch.working;
  batch.finished.notify_all();
}

// "3 documents: 2 ripped, 1 failed, 14 files".
std::string SummaryLine(const Batch& batch) {
  size_t ok = 0, failed = 0, stopped = 0, notStarted = 0;
  long files = 0;
  for (const Outcome& outcome : batch.outcomes) {
    if (!outcome.done) {
      ++notStarted;
    } else if (outcome.stopped) {
      ++stopped;
    } else {
      ++(outcome.result == 0 ? ok : failed);
    }
    files += outcome.files;
  }
  std::string line = FormatText("%zu documents: %zu %s, %zu failed", batch.outcomes.size(), ok,
                                batch.options.list ? "listed" : "ripped", failed);
  if (stopped > 0) line += FormatText(", %zu stopped", stopped);
  if (notStarted > 0) line += FormatText(", %zu not started", notStarted);
  if (!batch.options.list) line += FormatText(", %ld file%s", files, files == 1 ? "" : "s");
  return line + "\n";
}

}  // namespace

unsigned ThreadsPerJob(unsigned jobs, unsigned threads, size_t documents) {
  const unsigned all = threads > 0 ? threads : EncoderPool::DefaultThreads();
  const unsigned running = static_cast<unsigned>(std::clamp<size_t>(documents, 1, std::max(jobs, 1u)));
  return std::max(1u, all / running);
}

int RunBatch(const Options& options, const std::vector<std::string>& folders, const StopToken& stop) {
  Batch batch(options, folders, stop);
  const size_t n = options.sources.size();
  batch.jobs = static_cast<unsigned>(
      std::min<size_t>(options.jobs > 0 ? options.jobs : EncoderPool::DefaultThreads(), std::max<size_t>(n, 1)));
  batch.threadsPerJob = ThreadsPerJob(batch.jobs, options.threads, n);
  const bool terminal = isatty(fileno(stderr)) != 0;
  // A live line serves one job at a time; in a log, lines of several
  // documents need their names.
  batch.liveStatus = terminal && batch.jobs == 1;
  batch.namedStatus = n > 1 && !batch.liveStatus;
  batch.outcomes.resize(n);

  std::vector<std::thread> workers;
  const unsigned workerCount = batch.jobs > 1 ? batch.jobs : 0;
  batch.working = workerCount;
  for (unsigned j = 0; j < workerCount; ++j) workers.emplace_back(Work, std::ref(batch));
  bool printedOut = false;
  for (size_t i = 0; i < n; ++i) {
    if (workers.empty()) RunInTurn(batch, i);  // one job: each document on this thread, printed as it ends
    std::unique_lock lock(batch.mutex);
    batch.finished.wait(lock, [&] { return batch.outcomes[i].done || batch.working == 0; });
    const Outcome& outcome = batch.outcomes[i];
    lock.unlock();
    if (!outcome.done) {
      if (!stop.StopRequested()) std::fprintf(stderr, "Not started: %s\n", options.sources[i].c_str());
      continue;
    }
    // A blank line between two reports on stdout, and nowhere else.
    if (!outcome.out.empty()) {
      if (printedOut && !options.json) std::fputs("\n", stdout);
      std::fputs(outcome.out.c_str(), stdout);
      std::fflush(stdout);
      printedOut = true;
    }
    std::fputs(outcome.err.c_str(), stderr);
  }
  for (std::thread& worker : workers) worker.join();
  if (n > 1 && !options.quiet) std::fputs(SummaryLine(batch).c_str(), stderr);
  const bool stopped =
      std::any_of(batch.outcomes.begin(), batch.outcomes.end(), [](const Outcome& outcome) { return outcome.stopped; });
  if (stopped || stop.StopRequested()) return kInterrupted;
  const bool failed = std::any_of(batch.outcomes.begin(), batch.outcomes.end(),
                                  [](const Outcome& outcome) { return !outcome.done || outcome.result != 0; });
  return failed ? kJobFailed : kSucceeded;
}

}  // namespace peelbox::cli
