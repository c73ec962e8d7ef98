// peelbox-cli: writes every layer of Photoshop documents as PNG and GIF
// files, from a shell or a script; or lists what it would write.
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "cli/batch.h"
#include "export/rip_job.h"
#include "cli/options.h"
#include "export/file_name.h"

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

}  // namespace

int main(int argc, char** argv) {
  Options options;
  const peelbox::cli::Parsed parsed = peelbox::cli::Parse(std::vector<std::string>(argv + 1, argv + argc), &options);
  std::fputs(parsed.out.c_str(), stdout);
  std::fputs(parsed.error.c_str(), stderr);
  if (!parsed.run) return parsed.exit;

  const peelbox::StopToken stop = peelbox::StopToken::Make();
  StopOnInterrupt(stop);
  const std::vector<std::string> folders =
      options.list ? std::vector<std::string>(options.sources.size())
                   : peelbox::DocumentFolders(options.outputFolder, options.sources, options.folderPerDocument);
  return peelbox::cli::RunBatch(options, folders, stop);
}
