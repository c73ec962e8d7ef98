// peelbox-cli: writes every layer of Photoshop documents as PNG and GIF
// files, from a shell or a script; or lists what it would write.
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "cli/batch.h"
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
      options.list ? std::vector<std::string>(options.sources.size()) : DocumentFolders(options);
  return peelbox::cli::RunBatch(options, folders, stop);
}
