// The documents of one command line: ripped (or listed) one after another,
// or several at a time with --jobs, and reported in argument order, so that
// stdout and the files are the same for any number of jobs.
#pragma once

#include <string>
#include <vector>

#include "cli/options.h"
#include "psd/stop_token.h"

namespace peelbox::cli {

// The encoding threads of each job, so that the jobs running at once use at
// most max(jobs, threads) in all: `threads` 0 is one per core.
unsigned ThreadsPerJob(unsigned jobs, unsigned threads, size_t documents);

// Runs every document of `options` into its folder (one per source; empty
// when listing) and prints each one's outcome. Returns the exit status.
int RunBatch(const Options& options, const std::vector<std::string>& folders, const StopToken& stop);

}  // namespace peelbox::cli
