// peelbox-cli as a user or a script runs it: exit statuses, the report, the
// JSON result, the status lines.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <thread>
#include <filesystem>
#include <nlohmann/json.hpp>

#include "cli/json_report.h"
#include "cli/progress.h"
#include "export/name_template.h"
#include "tests/cli_run.h"
#include "tests/helpers.h"
#include "tests/image_readers.h"

namespace peelbox {
namespace {

namespace fs = std::filesystem;

using test::RunCli;
using Output = test::CliOutput;

TEST(Cli, HelpAndVersion) {
  for (const char* help : {"--help", "-h"}) {
    const Output run = RunCli({help});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out.rfind("Usage: peelbox-cli", 0), 0u);
    // Every option is documented, with examples.
    for (const char* option : {"--list", "--json", "--visible-only", "--formats", "--groups-as-folders", "--fast",
                               "--ignore-alpha", "--extent", "--pad", "--as-shown", "--threads", "--quiet", "--version",
                               "--name", "--only", "--skip", "--ignore-case", "{blend}",
                               "--name '{doc}_{group}_{name}@{index}'", "--only 'UI/**' --skip '*_old'", "Examples:"}) {
      EXPECT_NE(run.out.find(option), std::string::npos) << option;
    }
  }
  for (const char* version : {"--version", "-V"}) {
    const Output run = RunCli({version});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out.rfind("peelbox-cli ", 0), 0u);
  }
}

TEST(Cli, UsageErrorsSayOneThingAndExitWithTwo) {
  test::TempDir dir;
  const std::string file = dir.Write("last.psd", {1});
  const struct {
    std::vector<std::string> arguments;
    std::string problem;
  } cases[] = {
      {{}, "expected SOURCE... and OUTPUT_FOLDER"},
      {{"only-one.psd"}, "expected SOURCE... and OUTPUT_FOLDER"},
      {{"--list"}, "expected SOURCE..."},
      {{"--frobnicate", "a.psd", "out"}, "unknown option '--frobnicate'"},
      {{"-t", "0", "a.psd", "out"}, "--threads needs a number from 1 to 256"},
      {{"--threads"}, "--threads needs a number from 1 to 256"},
      {{"--formats", "tiff", "a.psd", "out"}, "--formats needs one or more of png, gif, webp, jpeg, separated by commas"},
      {{"--formats=", "a.psd", "out"}, "--formats needs one or more of png, gif, webp, jpeg, separated by commas"},
      {{"--color", "linear", "a.psd", "out"}, "--color needs keep or srgb"},
      {{"--webp-quality=101", "a.psd", "out"}, "--webp-quality needs a number from 0 to 100"},
      {{"--background", "fff", "a.psd", "out"}, "--background needs a colour as RRGGBB, such as ffffff"},
      {{"--extent", "page", "a.psd", "out"}, "--extent needs layer, trim or canvas"},
      {{"--pad=4097", "a.psd", "out"}, "--pad needs a number from 0 to 4096"},
      {{"--pad", "-1", "a.psd", "out"}, "--pad needs a number from 0 to 4096"},
      {{"--pad", "2", "--extent=canvas", "a.psd", "out"},
       "--pad does not go with --extent canvas: the image is the canvas"},
      {{"a.psd", file}, "'" + file + "' is not a folder (the last operand is the OUTPUT_FOLDER)"},
      {{"--name", "{nmae}", "a.psd", "out"}, "--name: \"{nmae}\" is not a field. " + std::string(kNameFieldsSentence)},
      {{"--groups-as-folders", "--name=/{name}", "a.psd", "out"},
       "--name: The template starts with \"/\": files are named inside the output folder. " +
           std::string(kNameFieldsSentence)},
      {{"--name"}, "--name needs a TEMPLATE"},
      {{"--only"}, "--only needs a PATTERN"},
      {{"a.psd", "out", "--skip"}, "--skip needs a PATTERN"},
  };
  for (const auto& c : cases) {
    const Output run = RunCli(c.arguments);
    EXPECT_EQ(run.status, 2) << c.problem;
    EXPECT_EQ(run.err, "peelbox-cli: " + c.problem + "\nTry 'peelbox-cli --help'.\n");
    EXPECT_EQ(run.out, "");
  }
}

TEST(Cli, RipsTheSampleIntoAFolderItCreates) {
  test::TempDir dir;
  const fs::path folder = dir.path() / "new" / "nested";
  const Output run = RunCli({test::SamplePath(), folder.string()});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_TRUE(fs::exists(folder / "Background.png"));
  EXPECT_TRUE(fs::exists(folder / "Notes_ 50_ grey_white_.gif"));
  EXPECT_NE(run.out.find("Done.\n\nLayers ripped:\t5\nFiles saved:\t10\n"), std::string::npos) << run.out;
  EXPECT_EQ(run.out.find('\r'), std::string::npos);
  // Not a terminal: one plain line per status.
  EXPECT_NE(run.err.find("[ 50%] Exporting layer: \"Background\"...\n"), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("Reading image data (320x240x24 bits)...\n"), std::string::npos);
}

