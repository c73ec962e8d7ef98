#include "shell/rip_thread.h"

#include "export/report.h"
#include "export/rip_job.h"
#include "psd/format_text.h"

namespace peelbox::shell {

unsigned RipThreadProc(std::unique_ptr<RipRequest> request) {
  if (!request) return 1;
  RipWindow* window = request->window;
  window->Send(WM_RIP_STARTED, nullptr, 0);

  const std::vector<std::string> folders = DocumentFolders(request->outputFolder, request->sources);
  std::string report;
  int layers = 0;
  int files = 0;
  bool failed = false;
  bool stopped = false;
  for (size_t i = 0; i < request->sources.size(); ++i) {
    if (i > 0) report += "\r\n";
    if (stopped) {
      report += "\"" + request->sources[i] + "\": not started.\r\n";
      continue;
    }
    auto job = std::make_unique<RipJob>(request->sources[i], folders[i], 0, window);
    job->options = request->options;
    job->stopToken = request->stop;
    job->confirmReplace = [window](size_t existing) { return window->ConfirmReplace(existing); };
    const int32_t result = job->Run();
    const JobSummary summary = job->Summary(result);
    report += ReportText(summary);
    layers += summary.layersRipped;
    files += summary.filesSaved;
    failed |= result != 0;
    stopped |= summary.stopped || request->stop.StopRequested();
    job.reset();  // the document goes with it
  }
  window->Send(WM_RIP_STATUS, "Reporting...", PackProgress(100));
  window->ShowReport(report, files > 0 ? request->outputFolder : std::string());
  const RipOutcome outcome = failed ? kRipFailed : stopped ? kRipStopped : kRipSucceeded;
  const char* ended = outcome == kRipFailed ? "Failed" : outcome == kRipStopped ? "Stopped" : "Done";
  const std::string result = FormatText("%s: %d %s, %d %s.", ended, layers, layers == 1 ? "layer" : "layers", files,
                                        files == 1 ? "file" : "files");
  window->Send(WM_RIP_RESULT, result.c_str(), 0);
  window->Send(WM_RIP_DONE, nullptr, outcome);
  request.reset();
  return 0;
}

}  // namespace peelbox::shell