TEST(Cli, QuietPrintsNoStatus) {
  test::TempDir dir;
  const Output run = RunCli({"--quiet", test::SamplePath(), dir.path().string()});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err, "");
  EXPECT_NE(run.out.find("Layers ripped:"), std::string::npos);
}

TEST(Cli, JsonListsEveryFileWritten) {
  test::TempDir dir;
  const Output run = RunCli({"--json", "--quiet", "--ignore-alpha", test::SamplePath(), dir.path().string()});
  ASSERT_EQ(run.status, 0);
  const nlohmann::json result = nlohmann::json::parse(run.out);
  EXPECT_EQ(result["result"], 0);
  EXPECT_EQ(result["source"], test::SamplePath());
  EXPECT_EQ(result["output_folder"], dir.Folder());
  EXPECT_EQ(result["layers_ripped"], 5);
  EXPECT_EQ(result["files_saved"], 10);
  ASSERT_EQ(result["files"].size(), 10u);
  EXPECT_EQ(result["files"][0]["layer_index"], 0);
  EXPECT_EQ(result["files"][0]["layer_name"], "Background");
  EXPECT_EQ(result["files"][9]["layer_name"], "Notes: 50% grey/white?");
  for (const auto& file : result["files"]) EXPECT_TRUE(fs::is_regular_file(file["path"].get<std::string>()));
  EXPECT_EQ(result["files"][0]["format"], "png");
  EXPECT_EQ(result["files"][1]["format"], "gif");
  ASSERT_TRUE(result.contains("profile"));
  EXPECT_TRUE(result["profile"].is_null());  // the sample has no profile
}

TEST(Cli, FailedJobExitsWithOneNeverWithTheCode) {
  test::TempDir dir;
  const std::string missing = (dir.path() / "missing.psd").string();
  const Output run = RunCli({missing, dir.path().string()});
  EXPECT_EQ(run.status, 1);
  // The failure goes to stderr, with the errors: "--quiet > log" shows it.
  EXPECT_EQ(run.out, "");
  EXPECT_NE(run.err.find("Error code: -16384\n"), std::string::npos);
  EXPECT_NE(run.err.find(missing + "\n"), std::string::npos);
  EXPECT_NE(run.err.find("Cannot open \"" + missing + "\": No such file or directory.\n"), std::string::npos);
  // A missing file is not the document's fault: nothing to send in.
  EXPECT_EQ(run.err.find("Please report"), std::string::npos);

  const Output json = RunCli({"--json", missing, dir.path().string()});
  EXPECT_EQ(json.status, 1);
  const nlohmann::json result = nlohmann::json::parse(json.out);
  EXPECT_EQ(result["result"], -16384);
  EXPECT_EQ(result["failed_in"], "source");
  EXPECT_EQ(result["error"], "Cannot open \"" + missing + "\": No such file or directory.");
}

// Runs peelbox-cli and sends it `interrupts` SIGINTs once its status lines
// show `at`. The status pipe is small and is not read meanwhile: the program
// soon waits to write its next line, and stays in the middle of its job.
// With `blockReport`, its report pipe is full from the start, so that once
// stopped it waits to print the report: only a second Ctrl-C ends it then.
Output RunInterrupted(const std::vector<std::string>& arguments, const std::string& at, int interrupts,
                      bool blockReport = false) {
  int err[2], out[2];
  EXPECT_EQ(pipe(err), 0);
  EXPECT_EQ(pipe(out), 0);
  fcntl(err[1], F_SETPIPE_SZ, 4096);
  if (blockReport) {
    const int size = fcntl(out[1], F_SETPIPE_SZ, 4096);
    const std::string filler(static_cast<size_t>(size), '#');
    EXPECT_EQ(write(out[1], filler.data(), filler.size()), size);
  }
  const pid_t child = fork();
  if (child == 0) {
    dup2(err[1], 2);
    dup2(out[1], 1);
    close(err[0]);
    close(out[0]);
    std::vector<char*> argv = {const_cast<char*>(PEELBOX_CLI)};
    for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    execv(PEELBOX_CLI, argv.data());
    _exit(127);
  }
  close(err[1]);
  close(out[1]);
  Output output;
  char buffer[4096];
  bool sent = false;
  for (ssize_t got; (got = read(err[0], buffer, sizeof buffer)) > 0;) {
    output.err.append(buffer, static_cast<size_t>(got));
    if (!sent && output.err.find(at) != std::string::npos) {
      // Until the pipe is full: the program then waits in its next status.
      for (int waited = 0, queued = 0; waited < 1000; ++waited) {
        if (ioctl(err[0], FIONREAD, &queued) == 0 && queued > 4096 - 512) break;
        usleep(10000);
      }
      for (int i = 0; i < interrupts; ++i) {
        if (i > 0) usleep(300000);  // signals sent at once merge into one
        kill(child, SIGINT);
      }
      // Should it never end, the test fails rather than hangs.
      std::thread([child] {
        std::this_thread::sleep_for(std::chrono::seconds(60));
        kill(child, SIGKILL);
      }).detach();
      sent = true;
    }
  }
  for (ssize_t got; (got = read(out[0], buffer, sizeof buffer)) > 0;) output.out.append(buffer, static_cast<size_t>(got));
  close(err[0]);
  close(out[0]);
  int status = 0;
  waitpid(child, &status, 0);
  output.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return output;
}

TEST(Cli, CtrlCStopsTheJobAndKeepsWhatIsWrittenWhole) {
  test::TempDir dir;
  psdbuild::DocumentRecipe doc;
  doc.rows = 300;
  doc.columns = 400;
  for (int i = 0; i < 40; ++i) {
    // Long names: long status lines, which soon fill the status pipe.
    doc.layers.push_back(psdbuild::PixelLayer({0, 0, 400, 300, true, true, static_cast<uint32_t>(i + 1),
                                               "L" + std::to_string(i) + " " + std::string(150, 'n')}));
  }
  const std::string source = dir.Write("many.psd", psdbuild::BuildDocument(doc).bytes);
  const fs::path folder = dir.path() / "out";
  const Output stopped = RunInterrupted({source, folder.string()}, "Exporting layer: \"L3 ", 1);
  EXPECT_EQ(stopped.status, 130);
  EXPECT_NE(stopped.out.find("Stopped by the user.\n"), std::string::npos) << stopped.out;
  EXPECT_EQ(stopped.err.find("Exporting layer: \"L39 "), std::string::npos);  // it went no further
  size_t pngs = 0;
  for (const auto& entry : fs::directory_iterator(folder)) {
    const std::string name = entry.path().filename().string();
    EXPECT_NE(name.rfind(".peelbox-", 0), 0u) << name;
    if (entry.path().extension() == ".png") {
      EXPECT_TRUE(test::ReadPng(entry.path()).ok) << name;
      ++pngs;
    }
  }
  EXPECT_LT(pngs, 40u);

  // A second Ctrl-C ends it at once: here while it waits to print its
  // report.
  const Output ended =
      RunInterrupted({source, (dir.path() / "again").string()}, "Finished reading layer info: \"L1 ", 2, true);
  EXPECT_EQ(ended.status, 130);
  EXPECT_EQ(ended.out.find("Layers ripped"), std::string::npos);
}

TEST(CliJson, StringsAreValidJsonWhateverTheBytes) {
  EXPECT_EQ(cli::JsonString("plain"), "\"plain\"");
  EXPECT_EQ(cli::JsonString("a\"b\\c"), "\"a\\\"b\\\\c\"");
  EXPECT_EQ(cli::JsonString("tab\there\n\x01"), "\"tab\\there\\n\\u0001\"");
  EXPECT_EQ(cli::JsonString("caf\xC3\xA9 \xF0\x9F\x98\x80"), "\"caf\xC3\xA9 \xF0\x9F\x98\x80\"");
  // Not UTF-8 (CP1251, a cut sequence, an overlong form): byte by byte.
  EXPECT_EQ(cli::JsonString("\xCF\xF0\xE8"), "\"\\u00cf\\u00f0\\u00e8\"");
  EXPECT_EQ(cli::JsonString("a\xE2\x82"), "\"a\\u00e2\\u0082\"");
  EXPECT_EQ(cli::JsonString("\xC0\xAF"), "\"\\u00c0\\u00af\"");
  for (const char* bytes : {"\xFF\xFE", "\xED\xA0\x80", "x\xF4\x90\x80\x80"}) {
    EXPECT_NO_THROW(nlohmann::json::parse(cli::JsonString(bytes))) << bytes;
  }
}

TEST(CliProgress, PlainAndLiveLines) {
  EXPECT_EQ(cli::FormatStatusLine("Reading...", 37, 100, false, 80), "[ 37%] Reading...");
  EXPECT_EQ(cli::FormatStatusLine("Half", 50, 100, true, 80), "[##########..........]  50% Half");
  const std::string cut = cli::FormatStatusLine(std::string(200, 'x'), 100, 100, true, 60);
  EXPECT_EQ(cut.size(), 59u);
  EXPECT_EQ(cut.rfind("[####################] 100% x", 0), 0u);
}

}  // namespace
}  // namespace peelbox
